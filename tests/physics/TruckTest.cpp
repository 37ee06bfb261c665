// The whole soft body: a truck-shaped model rests on the ground, drives
// forward under throttle, and two runs with the same controls are identical
// to the bit.
#include "physics/DriveController.h"
#include "physics/DustSystem.h"
#include "physics/PhysicsWorld.h"
#include "tests/physics/ModelBuilder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

std::unique_ptr<PhysicsWorld> loadedTruck() {
    std::unique_ptr<PhysicsWorld> world(new PhysicsWorld());
    const std::string text = truckModel().text();
    EXPECT_TRUE(world->loadModelFromText(text.data(), text.size(), "truck"))
        << world->failureReason();
    return world;
}

// FNV-1a over the bytes of every position and velocity.
uint64_t stateHash(PhysicsWorld& world) {
    uint64_t hash = 1469598103934665603ull;
    auto mix = [&hash](const void* data, size_t size) {
        const unsigned char* bytes = static_cast<const unsigned char*>(data);
        for (size_t k = 0; k < size; ++k) {
            hash = (hash ^ bytes[k]) * 1099511628211ull;
        }
    };
    mix(world.positions(), sizeof(Vec3) * world.particleCount());
    for (int i = 0; i < world.particleCount(); ++i) {
        mix(&world.particles()[i].velocity, sizeof(Vec3));
    }
    return hash;
}

Vec3 centre(PhysicsWorld& world) {
    Vec3 sum;
    for (int i = 0; i < world.particleCount(); ++i) {
        sum = sum + world.positions()[i];
    }
    return sum * (1.0f / static_cast<float>(world.particleCount()));
}

// Drives a world through a fixed control script like the frame update does:
// steering, throttle, brake, dust, step. Returns the state hash.
uint64_t drive(PhysicsWorld& world, float throttleScale) {
    DriveController controller;
    controller.bindWheels(world.wheels());
    DustSystem dust(1024, world.terrain());
    world.setDustSystem(&dust);
    float time = 0.0f;
    for (int frame = 0; frame < 150; ++frame) {
        const float steering = frame < 80 ? 0.0f : 0.3f;
        const float throttle = (frame < 110 ? 1.0f : -1.0f) * throttleScale;
        const float brake = frame > 130 ? 1.0f : 0.0f;
        world.angleJoints()[0].setTarget(steering);
        world.angleJoints()[1].setTarget(-steering);
        controller.update(throttle);
        for (int w = 0; w < world.wheelCount(); ++w) {
            world.wheels()[w].setBrake(brake);
        }
        time += 0.016f;
        dust.update(time, 0.016f);
        dust.setClock(time);
        world.step(16);
    }
    world.setDustSystem(nullptr);
    return stateHash(world);
}

bool finite(PhysicsWorld& world) {
    for (int i = 0; i < world.particleCount(); ++i) {
        const Vec3& p = world.positions()[i];
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
            return false;
        }
    }
    return true;
}

} // namespace

TEST(Truck, ModelHasTheShapeOfATruck) {
    ModelBuilder model = truckModel();
    auto world = loadedTruck();
    EXPECT_EQ(world->particleCount(), model.particleCount());
    EXPECT_GE(world->particleCount(), 150);
    EXPECT_GE(world->springCount(), 800);
    EXPECT_EQ(world->wheelCount(), 4);
    EXPECT_EQ(world->wheels()[0].rimCount, 32);
    EXPECT_EQ(world->angleJointCount(), 2);
    EXPECT_GT(world->rightAngleJointCount(), 0);
    EXPECT_GT(world->quadraticSpringCount(), 0);
}

TEST(Truck, RestsOnTheGround) {
    auto world = loadedTruck();
    const Vec3 start = centre(*world);
    world->step(1000);
    ASSERT_TRUE(finite(*world));
    const Vec3 end = centre(*world);
    // It settles on its wheels: no sinking through, no drifting away.
    EXPECT_NEAR(end.y, start.y, 0.1f);
    EXPECT_NEAR(end.x, start.x, 0.02f);
    EXPECT_NEAR(end.z, start.z, 0.02f);
    for (int i = 0; i < world->particleCount(); ++i) {
        ASSERT_GT(world->terrain().query(world->positions()[i], nullptr, nullptr), -0.01f) << i;
    }
    for (int w = 0; w < 4; ++w) {
        EXPECT_LT(std::fabs(world->wheels()[w].spin()), 0.05f);
    }
}

TEST(Truck, ThrottleDrivesItForward) {
    auto world = loadedTruck();
    DriveController controller;
    controller.bindWheels(world->wheels());
    world->step(300);
    const Vec3 start = centre(*world);
    for (int frame = 0; frame < 100; ++frame) {
        controller.update(1.0f);
        world->step(20);
    }
    ASSERT_TRUE(finite(*world));
    const Vec3 end = centre(*world);
    EXPECT_GT(end.x - start.x, 0.5f);
    EXPECT_LT(std::fabs(end.z - start.z), 0.3f);
    float mean = 0.0f;
    for (int w = 0; w < 4; ++w) {
        mean += 0.25f * world->wheels()[w].spin();
    }
    EXPECT_GT(mean, 0.1f);
}

TEST(Truck, SameControlsGiveBitIdenticalRuns) {
    auto first = loadedTruck();
    auto second = loadedTruck();
    const uint64_t a = drive(*first, 1.0f);
    const uint64_t b = drive(*second, 1.0f);
    EXPECT_EQ(a, b);
    EXPECT_TRUE(finite(*first));
    // The hash does see a different run.
    auto third = loadedTruck();
    EXPECT_NE(drive(*third, 0.9f), a);
}
