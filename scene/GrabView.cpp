// The grab's marker and line, in one bright colour, without depth testing so
// that a particle inside the body still shows where it is held.
#include "scene/GrabView.h"

#include "math/Mat4.h"
#include "render/Renderer.h"

void drawGrabPass(Renderer* renderer, Vec3 particle, Vec3 target) {
    const Mat4 identity;
    renderer->setModelMatrix(&identity);
    renderer->setMaterial(0xFFD020, 0x000000, 0x000000, 0.0f);
    renderer->disableDepthTest();
    renderer->drawLine(&particle, &target);
    renderer->drawPoint(&particle, 14.0f);
    renderer->drawPoint(&target, 6.0f);
    renderer->enableDepthTest();
}
