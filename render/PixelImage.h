// PixelImage: a block of 32-bit pixels read from a 24-bit uncompressed BMP
// file, with nearest-neighbour resampling. Pixels are stored row by row, the
// picture's top row first, no padding between rows; while decoded each pixel
// is 0x00RRGGBB (Bitmap exchanges red and blue afterwards for GL).
#pragma once

#include <cstddef>
#include <cstdint>

class PixelImage {
  public:
    // Largest width and height accepted from a file or a resample, so that
    // width * height * 4 bytes always fits comfortably in memory and size_t.
    static constexpr int maxDimension = 16384;

    PixelImage();
    ~PixelImage();
    PixelImage(const PixelImage&) = delete;
    PixelImage& operator=(const PixelImage&) = delete;

    // pixels := readBmp(fileName, &width, &height); true when pixels were read.
    bool load(const char* fileName);
    // The same from a file image already in memory; name is used in messages.
    bool loadFromMemory(const unsigned char* data, size_t size, const char* name);

    // Reads a BMP file into a newly allocated block (caller owns it, delete[]),
    // null on failure with the reason kept in failureReason(). width and
    // height receive the picture's size on success and 0 on failure.
    uint32_t* readBmp(const char* fileName, int* width, int* height);
    uint32_t* readBmpFromMemory(const unsigned char* data, size_t size, const char* name,
                                int* width, int* height);

    // Little-endian 32-bit value of the four bytes at bytes[0..3].
    static uint32_t readUint32(const unsigned char* bytes);

    // Nearest-neighbour resample to newWidth x newHeight (runs even when the
    // size stays, then it copies). False, changing nothing, when there are no
    // pixels, the new size is outside 1..maxDimension or allocation fails.
    bool resample(int newWidth, int newHeight);
    // Frees the pixel block; width and height keep their values.
    void release();

    const char* failureReason() const { return reason; }

    uint32_t* pixels; // width * height values, top row first; null when none
    int width;        // pixels per row
    int height;       // number of rows

  private:
    void fail(const char* name, const char* format, ...);

    char reason[192];
};
