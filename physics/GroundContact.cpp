// GroundContact: penetration response and friction against the terrain.
#include "physics/GroundContact.h"

#include "physics/DustSystem.h"
#include "physics/Particle.h"
#include "physics/StepConstants.h"

#include <cmath>

using namespace stepconst;

void GroundContact::bind(Particle* particleArray, Vec3* positionArray, int particleCount) {
    particles = particleArray;
    positions = positionArray;
    count = particleCount;
    dust = nullptr;
}

void GroundContact::resolvePenetration() {
    float peak = peakImpulse;
    for (int i = 0; i < count; ++i) {
        Vec3& position = positions[i];
        Vec3 normal;
        Vec3 foot;
        const float d = terrain.query(position, &normal, &foot);
        if (d < 0.0f) {
            const float change =
                penetrate(terrain, position, particles[i].velocity, d, normal, foot);
            peak = largerImpulse(peak, change, particles[i].mass);
        }
    }
    peakImpulse = peak;
}

float GroundContact::penetrate(const Terrain& ground, Vec3& position, Vec3& velocity, float d,
                               const Vec3& normal, const Vec3& foot) {
    if (leaveThroughEdge(ground, position, velocity, d < -deepPenetration)) {
        return 0.0f;
    }
    if (d < -deepPenetration) {
        // Deeper than one sub-step of contact can sink a particle (it hit a
        // steep face): mirroring by the full depth would throw it far up.
        // Put it on the surface and stop its motion into the ground instead.
        position = foot;
        const float into = dot(velocity, normal);
        if (into < 0.0f) {
            velocity = velocity - normal * into;
            return -into;
        }
        return 0.0f;
    }
    // Ordinary contact: reflect position and velocity in the plane.
    position = position - normal * (2.0f * d);
    const float along = dot(velocity, normal);
    velocity = velocity - normal * (2.0f * along);
    return 2.0f * std::fabs(along);
}

bool GroundContact::leaveThroughEdge(const Terrain& ground, Vec3& position, Vec3& velocity,
                                     bool deep) {
    // The grid spans [minX, maxX) in x and [minZ, maxZ) in z ([-64, 64) m for
    // the default world), and below its surface the ground
    // ends at the edge in a cliff face. A particle below the surface that was
    // beyond the edge one sub-step ago (where it came from, to within the
    // sub-step's tiny curvature term) has come in through that face: it goes
    // back out and stops moving into it. Lifted onto the surface it would
    // move by its whole depth (metres for a wheel hanging over the edge,
    // enough for the stretched springs to fling the truck into the sky), and
    // mirrored it would gain height and speed at every pass over the edge.
    // Deep under the surface within this of the edge, a particle can only
    // have come in through the face, even when it crept in too slowly for
    // its velocity to show it, m.
    const float faceReach = 0.1f;
    const float near = deep ? faceReach : 0.0f;
    const Vec3 before = position - velocity * timeStep;
    bool crossed = false;
    float* coordinates[2] = {&position.x, &position.z};
    float* speeds[2] = {&velocity.x, &velocity.z};
    const float was[2] = {before.x, before.z};
    const float low[2] = {ground.minX(), ground.minZ()};
    const float high[2] = {ground.maxX(), ground.maxZ()};
    for (int axis = 0; axis < 2; ++axis) {
        float& coordinate = *coordinates[axis];
        float& speed = *speeds[axis];
        if ((was[axis] < low[axis] || coordinate < low[axis] + near) && coordinate >= low[axis]) {
            coordinate = low[axis] - 0.001f;
            speed = speed > 0.0f ? 0.0f : speed;
            crossed = true;
        } else if ((was[axis] >= high[axis] || coordinate >= high[axis] - near) &&
                   coordinate < high[axis]) {
            coordinate = high[axis] + 0.001f;
            speed = speed < 0.0f ? 0.0f : speed;
            crossed = true;
        }
    }
    return crossed;
}

void GroundContact::applyFriction() {
    for (int i = 0; i < count; ++i) {
        const Vec3& position = positions[i];
        Vec3 normal;
        const float d = terrain.query(position, &normal, nullptr);
        if (d < contactSkin) {
            Particle& particle = particles[i];
            friction(position, normal, particle.velocity, particle.force, particle.inverseMass,
                     dust);
        }
    }
}

void GroundContact::friction(const Vec3& position, const Vec3& normal, Vec3& velocity, Vec3& force,
                             float inverseMass, DustSystem* dust) {
    const float fn = dot(force, normal);
    if (!(fn < 0.0f)) {
        return;
    }
    const float vn = dot(velocity, normal);
    const Vec3 vt = velocity - normal * vn;
    const float s = std::sqrt(dot(vt, vt));
    if (s > dustSpeed && dust) {
        // Half the full velocity; the dust system jitters this copy.
        Vec3 dustVelocity = velocity * 0.5f;
        dust->emit(position, dustVelocity);
    }
    const Vec3 ft = force - normal * fn;
    const float ftLength = std::sqrt(dot(ft, ft));
    const float limit = -frictionCoefficient * fn;
    // At rest it holds while the tangential force is below the normal
    // force; in motion while the friction left over after cancelling the
    // tangential force could stop it within this sub-step.
    const bool sticks =
        (s < stickSpeed && -fn > ftLength) || ((limit - ftLength) * inverseMass * timeStep > s);
    if (sticks) {
        force = force - ft;
        if (s > stickSpeed) {
            velocity = normal * vn + vt * 0.5f;
        }
    } else {
        // Friction of the full limit against the sliding direction; with no
        // sliding direction at all there is nothing to oppose.
        Vec3 friction = zeroVec3();
        if (s > 0.0f) {
            friction = Vec3(limit * vt.x / s, limit * vt.y / s, limit * vt.z / s);
        }
        force = normal * fn + ft - friction;
    }
}
