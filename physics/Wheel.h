// Wheel: a ring of rim particles turning about the axle through two hub
// particles. It drives its rim with a torque made of the drive, the brake and
// a quadratic drag, and measures its own spin from the first rim particle.
#pragma once

#include "math/Vec3.h"

class Particle;

class Wheel {
  public:
    Wheel() = default;
    ~Wheel();
    Wheel(const Wheel&) = delete;
    Wheel& operator=(const Wheel&) = delete;

    // Fills an empty wheel: hubs, and a copy of the rimCount rim indices.
    // Returns false when the copy cannot be allocated (the wheel stays empty).
    bool init(Vec3* positionArray, Particle* particleArray, int firstHub, int secondHub,
              int rimParticleCount, const int* rimList);

    void setDrive(float value) { drive = value; }
    void setBrake(float value) { brake = value; }
    // Revolutions per second, as measured by the latest measureSpin.
    float spin() const { return spinRate; }

    // Turns the brake seed into a force against the spin, adds drive and drag,
    // and spreads the total over the rim, perpendicular to axle and radius.
    void applyTorque();
    // Measures the spin from the first rim particle's velocity.
    void measureSpin();

    // The two halves of applyTorque and measureSpin that do not touch the
    // particle arrays, for a step that keeps its particles elsewhere:
    // transforms the brake seed and returns the total tangential force T of
    // this evaluation; and sets the spin from the hub and first rim positions
    // and the first rim particle's velocity.
    float evaluateTorque();
    void measureSpinFrom(const Vec3& hubAPosition, const Vec3& hubBPosition,
                         const Vec3& rimPosition, const Vec3& rimVelocity);

    Vec3* positions = nullptr; // the world's position array (not owned)
    int* rim = nullptr;        // owned, rimCount particle indices
    int rimCount = 0;
    Particle* particles = nullptr; // the world's particle array (not owned)
    int hubA = 0;                  // first axle particle
    int hubB = 0;                  // second axle particle
    float drive = 0.0f;            // N, total tangential force from the drive train
    float brake = 0.0f;            // N, brake seed; transformed by each torque evaluation
    float spinRate = 0.0f;         // rev/s, positive in the direction a positive drive turns
};
