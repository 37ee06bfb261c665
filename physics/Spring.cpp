// Spring: piecewise elastic law and length-rate damping.
#include "physics/Spring.h"

#include "physics/Particle.h"
#include "physics/StepConstants.h"

#include <cmath>

using namespace stepconst;

void Spring::init(Particle* particleArray, Vec3* positionArray, int first, int second,
                  float springStiffness, float springDamping) {
    particles = particleArray;
    positions = positionArray;
    a = first;
    b = second;
    stiffness = springStiffness;
    damping = springDamping;
    const Vec3 d = positions[b] - positions[a];
    restLength = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    previousLength = restLength;
}

void Spring::apply() {
    const Vec3 d = positions[b] - positions[a];
    const float length = std::sqrt(dot(d, d));
    const float e = 0.8f * restLength;
    float f;
    if (length < e) {
        // Compressed past 20 %: five times as stiff, with the offset as tuned.
        f = stiffness * (5.0f * (length - restLength) - (e - restLength));
    } else if (length <= 2.0f * restLength - e) {
        f = stiffness * (length - restLength);
    } else {
        f = stiffness * (5.0f * (length - restLength) + (e - restLength));
    }
    // Positive while the spring lengthens.
    const float dampingForce = damping * (previousLength - length) * negInverseStep;
    previousLength = length;
    // Too short to give a direction: no force.
    if (length < shortSpringLength) {
        return;
    }
    const float lambda = (f + dampingForce) / length;
    const Vec3 pull = d * lambda;
    particles[a].force = particles[a].force + pull;
    particles[b].force = particles[b].force - pull;
}
