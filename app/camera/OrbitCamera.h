// OrbitCamera: the free camera that looks at the truck's body from a yaw, a
// pitch and a distance, which the mouse and the look keys change. It follows
// the truck: the yaw is measured from straight behind it, so the view turns
// as the truck turns. Its state only moves the view, never the simulation.
#pragma once

#include "math/Mat4.h"
#include "math/Vec3.h"

class OrbitCamera {
  public:
    // Turns by yawChange about the vertical and tilts by pitchChange
    // (radians); the pitch stays between minPitch and maxPitch.
    void turn(float yawChange, float pitchChange);
    // Each notch brings the eye 10 % nearer (negative notches: farther),
    // between minDistance and maxDistance.
    void zoom(int notches);
    // Quarter turns about the truck, counter-clockwise seen from above.
    void quarterTurn(int steps);
    // The raw eye and target in scene units for the body transform `body`
    // (which maps body coordinates to the scene) and the body mesh's
    // centroid in body coordinates.
    void place(const Mat4& body, Vec3 centroid, Vec3* eye, Vec3* target) const;

    float yaw = 0.0f;       // radians from straight behind the truck
    float pitch = 0.3f;     // radians above the horizontal
    float distance = 10.0f; // m from the body's centroid

    static constexpr float minDistance = 3.0f;  // m
    static constexpr float maxDistance = 40.0f; // m
    static constexpr float minPitch = -0.2f;    // radians: a little from below
    static constexpr float maxPitch = 1.5f;     // radians: nearly straight down
};
