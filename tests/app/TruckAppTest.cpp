// TruckApp's key handling, frame timing and reset, without a window: the
// application is loaded with initSimulation from the generated assets.
#include "app/TruckApp.h"
#include "app/MapFile.h"
#include "app/TruckPlacement.h"
#include "physics/DustSystem.h"
#include "physics/PhysicsWorld.h"
#include "physics/PositionHash.h"
#include "render/Mesh.h"
#include "tests/support/TruckDriver.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

class TruckAppKeys : public ::testing::Test {
  protected:
    TruckApp app;
};

TEST_F(TruckAppKeys, LookModeFollowsQAndEAsATable) {
    // Rows: current mode; columns: 'q' down, 'q' up, 'e' down, 'e' up.
    const int table[4][4] = {{1, 0, 3, 0}, {1, 0, 2, 1}, {2, 3, 2, 1}, {2, 3, 3, 0}};
    // Key events that bring the mode from 0 to each starting mode.
    const int events[4][4] = {{0, 0, 0, 0}, {'q', 1, 0, 0}, {'q', 1, 'e', 1}, {'e', 1, 0, 0}};
    const int transitions[4][2] = {{'q', 1}, {'q', 0}, {'e', 1}, {'e', 0}};
    for (int from = 0; from < 4; ++from) {
        for (int t = 0; t < 4; ++t) {
            TruckApp fresh;
            for (int k = 0; k < 4; k += 2) {
                if (events[from][k] != 0) {
                    fresh.key(events[from][k], events[from][k + 1] != 0);
                }
            }
            ASSERT_EQ(fresh.lookMode, from);
            fresh.key(transitions[t][0], transitions[t][1] != 0);
            EXPECT_EQ(fresh.lookMode, table[from][t]) << "from " << from << " event " << t;
        }
    }
}

TEST_F(TruckAppKeys, UppercaseQAndEAreOnlyRecorded) {
    app.key('Q', true);
    app.key('E', true);
    EXPECT_EQ(app.lookMode, 0);
    EXPECT_NE(app.keys[static_cast<int>('Q')], 0);
    EXPECT_NE(app.keys[static_cast<int>('E')], 0);
}

TEST_F(TruckAppKeys, OutOfRangeCodesChangeNothing) {
    app.key('q', true);
    for (int code : {-1, 512, 100000, -300}) {
        app.key(code, true);
        app.key(code, false);
    }
    EXPECT_EQ(app.lookMode, 1);
    int held = 0;
    for (unsigned char k : app.keys) {
        held += k != 0;
    }
    EXPECT_EQ(held, 1);
}

TEST_F(TruckAppKeys, FunctionKeysActOnKeyDownOnly) {
    app.key(261, false);
    app.key(262, false);
    app.key(263, false);
    app.key(264, false);
    app.key(260, false);
    EXPECT_TRUE(app.drawCarModel);
    EXPECT_FALSE(app.drawSoftBody);
    EXPECT_TRUE(app.drawDustParticles);
    EXPECT_FALSE(app.drawFloorWireframe);
    EXPECT_EQ(app.camera, 0);

    app.key(261, true);
    app.key(262, true);
    app.key(263, true);
    app.key(264, true);
    EXPECT_FALSE(app.drawCarModel);
    EXPECT_TRUE(app.drawSoftBody);
    EXPECT_FALSE(app.drawDustParticles);
    EXPECT_TRUE(app.drawFloorWireframe);
    // A repeated key-down toggles again.
    app.key(261, true);
    EXPECT_TRUE(app.drawCarModel);

    for (int f = 0; f < 4; ++f) {
        app.key(257 + f, true);
        EXPECT_EQ(app.camera, f);
    }
    // End is recorded and does nothing else.
    app.key(363, true);
    EXPECT_NE(app.keys[363], 0);
    EXPECT_EQ(app.camera, 3);
}

class TruckAppLoaded : public ::testing::Test {
  protected:
    void SetUp() override {
        app.setAssetDirectory(DRAVONEL_ASSET_DIR);
        ASSERT_TRUE(app.initSimulation()) << app.failureReason();
    }
    TruckApp app;
};

TEST_F(TruckAppLoaded, SimulatesWholeMillisecondsAndCarriesTheRest) {
    app.advance(0.0105f);
    EXPECT_FLOAT_EQ(app.simTime, 0.010f);
    // The half millisecond left over is simulated with the next frame.
    app.advance(0.0160f);
    EXPECT_FLOAT_EQ(app.simTime, 0.016f);
}

TEST_F(TruckAppLoaded, LongFramesAreClampedAndStallsSkipped) {
    app.advance(0.3f);
    EXPECT_FLOAT_EQ(app.simTime, 0.25f);
    app.advance(0.3f + 0.6f);
    // 250 ms were simulated and the remaining backlog was dropped.
    EXPECT_FLOAT_EQ(app.simTime, 0.9f);
}

TEST_F(TruckAppLoaded, SteeringRampReachesTheJointsMirrored) {
    app.key(358, true);
    float t = 0.0f;
    for (int k = 0; k < 30; ++k) {
        t += 1.0f / 60.0f;
        app.advance(t);
    }
    EXPECT_FLOAT_EQ(app.steeringRamp.value(), 0.6f);
    EXPECT_FLOAT_EQ(app.world->angleJoints()[0].target, 0.6f);
    EXPECT_FLOAT_EQ(app.world->angleJoints()[1].target, -0.6f);
    app.key(358, false);
    for (int k = 0; k < 30; ++k) {
        t += 1.0f / 60.0f;
        app.advance(t);
    }
    EXPECT_EQ(app.steeringRamp.value(), 0.0f);
    EXPECT_EQ(app.world->angleJoints()[0].target, 0.0f);
}

TEST_F(TruckAppLoaded, ResetKeepsCameraLookModeClockAndFlags) {
    app.key(259, true);
    app.key('e', true);
    app.key(262, true);
    app.key(357, true);
    app.key(358, true);
    app.advance(0.25f);
    app.advance(0.5f);
    ASSERT_GT(app.steeringRamp.value(), 0.5f);
    app.key(27, true);
    // Every reset re-centres the controls, not only the first.
    EXPECT_EQ(app.steeringRamp.value(), 0.0f);
    app.key(27, false);
    app.advance(0.75f);
    app.advance(1.0f);
    ASSERT_GT(app.steeringRamp.value(), 0.5f);
    const float clock = app.simTime;
    app.key(27, true);
    EXPECT_EQ(app.steeringRamp.value(), 0.0f);
    EXPECT_EQ(app.camera, 2);
    EXPECT_EQ(app.lookMode, 3);
    EXPECT_TRUE(app.drawSoftBody);
    EXPECT_EQ(app.simTime, clock);
    EXPECT_EQ(app.throttleRamp.value(), 0.0f);
    // The held up arrow is still held after the reset.
    EXPECT_NE(app.keys[357], 0);
    ASSERT_NE(app.dust, nullptr);
    int capacity = 0, start = -1, count = -1;
    app.dust->view(capacity, start, count);
    EXPECT_EQ(capacity, 1024);
    EXPECT_EQ(count, 0);
}

TEST(TruckAppStart, MissingAssetsAreNamedInTheReason) {
    TruckApp app;
    app.setAssetDirectory("/nonexistent-dravonel-dir");
    EXPECT_FALSE(app.initSimulation());
    EXPECT_NE(std::string(app.failureReason()).find("chevy_nowheels_3c.3ds"), std::string::npos)
        << app.failureReason();
    EXPECT_EQ(app.world, nullptr);
}

} // namespace

namespace {

// Each wheel's particles placed exactly on the wheel model's axle ends and
// rim point give the identity: the table pairs the right particle with the
// right end and face. A swapped axle pair or a wrong rim side turns the mesh.
TEST_F(TruckAppLoaded, WheelParticlesOnTheModelPointsGiveTheIdentity) {
    const Vec3 m = app.wheelMesh1->centroid;
    const Vec3 e = app.wheelMesh1->extent;
    const int particles[4][3] = {{1, 0, 2}, {35, 34, 36}, {68, 69, 70}, {102, 103, 104}};
    const float rimSide[4] = {-1.0f, -1.0f, 1.0f, 1.0f};
    Vec3* positions = app.world->positions();
    for (int w = 0; w < 4; ++w) {
        const Vec3 points[3] = {m + Vec3(0.0f, 0.0f, e.z * 0.5f), m - Vec3(0.0f, 0.0f, e.z * 0.5f),
                                m + Vec3(e.x * 0.5f, 0.0f, rimSide[w] * e.z * 0.5f)};
        for (int k = 0; k < 3; ++k) {
            positions[particles[w][k]] = points[k] * (1.0f / 60.0f);
        }
        const Mat4 fit = app.wheelTransform(w);
        const Mat4 identity;
        for (int i = 0; i < 16; ++i) {
            EXPECT_NEAR(fit.m[i], identity.m[i], 1e-3f) << "wheel " << w << " element " << i;
        }
    }
}

// Driving off the map: with the throttle held the truck leaves the grid again
// and again. Each time, once all of it is 50 m below the lowest ground, it is
// put back exactly where it started, and no value ever becomes NaN.
TEST(TruckAppFallOut, LeavingTheMapResetsTheTruckInsteadOfFallingIntoNaN) {
    TruckDriver driver;
    ASSERT_TRUE(driver.load(DRAVONEL_ASSET_DIR)) << driver.app.failureReason();
    const Vec3* positions = driver.app.world->positions();
    const uint64_t startHash = positionHash(positions, driver.app.world->particleCount());
    const Terrain& terrain = driver.app.world->terrain();
    float lowestGround = terrain.heights[0];
    for (int k = 0; k < Terrain::sampleCount * Terrain::sampleCount; ++k) {
        lowestGround = std::fmin(lowestGround, terrain.heights[k]);
    }
    const float threshold = lowestGround - 50.0f;

    driver.press(keyCodeUp);
    int resets = 0;
    bool finite = true;
    float highestBeforeReset = -1.0e30f;
    float highest = 0.0f;
    driver.run(600.0, [&] {
        PhysicsWorld* world = driver.app.world;
        finite = finite && driver.allFinite();
        if (driver.app.fallOutResets != resets) {
            ++resets;
            EXPECT_EQ(driver.app.fallOutResets, resets) << "one reset per fall";
            // The same reset as Escape: the truck is back at its start exactly.
            EXPECT_EQ(positionHash(world->positions(), world->particleCount()), startHash);
            // Not before the whole truck was down there: one frame earlier its
            // highest particle was at most one frame's fall above the line.
            highestBeforeReset = std::fmax(highestBeforeReset, highest);
        }
        highest = -1.0e30f;
        for (int i = 0; i < world->particleCount(); ++i) {
            highest = std::fmax(highest, world->positions()[i].y);
        }
    });
    EXPECT_TRUE(finite);
    // About one fall every 20 s with the throttle held.
    EXPECT_GE(resets, 10);
    EXPECT_LT(highestBeforeReset, threshold + 1.0f);
    EXPECT_GT(highestBeforeReset, threshold);
}

// The lowest height of any particle above the ground beneath it, m.
float clearance(PhysicsWorld& world) {
    const Terrain& terrain = world.terrain();
    float lowest = 1.0e30f;
    for (int i = 0; i < world.particleCount(); ++i) {
        const Vec3 p = world.positions()[i];
        Vec3 normal;
        const float above = terrain.query(Vec3(p.x, 0.0f, p.z), &normal, nullptr);
        lowest = std::fmin(lowest, p.y + above / normal.y);
    }
    return lowest;
}

// The bundled dunes map: the truck starts at the map's start, 0.2 m above
// the ground, and Escape brings it back there; a minute of full throttle
// along its track covers more than 300 m and never reaches an edge, a reset
// or a non-finite value.
TEST(TruckAppMap, DunesStartEscapeAndAMinuteOfFullThrottle) {
    MapFile map;
    ASSERT_TRUE(map.load(DRAVONEL_ASSET_DIR "/maps/dunes.map")) << map.failureReason();
    const Terrain& ground = map.terrain;
    EXPECT_EQ(ground.samplesX, 513);
    EXPECT_EQ(ground.samplesZ, 513);
    EXPECT_EQ(ground.minX(), -512.0f);
    EXPECT_EQ(ground.maxZ(), 512.0f);
    EXPECT_GE(ground.lowestHeight(), 0.0f);
    TruckDriver driver;
    driver.app.setMap(&map);
    ASSERT_TRUE(driver.load(DRAVONEL_ASSET_DIR)) << driver.app.failureReason();
    PhysicsWorld* world = driver.app.world;
    // The world drives on the map's own tables, not a copy.
    EXPECT_EQ(world->terrain().planes, ground.planes);
    EXPECT_NEAR(clearance(*world), 0.2f, 1e-4f);
    EXPECT_NEAR(driver.pose().origin.x, map.startX, 0.3f);
    EXPECT_NEAR(driver.pose().origin.z, map.startZ, 0.3f);
    EXPECT_NEAR(driver.pose().headingDegrees, 0.0f, 0.5f);
    const uint64_t startHash = positionHash(world->positions(), world->particleCount());
    driver.press(keyCodeUp);
    driver.run(2.0);
    driver.release(keyCodeUp);
    driver.press(27);
    driver.release(27);
    world = driver.app.world;
    EXPECT_EQ(positionHash(world->positions(), world->particleCount()), startHash);

    const Vec3 start = driver.pose().origin;
    driver.press(keyCodeUp);
    bool finite = true;
    bool overGround = true;
    driver.run(60.0, [&] {
        finite = finite && driver.allFinite();
        for (int i = 0; i < driver.app.world->particleCount(); ++i) {
            overGround = overGround &&
                         driver.app.world->terrain().query(driver.app.world->positions()[i],
                                                           nullptr, nullptr) < Terrain::outside;
        }
    });
    EXPECT_TRUE(finite);
    EXPECT_TRUE(overGround) << "part of the truck went beyond the map's edge";
    EXPECT_EQ(driver.app.fallOutResets, 0);
    const Vec3 end = driver.pose().origin;
    const float covered = std::hypot(end.x - start.x, end.z - start.z);
    EXPECT_GT(covered, 300.0f);
    std::printf("dunes: %.0f m in 60 s of full throttle\n", covered);

    // Carried off the map's edge, it falls and is put back at the map's
    // start once it is 50 m below the map's lowest ground.
    driver.release(keyCodeUp);
    for (int i = 0; i < driver.app.world->particleCount(); ++i) {
        driver.app.world->positions()[i].x += 1200.0f;
    }
    uint64_t resetHash = 0;
    driver.run(5.0, [&] {
        if (driver.app.fallOutResets == 1 && resetHash == 0) {
            PhysicsWorld* fresh = driver.app.world;
            resetHash = positionHash(fresh->positions(), fresh->particleCount());
        }
    });
    EXPECT_EQ(driver.app.fallOutResets, 1);
    EXPECT_EQ(resetHash, startHash);
}

// placeTruck turns the truck about the vertical and sets it down on a slope:
// facing the heading asked for, its mean at the place asked for, its lowest
// particle the clearance above the ground.
TEST(TruckAppMap, PlaceTruckTurnsAndSetsDownRigidly) {
    TruckDriver driver;
    ASSERT_TRUE(driver.load(DRAVONEL_ASSET_DIR)) << driver.app.failureReason();
    PhysicsWorld& world = *driver.app.world;
    const Vec3 a = world.positions()[0];
    const Vec3 b = world.positions()[100];
    const float length = std::sqrt(dot(b - a, b - a));
    // On the rolling ground beside the strip, turned a quarter to the right.
    ASSERT_TRUE(placeTruck(world, 30.0f, -20.0f, 1.5707964f, 0.2f));
    EXPECT_NEAR(driver.pose().headingDegrees, 90.0f, 0.5f);
    Vec3 mean;
    for (int i = 0; i < world.particleCount(); ++i) {
        mean = mean + world.positions()[i];
    }
    mean = mean * (1.0f / static_cast<float>(world.particleCount()));
    EXPECT_NEAR(mean.x, 30.0f, 1e-3f);
    EXPECT_NEAR(mean.z, -20.0f, 1e-3f);
    EXPECT_NEAR(clearance(world), 0.2f, 1e-4f);
    const Vec3 a2 = world.positions()[0];
    const Vec3 b2 = world.positions()[100];
    EXPECT_NEAR(std::sqrt(dot(b2 - a2, b2 - a2)), length, 1e-4f);
    // Nowhere over the ground: refused, nothing moved.
    const uint64_t before = positionHash(world.positions(), world.particleCount());
    EXPECT_FALSE(placeTruck(world, 500.0f, 0.0f, 0.0f, 0.2f));
    EXPECT_EQ(positionHash(world.positions(), world.particleCount()), before);
}

} // namespace
