// DustParticle: one slot of the dust ring, a mote kicked up by fast sliding.
#pragma once

#include "math/Vec3.h"

struct DustParticle {
    Vec3 position;          // m
    Vec3 velocity;          // m/s
    float birthTime = 0.0f; // s, the dust clock at emission
    bool alive = false;     // set at the slot's first emission, never cleared
    Vec3 shape;             // each component in 0..0.9999, fixed at emission; drawing only
};
