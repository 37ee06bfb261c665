// TruckApp recover: a truck stuck, wedged or on its roof is put back on its
// wheels where it last stood well, some way back along its path, facing the
// way it faced there; and the path it keeps for that.
#include "app/TruckApp.h"

#include "app/world/TravelPath.h"
#include "app/world/TruckPlacement.h"
#include "physics/PhysicsWorld.h"

#include <cmath>

namespace {
// Height of the lowest particle above the ground after a recovery, m: clear
// of every bump under the truck, low enough that it settles without a jolt.
const float recoverClearance = 0.2f;
} // namespace

void TruckApp::notePath() {
    if (bodyMesh == nullptr || world == nullptr || !travelPath.due(simTime)) {
        return;
    }
    const Mat4 body = bodyTransform();
    const Vec3 up = normalized(body.transformVector(Vec3(0.0f, 1.0f, 0.0f)));
    travelPath.note(*world, simTime, up, bodyHeading(body));
}

bool TruckApp::recover() {
    if (world == nullptr || world->particleCount() <= 0) {
        return reset();
    }
    float heading = bodyHeading(bodyTransform());
    Vec3 centre = meanPosition(*world);
    // Off the grid there is no ground to put the truck on: back to the start.
    if (world->terrain().query(Vec3(centre.x, 0.0f, centre.z), nullptr, nullptr) >=
        Terrain::outside) {
        return reset();
    }
    // Where the truck stood well last, some way back along its path and
    // facing as it faced there: out of what holds it now. With no such spot
    // (a truck that has not yet stood well) it is righted where it is.
    TravelPath kept = travelPath;
    PathSpot spot;
    if (kept.takeSpotBefore(centre.x, centre.z, &spot)) {
        centre = Vec3(spot.x, 0.0f, spot.z);
        heading = spot.heading;
    }
    if (!reset()) {
        return false;
    }
    travelPath = kept;
    const float freshHeading = bodyHeading(bodyTransform());
    if (!placeTruck(*world, centre.x, centre.z, heading - freshHeading, recoverClearance)) {
        return false;
    }
    ++recoveries;
    return true;
}
