// MapFile: the version line, the four keys with their checked numbers, the
// heightmap read and the terrain built from it.
#include "app/world/MapFile.h"

#include "app/world/HeightmapReader.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const char* const versionLine = "dravonel map 1";
// Bounds that no sensible map exceeds: they keep a typo from building a
// world in which single precision can no longer hold the truck together.
const float largestSpacing = 100.0f;  // m
const float largestHeight = 10000.0f; // m

// Splits a line into at most `most` whitespace-separated words; returns how
// many there were (more than `most` gives most + 1), or -1 for a quote that
// does not end. A word in double quotes may hold spaces and '#' (a path such
// as "my maps/dunes.png"); the quotes are not part of it.
int splitWords(const std::string& line, std::string* words, int most) {
    int count = 0;
    size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t' || line[at] == '\r')) {
            ++at;
        }
        if (at >= line.size() || line[at] == '#') {
            break;
        }
        std::string word;
        if (line[at] == '"') {
            const size_t close = line.find('"', at + 1);
            if (close == std::string::npos) {
                return -1;
            }
            word = line.substr(at + 1, close - at - 1);
            at = close + 1;
        } else {
            size_t end = at;
            while (end < line.size() && line[end] != ' ' && line[end] != '\t' &&
                   line[end] != '\r' && line[end] != '#') {
                ++end;
            }
            word = line.substr(at, end - at);
            at = end;
        }
        if (count == most) {
            return most + 1;
        }
        words[count++] = word;
    }
    return count;
}

// A number as short as it can be written: 128, 0.5, 1e+06.
std::string shortNumber(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
    return text;
}

// The word in quotes, cut short and with control bytes shown as '?'.
std::string quoted(const std::string& word) {
    std::string shown = word.substr(0, 40);
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126) {
            c = '?';
        }
    }
    return "'" + shown + (word.size() > 40 ? "...'" : "'");
}

} // namespace

std::string MapFile::startPlace() const {
    return mapName + ": line " + std::to_string(startLine);
}

bool MapFile::fail(const std::string& what) {
    reason = what;
    return false;
}

bool MapFile::load(const char* path) {
    errno = 0;
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return fail(std::string(path) + ": cannot open: " + std::strerror(errno ? errno : ENOENT));
    }
    std::vector<char> text(largestFile + 1);
    const size_t size = std::fread(text.data(), 1, text.size(), file);
    const bool readError = std::ferror(file) != 0;
    std::fclose(file);
    if (readError) {
        return fail(std::string(path) + ": cannot read");
    }
    if (size > largestFile) {
        return fail(std::string(path) + ": larger than 64 KB, not a map file");
    }
    const char* slash = std::strrchr(path, '/');
    const std::string folder = slash ? std::string(path, slash + 1) : std::string();
    if (!parse(text.data(), size, path, folder)) {
        return false;
    }
    HeightmapReader image;
    if (!image.read(heightmapPath.c_str())) {
        return fail(std::string(path) + ": heightmap " + image.failureReason());
    }
    if (!buildTerrain(image.levels.data(), image.width, image.height, heightmapPath.c_str())) {
        // A start off the map is the map file's mistake, named by its line.
        return fail(startOffMap ? reason : std::string(path) + ": heightmap " + reason);
    }
    return true;
}

bool MapFile::parse(const char* text, size_t size, const char* name, const std::string& folder) {
    mapName = name;
    startLine = 0;
    const std::string where = std::string(name) + ": line ";
    bool seenVersion = false;
    bool seenHeightmap = false;
    bool seenSpacing = false;
    bool seenHeight = false;
    bool seenStart = false;
    furtherStarts.clear();
    int lineNumber = 0;
    size_t at = 0;
    while (at < size) {
        size_t end = at;
        while (end < size && text[end] != '\n') {
            ++end;
        }
        std::string line(text + at, end - at);
        at = end + 1;
        ++lineNumber;
        const std::string place = where + std::to_string(lineNumber) + ": ";
        if (line.find('\0') != std::string::npos) {
            return fail(place + "a zero byte; a map file is text");
        }
        std::string words[5];
        const int count = splitWords(line, words, 4);
        if (count < 0) {
            return fail(place + "a quote that does not end on its line");
        }
        if (count == 0) {
            continue;
        }
        if (!seenVersion) {
            if (count != 3 || words[0] + " " + words[1] + " " + words[2] != versionLine) {
                return fail(place + "not a map file: the first line must be \"" + versionLine +
                            "\"");
            }
            seenVersion = true;
            continue;
        }
        const std::string& key = words[0];
        int expected = 0;
        bool* seen = nullptr;
        if (key == "heightmap") {
            expected = 1;
            seen = &seenHeightmap;
        } else if (key == "spacing") {
            expected = 1;
            seen = &seenSpacing;
        } else if (key == "height") {
            expected = 1;
            seen = &seenHeight;
        } else if (key == "start") {
            expected = 3;
            seen = &seenStart;
        } else {
            return fail(place + "unknown key " + quoted(key) +
                        " (the keys are heightmap, spacing, height and start)");
        }
        const bool furtherStart = key == "start" && *seen;
        if (*seen && !furtherStart) {
            return fail(place + key + " is given twice");
        }
        *seen = true;
        if (count - 1 != expected) {
            return fail(place + key + " takes " + (expected == 1 ? "one value" : "three values"));
        }
        if (key == "heightmap") {
            if (words[1].empty()) {
                return fail(place + "heightmap: an empty path");
            }
            heightmapPath = words[1][0] == '/' ? words[1] : folder + words[1];
            continue;
        }
        float values[3] = {0.0f, 0.0f, 0.0f};
        for (int k = 0; k < expected; ++k) {
            const std::string& word = words[1 + k];
            char* stop = nullptr;
            errno = 0;
            const double value = std::strtod(word.c_str(), &stop);
            if (stop == word.c_str() || *stop != '\0') {
                return fail(place + key + ": " + quoted(word) + " is not a number");
            }
            if (!std::isfinite(value) || errno == ERANGE || std::fabs(value) > 1.0e9) {
                return fail(place + key + ": " + quoted(word) + " is not a finite number");
            }
            if (value < 0.0) {
                return fail(place + key + ": " + quoted(word) + " is negative");
            }
            values[k] = static_cast<float>(value);
        }
        if (key == "spacing") {
            if (!(values[0] > 0.0f) || values[0] > largestSpacing) {
                return fail(place + "spacing must be above 0 and at most 100 m");
            }
            spacing = values[0];
        } else if (key == "height") {
            if (values[0] > largestHeight) {
                return fail(place + "height must be at most 10000 m");
            }
            heightRange = values[0];
        } else {
            if (values[2] >= 360.0f) {
                return fail(place + "start: the heading is in degrees, 0 up to 360");
            }
            if (furtherStart) {
                if (furtherStarts.size() >= 63) {
                    return fail(place + "start: at most 64 starts");
                }
                furtherStarts.push_back(Start{values[0], values[1], values[2]});
                continue;
            }
            startRight = values[0];
            startDown = values[1];
            startHeading = values[2];
            startLine = lineNumber;
        }
    }
    if (!seenVersion) {
        return fail(std::string(name) + ": empty; a map file begins \"" + versionLine + "\"");
    }
    const char* missing = !seenHeightmap ? "heightmap"
                          : !seenSpacing ? "spacing"
                          : !seenHeight  ? "height"
                          : !seenStart   ? "start"
                                         : nullptr;
    if (missing != nullptr) {
        return fail(std::string(name) + ": no " + missing + " line");
    }
    return true;
}

bool MapFile::buildTerrain(const float* levels, int width, int height, const char* imageName) {
    if (width < 2 || height < 2 || width > Terrain::largestSampleCount ||
        height > Terrain::largestSampleCount) {
        return fail(std::string(imageName) + ": a heightmap has 2 to 1025 samples on each side");
    }
    const float extentX = spacing * static_cast<float>(width - 1);
    const float extentZ = spacing * static_cast<float>(height - 1);
    startOffMap = startRight > extentX || startDown > extentZ;
    if (startOffMap) {
        return fail(startPlace() + ": start (" + shortNumber(startRight) + ", " +
                    shortNumber(startDown) + ") m lies outside the " + shortNumber(extentX) +
                    " x " + shortNumber(extentZ) + " m map");
    }
    // Terrain samples are stored x-major: sample (i, j) at samplesZ i + j
    // is image column i of row j.
    std::vector<float> heights;
    heights.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int j = 0; j < height; ++j) {
        for (int i = 0; i < width; ++i) {
            heights[static_cast<size_t>(height) * i + j] =
                levels[static_cast<size_t>(width) * j + i] * heightRange;
        }
    }
    const float originX = -0.5f * extentX;
    const float originZ = -0.5f * extentZ;
    if (!terrain.build(heights.data(), width, height, spacing, originX, originZ)) {
        return fail(std::string(imageName) + ": out of memory for the terrain");
    }
    for (const Start& further : furtherStarts) {
        if (further.x > extentX || further.z > extentZ) {
            return fail(std::string(imageName) + ": a start (" + std::to_string(further.x) + ", " +
                        std::to_string(further.z) + ") m lies outside the " +
                        std::to_string(extentX) + " x " + std::to_string(extentZ) + " m map");
        }
    }
    startX = originX + startRight;
    startZ = originZ + startDown;
    startHeadingRadians = startHeading * 3.14159265f / 180.0f;
    starts.clear();
    starts.push_back(Start{startX, startZ, startHeadingRadians});
    for (const Start& further : furtherStarts) {
        starts.push_back(Start{originX + further.x, originZ + further.z,
                               further.headingRadians * 3.14159265f / 180.0f});
    }
    return true;
}
