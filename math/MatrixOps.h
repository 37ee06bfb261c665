// Routines on general row-major float matrices (element (i, j) of an
// m-by-n matrix at index i*n + j), used by the rigid-frame fit.
#pragma once

// dst (cols-by-rows) = transpose of src (rows-by-cols). Does nothing when
// rows or cols is not positive. dst and src must be separate arrays.
void matTranspose(float* dst, const float* src, int rows, int cols);

// dst (m-by-p) = a (m-by-n) * b (n-by-p). dst must not overlap a or b; n <= 0
// yields zeros.
void matMultiply(float* dst, const float* a, const float* b, int m, int n, int p);

// Determinant of a 3x3 matrix; 0 for any other dimensions (without reading a).
float matDeterminant3(const float* a, int rows, int cols);
