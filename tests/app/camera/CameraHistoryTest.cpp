// Tests of the camera history: the time-weighted mean with the oldest
// sample cut at the window start, the zero-weight newest sample, the ring
// overwriting its oldest sample, and a comparison with a direct integral of
// the step function the samples describe.
#include "app/camera/CameraHistory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

void expectVecNear(const Vec3& a, const Vec3& b, float tolerance) {
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

TEST(CameraHistory, EmptyAndSingleSample) {
    CameraHistory history;
    EXPECT_EQ(history.count, 0);
    EXPECT_EQ(history.head, 0);
    expectVecNear(history.average(1.0f, 0.4f), Vec3(0.0f, 0.0f, 0.0f), 0.0f);

    history.push(Vec3(1.0f, -2.0f, 3.0f), 5.0f);
    EXPECT_EQ(history.count, 1);
    for (float now : {5.0f, 5.4f, 100.0f, -3.0f}) {
        for (float window : {0.0f, 0.4f, 50.0f}) {
            expectVecNear(history.average(now, window), Vec3(1.0f, -2.0f, 3.0f), 0.0f);
        }
    }
}

// Samples at 0.0, 0.3 and 0.5, now 0.6, window 0.4: weights 0.1 (the first,
// cut at 0.2), 0.2 and 0.1. An older sample far away must not count at all.
TEST(CameraHistory, WindowCutsOldestSample) {
    CameraHistory history;
    history.push(Vec3(1000.0f, 1000.0f, 1000.0f), -5.0f);
    history.push(Vec3(1.0f, 0.0f, 0.0f), 0.0f);
    history.push(Vec3(0.0f, 1.0f, 0.0f), 0.3f);
    history.push(Vec3(0.0f, 0.0f, 1.0f), 0.5f);
    expectVecNear(history.average(0.6f, 0.4f), Vec3(0.25f, 0.5f, 0.25f), 1e-5f);

    // A window reaching past every sample weighs the oldest from its own time.
    CameraHistory twoSamples;
    twoSamples.push(Vec3(3.0f, 0.0f, 0.0f), 0.3f);
    twoSamples.push(Vec3(0.0f, 3.0f, 0.0f), 0.5f);
    expectVecNear(twoSamples.average(0.6f, 1.0f), Vec3(2.0f, 1.0f, 0.0f), 1e-5f);
}

// The newest sample stands for the time up to now: pushed at now it weighs
// nothing; when every sample is at now, the newest position is returned.
TEST(CameraHistory, NewestSampleAtNow) {
    CameraHistory history;
    history.push(Vec3(1.0f, 2.0f, 3.0f), 0.3f);
    history.push(Vec3(7.0f, 7.0f, 7.0f), 0.6f);
    expectVecNear(history.average(0.6f, 0.4f), Vec3(1.0f, 2.0f, 3.0f), 1e-6f);

    CameraHistory still;
    still.push(Vec3(1.0f, 1.0f, 1.0f), 2.0f);
    still.push(Vec3(4.0f, 5.0f, 6.0f), 2.0f);
    still.push(Vec3(-1.0f, 0.0f, 9.0f), 2.0f);
    expectVecNear(still.average(2.0f, 0.4f), Vec3(-1.0f, 0.0f, 9.0f), 0.0f);
}

// The 501st push overwrites the oldest sample and moves head by one; count
// stays 500. Sample i is at time i with position (i, 0, 0): with now = 500
// and a window covering everything, the mean is over the samples still held.
TEST(CameraHistory, RingOverwritesOldest) {
    CameraHistory history;
    for (int i = 0; i < 500; ++i) {
        history.push(Vec3(static_cast<float>(i), 0.0f, 0.0f), static_cast<float>(i));
    }
    EXPECT_EQ(history.count, 500);
    EXPECT_EQ(history.head, 0);
    // Samples 0..498 weigh 1 each, sample 499 weighs 0.5.
    EXPECT_NEAR(history.average(499.5f, 1e6f).x, (249.0f * 499.0f + 0.5f * 499.0f) / 499.5f, 1e-2f);

    history.push(Vec3(500.0f, 0.0f, 0.0f), 500.0f);
    EXPECT_EQ(history.count, 500);
    EXPECT_EQ(history.head, 1);
    // Samples 1..499 weigh 1 each: mean 250 (with sample 0 still there, 249.5).
    EXPECT_NEAR(history.average(500.0f, 1e6f).x, 250.0f, 1e-2f);

    for (int i = 501; i < 1700; ++i) {
        history.push(Vec3(static_cast<float>(i), 0.0f, 0.0f), static_cast<float>(i));
    }
    EXPECT_EQ(history.count, 500);
    EXPECT_EQ(history.head, 1700 % 500);
    // Held: 1200..1699, each weighing 1 except the newest (weight 0).
    EXPECT_NEAR(history.average(1699.0f, 1e6f).x, (1200.0f + 1698.0f) / 2.0f, 1e-1f);
}

// Against the integral of the step function over [now - window, now],
// clipped to the samples the ring still holds, over seeded random pushes
// (including bursts far denser than 1250 per second).
TEST(CameraHistory, MatchesStepFunctionIntegral) {
    std::mt19937 rng(12);
    std::uniform_real_distribution<float> coordinate(-100.0f, 100.0f);
    for (int run = 0; run < 20; ++run) {
        CameraHistory history;
        std::vector<CameraSample> pushed;
        const float meanGap = run % 2 == 0 ? 1.0f / 60.0f : 1.0f / 5000.0f;
        std::exponential_distribution<float> gap(1.0f / meanGap);
        float t = 10.0f;
        const int pushes = 100 + static_cast<int>(rng() % 1500);
        for (int i = 0; i < pushes; ++i) {
            t += gap(rng);
            const Vec3 p(coordinate(rng), coordinate(rng), coordinate(rng));
            history.push(p, t);
            pushed.push_back(CameraSample{p.x, p.y, p.z, t});
        }
        EXPECT_EQ(history.count, std::min(pushes, 500));
        EXPECT_EQ(history.head, pushes > 500 ? (pushes - 500) % 500 : 0);
        const size_t first = pushed.size() > 500 ? pushed.size() - 500 : 0;
        for (float window : {0.4f, 0.05f, 3.0f}) {
            const float now = t + 0.01f;
            const double start = static_cast<double>(now) - window;
            double sum[3] = {0.0, 0.0, 0.0};
            double total = 0.0;
            for (size_t i = first; i < pushed.size(); ++i) {
                const double from = std::max<double>(pushed[i].time, start);
                const double to = i + 1 < pushed.size() ? pushed[i + 1].time : now;
                const double weight = std::max(0.0, to - from);
                sum[0] += weight * pushed[i].x;
                sum[1] += weight * pushed[i].y;
                sum[2] += weight * pushed[i].z;
                total += weight;
            }
            const Vec3 expected(static_cast<float>(sum[0] / total),
                                static_cast<float>(sum[1] / total),
                                static_cast<float>(sum[2] / total));
            SCOPED_TRACE(testing::Message() << "run " << run << ", window " << window);
            expectVecNear(history.average(now, window), expected, 0.05f);
        }
    }
}

} // namespace
