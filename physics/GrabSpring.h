// GrabSpring: a hand on the soft body. One particle is pulled towards a
// target point by a spring-damper whose pull and whose reach are capped, so
// that a target however far away drags the truck but never tears it apart.
// The step adds the force once per sub-step at a fixed place (see
// PhysicsWorld::subStep); with nothing grabbed it adds nothing at all.
#pragma once

#include "math/Vec3.h"

// N/m. At the 2 m reach the pull is the cap below; a truck of 32 kg (315 N)
// hung from one node settles about 1 m below the target, and a corner pulled
// up 2 m gets its full 600 N, well over the ~160 N that tips it onto the
// opposite wheels.
constexpr float grabStiffness = 300.0f;
// N s/m, on the particle's own velocity: a damping ratio of about 0.3 for the
// whole truck hanging on the spring (2 sqrt(300 N/m * 32 kg) = 196 N s/m is
// critical), so a hung truck stops swinging within a few periods; and a
// truck dragged by the capped pull reaches at most 600 / 60 = 10 m/s. On the
// lightest node (a rim particle, 0.04 kg) c dt / m = 0.75, inside the
// explicit step's stable range.
constexpr float grabDamping = 60.0f;
// N: about twice the truck's weight, enough to lift it whole by any node with
// a margin to accelerate it upwards; the chassis braces (40000 N/m) carry it
// with about 1.5 cm of stretch.
constexpr float grabForceCap = 600.0f;
// m: the spring never sees a target farther than this (grabForceCap /
// grabStiffness), so a far target pulls with the cap and no more.
constexpr float grabReach = grabForceCap / grabStiffness;

struct GrabSpring {
    int particle = -1; // the grabbed particle; -1 while nothing is grabbed
    Vec3 target;       // m, the world point it is pulled towards

    bool active() const { return particle >= 0; }
    // The pull on a particle at `position` (m) moving at `velocity` (m/s):
    // stiffness times the offset to the target (at most grabReach long),
    // minus damping times the velocity, then at most grabForceCap long.
    static Vec3 force(Vec3 position, Vec3 velocity, Vec3 target);
};
