// TravelPath: the ring of good spots along the truck's recent path.
#include "app/world/TravelPath.h"

#include "app/world/TruckPlacement.h"
#include "physics/PhysicsWorld.h"

#include <cmath>

float bodyHeading(const Mat4& body) {
    const Vec3 forward = body.transformVector(Vec3(0.0f, 0.0f, -1.0f));
    return std::atan2(forward.x, -forward.z);
}

void TravelPath::clear() {
    first = 0;
    count = 0;
    nextLook = 0.0f;
}

bool allWheelsTouch(PhysicsWorld& world, float distance) {
    const Vec3* positions = world.positions();
    const Terrain& terrain = world.terrain();
    const Wheel* wheels = world.wheels();
    for (int w = 0; w < world.wheelCount(); ++w) {
        float lowest = Terrain::outside;
        for (int k = 0; k < wheels[w].rimCount; ++k) {
            lowest =
                std::fmin(lowest, terrain.query(positions[wheels[w].rim[k]], nullptr, nullptr));
        }
        if (!(lowest < distance)) {
            return false;
        }
    }
    return world.wheelCount() > 0;
}

void TravelPath::note(PhysicsWorld& world, float time, Vec3 bodyUp, float heading) {
    if (time < nextLook) {
        return;
    }
    nextLook = time + interval;
    if (world.particleCount() <= 0 || !(bodyUp.y >= leastUpright) ||
        !allWheelsTouch(world, touchDistance)) {
        return;
    }
    const Vec3 centre = meanPosition(world);
    PathSpot spot;
    spot.x = centre.x;
    spot.z = centre.z;
    spot.heading = heading;
    if (count < capacity) {
        spots[(first + count) % capacity] = spot;
        ++count;
    } else {
        spots[first] = spot;
        first = (first + 1) % capacity;
    }
}

bool TravelPath::takeSpotBefore(float x, float z, PathSpot* spot) {
    if (count == 0) {
        return false;
    }
    // From the newest back: the first far enough away, or the oldest.
    int age = count - 1;
    for (; age > 0; --age) {
        const PathSpot& s = spots[(first + age) % capacity];
        if (std::hypot(s.x - x, s.z - z) >= leastWayBack) {
            break;
        }
    }
    *spot = spots[(first + age) % capacity];
    count = age;
    return true;
}
