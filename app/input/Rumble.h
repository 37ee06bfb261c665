// Rumble: the signal from each frame's physics to a pad's two motors. The
// low-frequency motor follows impacts: the largest impulse the ground gave
// one particle during the frame's step. The high-frequency motor follows
// rough ground under the driven wheels: how fast their axles move up and
// down against the chassis while their treads touch the ground. Requests go
// out every `interval` and each lasts twice that, so the pad keeps rumbling
// while the signal lasts and falls still on its own within 2 intervals when
// requests stop coming; the first interval without a signal is sent as a
// request for silence, so rumble ends within one interval of the signal.
#pragma once

#include "math/Vec3.h"

#include <cstdint>

class PhysicsWorld;

class Rumble {
  public:
    struct Request {
        uint16_t low = 0;  // low-frequency motor, 0..65535
        uint16_t high = 0; // high-frequency motor, 0..65535
        uint32_t durationMs = 0;
    };

    // Seconds between requests, and how long each lasts, ms.
    static constexpr double interval = 0.05;
    static constexpr uint32_t durationMs = 100;

    // Impulse (N s) below which there is no impact rumble: more than the
    // truck ever gives one particle at rest (0.07) or rolling on smooth
    // ground at 12 m/s (0.36); a crash into a wall at 11 m/s gives 40. Above
    // it the level grows to full at impactFull.
    static constexpr float impactFloor = 0.5f;
    static constexpr float impactFull = 10.0f;
    // Axle speed up and down against the chassis (m/s) below which the ground
    // counts as smooth (at rest 0.01, rolling on flat ground below 0.07: the
    // floor is twice that), and at which the rough-ground motor runs full (a
    // crash gives 3).
    static constexpr float roughFloor = 0.15f;
    static constexpr float roughFull = 1.0f;

    // The motors' levels 0..1 for a frame's measurements.
    static float impactLevel(float peakImpulse);
    static float roughLevel(float axleSpeed);
    // The mean speed (m/s) at which the axles of the driven wheels (wheels
    // 0 to 3) whose treads touch the ground move along `up` (the body's, a
    // unit vector) against the chassis, moving at `chassisVelocity`; 0 when
    // none touches.
    static float axleSpeed(PhysicsWorld& world, const Vec3& up, const Vec3& chassisVelocity);

    // A frame's levels (0..1): the strongest of the frames since the last
    // request is what the next one sends.
    void frame(float low, float high);
    // True when a request should go out at real time `now` (s), which is
    // then in `request`: at once when a signal starts, then every interval
    // while it lasts, and once with both motors at 0 when an interval had
    // none.
    bool due(double now, Request* request);
    // Stops at once: true when the motors may be running, so that the
    // caller sends silence now. Nothing more is due until frame() brings a
    // signal again.
    bool stop();
    // True while the last request sent asked for rumble.
    bool running() const { return rumbling; }

  private:
    float pendingLow = 0.0f;
    float pendingHigh = 0.0f;
    bool rumbling = false;
    double lastSent = -1.0e30;
};
