// Particle: initial state and the two halves of the integrator.
#include "physics/Particle.h"

#include "physics/StepConstants.h"

using namespace stepconst;

void Particle::init(Vec3* positionArray, int ownIndex, float particleMass) {
    positions = positionArray;
    index = ownIndex;
    velocity = zeroVec3();
    acceleration = Vec3(0.0f, -gravity, 0.0f);
    previousAcceleration = Vec3(0.0f, -gravity, 0.0f);
    force = zeroVec3();
    mass = particleMass;
    inverseMass = 1.0f / particleMass;
}

void Particle::predict() {
    Vec3& p = positions[index];
    // x + v dt + (2/3 a - 1/6 a_prev) dt²
    p.x = p.x + velocity.x * timeStep +
          (2.0f / 3.0f * acceleration.x - 1.0f / 6.0f * previousAcceleration.x) * timeStepSquared;
    p.y = p.y + velocity.y * timeStep +
          (2.0f / 3.0f * acceleration.y - 1.0f / 6.0f * previousAcceleration.y) * timeStepSquared;
    p.z = p.z + velocity.z * timeStep +
          (2.0f / 3.0f * acceleration.z - 1.0f / 6.0f * previousAcceleration.z) * timeStepSquared;
    force.y = force.y - mass * gravity;
}

void Particle::correct() {
    const Vec3 a = force * inverseMass;
    // v + (5/12 a_new + 2/3 a - 1/12 a_prev) dt
    velocity.x = velocity.x + (5.0f / 12.0f * a.x + 2.0f / 3.0f * acceleration.x -
                               1.0f / 12.0f * previousAcceleration.x) *
                                  timeStep;
    velocity.y = velocity.y + (5.0f / 12.0f * a.y + 2.0f / 3.0f * acceleration.y -
                               1.0f / 12.0f * previousAcceleration.y) *
                                  timeStep;
    velocity.z = velocity.z + (5.0f / 12.0f * a.z + 2.0f / 3.0f * acceleration.z -
                               1.0f / 12.0f * previousAcceleration.z) *
                                  timeStep;
    previousAcceleration = acceleration;
    acceleration = a;
    force = zeroVec3();
}
