// DrawnPick: casting the cursor's ray against the drawn truck.
#include "app/input/DrawnPick.h"

#include "app/TruckApp.h"
#include "physics/PhysicsWorld.h"
#include "render/Mesh.h"
#include "scene/RenderScale.h"

#include <cmath>

namespace {
// Scene units the ray's direction is measured over: t = 1 is this far along
// the view axis, so t and depth compare directly.
const float rayDepth = 100.0f;
// Steps of the ground check along the ray, scene units (0.25 m), and the
// height below which a point of the ray is in the ground, m.
const float groundStep = 15.0f;
const float groundTouch = 0.0f;
} // namespace

bool rayHitsMesh(const Mesh& mesh, const Mat4& transform, Vec3 origin, Vec3 direction, float* t) {
    if (mesh.vertices == nullptr || mesh.indices == nullptr) {
        return false;
    }
    // Into the mesh's own coordinates: an affine map keeps t.
    Mat4 inverse = transform;
    inverse.invertAffine();
    const Vec3 o = inverse.transformPoint(origin);
    const Vec3 d = inverse.transformVector(direction);
    bool any = false;
    float nearest = 0.0f;
    for (int k = 0; k < mesh.triangleCount; ++k) {
        const uint32_t* tri = mesh.indices + 3 * k;
        if (tri[0] >= static_cast<uint32_t>(mesh.vertexCount) ||
            tri[1] >= static_cast<uint32_t>(mesh.vertexCount) ||
            tri[2] >= static_cast<uint32_t>(mesh.vertexCount)) {
            continue;
        }
        // Moller and Trumbore: the crossing in barycentric coordinates.
        const Vec3 a = mesh.vertices[tri[0]];
        const Vec3 e1 = mesh.vertices[tri[1]] - a;
        const Vec3 e2 = mesh.vertices[tri[2]] - a;
        const Vec3 p = cross(d, e2);
        const float det = dot(e1, p);
        if (std::fabs(det) < 1e-12f) {
            continue;
        }
        const float inv = 1.0f / det;
        const Vec3 s = o - a;
        const float u = dot(s, p) * inv;
        if (u < 0.0f || u > 1.0f) {
            continue;
        }
        const Vec3 q = cross(s, e1);
        const float v = dot(d, q) * inv;
        if (v < 0.0f || u + v > 1.0f) {
            continue;
        }
        const float along = dot(e2, q) * inv;
        if (along > 0.0f && (!any || along < nearest)) {
            nearest = along;
            any = true;
        }
    }
    if (any) {
        *t = nearest;
    }
    return any;
}

int pickOnDrawnTruck(const TruckApp& app, const CameraView& view, int width, int height, float x,
                     float y, Vec3* hit) {
    if (!view.valid || app.drivenWorld() == nullptr || app.drivenWorld()->particleCount() <= 0) {
        return -1;
    }
    // The cursor's pixel covers x..x+1: the ray through its centre.
    const Vec3 far = pointUnderWindow(view, width, height, x + 0.5f, y + 0.5f, rayDepth);
    const Vec3 direction = far - view.eye;
    float best = 0.0f;
    bool any = false;
    float t = 0.0f;
    const Mat4 body = app.bodyTransform();
    const Mesh* bodyParts[] = {app.bodyMesh, app.bodyMesh3, app.bodyMesh1, app.translucentMesh};
    for (const Mesh* part : bodyParts) {
        if (part != nullptr && rayHitsMesh(*part, body, view.eye, direction, &t) &&
            (!any || t < best)) {
            best = t;
            any = true;
        }
    }
    for (int wheel = 0; wheel < 4; ++wheel) {
        const Mat4 placed = app.wheelTransform(wheel);
        for (const Mesh* part : {app.wheelMesh1, app.wheelMesh0}) {
            if (part != nullptr && rayHitsMesh(*part, placed, view.eye, direction, &t) &&
                (!any || t < best)) {
                best = t;
                any = true;
            }
        }
    }
    if (!any) {
        return -1;
    }
    // A hill between the eye and the truck hides it.
    const float length = std::sqrt(dot(direction, direction));
    const float reach = best * length;
    for (float along = groundStep; along < reach; along += groundStep) {
        const Vec3 point = view.eye + direction * (along / length);
        if (app.eyeHeight(point) < groundTouch) {
            return -1;
        }
    }
    *hit = view.eye + direction * best;
    const Vec3* positions = app.drivenWorld()->positions();
    int nearest = -1;
    float nearestSquared = 0.0f;
    for (int i = 0; i < app.drivenWorld()->particleCount(); ++i) {
        const Vec3 r = positions[i] * renderScale - *hit;
        const float squared = dot(r, r);
        if (nearest < 0 || squared < nearestSquared) {
            nearest = i;
            nearestSquared = squared;
        }
    }
    return nearest;
}
