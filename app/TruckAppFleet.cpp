// TruckApp with several trucks: where the further trucks start, which one is
// driven, the step that runs them together, and their resets.
#include "app/TruckApp.h"

#include "app/Truck.h"
#include "app/world/MapFile.h"
#include "app/world/TruckPlacement.h"
#include "physics/BlowUp.h"
#include "physics/MultiBodyStep.h"
#include "physics/PhysicsWorld.h"
#include "physics/PositionHash.h"

#include <cmath>
#include <string>

namespace {
// The default world: trucks 8 m apart along -z on the flat strip, a column
// of eight, then a second column 4 m to the right.
const float truckSpacing = 8.0f; // m
const int columnLength = 8;
const float columnSpacing = 4.0f; // m
// On a map, trucks without a start of their own stand in rows of two behind
// the last start: 8 m from row to row, 2.5 m either side of its line.
const float rowSpacing = 8.0f;   // m
const float rowHalfWidth = 2.5f; // m
// Height of a placed truck's lowest particle above the ground, m.
const float startClearance = 0.2f;
} // namespace

void TruckApp::setTruckCount(int count) {
    trucks = count < 1 ? 1 : (count > maxTrucks ? maxTrucks : count);
}

void TruckApp::setThreads(int threads) {
    threadCount = threads < 1 ? 1 : threads;
    if (multiStep != nullptr) {
        multiStep->setThreads(threadCount);
    }
}

void TruckApp::selectTruck(int k) {
    if (k >= 0 && k < trucks) {
        selected = k;
    }
}

PhysicsWorld* TruckApp::truckWorld(int k) const {
    if (k < 0 || k >= trucks || fleet[k] == nullptr) {
        return nullptr;
    }
    return fleet[k]->world;
}

unsigned char* TruckApp::drivenKeys() {
    return fleet[selected]->keys;
}

int TruckApp::heldParticle() const {
    return fleet[selected]->grabbedParticle;
}

uint64_t TruckApp::positionsHash() const {
    if (trucks == 1) {
        return world != nullptr ? positionHash(world->positions(), world->particleCount()) : 0;
    }
    uint64_t hashes[maxTrucks];
    for (int k = 0; k < trucks; ++k) {
        PhysicsWorld* truck = truckWorld(k);
        hashes[k] = truck != nullptr ? positionHash(truck->positions(), truck->particleCount()) : 0;
    }
    return bytesHash(hashes, sizeof(uint64_t) * static_cast<size_t>(trucks));
}

float TruckApp::deepestContact() const {
    return multiStep != nullptr ? multiStep->deepestPenetration() : 0.0f;
}

long long TruckApp::contactCount() const {
    return multiStep != nullptr ? multiStep->contactCount() : 0;
}

bool TruckApp::placeFurtherTruck(PhysicsWorld& fresh, int k) {
    if (map == nullptr) {
        // As loaded the truck stands at rest on the flat strip; carried
        // along it, it still does.
        const int column = k / columnLength;
        const int row = k % columnLength;
        const Vec3 offset(columnSpacing * static_cast<float>(column), 0.0f,
                          -truckSpacing * static_cast<float>(row));
        Vec3* positions = fresh.positions();
        for (int i = 0; i < fresh.particleCount(); ++i) {
            positions[i] = positions[i] + offset;
        }
        return true;
    }
    const int startCount = static_cast<int>(map->starts.size());
    if (k < startCount) {
        const MapFile::Start& start = map->starts[static_cast<size_t>(k)];
        return placeTruck(fresh, start.x, start.z, start.headingRadians, startClearance);
    }
    // Behind the last start, against its heading, in rows of two; where
    // that runs off the ground, the same rows ahead of the first start.
    const int extra = k - startCount;
    const float distance = rowSpacing * static_cast<float>(extra / 2 + 1);
    const float side = (extra % 2 == 0 ? -1.0f : 1.0f) * rowHalfWidth;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const MapFile::Start& from = attempt == 0 ? map->starts.back() : map->starts.front();
        const float along = attempt == 0 ? -distance : distance;
        // Forward is (sin h, -cos h) in x, z; right is (cos h, sin h).
        const float s = std::sin(from.headingRadians);
        const float c = std::cos(from.headingRadians);
        const float x = from.x + along * s + side * c;
        const float z = from.z - along * c + side * s;
        // The whole truck over the ground: 3 m round its middle.
        bool over = true;
        for (int corner = 0; corner < 4 && over; ++corner) {
            const Vec3 p(x + ((corner & 1) ? 3.0f : -3.0f), 0.0f,
                         z + ((corner & 2) ? 3.0f : -3.0f));
            over = map->terrain.query(p, nullptr, nullptr) < Terrain::outside;
        }
        if (over && placeTruck(fresh, x, z, from.headingRadians, startClearance)) {
            return true;
        }
    }
    return false;
}

bool TruckApp::resetTruck(int k) {
    PhysicsWorld* fresh = new PhysicsWorld(map != nullptr ? &map->terrain : nullptr);
    const std::string path = assetPath("Modell.txt");
    if (!fresh->loadModelFromText(modelText.data(), modelText.size(), path.c_str())) {
        reason = fresh->failureReason();
        delete fresh;
        return false;
    }
    if (!placeFurtherTruck(*fresh, k)) {
        reason = "truck " + std::to_string(k) + " has no ground under its start";
        delete fresh;
        return false;
    }
    fresh->setDamage(damage);
    if (fleet[k] == nullptr) {
        fleet[k] = new Truck();
    }
    fleet[k]->take(fresh);
    return true;
}

bool TruckApp::resetOne(int k) {
    if (k == 0) {
        return resetFirstTruck();
    }
    return resetTruck(k);
}

void TruckApp::bindTrucks() {
    if (trucks == 1) {
        return;
    }
    if (multiStep == nullptr) {
        multiStep = new MultiBodyStep();
    }
    PhysicsWorld* list[maxTrucks];
    for (int k = 0; k < trucks; ++k) {
        list[k] = truckWorld(k);
    }
    multiStep->setThreads(threadCount);
    multiStep->bind(list, trucks);
}

void TruckApp::watchTruck(int k, float simulated) {
    Truck& truck = *fleet[k];
    PhysicsWorld& w = *truck.world;
    bool back = false;
    if (blownUpParticle(w.positions(), w.particles(), w.particleCount()) >= 0) {
        back = true;
        ++unstableResets;
    } else {
        truck.offGridSeconds = isOffTheGrid(w) ? truck.offGridSeconds + simulated * 0.001f : 0.0f;
        if (truck.offGridSeconds >= offGridDelay || hasFallenOut(w)) {
            back = true;
            ++fallOutResets;
        }
    }
    if (back && resetTruck(k)) {
        bindTrucks();
    }
}
