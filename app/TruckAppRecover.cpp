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
    for (int k = 0; k < trucks; ++k) {
        notePath(k);
    }
}

void TruckApp::notePath(int k) {
    Truck& truck = *fleet[k];
    if (bodyMesh == nullptr || truck.world == nullptr || !truck.travelPath.due(simTime)) {
        return;
    }
    const Mat4 body = bodyTransformOf(truck.world);
    const Vec3 up = normalized(body.transformVector(Vec3(0.0f, 1.0f, 0.0f)));
    truck.travelPath.note(*truck.world, simTime, up, bodyHeading(body));
}

bool TruckApp::recover() {
    return recoverTruck(selected);
}

bool TruckApp::recoverTruck(int k) {
    Truck& truck = *fleet[k];
    if (truck.world == nullptr || truck.world->particleCount() <= 0) {
        return reset();
    }
    float heading = bodyHeading(bodyTransformOf(truck.world));
    Vec3 centre = meanPosition(*truck.world);
    // Off the grid there is no ground to put the truck on: back to the start.
    if (truck.world->terrain().query(Vec3(centre.x, 0.0f, centre.z), nullptr, nullptr) >=
        Terrain::outside) {
        const bool done = resetOne(k);
        bindTrucks();
        return done;
    }
    // Where the truck stood well last, some way back along its path and
    // facing as it faced there: out of what holds it now. With no such spot
    // (a truck that has not yet stood well) it is righted where it is.
    TravelPath kept = truck.travelPath;
    PathSpot spot;
    if (kept.takeSpotBefore(centre.x, centre.z, &spot)) {
        centre = Vec3(spot.x, 0.0f, spot.z);
        heading = spot.heading;
    }
    const bool fresh = resetOne(k);
    bindTrucks();
    if (!fresh) {
        return false;
    }
    truck.travelPath = kept;
    const float freshHeading = bodyHeading(bodyTransformOf(truck.world));
    if (!placeTruck(*truck.world, centre.x, centre.z, heading - freshHeading, recoverClearance)) {
        return false;
    }
    ++recoveries;
    return true;
}
