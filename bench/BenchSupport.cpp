// Shared benchmark pieces: truck loading, the drive script and the counters.
#include "bench/BenchSupport.h"

#include <cstdio>
#include <string>

std::unique_ptr<PhysicsWorld> loadShippedTruck() {
    std::unique_ptr<PhysicsWorld> world(new PhysicsWorld());
    const std::string path = std::string(DRAVONEL_ASSET_DIR) + "/Modell.txt";
    if (!world->loadModel(path.c_str())) {
        std::fprintf(stderr, "%s\n", world->failureReason());
        return nullptr;
    }
    return world;
}

TruckControls drivingControls(int frame) {
    if (frame < 400) {
        return TruckControls{0.0f, 1.0f, 0.0f};
    }
    if (frame < 800) {
        return TruckControls{0.6f, 1.0f, 0.0f};
    }
    return TruckControls{0.6f, 0.0f, 1.0f};
}

void setStepCounters(benchmark::State& state, double subSteps, double springs) {
    using benchmark::Counter;
    // Rates divide by the run's CPU seconds; inverted they give CPU time per unit.
    state.counters["us_per_substep"] = Counter(subSteps * 1e-6, Counter::kIsRate | Counter::kInvert);
    if (springs > 0.0) {
        state.counters["ns_per_spring"] =
            Counter(subSteps * springs * 1e-9, Counter::kIsRate | Counter::kInvert);
    }
    state.counters["realtime_x"] = Counter(subSteps * 0.0005, Counter::kIsRate);
}
