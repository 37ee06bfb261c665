// The model check as dravonel-sim --check runs it: load the model twice,
// weigh its springs, let it settle 3 s and drive it 20 s. Goal: under 2 s
// for the shipped truck. Reports the thread CPU time per check.
#include "app/TruckModelCheck.h"
#include "bench/BenchSupport.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void BM_ModelCheck(benchmark::State& state) {
    const std::string path = DRAVONEL_ASSET_DIR "/Modell.txt";
    std::string report;
    double seconds = 0.0;
    for (auto _ : state) {
        const double start = threadSeconds();
        const bool usable = checkTruckModel(path.c_str(), &report);
        seconds += threadSeconds() - start;
        if (!usable) {
            state.SkipWithError(("the shipped truck fails its check:\n" + report).c_str());
            return;
        }
    }
    state.counters["ms_per_call"] = 1e3 * seconds / static_cast<double>(state.iterations());
}

} // namespace

BENCHMARK(BM_ModelCheck)->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);
