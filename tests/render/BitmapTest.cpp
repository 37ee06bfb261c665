// Tests of the BMP reader: crafted files built here byte by byte, ImageMagick
// files from tests/data with their expected pixels, and the resampling and
// byte-order steps that prepare pixels for texture upload.
#include "render/Bitmap.h"
#include "render/PixelImage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

typedef std::vector<unsigned char> Bytes;

void putU16(Bytes& bytes, size_t at, uint32_t value) {
    bytes[at] = static_cast<unsigned char>(value);
    bytes[at + 1] = static_cast<unsigned char>(value >> 8);
}

void putU32(Bytes& bytes, size_t at, uint32_t value) {
    for (int k = 0; k < 4; ++k) {
        bytes[at + k] = static_cast<unsigned char>(value >> (8 * k));
    }
}

// A 24-bit uncompressed bottom-up BMP of the given 0x00RRGGBB pixels (top row
// first), with a 40-byte information header and `gap` spare bytes between the
// headers and the rows (the data offset field points past them).
Bytes makeBmp(int width, int height, const std::vector<uint32_t>& pixels, size_t gap = 0) {
    const size_t rowBytes = (3 * static_cast<size_t>(width) + 3) / 4 * 4;
    const size_t dataOffset = 54 + gap;
    Bytes bytes(dataOffset + rowBytes * height, 0);
    bytes[0] = 'B';
    bytes[1] = 'M';
    putU32(bytes, 2, static_cast<uint32_t>(bytes.size()));
    putU32(bytes, 10, static_cast<uint32_t>(dataOffset));
    putU32(bytes, 14, 40);
    putU32(bytes, 18, static_cast<uint32_t>(width));
    putU32(bytes, 22, static_cast<uint32_t>(height));
    putU16(bytes, 26, 1);
    putU16(bytes, 28, 24);
    putU32(bytes, 34, static_cast<uint32_t>(rowBytes * height));
    for (size_t k = 54; k < dataOffset; ++k) {
        bytes[k] = 0xEE; // anything read from the gap shows up as a wrong pixel
    }
    for (int fileRow = 0; fileRow < height; ++fileRow) {
        const int pictureRow = height - 1 - fileRow;
        unsigned char* row = bytes.data() + dataOffset + rowBytes * fileRow;
        for (int column = 0; column < width; ++column) {
            const uint32_t rgb = pixels[static_cast<size_t>(pictureRow) * width + column];
            row[3 * column] = static_cast<unsigned char>(rgb);
            row[3 * column + 1] = static_cast<unsigned char>(rgb >> 8);
            row[3 * column + 2] = static_cast<unsigned char>(rgb >> 16);
        }
        for (size_t pad = 3 * static_cast<size_t>(width); pad < rowBytes; ++pad) {
            row[pad] = 0xAB;
        }
    }
    return bytes;
}

// Width * height distinct-looking pixels from a seeded generator.
std::vector<uint32_t> randomPixels(int width, int height, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    for (uint32_t& p : pixels) {
        p = random() & 0xFFFFFFu;
    }
    return pixels;
}

uint32_t bgrToRgba(uint32_t rgb) {
    return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
}

std::string dataPath(const char* name) {
    return std::string(DRAVONEL_TEST_DATA) + "/" + name;
}

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The pixels of an ImageMagick "txt:" listing as 0x00RRGGBB, top row first.
bool readTxtPixels(const std::string& path, int* width, int* height, std::vector<uint32_t>* out) {
    std::ifstream in(path);
    std::string line;
    if (!std::getline(in, line) ||
        std::sscanf(line.c_str(), "# ImageMagick pixel enumeration: %d,%d", width, height) != 2) {
        return false;
    }
    out->assign(static_cast<size_t>(*width) * *height, 0xFFFFFFFFu);
    while (std::getline(in, line)) {
        int x, y, r, g, b;
        if (std::sscanf(line.c_str(), "%d,%d: (%d,%d,%d)", &x, &y, &r, &g, &b) != 5) {
            return false;
        }
        (*out)[static_cast<size_t>(y) * *width + x] =
            (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) | b;
    }
    return true;
}

std::string writeTempFile(const Bytes& bytes, const char* name) {
    const std::string path = ::testing::TempDir() + "dravonel-bitmap-" + name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return path;
}

} // namespace

TEST(BitmapPowerOfTwo, WorkedValuesAndRange) {
    const int cases[][2] = {{1, 16},      {17, 16},     {23, 32},     {40, 32},
                            {46, 64},     {48, 64},     {90, 64},     {91, 128},
                            {181, 128},   {182, 256},   {300, 256},   {363, 512},
                            {1000, 1024}, {1448, 1024}, {1449, 2048}, {3000, 2048}};
    for (const auto& c : cases) {
        EXPECT_EQ(Bitmap::powerOfTwoSize(c[0]), c[1]) << "n = " << c[0];
    }
    // Every result is a power of two in 16..2048, and the mapping never goes
    // down as n grows, including far beyond the largest image.
    int previous = 0;
    for (int n = -3; n < 70000; ++n) {
        const int p = Bitmap::powerOfTwoSize(n);
        ASSERT_GE(p, 16);
        ASSERT_LE(p, 2048);
        ASSERT_EQ(p & (p - 1), 0) << n;
        ASSERT_GE(p, previous) << n;
        previous = p;
    }
    EXPECT_EQ(Bitmap::powerOfTwoSize(2147483647), 2048);
}

TEST(BitmapSwapRedBlue, ExchangesLowAndThirdByteOnly) {
    uint32_t pixels[6] = {0x00112233u, 0xFF445566u, 0x12345678u, 0, 0xFFFFFFFFu, 0x00FF0000u};
    Bitmap::swapRedBlue(pixels, 3, 2);
    EXPECT_EQ(pixels[0], 0x00332211u);
    EXPECT_EQ(pixels[1], 0xFF665544u);
    EXPECT_EQ(pixels[2], 0x12785634u);
    EXPECT_EQ(pixels[3], 0u);
    EXPECT_EQ(pixels[4], 0xFFFFFFFFu);
    EXPECT_EQ(pixels[5], 0x000000FFu);
    // A size that is not positive leaves everything alone.
    Bitmap::swapRedBlue(pixels, 0, 2);
    Bitmap::swapRedBlue(pixels, 3, -1);
    Bitmap::swapRedBlue(nullptr, 3, 2);
    EXPECT_EQ(pixels[0], 0x00332211u);
}

TEST(BitmapLoad, ThreeByTwoPadsRowsThenEvenWidthThenPowerOfTwo) {
    // Rows of 9 data bytes and 3 pad bytes.
    const std::vector<uint32_t> source = {0x010203, 0x040506, 0x070809,
                                          0x0A0B0C, 0x0D0E0F, 0x101112};
    const Bytes file = makeBmp(3, 2, source);
    ASSERT_EQ(file.size(), 54u + 2 * 12u);
    Bitmap bitmap;
    ASSERT_TRUE(bitmap.loadFromMemory(file.data(), file.size(), "3x2.bmp"))
        << bitmap.failureReason();
    // Odd width 3 became 4 by resampling columns 0, 0, 1, 2 (step 0.75).
    ASSERT_EQ(bitmap.width(), 4);
    ASSERT_EQ(bitmap.height(), 2);
    const int columns[4] = {0, 0, 1, 2};
    for (int row = 0; row < 2; ++row) {
        for (int j = 0; j < 4; ++j) {
            EXPECT_EQ(bitmap.pixels()[row * 4 + j], bgrToRgba(source[row * 3 + columns[j]]))
                << row << "," << j;
        }
    }
    bitmap.resizeToPowerOfTwo();
    EXPECT_EQ(bitmap.width(), 16);
    EXPECT_EQ(bitmap.height(), 16);
    // Top rows of the 16 x 16 still come from the picture's top row.
    EXPECT_EQ(bitmap.pixels()[0], bgrToRgba(source[0]));
    EXPECT_EQ(bitmap.pixels()[15 * 16 + 15], bgrToRgba(source[5]));
}

TEST(BitmapLoad, PixelBytesEndUpRgbZeroAndTopRowFirst) {
    // Bottom row stored first in the file: make it differ from the top row.
    const std::vector<uint32_t> picture = {0x302010, 0x302010, 0x0000FF, 0x0000FF};
    const Bytes file = makeBmp(2, 2, picture);
    // The file's first pixel triplet is the bottom-left pixel: B, G, R.
    EXPECT_EQ(file[54], 0xFF);
    Bitmap bitmap;
    ASSERT_TRUE(bitmap.loadFromMemory(file.data(), file.size(), "2x2.bmp"));
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(bitmap.pixels());
    // Stored B 0x10, G 0x20, R 0x30 reads back as R, G, B, 0 in memory.
    EXPECT_EQ(bytes[0], 0x30);
    EXPECT_EQ(bytes[1], 0x20);
    EXPECT_EQ(bytes[2], 0x10);
    EXPECT_EQ(bytes[3], 0x00);
    // Row 1 (the picture's bottom row) is the blue one.
    EXPECT_EQ(bytes[8], 0x00);
    EXPECT_EQ(bytes[10], 0xFF);
}

TEST(BitmapLoad, PowerOfTwoSizesOfSquareImages) {
    struct Case {
        int size;
        int expected;
    } cases[] = {{48, 64}, {40, 32}, {256, 256}, {17, 16}};
    for (const Case& c : cases) {
        const std::vector<uint32_t> source = randomPixels(c.size, c.size, c.size);
        const Bytes file = makeBmp(c.size, c.size, source);
        Bitmap bitmap;
        ASSERT_TRUE(bitmap.loadFromMemory(file.data(), file.size(), "square.bmp"));
        const uint32_t* before = bitmap.pixels();
        bitmap.resizeToPowerOfTwo();
        EXPECT_EQ(bitmap.width(), c.expected) << c.size;
        EXPECT_EQ(bitmap.height(), c.expected) << c.size;
        if (c.size == c.expected) {
            // Same size: a fresh copy with identical contents.
            EXPECT_NE(bitmap.pixels(), before);
            for (size_t k = 0; k < source.size(); ++k) {
                ASSERT_EQ(bitmap.pixels()[k], bgrToRgba(source[k])) << k;
            }
        }
    }
}

TEST(PixelImageResample, NearestNeighbourProperties) {
    const int w = 7, h = 5;
    const std::vector<uint32_t> source = randomPixels(w, h, 11);
    Bytes file = makeBmp(w, h, source);
    PixelImage image;
    ASSERT_TRUE(image.loadFromMemory(file.data(), file.size(), "7x5.bmp"));

    // An integer upscale repeats each pixel in a k x k block.
    ASSERT_TRUE(image.resample(3 * w, 2 * h));
    for (int i = 0; i < 2 * h; ++i) {
        for (int j = 0; j < 3 * w; ++j) {
            ASSERT_EQ(image.pixels[i * 3 * w + j], source[(i / 2) * w + j / 3]) << i << "," << j;
        }
    }
    // Halving picks every other pixel of the upscaled block, back to the source.
    ASSERT_TRUE(image.resample(w, h));
    for (size_t k = 0; k < source.size(); ++k) {
        ASSERT_EQ(image.pixels[k], source[k]) << k;
    }
    // Any size: every output pixel is some source pixel from the right region.
    ASSERT_TRUE(image.resample(13, 3));
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 13; ++j) {
            const int sourceRow = static_cast<int>(static_cast<float>(i) * (5.0f / 3.0f));
            const int sourceColumn = static_cast<int>(static_cast<float>(j) * (7.0f / 13.0f));
            EXPECT_EQ(image.pixels[i * 13 + j], source[sourceRow * w + sourceColumn]);
        }
    }
    // Sizes out of range change nothing.
    uint32_t* kept = image.pixels;
    EXPECT_FALSE(image.resample(0, 3));
    EXPECT_FALSE(image.resample(4, -1));
    EXPECT_FALSE(image.resample(PixelImage::maxDimension + 1, 1));
    EXPECT_EQ(image.pixels, kept);
    EXPECT_EQ(image.width, 13);
    image.release();
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.width, 13);
    EXPECT_FALSE(image.resample(4, 4));
}

TEST(BitmapLoad, DataOffsetFromFileHeaderIsHonoured) {
    const std::vector<uint32_t> source = randomPixels(5, 3, 5);
    for (size_t gap : {size_t(0), size_t(1), size_t(70), size_t(1024)}) {
        const Bytes file = makeBmp(5, 3, source, gap);
        PixelImage image;
        ASSERT_TRUE(image.loadFromMemory(file.data(), file.size(), "gap.bmp"))
            << gap << ": " << image.failureReason();
        for (size_t k = 0; k < source.size(); ++k) {
            ASSERT_EQ(image.pixels[k], source[k]) << "gap " << gap << " pixel " << k;
        }
    }
}

TEST(BitmapLoad, EachHeaderFieldCorruptedInTurn) {
    const std::vector<uint32_t> source = randomPixels(5, 3, 3);
    const Bytes good = makeBmp(5, 3, source);
    struct Corruption {
        const char* what;
        size_t offset;
        int size; // 1, 2 or 4 bytes
        uint32_t value;
        bool refused;
        const char* reasonPart;
    } corruptions[] = {
        {"signature B", 0, 1, 'X', true, "BM"},
        {"signature M", 1, 1, 'A', true, "BM"},
        {"file size", 2, 4, 7, false, ""},
        {"reserved", 6, 4, 0xFFFFFFFFu, false, ""},
        {"data offset 0", 10, 4, 0, true, "offset 10"},
        {"data offset inside header", 10, 4, 53, true, "offset 10"},
        {"data offset past end", 10, 4, 1000, true, "offset 10"},
        {"data offset at the end", 10, 4, static_cast<uint32_t>(good.size()), true, "offset 10"},
        {"data offset near end", 10, 4, 60, true, "truncated"},
        {"core header", 14, 4, 12, true, "offset 14"},
        {"header size 0", 14, 4, 0, true, "offset 14"},
        {"header size beyond data", 14, 4, 124, true, "offset 10"},
        {"width 0", 18, 4, 0, true, "width"},
        {"width negative", 18, 4, 0xFFFFFFFFu, true, "width"},
        {"width too large", 18, 4, 16385, true, "limit"},
        {"width larger than the rows", 18, 4, 6, true, "truncated"},
        {"height 0", 22, 4, 0, true, "height"},
        {"height negative (top-down)", 22, 4, 0xFFFFFFFDu, true, "top-down"},
        {"height too large", 22, 4, 0x7FFFFFFFu, true, "limit"},
        {"height larger than the rows", 22, 4, 4, true, "truncated"},
        {"planes", 26, 2, 3, false, ""},
        {"8 bits", 28, 2, 8, true, "bits per pixel"},
        {"16 bits", 28, 2, 16, true, "bits per pixel"},
        {"32 bits", 28, 2, 32, true, "bits per pixel"},
        {"RLE8", 30, 4, 1, true, "compression"},
        {"bit fields", 30, 4, 3, true, "compression"},
        {"image size", 34, 4, 1, false, ""},
        {"x resolution", 38, 4, 12345, false, ""},
        {"y resolution", 42, 4, 12345, false, ""},
        {"colours used", 46, 4, 256, false, ""},
        {"important colours", 50, 4, 9, false, ""},
    };
    for (const Corruption& c : corruptions) {
        Bytes file = good;
        if (c.size == 1) {
            file[c.offset] = static_cast<unsigned char>(c.value);
        } else if (c.size == 2) {
            putU16(file, c.offset, c.value);
        } else {
            putU32(file, c.offset, c.value);
        }
        PixelImage image;
        const bool loaded = image.loadFromMemory(file.data(), file.size(), "bad.bmp");
        if (c.refused) {
            EXPECT_FALSE(loaded) << c.what;
            EXPECT_EQ(image.pixels, nullptr) << c.what;
            EXPECT_EQ(image.width, 0) << c.what;
            EXPECT_EQ(image.height, 0) << c.what;
            const std::string reason = image.failureReason();
            EXPECT_NE(reason.find("bad.bmp"), std::string::npos) << c.what << ": " << reason;
            EXPECT_NE(reason.find(c.reasonPart), std::string::npos) << c.what << ": " << reason;
        } else {
            ASSERT_TRUE(loaded) << c.what << ": " << image.failureReason();
            for (size_t k = 0; k < source.size(); ++k) {
                ASSERT_EQ(image.pixels[k], source[k]) << c.what;
            }
        }
    }
}

TEST(BitmapLoad, TruncationSweepFailsCleanlyUntilPixelsComplete) {
    // 5 wide: rows of 15 data bytes and 1 pad byte; the last pad is optional.
    const std::vector<uint32_t> source = randomPixels(5, 3, 9);
    const Bytes file = makeBmp(5, 3, source);
    const size_t complete = 54 + 16 * 2 + 15;
    for (size_t length = 0; length <= file.size(); ++length) {
        // A copy of exactly that length, so that reading past it is caught by
        // the sanitizers.
        const Bytes prefix(file.begin(), file.begin() + length);
        Bitmap bitmap;
        const bool loaded = bitmap.loadFromMemory(prefix.data(), length, "short.bmp");
        if (length < complete) {
            EXPECT_FALSE(loaded) << length;
            EXPECT_EQ(bitmap.pixels(), nullptr) << length;
            EXPECT_STRNE(bitmap.failureReason(), "") << length;
        } else {
            ASSERT_TRUE(loaded) << length << ": " << bitmap.failureReason();
            // Width 5 became 6; the picture's columns 0..4 map to 0,0,1,2,3,4.
            EXPECT_EQ(bitmap.pixels()[0], bgrToRgba(source[0]));
            EXPECT_EQ(bitmap.pixels()[6 * 3 - 1], bgrToRgba(source[14]));
        }
    }
    PixelImage image;
    EXPECT_FALSE(image.loadFromMemory(nullptr, 0, "null.bmp"));
}

TEST(BitmapLoad, HugeDimensionsAreRefusedBeforeAllocation) {
    // A valid-looking header promising far more pixels than the file holds.
    Bytes file = makeBmp(1, 1, {0x123456});
    const uint32_t sizes[][2] = {
        {16384, 16384}, {16385, 1}, {1, 16385}, {0x7FFFFFFFu, 0x7FFFFFFFu}, {65536, 65536}};
    for (const auto& size : sizes) {
        putU32(file, 18, size[0]);
        putU32(file, 22, size[1]);
        PixelImage image;
        EXPECT_FALSE(image.loadFromMemory(file.data(), file.size(), "huge.bmp"));
        EXPECT_EQ(image.pixels, nullptr);
    }
}

TEST(BitmapImageMagick, BothHeaderLayoutsMatchTxtDump) {
    const char* sizes[] = {"3x2", "4x3", "5x3", "6x2"};
    for (const char* size : sizes) {
        int width = 0, height = 0;
        std::vector<uint32_t> expected;
        ASSERT_TRUE(readTxtPixels(dataPath((std::string("im-") + size + ".txt").c_str()), &width,
                                  &height, &expected))
            << size;
        for (const char* layout : {"bmp3", "v5"}) {
            const std::string path =
                dataPath((std::string("im-") + size + "-" + layout + ".bmp").c_str());
            const Bytes file = readFile(path);
            ASSERT_FALSE(file.empty()) << path;
            PixelImage image;
            ASSERT_TRUE(image.loadFromMemory(file.data(), file.size(), path.c_str()))
                << image.failureReason();
            ASSERT_EQ(image.width, width);
            ASSERT_EQ(image.height, height);
            for (size_t k = 0; k < expected.size(); ++k) {
                ASSERT_EQ(image.pixels[k], expected[k]) << path << " pixel " << k;
            }
            // The file path reads the same pixels as the memory path.
            PixelImage fromFile;
            ASSERT_TRUE(fromFile.load(path.c_str())) << fromFile.failureReason();
            ASSERT_EQ(fromFile.width, width);
            EXPECT_EQ(std::memcmp(fromFile.pixels, image.pixels, expected.size() * 4), 0) << path;

            // Through Bitmap: R, G, B, 0 bytes and an even width.
            Bitmap bitmap;
            ASSERT_TRUE(bitmap.load(path.c_str())) << bitmap.failureReason();
            EXPECT_EQ(bitmap.width() % 2, 0);
            EXPECT_EQ(bitmap.height(), height);
            const unsigned char* bytes = reinterpret_cast<const unsigned char*>(bitmap.pixels());
            EXPECT_EQ(bytes[0], expected[0] >> 16) << path;
            EXPECT_EQ(bytes[1], (expected[0] >> 8) & 0xFF) << path;
            EXPECT_EQ(bytes[2], expected[0] & 0xFF) << path;
            EXPECT_EQ(bytes[3], 0) << path;
        }
    }
}

TEST(BitmapImageMagick, OtherFormatsAreRefusedWithAReason) {
    struct Case {
        const char* file;
        const char* reasonPart;
    } cases[] = {{"im-5x3-palette.bmp", "4 bits per pixel"},
                 {"im-5x3-rle8.bmp", "8 bits per pixel"},
                 {"im-5x3-alpha32.bmp", "32 bits per pixel"},
                 {"im-5x3-rgb565.bmp", "16 bits per pixel"},
                 {"im-5x3-bmp2.bmp", "12-byte information header"}};
    for (const Case& c : cases) {
        const std::string path = dataPath(c.file);
        Bitmap bitmap;
        EXPECT_FALSE(bitmap.load(path.c_str())) << c.file;
        EXPECT_EQ(bitmap.pixels(), nullptr);
        EXPECT_EQ(bitmap.width(), 0);
        const std::string reason = bitmap.failureReason();
        EXPECT_NE(reason.find(c.file), std::string::npos) << reason;
        EXPECT_NE(reason.find(c.reasonPart), std::string::npos) << reason;
    }
}

TEST(BitmapLoad, FileStatesAfterFailure) {
    const std::vector<uint32_t> source = randomPixels(4, 4, 1);
    const std::string goodPath = writeTempFile(makeBmp(4, 4, source), "good.bmp");
    Bitmap bitmap;
    EXPECT_EQ(bitmap.width(), 0);
    EXPECT_EQ(bitmap.pixels(), nullptr);
    bitmap.resizeToPowerOfTwo(); // no image: nothing happens
    ASSERT_TRUE(bitmap.load(goodPath.c_str())) << bitmap.failureReason();
    ASSERT_EQ(bitmap.width(), 4);

    // A file that cannot be opened keeps the previous image.
    EXPECT_FALSE(bitmap.load((goodPath + ".missing").c_str()));
    EXPECT_NE(std::string(bitmap.failureReason()).find(".missing: cannot open: No such file"),
              std::string::npos)
        << bitmap.failureReason();
    ASSERT_NE(bitmap.pixels(), nullptr);
    EXPECT_EQ(bitmap.width(), 4);
    EXPECT_EQ(bitmap.pixels()[5], bgrToRgba(source[5]));

    // A file that opens but is not a BMP leaves an empty image.
    Bytes bad = makeBmp(4, 4, source);
    bad[0] = 0x89;
    const std::string badPath = writeTempFile(bad, "bad.bmp");
    EXPECT_FALSE(bitmap.load(badPath.c_str()));
    // The bytes it starts with are quoted, the one outside ASCII escaped.
    EXPECT_NE(std::string(bitmap.failureReason()).find("starts with \"\\x89M\", not \"BM\""),
              std::string::npos)
        << bitmap.failureReason();
    EXPECT_EQ(bitmap.pixels(), nullptr);
    EXPECT_EQ(bitmap.width(), 0);
    EXPECT_EQ(bitmap.height(), 0);

    // Truncated on disk: refused by the file path as by the memory path.
    Bytes full = makeBmp(9, 7, randomPixels(9, 7, 2));
    full.resize(full.size() - 30);
    const std::string shortPath = writeTempFile(full, "short.bmp");
    EXPECT_FALSE(bitmap.load(shortPath.c_str()));
    EXPECT_NE(std::string(bitmap.failureReason()).find("truncated"), std::string::npos);
    std::remove(goodPath.c_str());
    std::remove(badPath.c_str());
    std::remove(shortPath.c_str());
}

TEST(BitmapLoad, FileAndMemoryPathsAgreeOnRandomImages) {
    std::mt19937 random(20240601);
    for (int round = 0; round < 25; ++round) {
        const int width = 1 + static_cast<int>(random() % 40);
        const int height = 1 + static_cast<int>(random() % 40);
        const size_t gap = random() % 3 == 0 ? random() % 100 : 0;
        const Bytes file = makeBmp(width, height, randomPixels(width, height, random()), gap);
        const std::string path = writeTempFile(file, "random.bmp");
        Bitmap fromFile, fromMemory;
        ASSERT_TRUE(fromFile.load(path.c_str())) << fromFile.failureReason();
        ASSERT_TRUE(fromMemory.loadFromMemory(file.data(), file.size(), "random.bmp"));
        ASSERT_EQ(fromFile.width(), fromMemory.width());
        ASSERT_EQ(fromFile.width(), width + width % 2);
        ASSERT_EQ(fromFile.height(), height);
        EXPECT_EQ(std::memcmp(fromFile.pixels(), fromMemory.pixels(),
                              static_cast<size_t>(fromFile.width()) * height * 4),
                  0)
            << width << "x" << height;
        std::remove(path.c_str());
    }
}
