// SkyBox: the corner table of the drawn box and the sky function.
#include "tools/assets/SkyBox.h"

#include "scene/SkyBox.h"

#include "tools/assets/ValueNoise.h"

#include <algorithm>
#include <cmath>

namespace {

const float pi = 3.14159265f;

// The texture coordinates of a face's corners c0 and c2 as the box is drawn:
// c0 = (0.001, 0.001), c1 = (0.999, 0.001), c2 = (0.999, 0.999), c3 = (0.001, 0.999).
const float coordLow = 0.001f;
const float coordHigh = 0.999f;

float clamp01(float v) {
    return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
}
float mixf(float a, float b, float t) {
    return a + (b - a) * t;
}

// The sun sits where the scene's light comes from.
Vec3 sunDirection() {
    return normalized(Vec3(0.1f, 0.4f, -1.0f));
}

// Elevation (radians) of the dune skyline at an azimuth: a sum of smooth
// bumps sampled round a circle, so it closes on itself.
float duneHeight(float azimuth) {
    static const ValueNoise ridge(41);
    float x = 6.0f * std::cos(azimuth) + 50.0f;
    float y = 6.0f * std::sin(azimuth) + 50.0f;
    float big = ridge.fractal(x, y, 0, 3, 0.45f);
    float sharp = std::pow(std::sin(0.5f * pi * big), 3.0f);
    return 0.012f + 0.075f * sharp;
}

} // namespace

const char* SkyBox::fileName(int face) {
    static const char* const names[faceCount] = {"desert_rt.bmp", "desert_bk.bmp", "desert_lf.bmp",
                                                 "desert_ft.bmp", "desert_up.bmp", "desert_dn.bmp"};
    return face >= 0 && face < faceCount ? names[face] : "";
}

Vec3 SkyBox::direction(int face, float s, float t) {
    // The quad's texture coordinates run from 0.001 to 0.999 between its
    // corners; invert that to find the cube point drawn at (s, t).
    float a = (s - coordLow) / (coordHigh - coordLow);
    float b = (t - coordLow) / (coordHigh - coordLow);
    // The drawn box's own corner table, so that the faces meet without seams.
    const Vec3 c0 = skyBoxCorner(face, 0);
    const Vec3 c1 = skyBoxCorner(face, 1);
    const Vec3 c3 = skyBoxCorner(face, 3);
    return c0 + (c1 - c0) * a + (c3 - c0) * b;
}

void SkyBox::colour(const Vec3& dirIn, float rgb[3]) {
    static const ValueNoise clouds(42);
    static const ValueNoise sand(43);
    Vec3 d = normalized(dirIn);
    float elevation = std::asin(std::max(-1.0f, std::min(1.0f, d.y)));
    float azimuth = std::atan2(d.x, -d.z);
    Vec3 sun = sunDirection();
    float sunCos = dot(d, sun);

    float r;
    float g;
    float b;
    float dune = duneHeight(azimuth);
    if (elevation > dune) {
        // Sky: warm pale haze at the horizon to deep blue overhead.
        float h = std::pow(clamp01(elevation / (0.5f * pi)), 0.45f);
        r = mixf(232.0f, 62.0f, h);
        g = mixf(214.0f, 112.0f, h);
        b = mixf(186.0f, 196.0f, h);
        // Thin high clouds, projected on a plane above the viewer.
        if (d.y > 0.02f) {
            float cx = d.x / d.y;
            float cz = d.z / d.y;
            float c = clouds.fractal(cx * 0.8f + 10.0f, cz * 0.8f + 10.0f, 0, 4, 0.5f);
            float cover = clamp01((c - 0.55f) * 3.0f) * clamp01(d.y * 4.0f);
            r = mixf(r, 245.0f, 0.7f * cover);
            g = mixf(g, 243.0f, 0.7f * cover);
            b = mixf(b, 238.0f, 0.7f * cover);
        }
    } else if (elevation > 0.0f) {
        // Dunes on the horizon: lit on the sun's side, hazy with distance.
        float slope = duneHeight(azimuth + 0.01f) - duneHeight(azimuth - 0.01f);
        Vec3 toSun(sun.x, 0.0f, sun.z);
        float sunSide = std::sin(azimuth) * toSun.x - std::cos(azimuth) * toSun.z;
        float lit = 0.78f + 6.0f * slope * sunSide;
        float depth = clamp01(elevation / std::max(dune, 0.001f));
        float shade = clamp01(lit) * (0.9f + 0.1f * depth);
        r = mixf(214.0f, 196.0f * shade, 0.75f);
        g = mixf(196.0f, 150.0f * shade, 0.75f);
        b = mixf(172.0f, 102.0f * shade, 0.75f);
    } else {
        // Desert floor below the horizon, darker and more textured nearer.
        float near = clamp01(-elevation * 3.0f);
        float gx = d.x / std::min(d.y, -0.01f);
        float gz = d.z / std::min(d.y, -0.01f);
        float grain = sand.fractal(gx * 2.0f + 30.0f, gz * 2.0f + 30.0f, 0, 3, 0.5f);
        float shade = 0.85f + 0.2f * grain * near;
        r = mixf(212.0f, 186.0f, near) * shade;
        g = mixf(192.0f, 150.0f, near) * shade;
        b = mixf(166.0f, 106.0f, near) * shade;
    }
    // Sun: disc, halo and a wide glow that brightens the haze around it.
    if (sunCos > 0.0f && elevation > dune) {
        float angle = std::acos(std::min(1.0f, sunCos));
        float disc = clamp01((0.03f - angle) / 0.006f);
        float halo = std::exp(-angle * 14.0f);
        float glow = std::exp(-angle * 3.0f);
        r = mixf(r, 255.0f, clamp01(disc + 0.55f * halo + 0.18f * glow));
        g = mixf(g, 248.0f, clamp01(disc + 0.50f * halo + 0.15f * glow));
        b = mixf(b, 228.0f, clamp01(disc + 0.40f * halo + 0.10f * glow));
    }
    rgb[0] = r;
    rgb[1] = g;
    rgb[2] = b;
}

BmpWriter SkyBox::face(int faceIndex, int size) {
    BmpWriter image(size, size);
    if (faceIndex < 0 || faceIndex >= faceCount) {
        return image;
    }
    for (int row = 0; row < size; ++row) {
        for (int column = 0; column < size; ++column) {
            // Pixel centres; row 0 is the top row, texture t = 0.
            float s = (column + 0.5f) / size;
            float t = (row + 0.5f) / size;
            float rgb[3];
            colour(direction(faceIndex, s, t), rgb);
            image.setPixel(column, row, static_cast<int>(std::lround(rgb[0])),
                           static_cast<int>(std::lround(rgb[1])),
                           static_cast<int>(std::lround(rgb[2])));
        }
    }
    return image;
}
