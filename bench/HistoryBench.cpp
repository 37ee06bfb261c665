// The history's costs on the shipped truck, headless, all CPU time:
//  - BM_HistoryFrames: a driven frame (1/60 s) with the default 120 s
//    history and without one, alternating in the same run; the share the
//    moments add, and the cost of one moment (AppMoment::save) against a
//    frame.
//  - BM_HistorySeek: the worst seek, landing on the frame just before a
//    moment so that nearly half a second is run again, in a 60 s drive.
//  - BM_HistoryMemory: the ring's bytes for 120 s, and the process's
//    resident size after 2 and after 10 simulated minutes of driving.
#include "app/TruckApp.h"
#include "app/history/AppMoment.h"
#include "bench/BenchSupport.h"

#include <cstdio>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

std::unique_ptr<TruckApp> headlessApp(double historySeconds, benchmark::State& state) {
    std::unique_ptr<TruckApp> app(new TruckApp());
    app->historySeconds = historySeconds;
    app->setAssetDirectory(DRAVONEL_ASSET_DIR);
    if (!app->initSimulation()) {
        state.SkipWithError(app->failureReason());
        return nullptr;
    }
    app->key(357, true); // up: throttle
    app->key(358, true); // right: circles, kicking up dust
    return app;
}

// Resident bytes of the process.
double residentBytes() {
    long pages = 0;
    long resident = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm != nullptr) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(statm);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

void BM_HistoryFrames(benchmark::State& state) {
    std::unique_ptr<TruckApp> with = headlessApp(120.0, state);
    std::unique_ptr<TruckApp> without = headlessApp(0.0, state);
    if (!with || !without) {
        return;
    }
    std::vector<unsigned char> buffer(AppMoment::capacity(*with));
    double withSeconds = 0.0;
    double withoutSeconds = 0.0;
    double saveSeconds = 0.0;
    long frame = 0;
    for (auto _ : state) {
        ++frame;
        const float time = static_cast<float>(frame / 60.0);
        const double t0 = threadSeconds();
        with->advance(time);
        const double t1 = threadSeconds();
        without->advance(time);
        const double t2 = threadSeconds();
        AppMoment::save(*with, buffer.data(), buffer.size());
        const double t3 = threadSeconds();
        withSeconds += t1 - t0;
        withoutSeconds += t2 - t1;
        saveSeconds += t3 - t2;
    }
    const double frames = static_cast<double>(state.iterations());
    state.counters["frame_us"] = 1e6 * withoutSeconds / frames;
    state.counters["history_share_pct"] = 100.0 * (withSeconds - withoutSeconds) / withoutSeconds;
    state.counters["moment_us"] = 1e6 * saveSeconds / frames;
    state.counters["moment_pct_of_frame"] = 100.0 * saveSeconds / withoutSeconds;
    state.counters["moment_bytes"] =
        static_cast<double>(AppMoment::save(*with, buffer.data(), buffer.size()));
}

void BM_HistorySeek(benchmark::State& state) {
    std::unique_ptr<TruckApp> app = headlessApp(120.0, state);
    if (!app) {
        return;
    }
    for (long frame = 1; frame <= 3600; ++frame) {
        app->advance(static_cast<float>(frame / 60.0));
    }
    double worst = 0.0;
    double total = 0.0;
    int seeks = 0;
    for (auto _ : state) {
        // Around 30 s: the frame before the moment at 30.5 s on the drive's
        // clock, the farthest a landing runs again. Each seek drops what
        // follows, so the drive is played on to 60 s again untimed.
        const double t0 = threadSeconds();
        app->history.landAtFrameTime(*app, 30.5 - 1.0 / 60.0 - 1e-6);
        const double seconds = threadSeconds() - t0;
        total += seconds;
        worst = seconds > worst ? seconds : worst;
        ++seeks;
        state.PauseTiming();
        for (long frame = 1830; frame <= 3600; ++frame) {
            app->advance(static_cast<float>(frame / 60.0));
        }
        state.ResumeTiming();
    }
    state.counters["seek_ms"] = 1e3 * total / seeks;
    state.counters["worst_seek_ms"] = 1e3 * worst;
}

void BM_HistoryMemory(benchmark::State& state) {
    for (auto _ : state) {
        std::unique_ptr<TruckApp> app = headlessApp(120.0, state);
        if (!app) {
            return;
        }
        double afterTwo = 0.0;
        for (long frame = 1; frame <= 36000; ++frame) {
            app->advance(static_cast<float>(frame / 60.0));
            if (frame == 7200) {
                afterTwo = residentBytes();
            }
        }
        state.counters["ring_MB"] = static_cast<double>(app->history.memoryBytes()) / 1e6;
        state.counters["slot_bytes"] = static_cast<double>(app->history.slotBytes());
        state.counters["moments_kept"] = app->history.momentsKept();
        state.counters["rss_MB_2min"] = afterTwo / 1e6;
        state.counters["rss_MB_10min"] = residentBytes() / 1e6;
    }
}

} // namespace

BENCHMARK(BM_HistoryFrames)->Iterations(3600)->Repetitions(3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HistorySeek)->Iterations(5)->Repetitions(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HistoryMemory)->Iterations(1)->Unit(benchmark::kSecond);
