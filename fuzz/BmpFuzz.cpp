// libFuzzer target for the BMP reader: arbitrary bytes go through
// Bitmap::loadFromMemory and, when they load, through the power-of-two
// resample, so that every pixel written and read stays inside its block.
#include "render/Bitmap.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bitmap bitmap;
    if (bitmap.loadFromMemory(data, size, "fuzz.bmp")) {
        // Keep the work per input small: only resample modest pictures.
        if (bitmap.width() <= 1024 && bitmap.height() <= 1024) {
            bitmap.resizeToPowerOfTwo();
        }
        const uint32_t* pixels = bitmap.pixels();
        const size_t count = static_cast<size_t>(bitmap.width()) * bitmap.height();
        volatile uint32_t sum = 0;
        for (size_t k = 0; k < count; k += 97) {
            sum = sum + pixels[k];
        }
    }
    return 0;
}
