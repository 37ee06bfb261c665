// OrbitCamera: yaw, pitch and distance around the truck's body.
#include "app/camera/OrbitCamera.h"

#include "scene/RenderScale.h"

#include <cmath>

namespace {
const float pi = 3.14159265f;
// Distance kept per notch of the wheel.
const float zoomFactor = 0.9f;
} // namespace

void OrbitCamera::turn(float yawChange, float pitchChange) {
    yaw = std::remainder(yaw + yawChange, 2.0f * pi);
    pitch = std::fmin(maxPitch, std::fmax(minPitch, pitch + pitchChange));
}

void OrbitCamera::zoom(int notches) {
    distance *= std::pow(zoomFactor, static_cast<float>(notches));
    distance = std::fmin(maxDistance, std::fmax(minDistance, distance));
}

void OrbitCamera::quarterTurn(int steps) {
    turn(0.5f * pi * static_cast<float>(steps), 0.0f);
}

void OrbitCamera::place(const Mat4& body, Vec3 centroid, Vec3* eye, Vec3* target) const {
    *target = body.transformPoint(centroid);
    // Straight behind the truck, in the horizontal plane; a truck standing
    // on its nose or tail keeps the scene's +z as behind.
    const Vec3 forward = body.transformVector(Vec3(0.0f, 0.0f, -1.0f));
    Vec3 behind(-forward.x, 0.0f, -forward.z);
    if (!(dot(behind, behind) > 1e-6f)) {
        behind = Vec3(0.0f, 0.0f, 1.0f);
    }
    behind = normalized(behind);
    const float c = std::cos(yaw + swing);
    const float s = std::sin(yaw + swing);
    const Vec3 around(behind.x * c + behind.z * s, 0.0f, behind.z * c - behind.x * s);
    const float reach = distance * renderScale;
    *eye = *target + around * (reach * std::cos(pitch)) + Vec3(0.0f, reach * std::sin(pitch), 0.0f);
}

void OrbitCamera::followTravel(float time, float alongSpeed) {
    // A long gap (the camera not in use, a stall) counts as one frame.
    const float dt = lastTime < 0.0f ? 0.0f : std::fmin(0.1f, std::fmax(0.0f, time - lastTime));
    lastTime = time;
    if (alongSpeed < -travelSpeed) {
        reversingSeconds += dt;
        forwardSeconds = 0.0f;
    } else if (alongSpeed > travelSpeed) {
        forwardSeconds += dt;
        reversingSeconds = 0.0f;
    }
    float goal = swing;
    if (reversingSeconds >= reverseDelay) {
        goal = pi;
    } else if (forwardSeconds >= reverseDelay) {
        goal = 0.0f;
    }
    const float step = swingRate * dt;
    swing = goal > swing ? std::fmin(goal, swing + step) : std::fmax(goal, swing - step);
}
