// dravonel-sim: drives the truck without a window. It loads the assets from a
// folder, feeds a script of timed key events through TruckApp::key and steps
// the simulation with TruckApp::advance at a fixed frame rate, printing the
// truck's state at a chosen interval.
#include "app/TruckApp.h"
#include "physics/PhysicsWorld.h"
#include "scene/RenderScale.h"
#include "tools/sim/KeyScript.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
const double radiansToDegrees = 57.29577951308232;

void usage() {
    std::printf("usage: dravonel-sim [--assets DIR] [--script \"T:+key T:-key ...\"]\n"
                "                    [--duration SECONDS] [--interval SECONDS] [--fps N] [--csv]\n"
                "keys: up down left right space esc q e f1..f8; times in seconds.\n"
                "Columns: time (s), x y z of the body origin (m), dist from the start (m),\n"
                "heading (deg, clockwise from -z seen from above), speed (m/s), tilt of the\n"
                "body's up axis (deg), spin of wheels 0..3 (rev/s).\n");
}

struct Sample {
    Vec3 origin;
    float headingDegrees;
    float tiltDegrees;
};

Sample sampleBody(const TruckApp& app) {
    const Mat4 body = app.bodyTransform();
    Sample s;
    s.origin = Vec3(body.m[12], body.m[13], body.m[14]) * (1.0f / renderScale);
    const Vec3 forward = body.transformVector(Vec3(0.0f, 0.0f, -1.0f));
    s.headingDegrees = static_cast<float>(std::atan2(forward.x, -forward.z) * radiansToDegrees);
    const Vec3 up = normalized(body.transformVector(Vec3(0.0f, 1.0f, 0.0f)));
    s.tiltDegrees = static_cast<float>(std::acos(std::fmin(1.0f, up.y)) * radiansToDegrees);
    return s;
}

// Mean velocity of the four body-fit particles, m/s.
float chassisSpeed(PhysicsWorld* world) {
    const Particle* particles = world->particles();
    Vec3 sum;
    for (int i = 136; i < 140; ++i) {
        sum = sum + particles[i].velocity;
    }
    sum = sum * 0.25f;
    return std::sqrt(dot(sum, sum));
}
} // namespace

int main(int argc, char** argv) {
    std::string assets = ".";
    std::string scriptText;
    double duration = 10.0;
    double interval = 0.5;
    int fps = 60;
    bool csv = false;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--assets") == 0 && hasValue) {
            assets = argv[++i];
        } else if (std::strcmp(argv[i], "--script") == 0 && hasValue) {
            scriptText = argv[++i];
        } else if (std::strcmp(argv[i], "--duration") == 0 && hasValue) {
            duration = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--interval") == 0 && hasValue) {
            interval = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--fps") == 0 && hasValue) {
            fps = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--csv") == 0) {
            csv = true;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            usage();
            return 0;
        } else {
            std::fprintf(stderr, "dravonel-sim: unknown or incomplete option '%s'\n", argv[i]);
            usage();
            return 2;
        }
    }
    if (!(duration >= 0.0) || !(interval > 0.0) || fps < 1 || fps > 10000) {
        std::fprintf(stderr, "dravonel-sim: duration must be >= 0, interval > 0, fps 1..10000\n");
        return 2;
    }

    KeyScript script;
    if (!script.parse(scriptText)) {
        std::fprintf(stderr, "dravonel-sim: %s\n", script.failureReason());
        return 2;
    }

    TruckApp app;
    app.setAssetDirectory(assets.c_str());
    if (!app.initSimulation()) {
        std::fprintf(stderr, "dravonel-sim: cannot start: %s\n", app.failureReason());
        return 1;
    }

    const Sample start = sampleBody(app);
    if (csv) {
        std::printf("time,x,y,z,dist,heading,speed,tilt,spin0,spin1,spin2,spin3\n");
    } else {
        std::printf("%7s %8s %7s %8s %7s %8s %6s %6s %7s %7s %7s %7s\n", "time", "x", "y", "z",
                    "dist", "heading", "speed", "tilt", "spin0", "spin1", "spin2", "spin3");
    }

    const std::vector<KeyEvent>& events = script.events();
    size_t nextEvent = 0;
    int fallOutResets = 0;
    const long frames = static_cast<long>(duration * fps + 0.5);
    const long framesPerSample = std::max(1L, static_cast<long>(interval * fps + 0.5));
    for (long frame = 0; frame <= frames; ++frame) {
        const double t = static_cast<double>(frame) / fps;
        while (nextEvent < events.size() && events[nextEvent].time <= t + 1e-9) {
            app.key(events[nextEvent].code, events[nextEvent].down);
            ++nextEvent;
        }
        if (frame > 0) {
            app.advance(static_cast<float>(t));
        }
        if (app.fallOutResets != fallOutResets) {
            // Not a table row: in CSV mode it goes to stderr to keep the CSV clean.
            fallOutResets = app.fallOutResets;
            std::fprintf(csv ? stderr : stdout,
                         "%7.2f  the truck fell off the edge of the map and was reset\n", t);
        }
        if (frame % framesPerSample != 0) {
            continue;
        }
        const Sample s = sampleBody(app);
        const Vec3 travel = s.origin - start.origin;
        const float dist = std::sqrt(travel.x * travel.x + travel.z * travel.z);
        const Wheel* wheels = app.world->wheels();
        const char* format = csv ? "%.3f,%.3f,%.3f,%.3f,%.3f,%.2f,%.3f,%.2f,%.3f,%.3f,%.3f,%.3f\n"
                                 : "%7.2f %8.3f %7.3f %8.3f %7.2f %8.2f %6.2f %6.2f %7.3f "
                                   "%7.3f %7.3f %7.3f\n";
        std::printf(format, t, s.origin.x, s.origin.y, s.origin.z, dist, s.headingDegrees,
                    chassisSpeed(app.world), s.tiltDegrees, wheels[0].spin(), wheels[1].spin(),
                    wheels[2].spin(), wheels[3].spin());
    }
    return 0;
}
