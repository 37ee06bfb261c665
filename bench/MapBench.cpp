// The cost of a loaded map against the default world, in the same run: the
// 60 s full-throttle drive from the start (thread CPU time of TruckApp's
// advance at 60 frames a second) and 600 drawn frames under Xvfb while
// driving (wall time, the frame, swap and finish as the program runs them).
// map:0 is the default world, map:1 the bundled maps/dunes.map. On the
// default world the truck leaves the 128 m map after about 6 s and is put
// back at its start whenever it has fallen 50 m, as in the program.
#include "app/MapFile.h"
#include "app/TruckApp.h"
#include "bench/BenchSupport.h"
#include "render/Renderer.h"

#include <GL/freeglut.h>

#include <chrono>
#include <memory>

namespace {

const MapFile* dunes(benchmark::State& state) {
    static MapFile map;
    static bool loaded = map.load(DRAVONEL_ASSET_DIR "/maps/dunes.map");
    if (!loaded) {
        state.SkipWithError(map.failureReason());
        return nullptr;
    }
    return &map;
}

void BM_MinuteDrive(benchmark::State& state) {
    const MapFile* map = nullptr;
    if (state.range(0) != 0 && (map = dunes(state)) == nullptr) {
        return;
    }
    double cpu = 0.0;
    for (auto _ : state) {
        TruckApp app;
        app.setAssetDirectory(DRAVONEL_ASSET_DIR);
        app.setMap(map);
        if (!app.initSimulation()) {
            state.SkipWithError(app.failureReason());
            return;
        }
        app.key(357, true); // up: full throttle
        const double start = threadSeconds();
        for (int frame = 1; frame <= 3600; ++frame) {
            app.advance(static_cast<float>(frame) / 60.0f);
        }
        cpu += threadSeconds() - start;
        benchmark::DoNotOptimize(app.world->positions()[0]);
    }
    const double drives = static_cast<double>(state.iterations());
    state.counters["ms_per_call"] = 1e3 * cpu / drives;
    state.counters["us_per_substep"] = 1e6 * cpu / (120000.0 * drives);
}

void BM_MapFrames(benchmark::State& state) {
    if (!openGlWindow()) {
        state.SkipWithError("no X display: run under xvfb-run");
        return;
    }
    const MapFile* map = nullptr;
    if (state.range(0) != 0 && (map = dunes(state)) == nullptr) {
        return;
    }
    Renderer renderer;
    renderer.setViewport(640, 480);
    double wallSeconds = 0.0;
    double cpu = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<TruckApp> app(new TruckApp());
        app->renderer = &renderer;
        app->setAssetDirectory(DRAVONEL_ASSET_DIR);
        app->setMap(map);
        if (!app->init()) {
            state.SkipWithError(app->failureReason());
            return;
        }
        app->key(260, true); // F4: the follow camera, whose eye moves along
        app->key(357, true); // up: full throttle
        // The driver builds its code for each new state combination once.
        float time = 0.0f;
        for (int k = 0; k < 10; ++k) {
            time += 1.0f / 60.0f;
            app->frame(time);
            glutSwapBuffers();
        }
        glFinish();
        state.ResumeTiming();
        const double cpuStart = processSeconds();
        const auto wallStart = std::chrono::steady_clock::now();
        for (int k = 0; k < 600; ++k) {
            time += 1.0f / 60.0f;
            app->frame(time);
            glutSwapBuffers();
        }
        glFinish();
        const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallStart;
        wallSeconds += wall.count();
        cpu += processSeconds() - cpuStart;
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["ms_per_call"] = 1e3 * wallSeconds / runs;
    state.counters["cpu_ms"] = 1e3 * cpu / runs;
    state.counters["fps_wall"] = 600.0 * runs / wallSeconds;
}

} // namespace

BENCHMARK(BM_MinuteDrive)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("map")
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MapFrames)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("map")
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);
