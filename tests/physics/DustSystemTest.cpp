// The dust ring: the emission gate, ring overwrite, flight, bounce and expiry.
#include "physics/DustSystem.h"
#include "physics/DustRandom.h"
#include "physics/Terrain.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

struct Dust {
    explicit Dust(int capacity) : terrain(new Terrain()) {
        terrain->build();
        system.reset(new DustSystem(capacity, *terrain));
    }
    int count() const {
        int capacity = 0, start = 0, live = 0;
        system->view(capacity, start, live);
        return live;
    }
    int start() const {
        int capacity = 0, first = 0, live = 0;
        system->view(capacity, first, live);
        return first;
    }
    // Emits one particle at the origin with zero velocity (interval must
    // accept it).
    void emitOne(const Vec3& position = Vec3(0.0f, 10.0f, 0.0f)) {
        Vec3 velocity;
        system->emit(position, velocity);
    }
    std::unique_ptr<Terrain> terrain;
    std::unique_ptr<DustSystem> system;
};

} // namespace

TEST(Dust, FreshSystemIsEmpty) {
    Dust d(1024);
    int capacity = -1, start = -1, count = -1;
    const DustParticle* slots = d.system->view(capacity, start, count);
    ASSERT_NE(slots, nullptr);
    EXPECT_EQ(capacity, 1024);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(count, 0);
    for (int k = 0; k < capacity; ++k) {
        EXPECT_FALSE(slots[k].alive);
    }
}

TEST(Dust, ZeroIntervalAcceptsNothing) {
    Dust d(1024);
    for (int k = 0; k < 2000; ++k) {
        d.emitOne();
    }
    EXPECT_EQ(d.count(), 0);
    d.system->setClock(5.0f);
    d.system->setClock(5.0f);
    EXPECT_EQ(d.system->interval(), 0.0f);
    for (int k = 0; k < 2000; ++k) {
        d.emitOne();
    }
    EXPECT_EQ(d.count(), 0);
}

TEST(Dust, AcceptanceFollowsTheFrameInterval) {
    Dust d(100000);
    d.system->setClock(1.0f); // interval 1 s: about 30 % accepted
    for (int k = 0; k < 10000; ++k) {
        d.emitOne();
    }
    EXPECT_NEAR(d.count(), 3000, 200);
    // An interval of 1/0.3 s or more accepts every offer, jittered.
    Dust all(64);
    all.system->setClock(4.0f);
    for (int k = 0; k < 50; ++k) {
        Vec3 velocity(1.0f, 2.0f, 3.0f);
        all.system->emit(Vec3(0.0f, 5.0f, 0.0f), velocity);
        EXPECT_GE(velocity.x, 1.0f - 0.0005f);
        EXPECT_LE(velocity.x, 1.0f + 0.3991f + 1e-6f);
        EXPECT_GE(velocity.z, 3.0f - 0.0005f);
        EXPECT_LE(velocity.z, 3.0f + 0.3991f + 1e-6f);
    }
    EXPECT_EQ(all.count(), 50);
    int capacity = 0, start = 0, count = 0;
    const DustParticle* slots = all.system->view(capacity, start, count);
    for (int k = 0; k < count; ++k) {
        EXPECT_TRUE(slots[k].alive);
        EXPECT_EQ(slots[k].birthTime, 4.0f);
        EXPECT_GE(slots[k].shape.x, 0.0f);
        EXPECT_LE(slots[k].shape.y, 0.9999f);
    }
}

TEST(Dust, FullRingOverwritesTheOldest) {
    Dust d(1024);
    d.system->setClock(10.0f);
    for (int k = 0; k < 1024; ++k) {
        d.emitOne();
    }
    EXPECT_EQ(d.count(), 1024);
    EXPECT_EQ(d.start(), 0);
    d.system->setClock(20.0f);
    d.emitOne(Vec3(1.0f, 2.0f, 3.0f));
    EXPECT_EQ(d.count(), 1024);
    EXPECT_EQ(d.start(), 1);
    int capacity = 0, start = 0, count = 0;
    const DustParticle* slots = d.system->view(capacity, start, count);
    EXPECT_EQ(slots[0].birthTime, 20.0f);
    EXPECT_EQ(slots[0].position.x, 1.0f);
    EXPECT_EQ(slots[1].birthTime, 10.0f);
    // The window wraps: the next emission replaces slot 1.
    d.emitOne();
    EXPECT_EQ(d.start(), 2);
    EXPECT_EQ(slots[1].birthTime, 20.0f);
}

TEST(Dust, ExactlyFiveSecondsOldStaysLive) {
    // Frame intervals of 4 s and more accept every offer.
    Dust d(8);
    d.system->setClock(10.0f);
    d.emitOne();
    d.system->setClock(14.0f);
    d.emitOne();
    d.system->update(15.0f, 0.0f);
    EXPECT_EQ(d.count(), 2);
    d.system->update(15.5f, 0.0f);
    EXPECT_EQ(d.count(), 1); // the first is 5.5 s old
    EXPECT_EQ(d.start(), 1);
    d.system->update(19.0f, 0.0f);
    EXPECT_EQ(d.count(), 1); // the second is exactly 5 s old
    d.system->update(19.01f, 0.0f);
    EXPECT_EQ(d.count(), 0);
    EXPECT_EQ(d.start(), 2);
}

TEST(Dust, ExpiryAcrossTheRingEnd) {
    Dust d(4);
    d.system->setClock(100.0f);
    for (int k = 0; k < 6; ++k) {
        d.emitOne(); // slots 0..3 then 0 and 1 again: start 2
    }
    EXPECT_EQ(d.start(), 2);
    d.system->setClock(104.0f);
    d.emitOne(); // slot 2 becomes the newest: start 3
    d.system->update(106.0f, 0.0f);
    // Slots 3, 0, 1 (born at 100) expire; slot 2 (born at 104) stays.
    EXPECT_EQ(d.count(), 1);
    EXPECT_EQ(d.start(), 2);
}

TEST(Dust, BounceOffFlatGround) {
    Dust d(4);
    d.system->setClock(4.0f);
    d.emitOne();
    DustParticle& p = d.system->particleSlots()[0];
    // After the move (dt 0), the 0.99 damping and no gravity, the particle is
    // 0.1 below the flat strip with velocity (1, -2, 0).
    p.position = Vec3(0.0f, -0.1f, 0.0f);
    p.velocity = Vec3(1.0f / 0.99f, -2.0f / 0.99f, 0.0f);
    d.system->update(4.0f, 0.0f);
    EXPECT_NEAR(p.position.y, 0.1f, 1e-6f);
    EXPECT_NEAR(p.velocity.x, 0.4f, 1e-5f);
    EXPECT_NEAR(p.velocity.y, 0.26f, 1e-5f);
    EXPECT_EQ(p.velocity.z, 0.0f);
}

TEST(Dust, FlightUnderGravityAndDamping) {
    Dust d(4);
    d.system->setClock(4.0f);
    d.emitOne();
    DustParticle& p = d.system->particleSlots()[0];
    p.position = Vec3(0.0f, 10.0f, 0.0f);
    p.velocity = Vec3(2.0f, 0.0f, 0.0f);
    d.system->update(4.0f, 0.1f);
    EXPECT_FLOAT_EQ(p.position.x, 0.2f);
    EXPECT_FLOAT_EQ(p.position.y, 10.0f);
    EXPECT_FLOAT_EQ(p.velocity.x, 1.98f);
    EXPECT_FLOAT_EQ(p.velocity.y, -0.981f);
    // Outside the grid there is no ground: it falls through.
    p.position = Vec3(100.0f, -50.0f, 0.0f);
    p.velocity = Vec3(0.0f, -1.0f, 0.0f);
    d.system->update(4.0f, 0.1f);
    EXPECT_LT(p.position.y, -50.0f);
}

TEST(Dust, ReleasedOrEmptySystemIsSafe) {
    Dust d(16);
    d.system->setClock(10.0f);
    d.emitOne();
    d.system->release();
    d.emitOne();
    d.system->update(11.0f, 0.01f);
    EXPECT_EQ(d.count(), 0);
    d.system->release();
    Dust none(0);
    none.system->setClock(10.0f);
    none.emitOne();
    none.system->update(11.0f, 0.01f);
    EXPECT_EQ(none.count(), 0);
}

TEST(Dust, WindowHoldsOnlyEmittedSlotsEvenIfTheClockStepsBack) {
    Dust d(8);
    d.system->setClock(10.0f);
    d.emitOne(); // slot 0, born at 10
    d.system->setClock(-100.0f);
    d.system->setClock(5.0f); // an interval of 105 s accepts the offer
    d.emitOne();              // slot 1, born at 5: younger slot, older time
    d.system->update(10.5f, 0.0f);
    // Expiry takes the front of the window up to the expired particle, so
    // the window never reaches slots that were never emitted.
    int capacity = 0, start = 0, count = 0;
    const DustParticle* slots = d.system->view(capacity, start, count);
    EXPECT_LE(count, 1);
    for (int i = 0; i < count; ++i) {
        EXPECT_TRUE(slots[(start + i) % capacity].alive);
    }
    EXPECT_EQ((start + count) % capacity, 2);
}

// The dust's generator gives the C library's rand() sequence (the dust of a
// run is the dust it always had) for the start state and any seed, and its
// state put back replays the same numbers.
TEST(Dust, RandomMatchesTheLibraryAndRestores) {
    DustRandom fresh;
    DustRandom& shared = DustRandom::shared();
    const DustRandom::State before = shared.state();
    for (unsigned seed : {1u, 0u, 2u, 12345u, 2147483647u, 2147483648u, 4294967295u}) {
        std::srand(seed);
        DustRandom generator;
        generator.seed(seed);
        for (int k = 0; k < 2000; ++k) {
            ASSERT_EQ(generator.next(), std::rand()) << "seed " << seed << " draw " << k;
        }
    }
    std::srand(1);
    EXPECT_EQ(fresh.next(), std::rand());

    DustRandom generator;
    generator.seed(77);
    for (int k = 0; k < 45; ++k) {
        generator.next();
    }
    const DustRandom::State saved = generator.state();
    int first[100];
    for (int& value : first) {
        value = generator.next();
    }
    ASSERT_TRUE(generator.setState(saved));
    for (int value : first) {
        ASSERT_EQ(generator.next(), value);
    }
    DustRandom::State broken = saved;
    broken.rear = DustRandom::degree;
    EXPECT_FALSE(generator.setState(broken));
    EXPECT_TRUE(shared.setState(before));
}
