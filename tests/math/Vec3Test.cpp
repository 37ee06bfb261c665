// Vec3: layout as OpenGL reads vertex arrays, and the algebraic properties of
// the free functions on seeded random inputs.
#include "math/Vec3.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <random>

namespace {

Vec3 randomVec3(std::mt19937& rng, float range) {
    std::uniform_real_distribution<float> dist(-range, range);
    const float x = dist(rng);
    const float y = dist(rng);
    const float z = dist(rng);
    return Vec3(x, y, z);
}

float length(const Vec3& v) {
    return std::sqrt(dot(v, v));
}

} // namespace

TEST(Vec3, ArraysAreFlatFloatArraysInXYZOrder) {
    Vec3 points[4];
    for (int i = 0; i < 4; ++i) {
        points[i] = Vec3(10.0f * i + 1.0f, 10.0f * i + 2.0f, 10.0f * i + 3.0f);
    }
    // Element i starts at float 3*i, as glVertexPointer(3, GL_FLOAT, 0, ...) reads it.
    const float* flat = &points[0].x;
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(flat[3 * i + 0], 10.0f * i + 1.0f);
        EXPECT_EQ(flat[3 * i + 1], 10.0f * i + 2.0f);
        EXPECT_EQ(flat[3 * i + 2], 10.0f * i + 3.0f);
    }
    EXPECT_EQ(offsetof(Vec3, y), sizeof(float));
    EXPECT_EQ(offsetof(Vec3, z), 2 * sizeof(float));
    const Vec3 fresh;
    EXPECT_EQ(fresh.x, 0.0f);
    EXPECT_EQ(fresh.y, 0.0f);
    EXPECT_EQ(fresh.z, 0.0f);
}

TEST(Vec3, ArithmeticIsComponentWise) {
    const Vec3 a(1.0f, -2.0f, 3.5f);
    const Vec3 b(0.5f, 4.0f, -1.0f);
    const Vec3 sum = a + b;
    const Vec3 difference = a - b;
    const Vec3 scaled = a * -2.0f;
    EXPECT_EQ(sum.x, 1.5f);
    EXPECT_EQ(sum.y, 2.0f);
    EXPECT_EQ(sum.z, 2.5f);
    EXPECT_EQ(difference.x, 0.5f);
    EXPECT_EQ(difference.y, -6.0f);
    EXPECT_EQ(difference.z, 4.5f);
    EXPECT_EQ(scaled.x, -2.0f);
    EXPECT_EQ(scaled.y, 4.0f);
    EXPECT_EQ(scaled.z, -7.0f);
    const Vec3 zero = zeroVec3();
    EXPECT_EQ(zero.x, 0.0f);
    EXPECT_EQ(zero.y, 0.0f);
    EXPECT_EQ(zero.z, 0.0f);
    EXPECT_EQ(dot(a, b), 0.5f - 8.0f - 3.5f);
}

TEST(Vec3, CrossIsRightHandedAndOrthogonal) {
    const Vec3 x(1.0f, 0.0f, 0.0f);
    const Vec3 y(0.0f, 1.0f, 0.0f);
    const Vec3 z = cross(x, y);
    EXPECT_EQ(z.x, 0.0f);
    EXPECT_EQ(z.y, 0.0f);
    EXPECT_EQ(z.z, 1.0f);
    const Vec3 xAgain = cross(y, z);
    EXPECT_EQ(xAgain.x, 1.0f);
    EXPECT_EQ(xAgain.y, 0.0f);
    EXPECT_EQ(xAgain.z, 0.0f);

    std::mt19937 rng(12345);
    for (int i = 0; i < 500; ++i) {
        const Vec3 a = randomVec3(rng, 10.0f);
        const Vec3 b = randomVec3(rng, 10.0f);
        const Vec3 c = cross(a, b);
        const float scale = length(a) * length(b);
        EXPECT_NEAR(dot(c, a), 0.0f, 1e-5f * scale * length(a));
        EXPECT_NEAR(dot(c, b), 0.0f, 1e-5f * scale * length(b));
        // Anti-commutative, exactly: each component is the negated difference.
        const Vec3 reversed = cross(b, a);
        EXPECT_EQ(reversed.x, -c.x);
        EXPECT_EQ(reversed.y, -c.y);
        EXPECT_EQ(reversed.z, -c.z);
        // |a x b|^2 + (a.b)^2 = |a|^2 |b|^2 (Lagrange's identity).
        const float ab = dot(a, b);
        EXPECT_NEAR(dot(c, c) + ab * ab, scale * scale, 1e-4f * scale * scale);
    }
}

TEST(Vec3, NormalizedHasUnitLengthAndKeepsDirection) {
    std::mt19937 rng(777);
    for (int i = 0; i < 500; ++i) {
        const Vec3 v = randomVec3(rng, 1000.0f);
        const Vec3 n = normalized(v);
        EXPECT_NEAR(length(n), 1.0f, 1e-6f);
        const Vec3 c = cross(n, v);
        EXPECT_NEAR(length(c), 0.0f, 1e-5f * length(v));
        EXPECT_GT(dot(n, v), 0.0f);
    }
    const Vec3 tiny = normalized(Vec3(0.0f, 3e-15f, 0.0f));
    EXPECT_FLOAT_EQ(tiny.y, 1.0f);
    // The zero vector has no direction; the documented result is NaN.
    const Vec3 zero = normalized(zeroVec3());
    EXPECT_TRUE(std::isnan(zero.x));
    EXPECT_TRUE(std::isnan(zero.y));
    EXPECT_TRUE(std::isnan(zero.z));
}
