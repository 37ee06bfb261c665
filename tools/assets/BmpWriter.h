// BmpWriter: a 24-bit uncompressed Windows bitmap held in memory and written
// with the plain 54-byte header (14-byte file header, 40-byte information
// header, no palette), rows bottom-up and padded to four bytes as the format
// requires.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class BmpWriter {
  public:
    // Largest side accepted; keeps every size computation far from overflow.
    static constexpr int maxSide = 16384;

    // A black image of the given size; sides outside 1..maxSide give an empty
    // image that refuses to encode.
    BmpWriter(int width, int height);

    int width() const { return imageWidth; }
    int height() const { return imageHeight; }

    // Sets pixel (x, y), y = 0 being the top row of the picture. Components
    // are clamped to 0..255. Pixels outside the image are ignored.
    void setPixel(int x, int y, int red, int green, int blue);
    // Reads back pixel (x, y) into rgb[0..2]; false outside the image.
    bool pixel(int x, int y, unsigned char rgb[3]) const;

    // The complete file: header and padded rows. False for an empty image.
    bool encode(std::vector<unsigned char>& out) const;
    // Encodes and writes the file; false with a reason when it cannot.
    bool writeFile(const char* path);
    const char* failureReason() const { return reason.c_str(); }

    // Bytes of one stored row: three per pixel, padded to a multiple of four.
    static size_t rowBytes(int width);

  private:
    int imageWidth = 0;
    int imageHeight = 0;
    std::vector<unsigned char> rgb; // top row first, three bytes R, G, B per pixel
    std::string reason;
};
