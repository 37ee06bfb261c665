// BmpWriter: encoding of a 24-bit bitmap with the 54-byte header.
#include "tools/assets/BmpWriter.h"

#include "tools/assets/FileBytes.h"

#include <cstdio>

namespace {

void putUint16(std::vector<unsigned char>& out, size_t at, unsigned value) {
    out[at] = static_cast<unsigned char>(value & 0xFF);
    out[at + 1] = static_cast<unsigned char>((value >> 8) & 0xFF);
}

void putUint32(std::vector<unsigned char>& out, size_t at, unsigned long value) {
    for (int i = 0; i < 4; ++i) {
        out[at + i] = static_cast<unsigned char>((value >> (8 * i)) & 0xFF);
    }
}

int clampByte(int v) {
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

} // namespace

BmpWriter::BmpWriter(int width, int height) {
    if (width < 1 || height < 1 || width > maxSide || height > maxSide) {
        return;
    }
    imageWidth = width;
    imageHeight = height;
    rgb.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, 0);
}

size_t BmpWriter::rowBytes(int width) {
    size_t bytes = static_cast<size_t>(width) * 3;
    return (bytes + 3) / 4 * 4;
}

void BmpWriter::setPixel(int x, int y, int red, int green, int blue) {
    if (x < 0 || y < 0 || x >= imageWidth || y >= imageHeight) {
        return;
    }
    size_t at = (static_cast<size_t>(y) * imageWidth + x) * 3;
    rgb[at] = static_cast<unsigned char>(clampByte(red));
    rgb[at + 1] = static_cast<unsigned char>(clampByte(green));
    rgb[at + 2] = static_cast<unsigned char>(clampByte(blue));
}

bool BmpWriter::pixel(int x, int y, unsigned char out[3]) const {
    if (x < 0 || y < 0 || x >= imageWidth || y >= imageHeight) {
        return false;
    }
    size_t at = (static_cast<size_t>(y) * imageWidth + x) * 3;
    out[0] = rgb[at];
    out[1] = rgb[at + 1];
    out[2] = rgb[at + 2];
    return true;
}

bool BmpWriter::encode(std::vector<unsigned char>& out) const {
    if (imageWidth < 1 || imageHeight < 1) {
        return false;
    }
    const size_t headerBytes = 54;
    const size_t stride = rowBytes(imageWidth);
    const size_t pixelBytes = stride * static_cast<size_t>(imageHeight);
    out.assign(headerBytes + pixelBytes, 0);

    // File header.
    out[0] = 'B';
    out[1] = 'M';
    putUint32(out, 2, static_cast<unsigned long>(headerBytes + pixelBytes));
    putUint32(out, 10, headerBytes); // pixel rows start right after the headers
    // Information header (BITMAPINFOHEADER).
    putUint32(out, 14, 40);
    putUint32(out, 18, static_cast<unsigned long>(imageWidth));
    putUint32(out, 22, static_cast<unsigned long>(imageHeight)); // positive: bottom-up rows
    putUint16(out, 26, 1);                                       // one colour plane
    putUint16(out, 28, 24);                                      // bits per pixel
    putUint32(out, 30, 0);                                       // no compression
    putUint32(out, 34, static_cast<unsigned long>(pixelBytes));
    putUint32(out, 38, 2835); // 72 dots per inch, in pixels per metre
    putUint32(out, 42, 2835);

    // Rows bottom-up, each pixel stored B, G, R; the padding stays zero.
    for (int row = 0; row < imageHeight; ++row) {
        const unsigned char* source =
            &rgb[static_cast<size_t>(imageHeight - 1 - row) * static_cast<size_t>(imageWidth) * 3];
        unsigned char* target = &out[headerBytes + static_cast<size_t>(row) * stride];
        for (int x = 0; x < imageWidth; ++x) {
            target[3 * x] = source[3 * x + 2];
            target[3 * x + 1] = source[3 * x + 1];
            target[3 * x + 2] = source[3 * x];
        }
    }
    return true;
}

bool BmpWriter::writeFile(const char* path) {
    std::vector<unsigned char> bytes;
    if (!encode(bytes)) {
        reason = std::string(path) + ": empty image";
        return false;
    }
    return writeFileBytes(path, bytes, reason);
}
