// IconImage: the program's 64 x 64 icon for the desktop menu, drawn from
// shapes (a truck on a dune under an evening sky) and written through libpng.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class IconImage {
  public:
    static constexpr int size = 64; // pixels per side

    // The icon's pixels, rows from the top, four bytes (R, G, B, A) each.
    static std::vector<uint8_t> pixels();
    // Writes the icon as an 8-bit RGBA PNG; false with a reason.
    static bool writePng(const std::string& path, std::string& reason);
};
