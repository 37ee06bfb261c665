// Shared pieces of the benchmark cases: the shipped truck and its control
// script, and the counters every case reports (CPU time per sub-step, per
// spring, and the real-time factor).
#pragma once

#include "app/TruckApp.h"
#include "physics/PhysicsWorld.h"

#include <benchmark/benchmark.h>

#include <memory>

class Renderer;

// Loads the generated Modell.txt; null (with the reason on stderr) if it fails.
std::unique_ptr<PhysicsWorld> loadShippedTruck();

// One frame's controls.
struct TruckControls {
    float steering; // angle-joint target of joint 0 (joint 1 gets its negation)
    float throttle; // -1..1
    float brake;    // brake seed of every wheel
};

// Frames of 10 ms (20 sub-steps) in one drive of the truck.
constexpr int truckFrameMilliseconds = 10;
constexpr int truckFrames = 1000;

// The drive: full throttle straight ahead, then full lock, then the brake.
TruckControls drivingControls(int frame);

// Counters from the run's CPU time: us_per_substep, ns_per_spring and
// realtime_x (simulated seconds per CPU second).
void setStepCounters(benchmark::State& state, double subSteps, double springs);

// Opens the 640 x 480 double-buffered window of the program (once per
// process) and makes its GL context current; false without an X display.
bool openGlWindow();

// A TruckApp on the given renderer, initialised from the generated assets;
// null after a failed init, with the reason given to state.
std::unique_ptr<TruckApp> initialisedTruckApp(Renderer& renderer, benchmark::State& state);

// Thread and process CPU seconds (CLOCK_THREAD_CPUTIME_ID and
// CLOCK_PROCESS_CPUTIME_ID).
double threadSeconds();
double processSeconds();

// A springs count for the counters: two-particle and quadratic springs.
inline double springCount(PhysicsWorld& world) {
    return static_cast<double>(world.springCount() + world.quadraticSpringCount());
}
