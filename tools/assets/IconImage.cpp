// IconImage: a rounded square of evening sky, a dune across its lower part
// and the truck's side view on it (body, cab, window and two wheels).
#include "tools/assets/IconImage.h"
#include "tools/assets/PngFile.h"

#include <cmath>
#include <cstring>
#include <png.h>

namespace {

struct Rgb {
    float r, g, b;
};

Rgb mix(Rgb a, Rgb b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

bool inBox(float x, float y, float left, float top, float right, float bottom) {
    return x >= left && x < right && y >= top && y < bottom;
}

// The dune's surface height (pixels from the top) at column x.
float duneTop(float x) {
    return 46.0f + 3.0f * std::sin(x * 0.09f + 0.6f);
}

// The colour at pixel centre (x, y), with the coverage of the rounded square
// as alpha.
Rgb colourAt(float x, float y, float& alpha) {
    // Rounded corners of radius 10 px, edges anti-aliased over one pixel.
    const float radius = 10.0f;
    const float half = IconImage::size * 0.5f;
    const float dx = std::fmax(std::fabs(x - half) - (half - radius), 0.0f);
    const float dy = std::fmax(std::fabs(y - half) - (half - radius), 0.0f);
    const float outside = std::sqrt(dx * dx + dy * dy) - radius + 0.5f;
    alpha = std::fmin(std::fmax(1.0f - outside, 0.0f), 1.0f);

    const Rgb skyTop{0.16f, 0.22f, 0.45f};
    const Rgb skyLow{0.96f, 0.62f, 0.34f};
    const Rgb sand{0.86f, 0.68f, 0.40f};
    const Rgb sandShade{0.66f, 0.48f, 0.26f};
    const Rgb paint{0.78f, 0.16f, 0.12f};
    const Rgb glass{0.55f, 0.75f, 0.85f};
    const Rgb tyre{0.10f, 0.10f, 0.11f};
    const Rgb rim{0.70f, 0.70f, 0.72f};

    // The truck stands on the dune with its wheels' centres at y = 42.
    const float wheelY = 42.0f;
    const float wheels[2] = {20.0f, 44.0f};
    for (float wheelX : wheels) {
        const float d = std::hypot(x - wheelX, y - wheelY);
        if (d < 3.0f) {
            return rim;
        }
        if (d < 7.0f) {
            return tyre;
        }
    }
    // The cab, its windscreen leaning back from the front (right).
    if (inBox(x, y, 36.0f, 24.0f, 52.0f, 30.0f) && 52.0f - x > 30.0f - y) {
        return inBox(x, y, 39.0f, 25.5f, 47.0f, 30.0f) ? glass : paint;
    }
    if (inBox(x, y, 10.0f, 30.0f, 54.0f, 39.0f)) {
        return paint; // body
    }
    const float top = duneTop(x);
    if (y >= top) {
        return mix(sand, sandShade, std::fmin((y - top) / 14.0f, 1.0f));
    }
    return mix(skyTop, skyLow, y / top);
}

uint8_t toByte(float value) {
    const float clamped = std::fmin(std::fmax(value, 0.0f), 1.0f);
    return static_cast<uint8_t>(clamped * 255.0f + 0.5f);
}

} // namespace

std::vector<uint8_t> IconImage::pixels() {
    std::vector<uint8_t> out(static_cast<size_t>(size) * size * 4);
    for (int row = 0; row < size; ++row) {
        for (int column = 0; column < size; ++column) {
            float alpha = 0.0f;
            const Rgb colour = colourAt(column + 0.5f, row + 0.5f, alpha);
            uint8_t* pixel = &out[(static_cast<size_t>(row) * size + column) * 4];
            pixel[0] = toByte(colour.r);
            pixel[1] = toByte(colour.g);
            pixel[2] = toByte(colour.b);
            pixel[3] = toByte(alpha);
        }
    }
    return out;
}

bool IconImage::writePng(const std::string& path, std::string& reason) {
    const std::vector<uint8_t> rgba = pixels();
    return writePngFile(path, size, size, PNG_FORMAT_RGBA, rgba.data(), reason);
}
