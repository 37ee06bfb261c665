// Truck: what one truck of several is: its body in the world, its dust, its
// held keys, its three ramped controls and drive, its analog values, its
// grab and the path it drove lately. TruckApp holds one of these for every
// truck; its one-truck fields (`world`, `keys`, the ramps, ...) name the
// parts of truck 0.
#pragma once

#include "app/input/InputEvent.h"
#include "app/input/InputRamp.h"
#include "app/world/TravelPath.h"
#include "math/Vec3.h"
#include "physics/DriveController.h"

class DustSystem;
class PhysicsWorld;

// A truck's controls as one frame reads them, and the frame's work on them:
// the ramps follow the held keys and any analog value, and the steering
// joints, the drive and the brakes of the world take their values. The first
// truck's fields and a Truck's fields both go through this, in the same
// order, so one truck steps exactly as it always has.
struct TruckControlState {
    const unsigned char* keys;
    InputRamp* steeringRamp;
    InputRamp* throttleRamp;
    InputRamp* brakeRamp;
    DriveController* driveController;
    const float* analogValue;
    const bool* analogGiven;
};
void applyTruckControls(const TruckControlState& controls, PhysicsWorld& world, float dt);
// The ramps at their starting values (each reset).
void initTruckRamps(InputRamp& steering, InputRamp& throttle, InputRamp& brake);

class Truck {
  public:
    Truck();
    ~Truck();
    Truck(const Truck&) = delete;
    Truck& operator=(const Truck&) = delete;

    // Takes a freshly loaded and placed world (owned from now on) and gives
    // it a dust system of its own; the controls start again, the grab is let
    // go and the path is forgotten. The keys are kept: a truck reset keeps
    // what is held on it. (Truck 0's world and dust are set by TruckApp's
    // reset, as they always were; the truck owns them all the same.)
    void take(PhysicsWorld* fresh);
    TruckControlState controls();

    PhysicsWorld* world = nullptr;
    DustSystem* dust = nullptr;
    // Key state by key code 0..511, nonzero while held.
    unsigned char keys[512];
    InputRamp steeringRamp;
    InputRamp throttleRamp;
    InputRamp brakeRamp;
    DriveController driveController;
    float analogValue[analogControlCount] = {0.0f, 0.0f, 0.0f};
    bool analogGiven[analogControlCount] = {false, false, false};
    // The grabbed particle (-1: none) and the world point it is pulled to, m.
    int grabbedParticle = -1;
    Vec3 grabTarget;
    // Simulated seconds the whole truck has been beyond the grid's edge.
    float offGridSeconds = 0.0f;
    // Where the truck stood well lately, for recover.
    TravelPath travelPath;
};

// Processors this machine has (at least 1): the default thread count.
int processorCount();
// Threads for `trucks` trucks when none are asked for: one per core, but at
// least four trucks to a thread. The lockstep meets at two barriers every
// 0.5 ms sub-step; with fewer trucks a thread's share of a sub-step is too
// short to pay for them, and on a machine whose cores are busy elsewhere (a
// software renderer's threads, other programs) each barrier can wait a
// scheduler's time slice, which made four trucks in the window run at 2
// frames a second on two threads and at 41 on one.
int defaultThreads(int trucks);
