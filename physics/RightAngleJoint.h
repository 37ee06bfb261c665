// RightAngleJoint: holds the angle at corner b between the arms to a and c
// at 90 degrees with forces that sum to zero.
#pragma once

#include "math/Vec3.h"

class Particle;

class RightAngleJoint {
  public:
    void init(Vec3* positionArray, Particle* particleArray, int first, int corner, int third);
    // Pushes a and c perpendicular to the other arm and b the opposite way.
    void apply();

    Vec3* positions = nullptr;     // the world's position array (not owned)
    Particle* particles = nullptr; // the world's particle array (not owned)
    int a = 0;
    int b = 0; // corner particle
    int c = 0;
};
