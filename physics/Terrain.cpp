// Terrain: height formula with its overrides, triangle planes and queries.
#include "physics/Terrain.h"

#include <cmath>

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

void Terrain::build() {
    for (int i = 0; i < sampleCount; ++i) {
        for (int j = 0; j < sampleCount; ++j) {
            heights[sampleCount * i + j] = sampleHeight(i, j);
        }
    }
    origin = Vec3(-64.0f, 0.0f, -64.0f);
    for (int i = 0; i < cellCount; ++i) {
        for (int j = 0; j < cellCount; ++j) {
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
            float* plane = &planes[4 * 2 * (cellCount * i + j)];
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
    const int ci = i < 0 ? 0 : (i > cellCount ? cellCount : i);
    const int cj = j < 0 ? 0 : (j > cellCount ? cellCount : j);
    return Vec3(origin.x + spacing * static_cast<float>(i), height(ci, cj),
                origin.z + spacing * static_cast<float>(j));
}
