// The cost of damage, measured in pairs: every repetition runs the same drive
// with damage off and on back to back (in turn first), so that the host's
// drifting load falls on both alike, and reports both and their ratio. The
// drive reverses from the start into the default world's wall (it hits at
// about 11.6 m/s near 6.2 s), lets go at 7 s and rests until 12 s, so that
// springs yield and the deformed meshes are dented.
//  - BM_DamageStep: thread CPU time of TruckApp's advance at 60 frames a
//    second (the physics: with damage, the damage law in the spring passes);
//    goal: ratio <= 1.15.
//  - BM_DamageFrames: the same drive drawn under Xvfb from camera F3, thread
//    CPU time of TruckApp::frame (advance and drawing; with damage, the body
//    and cab meshes rebuilt from the particles every frame) and the wall
//    time with the swap and a closing glFinish; goal: ratio <= 1.15.
#include "app/TruckApp.h"
#include "bench/BenchSupport.h"
#include "physics/PhysicsWorld.h"
#include "render/Renderer.h"

#include <GL/freeglut.h>

#include <chrono>
#include <memory>

namespace {

const int driveFrames = 720; // 12 s at 60 frames a second

void driveKeys(TruckApp& app, int frame) {
    if (frame == 1) {
        app.key(359, true); // down: full reverse
    } else if (frame == 420) {
        app.key(359, false);
    }
}

// Thread CPU seconds of the drive's advances; negative when it cannot start.
double drive(bool damage) {
    TruckApp app;
    app.setAssetDirectory(DRAVONEL_ASSET_DIR);
    app.damage = damage;
    if (!app.initSimulation()) {
        return -1.0;
    }
    const double start = threadSeconds();
    for (int frame = 1; frame <= driveFrames; ++frame) {
        driveKeys(app, frame);
        app.advance(static_cast<float>(frame) / 60.0f);
    }
    const double cpu = threadSeconds() - start;
    benchmark::DoNotOptimize(app.world->positions()[0]);
    return cpu;
}

struct FrameCost {
    double cpu = -1.0; // s, this thread
    double wall = 0.0; // s
};

FrameCost drawnDrive(Renderer& renderer, bool damage) {
    FrameCost cost;
    std::unique_ptr<TruckApp> app(new TruckApp());
    app->renderer = &renderer;
    app->setAssetDirectory(DRAVONEL_ASSET_DIR);
    app->damage = damage;
    if (!app->init()) {
        return cost;
    }
    app->key(259, true); // F3: beside the truck, which fills much of the picture
    double cpu = 0.0;
    const auto wallStart = std::chrono::steady_clock::now();
    for (int frame = 1; frame <= driveFrames; ++frame) {
        driveKeys(*app, frame);
        const double t0 = threadSeconds();
        app->frame(static_cast<float>(frame) / 60.0f);
        cpu += threadSeconds() - t0;
        glutSwapBuffers();
    }
    glFinish();
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallStart;
    cost.cpu = cpu;
    cost.wall = wall.count();
    return cost;
}

void BM_DamageStep(benchmark::State& state) {
    static int pair = 0;
    double off = 0.0;
    double on = 0.0;
    for (auto _ : state) {
        const bool onFirst = (pair++ & 1) != 0;
        const double first = drive(onFirst);
        const double second = drive(!onFirst);
        if (first < 0.0 || second < 0.0) {
            state.SkipWithError("the truck did not load");
            return;
        }
        on += onFirst ? first : second;
        off += onFirst ? second : first;
    }
    const double runs = static_cast<double>(state.iterations());
    const double subSteps = 2.0 * 1000.0 * driveFrames / 60.0;
    state.counters["off_us_per_substep"] = 1e6 * off / runs / subSteps;
    state.counters["on_us_per_substep"] = 1e6 * on / runs / subSteps;
    state.counters["ratio"] = on / off;
}

void BM_DamageFrames(benchmark::State& state) {
    if (!openGlWindow()) {
        state.SkipWithError("no X display: run under xvfb-run");
        return;
    }
    Renderer renderer;
    renderer.setViewport(640, 480);
    static int pair = 0;
    FrameCost off;
    FrameCost on;
    off.cpu = on.cpu = 0.0;
    for (auto _ : state) {
        const bool onFirst = (pair++ & 1) != 0;
        const FrameCost first = drawnDrive(renderer, onFirst);
        const FrameCost second = drawnDrive(renderer, !onFirst);
        if (first.cpu < 0.0 || second.cpu < 0.0) {
            state.SkipWithError("TruckApp::init failed");
            return;
        }
        const FrameCost& a = onFirst ? second : first;
        const FrameCost& b = onFirst ? first : second;
        off.cpu += a.cpu;
        off.wall += a.wall;
        on.cpu += b.cpu;
        on.wall += b.wall;
    }
    const double frames = static_cast<double>(state.iterations()) * driveFrames;
    state.counters["off_ms_per_frame"] = 1e3 * off.cpu / frames;
    state.counters["on_ms_per_frame"] = 1e3 * on.cpu / frames;
    state.counters["ratio"] = on.cpu / off.cpu;
    state.counters["wall_ratio"] = on.wall / off.wall;
}

} // namespace

BENCHMARK(BM_DamageStep)->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DamageFrames)->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);
