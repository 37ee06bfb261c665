// TruckApp with damage on: the body and cab meshes bound to the body
// particles and drawn as they deform; with damage off, the rigid meshes.
#include "app/TruckApp.h"

#include "physics/PhysicsWorld.h"
#include "render/Mesh.h"
#include "scene/DeformingMesh.h"

#include <new>

bool TruckApp::bindDeformingBody() {
    delete deformingBody;
    deformingBody = new (std::nothrow) DeformingBody();
    // The meshes in the order they are drawn: shell, structure, interior,
    // windows.
    Mesh* const meshes[DeformingBody::meshCount] = {bodyMesh, bodyMesh3, bodyMesh1,
                                                    translucentMesh};
    if (deformingBody == nullptr ||
        !deformingBody->bind(renderer, *world, meshes, restBodyTransform())) {
        delete deformingBody;
        deformingBody = nullptr;
        return false;
    }
    return true;
}

void TruckApp::drawBodyMeshes(const PhysicsWorld& truck, const Mat4& body) {
    // One deforming mesh serves every truck: it is bent to each truck's
    // particles just before that truck is drawn.
    if (deformingBody != nullptr && truck.damageEnabled()) {
        deformingBody->update(truck.positions(), body);
        for (int k = 0; k < 3; ++k) {
            deformingBody->part(k).mesh()->draw();
        }
        return;
    }
    bodyMesh->transform = body;
    bodyMesh->draw();
    bodyMesh3->transform = body;
    bodyMesh3->draw();
    bodyMesh1->transform = body;
    bodyMesh1->draw();
}

void TruckApp::drawWindows(const Mat4& body) {
    if (deformingBody != nullptr && world->damageEnabled()) {
        deformingBody->part(3).mesh()->draw();
        return;
    }
    translucentMesh->transform = body;
    translucentMesh->draw();
}
