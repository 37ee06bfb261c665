// Tests of the rigid-frame fit: seeded random rigid motions are recovered
// from 3 to 16 point pairs, the result is always a proper rotation (also for
// mirrored, scaled, collinear and three-pair sets), and the degenerate counts
// give plain translations or the identity.
#include "scene/RigidFit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <random>
#include <vector>

namespace {

// A rotation as a row-major 3x3 of doubles.
struct Rotation {
    double r[9];
    Vec3 apply(const Vec3& p) const {
        return Vec3(static_cast<float>(r[0] * p.x + r[1] * p.y + r[2] * p.z),
                    static_cast<float>(r[3] * p.x + r[4] * p.y + r[5] * p.z),
                    static_cast<float>(r[6] * p.x + r[7] * p.y + r[8] * p.z));
    }
};

// Uniformly distributed rotation from a normalised Gaussian quaternion.
Rotation randomRotation(std::mt19937& rng) {
    std::normal_distribution<double> gauss(0.0, 1.0);
    double q[4];
    double norm = 0.0;
    for (double& x : q) {
        x = gauss(rng);
        norm += x * x;
    }
    norm = std::sqrt(norm);
    const double w = q[0] / norm, x = q[1] / norm, y = q[2] / norm, z = q[3] / norm;
    return Rotation{{1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w),
                     2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w),
                     2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)}};
}

Vec3 randomPoint(std::mt19937& rng, float extent) {
    std::uniform_real_distribution<float> coordinate(-extent, extent);
    return Vec3(coordinate(rng), coordinate(rng), coordinate(rng));
}

float distance(const Vec3& a, const Vec3& b) {
    const Vec3 d = a - b;
    return std::sqrt(dot(d, d));
}

// Largest deviation of the fitted upper-left 3x3 from the given rotation.
double rotationError(const Mat4& out, const Rotation& expected) {
    double worst = 0.0;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            worst = std::max(worst, std::fabs(out.m[4 * j + i] - expected.r[3 * i + j]));
        }
    }
    return worst;
}

double determinant(const Mat4& out) {
    const float* m = out.m;
    return static_cast<double>(m[0]) * (m[5] * m[10] - m[9] * m[6]) -
           static_cast<double>(m[4]) * (m[1] * m[10] - m[9] * m[2]) +
           static_cast<double>(m[8]) * (m[1] * m[6] - m[5] * m[2]);
}

// Upper-left 3x3 orthonormal with determinant +1, bottom row (0, 0, 0, 1).
void expectProperRigid(const Mat4& out, double tolerance) {
    for (int p = 0; p < 3; ++p) {
        for (int q = 0; q < 3; ++q) {
            double sum = 0.0;
            for (int i = 0; i < 3; ++i) {
                sum += static_cast<double>(out.m[4 * p + i]) * out.m[4 * q + i];
            }
            EXPECT_NEAR(sum, p == q ? 1.0 : 0.0, tolerance) << "columns " << p << ", " << q;
        }
    }
    EXPECT_NEAR(determinant(out), 1.0, 3 * tolerance);
    EXPECT_EQ(out.m[3], 0.0f);
    EXPECT_EQ(out.m[7], 0.0f);
    EXPECT_EQ(out.m[11], 0.0f);
    EXPECT_EQ(out.m[15], 1.0f);
}

// Sources around a point, in scene units like the truck's fitted points;
// targets moved by a random rotation and translation.
TEST(RigidFit, RecoversRandomRigidMotions) {
    std::mt19937 rng(31);
    for (int count = 3; count <= kMaxFitPairs; ++count) {
        double worstRotation = 0.0;
        double worstMapping = 0.0;
        double worstAnchor = 0.0;
        for (int trial = 0; trial < 200; ++trial) {
            const Rotation rotation = randomRotation(rng);
            const Vec3 shift = randomPoint(rng, 500.0f);
            const Vec3 centre = randomPoint(rng, 300.0f);
            std::vector<Vec3> sources(count), targets(count);
            for (int k = 0; k < count; ++k) {
                sources[k] = centre + randomPoint(rng, 100.0f);
                targets[k] = rotation.apply(sources[k]) + shift;
            }
            Mat4 out;
            fitRigidTransform(out, targets.data(), sources.data(), count);
            worstRotation = std::max(worstRotation, rotationError(out, rotation));
            for (int k = 0; k < count; ++k) {
                worstMapping = std::max<double>(
                    worstMapping, distance(out.transformPoint(sources[k]), targets[k]));
            }
            worstAnchor =
                std::max<double>(worstAnchor, distance(out.transformPoint(sources[0]), targets[0]));
            if (trial % 50 == 0) {
                expectProperRigid(out, 1e-5);
            }
        }
        SCOPED_TRACE(testing::Message() << count << " pairs");
        // Coordinates reach about 900 scene units: float rounding is ~1e-4.
        EXPECT_LT(worstRotation, 2e-4);
        EXPECT_LT(worstMapping, 0.05);
        EXPECT_LT(worstAnchor, 1e-3);
    }
}

// With three pairs the cross-covariance has rank 2, and the sign of the
// axis belonging to its zero singular value is free; the reflection
// correction must act on that axis, wherever the decomposition put it.
TEST(RigidFit, ThreePairMotionsAreNeverReflected) {
    std::mt19937 rng(2024);
    int wrong = 0;
    double worstMapping = 0.0;
    for (int trial = 0; trial < 10000; ++trial) {
        const Rotation rotation = randomRotation(rng);
        const Vec3 shift = randomPoint(rng, 100.0f);
        Vec3 sources[3], targets[3];
        for (int k = 0; k < 3; ++k) {
            sources[k] = randomPoint(rng, 100.0f);
            targets[k] = rotation.apply(sources[k]) + shift;
        }
        Mat4 out;
        fitRigidTransform(out, targets, sources, 3);
        if (rotationError(out, rotation) > 1e-3 || determinant(out) < 0.999) {
            ++wrong;
        }
        for (int k = 0; k < 3; ++k) {
            worstMapping = std::max<double>(worstMapping,
                                            distance(out.transformPoint(sources[k]), targets[k]));
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_LT(worstMapping, 0.01);
}

TEST(RigidFit, WorkedMotions) {
    const Vec3 sources[4] = {Vec3(10.0f, 20.0f, 30.0f), Vec3(40.0f, 20.0f, 30.0f),
                             Vec3(10.0f, 70.0f, 30.0f), Vec3(10.0f, 20.0f, -5.0f)};
    {
        SCOPED_TRACE("targets equal to sources");
        Mat4 out;
        out.m[0] = 5.0f;
        fitRigidTransform(out, sources, sources, 4);
        const Mat4 identity;
        for (int i = 0; i < 16; ++i) {
            EXPECT_NEAR(out.m[i], identity.m[i], 1e-5f) << i;
        }
    }
    {
        SCOPED_TRACE("shifted");
        const Vec3 shift(-3.0f, 100.0f, 7.5f);
        Vec3 targets[4];
        for (int k = 0; k < 4; ++k) {
            targets[k] = sources[k] + shift;
        }
        Mat4 out;
        fitRigidTransform(out, targets, sources, 4);
        const Rotation identity{{1, 0, 0, 0, 1, 0, 0, 0, 1}};
        EXPECT_LT(rotationError(out, identity), 1e-6);
        EXPECT_NEAR(out.m[12], shift.x, 1e-4f);
        EXPECT_NEAR(out.m[13], shift.y, 1e-4f);
        EXPECT_NEAR(out.m[14], shift.z, 1e-4f);
    }
    {
        SCOPED_TRACE("90 degrees about y through the anchor, then shifted");
        // About y by +90 degrees: (x, y, z) -> (z, y, -x).
        const Rotation turn{{0, 0, 1, 0, 1, 0, -1, 0, 0}};
        const Vec3 shift(1.0f, 2.0f, 3.0f);
        Vec3 targets[4];
        for (int k = 0; k < 4; ++k) {
            targets[k] = sources[0] + turn.apply(sources[k] - sources[0]) + shift;
        }
        Mat4 out;
        fitRigidTransform(out, targets, sources, 4);
        EXPECT_LT(rotationError(out, turn), 1e-6);
        for (int k = 0; k < 4; ++k) {
            EXPECT_LT(distance(out.transformPoint(sources[k]), targets[k]), 1e-4f) << k;
        }
        expectProperRigid(out, 1e-6);
    }
    {
        // Three equal singular values: any axis would do for the sign
        // correction, and the tie goes to the last one, z. The fit then keeps
        // x and y and gives up z; the first axis would give a half turn
        // about y that keeps only y.
        SCOPED_TRACE("mirrored in z, every direction weighted alike");
        const Vec3 axes[4] = {Vec3(0.0f, 0.0f, 0.0f), Vec3(1.0f, 0.0f, 0.0f),
                              Vec3(0.0f, 1.0f, 0.0f), Vec3(0.0f, 0.0f, 1.0f)};
        Vec3 mirrored[4];
        for (int k = 0; k < 4; ++k) {
            mirrored[k] = Vec3(axes[k].x, axes[k].y, -axes[k].z);
        }
        Mat4 out;
        fitRigidTransform(out, mirrored, axes, 4);
        const Rotation identity{{1, 0, 0, 0, 1, 0, 0, 0, 1}};
        EXPECT_LT(rotationError(out, identity), 1e-6);
        expectProperRigid(out, 1e-6);
    }
    {
        SCOPED_TRACE("anchor at the origin lands exactly");
        const Rotation rotation{{0, -1, 0, 1, 0, 0, 0, 0, 1}};
        const Vec3 local[3] = {Vec3(0.0f, 0.0f, 0.0f), Vec3(3.0f, 1.0f, 0.0f),
                               Vec3(0.0f, 2.0f, 5.0f)};
        const Vec3 anchor(123.25f, -7.5f, 0.125f);
        Vec3 targets[3];
        for (int k = 0; k < 3; ++k) {
            targets[k] = rotation.apply(local[k]) + anchor;
        }
        Mat4 out;
        fitRigidTransform(out, targets, local, 3);
        const Vec3 landed = out.transformPoint(local[0]);
        EXPECT_EQ(landed.x, anchor.x);
        EXPECT_EQ(landed.y, anchor.y);
        EXPECT_EQ(landed.z, anchor.z);
    }
}

// One pair, or pairs that all coincide, leave nothing to rotate: the result
// is exactly the translation t0 - s0.
TEST(RigidFit, DegenerateSetsArePureTranslations) {
    const Vec3 s0(1.5f, -2.0f, 30.0f);
    const Vec3 t0(-40.0f, 9.25f, 0.5f);
    const Vec3 sources[5] = {s0, s0, s0, s0, s0};
    const Vec3 targets[5] = {t0, t0, t0, t0, t0};
    for (int count : {1, 2, 5}) {
        SCOPED_TRACE(testing::Message() << count << " pairs");
        Mat4 out;
        out.m[1] = 9.0f;
        fitRigidTransform(out, targets, sources, count);
        for (int i = 0; i < 12; ++i) {
            EXPECT_EQ(out.m[i], (i % 5 == 0) ? 1.0f : 0.0f) << i;
        }
        EXPECT_EQ(out.m[12], t0.x - s0.x);
        EXPECT_EQ(out.m[13], t0.y - s0.y);
        EXPECT_EQ(out.m[14], t0.z - s0.z);
        EXPECT_EQ(out.m[15], 1.0f);
    }
}

// Scaling the targets about the anchor leaves the rotation alone: the fit
// never scales.
TEST(RigidFit, ScaledTargetsStayRigid) {
    std::mt19937 rng(5);
    for (float factor : {0.25f, 3.0f, 10.0f}) {
        for (int trial = 0; trial < 50; ++trial) {
            const Rotation rotation = randomRotation(rng);
            const Vec3 anchor = randomPoint(rng, 200.0f);
            const int count = 3 + trial % 6;
            std::vector<Vec3> sources(count), targets(count);
            for (int k = 0; k < count; ++k) {
                sources[k] = randomPoint(rng, 50.0f);
                targets[k] = anchor + rotation.apply(sources[k] - sources[0]) * factor;
            }
            Mat4 out;
            fitRigidTransform(out, targets.data(), sources.data(), count);
            SCOPED_TRACE(testing::Message() << "factor " << factor << ", trial " << trial);
            EXPECT_LT(rotationError(out, rotation), 1e-4);
            expectProperRigid(out, 1e-5);
            const Vec3 moved = out.transformPoint(sources[1]);
            const Vec3 unscaled = anchor + rotation.apply(sources[1] - sources[0]);
            EXPECT_LT(distance(moved, unscaled), 0.01f);
        }
    }
}

// Mirrored targets cannot be matched by a rotation; the fit still returns a
// proper rotation, and no nearby rotation aligns the points better.
TEST(RigidFit, MirroredTargetsGiveBestProperRotation) {
    std::mt19937 rng(77);
    std::normal_distribution<double> gauss(0.0, 1.0);
    for (int trial = 0; trial < 200; ++trial) {
        const int count = 4 + trial % 9;
        // Reflection through a random plane through the origin.
        Vec3 normal(static_cast<float>(gauss(rng)), static_cast<float>(gauss(rng)),
                    static_cast<float>(gauss(rng)));
        normal = normalized(normal);
        std::vector<Vec3> sources(count), targets(count);
        for (int k = 0; k < count; ++k) {
            sources[k] = randomPoint(rng, 100.0f);
            targets[k] = sources[k] - normal * (2.0f * dot(sources[k], normal));
        }
        Mat4 out;
        fitRigidTransform(out, targets.data(), sources.data(), count);
        SCOPED_TRACE(testing::Message() << "trial " << trial);
        expectProperRigid(out, 1e-5);

        // Sum of squared misfits of the differences to the anchor under the
        // rotation r (column-major 3x3 inside a Mat4).
        auto misfit = [&](const Mat4& r) {
            double sum = 0.0;
            for (int k = 1; k < count; ++k) {
                const Vec3 d =
                    r.transformVector(sources[k] - sources[0]) - (targets[k] - targets[0]);
                sum += static_cast<double>(dot(d, d));
            }
            return sum;
        };
        Mat4 rotationOnly;
        for (int i : {0, 1, 2, 4, 5, 6, 8, 9, 10}) {
            rotationOnly.m[i] = out.m[i];
        }
        const double best = misfit(rotationOnly);
        for (int axis = 0; axis < 3; ++axis) {
            for (float angle : {-0.02f, 0.02f}) {
                Mat4 nudged;
                nudged.set(rotationOnly);
                Vec3 axisVector(axis == 0 ? 1.0f : 0.0f, axis == 1 ? 1.0f : 0.0f,
                                axis == 2 ? 1.0f : 0.0f);
                nudged.rotateAboutAxis(zeroVec3(), axisVector, angle);
                EXPECT_GE(misfit(nudged), best * (1.0 - 1e-5)) << "axis " << axis;
            }
        }
    }
}

// Points on one line fix only one direction; the result is still a proper
// rotation that maps every point.
TEST(RigidFit, CollinearPointsGiveProperRotation) {
    std::mt19937 rng(3);
    for (int trial = 0; trial < 200; ++trial) {
        const Rotation rotation = randomRotation(rng);
        const Vec3 base = randomPoint(rng, 100.0f);
        const Vec3 direction = randomPoint(rng, 1.0f);
        const int count = 2 + trial % 5;
        std::vector<Vec3> sources(count), targets(count);
        for (int k = 0; k < count; ++k) {
            sources[k] = base + direction * (10.0f * k);
            targets[k] = rotation.apply(sources[k]);
        }
        Mat4 out;
        fitRigidTransform(out, targets.data(), sources.data(), count);
        SCOPED_TRACE(testing::Message() << "trial " << trial);
        expectProperRigid(out, 1e-5);
        for (int k = 0; k < count; ++k) {
            EXPECT_LT(distance(out.transformPoint(sources[k]), targets[k]), 0.01f) << k;
        }
    }
}

// A count outside 1..16 yields the identity without reading either array;
// 16 pairs, the most the fit takes, are used in full.
TEST(RigidFit, CountRange) {
    for (int count : {0, -1, kMaxFitPairs + 1, 1000, INT_MIN, INT_MAX}) {
        Mat4 out;
        for (float& x : out.m) {
            x = 42.0f;
        }
        fitRigidTransform(out, nullptr, nullptr, count);
        const Mat4 identity;
        for (int i = 0; i < 16; ++i) {
            EXPECT_EQ(out.m[i], identity.m[i]) << "count " << count << ", element " << i;
        }
    }

    std::mt19937 rng(16);
    const Rotation rotation = randomRotation(rng);
    Vec3 sources[kMaxFitPairs], targets[kMaxFitPairs];
    for (int k = 0; k < kMaxFitPairs; ++k) {
        sources[k] = randomPoint(rng, 100.0f);
        targets[k] = rotation.apply(sources[k]);
    }
    // Pair 15 alone disagrees: the fit must take it into account.
    targets[kMaxFitPairs - 1] = targets[kMaxFitPairs - 1] + Vec3(0.0f, 60.0f, 0.0f);
    Mat4 all;
    Mat4 fifteen;
    fitRigidTransform(all, targets, sources, kMaxFitPairs);
    fitRigidTransform(fifteen, targets, sources, kMaxFitPairs - 1);
    EXPECT_LT(rotationError(fifteen, rotation), 1e-4);
    EXPECT_GT(rotationError(all, rotation), 1e-3);
    expectProperRigid(all, 1e-5);
}

} // namespace
