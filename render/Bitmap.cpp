// Bitmap: loading BMP files into an owned PixelImage and preparing the pixels
// for texture upload (byte order, even width, power-of-two size).
#include "render/Bitmap.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

Bitmap::Bitmap() : image(nullptr) {
    reason[0] = '\0';
}

Bitmap::~Bitmap() {
    delete image;
}

void Bitmap::keepReason(const char* text) {
    std::snprintf(reason, sizeof(reason), "%s", text);
}

void Bitmap::replaceImage() {
    delete image;
    image = new (std::nothrow) PixelImage();
}

void Bitmap::finishLoad() {
    swapRedBlue(image->pixels, image->width, image->height);
    makeEvenWidth();
}

bool Bitmap::load(const char* fileName) {
    // Only a file that exists replaces the current image.
    errno = 0;
    std::FILE* probe = std::fopen(fileName, "rb");
    if (probe == nullptr) {
        std::snprintf(reason, sizeof(reason), "%s: cannot open: %s", fileName,
                      std::strerror(errno != 0 ? errno : ENOENT));
        return false;
    }
    std::fclose(probe);
    replaceImage();
    if (image == nullptr) {
        std::snprintf(reason, sizeof(reason), "%s: out of memory", fileName);
        return false;
    }
    if (!image->load(fileName)) {
        keepReason(image->failureReason());
        return false;
    }
    finishLoad();
    return true;
}

bool Bitmap::loadFromMemory(const unsigned char* data, size_t size, const char* name) {
    replaceImage();
    if (image == nullptr) {
        std::snprintf(reason, sizeof(reason), "%s: out of memory",
                      name != nullptr ? name : "(bmp)");
        return false;
    }
    if (!image->loadFromMemory(data, size, name)) {
        keepReason(image->failureReason());
        return false;
    }
    finishLoad();
    return true;
}

int Bitmap::width() const {
    return image != nullptr ? image->width : 0;
}

int Bitmap::height() const {
    return image != nullptr ? image->height : 0;
}

uint32_t* Bitmap::pixels() {
    return image != nullptr ? image->pixels : nullptr;
}

void Bitmap::resize(int newWidth, int newHeight) {
    if (image != nullptr) {
        image->resample(newWidth, newHeight);
    }
}

void Bitmap::resizeToPowerOfTwo() {
    if (image != nullptr) {
        resize(powerOfTwoSize(image->width), powerOfTwoSize(image->height));
    }
}

void Bitmap::makeEvenWidth() {
    if (image != nullptr && image->width % 2 != 0) {
        resize(image->width + 1, image->height);
    }
}

int Bitmap::powerOfTwoSize(int n) {
    // 64-bit so that n * n and the doubling cannot overflow for any int.
    const long long value = n;
    long long p = 1;
    while (p < value) {
        p *= 2;
    }
    // Round down when n < p / sqrt(2), i.e. n^2 < p^2 / 2: the nearer power
    // of two on a logarithmic scale.
    if (value * value < (p * p) / 2) {
        p /= 2;
    }
    if (p < 16) {
        return 16;
    }
    if (p > 2048) {
        return 2048;
    }
    return static_cast<int>(p);
}

void Bitmap::swapRedBlue(uint32_t* pixels, int width, int height) {
    if (pixels == nullptr || width <= 0 || height <= 0) {
        return;
    }
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    for (size_t k = 0; k < count; ++k) {
        const uint32_t value = pixels[k];
        pixels[k] = (value & 0xFF00FF00u) | ((value >> 16) & 0xFFu) | ((value & 0xFFu) << 16);
    }
}
