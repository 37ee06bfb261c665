// HeightmapReader: reads a grayscale PNG, 8 or 16 bits per sample, through
// libpng into a grid of levels from 0 (black) to 1 (white). Each side must
// hold 2 to 1025 samples; the sizes are checked before anything is
// allocated. Prints nothing: a refused file gives a one-line reason.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class HeightmapReader {
  public:
    // The largest PNG file read, bytes (a 1025 x 1025 16-bit image stored
    // uncompressed takes about 2.1 MB).
    static constexpr size_t largestFile = size_t(64) * 1024 * 1024;

    // Reads the file; false with failureReason() "path: what was wrong".
    bool read(const char* path);
    // The same from bytes in memory; name is used in messages only.
    bool readMemory(const unsigned char* bytes, size_t size, const char* name);
    const char* failureReason() const { return reason.c_str(); }

    int width = 0;  // samples per row (along x)
    int height = 0; // rows (along z), the first row the image's top
    // Levels 0..1, row by row from the top, width per row.
    std::vector<float> levels;

  private:
    bool fail(const char* name, const std::string& what);
    std::string reason;
};
