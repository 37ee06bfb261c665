// A drawn frame of the program at 640 x 480 (Mesa under Xvfb): TruckApp
// advanced by 1/60 s and drawn, then the buffers swapped and the drawing
// finished. Idle (no keys) and driving (throttle and steering held). Split
// per frame, all CPU time: the physics (advance), our drawing calls with the
// driver work they do on our thread, the swap and finish on our thread, and
// the driver's rasteriser threads (process minus our thread).
#include "app/TruckApp.h"
#include "bench/BenchSupport.h"
#include "render/Renderer.h"

#include <GL/freeglut.h>

#include <chrono>
#include <memory>

namespace {

void BM_DrawnFrame(benchmark::State& state) {
    if (!openGlWindow()) {
        state.SkipWithError("no X display: run under xvfb-run");
        return;
    }
    const bool driving = state.range(0) != 0;
    Renderer renderer;
    renderer.setViewport(640, 480);
    std::unique_ptr<TruckApp> app = initialisedTruckApp(renderer, state);
    if (!app) {
        return;
    }
    if (driving) {
        app->key(357, true); // up: throttle
        app->key(358, true); // right: steer, so that it circles on the map
    }
    float time = 0.0f;
    // The driver builds its code for each new state combination once.
    for (int k = 0; k < 10; ++k) {
        time += 1.0f / 60.0f;
        app->frame(time);
        glutSwapBuffers();
    }
    glFinish();
    double physics = 0.0;
    double drawing = 0.0;
    double presenting = 0.0;
    double process = 0.0;
    const auto wallStart = std::chrono::steady_clock::now();
    for (auto _ : state) {
        time += 1.0f / 60.0f;
        const double processStart = processSeconds();
        const double t0 = threadSeconds();
        app->advance(time);
        const double t1 = threadSeconds();
        app->frame(time); // the simulation is already at time: draws only
        const double t2 = threadSeconds();
        glutSwapBuffers();
        glFinish();
        const double t3 = threadSeconds();
        process += processSeconds() - processStart;
        physics += t1 - t0;
        drawing += t2 - t1;
        presenting += t3 - t2;
    }
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallStart;
    const double frames = static_cast<double>(state.iterations());
    state.counters["ms_per_call"] = 1e3 * process / frames;
    state.counters["physics_ms"] = 1e3 * physics / frames;
    state.counters["drawcalls_ms"] = 1e3 * drawing / frames;
    state.counters["swap_finish_ms"] = 1e3 * presenting / frames;
    state.counters["driver_threads_ms"] = 1e3 * (process - physics - drawing - presenting) / frames;
    state.counters["fps_wall"] = frames / wall.count();
}

} // namespace

BENCHMARK(BM_DrawnFrame)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("driving")
    ->Iterations(300)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);
