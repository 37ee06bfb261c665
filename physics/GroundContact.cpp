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
    for (int i = 0; i < count; ++i) {
        Vec3& position = positions[i];
        Vec3 normal;
        Vec3 foot;
        const float d = terrain.query(position, &normal, &foot);
        if (d < 0.0f) {
            penetrate(position, particles[i].velocity, d, normal, foot);
        }
    }
}

void GroundContact::penetrate(Vec3& position, Vec3& velocity, float d, const Vec3& normal,
                              const Vec3& foot) {
    if (d < -deepPenetration) {
        // Deeper than one sub-step of contact can sink a particle (it came
        // back over the grid from below, or hit a steep face): mirroring by
        // the full depth would throw it far up.
        if (leaveThroughEdge(position, velocity)) {
            return;
        }
        // Put it on the surface and stop its motion into the ground instead.
        position = foot;
        const float into = dot(velocity, normal);
        if (into < 0.0f) {
            velocity = velocity - normal * into;
        }
    } else {
        // Ordinary contact: reflect position and velocity in the plane.
        position = position - normal * (2.0f * d);
        velocity = velocity - normal * (2.0f * dot(velocity, normal));
    }
}

bool GroundContact::leaveThroughEdge(Vec3& position, Vec3& velocity) {
    // The grid spans [-64, 64) m in x and z. Below its surface at the edge
    // the ground ends in a cliff face: a particle that hung below the
    // surface beyond the edge and crossed back under it within this sub-step
    // (at most a few centimetres) hits that face. Lifting it onto the
    // surface instead would move it by its whole depth, metres, and the
    // stretched springs would fling the truck into the sky.
    const float edge = 0.5f * Terrain::spacing * static_cast<float>(Terrain::cellCount);
    const float reach = 0.1f; // m, the furthest a particle crosses in one sub-step (200 m/s)
    const float gaps[4] = {position.x + edge, edge - position.x, position.z + edge,
                           edge - position.z};
    int nearest = 0;
    for (int k = 1; k < 4; ++k) {
        nearest = gaps[k] < gaps[nearest] ? k : nearest;
    }
    if (!(gaps[nearest] < reach)) {
        return false;
    }
    // Back out through the face, just beyond the edge, with no speed into it.
    const float outside = edge + 0.001f;
    float& coordinate = nearest < 2 ? position.x : position.z;
    float& speed = nearest < 2 ? velocity.x : velocity.z;
    const float outward = nearest % 2 == 0 ? -1.0f : 1.0f;
    coordinate = outward * outside;
    if (speed * outward < 0.0f) {
        speed = 0.0f;
    }
    return true;
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
