// libFuzzer target for the 3DS reader and the mesh built from it: arbitrary
// bytes go through Loader3ds::loadFromMemory and Mesh::load3dsFromMemory for
// each object, without a renderer.
#include "render/Loader3ds.h"
#include "render/Mesh.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Loader3ds loader;
    if (!loader.loadFromMemory(data, size, "fuzz.3ds")) {
        return 0;
    }
    // Every face must name a vertex of its object.
    for (int i = 0; i < loader.objectCount; ++i) {
        const Object3ds& object = loader.objects[i];
        for (int k = 0; k < 3 * object.faceCount; ++k) {
            if (object.faces[k] >= static_cast<uint32_t>(object.vertexCount)) {
                std::abort();
            }
        }
    }
    const int objects = loader.objectCount < 4 ? loader.objectCount : 4;
    for (int i = 0; i <= objects; ++i) {
        Mesh mesh(nullptr);
        mesh.load3dsFromMemory(data, size, "fuzz.3ds", i, 20.0f);
    }
    return 0;
}
