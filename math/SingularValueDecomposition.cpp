// Golub-Reinsch singular value decomposition. The matrix, the singular values
// and V stay in the caller's float arrays; every intermediate scalar (scales,
// reflector norms, shifts, rotation cosines and sines, the norm estimate) and
// the superdiagonal of the bidiagonal form are kept in double precision.
#include "math/SingularValueDecomposition.h"

#include <cmath>
#include <cstdio>
#include <new>

namespace {

// Sweeps allowed per singular value before the decomposition gives up.
const int kMaxSweeps = 30;
// Columns whose work array fits on the stack.
const int kLocalColumns = 16;

// |magnitude| carrying the sign of sign (a zero sign counts as positive).
double withSignOf(double magnitude, double sign) {
    return sign >= 0.0 ? std::fabs(magnitude) : -std::fabs(magnitude);
}

// An element is negligible when adding it to the norm estimate leaves the
// estimate unchanged, at the precision the matrix is stored in. The
// bidiagonal form comes from float storage, so its elements carry rounding
// of about 1e-7 of the norm; with repeated singular values (a scaled
// rotation, for one) the sweeps shrink such residue only linearly, and a
// double-precision test would not be met within the sweep limit.
bool negligible(double x, double anorm) {
    const float norm = static_cast<float>(anorm);
    return static_cast<float>(std::fabs(x) + anorm) == norm;
}

// Applies the plane rotation (c, s) to columns p and q of the rows x cols
// matrix given by row pointers: p := p*c + q*s, q := q*c - p*s.
void rotateColumns(float** rowsOf, int rows, int p, int q, double c, double s) {
    for (int r = 0; r < rows; ++r) {
        const double x = rowsOf[r][p];
        const double y = rowsOf[r][q];
        rowsOf[r][p] = static_cast<float>(x * c + y * s);
        rowsOf[r][q] = static_cast<float>(y * c - x * s);
    }
}

// Reduces a to upper bidiagonal form by alternating Householder reflections
// from the left (column i) and the right (row i). The diagonal goes to w, the
// superdiagonal to e (e[0] = 0, e[i] couples w[i-1] and w[i]); the reflector
// vectors remain in a for the accumulation. Returns the norm estimate, the
// largest |w[i]| + |e[i]|.
double bidiagonalise(float** a, int m, int n, float* w, double* e) {
    double g = 0.0;
    double scale = 0.0;
    double anorm = 0.0;
    for (int i = 0; i < n; ++i) {
        const int next = i + 1;
        e[i] = scale * g;

        // Left reflection: zero column i below the diagonal. Scaling by the sum
        // of magnitudes keeps the squared norm clear of overflow and underflow.
        g = 0.0;
        scale = 0.0;
        for (int k = i; k < m; ++k) {
            scale += std::fabs(a[k][i]);
        }
        if (scale != 0.0) {
            double sumSquares = 0.0;
            for (int k = i; k < m; ++k) {
                a[k][i] = static_cast<float>(a[k][i] / scale);
                sumSquares += static_cast<double>(a[k][i]) * a[k][i];
            }
            const double f = a[i][i];
            // The sign opposite to f avoids cancellation in f - g.
            g = -withSignOf(std::sqrt(sumSquares), f);
            const double h = f * g - sumSquares;
            a[i][i] = static_cast<float>(f - g);
            for (int j = next; j < n; ++j) {
                double s = 0.0;
                for (int k = i; k < m; ++k) {
                    s += static_cast<double>(a[k][i]) * a[k][j];
                }
                const double factor = s / h;
                for (int k = i; k < m; ++k) {
                    a[k][j] = static_cast<float>(a[k][j] + factor * a[k][i]);
                }
            }
            for (int k = i; k < m; ++k) {
                a[k][i] = static_cast<float>(a[k][i] * scale);
            }
        }
        w[i] = static_cast<float>(scale * g);

        // Right reflection: zero row i right of the superdiagonal.
        g = 0.0;
        scale = 0.0;
        if (i != n - 1) {
            for (int k = next; k < n; ++k) {
                scale += std::fabs(a[i][k]);
            }
            if (scale != 0.0) {
                double sumSquares = 0.0;
                for (int k = next; k < n; ++k) {
                    a[i][k] = static_cast<float>(a[i][k] / scale);
                    sumSquares += static_cast<double>(a[i][k]) * a[i][k];
                }
                const double f = a[i][next];
                g = -withSignOf(std::sqrt(sumSquares), f);
                const double h = f * g - sumSquares;
                a[i][next] = static_cast<float>(f - g);
                // e[next..n-1] holds the reflector over h until the next step
                // overwrites it with the superdiagonal.
                for (int k = next; k < n; ++k) {
                    e[k] = a[i][k] / h;
                }
                for (int j = next; j < m; ++j) {
                    double s = 0.0;
                    for (int k = next; k < n; ++k) {
                        s += static_cast<double>(a[j][k]) * a[i][k];
                    }
                    for (int k = next; k < n; ++k) {
                        a[j][k] = static_cast<float>(a[j][k] + s * e[k]);
                    }
                }
                for (int k = next; k < n; ++k) {
                    a[i][k] = static_cast<float>(a[i][k] * scale);
                }
            }
        }
        const double reach = std::fabs(static_cast<double>(w[i])) + std::fabs(e[i]);
        if (reach > anorm) {
            anorm = reach;
        }
    }
    return anorm;
}

// Builds V from the right reflectors kept in the rows of a, last first, so
// that each product acts on an already finished trailing block. Reflector i
// (u = row i beyond the diagonal) maps column j of that block to
// v_j + u (u . v_j) / (u[next] g), g being the superdiagonal it produced.
// The factor stays in double: as a float vector u / (u[next] g) would be of
// size 1 / |g| and overflow for a superdiagonal below about 1e-38.
void accumulateRight(float** a, int n, float** v, const double* e) {
    double g = 0.0;
    int next = n;
    for (int i = n - 1; i >= 0; --i) {
        if (i < n - 1) {
            if (g != 0.0) {
                for (int j = next; j < n; ++j) {
                    double s = 0.0;
                    for (int k = next; k < n; ++k) {
                        s += static_cast<double>(a[i][k]) * v[k][j];
                    }
                    // Two divisions rather than by a[i][next] * g, which can
                    // underflow.
                    const double factor = (s / a[i][next]) / g;
                    for (int k = next; k < n; ++k) {
                        v[k][j] = static_cast<float>(v[k][j] + factor * a[i][k]);
                    }
                }
            }
            for (int j = next; j < n; ++j) {
                v[i][j] = 0.0f;
                v[j][i] = 0.0f;
            }
        }
        v[i][i] = 1.0f;
        g = e[i];
        next = i;
    }
}

// Turns the left reflectors kept in the columns of a into U, in place, last
// first. A zero diagonal element leaves a zero column before the unit
// diagonal is added.
void accumulateLeft(float** a, int m, int n, const float* w) {
    for (int i = n - 1; i >= 0; --i) {
        const int next = i + 1;
        double g = w[i];
        for (int j = next; j < n; ++j) {
            a[i][j] = 0.0f;
        }
        if (g != 0.0) {
            g = 1.0 / g;
            for (int j = next; j < n; ++j) {
                double s = 0.0;
                for (int k = next; k < m; ++k) {
                    s += static_cast<double>(a[k][i]) * a[k][j];
                }
                const double factor = (s / a[i][i]) * g;
                for (int k = i; k < m; ++k) {
                    a[k][j] = static_cast<float>(a[k][j] + factor * a[k][i]);
                }
            }
            for (int j = i; j < m; ++j) {
                a[j][i] = static_cast<float>(a[j][i] * g);
            }
        } else {
            for (int j = i; j < m; ++j) {
                a[j][i] = 0.0f;
            }
        }
        a[i][i] = static_cast<float>(a[i][i] + 1.0);
    }
}

// Zero diagonal element w[l-1]: rotates the superdiagonal e[l..k] away into
// the rows below, one Givens rotation per element, applied to U's columns.
void cancelSuperdiagonal(float** a, int m, float* w, double* e, int l, int k, double anorm) {
    const int pivot = l - 1;
    double c = 0.0;
    double s = 1.0;
    for (int i = l; i <= k; ++i) {
        const double f = s * e[i];
        e[i] = c * e[i];
        if (negligible(f, anorm)) {
            break;
        }
        const double g = w[i];
        const double h = hypotenuse(f, g);
        w[i] = static_cast<float>(h);
        c = g / h;
        s = -f / h;
        rotateColumns(a, m, pivot, i, c, s);
    }
}

// One implicit-shift QR sweep over the unreduced block l..k of the
// bidiagonal form, chasing the bulge down with Givens rotations applied to V
// (right) and U (left). The shift is the eigenvalue of the trailing 2x2 of
// B^T B nearer to w[k]^2.
void qrSweep(float** a, int m, int n, float* w, double* e, float** v, int l, int k) {
    double x = w[l];
    double y = w[k - 1];
    double z = w[k];
    double g = e[k - 1];
    double h = e[k];
    double f = ((y - z) * (y + z) + (g - h) * (g + h)) / (2.0 * h * y);
    g = hypotenuse(f, 1.0);
    f = ((x - z) * (x + z) + h * ((y / (f + withSignOf(g, f))) - h)) / x;

    double c = 1.0;
    double s = 1.0;
    for (int j = l; j < k; ++j) {
        const int i = j + 1;
        g = e[i];
        y = w[i];
        h = s * g;
        g = c * g;

        // Right rotation: removes the bulge h beside the superdiagonal.
        z = hypotenuse(f, h);
        e[j] = z;
        c = f / z;
        s = h / z;
        f = x * c + g * s;
        g = g * c - x * s;
        h = y * s;
        y *= c;
        rotateColumns(v, n, j, i, c, s);

        // Left rotation: removes the bulge h below the diagonal. A zero
        // length keeps the right rotation's cosine and sine.
        z = hypotenuse(f, h);
        w[j] = static_cast<float>(z);
        if (z != 0.0) {
            c = f / z;
            s = h / z;
        }
        f = c * g + s * y;
        x = c * y - s * g;
        rotateColumns(a, m, j, i, c, s);
    }
    e[l] = 0.0;
    e[k] = f;
    w[k] = static_cast<float>(x);
}

} // namespace

double hypotenuse(double a, double b) {
    const double absA = std::fabs(a);
    const double absB = std::fabs(b);
    if (absA > absB) {
        const double ratio = absB / absA;
        return absA * std::sqrt(1.0 + ratio * ratio);
    }
    if (absB > 0.0) {
        const double ratio = absA / absB;
        return absB * std::sqrt(1.0 + ratio * ratio);
    }
    return 0.0;
}

int singularValueDecompose(float** a, int m, int n, float* w, float** v) {
    if (m < n) {
        std::fprintf(stderr, "#rows must be > #cols \n");
        return 0;
    }
    if (n < 0) {
        return 0;
    }
    // A NaN or infinite element would spread through every rotation (the
    // hypotenuse of two NaNs is 0) and could end in a "converged" result full
    // of NaNs; such a matrix has no decomposition to report.
    for (int i = 0; i < m; ++i) {
        for (int j = 0; j < n; ++j) {
            if (!std::isfinite(a[i][j])) {
                return 0;
            }
        }
    }
    // The superdiagonal: on the stack for the small matrices of the rigid
    // fits (called several times per frame, which must not allocate), on the
    // heap beyond that.
    double local[kLocalColumns];
    double* heap = nullptr;
    if (n > kLocalColumns) {
        heap = new (std::nothrow) double[n];
        if (heap == nullptr) {
            return 0;
        }
    }
    double* e = heap != nullptr ? heap : local;

    const double anorm = bidiagonalise(a, m, n, w, e);
    accumulateRight(a, n, v, e);
    accumulateLeft(a, m, n, w);

    for (int k = n - 1; k >= 0; --k) {
        for (int sweep = 1;; ++sweep) {
            // Find the start l of the unreduced block ending at k. e[0] is
            // always zero, so the search ends at l = 0 at the latest.
            int l = k;
            bool cancel = false;
            for (; l > 0; --l) {
                if (negligible(e[l], anorm)) {
                    break;
                }
                if (negligible(w[l - 1], anorm)) {
                    cancel = true;
                    break;
                }
            }
            if (cancel) {
                cancelSuperdiagonal(a, m, w, e, l, k, anorm);
            }
            if (l == k) {
                // w[k] has converged; singular values are kept non-negative by
                // flipping the matching column of V.
                if (w[k] < 0.0f) {
                    w[k] = -w[k];
                    for (int j = 0; j < n; ++j) {
                        v[j][k] = -v[j][k];
                    }
                }
                break;
            }
            if (sweep == kMaxSweeps) {
                delete[] heap;
                std::fprintf(stderr, "No convergence after 30,000! iterations \n");
                return 0;
            }
            qrSweep(a, m, n, w, e, v, l, k);
        }
    }

    delete[] heap;
    return 1;
}
