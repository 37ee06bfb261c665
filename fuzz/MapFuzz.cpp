// libFuzzer target for the map file and heightmap readers: the bytes before
// the first zero byte are a map file's text, the rest its heightmap PNG.
// What both accept is built into a terrain and queried, so that every size
// the readers let through is one the terrain can hold.
#include "app/world/HeightmapReader.h"
#include "app/world/MapFile.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const void* zero = std::memchr(data, 0, size);
    const size_t textSize =
        zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - data) : size;
    MapFile map;
    const bool parsed = map.parse(reinterpret_cast<const char*>(data), textSize, "fuzz.map", "");
    if (zero == nullptr) {
        return 0;
    }
    HeightmapReader image;
    if (!image.readMemory(data + textSize + 1, size - textSize - 1, "fuzz.png") || !parsed) {
        return 0;
    }
    if (map.buildTerrain(image.levels.data(), image.width, image.height, "fuzz.png")) {
        const Terrain& t = map.terrain;
        volatile float sum = 0.0f;
        Vec3 normal;
        sum = sum + t.query(Vec3(map.startX, 0.0f, map.startZ), &normal, nullptr);
        sum = sum + t.query(Vec3(t.maxX() - 0.001f, 0.0f, t.maxZ() - 0.001f), &normal, nullptr);
        sum = sum + t.lowestHeight();
    }
    return 0;
}
