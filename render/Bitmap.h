// Bitmap: the BMP texture source the application holds. It owns at most one
// PixelImage, loads 24-bit BMP files into it, turns the pixels into the byte
// order GL reads (R, G, B, 0 in memory) and resamples them to power-of-two
// sizes for texture upload.
#pragma once

#include "render/PixelImage.h"

#include <cstddef>
#include <cstdint>

class Bitmap {
  public:
    Bitmap();
    ~Bitmap();
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    // Reads the file, exchanges red and blue and makes the width even. A file
    // that cannot be opened leaves the previous image as it was; any other
    // failure leaves an empty image (0 x 0, no pixels). True when pixels were
    // read.
    bool load(const char* fileName);
    // The same from file bytes in memory; name is used in failureReason().
    bool loadFromMemory(const unsigned char* data, size_t size, const char* name);

    // 0 when there is no image.
    int width() const;
    int height() const;
    // First pixel, null without pixels; valid until the next load, resize or
    // destruction.
    uint32_t* pixels();

    // Nearest-neighbour resample of the image; nothing without an image.
    void resize(int newWidth, int newHeight);
    // resize(powerOfTwoSize(width), powerOfTwoSize(height)).
    void resizeToPowerOfTwo();
    // When the width is odd: resize(width + 1, height).
    void makeEvenWidth();

    // The power of two nearest to n on a logarithmic scale, within 16..2048.
    static int powerOfTwoSize(int n);
    // Exchanges bits 0-7 and 16-23 of each of the width * height values.
    static void swapRedBlue(uint32_t* pixels, int width, int height);

    // Why the last load failed (file name and what was wrong).
    const char* failureReason() const { return reason; }

    PixelImage* image; // owned; null before the first load

  private:
    // Replaces the image by a new, empty one.
    void replaceImage();
    // Red/blue exchange and even width after a successful read.
    void finishLoad();
    void keepReason(const char* text);

    char reason[192];
};
