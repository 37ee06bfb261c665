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
    // A frame at real time `time` (s) with the truck moving at `alongSpeed`
    // (m/s along its forward axis, negative in reverse): after reverseDelay
    // of reversing the view swings round to look the way the truck goes,
    // and after as long driving forwards it swings back behind it.
    void followTravel(float time, float alongSpeed);

    float yaw = 0.0f;       // radians from straight behind the truck
    float pitch = 0.3f;     // radians above the horizontal
    float distance = 10.0f; // m from the body's centroid
    // Radians added to the yaw while following the travel: 0 behind the
    // truck, pi in front of it (looking back the way it reverses).
    float swing = 0.0f;

    // m: near enough to fill the picture, far enough that the whole truck
    // (5.0 m long, 2.6 m wide with its tyres, about 2.5 m high) shows in the
    // 60 degree view from any side.
    static constexpr float minDistance = 7.0f;  // m
    static constexpr float maxDistance = 40.0f; // m
    static constexpr float minPitch = -0.2f;    // radians: a little from below
    static constexpr float maxPitch = 1.5f;     // radians: nearly straight down
    // Seconds of travel one way before the view swings, the speed (m/s)
    // that counts as travel, and how fast it swings (radians per second).
    static constexpr float reverseDelay = 1.0f;
    static constexpr float travelSpeed = 0.5f;
    static constexpr float swingRate = 2.5f;

  private:
    // Seconds the truck has gone backwards or forwards without a break,
    // and the time of the last frame (negative before the first).
    float reversingSeconds = 0.0f;
    float forwardSeconds = 0.0f;
    float lastTime = -1.0f;
};
