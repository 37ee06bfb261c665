// BmpWriter: the file layout against the format's rules, and the pixels as
// two real readers see them: our Bitmap reader and ImageMagick.
#include "tools/assets/BmpWriter.h"
#include "render/Bitmap.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

unsigned readU32(const std::vector<unsigned char>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<unsigned>(b[at + 3]) << 24);
}

BmpWriter randomImage(int width, int height, unsigned seed) {
    BmpWriter image(width, height);
    std::mt19937 random(seed);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, random() % 256, random() % 256, random() % 256);
        }
    }
    return image;
}

} // namespace

TEST(BmpWriter, HeaderAndRowPaddingForEveryWidthModFour) {
    for (int width = 1; width <= 8; ++width) {
        BmpWriter image = randomImage(width, 3, 7u + width);
        std::vector<unsigned char> bytes;
        ASSERT_TRUE(image.encode(bytes));
        const size_t stride = (3 * width + 3) / 4 * 4;
        ASSERT_EQ(bytes.size(), 54 + 3 * stride) << "width " << width;
        EXPECT_EQ(bytes[0], 'B');
        EXPECT_EQ(bytes[1], 'M');
        EXPECT_EQ(readU32(bytes, 2), bytes.size());
        EXPECT_EQ(readU32(bytes, 10), 54u);
        EXPECT_EQ(readU32(bytes, 14), 40u);
        EXPECT_EQ(readU32(bytes, 18), static_cast<unsigned>(width));
        EXPECT_EQ(readU32(bytes, 22), 3u);
        EXPECT_EQ(bytes[28], 24);
        EXPECT_EQ(readU32(bytes, 30), 0u);
        // Bottom-up rows, B G R, zero padding.
        for (int row = 0; row < 3; ++row) {
            const unsigned char* stored = &bytes[54 + row * stride];
            for (int x = 0; x < width; ++x) {
                unsigned char rgb[3];
                ASSERT_TRUE(image.pixel(x, 2 - row, rgb));
                EXPECT_EQ(stored[3 * x], rgb[2]);
                EXPECT_EQ(stored[3 * x + 1], rgb[1]);
                EXPECT_EQ(stored[3 * x + 2], rgb[0]);
            }
            for (size_t pad = 3 * width; pad < stride; ++pad) {
                EXPECT_EQ(stored[pad], 0);
            }
        }
    }
}

TEST(BmpWriter, RefusesSizesItCannotWrite) {
    std::vector<unsigned char> bytes;
    EXPECT_FALSE(BmpWriter(0, 4).encode(bytes));
    EXPECT_FALSE(BmpWriter(4, -1).encode(bytes));
    EXPECT_FALSE(BmpWriter(BmpWriter::maxSide + 1, 1).encode(bytes));
    BmpWriter image(2, 2);
    image.setPixel(5, 5, 1, 2, 3); // outside: ignored
    unsigned char rgb[3];
    EXPECT_FALSE(image.pixel(2, 0, rgb));
    EXPECT_FALSE(image.writeFile("/nonexistent-dir/x.bmp"));
    EXPECT_NE(std::string(image.failureReason()).find("/nonexistent-dir/x.bmp"), std::string::npos);
}

TEST(BmpWriter, OurReaderSeesTheSamePixelsTopRowFirst) {
    BmpWriter image = randomImage(16, 5, 42);
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(image.encode(bytes));
    Bitmap bitmap;
    ASSERT_TRUE(bitmap.loadFromMemory(bytes.data(), bytes.size(), "random.bmp"))
        << bitmap.failureReason();
    ASSERT_EQ(bitmap.width(), 16);
    ASSERT_EQ(bitmap.height(), 5);
    const unsigned char* pixels = reinterpret_cast<const unsigned char*>(bitmap.pixels());
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 16; ++x) {
            unsigned char rgb[3];
            image.pixel(x, y, rgb);
            const unsigned char* p = pixels + 4 * (y * 16 + x);
            EXPECT_EQ(p[0], rgb[0]);
            EXPECT_EQ(p[1], rgb[1]);
            EXPECT_EQ(p[2], rgb[2]);
        }
    }
}

TEST(BmpWriter, ImageMagickReadsTheSamePixels) {
    const char* tool = "/usr/bin/convert";
    if (access(tool, X_OK) != 0) {
        GTEST_SKIP() << "ImageMagick's convert is not installed (Debian package imagemagick)";
    }
    // An odd width exercises the row padding.
    BmpWriter image = randomImage(5, 3, 99);
    char path[] = "/tmp/dravonel-bmp-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    std::string file = std::string(path) + ".bmp";
    ASSERT_TRUE(image.writeFile(file.c_str()));
    std::string command = std::string(tool) + " " + file + " -depth 8 rgb:-";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<unsigned char> raw(5 * 3 * 3 + 1);
    size_t got = fread(raw.data(), 1, raw.size(), pipe);
    int status = pclose(pipe);
    std::remove(file.c_str());
    std::remove(path);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(got, 5u * 3u * 3u);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            unsigned char rgb[3];
            image.pixel(x, y, rgb);
            for (int c = 0; c < 3; ++c) {
                EXPECT_EQ(raw[(y * 5 + x) * 3 + c], rgb[c]) << x << "," << y;
            }
        }
    }
}
