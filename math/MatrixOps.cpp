// Row-major matrix transpose, product and 3x3 determinant.
#include "math/MatrixOps.h"

void matTranspose(float* dst, const float* src, int rows, int cols) {
    if (rows <= 0 || cols <= 0) {
        return;
    }
    for (int i = 0; i < rows; ++i) {
        for (int j = 0; j < cols; ++j) {
            dst[j * rows + i] = src[i * cols + j];
        }
    }
}

void matMultiply(float* dst, const float* a, const float* b, int m, int n, int p) {
    for (int i = 0; i < m; ++i) {
        for (int j = 0; j < p; ++j) {
            dst[i * p + j] = 0.0f;
            for (int k = 0; k < n; ++k) {
                dst[i * p + j] += a[i * n + k] * b[k * p + j];
            }
        }
    }
}

float matDeterminant3(const float* a, int rows, int cols) {
    if (rows != 3 || cols != 3) {
        return 0.0f;
    }
    return a[0] * (a[4] * a[8] - a[7] * a[5]) - a[1] * (a[3] * a[8] - a[5] * a[6]) +
           a[2] * (a[3] * a[7] - a[4] * a[6]);
}
