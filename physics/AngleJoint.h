// AngleJoint: pulls the cosine of the angle at corner b, between the arms to
// a and c, towards -target. Joints 0 and 1 of the model carry the steering.
#pragma once

#include "math/Vec3.h"

class Particle;

class AngleJoint {
  public:
    void init(Vec3* positionArray, Particle* particleArray, int first, int corner, int third);
    void setTarget(float value) { target = value; }
    // Adds the joint force to a and its opposite to b; c receives none.
    void apply();
    // The force f that a loses and b gains for a joint with corner pb, arms to
    // pa and pc and the given target; false (f untouched) for a zero-length arm.
    static bool force(const Vec3& pa, const Vec3& pb, const Vec3& pc, float target, Vec3& f);

    Vec3* positions = nullptr;     // the world's position array (not owned)
    Particle* particles = nullptr; // the world's particle array (not owned)
    int a = 0;
    int b = 0; // corner particle
    int c = 0;
    float target = 0.0f; // wanted value of -cos(angle at b); 0 holds 90 degrees
};
