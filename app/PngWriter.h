// PngWriter: writes an 8-bit RGB picture as a PNG file through libpng. The
// file holds no time or other varying data, so the same pixels always give
// the same bytes.
#pragma once

#include <cstdio>
#include <string>

class PngWriter {
  public:
    PngWriter() = default;
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;
    // Closes a file opened and never written.
    ~PngWriter();

    // Creates (or empties) the file for a later writeOpened, so that a path
    // that cannot be written is known before the picture is made. False
    // with a reason.
    bool open(const char* path);
    // Writes `width` x `height` pixels, three bytes (R, G, B) each, rows
    // packed, to the file open() opened, and closes it; `bottomUp` when the
    // first row in memory is the picture's bottom row, as glReadPixels
    // returns it. False with a reason.
    bool writeOpened(int width, int height, const unsigned char* rgb, bool bottomUp);
    // Closes and removes the file open() opened, when no picture comes.
    void discard();
    // open() and writeOpened() in one.
    bool write(const char* path, int width, int height, const unsigned char* rgb, bool bottomUp);
    const char* failureReason() const { return reason.c_str(); }

  private:
    std::FILE* file = nullptr;
    std::string path;
    std::string reason;
};
