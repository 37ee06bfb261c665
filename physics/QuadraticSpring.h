// QuadraticSpring: a two-particle spring whose force grows with the square of
// its extension, with a fixed damping coefficient of 3 N·s/m.
#pragma once

#include "math/Vec3.h"

class Particle;

class QuadraticSpring {
  public:
    // Joins particles first and second; the rest length is their current
    // distance.
    void init(Particle* particleArray, Vec3* positionArray, int first, int second,
              float springStiffness);
    // Adds the spring's force to both particles.
    void apply();

    Particle* particles = nullptr; // the world's particle array (not owned)
    Vec3* positions = nullptr;     // the world's position array (not owned)
    int a = 0;                     // first particle
    int b = 0;                     // second particle
    float stiffness = 0.0f;        // N/m²
    float restLength = 0.0f;       // m, distance at load
    float previousLength = 0.0f;   // m, length at the previous evaluation
};
