// Cost of the soft-body step on a truck-shaped model (four 34-particle wheels
// under a lattice chassis, about 190 particles and 900 springs of all kinds),
// resting and driving on the flat strip. Reports sub-steps per second,
// nanoseconds per element per sub-step and the real-time factor.
#include "physics/DriveController.h"
#include "physics/DustSystem.h"
#include "physics/PhysicsWorld.h"
#include "tests/physics/ModelBuilder.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>

namespace {

constexpr int frameMilliseconds = 10; // one call of step per iteration
constexpr int subStepsPerFrame = 2 * frameMilliseconds;

std::unique_ptr<PhysicsWorld> loadTruck() {
    std::unique_ptr<PhysicsWorld> world(new PhysicsWorld());
    const std::string text = truckModel().text();
    if (!world->loadModelFromText(text.data(), text.size(), "truck")) {
        return nullptr;
    }
    return world;
}

// Particles plus every element the step visits once per sub-step.
int elementCount(PhysicsWorld& world) {
    return world.particleCount() + world.springCount() + world.quadraticSpringCount() +
           world.wheelCount() + world.rightAngleJointCount() + world.angleJointCount();
}

// Figures from the wall-clock time of the timed loop, as plain counters so
// that they print in their own units.
void setCounters(benchmark::State& state, PhysicsWorld& world, double seconds) {
    if (seconds <= 0.0) {
        return;
    }
    const double subSteps = static_cast<double>(state.iterations()) * subStepsPerFrame;
    state.counters["substeps_per_s"] = subSteps / seconds;
    state.counters["ns_per_element_substep"] = 1e9 * seconds / (subSteps * elementCount(world));
    state.counters["realtime_factor"] = subSteps * 0.0005 / seconds;
    state.counters["particles"] = world.particleCount();
    state.counters["elements"] = elementCount(world) - world.particleCount();
}

void BM_StepResting(benchmark::State& state) {
    auto world = loadTruck();
    if (!world) {
        state.SkipWithError("truck model did not load");
        return;
    }
    world->step(500); // let it settle on its wheels first
    const auto begin = std::chrono::steady_clock::now();
    for (auto _ : state) {
        benchmark::DoNotOptimize(world->step(frameMilliseconds));
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - begin;
    benchmark::DoNotOptimize(world->positions()[0]);
    setCounters(state, *world, elapsed.count());
}
BENCHMARK(BM_StepResting)->Unit(benchmark::kMicrosecond);

void BM_StepDriving(benchmark::State& state) {
    auto world = loadTruck();
    if (!world) {
        state.SkipWithError("truck model did not load");
        return;
    }
    DustSystem dust(1024, world->terrain());
    world->setDustSystem(&dust);
    DriveController controller;
    controller.bindWheels(world->wheels());
    world->step(500);
    float time = 0.0f;
    int frame = 0;
    const auto begin = std::chrono::steady_clock::now();
    for (auto _ : state) {
        // Back and forth across the flat strip so that it never leaves it.
        const float throttle = (frame / 200) % 2 == 0 ? 1.0f : -1.0f;
        controller.update(throttle);
        time += 0.001f * frameMilliseconds;
        dust.update(time, 0.001f * frameMilliseconds);
        dust.setClock(time);
        benchmark::DoNotOptimize(world->step(frameMilliseconds));
        ++frame;
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - begin;
    setCounters(state, *world, elapsed.count());
}
BENCHMARK(BM_StepDriving)->Unit(benchmark::kMicrosecond);

} // namespace
