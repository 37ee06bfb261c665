// Model transform of a dust particle: stretched by its shape, four times as
// large when new and normal size at the end of its five-second life, turned
// about its shape vector by an angle that starts at slot * 0.7 and grows by
// up to 4 radians with age, and placed at its position in scene units.
#include "scene/DustView.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

const float twoPi = 6.28318531f;

// The signed angle from a to b about the unit axis n, in -pi..pi.
float angleAbout(const Vec3& a, const Vec3& b, const Vec3& n) {
    return std::atan2(dot(cross(a, b), n), dot(a, b));
}

float wrapped(float angle) {
    return angle - twoPi * std::floor((angle + 0.5f * twoPi) / twoPi);
}

TEST(DustTransform, ShapeScaleAndPlacement) {
    std::mt19937 random(1234);
    std::uniform_real_distribution<float> shapeComponent(0.2f, 1.5f);
    std::uniform_real_distribution<float> coordinate(-50.0f, 50.0f);
    std::uniform_int_distribution<int> slots(0, 1023);
    const float alphas[3] = {1.0f, 0.5f, 0.0f};
    for (int trial = 0; trial < 50; ++trial) {
        const Vec3 shape(shapeComponent(random), shapeComponent(random), shapeComponent(random));
        const Vec3 position(coordinate(random), coordinate(random), coordinate(random));
        const int slot = slots(random);
        for (float alpha : alphas) {
            const Mat4 m = dustTransform(shape, alpha, slot, position);
            // Model point (1, 1, 1) becomes the shape vector, which is the
            // turning axis: only the size and the placement act on it.
            const float size = 3.0f * alpha + 1.0f;
            const Vec3 expected = shape * size + position * 60.0f;
            const Vec3 actual = m.transformPoint(Vec3(1.0f, 1.0f, 1.0f));
            EXPECT_NEAR(actual.x, expected.x, 1e-3f) << "alpha " << alpha;
            EXPECT_NEAR(actual.y, expected.y, 1e-3f) << "alpha " << alpha;
            EXPECT_NEAR(actual.z, expected.z, 1e-3f) << "alpha " << alpha;
            // The model origin lands on the particle.
            const Vec3 origin = m.transformPoint(zeroVec3());
            EXPECT_NEAR(origin.x, position.x * 60.0f, 1e-3f);
            EXPECT_NEAR(origin.y, position.y * 60.0f, 1e-3f);
            EXPECT_NEAR(origin.z, position.z * 60.0f, 1e-3f);
        }
    }
}

TEST(DustTransform, TurnStartsAtTheSlotAngleAndGrowsWithAge) {
    // A round shape, so that the turn is the only change of direction.
    const Vec3 shape(2.0f, 2.0f, 2.0f);
    const Vec3 axis = normalized(shape);
    const Vec3 across(1.0f, -1.0f, 0.0f);
    const int slots[4] = {0, 1, 5, 1023};
    const float alphas[4] = {1.0f, 0.75f, 0.5f, 0.0f};
    for (int slot : slots) {
        for (float alpha : alphas) {
            const Mat4 m = dustTransform(shape, alpha, slot, Vec3(3.0f, 0.5f, -2.0f));
            const Vec3 turned = m.transformVector(across);
            // Uniform size: 2 from the shape times 4 (new) .. 1 (old).
            const float size = 2.0f * (3.0f * alpha + 1.0f);
            EXPECT_NEAR(std::sqrt(dot(turned, turned)), size * std::sqrt(2.0f), 1e-3f);
            EXPECT_NEAR(dot(turned, axis), 0.0f, 1e-3f);
            const float age = 1.0f - alpha;
            const float expected = wrapped(age * age * 4.0f + static_cast<float>(slot) * 0.7f);
            EXPECT_NEAR(wrapped(angleAbout(across, turned, axis) - expected), 0.0f, 2e-3f)
                << "slot " << slot << ", alpha " << alpha;
        }
    }
}

TEST(DustTransform, ZeroShapeCollapsesOntoTheParticleWithoutNaN) {
    const Vec3 position(1.0f, 2.0f, 3.0f);
    const Mat4 m = dustTransform(zeroVec3(), 0.3f, 7, position);
    for (float value : m.m) {
        EXPECT_TRUE(std::isfinite(value));
    }
    const Vec3 p = m.transformPoint(Vec3(4.0f, 2.0f, 2.0f));
    EXPECT_FLOAT_EQ(p.x, 60.0f);
    EXPECT_FLOAT_EQ(p.y, 120.0f);
    EXPECT_FLOAT_EQ(p.z, 180.0f);
}

} // namespace
