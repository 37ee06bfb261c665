// Several trucks on the dunes map: 1, 4 and 16 trucks on 1 and 2 threads,
// with the contacts between them on, and the same without contacts (the
// difference is the contact pass's share of the step). Every truck starts at
// the map's start or in the rows behind it; the front ones brake while the
// ones behind drive into them at full throttle, so the contacts are those of
// a pile-up. Each repetition is one 10 ms frame of the application's update
// (controls, the lockstep step, the blow-up and fall-out checks), after 3 s
// of the drive that bring the trucks together. Wall time is what the
// threads save; the counters give the process CPU time per frame, the
// real-time factor (simulated seconds per wall second), the lockstep step's
// own wall time per frame and the contact pass's share of it (the pass's
// time summed over the bodies' tasks, over the step's time on all threads).
// Every case runs the same 400 frames, so that each meets the pile-up at the
// same stage whatever its speed.
#include "app/TruckApp.h"
#include "app/world/MapFile.h"
#include "bench/BenchSupport.h"
#include "physics/MultiBodyStep.h"

#include <chrono>
#include <string>

namespace {

void BM_Trucks(benchmark::State& state) {
    const int trucks = static_cast<int>(state.range(0));
    const int threads = static_cast<int>(state.range(1));
    const bool contacts = state.range(2) != 0;
    MapFile map;
    const std::string mapPath = std::string(DRAVONEL_ASSET_DIR) + "/maps/dunes.map";
    if (!map.load(mapPath.c_str())) {
        state.SkipWithError(map.failureReason());
        return;
    }
    TruckApp app;
    app.setAssetDirectory(DRAVONEL_ASSET_DIR);
    app.setMap(&map);
    app.setTruckCount(trucks);
    app.setThreads(threads);
    if (!app.initSimulation()) {
        state.SkipWithError(app.failureReason());
        return;
    }
    MultiBodyStep* step = app.severalTruckStep();
    if (step != nullptr) {
        step->setContacts(contacts);
        step->setTiming(true);
    }
    // The two in front brake, the rest drive into them.
    for (int k = 0; k < trucks; ++k) {
        app.selectTruck(k);
        app.key(k < 2 ? 32 : 357, true);
    }
    app.selectTruck(0);
    float time = 0.0f;
    for (int frame = 0; frame < 300; ++frame) {
        time += 0.01f;
        app.advance(time);
    }
    const double contactStart = step != nullptr ? step->contactSeconds() : 0.0;
    const double stepStart = step != nullptr ? step->stepSeconds() : 0.0;
    const double cpuStart = processSeconds();
    const auto wallStart = std::chrono::steady_clock::now();
    for (auto _ : state) {
        time += 0.01f;
        app.advance(time);
    }
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallStart;
    const double frames = static_cast<double>(state.iterations());
    state.counters["cpu_ms_per_frame"] = (processSeconds() - cpuStart) * 1000.0 / frames;
    state.counters["realtime_x"] = frames * 0.01 / wall.count();
    if (step != nullptr) {
        const double stepSeconds = step->stepSeconds() - stepStart;
        state.counters["step_ms_per_frame"] = stepSeconds * 1000.0 / frames;
        state.counters["contact_share"] =
            (step->contactSeconds() - contactStart) / (stepSeconds * threads);
    }
    state.counters["contacts_per_frame"] =
        static_cast<double>(app.contactCount()) / (frames + 300.0);
}

} // namespace

BENCHMARK(BM_Trucks)
    ->ArgNames({"trucks", "threads", "contacts"})
    ->Args({1, 1, 1})
    ->Args({4, 1, 1})
    ->Args({4, 2, 1})
    ->Args({16, 1, 1})
    ->Args({16, 2, 1})
    ->Args({16, 1, 0})
    ->Args({4, 1, 0})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(400);
