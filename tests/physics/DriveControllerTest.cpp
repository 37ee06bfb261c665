// The drive law: the worked figures, the reversal branch and the wheels it
// writes.
#include "physics/DriveController.h"
#include "physics/Wheel.h"

#include <gtest/gtest.h>

namespace {

struct Drive {
    Drive() { controller.bindWheels(wheels); }
    float run(float s0, float s1, float s2, float s3, float throttle) {
        wheels[0].spinRate = s0;
        wheels[1].spinRate = s1;
        wheels[2].spinRate = s2;
        wheels[3].spinRate = s3;
        controller.update(throttle);
        return wheels[0].drive;
    }
    float runAll(float spin, float throttle) { return run(spin, spin, spin, spin, throttle); }
    Wheel wheels[5];
    DriveController controller;
};

} // namespace

TEST(DriveLaw, WorkedFigures) {
    Drive d;
    // At rest: slowest 0.02, throttle 1 * 1.02 * 0.5 = 0.51, drive 40.8.
    EXPECT_FLOAT_EQ(d.runAll(0.0f, 1.0f), 40.8f);
    EXPECT_FLOAT_EQ(d.runAll(0.0f, -1.0f), -40.8f);
    // Spins 3: slowest 3.02, mean 3, drive 80 / 4; backwards the same by
    // the mean's magnitude.
    EXPECT_FLOAT_EQ(d.runAll(3.0f, 1.0f), 20.0f);
    EXPECT_FLOAT_EQ(d.runAll(-3.0f, -1.0f), -20.0f);
    // Spins 7: slowest 7.02 > 7, cut.
    EXPECT_EQ(d.runAll(7.0f, 1.0f), 0.0f);
    // Spins 20: slowest capped at 14.02, cut.
    EXPECT_EQ(d.runAll(20.0f, 1.0f), 0.0f);
    // Spins 6.9: slowest 6.92 is not above 7 yet.
    EXPECT_NEAR(d.runAll(6.9f, 0.5f), 40.0f / 7.9f, 1e-5f);
    // One wheel almost standing halves the throttle even when the others turn.
    EXPECT_NEAR(d.run(0.0f, 2.0f, 2.0f, 2.0f, 1.0f), 80.0f * 0.51f / 2.5f, 1e-4f);
    // The slowest counts by magnitude; the mean by sign.
    EXPECT_NEAR(d.run(-2.0f, 2.0f, -2.0f, 2.0f, 1.0f), 80.0f, 1e-4f);
}

TEST(DriveLaw, AllFourRoadWheelsGetTheSameDriveAndNoOthers) {
    Drive d;
    d.runAll(3.0f, 0.6f);
    for (int w = 0; w < 4; ++w) {
        EXPECT_FLOAT_EQ(d.wheels[w].drive, 12.0f) << w;
    }
    EXPECT_EQ(d.wheels[4].drive, 0.0f);
}

TEST(DriveLaw, ReversalKeepsThePreviousDrive) {
    Drive d;
    for (int w = 0; w < 4; ++w) {
        d.wheels[w].setDrive(12.5f);
        d.wheels[w].setBrake(0.25f);
    }
    // Rolling backwards (mean -1) with full throttle forward.
    EXPECT_EQ(d.runAll(-1.0f, 1.0f), 12.5f);
    // Rolling forwards with full reverse.
    EXPECT_EQ(d.runAll(1.0f, -1.0f), 12.5f);
    for (int w = 0; w < 4; ++w) {
        EXPECT_EQ(d.wheels[w].drive, 12.5f);
        // The reversal does not brake: the brake belongs to the brake control.
        EXPECT_EQ(d.wheels[w].brake, 0.25f);
    }
    // Right at the thresholds it is not a reversal.
    EXPECT_NE(d.runAll(-0.5f, 1.0f), 12.5f);
}

TEST(DriveLaw, SmallThrottleNeverReverses) {
    Drive d;
    const float spins[] = {-20.0f, -5.0f, -1.0f, -0.6f, 0.0f, 0.6f, 1.0f, 5.0f, 20.0f};
    const float throttles[] = {-0.5f, -0.3f, 0.0f, 0.3f, 0.5f};
    for (float spin : spins) {
        for (float throttle : throttles) {
            for (int w = 0; w < 4; ++w) {
                d.wheels[w].setDrive(99.0f);
            }
            d.runAll(spin, throttle);
            EXPECT_NE(d.wheels[0].drive, 99.0f) << spin << " " << throttle;
        }
    }
}

TEST(DriveLaw, UnboundControllerLeavesWheelsAlone) {
    Drive d;
    d.runAll(0.0f, 1.0f);
    d.controller.bindWheels(nullptr);
    d.controller.update(-1.0f);
    EXPECT_FLOAT_EQ(d.wheels[0].drive, 40.8f);
    DriveController fresh;
    fresh.update(1.0f);
    EXPECT_FLOAT_EQ(d.wheels[3].drive, 40.8f);
}
