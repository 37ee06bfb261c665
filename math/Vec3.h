// Vec3: three tightly packed 32-bit floats, and the free functions on them.
// Arrays of Vec3 are read by OpenGL and by index arithmetic as flat float
// arrays, three floats per element, so the type holds nothing else. The
// operations are inline: the simulation step calls them in its innermost
// loops, where a call per operation costs more than the arithmetic.
#pragma once

#include <cmath>

struct Vec3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    Vec3() = default;
    Vec3(float xValue, float yValue, float zValue) : x(xValue), y(yValue), z(zValue) {}
};

static_assert(sizeof(Vec3) == 3 * sizeof(float), "Vec3 must be three packed floats");

inline Vec3 operator+(const Vec3& a, const Vec3& b) {
    return Vec3(a.x + b.x, a.y + b.y, a.z + b.z);
}

inline Vec3 operator-(const Vec3& a, const Vec3& b) {
    return Vec3(a.x - b.x, a.y - b.y, a.z - b.z);
}

inline Vec3 operator*(const Vec3& v, float s) {
    return Vec3(v.x * s, v.y * s, v.z * s);
}

// (0, 0, 0).
inline Vec3 zeroVec3() {
    return Vec3(0.0f, 0.0f, 0.0f);
}

// Summed left to right: (x*x' + y*y') + z*z'.
inline float dot(const Vec3& a, const Vec3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// a x b, right-handed.
inline Vec3 cross(const Vec3& a, const Vec3& b) {
    return Vec3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

// v divided by its length. The zero vector has no direction: the result is
// then NaN in every component, as the division gives it; callers that can meet
// a zero vector guard against it themselves.
inline Vec3 normalized(const Vec3& v) {
    const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return Vec3(v.x / length, v.y / length, v.z / length);
}
