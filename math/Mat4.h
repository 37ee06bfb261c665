// Mat4: a 4x4 transform of 32-bit floats stored column-major exactly as
// OpenGL loads it (row i, column j at index 4*j + i; translation at 12..14).
// Points are column vectors, transformed as M * (p, 1).
#pragma once

#include "math/Vec3.h"

class Mat4 {
  public:
    // The identity.
    Mat4();

    void setIdentity();
    float* data() { return m; }
    const float* data() const { return m; }
    void set(const Mat4& source);

    // Replaces the matrix by the inverse of the affine transform it holds.
    // The bottom row (elements 3, 7, 11, 15) is left as it is. There is no
    // guard for a singular upper-left 3x3: callers pass rigid transforms.
    void invertAffine();
    // this := m * this (m applied after). m must not be this object.
    void preMultiply(const Mat4& other);
    // Adds v to the translation (elements 12, 13, 14): a translation after.
    void translate(const Vec3& v);
    // Uniform scale of the upper-left 3x3, applied before.
    void scaleLinear(float s);
    // this * diag(s.x, s.y, s.z, 1): a per-axis scale applied before.
    void scaleAxes(const Vec3& s);
    // Rotation by angle radians about the line through point along axis,
    // applied after; right-handed. The axis need not be unit length but must
    // not be zero.
    void rotateAboutAxis(const Vec3& point, const Vec3& axis, float angle);

    // M * (p, 1) without the projective divide; the bottom row is ignored.
    Vec3 transformPoint(const Vec3& p) const;
    // The upper-left 3x3 times v: no translation.
    Vec3 transformVector(const Vec3& v) const;

    float m[16];
};

static_assert(sizeof(Mat4) == 16 * sizeof(float), "Mat4 must be sixteen packed floats");
