// Rigid-frame fit about the first point pair: the rotation comes from the
// singular value decomposition of the 3x3 cross-covariance of the point
// differences (orthogonal Procrustes), corrected so it is never a reflection.
#include "scene/RigidFit.h"

#include "math/MatrixOps.h"
#include "math/SingularValueDecomposition.h"

void fitRigidTransform(Mat4& out, const Vec3* targets, const Vec3* sources, int count) {
    out.setIdentity();
    if (count < 1 || count > kMaxFitPairs) {
        return;
    }
    const Vec3 s0 = sources[0];
    const Vec3 t0 = targets[0];

    // X and Y are 3-by-count, row-major: column k holds the difference of
    // pair k to the anchor (x differences in row 0, y in row 1, z in row 2).
    float x[3 * kMaxFitPairs];
    float y[3 * kMaxFitPairs];
    float xt[3 * kMaxFitPairs];
    for (int row = 0; row < 3; ++row) {
        x[row * count] = 0.0f;
        y[row * count] = 0.0f;
    }
    for (int k = 1; k < count; ++k) {
        const Vec3 ds = sources[k] - s0;
        const Vec3 dt = targets[k] - t0;
        x[k] = ds.x;
        x[count + k] = ds.y;
        x[2 * count + k] = ds.z;
        y[k] = dt.x;
        y[count + k] = dt.y;
        y[2 * count + k] = dt.z;
    }

    // H = Y * X^T, the sum of (t_k - t0)(s_k - s0)^T; the decomposition turns
    // it into U in place.
    float h[9];
    matTranspose(xt, x, 3, count);
    matMultiply(h, y, xt, 3, count, 3);
    // The decomposition's result is not examined; w and V start defined so
    // that a refused call (non-finite input, no memory) leaves no
    // uninitialised values behind.
    float w[3] = {0.0f, 0.0f, 0.0f};
    float v[9] = {1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f};
    float* hRows[3] = {h, h + 3, h + 6};
    float* vRows[3] = {v, v + 3, v + 6};
    singularValueDecompose(hRows, 3, 3, w, vRows);

    // d = det(U * V^T) is -1 when the plain product would be a reflection.
    float vt[9];
    float uvt[9];
    matTranspose(vt, v, 3, 3);
    matMultiply(uvt, h, vt, 3, 3, 3);
    const float d = matDeterminant3(uvt, 3, 3);

    // The sign correction goes on the axis of least variance, the column of U
    // with the smallest singular value: flipping it costs the least fit. With
    // three pairs H has rank 2 and that axis is the one whose sign the data
    // leaves free, so any other choice would break an exact fit. Ties go to
    // the later column.
    int weakest = 0;
    for (int j = 1; j < 3; ++j) {
        if (w[j] <= w[weakest]) {
            weakest = j;
        }
    }
    float diag[9] = {1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f};
    diag[4 * weakest] = d;
    float ud[9];
    float r[9];
    matMultiply(ud, h, diag, 3, 3, 3);
    matMultiply(r, ud, vt, 3, 3, 3);

    // out = T(t0) * R * T(-s0): p -> R (p - s0) + t0.
    Mat4 rotation;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            rotation.m[4 * j + i] = r[3 * i + j];
        }
    }
    out.translate(zeroVec3() - s0);
    out.preMultiply(rotation);
    out.translate(t0);
}
