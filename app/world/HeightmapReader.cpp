// HeightmapReader: the PNG signature and header checks, then the rows
// decoded through libpng from a buffer in memory.
#include "app/world/HeightmapReader.h"

#include "physics/Terrain.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace {

// The bytes libpng reads from, and the reason of its first error or warning.
struct Source {
    const unsigned char* bytes;
    size_t size;
    size_t offset;
    char message[160];
};

void readBytes(png_structp png, png_bytep out, png_size_t count) {
    Source* source = static_cast<Source*>(png_get_io_ptr(png));
    if (count > source->size - source->offset) {
        png_error(png, "the file ends early (truncated)");
    }
    std::memcpy(out, source->bytes + source->offset, count);
    source->offset += count;
}

void onError(png_structp png, png_const_charp message) {
    Source* source = static_cast<Source*>(png_get_error_ptr(png));
    if (source->message[0] == '\0') {
        std::snprintf(source->message, sizeof source->message, "%s", message);
    }
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// The most libpng may allocate for one chunk's data, bytes.
const png_alloc_size_t largestChunk = 4 * 1024 * 1024;

} // namespace

bool HeightmapReader::fail(const char* name, const std::string& what) {
    reason = std::string(name) + ": " + what;
    levels.clear();
    width = 0;
    height = 0;
    return false;
}

bool HeightmapReader::read(const char* path) {
    errno = 0;
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return fail(path, std::string("cannot open: ") + std::strerror(errno ? errno : ENOENT));
    }
    std::vector<unsigned char> bytes;
    unsigned char chunk[65536];
    size_t got = 0;
    bool tooLarge = false;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        if (bytes.size() + got > largestFile) {
            tooLarge = true;
            break;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    const bool readError = std::ferror(file) != 0;
    std::fclose(file);
    if (readError) {
        return fail(path, "cannot read");
    }
    if (tooLarge) {
        return fail(path, "larger than 64 MB, too large for a heightmap");
    }
    return readMemory(bytes.data(), bytes.size(), path);
}

bool HeightmapReader::readMemory(const unsigned char* bytes, size_t size, const char* name) {
    levels.clear();
    width = 0;
    height = 0;
    if (size < 8 || png_sig_cmp(bytes, 0, 8) != 0) {
        return fail(name, "not a PNG file");
    }
    // The header chunk: length 13, "IHDR", width and height big-endian.
    // Checked here before libpng sees the file, so that absurd sizes are
    // refused with their own reason.
    if (size < 33) {
        return fail(name, "truncated PNG: the file ends at byte " + std::to_string(size) +
                              ", inside its image header");
    }
    if (std::memcmp(bytes + 12, "IHDR", 4) != 0) {
        return fail(name, "corrupt PNG: no image header");
    }
    const unsigned long fileWidth = (static_cast<unsigned long>(bytes[16]) << 24) |
                                    (bytes[17] << 16) | (bytes[18] << 8) | bytes[19];
    const unsigned long fileHeight = (static_cast<unsigned long>(bytes[20]) << 24) |
                                     (bytes[21] << 16) | (bytes[22] << 8) | bytes[23];
    const unsigned long largest = Terrain::largestSampleCount;
    if (fileWidth < 2 || fileHeight < 2 || fileWidth > largest || fileHeight > largest) {
        return fail(name, "the image is " + std::to_string(fileWidth) + " x " +
                              std::to_string(fileHeight) +
                              " pixels; a heightmap has 2 to 1025 on each side");
    }
    const int bitDepth = bytes[24];
    const int colourType = bytes[25];
    if (colourType != PNG_COLOR_TYPE_GRAY) {
        return fail(name, "a colour or transparent image; a heightmap is a grayscale PNG "
                          "without alpha");
    }
    if (bitDepth != 8 && bitDepth != 16) {
        return fail(name, "grayscale with " + std::to_string(bitDepth) +
                              " bits per sample; a heightmap has 8 or 16");
    }

    // Every chunk must lie within the file, up to the closing IEND: libpng
    // allocates a chunk's data by its stated length before it reads it.
    size_t offset = 8;
    bool ended = false;
    while (!ended) {
        if (size - offset < 12) {
            return fail(name, "truncated PNG: the file ends at byte " + std::to_string(size) +
                                  " before its IEND chunk");
        }
        const unsigned long length = (static_cast<unsigned long>(bytes[offset]) << 24) |
                                     (bytes[offset + 1] << 16) | (bytes[offset + 2] << 8) |
                                     bytes[offset + 3];
        if (length > size - offset - 12) {
            return fail(name, "truncated or corrupt PNG: the chunk at byte " +
                                  std::to_string(offset) + " claims " + std::to_string(length) +
                                  " bytes, more than the file holds");
        }
        ended = std::memcmp(bytes + offset + 4, "IEND", 4) == 0;
        offset += 12 + length;
    }

    Source source = {bytes, size, 0, {0}};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, onError, onWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return fail(name, "out of memory for the PNG reader");
    }
    // Allocated before the jump point so that no object with a destructor
    // is skipped over by libpng's error jump.
    const int rowBytes = static_cast<int>(fileWidth) * (bitDepth / 8);
    std::vector<unsigned char> row(static_cast<size_t>(rowBytes));
    levels.resize(static_cast<size_t>(fileWidth) * fileHeight);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        // Every chunk up to IEND is there (checked above), so what libpng
        // stumbles on is damage inside the file, not a file cut short.
        return fail(name, std::string("corrupt PNG: ") + source.message);
    }
    png_set_user_limits(png, Terrain::largestSampleCount, Terrain::largestSampleCount);
    // No chunk of a heightmap needs more: a hostile length (or a text chunk
    // that inflates without end) must not make libpng allocate gigabytes.
    png_set_chunk_malloc_max(png, largestChunk);
    png_set_read_fn(png, &source, readBytes);
    png_read_info(png, info);
    if (png_get_interlace_type(png, info) != PNG_INTERLACE_NONE) {
        png_destroy_read_struct(&png, &info, nullptr);
        return fail(name, "an interlaced PNG; save the heightmap without interlacing");
    }
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<png_size_t>(rowBytes)) {
        png_destroy_read_struct(&png, &info, nullptr);
        return fail(name, "unexpected row size");
    }
    // 1/255 or 1/65535: black is level 0, white level 1.
    const float scale = bitDepth == 16 ? 1.0f / 65535.0f : 1.0f / 255.0f;
    for (unsigned long y = 0; y < fileHeight; ++y) {
        png_read_row(png, row.data(), nullptr);
        float* out = &levels[y * fileWidth];
        if (bitDepth == 16) {
            for (unsigned long x = 0; x < fileWidth; ++x) {
                out[x] = static_cast<float>((row[2 * x] << 8) | row[2 * x + 1]) * scale;
            }
        } else {
            for (unsigned long x = 0; x < fileWidth; ++x) {
                out[x] = static_cast<float>(row[x]) * scale;
            }
        }
    }
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    width = static_cast<int>(fileWidth);
    height = static_cast<int>(fileHeight);
    return true;
}
