// TextureGenerator: every noise lookup uses a lattice period that divides the
// image, so each texture wraps without a seam.
#include "tools/assets/TextureGenerator.h"

#include "tools/assets/ValueNoise.h"

#include <cmath>

namespace {

int toByte(float v) {
    return static_cast<int>(std::lround(v < 0.0f ? 0.0f : (v > 255.0f ? 255.0f : v)));
}

// Distance from (x, y) to the nearest of the random points scattered one per
// cell of a periodic grid (cells per side), in cell units; also returns that
// point's random value.
float nearestPoint(const ValueNoise& noise, float x, float y, int cells, float& value) {
    int cx = static_cast<int>(std::floor(x));
    int cy = static_cast<int>(std::floor(y));
    float best = 10.0f;
    value = 0.0f;
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            int gx = cx + dx;
            int gy = cy + dy;
            int wx = ((gx % cells) + cells) % cells;
            int wy = ((gy % cells) + cells) % cells;
            float px = gx + noise.lattice(wx, wy * 3 + 1);
            float py = gy + noise.lattice(wx * 5 + 2, wy);
            float d = std::hypot(x - px, y - py);
            if (d < best) {
                best = d;
                value = noise.lattice(wx + 7, wy + 11);
            }
        }
    }
    return best;
}

} // namespace

BmpWriter TextureGenerator::ground() {
    const int n = groundSize;
    BmpWriter image(n, n);
    ValueNoise base(11);
    ValueNoise detail(12);
    ValueNoise stones(13);
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            float u = static_cast<float>(x) / n;
            float v = static_cast<float>(y) / n;
            // Broad patches of lighter and darker sand.
            float patches = base.fractal(u * 4.0f, v * 4.0f, 4, 3, 0.5f);
            // Wind ripples: a wavy stripe pattern across the tile.
            float ripple =
                0.5f + 0.5f * std::sin(2.0f * 3.14159265f *
                                       (6.0f * v + 0.6f * detail.sample(u * 4, v * 4, 4)));
            float grain = detail.fractal(u * 32.0f, v * 32.0f, 32, 2, 0.5f);
            float shade = 0.58f + 0.55f * patches + 0.12f * ripple + 0.30f * (grain - 0.5f);
            float r = 196.0f * shade;
            float g = 165.0f * shade;
            float b = 118.0f * shade;
            // Pebbles: scattered dark and pale stones, lit from one side,
            // each with a soft shadow below it.
            float value;
            float d = nearestPoint(stones, u * 16.0f, v * 16.0f, 16, value);
            float radius = 0.10f + 0.16f * std::fmod(value * 7.0f, 1.0f);
            if (value > 0.55f && d < radius) {
                float light = value > 0.8f ? 1.2f : 0.55f;
                float tone = light * (0.8f + 0.35f * (1.0f - d / radius));
                r = 150.0f * tone;
                g = 136.0f * tone;
                b = 118.0f * tone;
            } else if (value > 0.55f && d < radius + 0.05f) {
                r *= 0.75f;
                g *= 0.75f;
                b *= 0.75f;
            }
            image.setPixel(x, y, toByte(r), toByte(g), toByte(b));
        }
    }
    return image;
}

BmpWriter TextureGenerator::paint() {
    const int n = paintSize;
    BmpWriter image(n, n);
    ValueNoise mottle(21);
    ValueNoise grain(22);
    ValueNoise streaks(23);
    const int panel = n; // one panel per tile each way
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            float u = static_cast<float>(x) / n;
            float v = static_cast<float>(y) / n;
            float level = 200.0f + 18.0f * (mottle.fractal(u * 4, v * 4, 4, 3, 0.5f) - 0.5f) +
                          10.0f * (grain.sample(u * 128, v * 128, 128) - 0.5f);
            // Faint streaks along the panels, as left by weather.
            level += 6.0f * (streaks.sample(u * 64.0f, v * 4.0f, 64) - 0.5f);
            // Seams between panels: a dark groove with a light edge
            // (in the middle of the tile, so that its edges wrap smoothly).
            int sx = (x + panel / 2) % panel;
            int sy = (y + panel / 2) % panel;
            if (sx == 0 || sy == 0) {
                level = 165.0f;
            } else if (sx == 1 || sy == 1) {
                level = 222.0f;
            }
            // Rivets along the seams, every 16 pixels.
            for (int axis = 0; axis < 2; ++axis) {
                int along = axis == 0 ? x : y;
                int across = axis == 0 ? sy : sx;
                int offset = (along % 16) - 8;
                int d2 = offset * offset + (across - 5) * (across - 5);
                if (d2 <= 4) {
                    level = d2 <= 1 ? 245.0f : 150.0f;
                }
            }
            image.setPixel(x, y, toByte(level), toByte(level), toByte(level * 1.02f));
        }
    }
    return image;
}

BmpWriter TextureGenerator::leather() {
    const int n = leatherSize;
    BmpWriter image(n, n);
    ValueNoise cells(31);
    ValueNoise tone(32);
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            float u = static_cast<float>(x) / n;
            float v = static_cast<float>(y) / n;
            // Grain: small pebbled cells with darker creases between them.
            float value;
            float d = nearestPoint(cells, u * 24.0f, v * 24.0f, 24, value);
            float crease = d > 0.45f ? 0.78f : 1.0f - 0.25f * d;
            float shade = crease * (0.88f + 0.24f * tone.fractal(u * 4, v * 4, 4, 3, 0.5f)) *
                          (0.96f + 0.08f * value);
            float r = 150.0f * shade;
            float g = 112.0f * shade;
            float b = 82.0f * shade;
            // A seam across the tile with pale stitches either side.
            int seam = y % (n / 2);
            if (seam == 0 || seam == 1) {
                r *= 0.55f;
                g *= 0.55f;
                b *= 0.55f;
            } else if ((seam == 5 || seam == n / 2 - 4) && (x % 8) < 5) {
                r = 214.0f;
                g = 200.0f;
                b = 170.0f;
            }
            image.setPixel(x, y, toByte(r), toByte(g), toByte(b));
        }
    }
    return image;
}
