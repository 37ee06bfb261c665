// Row-major matrix routines used by the rigid-frame fit: transpose, product,
// 3x3 determinant, checked on hand values and seeded random properties.
#include "math/MatrixOps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

std::vector<float> randomMatrix(std::mt19937& rng, int rows, int cols) {
    std::uniform_real_distribution<float> dist(-3.0f, 3.0f);
    std::vector<float> values(static_cast<size_t>(rows * cols));
    for (float& value : values) {
        value = dist(rng);
    }
    return values;
}

const float sentinel = -12345.0f;

} // namespace

TEST(MatrixOps, TransposeSwapsRowsAndColumns) {
    // 3-by-4 source: element (i, j) = 10 i + j.
    float src[12];
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 4; ++j) {
            src[i * 4 + j] = static_cast<float>(10 * i + j);
        }
    }
    float dst[12];
    matTranspose(dst, src, 3, 4);
    // Row j of the 4-by-3 result is column j of the source.
    for (int j = 0; j < 4; ++j) {
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(dst[j * 3 + i], static_cast<float>(10 * i + j))
                << "row " << j << " col " << i;
        }
    }

    std::mt19937 rng(42);
    for (int trial = 0; trial < 50; ++trial) {
        const int rows = 1 + static_cast<int>(rng() % 7);
        const int cols = 1 + static_cast<int>(rng() % 7);
        const std::vector<float> a = randomMatrix(rng, rows, cols);
        std::vector<float> t(a.size(), sentinel);
        std::vector<float> back(a.size(), sentinel);
        matTranspose(t.data(), a.data(), rows, cols);
        matTranspose(back.data(), t.data(), cols, rows);
        EXPECT_EQ(back, a) << rows << "x" << cols;
    }
}

TEST(MatrixOps, TransposeOfEmptyDimensionsWritesNothing) {
    const float src[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    const int shapes[][2] = {{0, 4}, {4, 0}, {-1, 3}, {3, -2}, {0, 0}};
    for (const auto& shape : shapes) {
        float dst[4] = {sentinel, sentinel, sentinel, sentinel};
        matTranspose(dst, src, shape[0], shape[1]);
        for (float value : dst) {
            EXPECT_EQ(value, sentinel) << shape[0] << "x" << shape[1];
        }
    }
}

TEST(MatrixOps, MultiplyMatchesHandValuesAndIdentity) {
    // (2x3) * (3x2).
    const float a[6] = {1, 2, 3, 4, 5, 6};
    const float b[6] = {7, 8, 9, 10, 11, 12};
    float dst[4] = {sentinel, sentinel, sentinel, sentinel};
    matMultiply(dst, a, b, 2, 3, 2);
    EXPECT_EQ(dst[0], 58.0f);
    EXPECT_EQ(dst[1], 64.0f);
    EXPECT_EQ(dst[2], 139.0f);
    EXPECT_EQ(dst[3], 154.0f);

    // A 3-by-N times N-by-3 product, the fit's own shape, against identity.
    std::mt19937 rng(7);
    const std::vector<float> m = randomMatrix(rng, 3, 5);
    const float identity5[25] = {1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1,
                                 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1};
    std::vector<float> same(15, sentinel);
    matMultiply(same.data(), m.data(), identity5, 3, 5, 5);
    EXPECT_EQ(same, m);
}

TEST(MatrixOps, MultiplyOverEmptyInnerDimensionGivesZeros) {
    float dst[6] = {sentinel, sentinel, sentinel, sentinel, sentinel, sentinel};
    matMultiply(dst, nullptr, nullptr, 2, 0, 3);
    for (float value : dst) {
        EXPECT_EQ(value, 0.0f);
    }
}

TEST(MatrixOps, ProductTransposeAndDeterminantAgree) {
    std::mt19937 rng(2024);
    for (int trial = 0; trial < 100; ++trial) {
        const std::vector<float> a = randomMatrix(rng, 3, 3);
        const std::vector<float> b = randomMatrix(rng, 3, 3);
        float ab[9];
        matMultiply(ab, a.data(), b.data(), 3, 3, 3);

        // (AB)^T = B^T A^T.
        float at[9], bt[9], abt[9], btat[9];
        matTranspose(at, a.data(), 3, 3);
        matTranspose(bt, b.data(), 3, 3);
        matTranspose(abt, ab, 3, 3);
        matMultiply(btat, bt, at, 3, 3, 3);
        for (int i = 0; i < 9; ++i) {
            EXPECT_NEAR(abt[i], btat[i], 1e-4f);
        }

        // det(AB) = det(A) det(B); det(A^T) = det(A).
        const float detA = matDeterminant3(a.data(), 3, 3);
        const float detB = matDeterminant3(b.data(), 3, 3);
        EXPECT_NEAR(matDeterminant3(ab, 3, 3), detA * detB,
                    2e-3f * (1.0f + std::fabs(detA * detB)));
        EXPECT_NEAR(matDeterminant3(at, 3, 3), detA, 1e-3f * (1.0f + std::fabs(detA)));

        // Swapping two rows negates the determinant.
        float swapped[9];
        for (int j = 0; j < 3; ++j) {
            swapped[0 + j] = a[3 + j];
            swapped[3 + j] = a[0 + j];
            swapped[6 + j] = a[6 + j];
        }
        EXPECT_NEAR(matDeterminant3(swapped, 3, 3), -detA, 1e-3f * (1.0f + std::fabs(detA)));
    }
}

TEST(MatrixOps, DeterminantOfKnownMatrices) {
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    EXPECT_EQ(matDeterminant3(identity, 3, 3), 1.0f);
    // Upper triangular: the product of the diagonal.
    const float triangular[9] = {2, 7, -1, 0, 3, 5, 0, 0, -4};
    EXPECT_EQ(matDeterminant3(triangular, 3, 3), -24.0f);
    // Rows not 0-1-2 symmetric: catches a cofactor taken from the wrong side.
    const float general[9] = {1, 2, 3, 0, 1, 4, 5, 6, 0};
    EXPECT_EQ(matDeterminant3(general, 3, 3), 1.0f);
    const float singular[9] = {1, 2, 3, 2, 4, 6, 7, 8, 9};
    EXPECT_EQ(matDeterminant3(singular, 3, 3), 0.0f);
}

TEST(MatrixOps, DeterminantOfNonSquareShapesIsZeroWithoutReading) {
    // A null array proves the routine does not read it for other shapes.
    EXPECT_EQ(matDeterminant3(nullptr, 2, 3), 0.0f);
    EXPECT_EQ(matDeterminant3(nullptr, 4, 4), 0.0f);
    EXPECT_EQ(matDeterminant3(nullptr, 3, 2), 0.0f);
    EXPECT_EQ(matDeterminant3(nullptr, 0, 0), 0.0f);
}
