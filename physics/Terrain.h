// Terrain: the fixed procedural heightfield the truck drives on, 65 x 65
// samples 2 m apart over [-64, 64] m in x and z, with the planes of its 8192
// triangles precomputed for constant-time height queries.
#pragma once

#include "math/Vec3.h"

class Terrain {
  public:
    static constexpr int sampleCount = 65;  // samples per side
    static constexpr int cellCount = 64;    // cells per side
    static constexpr int planeCount = 8192; // two triangles per cell
    static constexpr float spacing = 2.0f;  // m between samples
    // Height returned for points outside the grid: no ground there.
    static constexpr float outside = 1000000.0f;

    // Fills heights, planes and origin. Every call builds the same terrain.
    void build();

    // Signed height of p above the plane of the triangle under its x and z
    // (positive above). Writes that triangle's upward unit normal to *normal
    // and, when the height is at most 0.05 m, the foot point p - d * normal to
    // *foot; either pointer may be null. Outside the grid (or for NaN x/z) it
    // returns 1 000 000 and writes nothing.
    float query(const Vec3& p, Vec3* normal, Vec3* foot) const;

    // World position of sample (i, j): (-64 + 2i, height, -64 + 2j). Indices
    // outside 0..64 take the height of the nearest edge sample.
    Vec3 gridPoint(int i, int j) const;

    // Height of sample (i, j), i along x and j along z, both 0..64.
    float height(int i, int j) const { return heights[sampleCount * i + j]; }

    float heights[sampleCount * sampleCount]; // m, sample (i, j) at 65 i + j
    float planes[planeCount * 4];             // per triangle: normal x, y, z, offset (m)
    Vec3 origin;                              // m, x and z of sample (0, 0); y unused
};

// Inline: the step asks it twice per particle and sub-step.
inline float Terrain::query(const Vec3& p, Vec3* normal, Vec3* foot) const {
    const float u = (p.x - origin.x) * 0.5f;
    const float w = (p.z - origin.z) * 0.5f;
    // Written so that NaN fails too, and checked before the conversion to int
    // so that huge values never reach it.
    if (!(u >= 0.0f) || !(w >= 0.0f) || !(u < 64.0f) || !(w < 64.0f)) {
        return outside;
    }
    const int i = static_cast<int>(u);
    const int j = static_cast<int>(w);
    const float fu = u - static_cast<float>(i);
    const float fw = w - static_cast<float>(j);
    // The diagonal from P00 to P11 splits the cell; points on it take the
    // second triangle.
    const int index = 2 * (cellCount * i + j) + (fw >= fu ? 1 : 0);
    const float* plane = &planes[4 * index];
    const Vec3 n(plane[0], plane[1], plane[2]);
    if (normal) {
        *normal = n;
    }
    const float d = dot(n, p) - plane[3];
    if (d <= 0.05f && foot) {
        *foot = p - n * d;
    }
    return d;
}
