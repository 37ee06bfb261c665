// Tests of the input ramp: press rate and clamps in the direction of
// travel, return to the centre without overshoot, both inputs acting like
// none, the brake-style ramp that never leaves [0, 1], and analog targets.
#include "app/input/InputRamp.h"

#include <gtest/gtest.h>

#include <cmath>
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

// An analog value is a target. Full deflection and 0 drive the ramp bit for
// bit as the held and the released keys do, over random frames; other values
// are followed at the press rate away from the centre and the release rate
// towards it (the side taken where the frame starts), landing exactly on the
// target; with keys held too the larger deflection wins, a tie going to the
// keys.
TEST(InputRamp, AnalogTargetsFollowTheRatesAndTheLargerDeflectionWins) {
    std::mt19937 rng(4);
    std::uniform_real_distribution<float> dt(0.0f, 0.05f);
    InputRamp keys = steering();
    InputRamp pad = steering();
    InputRamp keysWithPadAtRest = steering();
    for (int frame = 0; frame < 5000; ++frame) {
        const int pattern = static_cast<int>(rng() % 4);
        const bool right = pattern == 1 || pattern == 3;
        const bool left = pattern == 2 || pattern == 3;
        const float analog = right == left ? 0.0f : (right ? 1.0f : -1.0f);
        const float step = dt(rng);
        const float byKeys = keys.update(step, right, left);
        ASSERT_EQ(pad.update(step, false, false, true, analog), byKeys) << "frame " << frame;
        ASSERT_EQ(keysWithPadAtRest.update(step, right, left, true, 0.0f), byKeys);
    }
    EXPECT_EQ(steering().analogTarget(-1.0f), -0.6f);
    EXPECT_EQ(steering().analogTarget(2.0f), 0.6f);
    EXPECT_EQ(steering().analogTarget(std::nanf("")), 0.0f);

    InputRamp ramp;
    ramp.init(0.0f, -1.0f, 1.0f, 2.0f, 1.0f);
    EXPECT_NEAR(ramp.update(0.1f, false, false, true, 0.5f), 0.2f, 1e-6f);
    EXPECT_EQ(ramp.update(0.2f, false, false, true, 0.5f), 0.5f);
    EXPECT_EQ(ramp.update(0.2f, false, false, true, 0.5f), 0.5f);
    EXPECT_NEAR(ramp.update(0.25f, false, false, true, 0.25f), 0.25f, 1e-6f);
    EXPECT_NEAR(ramp.update(0.1f, false, false, true, -0.5f), 0.15f, 1e-6f);
    EXPECT_NEAR(ramp.update(0.1f, false, false, true, -0.5f), 0.05f, 1e-6f);
    EXPECT_NEAR(ramp.update(0.1f, false, false, true, -0.5f), -0.05f, 1e-6f);
    EXPECT_NEAR(ramp.update(0.1f, false, false, true, -0.5f), -0.25f, 1e-6f);
    EXPECT_NEAR(ramp.update(0.1f, false, false, true, -0.5f), -0.45f, 1e-6f);
    EXPECT_EQ(ramp.update(0.1f, false, false, true, -0.5f), -0.5f);

    // The key's clamp outweighs half deflection the other way; a full one
    // the other way ties, and the key keeps it.
    EXPECT_NEAR(ramp.update(0.1f, true, false, true, -0.5f), -0.3f, 1e-6f);
    EXPECT_NEAR(ramp.update(0.1f, false, true, true, 1.0f), -0.5f, 1e-6f);
    // Both keys aim at the centre: any deflection outweighs them.
    EXPECT_NEAR(ramp.update(0.1f, true, true, true, -1.0f), -0.7f, 1e-6f);
    // Up towards the centre from below: the release rate.
    EXPECT_NEAR(ramp.update(0.1f, false, false, true, 0.5f), -0.6f, 1e-6f);
}

} // namespace
