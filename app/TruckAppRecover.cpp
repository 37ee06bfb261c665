// TruckApp recover in place: a truck stuck, wedged or on its roof is put back
// on its wheels where it is, facing the way it faced.
#include "app/TruckApp.h"

#include "app/world/TruckPlacement.h"
#include "physics/PhysicsWorld.h"

#include <cmath>

namespace {
// Height of the lowest particle above the ground after a recovery, m: clear
// of every bump under the truck, low enough that it settles without a jolt.
const float recoverClearance = 0.2f;

// Heading of the body in radians, clockwise from -z seen from above.
float headingOf(const Mat4& body) {
    const Vec3 forward = body.transformVector(Vec3(0.0f, 0.0f, -1.0f));
    return std::atan2(forward.x, -forward.z);
}
} // namespace

bool TruckApp::recover() {
    if (world == nullptr || world->particleCount() <= 0) {
        return reset();
    }
    const float heading = headingOf(bodyTransform());
    const Vec3 centre = meanPosition(*world);
    // Off the grid there is no ground to put the truck on: back to the start.
    if (world->terrain().query(Vec3(centre.x, 0.0f, centre.z), nullptr, nullptr) >=
        Terrain::outside) {
        return reset();
    }
    if (!reset()) {
        return false;
    }
    const float freshHeading = headingOf(bodyTransform());
    if (!placeTruck(*world, centre.x, centre.z, heading - freshHeading, recoverClearance)) {
        return false;
    }
    ++recoveries;
    return true;
}
