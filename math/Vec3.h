// Vec3: three tightly packed 32-bit floats, and the free functions on them.
// Arrays of Vec3 are read by OpenGL and by index arithmetic as flat float
// arrays, three floats per element, so the type holds nothing else.
#pragma once

struct Vec3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    Vec3() = default;
    Vec3(float xValue, float yValue, float zValue) : x(xValue), y(yValue), z(zValue) {}
};

static_assert(sizeof(Vec3) == 3 * sizeof(float), "Vec3 must be three packed floats");

Vec3 operator+(const Vec3& a, const Vec3& b);
Vec3 operator-(const Vec3& a, const Vec3& b);
Vec3 operator*(const Vec3& v, float s);

// (0, 0, 0).
Vec3 zeroVec3();
float dot(const Vec3& a, const Vec3& b);
// a x b, right-handed.
Vec3 cross(const Vec3& a, const Vec3& b);
// v divided by its length. The zero vector has no direction: the result is
// then NaN in every component, as the division gives it; callers that can meet
// a zero vector guard against it themselves.
Vec3 normalized(const Vec3& v);
