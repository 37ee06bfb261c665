// The shipped truck (the generated Modell.txt) gives the same positions to the
// bit after 20,000 sub-steps at rest and 20,000 sub-steps driving, whatever
// the step's inner layout. The golden hashes below were recorded with the
// plain element-by-element step; a faster step must reproduce them exactly.
// When the truck model changes, record them again by running this test
// against the plain step with the new Modell.txt and copying the printed
// values.
#include "physics/DriveController.h"
#include "physics/DustRandom.h"
#include "physics/DustSystem.h"
#include "physics/PhysicsWorld.h"
#include "physics/PositionHash.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

// Golden position hashes of the shipped truck: the only place they live.
const uint64_t restingGolden = 0xfea8dea6e1e43d8dull;
const uint64_t drivingGolden = 0xa179c4bdf559864full;

const int frameMilliseconds = 10; // 20 sub-steps per frame, as a fast frame
const int frames = 1000;          // 20,000 sub-steps

std::string hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%016" PRIx64 "ull", value);
    return text;
}

std::unique_ptr<PhysicsWorld> shippedTruck() {
    std::unique_ptr<PhysicsWorld> world(new PhysicsWorld());
    const std::string path = std::string(DRAVONEL_ASSET_DIR) + "/Modell.txt";
    if (!world->loadModel(path.c_str())) {
        ADD_FAILURE() << world->failureReason();
        return nullptr;
    }
    if (world->wheelCount() < 4 || world->angleJointCount() < 2) {
        ADD_FAILURE() << path << ": not a truck (needs 4 wheels and 2 steering joints)";
        return nullptr;
    }
    return world;
}

// Runs the frames as the application's frame update does: steering targets,
// drive, brakes, dust, then the step. Steering, throttle and brake give the
// controls of a frame.
struct Controls {
    float steering;
    float throttle;
    float brake;
};

template <typename Script> uint64_t run(PhysicsWorld& world, Script script) {
    DustRandom::shared().seed(1);
    DustSystem dust(1024, world.terrain());
    world.setDustSystem(&dust);
    DriveController controller;
    controller.bindWheels(world.wheels());
    float time = 0.0f;
    const float dt = 0.001f * frameMilliseconds;
    for (int frame = 0; frame < frames; ++frame) {
        const Controls c = script(frame);
        world.angleJoints()[0].setTarget(c.steering);
        world.angleJoints()[1].setTarget(-c.steering);
        controller.update(c.throttle);
        for (int w = 0; w < world.wheelCount(); ++w) {
            world.wheels()[w].setBrake(c.brake);
        }
        time += dt;
        dust.update(time, dt);
        dust.setClock(time);
        world.step(frameMilliseconds);
    }
    world.setDustSystem(nullptr);
    return positionHash(world.positions(), world.particleCount());
}

} // namespace

TEST(ShippedTruckBits, RestingAndDrivingKeepTheRecordedPositionHashes) {
    auto resting = shippedTruck();
    auto driving = shippedTruck();
    ASSERT_TRUE(resting && driving);

    const uint64_t rest = run(*resting, [](int) { return Controls{0.0f, 0.0f, 0.0f}; });
    // Full throttle straight ahead, then full lock, then the brake held with
    // the lock kept: every term of the wheel torque is exercised.
    const uint64_t drive = run(*driving, [](int frame) {
        if (frame < 400) {
            return Controls{0.0f, 1.0f, 0.0f};
        }
        if (frame < 800) {
            return Controls{0.6f, 1.0f, 0.0f};
        }
        return Controls{0.6f, 0.0f, 1.0f};
    });

    // The controls reached the truck.
    EXPECT_NE(rest, drive);
    EXPECT_EQ(rest, restingGolden) << "resting: computed " << hex(rest);
    EXPECT_EQ(drive, drivingGolden) << "driving: computed " << hex(drive);
    // Paste-ready when they differ.
    if (rest != restingGolden || drive != drivingGolden) {
        std::printf("const uint64_t restingGolden = %s;\nconst uint64_t drivingGolden = %s;\n",
                    hex(rest).c_str(), hex(drive).c_str());
    }
}
