// DunesMap: the bundled map, a 1 km world of rolling dunes. Two long flat
// tracks cross at its centre (north-south and east-west), three ramps stand
// on the east-west track, and a round basin lies in the north-west quarter.
// The truck starts at the south end of the north-south track, facing north
// (-z) along it. Written as maps/dunes.map and its 16-bit grayscale
// heightmap maps/dunes.png.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class DunesMap {
  public:
    static constexpr int samples = 513;         // per side
    static constexpr float spacing = 2.0f;      // m between samples
    static constexpr float heightRange = 24.0f; // m from black to white
    // The start, m from the image's top-left corner, and heading (degrees).
    static constexpr float startRight = 512.0f;
    static constexpr float startDown = 980.0f;
    static constexpr float startHeading = 0.0f;

    // Ground height (m, 0..heightRange) at x, z metres from the corner.
    static float heightAt(float x, float z);
    // The heightmap's samples, rows from the top, 0..65535.
    static std::vector<uint16_t> levels();
    // The map file's text.
    static std::string mapText();
    // Writes the heightmap as a 16-bit grayscale PNG; false with a reason.
    static bool writePng(const std::string& path, std::string& reason);
};
