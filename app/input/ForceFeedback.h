// ForceFeedback: the steering wheel's force, as a pure function of the
// truck's state after a frame. It is made of the front wheels' resistance to
// steering (how far each steering joint is held off its target, which is
// what the road does to the wheels: it lags them when they are turned and
// kicks them on an impact) and a centring term that grows with speed. Only a
// front wheel whose tread touches the ground contributes, so the force is
// zero with the front wheels in the air and on a truck lying on its side or
// roof; every quantity is measured in the truck's own frame, so lying over
// never reverses it. The result is clamped. A rate limiter turns the
// frame's target into what is sent to a device.
#pragma once

#include "math/Vec3.h"

class PhysicsWorld;
class Wheel;

class ForceFeedback {
  public:
    // What the force is made of, for tests and the closing figures.
    struct Parts {
        // Per front wheel (0: steering joint 0, 1: joint 1): whether its
        // tread touches the ground, its joint's error (the wheel's turn past
        // its target, in steering units, positive to the right) and its turn.
        bool touching[2] = {false, false};
        float deflection[2] = {0.0f, 0.0f};
        float turn[2] = {0.0f, 0.0f};
        float load = 0.0f;     // the joints' share of the force
        float centring = 0.0f; // the speed's share of the force
        float force = 0.0f;    // the clamped sum, -maxForce..maxForce
    };

    // The force on the steering wheel, as a fraction of the device's
    // strongest: positive turns it to the right (as positive steering does).
    // `up` is the body's up direction (unit), `velocity` the chassis's, m/s.
    // Zero for a model without two steering joints on two wheels.
    static float compute(PhysicsWorld& world, const Vec3& up, const Vec3& velocity,
                         Parts* parts = nullptr);

    // Force per unit of steering error: a wheel held off its target by a
    // quarter of full lock (0.15) gives half the clamp.
    static constexpr float loadGain = 2.5f;
    // Centring force per unit of wheel turn at centringSpeed and above.
    static constexpr float centringGain = 0.8f;
    // Speed at which the centring stops growing, m/s (72 km/h).
    static constexpr float centringSpeed = 20.0f;
    // The largest force ever sent, a fraction of the device's strongest:
    // room for the driver's hands, and no wheel runs flat out for minutes.
    static constexpr float maxForce = 0.75f;
    // A rim particle this close to the ground touches it, m (twice the
    // friction's skin, so that a wheel bouncing over a bump still counts).
    static constexpr float contactReach = 0.1f;
    // A rim particle counts as tread when its direction from the axle's
    // middle lies within 60 degrees of the body's down and of the ground's.
    static constexpr float treadCosine = 0.5f;

    // True when a rim particle of `wheel` under its axle (within 60 degrees
    // of the body's down, `up` being the body's up, and of the ground's down)
    // is within contactReach of the ground.
    static bool treadTouches(PhysicsWorld& world, const Wheel& wheel, const Vec3& up);

    // The rate limiter: the largest change of the sent force per second, in
    // fractions of the strongest (0 to full in 50 ms).
    static constexpr float maxSlew = 20.0f;
    // Moves the sent force towards `target` by at most maxSlew per second
    // over `seconds`, clamped to maxForce; returns the new sent force.
    float follow(float target, float seconds);
    // Back to no force at once (pause, reset, exit).
    void stop() { sent = 0.0f; }
    float current() const { return sent; }

  private:
    float sent = 0.0f;
};
