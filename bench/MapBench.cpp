// The cost of a loaded map against the default world, measured in pairs:
// every repetition runs the default world and the bundled maps/dunes.map
// back to back (in turn first), so that the host's drifting load falls on
// both alike, and reports both and their ratio.
//  - BM_MinuteDrive: the 60 s full-throttle drive from the start, thread CPU
//    time of TruckApp's advance at 60 frames a second (goal: ratio <= 1.25).
//    On the default world the truck leaves the 128 m map after about 6 s and
//    is put back at its start whenever it has fallen 50 m, as in the program.
//  - BM_MapFrames: 600 frames drawn under Xvfb from the follow camera while
//    driving in circles (so that the default world's truck stays on its
//    ground and both pictures show as much of it), with the swap and a closing glFinish, wall time
//    (goal: ratio
//    <= 1.3); the process CPU time (the driver's threads included) beside it.
#include "app/world/MapFile.h"
#include "app/TruckApp.h"
#include "bench/BenchSupport.h"
#include "render/Renderer.h"

#include <GL/freeglut.h>

#include <chrono>
#include <memory>

namespace {

const MapFile* dunes() {
    static MapFile map;
    static bool loaded = map.load(DRAVONEL_ASSET_DIR "/maps/dunes.map");
    return loaded ? &map : nullptr;
}

// Thread CPU seconds of a 60 s drive; negative when the app cannot start.
double minuteDrive(const MapFile* map) {
    TruckApp app;
    app.setAssetDirectory(DRAVONEL_ASSET_DIR);
    app.setMap(map);
    if (!app.initSimulation()) {
        return -1.0;
    }
    app.key(357, true); // up: full throttle
    const double start = threadSeconds();
    for (int frame = 1; frame <= 3600; ++frame) {
        app.advance(static_cast<float>(frame) / 60.0f);
    }
    const double cpu = threadSeconds() - start;
    benchmark::DoNotOptimize(app.world->positions()[0]);
    return cpu;
}

struct FrameCost {
    double wall = -1.0; // s
    double cpu = 0.0;   // s, the whole process
};

FrameCost drawnFrames(Renderer& renderer, const MapFile* map) {
    FrameCost cost;
    std::unique_ptr<TruckApp> app(new TruckApp());
    app->renderer = &renderer;
    app->setAssetDirectory(DRAVONEL_ASSET_DIR);
    app->setMap(map);
    if (!app->init()) {
        return cost;
    }
    app->key(260, true); // F4: the follow camera, whose eye moves along
    app->key(357, true); // up: full throttle
    app->key(358, true); // right: it circles, on the ground of either world
    // The driver builds its code for each new state combination once.
    float time = 0.0f;
    for (int k = 0; k < 10; ++k) {
        time += 1.0f / 60.0f;
        app->frame(time);
        glutSwapBuffers();
    }
    glFinish();
    const double cpuStart = processSeconds();
    const auto wallStart = std::chrono::steady_clock::now();
    for (int k = 0; k < 600; ++k) {
        time += 1.0f / 60.0f;
        app->frame(time);
        glutSwapBuffers();
    }
    glFinish();
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallStart;
    cost.wall = wall.count();
    cost.cpu = processSeconds() - cpuStart;
    return cost;
}

void BM_MinuteDrive(benchmark::State& state) {
    const MapFile* map = dunes();
    if (map == nullptr) {
        state.SkipWithError("maps/dunes.map did not load");
        return;
    }
    static int pair = 0;
    double base = 0.0;
    double onMap = 0.0;
    for (auto _ : state) {
        const bool mapFirst = (pair++ & 1) != 0;
        const double first = minuteDrive(mapFirst ? map : nullptr);
        const double second = minuteDrive(mapFirst ? nullptr : map);
        if (first < 0.0 || second < 0.0) {
            state.SkipWithError("the truck did not load");
            return;
        }
        base += mapFirst ? second : first;
        onMap += mapFirst ? first : second;
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["default_ms"] = 1e3 * base / runs;
    state.counters["map_ms"] = 1e3 * onMap / runs;
    state.counters["ratio"] = onMap / base;
}

void BM_MapFrames(benchmark::State& state) {
    const MapFile* map = dunes();
    if (map == nullptr) {
        state.SkipWithError("maps/dunes.map did not load");
        return;
    }
    if (!openGlWindow()) {
        state.SkipWithError("no X display: run under xvfb-run");
        return;
    }
    Renderer renderer;
    renderer.setViewport(640, 480);
    static int pair = 0;
    FrameCost base;
    FrameCost onMap;
    base.wall = onMap.wall = 0.0;
    for (auto _ : state) {
        const bool mapFirst = (pair++ & 1) != 0;
        const FrameCost first = drawnFrames(renderer, mapFirst ? map : nullptr);
        const FrameCost second = drawnFrames(renderer, mapFirst ? nullptr : map);
        if (first.wall < 0.0 || second.wall < 0.0) {
            state.SkipWithError("TruckApp::init failed");
            return;
        }
        const FrameCost& b = mapFirst ? second : first;
        const FrameCost& m = mapFirst ? first : second;
        base.wall += b.wall;
        base.cpu += b.cpu;
        onMap.wall += m.wall;
        onMap.cpu += m.cpu;
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["default_ms"] = 1e3 * base.wall / runs;
    state.counters["map_ms"] = 1e3 * onMap.wall / runs;
    state.counters["ratio"] = onMap.wall / base.wall;
    state.counters["default_cpu_ms"] = 1e3 * base.cpu / runs;
    state.counters["map_cpu_ms"] = 1e3 * onMap.cpu / runs;
    state.counters["cpu_ratio"] = onMap.cpu / base.cpu;
}

} // namespace

BENCHMARK(BM_MinuteDrive)->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MapFrames)->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);
