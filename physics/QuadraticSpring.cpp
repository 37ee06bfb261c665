// QuadraticSpring: signed-square elastic law and fixed damping.
#include "physics/QuadraticSpring.h"

#include "physics/Particle.h"
#include "physics/StepConstants.h"

#include <cmath>

using namespace stepconst;

void QuadraticSpring::init(Particle* particleArray, Vec3* positionArray, int first, int second,
                           float springStiffness) {
    particles = particleArray;
    positions = positionArray;
    a = first;
    b = second;
    stiffness = springStiffness;
    const Vec3 d = positions[b] - positions[a];
    restLength = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    previousLength = restLength;
}

void QuadraticSpring::apply() {
    const Vec3 d = positions[b] - positions[a];
    const float length = std::sqrt(dot(d, d));
    const float x = length - restLength;
    // 3 (L - L_prev) / dt: a damping coefficient of 3 for every such spring.
    const float dampingForce = (previousLength - length) * negThreeOverStep;
    previousLength = length;
    if (length < shortSpringLength) {
        return;
    }
    const float lambda = (dampingForce + stiffness * x * std::fabs(x)) / length;
    const Vec3 pull = d * lambda;
    particles[a].force = particles[a].force + pull;
    particles[b].force = particles[b].force - pull;
}
