// Spring: a damped two-particle spring, linear within 20 % of its rest
// length and five times as stiff beyond.
#pragma once

#include "math/Vec3.h"

class Particle;

class Spring {
  public:
    // Joins particles first and second; the rest length is their current
    // distance.
    void init(Particle* particleArray, Vec3* positionArray, int first, int second,
              float springStiffness, float springDamping);
    // Adds the spring's elastic and damping force to both particles.
    void apply();

    Particle* particles = nullptr; // the world's particle array (not owned)
    Vec3* positions = nullptr;     // the world's position array (not owned)
    int a = 0;                     // first particle
    int b = 0;                     // second particle
    float stiffness = 0.0f;        // N/m
    float damping = 0.0f;          // N·s/m
    float restLength = 0.0f;       // m, distance at load
    float previousLength = 0.0f;   // m, length at the previous evaluation
};
