// Tests of the input ramp: press rate and clamps in the direction of
// travel, return to the centre without overshoot, both inputs acting like
// none, and the brake-style ramp that never leaves [0, 1].
#include "app/InputRamp.h"

#include <gtest/gtest.h>

#include <random>

namespace {

const float kFrame = 1.0f / 60.0f;

// The steering ramp: centre 0, limits -0.6 and 0.6, both rates 1.5 per second.
InputRamp steering() {
    InputRamp ramp;
    ramp.init(0.0f, -0.6f, 0.6f, 1.5f, 1.5f);
    return ramp;
}

// Holding one input moves the value at the press rate until the clamp of that
// side (0.4 s for 0.6 at 1.5 per second), then releasing glides back to
// exactly 0 without ever crossing it.
TEST(InputRamp, PressReachesClampAndReleaseLandsOnCentre) {
    for (int side : {+1, -1}) {
        SCOPED_TRACE(side > 0 ? "increase" : "decrease");
        InputRamp ramp = steering();
        EXPECT_EQ(ramp.value(), 0.0f);
        float t = 0.0f;
        for (int frame = 1; frame <= 60; ++frame) {
            t = frame * kFrame;
            const float v = ramp.update(kFrame, side > 0, side < 0);
            EXPECT_EQ(v, ramp.value());
            const float expected = side * std::min(1.5f * t, 0.6f);
            EXPECT_NEAR(v, expected, 1e-5f) << "at " << t << " s";
            if (t > 0.4f + 1e-4f) {
                EXPECT_EQ(v, side * 0.6f) << "clamped at " << t << " s";
            }
        }
        for (int frame = 1; frame <= 60; ++frame) {
            t = frame * kFrame;
            const float v = ramp.update(kFrame, false, false);
            EXPECT_GE(v * side, 0.0f) << "crossed the centre at " << t << " s";
            EXPECT_NEAR(v, side * std::max(0.6f - 1.5f * t, 0.0f), 1e-5f) << "at " << t << " s";
            if (t > 0.4f + 1e-4f) {
                EXPECT_EQ(v, 0.0f) << "at " << t << " s";
            }
        }
    }
}

// Both inputs held count as none held; a release step longer than the way
// back lands exactly on the centre from either side; dt 0 changes nothing.
TEST(InputRamp, ReturnToCentre) {
    InputRamp ramp;
    ramp.init(0.5f, 0.0f, 1.0f, 2.0f, 1.0f);
    EXPECT_EQ(ramp.value(), 0.5f);
    ramp.update(0.2f, true, false);
    EXPECT_NEAR(ramp.value(), 0.9f, 1e-6f);
    EXPECT_NEAR(ramp.update(0.1f, true, true), 0.8f, 1e-6f);
    EXPECT_NEAR(ramp.update(0.1f, false, false), 0.7f, 1e-6f);
    EXPECT_EQ(ramp.update(0.0f, false, false), ramp.value());
    EXPECT_EQ(ramp.update(0.0f, true, false), ramp.value());
    EXPECT_EQ(ramp.update(0.0f, false, true), ramp.value());
    EXPECT_EQ(ramp.update(5.0f, true, true), 0.5f);

    ramp.update(0.2f, false, true);
    EXPECT_NEAR(ramp.value(), 0.1f, 1e-6f);
    EXPECT_EQ(ramp.update(0.5f, false, false), 0.5f);
    EXPECT_EQ(ramp.update(0.5f, false, false), 0.5f);

    // init puts a moved ramp back to its centre.
    ramp.update(1.0f, true, false);
    ramp.init(-0.25f, -1.0f, 1.0f, 1.0f, 1.0f);
    EXPECT_EQ(ramp.value(), -0.25f);
}

// Each clamp acts only while moving towards it. A value beyond the maximum
// (here the centre itself) is not pulled to the maximum by decreasing, but
// increasing brings it straight to the maximum.
TEST(InputRamp, ClampOnlyInDirectionOfTravel) {
    InputRamp ramp;
    ramp.init(2.0f, -1.0f, 1.0f, 1.0f, 1.0f);
    EXPECT_NEAR(ramp.update(0.1f, false, true), 1.9f, 1e-6f);
    ramp.init(2.0f, -1.0f, 1.0f, 1.0f, 1.0f);
    EXPECT_EQ(ramp.update(0.1f, true, false), 1.0f);

    ramp.init(-2.0f, -1.0f, 1.0f, 1.0f, 1.0f);
    EXPECT_NEAR(ramp.update(0.1f, true, false), -1.9f, 1e-6f);
    ramp.init(-2.0f, -1.0f, 1.0f, 1.0f, 1.0f);
    EXPECT_EQ(ramp.update(0.1f, false, true), -1.0f);
}

// The brake: centre 0, minimum -1, maximum 1, and only the increase input is
// ever held; over random frame times and key patterns it stays in [0, 1].
TEST(InputRamp, BrakeNeverLeavesZeroToOne) {
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> dt(0.0f, 0.25f);
    InputRamp brake;
    brake.init(0.0f, -1.0f, 1.0f, 2.0f, 3.0f);
    bool reachedTop = false;
    bool reachedRest = false;
    for (int frame = 0; frame < 20000; ++frame) {
        const bool held = (rng() % 3) != 0;
        const float v = brake.update(dt(rng), held, false);
        ASSERT_GE(v, 0.0f) << "frame " << frame;
        ASSERT_LE(v, 1.0f) << "frame " << frame;
        reachedTop = reachedTop || v == 1.0f;
        reachedRest = reachedRest || v == 0.0f;
    }
    EXPECT_TRUE(reachedTop);
    EXPECT_TRUE(reachedRest);
}

} // namespace
