// Terrain: height formula with its overrides, triangle planes and queries.
#include "physics/Terrain.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

// Height of sample (i, j) before the overrides: a wavy base whose amplitude
// grows away from one corner, plus three round hills.
float baseHeight(int i, int j) {
    const int n = 63 - i;
    const float u = static_cast<float>(i - 32) * 0.03125f;
    const float v = static_cast<float>(j - 32) * 0.03125f;
    // Integer division: the amplitude grows in whole steps.
    const int q = 3 * (j * j + n * n) / 4096 + 1;
    const float base = 0.5f * static_cast<float>(q) *
                       (0.5f * std::cos(1.7f * static_cast<float>(j)) +
                        0.3f * std::cos(1.6f * static_cast<float>(i)));
    const float hills =
        1.0f / (10.0f * ((v + 0.4f) * (v + 0.4f) + (u - 0.6f) * (u - 0.6f)) + 0.2f) +
        1.0f / (10.0f * ((v - 0.6f) * (v - 0.6f) + (u - 0.5f) * (u - 0.5f)) + 0.2f) +
        1.0f / (10.0f * ((v - 0.3f) * (v - 0.3f) + (u - 0.7f) * (u - 0.7f)) + 0.2f);
    return base + hills;
}

float sampleHeight(int i, int j) {
    const int n = 63 - i;
    float height = baseHeight(i, j);
    // A flat strip across the whole map for driving straight.
    if (n >= 28 && n <= 34) {
        height = 0.0f;
    }
    // Two saw-tooth ramps rising 0.5 m per sample; % keeps the dividend's sign,
    // so the first five columns dip below zero.
    if (n >= 38 && n <= 43 && j <= 44) {
        height = static_cast<float>((j - 5) % 20) * 0.5f;
    }
    // A wall along the far z edge, highest in the middle row; evaluated in
    // double precision and stored as float.
    if (j >= 62) {
        height = static_cast<float>(5.0f * std::cos((i - 32) * 0.0490625));
    }
    return height;
}

} // namespace

bool Terrain::allocate(int countX, int countZ) {
    ownedHeights.reset();
    ownedPlanes.reset();
    heights = nullptr;
    planes = nullptr;
    samplesX = samplesZ = cellsX = cellsZ = 0;
    cellsXLimit = cellsZLimit = 0.0f;
    if (countX < 2 || countZ < 2 || countX > largestSampleCount || countZ > largestSampleCount) {
        return false;
    }
    const size_t samples = static_cast<size_t>(countX) * static_cast<size_t>(countZ);
    const size_t triangles = 2 * static_cast<size_t>(countX - 1) * static_cast<size_t>(countZ - 1);
    ownedHeights.reset(new (std::nothrow) float[samples]);
    ownedPlanes.reset(new (std::nothrow) float[4 * triangles]);
    if (!ownedHeights || !ownedPlanes) {
        ownedHeights.reset();
        ownedPlanes.reset();
        return false;
    }
    heights = ownedHeights.get();
    planes = ownedPlanes.get();
    samplesX = countX;
    samplesZ = countZ;
    cellsX = countX - 1;
    cellsZ = countZ - 1;
    cellsXLimit = static_cast<float>(cellsX);
    cellsZLimit = static_cast<float>(cellsZ);
    return true;
}

void Terrain::build() {
    allocate(sampleCount, sampleCount);
    spacing = 2.0f;
    inverseSpacing = 0.5f;
    float* table = ownedHeights.get();
    for (int i = 0; i < sampleCount; ++i) {
        for (int j = 0; j < sampleCount; ++j) {
            table[sampleCount * i + j] = sampleHeight(i, j);
        }
    }
    origin = Vec3(-64.0f, 0.0f, -64.0f);
    computePlanes();
}

bool Terrain::build(const float* sampleHeights, int countX, int countZ, float sampleSpacing,
                    float originX, float originZ) {
    if (!(sampleSpacing > 0.0f) || !std::isfinite(sampleSpacing) || !std::isfinite(originX) ||
        !std::isfinite(originZ) || !allocate(countX, countZ)) {
        allocate(0, 0);
        return false;
    }
    spacing = sampleSpacing;
    inverseSpacing = 1.0f / sampleSpacing;
    const size_t samples = static_cast<size_t>(countX) * static_cast<size_t>(countZ);
    std::copy(sampleHeights, sampleHeights + samples, ownedHeights.get());
    origin = Vec3(originX, 0.0f, originZ);
    computePlanes();
    return true;
}

void Terrain::share(const Terrain& other) {
    ownedHeights.reset();
    ownedPlanes.reset();
    heights = other.heights;
    planes = other.planes;
    origin = other.origin;
    samplesX = other.samplesX;
    samplesZ = other.samplesZ;
    cellsX = other.cellsX;
    cellsZ = other.cellsZ;
    spacing = other.spacing;
    inverseSpacing = other.inverseSpacing;
    cellsXLimit = other.cellsXLimit;
    cellsZLimit = other.cellsZLimit;
    lowest = other.lowest;
}

size_t Terrain::tableBytes() const {
    return sizeof(float) * (static_cast<size_t>(samplesX) * static_cast<size_t>(samplesZ) +
                            8 * static_cast<size_t>(cellsX) * static_cast<size_t>(cellsZ));
}

void Terrain::computePlanes() {
    const size_t samples = static_cast<size_t>(samplesX) * static_cast<size_t>(samplesZ);
    lowest = heights[0];
    for (size_t k = 0; k < samples; ++k) {
        lowest = heights[k] < lowest ? heights[k] : lowest;
    }
    float* table = ownedPlanes.get();
    for (int i = 0; i < cellsX; ++i) {
        for (int j = 0; j < cellsZ; ++j) {
            const float x0 = origin.x + spacing * static_cast<float>(i);
            const float x1 = origin.x + spacing * static_cast<float>(i + 1);
            const float z0 = origin.z + spacing * static_cast<float>(j);
            const float z1 = origin.z + spacing * static_cast<float>(j + 1);
            const Vec3 p00(x0, height(i, j), z0);
            const Vec3 p10(x1, height(i + 1, j), z0);
            const Vec3 p01(x0, height(i, j + 1), z1);
            const Vec3 p11(x1, height(i + 1, j + 1), z1);
            const Vec3 e1 = p10 - p00;
            const Vec3 e2 = p11 - p00;
            const Vec3 e3 = p01 - p00;
            // Both cross products point up because the grid spacing is positive.
            const Vec3 first = normalized(cross(e2, e1));  // triangle P00, P10, P11
            const Vec3 second = normalized(cross(e3, e2)); // triangle P00, P11, P01
            float* plane = &table[4 * 2 * (static_cast<size_t>(cellsZ) * i + j)];
            plane[0] = first.x;
            plane[1] = first.y;
            plane[2] = first.z;
            plane[3] = dot(first, p00);
            plane[4] = second.x;
            plane[5] = second.y;
            plane[6] = second.z;
            plane[7] = dot(second, p00);
        }
    }
}

Vec3 Terrain::gridPoint(int i, int j) const {
    const int ci = i < 0 ? 0 : (i > cellsX ? cellsX : i);
    const int cj = j < 0 ? 0 : (j > cellsZ ? cellsZ : j);
    return Vec3(origin.x + spacing * static_cast<float>(i), height(ci, cj),
                origin.z + spacing * static_cast<float>(j));
}
