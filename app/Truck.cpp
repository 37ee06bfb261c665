// Truck: taking a world, and the frame's controls shared by every truck.
#include "app/Truck.h"

#include "physics/DustSystem.h"
#include "physics/PhysicsWorld.h"

#include <cstring>
#include <thread>

namespace {
// Key codes of the driving keys.
const int keySpace = 32;
const int keyLeft = 356;
const int keyUp = 357;
const int keyRight = 358;
const int keyDown = 359;

const int analogSteer = static_cast<int>(AnalogControl::steer);
const int analogThrottle = static_cast<int>(AnalogControl::throttle);
const int analogBrake = static_cast<int>(AnalogControl::brake);

// Dust slots of each truck.
const int dustSlots = 1024;
} // namespace

void initTruckRamps(InputRamp& steering, InputRamp& throttle, InputRamp& brake) {
    steering.init(0.0f, -0.6f, 0.6f, 1.5f, 1.5f);
    throttle.init(0.0f, -1.0f, 1.0f, 2.0f, 2.0f);
    brake.init(0.0f, -1.0f, 1.0f, 2.0f, 2.0f);
}

void applyTruckControls(const TruckControlState& c, PhysicsWorld& world, float dt) {
    // Each ramp follows its keys and, once a pad or a script has given one,
    // its analog value; the larger deflection wins (InputRamp::update).
    const float steering =
        c.steeringRamp->update(dt, c.keys[keyRight] != 0, c.keys[keyLeft] != 0,
                               c.analogGiven[analogSteer], c.analogValue[analogSteer]);
    AngleJoint* joints = world.angleJoints();
    joints[0].setTarget(steering);
    joints[1].setTarget(-steering);

    const float throttle =
        c.throttleRamp->update(dt, c.keys[keyUp] != 0, c.keys[keyDown] != 0,
                               c.analogGiven[analogThrottle], c.analogValue[analogThrottle]);
    c.driveController->update(throttle);

    const float brake = c.brakeRamp->update(dt, c.keys[keySpace] != 0, false,
                                            c.analogGiven[analogBrake], c.analogValue[analogBrake]);
    Wheel* wheels = world.wheels();
    const int wheelCount = world.wheelCount();
    for (int w = 0; w < wheelCount; ++w) {
        wheels[w].setBrake(brake);
    }
}

Truck::Truck() {
    std::memset(keys, 0, sizeof keys);
    initTruckRamps(steeringRamp, throttleRamp, brakeRamp);
}

Truck::~Truck() {
    delete world;
    if (dust != nullptr) {
        dust->release();
        delete dust;
    }
}

void Truck::take(PhysicsWorld* fresh) {
    initTruckRamps(steeringRamp, throttleRamp, brakeRamp);
    driveController.bindWheels(fresh->wheels());
    delete world;
    world = fresh;
    offGridSeconds = 0.0f;
    grabbedParticle = -1;
    travelPath.clear();
    if (dust != nullptr) {
        dust->release();
        delete dust;
    }
    dust = new DustSystem(dustSlots, world->terrain());
    world->setDustSystem(dust);
}

TruckControlState Truck::controls() {
    return TruckControlState{
        keys, &steeringRamp, &throttleRamp, &brakeRamp, &driveController, analogValue, analogGiven};
}

int defaultThreads(int trucks) {
    const int shared = trucks / 4;
    const int cores = processorCount();
    return shared < 1 ? 1 : (shared < cores ? shared : cores);
}

int processorCount() {
    const unsigned count = std::thread::hardware_concurrency();
    return count > 0 ? static_cast<int>(count) : 1;
}
