// AngleJoint: force from the cosine error of the corner angle.
#include "physics/AngleJoint.h"

#include "physics/Particle.h"
#include "physics/StepConstants.h"

#include <cfloat>
#include <cmath>

using namespace stepconst;

void AngleJoint::init(Vec3* positionArray, Particle* particleArray, int first, int corner,
                      int third) {
    positions = positionArray;
    particles = particleArray;
    a = first;
    b = corner;
    c = third;
    target = 0.0f;
}

void AngleJoint::apply() {
    const Vec3 u = positions[b] - positions[c];
    const Vec3 w = positions[b] - positions[a];
    const float lengths = std::sqrt(dot(w, w)) * std::sqrt(dot(u, u));
    // A zero-length arm has no angle: no force.
    if (!(lengths >= FLT_MIN)) {
        return;
    }
    const float cosTheta = dot(w, u) / lengths;
    const float h = -cosTheta - target;
    const Vec3 f = u * (jointGain * h);
    particles[a].force = particles[a].force - f;
    particles[b].force = particles[b].force + f;
}
