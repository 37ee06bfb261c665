// PngWriter: writes an 8-bit RGB picture as a PNG file through libpng. The
// file holds no time or other varying data, so the same pixels always give
// the same bytes.
#pragma once

#include <string>

class PngWriter {
  public:
    // Writes `width` x `height` pixels, three bytes (R, G, B) each, rows
    // packed; `bottomUp` when the first row in memory is the picture's
    // bottom row, as glReadPixels returns it. False with a reason.
    bool write(const char* path, int width, int height, const unsigned char* rgb, bool bottomUp);
    const char* failureReason() const { return reason.c_str(); }

  private:
    std::string reason;
};
