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

    Vec3* positions = nullptr;     // the world's position array (not owned)
    Particle* particles = nullptr; // the world's particle array (not owned)
    int a = 0;
    int b = 0; // corner particle
    int c = 0;
    float target = 0.0f; // wanted value of -cos(angle at b); 0 holds 90 degrees
};
