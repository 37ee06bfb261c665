// PngFile: one PNG written through libpng's simplified API.
#include "tools/assets/PngFile.h"

#include <png.h>

#include <cstring>

bool writePngFile(const std::string& path, uint32_t width, uint32_t height, uint32_t format,
                  const void* pixels, std::string& reason) {
    png_image image;
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = format;
    if (png_image_write_to_file(&image, path.c_str(), 0, pixels, 0, nullptr) == 0) {
        reason = path + ": cannot write the PNG: " + image.message;
        png_image_free(&image);
        return false;
    }
    return true;
}
