// Wheel: rim list ownership, the torque law with its brake transform, and the
// spin measurement.
#include "physics/Wheel.h"

#include "physics/Particle.h"
#include "physics/StepConstants.h"

#include <cfloat>
#include <cmath>
#include <new>

using namespace stepconst;

namespace {

constexpr float brakeGain = 5.0f;   // growth of the brake per evaluation
constexpr float brakeLimit = 50.0f; // N, largest brake force

} // namespace

Wheel::~Wheel() {
    delete[] rim;
}

bool Wheel::init(Vec3* positionArray, Particle* particleArray, int firstHub, int secondHub,
                 int rimParticleCount, const int* rimList) {
    delete[] rim;
    rim = nullptr;
    rimCount = 0;
    if (rimParticleCount > 0) {
        rim = new (std::nothrow) int[rimParticleCount];
        if (!rim) {
            return false;
        }
        for (int k = 0; k < rimParticleCount; ++k) {
            rim[k] = rimList[k];
        }
        rimCount = rimParticleCount;
    }
    positions = positionArray;
    particles = particleArray;
    hubA = firstHub;
    hubB = secondHub;
    drive = 0.0f;
    brake = 0.0f;
    spinRate = 0.0f;
    return true;
}

float Wheel::evaluateTorque() {
    const float s = spinRate;
    const float x = s > 0.0f ? s + 1.0f : s - 1.0f;
    // A seed above 1/(5|x|) grows to the limit, a smaller one fades away; the
    // sign is always against the spin.
    brake = -brakeGain * x * (brake * brake);
    if (brake > brakeLimit) {
        brake = brakeLimit;
    }
    if (brake < -brakeLimit) {
        brake = -brakeLimit;
    }
    const float drag = -s * std::fabs(s);
    return brake + drive + drag;
}

void Wheel::applyTorque() {
    const float torque = evaluateTorque();
    if (rimCount <= 0) {
        return;
    }
    const Vec3 axis = positions[hubA] - positions[hubB];
    for (int k = 0; k < rimCount; ++k) {
        const int p = rim[k];
        const Vec3 r = positions[p] - positions[hubB];
        const Vec3 t = cross(axis, r);
        const float tLength = std::sqrt(dot(t, t));
        const float factor = torque / (static_cast<float>(rimCount) * tLength);
        // A rim particle on (or numerically at) the axle line has no tangent:
        // it gets no force.
        if (!(tLength >= FLT_MIN) || !(std::fabs(factor) <= FLT_MAX)) {
            continue;
        }
        particles[p].force = particles[p].force + t * factor;
    }
}

void Wheel::measureSpin() {
    if (rimCount <= 0) {
        return;
    }
    const int p = rim[0];
    measureSpinFrom(positions[hubA], positions[hubB], positions[p], particles[p].velocity);
}

void Wheel::measureSpinFrom(const Vec3& hubAPosition, const Vec3& hubBPosition,
                            const Vec3& rimPosition, const Vec3& rimVelocity) {
    const Vec3 axis = hubBPosition - hubAPosition;
    const Vec3 r = rimPosition - hubAPosition;
    const Vec3 t = cross(r, axis);
    const float tLength = std::sqrt(dot(t, t));
    const float rLength = std::sqrt(dot(r, r));
    // On the axle line (or on a hub) the rim particle cannot show a rotation.
    if (!(tLength >= FLT_MIN) || !(rLength >= FLT_MIN)) {
        spinRate = 0.0f;
        return;
    }
    const Vec3 tangent = normalized(t);
    spinRate = dot(rimVelocity, tangent) / rLength * spinScale;
}
