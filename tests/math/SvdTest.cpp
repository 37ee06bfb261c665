// Tests of the singular value decomposition against an independent reference
// (one-sided Jacobi rotations in double precision) over seeded random
// matrices of several shapes and kinds, plus its worked cases, refusals and
// the overflow-safe hypotenuse.
#include "math/SingularValueDecomposition.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <limits>
#include <new>
#include <random>
#include <string>
#include <vector>

// Array new and delete of this test program go through malloc and free, so
// that the tests can count (and on request refuse) the non-throwing array
// allocation the decomposition makes for its work array.
namespace {
int nothrowArrayNewCalls = 0;
bool refuseNothrowArrayNew = false;
} // namespace

void* operator new[](std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    ++nothrowArrayNewCalls;
    if (refuseNothrowArrayNew) {
        return nullptr;
    }
    return std::malloc(size == 0 ? 1 : size);
}

void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}

namespace {

// A row-major m-by-n float matrix with the row pointers the routine takes.
struct Matrix {
    int m = 0;
    int n = 0;
    std::vector<float> values;
    std::vector<float*> rows;

    Matrix(int rowCount, int colCount) : m(rowCount), n(colCount), values(rowCount * colCount) {
        for (int i = 0; i < m; ++i) {
            rows.push_back(values.data() + i * n);
        }
    }
    Matrix(const Matrix& other) : Matrix(other.m, other.n) { values = other.values; }
    Matrix& operator=(const Matrix& other) {
        m = other.m;
        n = other.n;
        values = other.values;
        rows.clear();
        for (int i = 0; i < m; ++i) {
            rows.push_back(values.data() + i * n);
        }
        return *this;
    }
    float& at(int i, int j) { return values[i * n + j]; }
    float at(int i, int j) const { return values[i * n + j]; }
};

// Singular values of a (as doubles), sorted descending, by one-sided Jacobi:
// column pairs are rotated until all columns are mutually orthogonal, and the
// column norms are then the singular values.
std::vector<double> referenceSingularValues(const Matrix& a) {
    std::vector<double> b(a.values.begin(), a.values.end());
    const int m = a.m;
    const int n = a.n;
    for (int sweep = 0; sweep < 100; ++sweep) {
        bool rotated = false;
        for (int p = 0; p < n; ++p) {
            for (int q = p + 1; q < n; ++q) {
                double alpha = 0.0, beta = 0.0, gamma = 0.0;
                for (int i = 0; i < m; ++i) {
                    alpha += b[i * n + p] * b[i * n + p];
                    beta += b[i * n + q] * b[i * n + q];
                    gamma += b[i * n + p] * b[i * n + q];
                }
                if (gamma == 0.0 || std::fabs(gamma) <= 1e-15 * std::sqrt(alpha * beta)) {
                    continue;
                }
                rotated = true;
                const double zeta = (beta - alpha) / (2.0 * gamma);
                const double t =
                    (zeta >= 0.0 ? 1.0 : -1.0) / (std::fabs(zeta) + std::sqrt(1.0 + zeta * zeta));
                const double c = 1.0 / std::sqrt(1.0 + t * t);
                const double s = c * t;
                for (int i = 0; i < m; ++i) {
                    const double bp = b[i * n + p];
                    const double bq = b[i * n + q];
                    b[i * n + p] = c * bp - s * bq;
                    b[i * n + q] = s * bp + c * bq;
                }
            }
        }
        if (!rotated) {
            break;
        }
    }
    std::vector<double> sigma(n);
    for (int j = 0; j < n; ++j) {
        double sum = 0.0;
        for (int i = 0; i < m; ++i) {
            sum += b[i * n + j] * b[i * n + j];
        }
        sigma[j] = std::sqrt(sum);
    }
    std::sort(sigma.begin(), sigma.end(), std::greater<double>());
    return sigma;
}

double determinant3(const double* x) {
    return x[0] * (x[4] * x[8] - x[5] * x[7]) - x[1] * (x[3] * x[8] - x[5] * x[6]) +
           x[2] * (x[3] * x[7] - x[4] * x[6]);
}

// A random k-by-k orthogonal matrix (row-major doubles): Gram-Schmidt on
// Gaussian columns.
std::vector<double> randomOrthogonal(int k, std::mt19937& rng) {
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::vector<double> q(k * k);
    for (int j = 0; j < k; ++j) {
        for (;;) {
            for (int i = 0; i < k; ++i) {
                q[i * k + j] = gauss(rng);
            }
            for (int prev = 0; prev < j; ++prev) {
                double d = 0.0;
                for (int i = 0; i < k; ++i) {
                    d += q[i * k + j] * q[i * k + prev];
                }
                for (int i = 0; i < k; ++i) {
                    q[i * k + j] -= d * q[i * k + prev];
                }
            }
            double norm = 0.0;
            for (int i = 0; i < k; ++i) {
                norm += q[i * k + j] * q[i * k + j];
            }
            norm = std::sqrt(norm);
            if (norm > 1e-3) {
                for (int i = 0; i < k; ++i) {
                    q[i * k + j] /= norm;
                }
                break;
            }
        }
    }
    return q;
}

// P * diag(sigma) * Q^T with random orthogonal P (m-by-m) and Q (n-by-n).
Matrix withSingularValues(int m, int n, const std::vector<double>& sigma, std::mt19937& rng) {
    const std::vector<double> p = randomOrthogonal(m, rng);
    const std::vector<double> q = randomOrthogonal(n, rng);
    Matrix a(m, n);
    for (int i = 0; i < m; ++i) {
        for (int j = 0; j < n; ++j) {
            double sum = 0.0;
            for (int k = 0; k < n; ++k) {
                sum += p[i * m + k] * sigma[k] * q[j * n + k];
            }
            a.at(i, j) = static_cast<float>(sum);
        }
    }
    return a;
}

// The kinds of matrix every shape is tried with.
enum Kind {
    kUniform,
    kRankDeficient,
    kNearlySingular,
    kDiagonalRepeated,
    kNegativeDeterminant,
    kWideRange,
    kDuplicateColumns,
    kEqualValues,
    kSparseIntegers,
    kZero,
    kKindCount
};

Matrix makeMatrix(int m, int n, Kind kind, std::mt19937& rng) {
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::normal_distribution<double> gauss(0.0, 1.0);
    Matrix a(m, n);
    switch (kind) {
    case kUniform:
    case kNegativeDeterminant:
        for (float& x : a.values) {
            x = unit(rng);
        }
        if (kind == kNegativeDeterminant && m == 3 && n == 3) {
            std::vector<double> d(a.values.begin(), a.values.end());
            if (determinant3(d.data()) > 0.0) {
                for (int j = 0; j < 3; ++j) {
                    a.at(0, j) = -a.at(0, j);
                }
            }
        }
        break;
    case kRankDeficient: {
        const int rank = std::uniform_int_distribution<int>(0, n - 1)(rng);
        std::vector<double> left(m * rank), right(rank * n);
        for (double& x : left) {
            x = gauss(rng);
        }
        for (double& x : right) {
            x = gauss(rng);
        }
        for (int i = 0; i < m; ++i) {
            for (int j = 0; j < n; ++j) {
                double sum = 0.0;
                for (int k = 0; k < rank; ++k) {
                    sum += left[i * rank + k] * right[k * n + j];
                }
                a.at(i, j) = static_cast<float>(sum);
            }
        }
        break;
    }
    case kNearlySingular: {
        std::vector<double> sigma(n);
        for (double& s : sigma) {
            s = std::pow(10.0, std::uniform_real_distribution<double>(-1.0, 1.0)(rng));
        }
        sigma[std::uniform_int_distribution<int>(0, n - 1)(rng)] =
            std::pow(10.0, std::uniform_real_distribution<double>(-7.0, -4.0)(rng));
        a = withSingularValues(m, n, sigma, rng);
        break;
    }
    case kDiagonalRepeated: {
        // A few distinct magnitudes, repeated, with random signs and order.
        const float choices[3] = {std::fabs(unit(rng)) + 0.1f, std::fabs(unit(rng)) + 0.1f, 0.0f};
        const int distinct = std::uniform_int_distribution<int>(1, 3)(rng);
        for (int k = 0; k < n; ++k) {
            const float magnitude =
                choices[std::uniform_int_distribution<int>(0, distinct - 1)(rng)];
            a.at(k, k) = unit(rng) < 0.0f ? -magnitude : magnitude;
        }
        break;
    }
    case kWideRange: {
        const float scale =
            std::pow(10.0f, std::uniform_real_distribution<float>(-30.0f, 30.0f)(rng));
        for (float& x : a.values) {
            x = unit(rng) * scale;
        }
        break;
    }
    case kDuplicateColumns:
        for (float& x : a.values) {
            x = unit(rng);
        }
        for (int i = 0; i < m; ++i) {
            a.at(i, n - 1) = a.at(i, 0);
        }
        break;
    case kEqualValues: {
        // A scaled rotation (all singular values equal) or two equal values:
        // the sweeps converge only linearly on such matrices.
        const double scale = std::pow(10.0, std::uniform_real_distribution<double>(-3.0, 3.0)(rng));
        std::vector<double> sigma(n, scale);
        if (n > 1 && rng() % 2 == 0) {
            sigma[rng() % n] = scale * std::uniform_real_distribution<double>(0.1, 2.0)(rng);
        }
        a = withSingularValues(m, n, sigma, rng);
        break;
    }
    case kSparseIntegers: {
        // Small integers with many zeros: exact zeros on the bidiagonal take
        // the cancellation path and zero-length rotations.
        const int zeros = std::uniform_int_distribution<int>(0, m * n)(rng);
        for (float& x : a.values) {
            x = static_cast<float>(std::uniform_int_distribution<int>(-2, 2)(rng));
        }
        for (int z = 0; z < zeros; ++z) {
            a.values[std::uniform_int_distribution<int>(0, m * n - 1)(rng)] = 0.0f;
        }
        break;
    }
    case kZero:
    case kKindCount:
        break;
    }
    return a;
}

// Largest deviation of M^T M from the identity for the k columns of the
// rows-by-k matrix m.
double orthonormalityError(const Matrix& mat) {
    double worst = 0.0;
    for (int p = 0; p < mat.n; ++p) {
        for (int q = 0; q < mat.n; ++q) {
            double sum = 0.0;
            for (int i = 0; i < mat.m; ++i) {
                sum += static_cast<double>(mat.at(i, p)) * mat.at(i, q);
            }
            worst = std::max(worst, std::fabs(sum - (p == q ? 1.0 : 0.0)));
        }
    }
    return worst;
}

// Largest |A - U diag(w) V^T| relative to the largest singular value.
double reconstructionError(const Matrix& a, const Matrix& u, const std::vector<float>& w,
                           const Matrix& v, double sigmaMax) {
    double worst = 0.0;
    for (int i = 0; i < a.m; ++i) {
        for (int j = 0; j < a.n; ++j) {
            double sum = 0.0;
            for (int k = 0; k < a.n; ++k) {
                sum += static_cast<double>(u.at(i, k)) * w[k] * v.at(j, k);
            }
            worst = std::max(worst, std::fabs(sum - a.at(i, j)));
        }
    }
    return sigmaMax > 0.0 ? worst / sigmaMax : worst;
}

struct Shape {
    int m;
    int n;
};

class SvdRandom : public testing::TestWithParam<Shape> {};

// Every matrix decomposes; w matches the reference as a multiset; U has
// orthonormal columns, V is orthogonal and U diag(w) V^T gives A back.
TEST_P(SvdRandom, MatchesJacobiReference) {
    const int m = GetParam().m;
    const int n = GetParam().n;
    std::mt19937 rng(1000u * m + n);
    const int perKind = 300;
    double worstReconstruction = 0.0;
    double worstOrthogonality = 0.0;
    double worstValue = 0.0;
    int failures = 0;
    for (int kindIndex = 0; kindIndex < kKindCount; ++kindIndex) {
        const Kind kind = static_cast<Kind>(kindIndex);
        for (int trial = 0; trial < perKind; ++trial) {
            const Matrix a = makeMatrix(m, n, kind, rng);
            Matrix u(a);
            Matrix v(n, n);
            std::vector<float> w(n, -1.0f);
            const int result = singularValueDecompose(u.rows.data(), m, n, w.data(), v.rows.data());
            const std::vector<double> reference = referenceSingularValues(a);
            const double sigmaMax = reference[0];

            std::vector<double> sorted(w.begin(), w.end());
            std::sort(sorted.begin(), sorted.end(), std::greater<double>());
            double valueError = 0.0;
            for (int k = 0; k < n; ++k) {
                valueError = std::max(valueError, std::fabs(sorted[k] - reference[k]));
            }
            if (sigmaMax > 0.0) {
                valueError /= sigmaMax;
            }
            const bool nonNegative =
                std::all_of(w.begin(), w.end(), [](float x) { return x >= 0.0f; });
            const double orthogonality = std::max(orthonormalityError(u), orthonormalityError(v));
            const double reconstruction = reconstructionError(a, u, w, v, sigmaMax);
            worstReconstruction = std::max(worstReconstruction, reconstruction);
            worstOrthogonality = std::max(worstOrthogonality, orthogonality);
            worstValue = std::max(worstValue, valueError);

            bool signOk = true;
            if (m == 3 && n == 3 && kind == kNegativeDeterminant &&
                reference[2] > 1e-3 * sigmaMax) {
                // det(U V^T) = det(U) det(V) carries the sign of det(A).
                double uvt[9];
                for (int i = 0; i < 3; ++i) {
                    for (int j = 0; j < 3; ++j) {
                        uvt[3 * i + j] = 0.0;
                        for (int k = 0; k < 3; ++k) {
                            uvt[3 * i + j] += static_cast<double>(u.at(i, k)) * v.at(j, k);
                        }
                    }
                }
                signOk = std::fabs(determinant3(uvt) + 1.0) < 1e-5;
            }
            const bool ok = result == 1 && nonNegative && valueError < 2e-6 &&
                            orthogonality < 2e-6 && reconstruction < 2e-6 && signOk;
            if (!ok && ++failures <= 5) {
                ADD_FAILURE() << "kind " << kindIndex << " trial " << trial << ": result " << result
                              << ", value error " << valueError << ", orthogonality "
                              << orthogonality << ", reconstruction " << reconstruction << ", sign "
                              << signOk;
            }
        }
    }
    EXPECT_EQ(failures, 0);
    const std::string shape = std::to_string(m) + "x" + std::to_string(n);
    std::cout << "[ svd " << shape << " ] " << perKind * kKindCount
              << " matrices: worst reconstruction error " << worstReconstruction
              << " (relative to the largest singular value), worst orthonormality error "
              << worstOrthogonality << ", worst singular value error " << worstValue << "\n";
    RecordProperty("worst_reconstruction_" + shape, std::to_string(worstReconstruction));
}

INSTANTIATE_TEST_SUITE_P(Shapes, SvdRandom,
                         testing::Values(Shape{3, 3}, Shape{1, 1}, Shape{2, 2}, Shape{4, 3},
                                         Shape{16, 3}, Shape{5, 5}, Shape{7, 4}, Shape{12, 6},
                                         Shape{16, 16}, Shape{20, 17}),
                         [](const testing::TestParamInfo<Shape>& info) {
                             return std::to_string(info.param.m) + "x" +
                                    std::to_string(info.param.n);
                         });

// U * V^T for a 3x3 decomposition, row-major doubles.
void productUVt(const Matrix& u, const Matrix& v, double* out) {
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            out[3 * i + j] = 0.0;
            for (int k = 0; k < 3; ++k) {
                out[3 * i + j] += static_cast<double>(u.at(i, k)) * v.at(j, k);
            }
        }
    }
}

TEST(Svd, WorkedThreeByThreeCases) {
    {
        SCOPED_TRACE("identity");
        Matrix u(3, 3), v(3, 3);
        u.at(0, 0) = u.at(1, 1) = u.at(2, 2) = 1.0f;
        float w[3];
        ASSERT_EQ(singularValueDecompose(u.rows.data(), 3, 3, w, v.rows.data()), 1);
        double uvt[9];
        productUVt(u, v, uvt);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(w[k], 1.0f, 1e-6f);
        }
        for (int i = 0; i < 9; ++i) {
            EXPECT_NEAR(uvt[i], i % 4 == 0 ? 1.0 : 0.0, 1e-6);
        }
    }
    {
        SCOPED_TRACE("diag(1, 3, 2)");
        Matrix a(3, 3);
        a.at(0, 0) = 1.0f;
        a.at(1, 1) = 3.0f;
        a.at(2, 2) = 2.0f;
        Matrix u(a), v(3, 3);
        float w[3];
        ASSERT_EQ(singularValueDecompose(u.rows.data(), 3, 3, w, v.rows.data()), 1);
        std::vector<float> sorted(w, w + 3);
        std::sort(sorted.begin(), sorted.end());
        EXPECT_NEAR(sorted[0], 1.0f, 1e-6f);
        EXPECT_NEAR(sorted[1], 2.0f, 1e-6f);
        EXPECT_NEAR(sorted[2], 3.0f, 1e-6f);
        // Each value comes with the matching axis in both U and V.
        for (int k = 0; k < 3; ++k) {
            const int axis = w[k] < 1.5f ? 0 : (w[k] > 2.5f ? 1 : 2);
            EXPECT_NEAR(std::fabs(u.at(axis, k)), 1.0f, 1e-6f);
            EXPECT_NEAR(std::fabs(v.at(axis, k)), 1.0f, 1e-6f);
            EXPECT_GT(u.at(axis, k) * v.at(axis, k), 0.0f);
        }
        EXPECT_LT(reconstructionError(a, u, std::vector<float>(w, w + 3), v, 3.0), 1e-6);
    }
    {
        SCOPED_TRACE("negative determinant");
        Matrix a(3, 3);
        // det = -4.
        const float values[9] = {0.0f, -2.0f, -1.0f, 1.0f, 0.0f, 0.5f, 0.3f, 0.7f, -1.5f};
        std::copy(values, values + 9, a.values.begin());
        Matrix u(a), v(3, 3);
        float w[3];
        ASSERT_EQ(singularValueDecompose(u.rows.data(), 3, 3, w, v.rows.data()), 1);
        for (float x : w) {
            EXPECT_GE(x, 0.0f);
        }
        double uvt[9];
        productUVt(u, v, uvt);
        EXPECT_NEAR(determinant3(uvt), -1.0, 1e-5);
    }
    {
        // Three times an orthogonal matrix: three equal singular values, on
        // which the sweeps converge only linearly from float rounding level.
        SCOPED_TRACE("scaled orthogonal");
        Matrix a(3, 3);
        a.values = {2, -2, -1, -2, -1, -2, -1, -2, 2};
        Matrix u(a), v(3, 3);
        std::vector<float> w(3);
        testing::internal::CaptureStderr();
        const int result = singularValueDecompose(u.rows.data(), 3, 3, w.data(), v.rows.data());
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        ASSERT_EQ(result, 1);
        for (float x : w) {
            EXPECT_NEAR(x, 3.0f, 3e-6f);
        }
        EXPECT_LT(reconstructionError(a, u, w, v, 3.0), 1e-6);
    }
    {
        // Column 0 is (0, 1, 0): its leading entry is an exact zero, whose
        // sign counts as positive, so the first reflection sends the column
        // to -e0 (with the other sign, to +e0). Row 0 is then e0 alone, the
        // block splits off, and the -1 it leaves is flipped with V's column 0
        // at convergence: U's column 0 is -(0, 1, 0) and V's is -e0. Every
        // other check above holds for either sign.
        SCOPED_TRACE("exact zero leading a column");
        Matrix a(3, 3);
        a.values = {0, 1, 0, 1, 0, 0, 0, 0, 1};
        Matrix u(a), v(3, 3);
        std::vector<float> w(3);
        ASSERT_EQ(singularValueDecompose(u.rows.data(), 3, 3, w.data(), v.rows.data()), 1);
        EXPECT_EQ(w[0], 1.0f);
        EXPECT_EQ(v.at(0, 0), -1.0f);
        EXPECT_EQ(v.at(1, 0), 0.0f);
        EXPECT_EQ(v.at(2, 0), 0.0f);
        EXPECT_EQ(u.at(0, 0), 0.0f);
        EXPECT_EQ(u.at(1, 0), -1.0f);
        EXPECT_EQ(u.at(2, 0), 0.0f);
        EXPECT_LT(reconstructionError(a, u, w, v, 1.0), 1e-6);
    }
    {
        SCOPED_TRACE("zero matrix");
        Matrix u(3, 3), v(3, 3);
        float w[3] = {7.0f, 7.0f, 7.0f};
        ASSERT_EQ(singularValueDecompose(u.rows.data(), 3, 3, w, v.rows.data()), 1);
        for (float x : w) {
            EXPECT_EQ(x, 0.0f);
            // Only a negative value is flipped: an exact zero stays +0 and
            // keeps its column of V as the sweeps left it.
            EXPECT_FALSE(std::signbit(x));
        }
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                EXPECT_EQ(v.at(i, j), i == j ? 1.0f : 0.0f) << i << ", " << j;
            }
        }
        EXPECT_LT(orthonormalityError(u), 1e-6);
        EXPECT_LT(orthonormalityError(v), 1e-6);
    }
}

// More columns than rows is refused with the message and nothing is written.
TEST(Svd, FewerRowsThanColumnsIsRefusedUntouched) {
    Matrix a(2, 3), v(3, 3);
    for (size_t i = 0; i < a.values.size(); ++i) {
        a.values[i] = 0.5f + i;
    }
    std::fill(v.values.begin(), v.values.end(), 9.0f);
    float w[3] = {4.0f, 5.0f, 6.0f};
    const Matrix aBefore(a), vBefore(v);
    const int callsBefore = nothrowArrayNewCalls;
    testing::internal::CaptureStderr();
    const int result = singularValueDecompose(a.rows.data(), 2, 3, w, v.rows.data());
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(err, "#rows must be > #cols \n");
    EXPECT_EQ(nothrowArrayNewCalls, callsBefore);
    EXPECT_EQ(a.values, aBefore.values);
    EXPECT_EQ(v.values, vBefore.values);
    EXPECT_EQ(w[0], 4.0f);
    EXPECT_EQ(w[1], 5.0f);
    EXPECT_EQ(w[2], 6.0f);
}

// The work array of n doubles is the only storage the decomposition needs:
// up to 16 columns (the fits use 3, several times a frame) it takes no heap
// at all; beyond that one allocation, and when it cannot be had the call
// fails silently with the outputs untouched.
TEST(Svd, WorkArrayNeedsNoHeapForSmallMatricesAndItsLossFails) {
    for (int n : {3, 16}) {
        Matrix a(n + 1, n), v(n, n);
        for (size_t i = 0; i < a.values.size(); ++i) {
            a.values[i] = std::sin(1.0f + i);
        }
        std::vector<float> w(n);
        const int callsBefore = nothrowArrayNewCalls;
        EXPECT_EQ(singularValueDecompose(a.rows.data(), n + 1, n, w.data(), v.rows.data()), 1);
        EXPECT_EQ(nothrowArrayNewCalls - callsBefore, 0) << n << " columns";
    }

    Matrix b(18, 17), v(17, 17);
    for (size_t i = 0; i < b.values.size(); ++i) {
        b.values[i] = std::cos(0.5f + i);
    }
    const Matrix bBefore(b);
    std::vector<float> w2(17, -1.0f);
    int callsBefore = nothrowArrayNewCalls;
    refuseNothrowArrayNew = true;
    testing::internal::CaptureStderr();
    const int result = singularValueDecompose(b.rows.data(), 18, 17, w2.data(), v.rows.data());
    const std::string err = testing::internal::GetCapturedStderr();
    refuseNothrowArrayNew = false;
    EXPECT_EQ(result, 0);
    EXPECT_EQ(nothrowArrayNewCalls - callsBefore, 1);
    EXPECT_EQ(err, "");
    EXPECT_EQ(b.values, bBefore.values);
    EXPECT_EQ(w2[0], -1.0f);
    callsBefore = nothrowArrayNewCalls;
    EXPECT_EQ(singularValueDecompose(b.rows.data(), 18, 17, w2.data(), v.rows.data()), 1);
    EXPECT_EQ(nothrowArrayNewCalls - callsBefore, 1);
}

// A NaN or infinity anywhere is refused silently with the outputs
// untouched, rather than ending in a "successful" result full of NaNs.
TEST(Svd, NonFiniteInputIsRefusedUntouched) {
    const float bad[] = {std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity()};
    for (float value : bad) {
        for (int position = 0; position < 12; ++position) {
            Matrix a(4, 3), v(3, 3);
            for (size_t i = 0; i < a.values.size(); ++i) {
                a.values[i] = 0.25f * i - 1.0f;
            }
            a.values[position] = value;
            std::fill(v.values.begin(), v.values.end(), 5.0f);
            float w[3] = {6.0f, 6.0f, 6.0f};
            const std::vector<float> before = a.values;
            testing::internal::CaptureStderr();
            const int result = singularValueDecompose(a.rows.data(), 4, 3, w, v.rows.data());
            const std::string err = testing::internal::GetCapturedStderr();
            SCOPED_TRACE(testing::Message() << value << " at " << position);
            EXPECT_EQ(result, 0);
            EXPECT_EQ(err, "");
            EXPECT_EQ(std::memcmp(a.values.data(), before.data(), before.size() * sizeof(float)),
                      0);
            EXPECT_EQ(v.values, std::vector<float>(9, 5.0f));
            EXPECT_EQ(w[0], 6.0f);
        }
    }
}

// Tiny superdiagonal elements (here about 1e-45 after the reductions) once
// overflowed V's accumulation to infinity; the result must stay finite and
// reproduce the matrix.
TEST(Svd, TinyOffDiagonalStaysFinite) {
    const float values[9] = {0x1p-1f,         -0x1.303c74p-95f, 0x1p+0f,
                             0x0p+0f,         0x1.0873d8p-67f,  -0x1.666666p-1f,
                             0x1.0873d8p-67f, 0x1.0873d8p-67f,  0x1.c65372p-101f};
    Matrix a(3, 3);
    std::copy(values, values + 9, a.values.begin());
    Matrix u(a), v(3, 3);
    std::vector<float> w(3);
    ASSERT_EQ(singularValueDecompose(u.rows.data(), 3, 3, w.data(), v.rows.data()), 1);
    for (int i = 0; i < 9; ++i) {
        EXPECT_TRUE(std::isfinite(u.values[i]) && std::isfinite(v.values[i])) << i;
    }
    const std::vector<double> reference = referenceSingularValues(a);
    EXPECT_LT(orthonormalityError(v), 2e-6);
    EXPECT_LT(orthonormalityError(u), 2e-6);
    EXPECT_LT(reconstructionError(a, u, w, v, reference[0]), 2e-6);
}

TEST(Svd, HypotenuseAvoidsOverflowAndUnderflow) {
    EXPECT_EQ(hypotenuse(3.0, 4.0), 5.0);
    EXPECT_EQ(hypotenuse(-3.0, 4.0), 5.0);
    EXPECT_EQ(hypotenuse(4.0, -3.0), 5.0);
    EXPECT_EQ(hypotenuse(0.0, 0.0), 0.0);
    EXPECT_EQ(hypotenuse(0.0, -2.5), 2.5);
    EXPECT_EQ(hypotenuse(2.5, 0.0), 2.5);
    const double big = hypotenuse(1e300, 1e300);
    EXPECT_TRUE(std::isfinite(big));
    EXPECT_NEAR(big / 1e300, std::sqrt(2.0), 1e-15);
    const double tiny = hypotenuse(1e-300, 1e-300);
    EXPECT_NEAR(tiny / 1e-300, std::sqrt(2.0), 1e-15);

    std::mt19937 rng(7);
    std::uniform_real_distribution<double> value(-1e3, 1e3);
    for (int i = 0; i < 2000; ++i) {
        const double a = value(rng);
        const double b = value(rng);
        const long double exact =
            std::sqrt(static_cast<long double>(a) * a + static_cast<long double>(b) * b);
        EXPECT_NEAR(hypotenuse(a, b), static_cast<double>(exact),
                    4e-16 * static_cast<double>(exact));
    }
}

} // namespace
