// Shared benchmark pieces: truck loading, the drive script and the counters.
#include "bench/BenchSupport.h"

#include <GL/freeglut.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
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
    state.counters["us_per_substep"] =
        Counter(subSteps * 1e-6, Counter::kIsRate | Counter::kInvert);
    if (springs > 0.0) {
        state.counters["ns_per_spring"] =
            Counter(subSteps * springs * 1e-9, Counter::kIsRate | Counter::kInvert);
    }
    state.counters["realtime_x"] = Counter(subSteps * 0.0005, Counter::kIsRate);
}

namespace {
void displayNothing() {}

double clockSeconds(clockid_t clock) {
    timespec now;
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}
} // namespace

bool openGlWindow() {
    static bool open = false;
    if (open) {
        return true;
    }
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || display[0] == '\0') {
        return false;
    }
    int argc = 1;
    char name[] = "dravonel-bench";
    char* argv[] = {name, nullptr};
    glutInit(&argc, argv);
    glutInitWindowSize(640, 480);
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
    glutCreateWindow("Dravonel");
    glutDisplayFunc(displayNothing);
    open = true;
    return true;
}

std::unique_ptr<TruckApp> initialisedTruckApp(Renderer& renderer, benchmark::State& state) {
    std::unique_ptr<TruckApp> app(new TruckApp());
    app->renderer = &renderer;
    app->setAssetDirectory(DRAVONEL_ASSET_DIR);
    if (!app->init()) {
        state.SkipWithError(app->failureReason());
        return nullptr;
    }
    return app;
}

double threadSeconds() {
    return clockSeconds(CLOCK_THREAD_CPUTIME_ID);
}

double processSeconds() {
    return clockSeconds(CLOCK_PROCESS_CPUTIME_ID);
}
