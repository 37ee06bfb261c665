// blownUpParticle: the test that tells a soft body which has blown up (a
// step too stiff for its masses, or a broken element) from one that is only
// moving fast. Cheap enough to run after every frame.
#pragma once

#include "math/Vec3.h"
#include "physics/Particle.h"

#include <cmath>

// A particle faster than this has blown up, m/s. The fastest honest motion
// of the truck is a fall from the map's edge down to the fall-out depth
// (about 35 m/s after 65 m of free fall); a rim particle of a wheel at top
// speed moves at twice the truck's 12 m/s. An integration that has gone
// unstable doubles its speeds every few sub-steps, so it passes 100 m/s
// within milliseconds of leaving those figures behind.
constexpr float blowUpSpeed = 100.0f;

// The first particle whose position or velocity is not finite or whose speed
// exceeds blowUpSpeed; -1 when there is none.
inline int blownUpParticle(const Vec3* positions, const Particle* particles, int count) {
    const float limit = blowUpSpeed * blowUpSpeed;
    for (int i = 0; i < count; ++i) {
        const Vec3& v = particles[i].velocity;
        const Vec3& p = positions[i];
        // Written so that NaN fails too; an infinite or overflowing speed
        // squares to infinity, which is above the limit.
        if (!(v.x * v.x + v.y * v.y + v.z * v.z <= limit) || !std::isfinite(p.x) ||
            !std::isfinite(p.y) || !std::isfinite(p.z)) {
            return i;
        }
    }
    return -1;
}
