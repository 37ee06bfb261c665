// The whole soft body: a truck-shaped model rests on the ground, drives
// forward under throttle, and two runs with the same controls are identical
// to the bit.
#include "physics/DriveController.h"
#include "physics/DustSystem.h"
#include "physics/PhysicsWorld.h"
#include "physics/WorldSnapshot.h"
#include "tests/physics/ModelBuilder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

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

// A snapshot taken in the middle of a drive with a grab held, put back into
// the same world after it has driven on, continues to the same bits as the
// drive that never left it, on either step; it is refused (and the world
// left alone) when it is cut, another world's or holds a value no world can.
TEST(Truck, SnapshotRestoredStepsOnToTheSameBits) {
    auto world = loadedTruck();
    DriveController controller;
    controller.bindWheels(world->wheels());
    auto frames = [&](int from, int to, bool packed) {
        for (int frame = from; frame < to; ++frame) {
            const float steering = frame < 60 ? 0.0f : 0.4f;
            world->angleJoints()[0].setTarget(steering);
            world->angleJoints()[1].setTarget(-steering);
            controller.update(frame < 90 ? 1.0f : -1.0f);
            for (int w = 0; w < world->wheelCount(); ++w) {
                world->wheels()[w].setBrake(frame > 100 ? 0.5f : 0.0f);
            }
            if (packed) {
                world->step(16);
            } else {
                world->stepElementByElement(16);
            }
        }
    };
    frames(0, 50, true);
    ASSERT_TRUE(world->setGrab(40, centre(*world) + Vec3(0.0f, 2.0f, 0.0f)));
    frames(50, 55, true);
    const size_t bytes = WorldSnapshot::bytes(*world);
    std::vector<unsigned char> snapshot(bytes + 8);
    EXPECT_EQ(WorldSnapshot::save(*world, snapshot.data(), bytes - 1), 0u);
    ASSERT_EQ(WorldSnapshot::save(*world, snapshot.data(), snapshot.size()), bytes);

    for (bool packed : {true, false}) {
        frames(55, 70, packed);
        world->clearGrab();
        frames(70, 120, packed);
        const uint64_t straight = stateHash(*world);
        // Every spring remembers its length: the next sub-step's damping
        // reads it.
        const float lengthAfter = world->springs()[0].previousLength;
        ASSERT_TRUE(WorldSnapshot::restore(*world, snapshot.data(), bytes));
        EXPECT_TRUE(world->grab().active());
        EXPECT_NE(world->springs()[0].previousLength, lengthAfter);
        frames(55, 70, packed);
        world->clearGrab();
        frames(70, 120, packed);
        EXPECT_EQ(stateHash(*world), straight) << (packed ? "packed" : "element by element");
        ASSERT_TRUE(WorldSnapshot::restore(*world, snapshot.data(), bytes));
    }

    const uint64_t before = stateHash(*world);
    EXPECT_FALSE(WorldSnapshot::restore(*world, snapshot.data(), bytes - 1));
    std::vector<unsigned char> broken(snapshot);
    const float nan = std::nanf("");
    std::memcpy(broken.data() + bytes - 4, &nan, sizeof(nan));
    EXPECT_FALSE(WorldSnapshot::restore(*world, broken.data(), bytes));
    broken = snapshot;
    const int32_t farParticle = world->particleCount();
    std::memcpy(broken.data() + bytes - 16, &farParticle, sizeof(farParticle));
    EXPECT_FALSE(WorldSnapshot::restore(*world, broken.data(), bytes));
    EXPECT_EQ(stateHash(*world), before);
    // The same byte count from a world of another shape.
    broken = snapshot;
    const int32_t springs = world->springCount() + 1;
    std::memcpy(broken.data() + sizeof(int32_t), &springs, sizeof(springs));
    EXPECT_FALSE(WorldSnapshot::restore(*world, broken.data(), bytes));
    EXPECT_EQ(stateHash(*world), before);
}

// With damage on a snapshot holds the damage too: a spring broken and one
// bent for good after the snapshot are whole again once it is restored, and
// the world steps on as the damaged one did.
TEST(Truck, SnapshotHoldsTheDamage) {
    auto world = loadedTruck();
    world->setDamage(true);
    world->springDamage()[5].broken = 1;
    world->springs()[9].restLength *= 0.97f;
    world->step(200);
    const size_t bytes = WorldSnapshot::bytes(*world);
    std::vector<unsigned char> snapshot(bytes);
    ASSERT_EQ(WorldSnapshot::save(*world, snapshot.data(), bytes), bytes);
    world->step(300);
    const uint64_t straight = stateHash(*world);
    const float bent = world->springs()[9].restLength;
    world->repairDamage();
    ASSERT_NE(world->springs()[9].restLength, bent);
    ASSERT_TRUE(WorldSnapshot::restore(*world, snapshot.data(), bytes));
    EXPECT_EQ(world->springDamage()[5].broken, 1);
    world->step(300);
    EXPECT_EQ(world->springs()[9].restLength, bent);
    EXPECT_EQ(stateHash(*world), straight);
    // A world with damage off takes other snapshots.
    world->setDamage(false);
    EXPECT_FALSE(WorldSnapshot::restore(*world, snapshot.data(), bytes));
}
