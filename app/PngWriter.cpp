// PngWriter: libpng's simplified writing interface, which reports errors in
// the image record instead of jumping out of the caller.
#include "app/PngWriter.h"

#include <cstring>
#include <png.h>

bool PngWriter::write(const char* path, int width, int height, const unsigned char* rgb,
                      bool bottomUp) {
    reason.clear();
    if (width <= 0 || height <= 0) {
        reason = std::string(path) + ": no pixels to write";
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
    if (png_image_write_to_file(&image, path, 0, rgb, stride, nullptr) == 0) {
        reason = std::string(path) + ": cannot write the PNG: " + image.message;
        png_image_free(&image);
        return false;
    }
    return true;
}
