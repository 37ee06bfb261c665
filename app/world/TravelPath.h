// TravelPath: where the truck has recently stood well, for recover to put a
// stuck truck back. Every `interval` seconds of simulated time it notes the
// truck's place and heading when all its wheels touch the ground and the body
// tilts little; it keeps the last `capacity` such spots (about a minute of
// driving) in a fixed ring, so noting allocates nothing.
#pragma once

#include "math/Mat4.h"
#include "math/Vec3.h"

class PhysicsWorld;

struct PathSpot {
    float x = 0.0f;       // m, mean of the particles
    float z = 0.0f;       // m
    float heading = 0.0f; // radians, clockwise from -z seen from above
};

class TravelPath {
  public:
    static constexpr int capacity = 256;
    // Simulated seconds between two looks at the truck.
    static constexpr float interval = 0.25f;
    // A wheel touches when its lowest rim particle is within this of the
    // ground, m (a loaded tyre presses its rim into it).
    static constexpr float touchDistance = 0.1f;
    // The most the body's up axis may lean from the vertical, as its
    // cosine (about 15 degrees).
    static constexpr float leastUpright = 0.966f;
    // Recover goes back at least this far from where the truck is, m: out
    // of the hollow or away from the wall that holds it.
    static constexpr float leastWayBack = 4.0f;

    void clear();
    // One frame at simulated time `time`: every `interval` notes the truck
    // when it stands well (`bodyUp` its unit up axis, `heading` as above).
    // `due` tells whether a look is due, so that the caller fits the body
    // only then.
    bool due(float time) const { return time >= nextLook; }
    void note(PhysicsWorld& world, float time, Vec3 bodyUp, float heading);
    // The newest spot noted at least leastWayBack from (x, z), else the
    // oldest one; false when none is kept. The spot found and every newer
    // one are forgotten, so that a second recover goes farther back.
    bool takeSpotBefore(float x, float z, PathSpot* spot);
    int size() const { return count; }

  private:
    PathSpot spots[capacity];
    // Index of the oldest spot and how many are kept.
    int first = 0;
    int count = 0;
    float nextLook = 0.0f;
};

// Heading of a body transform in radians, clockwise from -z seen from above.
float bodyHeading(const Mat4& body);

// True when every wheel of `world` has a rim particle within `distance` m
// of the ground.
bool allWheelsTouch(PhysicsWorld& world, float distance);
