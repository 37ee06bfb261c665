// DunesMap: dune ridges and noise, the tracks blended in, the ramps and the
// basin; the heightmap written through libpng's simplified interface.
#include "tools/assets/DunesMap.h"
#include "tools/assets/PngFile.h"

#include "tools/assets/ValueNoise.h"

#include <png.h>

#include <cmath>
#include <cstring>

namespace {

const float pi = 3.14159265f;
// Height of the flat tracks, m: room below for the basin.
const float trackLevel = 6.0f;
// The tracks' centre lines, m from the corner, and their half widths (m):
// flat within the inner one, blended into the dunes out to the outer one.
const float trackCentre = 512.0f;
const float flatHalfWidth = 8.0f;
const float blendHalfWidth = 22.0f;

float smoothStep(float edge0, float edge1, float x) {
    float t = (x - edge0) / (edge1 - edge0);
    t = t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
    return t * t * (3.0f - 2.0f * t);
}

// Crescent-like ridges running roughly north-south, bent by a slow wave,
// on top of broad noise. Slopes stay under about 15 degrees, which the
// truck climbs.
float duneHeight(float x, float z) {
    static const ValueNoise noise(20261208u);
    const float bend = 9.0f * std::sin(z * (2.0f * pi / 170.0f));
    const float ridges = 1.6f * std::sin((x + bend) * (2.0f * pi / 60.0f)) +
                         0.7f * std::sin((x - 0.4f * z) * (2.0f * pi / 37.0f));
    const float broad = 9.0f * noise.fractal(x / 96.0f, z / 96.0f, 0, 3, 0.45f);
    return trackLevel - 2.5f + broad + ridges;
}

// A ramp across the east-west track: up 3 m over 20 m heading east, a 6 m
// top, then down over 10 m. along: m east of the ramp's foot.
float rampHeight(float along) {
    if (along < 0.0f || along > 36.0f) {
        return 0.0f;
    }
    if (along < 20.0f) {
        return 3.0f * along / 20.0f;
    }
    if (along < 26.0f) {
        return 3.0f;
    }
    return 3.0f * (36.0f - along) / 10.0f;
}

} // namespace

float DunesMap::heightAt(float x, float z) {
    float h = duneHeight(x, z);
    // The two tracks: flat near their centre lines, blended into the dunes.
    const float acrossNS = std::fabs(x - trackCentre);
    const float acrossEW = std::fabs(z - trackCentre);
    const float dunesNS = smoothStep(flatHalfWidth, blendHalfWidth, acrossNS);
    const float dunesEW = smoothStep(flatHalfWidth, blendHalfWidth, acrossEW);
    const float dunes = dunesNS < dunesEW ? dunesNS : dunesEW;
    h = trackLevel + (h - trackLevel) * dunes;
    // Three ramps on the east-west track, clear of the crossing.
    if (acrossEW < 6.0f) {
        h += rampHeight(x - 150.0f) + rampHeight(x - 300.0f) + rampHeight(x - 700.0f);
    }
    // The basin: a smooth bowl 90 m across, 6 m below the track level at its
    // floor, in the north-west quarter.
    const float dx = x - 280.0f;
    const float dz = z - 260.0f;
    const float r = std::sqrt(dx * dx + dz * dz);
    if (r < 90.0f) {
        const float bowl = 0.5f + 0.5f * std::cos(pi * r / 90.0f);
        h = h + (0.2f - h) * bowl;
    }
    return h < 0.0f ? 0.0f : (h > heightRange ? heightRange : h);
}

std::vector<uint16_t> DunesMap::levels() {
    std::vector<uint16_t> out(static_cast<size_t>(samples) * samples);
    for (int row = 0; row < samples; ++row) {
        for (int column = 0; column < samples; ++column) {
            const float h =
                heightAt(spacing * static_cast<float>(column), spacing * static_cast<float>(row));
            out[static_cast<size_t>(row) * samples + column] =
                static_cast<uint16_t>(std::lround(h / heightRange * 65535.0f));
        }
    }
    return out;
}

std::string DunesMap::mapText() {
    return "dravonel map 1\n"
           "# Dunes: 1 km of rolling sand with two flat tracks crossing at the centre,\n"
           "# three ramps on the east-west track and a basin in the north-west.\n"
           "heightmap dunes.png\n"
           "spacing 2\n"
           "height 24\n"
           "# On the north-south track, facing north: 680 m of track ahead and\n"
           "# 344 m behind, so that a first minute's drive stays on the map.\n"
           "start 512 680 0\n";
}

bool DunesMap::writePng(const std::string& path, std::string& reason) {
    const std::vector<uint16_t> pixels = levels();
    // 16-bit gray; "linear" only tells libpng not to convert the values.
    return writePngFile(path, samples, samples, PNG_FORMAT_LINEAR_Y, pixels.data(), reason);
}
