// ValueNoise: lattice hash and interpolation.
#include "tools/assets/ValueNoise.h"

#include <cmath>

namespace {

uint32_t mix(uint32_t h) {
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

int wrap(int v, int period) {
    if (period < 1) {
        return v;
    }
    int r = v % period;
    return r < 0 ? r + period : r;
}

float smooth(float t) {
    return t * t * (3.0f - 2.0f * t);
}

} // namespace

float ValueNoise::lattice(int x, int y) const {
    uint32_t h = mix(seedValue ^ mix(static_cast<uint32_t>(x) * 0x9E3779B1u ^
                                     mix(static_cast<uint32_t>(y) + 0x632BE5ABu)));
    return static_cast<float>(h >> 8) * (1.0f / 16777216.0f);
}

float ValueNoise::sample(float x, float y, int period) const {
    float fx = std::floor(x);
    float fy = std::floor(y);
    int ix = static_cast<int>(fx);
    int iy = static_cast<int>(fy);
    float tx = smooth(x - fx);
    float ty = smooth(y - fy);
    int x0 = wrap(ix, period);
    int x1 = wrap(ix + 1, period);
    int y0 = wrap(iy, period);
    int y1 = wrap(iy + 1, period);
    float a = lattice(x0, y0) + (lattice(x1, y0) - lattice(x0, y0)) * tx;
    float b = lattice(x0, y1) + (lattice(x1, y1) - lattice(x0, y1)) * tx;
    return a + (b - a) * ty;
}

float ValueNoise::fractal(float x, float y, int period, int octaves, float gain) const {
    float sum = 0.0f;
    float amplitude = 1.0f;
    float total = 0.0f;
    float scale = 1.0f;
    int p = period;
    for (int o = 0; o < octaves; ++o) {
        sum += amplitude * sample(x * scale, y * scale, p);
        total += amplitude;
        amplitude *= gain;
        scale *= 2.0f;
        p = p > 0 ? p * 2 : p;
    }
    return sum / total;
}
