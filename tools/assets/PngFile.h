// PngFile: writing a picture the generator made as a PNG file through
// libpng's simplified API (the icon, the bundled map's heightmap).
#pragma once

#include <cstdint>
#include <string>

// Writes width x height pixels of `format` (a PNG_FORMAT_* value of libpng)
// from `pixels` to `path`. False with `reason` (the path and libpng's
// message) when the file cannot be written.
bool writePngFile(const std::string& path, uint32_t width, uint32_t height, uint32_t format,
                  const void* pixels, std::string& reason);
