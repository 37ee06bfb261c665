// The shipped truck (Modell.txt): 20,000 sub-steps at rest and 20,000 driving
// (full throttle, full lock, brake), each repetition from a fresh load, the
// controls, dust and step as the frame update runs them; the blow-up test
// the frame update runs after every step; and what the window program reads
// for rumble and the wheel's force after every frame.
#include "app/input/ForceFeedback.h"
#include "app/input/Rumble.h"
#include "bench/BenchSupport.h"
#include "physics/BlowUp.h"
#include "physics/DriveController.h"
#include "physics/DustRandom.h"
#include "physics/DustSystem.h"

#include <cstdlib>

namespace {

void runTruck(benchmark::State& state, bool driving) {
    auto world = loadShippedTruck();
    if (!world) {
        state.SkipWithError("Modell.txt did not load");
        return;
    }
    DustRandom::shared().seed(1);
    DustSystem dust(1024, world->terrain());
    world->setDustSystem(&dust);
    DriveController controller;
    controller.bindWheels(world->wheels());
    const float dt = 0.001f * truckFrameMilliseconds;
    float time = 0.0f;
    int frame = 0;
    for (auto _ : state) {
        const TruckControls c = driving ? drivingControls(frame) : TruckControls{0.0f, 0.0f, 0.0f};
        world->angleJoints()[0].setTarget(c.steering);
        world->angleJoints()[1].setTarget(-c.steering);
        controller.update(c.throttle);
        for (int w = 0; w < world->wheelCount(); ++w) {
            world->wheels()[w].setBrake(c.brake);
        }
        time += dt;
        dust.update(time, dt);
        dust.setClock(time);
        benchmark::DoNotOptimize(world->step(truckFrameMilliseconds));
        ++frame;
    }
    world->setDustSystem(nullptr);
    setStepCounters(state, 2.0 * truckFrameMilliseconds * static_cast<double>(state.iterations()),
                    springCount(*world));
}

void BM_TruckResting(benchmark::State& state) {
    runTruck(state, false);
}
void BM_TruckDriving(benchmark::State& state) {
    runTruck(state, true);
}

// One blow-up test of the whole truck, as the frame update makes it once per
// frame after the step.
void BM_TruckBlowUpCheck(benchmark::State& state) {
    auto world = loadShippedTruck();
    if (!world) {
        state.SkipWithError("Modell.txt did not load");
        return;
    }
    world->step(100);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            blownUpParticle(world->positions(), world->particles(), world->particleCount()));
    }
    state.counters["ns_per_frame"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 1e-9,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The feedback's reading of one frame: the steering force (the joints, the
// front treads' contact) and the axles' motion for the rumble, on the truck
// after a second of driving.
void BM_TruckFeedback(benchmark::State& state) {
    auto world = loadShippedTruck();
    if (!world) {
        state.SkipWithError("Modell.txt did not load");
        return;
    }
    world->wheels()[0].setDrive(40.0f);
    world->step(1000);
    const Vec3 up(0.0f, 1.0f, 0.0f);
    const Vec3 velocity = world->particles()[137].velocity;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ForceFeedback::compute(*world, up, velocity));
        benchmark::DoNotOptimize(Rumble::axleSpeed(*world, up, velocity));
        benchmark::DoNotOptimize(Rumble::impactLevel(world->peakContactImpulse()));
    }
    state.counters["ns_per_frame"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 1e-9,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

} // namespace

BENCHMARK(BM_TruckBlowUpCheck)->Repetitions(5);
BENCHMARK(BM_TruckFeedback)->Repetitions(5);
BENCHMARK(BM_TruckResting)->Iterations(truckFrames)->Repetitions(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TruckDriving)->Iterations(truckFrames)->Repetitions(5)->Unit(benchmark::kMillisecond);
