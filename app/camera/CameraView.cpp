// CameraView: projection of scene points into the window and back, with the
// look-at basis and perspective of Renderer::setCamera.
#include "app/camera/CameraView.h"

#include "app/camera/ViewportFit.h"

#include <cmath>

namespace {
// tan(30 degrees): half the 60 degree vertical field of view.
const float tanHalfFov = 0.57735027f;
const float aspect = 4.0f / 3.0f;
// Scene units; nearer points are clipped.
const float nearPlane = 5.0f;

// The look-at basis: forward, right and true up, as gluLookAt builds it.
bool basis(const CameraView& view, Vec3* forward, Vec3* right, Vec3* up) {
    const Vec3 f = view.target - view.eye;
    const Vec3 s = cross(f, view.up);
    if (!(dot(f, f) > 0.0f) || !(dot(s, s) > 0.0f)) {
        return false;
    }
    *forward = normalized(f);
    *right = normalized(s);
    *up = cross(*right, *forward);
    return true;
}
} // namespace

bool projectToWindow(const CameraView& view, int width, int height, Vec3 point,
                     WindowPoint* shown) {
    Vec3 f, s, u;
    if (!basis(view, &f, &s, &u)) {
        return false;
    }
    const Vec3 r = point - view.eye;
    const float depth = dot(r, f);
    if (!(depth >= nearPlane)) {
        return false;
    }
    // Normalised device coordinates, -1..1 across the drawn rectangle.
    const float nx = dot(r, s) / (depth * tanHalfFov * aspect);
    const float ny = dot(r, u) / (depth * tanHalfFov);
    const ViewportRect rect = fitViewport(width, height);
    shown->x = static_cast<float>(rect.x) + 0.5f * (nx + 1.0f) * static_cast<float>(rect.width);
    const float fromBottom =
        static_cast<float>(rect.y) + 0.5f * (ny + 1.0f) * static_cast<float>(rect.height);
    shown->y = static_cast<float>(height) - fromBottom;
    shown->depth = depth;
    return true;
}

Vec3 pointUnderWindow(const CameraView& view, int width, int height, float x, float y,
                      float depth) {
    Vec3 f, s, u;
    if (!basis(view, &f, &s, &u)) {
        return view.eye;
    }
    const ViewportRect rect = fitViewport(width, height);
    const float w = rect.width > 0 ? static_cast<float>(rect.width) : 1.0f;
    const float h = rect.height > 0 ? static_cast<float>(rect.height) : 1.0f;
    const float nx = 2.0f * (x - static_cast<float>(rect.x)) / w - 1.0f;
    const float fromBottom = static_cast<float>(height) - y;
    const float ny = 2.0f * (fromBottom - static_cast<float>(rect.y)) / h - 1.0f;
    return view.eye + f * depth + s * (nx * depth * tanHalfFov * aspect) +
           u * (ny * depth * tanHalfFov);
}
