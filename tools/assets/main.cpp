// dravonel-assets: writes every file the program loads (the soft-body truck,
// the body and wheel models, the material textures and the sky box) into the
// folder given as the only argument. Everything is computed; the output is
// the same, byte for byte, on every run. With --example FILE it writes only
// the example model of docs/model-format.md to FILE; with --icon FILE only
// the desktop menu's icon, a 64 x 64 PNG.
#include "tools/assets/BmpWriter.h"
#include "tools/assets/BodyMesh.h"
#include "tools/assets/DunesMap.h"
#include "tools/assets/ExampleModel.h"
#include "tools/assets/IconImage.h"
#include "tools/assets/SkyBox.h"
#include "tools/assets/TextureGenerator.h"
#include "tools/assets/ThreeDsWriter.h"
#include "tools/assets/TruckModel.h"
#include "tools/assets/WheelMesh.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <sys/stat.h>

namespace {

// File units of the body model: the program loads it at scale 20.
const float bodyFileScale = 20.0f;

bool writeText(const std::string& path, const std::string& text) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "dravonel-assets: %s: cannot open for writing\n", path.c_str());
        return false;
    }
    size_t written = std::fwrite(text.data(), 1, text.size(), file);
    bool closed = std::fclose(file) == 0;
    if (written != text.size() || !closed) {
        std::fprintf(stderr, "dravonel-assets: %s: write failed\n", path.c_str());
        return false;
    }
    return true;
}

bool writeImage(const std::string& path, BmpWriter image) {
    if (!image.writeFile(path.c_str())) {
        std::fprintf(stderr, "dravonel-assets: %s\n", image.failureReason());
        return false;
    }
    return true;
}

template <typename Model>
bool writeModel(const std::string& path, const Model& model, int objects, float scale) {
    ThreeDsWriter writer;
    for (int i = 0; i < objects; ++i) {
        const MeshBuilder& part = model.object(i);
        if (!writer.addObject(Model::objectName(i), part.filePositions(scale), part.texCoords(),
                              part.indices())) {
            std::fprintf(stderr, "dravonel-assets: %s: %s\n", path.c_str(), writer.failureReason());
            return false;
        }
    }
    if (!writer.writeFile(path.c_str())) {
        std::fprintf(stderr, "dravonel-assets: %s\n", writer.failureReason());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const char* usage = "usage: dravonel-assets OUTPUT_DIR\n"
                        "       dravonel-assets --example MODEL_FILE\n"
                        "       dravonel-assets --icon PNG_FILE\n";
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (argc == 3 && std::string(argv[1]) == "--example") {
        return writeText(argv[2], ExampleModel::text()) ? 0 : 1;
    }
    if (argc == 3 && std::string(argv[1]) == "--icon") {
        std::string why;
        if (!IconImage::writePng(argv[2], why)) {
            std::fprintf(stderr, "dravonel-assets: %s\n", why.c_str());
            return 1;
        }
        return 0;
    }
    // Any other option is a mistake, not a folder to write into.
    if (argc != 2 || argv[1][0] == '-') {
        std::fputs(usage, stderr);
        return 2;
    }
    const std::string dir = argv[1];

    TruckModel truck;
    std::string reason;
    if (!truck.validate(reason)) {
        std::fprintf(stderr, "dravonel-assets: truck model: %s\n", reason.c_str());
        return 1;
    }
    BodyMesh body(truck);
    if (!body.valid()) {
        std::fprintf(stderr, "dravonel-assets: body mesh too small for its mounting points\n");
        return 1;
    }
    WheelMesh wheel;

    bool ok =
        writeText(dir + "/Modell.txt", truck.toText()) &&
        writeModel(dir + "/chevy_nowheels_3c.3ds", body, BodyMesh::objectCount, bodyFileScale) &&
        writeModel(dir + "/wheel.3ds", wheel, WheelMesh::objectCount, WheelMesh::fileScale) &&
        writeImage(dir + "/isampler48.bmp", TextureGenerator::ground()) &&
        writeImage(dir + "/gray_structure.bmp", TextureGenerator::paint()) &&
        writeImage(dir + "/leather.bmp", TextureGenerator::leather());
    for (int face = 0; ok && face < SkyBox::faceCount; ++face) {
        ok = writeImage(dir + "/" + SkyBox::fileName(face), SkyBox::face(face));
    }
    if (ok) {
        // The bundled map, in a folder of its own.
        const std::string maps = dir + "/maps";
        if (mkdir(maps.c_str(), 0755) != 0 && errno != EEXIST) {
            std::fprintf(stderr, "dravonel-assets: %s: cannot create the folder\n", maps.c_str());
            return 1;
        }
        ok = writeText(maps + "/dunes.map", DunesMap::mapText());
        std::string why;
        if (ok && !DunesMap::writePng(maps + "/dunes.png", why)) {
            std::fprintf(stderr, "dravonel-assets: %s\n", why.c_str());
            ok = false;
        }
    }
    if (!ok) {
        return 1;
    }
    std::printf("dravonel-assets: truck %.1f kg, %d particles, %d springs, stability %.3f; "
                "body %d vertices\n",
                truck.totalMass(), static_cast<int>(truck.particles().size()),
                static_cast<int>(truck.springs().size()), truck.worstStiffnessRatio(),
                body.object(2).vertexCount());
    return 0;
}
