// Start-up: TruckApp::init on the program's GL context (nine BMP textures,
// seven 3DS meshes, the world and its terrain, the truck model, the ground
// and dust meshes), and, for the split, the driver's share of it: the nine
// texture uploads on their own.
#include "app/TruckApp.h"
#include "bench/BenchSupport.h"
#include "render/Bitmap.h"
#include "render/Renderer.h"

#include <GL/gl.h>

#include <memory>
#include <string>
#include <vector>

namespace {

const char* const textureFiles[9] = {"isampler48.bmp", "gray_structure.bmp", "leather.bmp",
                                     "desert_rt.bmp",  "desert_bk.bmp",      "desert_lf.bmp",
                                     "desert_ft.bmp",  "desert_up.bmp",      "desert_dn.bmp"};

void deleteTextures(const std::vector<GLuint>& names) {
    glDeleteTextures(static_cast<GLsizei>(names.size()), names.data());
}

void BM_TruckAppInit(benchmark::State& state) {
    if (!openGlWindow()) {
        state.SkipWithError("no X display: run under xvfb-run");
        return;
    }
    Renderer renderer;
    for (auto _ : state) {
        std::unique_ptr<TruckApp> app = initialisedTruckApp(renderer, state);
        if (!app) {
            return;
        }
        glFinish();
        state.PauseTiming();
        std::vector<GLuint> names = {app->isamplerTexture, app->grayStructureTexture,
                                     app->leatherTexture};
        names.insert(names.end(), app->skyTextures, app->skyTextures + 6);
        deleteTextures(names);
        app.reset();
        state.ResumeTiming();
    }
    state.counters["ms_per_call"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 1e-3,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_TextureUploads(benchmark::State& state) {
    if (!openGlWindow()) {
        state.SkipWithError("no X display: run under xvfb-run");
        return;
    }
    Renderer renderer;
    std::vector<std::unique_ptr<Bitmap>> images;
    for (const char* file : textureFiles) {
        std::unique_ptr<Bitmap> image(new Bitmap());
        const std::string path = std::string(DRAVONEL_ASSET_DIR) + "/" + file;
        if (!image->load(path.c_str())) {
            state.SkipWithError(image->failureReason());
            return;
        }
        image->resizeToPowerOfTwo();
        images.push_back(std::move(image));
    }
    for (auto _ : state) {
        std::vector<GLuint> names;
        for (auto& image : images) {
            names.push_back(
                renderer.createTexture(image->pixels(), image->width(), image->height()));
        }
        glFinish();
        state.PauseTiming();
        deleteTextures(names);
        state.ResumeTiming();
    }
    state.counters["ms_per_call"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 1e-3,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

} // namespace

BENCHMARK(BM_TruckAppInit)->Repetitions(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TextureUploads)->Repetitions(5)->Unit(benchmark::kMillisecond);
