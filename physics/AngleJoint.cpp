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

bool AngleJoint::force(const Vec3& pa, const Vec3& pb, const Vec3& pc, float target, Vec3& f) {
    const Vec3 u = pb - pc;
    const Vec3 w = pb - pa;
    const float lengths = std::sqrt(dot(w, w)) * std::sqrt(dot(u, u));
    // A zero-length arm has no angle: no force.
    if (!(lengths >= FLT_MIN)) {
        return false;
    }
    const float cosTheta = dot(w, u) / lengths;
    const float h = -cosTheta - target;
    f = u * (jointGain * h);
    return true;
}

void AngleJoint::apply() {
    Vec3 f;
    if (!force(positions[a], positions[b], positions[c], target, f)) {
        return;
    }
    particles[a].force = particles[a].force - f;
    particles[b].force = particles[b].force + f;
}
