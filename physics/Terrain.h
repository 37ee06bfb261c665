// Terrain: the heightfield the truck drives on, a grid of samples with the
// planes of its triangles precomputed for constant-time height queries. The
// default world is a fixed procedural grid of 65 x 65 samples 2 m apart over
// [-64, 64] m in x and z; a loaded map hands in its own grid of any size up
// to 1025 x 1025 samples. A terrain either owns its tables or shares those of
// another terrain that outlives it (every world of a loaded map shares the
// one built at load, so a reset neither re-reads nor rebuilds it).
#pragma once

#include "math/Vec3.h"

#include <memory>

class Terrain {
  public:
    // The default world's grid.
    static constexpr int sampleCount = 65;  // samples per side
    static constexpr int cellCount = 64;    // cells per side
    static constexpr int planeCount = 8192; // two triangles per cell
    // The largest grid a map may give, samples per side.
    static constexpr int largestSampleCount = 1025;
    // Height returned for points outside the grid: no ground there.
    static constexpr float outside = 1000000.0f;

    Terrain() = default;
    Terrain(const Terrain&) = delete;
    Terrain& operator=(const Terrain&) = delete;

    // Fills the default world's heights, planes and origin. Every call builds
    // the same terrain.
    void build();
    // Builds from a grid of samplesX x samplesZ heights (m), stored row-major
    // as heights[samplesZ * i + j] for i along x and j along z, spacing m
    // apart, sample (0, 0) at (originX, originZ). Both counts 2..1025 and a
    // positive finite spacing; false (and an empty terrain) otherwise or when
    // the tables cannot be allocated.
    bool build(const float* sampleHeights, int samplesX, int samplesZ, float sampleSpacing,
               float originX, float originZ);
    // Uses the tables of `other`, which must outlive this terrain, without
    // copying them.
    void share(const Terrain& other);

    // Signed height of p above the plane of the triangle under its x and z
    // (positive above). Writes that triangle's upward unit normal to *normal
    // and, when the height is at most 0.05 m, the foot point p - d * normal to
    // *foot; either pointer may be null. Outside the grid (or for NaN x/z) it
    // returns 1 000 000 and writes nothing.
    float query(const Vec3& p, Vec3* normal, Vec3* foot) const;

    // World position of sample (i, j): origin + spacing (i, 0, j) with the
    // sample's height. Indices outside the grid take the height of the
    // nearest edge sample.
    Vec3 gridPoint(int i, int j) const;

    // Height of sample (i, j), i along x and j along z.
    float height(int i, int j) const { return heights[samplesZ * i + j]; }

    // Extent of the grid, m.
    float minX() const { return origin.x; }
    float minZ() const { return origin.z; }
    float maxX() const { return origin.x + spacing * static_cast<float>(cellsX); }
    float maxZ() const { return origin.z + spacing * static_cast<float>(cellsZ); }
    // The lowest sample height, m.
    float lowestHeight() const { return lowest; }
    // Bytes of the height and plane tables.
    size_t tableBytes() const;

    const float* heights = nullptr; // m, sample (i, j) at samplesZ i + j
    const float* planes = nullptr;  // per triangle: normal x, y, z, offset (m)
    Vec3 origin;                    // m, x and z of sample (0, 0); y unused
    int samplesX = 0;               // samples along x
    int samplesZ = 0;               // samples along z
    int cellsX = 0;                 // samplesX - 1
    int cellsZ = 0;                 // samplesZ - 1
    float spacing = 2.0f;           // m between samples
    float inverseSpacing = 0.5f;    // 1 / spacing, 1/m
    float cellsXLimit = 0.0f;       // cellsX as a float, for the query's bound
    float cellsZLimit = 0.0f;       // cellsZ as a float
    float lowest = 0.0f;            // m, the lowest sample

  private:
    bool allocate(int countX, int countZ);
    void computePlanes();

    std::unique_ptr<float[]> ownedHeights;
    std::unique_ptr<float[]> ownedPlanes;
};

// Inline: the step asks it twice per particle and sub-step.
inline float Terrain::query(const Vec3& p, Vec3* normal, Vec3* foot) const {
    const float u = (p.x - origin.x) * inverseSpacing;
    const float w = (p.z - origin.z) * inverseSpacing;
    // Written so that NaN fails too, and checked before the conversion to int
    // so that huge values never reach it.
    if (!(u >= 0.0f) || !(w >= 0.0f) || !(u < cellsXLimit) || !(w < cellsZLimit)) {
        return outside;
    }
    const int i = static_cast<int>(u);
    const int j = static_cast<int>(w);
    const float fu = u - static_cast<float>(i);
    const float fw = w - static_cast<float>(j);
    // The diagonal from P00 to P11 splits the cell; points on it take the
    // second triangle.
    const int index = 2 * (cellsZ * i + j) + (fw >= fu ? 1 : 0);
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
