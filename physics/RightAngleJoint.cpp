// RightAngleJoint: forces from the cosine of the corner angle.
#include "physics/RightAngleJoint.h"

#include "physics/Particle.h"
#include "physics/StepConstants.h"

#include <cfloat>
#include <cmath>

using namespace stepconst;

void RightAngleJoint::init(Vec3* positionArray, Particle* particleArray, int first, int corner,
                           int third) {
    positions = positionArray;
    particles = particleArray;
    a = first;
    b = corner;
    c = third;
}

bool RightAngleJoint::forces(const Vec3& pa, const Vec3& pb, const Vec3& pc, Vec3& fa, Vec3& fc) {
    const Vec3 u = pa - pb;
    const Vec3 w = pc - pb;
    const float uu = dot(u, u);
    const float ww = dot(w, w);
    // A zero-length arm (or one so short that its inverse overflows) has no
    // angle: no force.
    if (!(uu >= FLT_MIN) || !(ww >= FLT_MIN)) {
        return false;
    }
    const float inverseProduct = (1.0f / uu) * (1.0f / ww);
    if (!(inverseProduct <= FLT_MAX)) {
        return false;
    }
    const float m = dot(u, w);
    const float cosTheta = m * std::sqrt(inverseProduct);
    const float k = -jointGain * cosTheta;
    // Each end is pushed along the part of the other arm perpendicular to its
    // own, which opens an acute angle and closes an obtuse one.
    fa = (w - u * (m / uu)) * k;
    fc = (u - w * (m / ww)) * k;
    return true;
}

void RightAngleJoint::apply() {
    Vec3 fa;
    Vec3 fc;
    if (!forces(positions[a], positions[b], positions[c], fa, fc)) {
        return;
    }
    particles[a].force = particles[a].force + fa;
    particles[c].force = particles[c].force + fc;
    particles[b].force = particles[b].force - (fa + fc);
}
