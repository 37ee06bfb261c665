// PixelImage: BMP decoding (24-bit, uncompressed, bottom-up) and
// nearest-neighbour resampling of the pixel block.
#include "render/PixelImage.h"

#include "math/PrintableText.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// Bytes of the 14-byte file header plus the smallest information header we
// read (the 40-byte one); every field we consult lies inside them.
const size_t headerBytes = 54;

// Where the rows of a validated file lie and how big the picture is.
struct BmpLayout {
    int width;
    int height;
    uint64_t dataOffset; // file offset of the first (bottom) row
    uint64_t rowBytes;   // 3 * width rounded up to a multiple of 4
};

uint16_t readUint16(const unsigned char* bytes) {
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

// One stored row of B, G, R triplets to 0x00RRGGBB values.
void decodeRow(const unsigned char* source, uint32_t* target, int width) {
    for (int column = 0; column < width; ++column) {
        const unsigned char* triplet = source + 3 * column;
        target[column] = (static_cast<uint32_t>(triplet[2]) << 16) |
                         (static_cast<uint32_t>(triplet[1]) << 8) | triplet[0];
    }
}

// Bytes the rows need: every row but the last with its padding, the last one
// without (the padding is never read, so a file that stops right after the
// last pixel is complete).
uint64_t rowDataBytes(const BmpLayout& layout) {
    return layout.rowBytes * static_cast<uint64_t>(layout.height - 1) +
           3 * static_cast<uint64_t>(layout.width);
}

} // namespace

PixelImage::PixelImage() : pixels(nullptr), width(0), height(0) {
    reason[0] = '\0';
}

PixelImage::~PixelImage() {
    release();
}

void PixelImage::release() {
    delete[] pixels;
    pixels = nullptr;
}

uint32_t PixelImage::readUint32(const unsigned char* bytes) {
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

void PixelImage::fail(const char* name, const char* format, ...) {
    int used = std::snprintf(reason, sizeof(reason), "%s: ", name != nullptr ? name : "(bmp)");
    if (used < 0 || static_cast<size_t>(used) >= sizeof(reason)) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(reason + used, sizeof(reason) - used, format, arguments);
    va_end(arguments);
}

namespace {

// Checks the headers of a file of fileSize bytes whose first min(fileSize, 54)
// bytes are in head, and works out where the rows are. Only 24-bit,
// uncompressed, bottom-up images with the rows complete inside the file pass.
bool parseHeader(const unsigned char* head, uint64_t fileSize, BmpLayout* layout, char* why,
                 size_t whySize) {
    if (fileSize < 2 || head[0] != 'B' || head[1] != 'M') {
        char start[9];
        printableText(head, fileSize < 2 ? fileSize : 2, start, sizeof(start));
        std::snprintf(why, whySize, "not a BMP file: it starts with \"%s\", not \"BM\"", start);
        return false;
    }
    if (fileSize < 18) {
        std::snprintf(why, whySize, "truncated file header: 18 bytes needed, the file has %llu",
                      static_cast<unsigned long long>(fileSize));
        return false;
    }
    const uint32_t infoSize = PixelImage::readUint32(head + 14);
    if (infoSize < 40) {
        std::snprintf(why, whySize, "offset 14: %u-byte information header not supported",
                      static_cast<unsigned>(infoSize));
        return false;
    }
    if (fileSize < headerBytes) {
        std::snprintf(why, whySize,
                      "truncated information header: 54 bytes needed, the file has %llu",
                      static_cast<unsigned long long>(fileSize));
        return false;
    }
    const int32_t fileWidth = static_cast<int32_t>(PixelImage::readUint32(head + 18));
    const int32_t fileHeight = static_cast<int32_t>(PixelImage::readUint32(head + 22));
    const uint16_t bitCount = readUint16(head + 28);
    const uint32_t compression = PixelImage::readUint32(head + 30);
    if (fileWidth < 1) {
        std::snprintf(why, whySize, "offset 18: width %d below 1", fileWidth);
        return false;
    }
    if (fileHeight < 0) {
        std::snprintf(why, whySize, "offset 22: top-down image (height %d) not supported",
                      fileHeight);
        return false;
    }
    if (fileHeight == 0) {
        std::snprintf(why, whySize, "offset 22: height 0");
        return false;
    }
    if (fileWidth > PixelImage::maxDimension || fileHeight > PixelImage::maxDimension) {
        std::snprintf(why, whySize, "%d x %d pixels exceed the %d x %d limit", fileWidth,
                      fileHeight, PixelImage::maxDimension, PixelImage::maxDimension);
        return false;
    }
    if (bitCount != 24) {
        std::snprintf(why, whySize, "offset 28: %u bits per pixel not supported (only 24)",
                      static_cast<unsigned>(bitCount));
        return false;
    }
    if (compression != 0) {
        std::snprintf(why, whySize, "offset 30: compression method %u not supported",
                      static_cast<unsigned>(compression));
        return false;
    }
    // The rows start where the file header says (a 124-byte header puts them
    // at 138, not 54); an offset inside the headers or past the end is wrong.
    const uint64_t dataOffset = PixelImage::readUint32(head + 10);
    const uint64_t headersEnd = 14 + static_cast<uint64_t>(infoSize);
    if (dataOffset < headersEnd || dataOffset >= fileSize) {
        std::snprintf(why, whySize, "offset 10: pixel data offset %llu outside %llu..%llu",
                      static_cast<unsigned long long>(dataOffset),
                      static_cast<unsigned long long>(headersEnd),
                      static_cast<unsigned long long>(fileSize));
        return false;
    }
    layout->width = fileWidth;
    layout->height = fileHeight;
    layout->dataOffset = dataOffset;
    // Each row is 3 * width bytes padded to a multiple of four; the padding,
    // (4 - 3w mod 4) mod 4, equals w mod 4 for every width.
    layout->rowBytes = (3 * static_cast<uint64_t>(fileWidth) + 3) / 4 * 4;
    const uint64_t needed = dataOffset + rowDataBytes(*layout);
    if (needed > fileSize) {
        std::snprintf(why, whySize,
                      "truncated pixel data: %d x %d needs %llu bytes, the file has %llu",
                      fileWidth, fileHeight, static_cast<unsigned long long>(needed),
                      static_cast<unsigned long long>(fileSize));
        return false;
    }
    return true;
}

} // namespace

uint32_t* PixelImage::readBmpFromMemory(const unsigned char* data, size_t size, const char* name,
                                        int* widthOut, int* heightOut) {
    *widthOut = 0;
    *heightOut = 0;
    if (data == nullptr) {
        size = 0;
    }
    BmpLayout layout;
    char why[160];
    if (!parseHeader(data, size, &layout, why, sizeof(why))) {
        fail(name, "%s", why);
        return nullptr;
    }
    const size_t count = static_cast<size_t>(layout.width) * static_cast<size_t>(layout.height);
    uint32_t* block = new (std::nothrow) uint32_t[count];
    if (block == nullptr) {
        fail(name, "cannot allocate %d x %d pixels", layout.width, layout.height);
        return nullptr;
    }
    // The file's first row is the picture's bottom row.
    for (int row = 0; row < layout.height; ++row) {
        const unsigned char* source = data + layout.dataOffset + layout.rowBytes * row;
        decodeRow(source, block + static_cast<size_t>(layout.height - 1 - row) * layout.width,
                  layout.width);
    }
    *widthOut = layout.width;
    *heightOut = layout.height;
    return block;
}

uint32_t* PixelImage::readBmp(const char* fileName, int* widthOut, int* heightOut) {
    *widthOut = 0;
    *heightOut = 0;
    errno = 0;
    std::FILE* file = std::fopen(fileName, "rb");
    if (file == nullptr) {
        fail(fileName, "cannot open: %s", std::strerror(errno != 0 ? errno : ENOENT));
        return nullptr;
    }
    long fileSize = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        fileSize = std::ftell(file);
    }
    if (fileSize < 0 || std::fseek(file, 0, SEEK_SET) != 0) {
        fail(fileName, "cannot read: %s", std::strerror(errno != 0 ? errno : EIO));
        std::fclose(file);
        return nullptr;
    }
    unsigned char head[headerBytes];
    std::memset(head, 0, sizeof(head));
    const size_t headWanted =
        static_cast<uint64_t>(fileSize) < headerBytes ? static_cast<size_t>(fileSize) : headerBytes;
    if (std::fread(head, 1, headWanted, file) != headWanted) {
        fail(fileName, "cannot read: %s", std::strerror(errno != 0 ? errno : EIO));
        std::fclose(file);
        return nullptr;
    }
    BmpLayout layout;
    char why[160];
    if (!parseHeader(head, static_cast<uint64_t>(fileSize), &layout, why, sizeof(why))) {
        std::fclose(file);
        fail(fileName, "%s", why);
        return nullptr;
    }
    const size_t count = static_cast<size_t>(layout.width) * static_cast<size_t>(layout.height);
    uint32_t* block = new (std::nothrow) uint32_t[count];
    unsigned char* rowBuffer = new (std::nothrow) unsigned char[layout.rowBytes];
    if (block == nullptr || rowBuffer == nullptr) {
        delete[] block;
        delete[] rowBuffer;
        std::fclose(file);
        fail(fileName, "cannot allocate %d x %d pixels", layout.width, layout.height);
        return nullptr;
    }
    errno = 0;
    bool complete = std::fseek(file, static_cast<long>(layout.dataOffset), SEEK_SET) == 0;
    for (int row = 0; complete && row < layout.height; ++row) {
        // The last row's padding may be missing; it is never looked at.
        const size_t wanted =
            row + 1 < layout.height ? layout.rowBytes : 3 * static_cast<size_t>(layout.width);
        complete = std::fread(rowBuffer, 1, wanted, file) == wanted;
        if (!complete) {
            break;
        }
        decodeRow(rowBuffer, block + static_cast<size_t>(layout.height - 1 - row) * layout.width,
                  layout.width);
    }
    delete[] rowBuffer;
    const int readError = errno != 0 ? errno : EIO;
    std::fclose(file);
    if (!complete) {
        delete[] block;
        fail(fileName, "cannot read: %s", std::strerror(readError));
        return nullptr;
    }
    *widthOut = layout.width;
    *heightOut = layout.height;
    return block;
}

bool PixelImage::load(const char* fileName) {
    release();
    pixels = readBmp(fileName, &width, &height);
    return pixels != nullptr;
}

bool PixelImage::loadFromMemory(const unsigned char* data, size_t size, const char* name) {
    release();
    pixels = readBmpFromMemory(data, size, name, &width, &height);
    return pixels != nullptr;
}

bool PixelImage::resample(int newWidth, int newHeight) {
    if (pixels == nullptr || newWidth < 1 || newHeight < 1 || newWidth > maxDimension ||
        newHeight > maxDimension) {
        return false;
    }
    uint32_t* block =
        new (std::nothrow) uint32_t[static_cast<size_t>(newWidth) * static_cast<size_t>(newHeight)];
    if (block == nullptr) {
        return false;
    }
    // Steps in single precision, source index = trunc(index * step): an
    // upscale repeats source pixels, a downscale skips them.
    const float xStep = static_cast<float>(width) / static_cast<float>(newWidth);
    const float yStep = static_cast<float>(height) / static_cast<float>(newHeight);
    for (int i = 0; i < newHeight; ++i) {
        int sourceRow = static_cast<int>(static_cast<float>(i) * yStep);
        if (sourceRow < 0) {
            sourceRow = 0;
        }
        if (sourceRow > height - 1) {
            sourceRow = height - 1;
        }
        const uint32_t* source = pixels + static_cast<size_t>(sourceRow) * width;
        uint32_t* target = block + static_cast<size_t>(i) * newWidth;
        for (int j = 0; j < newWidth; ++j) {
            int sourceColumn = static_cast<int>(static_cast<float>(j) * xStep);
            if (sourceColumn < 0) {
                sourceColumn = 0;
            }
            if (sourceColumn > width - 1) {
                sourceColumn = width - 1;
            }
            target[j] = source[sourceColumn];
        }
    }
    delete[] pixels;
    pixels = block;
    width = newWidth;
    height = newHeight;
    return true;
}
