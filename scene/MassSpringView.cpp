// Mass/spring debug drawing straight from the world's flat arrays.
#include "scene/MassSpringView.h"

#include "math/Mat4.h"
#include "physics/PhysicsWorld.h"
#include "render/Renderer.h"
#include "scene/RenderScale.h"

namespace {
// Springs whose rest length has flowed.
const int yieldedColour = 0xFF8000;
} // namespace

void drawMassSpringPass(Renderer* renderer, PhysicsWorld* world) {
    const Mat4 identity;
    renderer->setModelMatrix(&identity);
    renderer->setMaterial(0xFF0000, 0x000000, 0x000000, 0.0f);
    const Vec3* positions = world->positions();
    const int particleCount = world->particleCount();
    for (int i = 0; i < particleCount; ++i) {
        const Vec3 point = positions[i] * renderScale;
        renderer->drawPoint(&point, 10.0f);
    }
    renderer->setMaterial(0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0.0f);
    const Spring* springs = world->springs();
    const int springCount = world->springCount();
    const SpringDamage* damage = world->damageEnabled() ? world->springDamage() : nullptr;
    if (damage == nullptr) {
        for (int j = 0; j < springCount; ++j) {
            const Vec3 from = positions[springs[j].a] * renderScale;
            const Vec3 to = positions[springs[j].b] * renderScale;
            renderer->drawLine(&from, &to);
        }
        return;
    }
    // With damage: whole springs white, yielded ones orange after them,
    // broken ones not at all.
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) {
            renderer->setMaterial(yieldedColour, yieldedColour, 0x000000, 0.0f);
        }
        for (int j = 0; j < springCount; ++j) {
            const bool yielded = springs[j].restLength != damage[j].originalLength;
            if (damage[j].broken != 0 || yielded != (pass == 1)) {
                continue;
            }
            const Vec3 from = positions[springs[j].a] * renderScale;
            const Vec3 to = positions[springs[j].b] * renderScale;
            renderer->drawLine(&from, &to);
        }
    }
}
