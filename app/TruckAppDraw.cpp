// TruckApp drawing passes that are not plain meshes: thin wrappers that hand
// the application's state to the scene passes.
#include "app/TruckApp.h"

#include "app/Truck.h"

#include "physics/PhysicsWorld.h"
#include "scene/DustView.h"
#include "scene/GrabView.h"
#include "scene/MassSpringView.h"
#include "scene/RenderScale.h"
#include "scene/SkyBox.h"
#include "scene/Strut.h"

void TruckApp::drawSkyBox(Vec3 eye) {
    drawSkyBoxPass(renderer, skyTextures, eye);
}

void TruckApp::drawMassSpring() {
    drawMassSpringPass(renderer, world);
}

void TruckApp::drawStrut(Vec3 from, Vec3 to, float width) {
    drawStrutPass(renderer, from, to, width);
}

void TruckApp::drawDust(float now) {
    for (int k = 0; k < trucks; ++k) {
        drawDustPass(renderer, fleet[k]->dust, dustMesh, now);
    }
}

void TruckApp::drawGrab() {
    for (int k = 0; k < trucks; ++k) {
        const Truck& truck = *fleet[k];
        if (truck.grabbedParticle >= 0) {
            drawGrabPass(renderer, truck.world->positions()[truck.grabbedParticle] * renderScale,
                         truck.grabTarget * renderScale);
        }
    }
}
