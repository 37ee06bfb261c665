// Mat4 operations. Every operation works in place on the 16 floats; nothing
// allocates.
#include "math/Mat4.h"

#include <cmath>
#include <cstring>

Mat4::Mat4() {
    setIdentity();
}

void Mat4::setIdentity() {
    for (int i = 0; i < 16; ++i) {
        m[i] = 0.0f;
    }
    m[0] = m[5] = m[10] = m[15] = 1.0f;
}

void Mat4::set(const Mat4& source) {
    std::memcpy(m, source.m, sizeof(m));
}

void Mat4::invertAffine() {
    // L is the upper-left 3x3 in column-major order: L(r, c) = m[4c + r].
    const float a00 = m[0], a10 = m[1], a20 = m[2];
    const float a01 = m[4], a11 = m[5], a21 = m[6];
    const float a02 = m[8], a12 = m[9], a22 = m[10];
    const float tx = m[12], ty = m[13], tz = m[14];

    // Cofactors of the first row give the determinant by expansion.
    const float c00 = a11 * a22 - a12 * a21;
    const float c01 = a12 * a20 - a10 * a22;
    const float c02 = a10 * a21 - a11 * a20;
    const float det = a00 * c00 + a01 * c01 + a02 * c02;
    const float inv = 1.0f / det;

    // L^-1 = adj(L) / det, adj(L)(r, c) = cofactor(c, r).
    const float i00 = c00 * inv;
    const float i01 = (a02 * a21 - a01 * a22) * inv;
    const float i02 = (a01 * a12 - a02 * a11) * inv;
    const float i10 = c01 * inv;
    const float i11 = (a00 * a22 - a02 * a20) * inv;
    const float i12 = (a02 * a10 - a00 * a12) * inv;
    const float i20 = c02 * inv;
    const float i21 = (a01 * a20 - a00 * a21) * inv;
    const float i22 = (a00 * a11 - a01 * a10) * inv;

    m[0] = i00;
    m[1] = i10;
    m[2] = i20;
    m[4] = i01;
    m[5] = i11;
    m[6] = i21;
    m[8] = i02;
    m[9] = i12;
    m[10] = i22;
    // The inverse maps p to L^-1 (p - t), so its translation is -L^-1 t.
    m[12] = -(i00 * tx + i01 * ty + i02 * tz);
    m[13] = -(i10 * tx + i11 * ty + i12 * tz);
    m[14] = -(i20 * tx + i21 * ty + i22 * tz);
}

void Mat4::preMultiply(const Mat4& other) {
    float old[16];
    std::memcpy(old, m, sizeof(old));
    for (int j = 0; j < 4; ++j) {
        for (int i = 0; i < 4; ++i) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) {
                sum += other.m[4 * k + i] * old[4 * j + k];
            }
            m[4 * j + i] = sum;
        }
    }
}

void Mat4::translate(const Vec3& v) {
    m[12] += v.x;
    m[13] += v.y;
    m[14] += v.z;
}

void Mat4::scaleLinear(float s) {
    static const int linear[9] = {0, 1, 2, 4, 5, 6, 8, 9, 10};
    for (int index : linear) {
        m[index] *= s;
    }
}

void Mat4::scaleAxes(const Vec3& s) {
    m[0] *= s.x;
    m[1] *= s.x;
    m[2] *= s.x;
    m[4] *= s.y;
    m[5] *= s.y;
    m[6] *= s.y;
    m[8] *= s.z;
    m[9] *= s.z;
    m[10] *= s.z;
}

void Mat4::rotateAboutAxis(const Vec3& point, const Vec3& axis, float angle) {
    const Vec3 n = normalized(axis);
    // Auxiliary axis: whichever of X and Y is less aligned with n (a tie takes Y),
    // so that the cross product below is never short.
    const Vec3 unitX(1.0f, 0.0f, 0.0f);
    const Vec3 unitY(0.0f, 1.0f, 0.0f);
    const Vec3 h = std::fabs(dot(unitY, n)) > std::fabs(dot(unitX, n)) ? unitX : unitY;
    const Vec3 u = normalized(cross(h, n));
    const Vec3 w = cross(n, u);

    // World to the frame (u, w, n) centred on point.
    Mat4 toFrame;
    toFrame.m[0] = u.x;
    toFrame.m[4] = u.y;
    toFrame.m[8] = u.z;
    toFrame.m[1] = w.x;
    toFrame.m[5] = w.y;
    toFrame.m[9] = w.z;
    toFrame.m[2] = n.x;
    toFrame.m[6] = n.y;
    toFrame.m[10] = n.z;
    toFrame.m[12] = -dot(u, point);
    toFrame.m[13] = -dot(w, point);
    toFrame.m[14] = -dot(n, point);

    // Rotation about the frame's third axis.
    Mat4 spin;
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    spin.m[0] = c;
    spin.m[1] = s;
    spin.m[4] = -s;
    spin.m[5] = c;

    // Back from the frame to the world: columns u, w, n and translation point.
    Mat4 fromFrame;
    fromFrame.m[0] = u.x;
    fromFrame.m[1] = u.y;
    fromFrame.m[2] = u.z;
    fromFrame.m[4] = w.x;
    fromFrame.m[5] = w.y;
    fromFrame.m[6] = w.z;
    fromFrame.m[8] = n.x;
    fromFrame.m[9] = n.y;
    fromFrame.m[10] = n.z;
    fromFrame.m[12] = point.x;
    fromFrame.m[13] = point.y;
    fromFrame.m[14] = point.z;

    preMultiply(toFrame);
    preMultiply(spin);
    preMultiply(fromFrame);
}

Vec3 Mat4::transformPoint(const Vec3& p) const {
    return Vec3(m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12],
                m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
                m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14]);
}

Vec3 Mat4::transformVector(const Vec3& v) const {
    return Vec3(m[0] * v.x + m[4] * v.y + m[8] * v.z, m[1] * v.x + m[5] * v.y + m[9] * v.z,
                m[2] * v.x + m[6] * v.y + m[10] * v.z);
}
