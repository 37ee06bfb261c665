// PngWriter: libpng's simplified writing interface, which reports errors in
// the image record instead of jumping out of the caller.
#include "app/PngWriter.h"

#include <cerrno>
#include <cstring>
#include <png.h>

PngWriter::~PngWriter() {
    if (file != nullptr) {
        std::fclose(file);
    }
}

bool PngWriter::open(const char* name) {
    reason.clear();
    if (file != nullptr) {
        std::fclose(file);
    }
    path = name;
    errno = 0;
    file = std::fopen(name, "wb");
    if (file == nullptr) {
        reason = path + ": cannot write the PNG: " + std::strerror(errno ? errno : EACCES);
        return false;
    }
    return true;
}

void PngWriter::discard() {
    if (file != nullptr) {
        std::fclose(file);
        file = nullptr;
        std::remove(path.c_str());
    }
}

bool PngWriter::writeOpened(int width, int height, const unsigned char* rgb, bool bottomUp) {
    reason.clear();
    if (file == nullptr) {
        reason = path + ": not open";
        return false;
    }
    if (width <= 0 || height <= 0) {
        discard();
        reason = path + ": no pixels to write";
        return false;
    }
    png_image image;
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    // A negative row stride makes libpng start from the last row in memory.
    const png_int_32 stride = (bottomUp ? -3 : 3) * width;
    const bool written = png_image_write_to_stdio(&image, file, 0, rgb, stride, nullptr) != 0;
    if (!written) {
        reason = path + ": cannot write the PNG: " + image.message;
        png_image_free(&image);
    }
    // A full disk shows when the buffered bytes go out.
    errno = 0;
    const bool closed = std::fclose(file) == 0;
    file = nullptr;
    if (written && !closed) {
        reason = path + ": cannot write the PNG: " + std::strerror(errno ? errno : EIO);
    }
    if (!written || !closed) {
        std::remove(path.c_str());
        return false;
    }
    return true;
}

bool PngWriter::write(const char* name, int width, int height, const unsigned char* rgb,
                      bool bottomUp) {
    return open(name) && writeOpened(width, height, rgb, bottomUp);
}
