// Headless driving harness for the truck tests.
#include "tests/support/TruckDriver.h"

#include "physics/DustSystem.h"
#include "physics/PhysicsWorld.h"
#include "render/Mesh.h"
#include "scene/RenderScale.h"

#include <cmath>

namespace {
const double degreesPerRadian = 57.29577951308232;
}

bool TruckDriver::load(const std::string& assetDirectory, Renderer* renderer) {
    app.setAssetDirectory(assetDirectory.c_str());
    if (renderer != nullptr) {
        app.renderer = renderer;
        return app.init();
    }
    return app.initSimulation();
}

BodyPose TruckDriver::pose() const {
    const Mat4 body = app.bodyTransform();
    BodyPose p;
    p.origin = Vec3(body.m[12], body.m[13], body.m[14]) * (1.0f / renderScale);
    p.forward = normalized(body.transformVector(Vec3(0.0f, 0.0f, -1.0f)));
    p.up = normalized(body.transformVector(Vec3(0.0f, 1.0f, 0.0f)));
    p.headingDegrees = static_cast<float>(std::atan2(p.forward.x, -p.forward.z) * degreesPerRadian);
    p.tiltDegrees =
        static_cast<float>(std::acos(std::fmin(1.0f, std::fmax(-1.0f, p.up.y))) * degreesPerRadian);
    return p;
}

void TruckDriver::placeAt(float x, float z, float headingDegrees) {
    const BodyPose start = pose();
    Vec3* positions = app.world->positions();
    Particle* particles = app.world->particles();
    const int count = app.world->particleCount();
    const Terrain& terrain = app.world->terrain();
    const Vec3 up(0.0f, 1.0f, 0.0f);
    Vec3 normal = up;
    const float height = terrain.query(Vec3(x, 0.0f, z), &normal, nullptr);
    // A turn about +y by a decreases the heading by a.
    Mat4 move;
    move.rotateAboutAxis(
        start.origin, up,
        static_cast<float>((start.headingDegrees - headingDegrees) / degreesPerRadian));
    move.translate(Vec3(x - start.origin.x, 0.0f, z - start.origin.z));
    const Vec3 tiltAxis = cross(up, normal);
    if (dot(tiltAxis, tiltAxis) > 1.0e-12f) {
        move.rotateAboutAxis(Vec3(x, -height / normal.y, z), tiltAxis, std::acos(normal.y));
    }
    float lift = -1.0e9f;
    for (int i = 0; i < count; ++i) {
        positions[i] = move.transformPoint(positions[i]);
        particles[i].velocity = move.transformVector(particles[i].velocity);
        Vec3 below;
        const float h = terrain.query(Vec3(positions[i].x, 0.0f, positions[i].z), &below, nullptr);
        // Height of the ground under the particle along the vertical: the
        // query measures along the normal, so correct by its y component.
        lift = std::fmax(lift, -h / below.y - positions[i].y);
    }
    for (int i = 0; i < count; ++i) {
        positions[i].y += lift + 0.05f;
    }
}

Vec3 TruckDriver::chassisVelocity() const {
    const Particle* particles = app.world->particles();
    Vec3 sum;
    for (int i = 136; i < 140; ++i) {
        sum = sum + particles[i].velocity;
    }
    return sum * 0.25f;
}

float TruckDriver::chassisSpeed() const {
    const Vec3 v = chassisVelocity();
    return std::sqrt(dot(v, v));
}

int TruckDriver::dustCount() const {
    int capacity = 0;
    int start = 0;
    int count = 0;
    app.dust->view(capacity, start, count);
    return count;
}

float TruckDriver::maxParticleSpeed() const {
    const Particle* particles = app.world->particles();
    float fastest = 0.0f;
    for (int i = 0; i < app.world->particleCount(); ++i) {
        const float speed = std::sqrt(dot(particles[i].velocity, particles[i].velocity));
        if (std::isnan(speed)) {
            return speed;
        }
        fastest = std::fmax(fastest, speed);
    }
    return fastest;
}

bool TruckDriver::allFinite() const {
    const Particle* particles = app.world->particles();
    const Vec3* positions = app.world->positions();
    for (int i = 0; i < app.world->particleCount(); ++i) {
        const float values[6] = {positions[i].x,          positions[i].y,
                                 positions[i].z,          particles[i].velocity.x,
                                 particles[i].velocity.y, particles[i].velocity.z};
        for (float v : values) {
            if (!std::isfinite(v)) {
                return false;
            }
        }
    }
    return true;
}

float TruckDriver::deepestPenetration() const {
    const Vec3* positions = app.world->positions();
    const Terrain& terrain = app.world->terrain();
    float deepest = 0.0f;
    for (int i = 0; i < app.world->particleCount(); ++i) {
        Vec3 normal;
        const float height = terrain.query(positions[i], &normal, nullptr);
        deepest = std::fmax(deepest, -height);
    }
    return deepest;
}

float TruckDriver::maxSpringStretch() const {
    const Vec3* positions = app.world->positions();
    const Spring* springs = app.world->springs();
    float worst = 0.0f;
    for (int j = 0; j < app.world->springCount(); ++j) {
        if (springs[j].restLength <= 0.0f) {
            continue;
        }
        const Vec3 d = positions[springs[j].b] - positions[springs[j].a];
        worst = std::fmax(worst, std::sqrt(dot(d, d)) / springs[j].restLength);
    }
    return worst;
}

Vec3 TruckDriver::tailgateCentre() const {
    const Mesh& shell = *app.bodyMesh;
    // The truck faces -z in body coordinates: its back is at the largest z.
    const float back = shell.boundsMax.z - 0.02f * shell.extent.z;
    Vec3 low(1e30f, 1e30f, 0.0f);
    Vec3 high(-1e30f, -1e30f, 0.0f);
    float z = 0.0f;
    int count = 0;
    for (int i = 0; i < shell.vertexCount; ++i) {
        const Vec3 v = shell.vertices[i];
        if (v.z >= back) {
            low = Vec3(std::fmin(low.x, v.x), std::fmin(low.y, v.y), 0.0f);
            high = Vec3(std::fmax(high.x, v.x), std::fmax(high.y, v.y), 0.0f);
            z += v.z;
            ++count;
        }
    }
    const Vec3 centre((low.x + high.x) * 0.5f, (low.y + high.y) * 0.5f,
                      count > 0 ? z / static_cast<float>(count) : shell.boundsMax.z);
    return app.bodyTransform().transformPoint(centre);
}
