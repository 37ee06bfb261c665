// TruckApp rigid fits: the body and wheel meshes are placed by the rigid
// transform that best carries chosen mesh points onto their particles.
#include "app/TruckApp.h"

#include "physics/PhysicsWorld.h"
#include "render/Mesh.h"
#include "scene/RenderScale.h"
#include "scene/RigidFit.h"

namespace {
// Body-shell vertices and the chassis particles they are fitted to; the
// first pair is the anchor.
const int bodyVertices[4] = {1244, 884, 1099, 738};
const int bodyParticles[4] = {137, 138, 139, 136};

// Per wheel: particle at the model's +z axle end (anchor), at its -z axle
// end, at the rim point, and the side of the rim point (-1 the -z face).
const int wheelParticles[4][3] = {{1, 0, 2}, {35, 34, 36}, {68, 69, 70}, {102, 103, 104}};
const float wheelRimSide[4] = {-1.0f, -1.0f, 1.0f, 1.0f};
} // namespace

Vec3 TruckApp::chassisVelocity() const {
    PhysicsWorld* driven = truckWorld(selected);
    if (driven == nullptr || driven->particleCount() < 140) {
        return Vec3();
    }
    const Particle* particles = driven->particles();
    Vec3 sum;
    for (int i = 136; i < 140; ++i) {
        sum = sum + particles[i].velocity;
    }
    return sum * 0.25f;
}

Mat4 TruckApp::bodyTransform() const {
    return bodyTransformOf(truckWorld(selected));
}

Mat4 TruckApp::wheelTransform(int wheel) const {
    return wheelTransformOf(truckWorld(selected), wheel);
}

Mat4 TruckApp::bodyTransformOf(const PhysicsWorld* truck) const {
    Mat4 out;
    if (truck == nullptr || bodyMesh == nullptr) {
        return out;
    }
    const Vec3* positions = const_cast<PhysicsWorld*>(truck)->positions();
    Vec3 sources[4];
    Vec3 targets[4];
    for (int k = 0; k < 4; ++k) {
        sources[k] = bodyMesh->vertices[bodyVertices[k]];
        targets[k] = positions[bodyParticles[k]] * renderScale;
    }
    fitRigidTransform(out, targets, sources, 4);
    return out;
}

Mat4 TruckApp::restBodyTransform() const {
    Mat4 out;
    if (world == nullptr || bodyMesh == nullptr || world->restShape() == nullptr) {
        return out;
    }
    Vec3 sources[4];
    Vec3 targets[4];
    for (int k = 0; k < 4; ++k) {
        sources[k] = bodyMesh->vertices[bodyVertices[k]];
        targets[k] = world->restShape()[bodyParticles[k]] * renderScale;
    }
    fitRigidTransform(out, targets, sources, 4);
    return out;
}

Mat4 TruckApp::wheelTransformOf(const PhysicsWorld* truck, int wheel) const {
    Mat4 out;
    if (truck == nullptr || wheelMesh1 == nullptr || wheel < 0 || wheel > 3) {
        return out;
    }
    const Vec3 m = wheelMesh1->centroid;
    const Vec3 e = wheelMesh1->extent;
    const Vec3 halfAxle(0.0f, 0.0f, e.z * 0.5f);
    const Vec3 sources[3] = {m + halfAxle, m - halfAxle,
                             m + Vec3(e.x * 0.5f, 0.0f, wheelRimSide[wheel] * e.z * 0.5f)};
    const Vec3* positions = const_cast<PhysicsWorld*>(truck)->positions();
    Vec3 targets[3];
    for (int k = 0; k < 3; ++k) {
        targets[k] = positions[wheelParticles[wheel][k]] * renderScale;
    }
    fitRigidTransform(out, targets, sources, 3);
    return out;
}
