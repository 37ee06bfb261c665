// Particle: one point mass of the soft body with its Beeman-type
// predictor-corrector integration. Its position lives in the world's
// positions array at its own index; the record holds everything else.
#pragma once

#include "math/Vec3.h"

class Particle {
  public:
    // Sets the particle at rest with the given mass (kg, finite and above
    // zero): zero velocity and force, both accelerations gravity.
    void init(Vec3* positionArray, int ownIndex, float particleMass);

    // First half of a sub-step: advances the position from the velocity and
    // the two latest accelerations, then adds gravity to the force.
    void predict();
    // Second half: integrates the accumulated force into the velocity, shifts
    // the accelerations and clears the force.
    void correct();

    Vec3* positions = nullptr; // the world's position array (not owned)
    int index = 0;             // this particle's entry in positions
    Vec3 velocity;             // m/s
    Vec3 acceleration;         // m/s², produced by the latest sub-step
    Vec3 previousAcceleration; // m/s², of the sub-step before
    Vec3 force;                // N, accumulator of the current sub-step
    float mass = 0.0f;         // kg
    float inverseMass = 0.0f;  // 1/kg
};
