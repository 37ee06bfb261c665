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
    // The forces on a (fa) and c (fc) of a joint with corner pb and arms to pa
    // and pc; b receives -(fa + fc). False (nothing written) for an arm too
    // short to give an angle.
    static bool forces(const Vec3& pa, const Vec3& pb, const Vec3& pc, Vec3& fa, Vec3& fc);

    Vec3* positions = nullptr;     // the world's position array (not owned)
    Particle* particles = nullptr; // the world's particle array (not owned)
    int a = 0;
    int b = 0; // corner particle
    int c = 0;
};
