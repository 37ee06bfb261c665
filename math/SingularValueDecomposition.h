// Singular value decomposition of a small single-precision m-by-n matrix
// (m >= n), A = U * diag(w) * V^T, by Householder bidiagonalisation and
// implicit-shift QR sweeps; and the overflow-safe hypotenuse it uses.
#pragma once

// Decomposes the m-by-n matrix held in the m row pointers a (each at n
// floats). On success a holds U (m-by-n, orthonormal columns), w the n
// non-negative singular values (unsorted) and the n row pointers v hold V
// itself (n-by-n orthogonal, not transposed): column j of U and of V belong
// to w[j]. Returns 1 on success, 0 on failure: m < n (a message on the
// standard error stream, outputs untouched); negative sizes, a NaN or
// infinite element, or no memory for the work array of n doubles (silent,
// outputs untouched); or a singular value that did not converge within 30
// sweeps (a message; the outputs then hold a partial state). The work array
// lives on the stack up to n = 16, so the rigid fits never allocate.
int singularValueDecompose(float** a, int m, int n, float* w, float** v);

// sqrt(a^2 + b^2) without overflow or underflow in the squares.
double hypotenuse(double a, double b);
