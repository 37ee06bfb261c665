// dravonel-sim: drives the truck without a window. It loads the assets from a
// folder, feeds a script of timed key events (or a recording made by the
// program) through TruckApp::key and steps the simulation with
// TruckApp::advance, printing the truck's state at a chosen interval and,
// at the end, the hash of the particle positions.
#include "app/Application.h"
#include "app/AssetFolder.h"
#include "app/CommandLine.h"
#include "app/Truck.h"
#include "app/TruckApp.h"
#include "app/TruckModelCheck.h"
#include "app/record/KeyScript.h"
#include "app/record/Recording.h"
#include "app/world/MapFile.h"
#include "physics/BodyShape.h"
#include "physics/PhysicsWorld.h"
#include "physics/PositionHash.h"
#include "scene/RenderScale.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

namespace {
const double radiansToDegrees = 57.29577951308232;
// Longest run, seconds (a day).
const double maxDuration = 86400.0;
// Cameras --camera selects: F1 to F4 as 1 to 4, the orbit camera (F12) as 5.
const int cameraCount = 5;
// Longest history --history keeps, seconds (an hour).
const double maxHistory = 3600.0;

void usage(FILE* to) {
    std::fprintf(
        to, "usage: dravonel-sim [--assets DIR] [--map FILE] [--script \"T:+key T:-key ...\"]\n"
            "                    [--duration SECONDS] [--interval SECONDS] [--fps N] [--csv]\n"
            "                    [--camera N] [--history SECONDS] [--state FILE] [--damage]\n"
            "                    [--trucks N] [--threads T]\n"
            "       dravonel-sim [--assets DIR] [--map FILE] --replay FILE [--interval SECONDS]\n"
            "                    [--csv] [--camera N] [--history SECONDS] [--at T] [--damage]\n"
            "       dravonel-sim --check MODEL\n"
            "--map drives on a heightmap world (such as maps/dunes.map of the assets).\n"
            "Script events: TIME:+KEY, TIME:-KEY with keys up down left right space esc q e\n"
            "p [ ] . r h f1..f12 backspace home end tab; TIME:grab=P@X,Y,Z, TIME:release;\n"
            "TIME:steer=V, TIME:throttle=V, TIME:brake=V; TIME:truck=K drives truck K;\n"
            "TIME:rewind=S goes back S seconds of simulated time and drives on (backspace\n"
            "held goes back at twice the speed);\n"
            "+f10 saves the moment to a new file dravonel-NNN.state, named on stderr. Times\n"
            "in seconds.\n"
            "--history keeps that many seconds of the past to go back to (120; 0 none).\n"
            "--state starts from a saved moment: the script's clock is the saved drive's, so\n"
            "events before the moment are passed over and --duration is where it ends.\n"
            "--at T plays the recording through (its whole length kept in the history), then\n"
            "seeks back to its last frame at or before T and prints only the positions hash\n"
            "there (the seek's CPU time on stderr).\n"
            "--replay plays a recording made with dravonel --record at its own frame times.\n"
            "--check reports on a model file (see docs/model-format.md): exit 0 when it is\n"
            "usable, 1 when not, with the first reason on the last line.\n"
            "Columns: time (s), x y z of the body origin (m), dist from the start (m),\n"
            "heading (deg, clockwise from -z seen from above), speed (m/s), tilt of the\n"
            "body's up axis (deg), spin of wheels 0..3 (rev/s, of one rim particle in the\n"
            "ground frame, so it swings while the wheel turns); with --camera N (1 to 5, as\n"
            "F1 to F4 and F12) the cameras run as in the window and a last column eye gives\n"
            "the eye's height above the ground under it (m). Then shape: the RMS distance (m)\n"
            "of the particles on no wheel's rim from their rest shape after the best rigid\n"
            "fit; with --damage (springs bend for good and break by the model's limits)\n"
            "also yielded (springs whose rest length has flowed) and broken.\n"
            "--trucks N puts N trucks (1 to 16) in the world: one row per truck and\n"
            "interval, with a first column truck (0 to N-1), and the hash covers them all;\n"
            "--threads T steps them on T threads (default: one per core, at least four\n"
            "trucks to a thread), to the same bits.\n"
            "Last line: the positions hash (to stderr with --csv); equal hashes, equal runs.\n");
}

// Options that fail: the reason, then the usage, both on stderr.
int optionError(const char* why) {
    std::fprintf(stderr, "dravonel-sim: %s\n", why);
    usage(stderr);
    return 2;
}

struct Sample {
    Vec3 origin;
    float headingDegrees;
    float tiltDegrees;
};

Sample sampleBody(const TruckApp& app, int truck) {
    const Mat4 body = app.bodyTransformOf(app.truckWorld(truck));
    Sample s;
    s.origin = Vec3(body.m[12], body.m[13], body.m[14]) * (1.0f / renderScale);
    const Vec3 forward = body.transformVector(Vec3(0.0f, 0.0f, -1.0f));
    s.headingDegrees = static_cast<float>(std::atan2(forward.x, -forward.z) * radiansToDegrees);
    const Vec3 up = normalized(body.transformVector(Vec3(0.0f, 1.0f, 0.0f)));
    s.tiltDegrees = static_cast<float>(std::acos(std::fmin(1.0f, up.y)) * radiansToDegrees);
    return s;
}

// Mean velocity of a truck's four body-fit particles, m/s (as
// TruckApp::chassisVelocity gives it for the driven truck).
Vec3 chassisVelocityOf(PhysicsWorld* world) {
    const Particle* particles = world->particles();
    Vec3 sum;
    for (int i = 136; i < 140; ++i) {
        sum = sum + particles[i].velocity;
    }
    return sum * 0.25f;
}

// One row of the table (or CSV) for the state of one truck at `time`; with
// several trucks the row starts with the truck's number.
void printRow(const TruckApp& app, int truck, const Sample& start, double time, bool csv,
              const Vec3* eye, const BodyShape& shape) {
    const Sample s = sampleBody(app, truck);
    const Vec3 travel = s.origin - start.origin;
    const float dist = std::sqrt(travel.x * travel.x + travel.z * travel.z);
    PhysicsWorld* world = app.truckWorld(truck);
    const Wheel* wheels = world->wheels();
    const Vec3 velocity =
        truck == 0 && app.truckCount() == 1 ? app.chassisVelocity() : chassisVelocityOf(world);
    const char* format = csv ? "%.3f,%.3f,%.3f,%.3f,%.3f,%.2f,%.3f,%.2f,%.3f,%.3f,%.3f,%.3f\n"
                             : "%7.2f %8.3f %7.3f %8.3f %7.2f %8.2f %6.2f %6.2f %7.3f "
                               "%7.3f %7.3f %7.3f\n";
    if (app.truckCount() > 1) {
        std::printf(csv ? "%d," : "%5d ", truck);
    }
    char row[256];
    std::snprintf(row, sizeof(row), format, time, s.origin.x, s.origin.y, s.origin.z, dist,
                  s.headingDegrees, std::sqrt(dot(velocity, velocity)), s.tiltDegrees,
                  wheels[0].spin(), wheels[1].spin(), wheels[2].spin(), wheels[3].spin());
    row[std::strlen(row) - 1] = '\0';
    std::fputs(row, stdout);
    if (eye != nullptr) {
        const float height = app.eyeHeight(*eye);
        if (height >= Terrain::outside) {
            std::printf(csv ? "," : " %7s", "-");
        } else {
            std::printf(csv ? ",%.3f" : " %7.3f", static_cast<double>(height));
        }
    }
    std::printf(csv ? ",%.4f" : " %7.4f", shape.deviation(world->positions()));
    if (app.damage) {
        std::printf(csv ? ",%d,%d" : " %7d %7d", world->yieldedCount(), world->brokenCount());
    }
    std::fputs("\n", stdout);
}
// One line when the truck has fallen off the map and been reset since the
// last call. Not a table row: in CSV mode it goes to stderr.
void reportFallOut(const TruckApp& app, double time, bool csv, int* reported) {
    if (app.fallOutResets != *reported) {
        *reported = app.fallOutResets;
        // A fall straight after the reset of the one before is said once.
        if (app.straightFalls == 0) {
            std::fprintf(csv ? stderr : stdout,
                         "%7.2f  the truck fell off the edge of the map and was reset\n", time);
        } else if (app.straightFalls == 1) {
            std::fprintf(csv ? stderr : stdout,
                         "%7.2f  the truck fell off again straight after the reset; falls "
                         "that follow at once are not reported\n",
                         time);
        }
    }
}
// The same for a soft body that blew up.
// A body that blows up again at once would give a line every frame: the
// first is printed, then at most one a second with the count since.
void reportUnstable(const TruckApp& app, double time, bool csv, int* reported) {
    static double lastLine = -1.0e30;
    static int lastCount = 0;
    if (app.unstableResets == *reported || time - lastLine < 1.0) {
        return;
    }
    *reported = app.unstableResets;
    const int more = app.unstableResets - lastCount;
    lastCount = app.unstableResets;
    lastLine = time;
    FILE* to = csv ? stderr : stdout;
    if (more > 1) {
        std::fprintf(to, "%7.2f  the soft body became unstable and was reset (%d times)\n", time,
                     more);
    } else {
        std::fprintf(to, "%7.2f  the soft body became unstable and was reset\n", time);
    }
}
// One line on stderr for each state F10 saved since the last call.
void reportSavedStates(const TruckApp& app, int* reported) {
    if (app.statesSaved != *reported) {
        *reported = app.statesSaved;
        std::fprintf(stderr, "dravonel-sim: saved %s\n",
                     printableText(app.savedStateName.c_str()).c_str());
    }
}

double cpuSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// --at: the recording played through as the window plays it, then a seek
// back to its last frame at or before `at` through the history; a frame
// older than the history keeps is reached by playing from the start again.
int seekInRecording(TruckApp& app, Recording& recording, double at) {
    float time = 0.0f;
    while (recording.nextFrame(&app, &time)) {
        app.advance(time);
    }
    const double started = cpuSeconds();
    if (app.history.empty() || at < app.history.firstFrameTime() ||
        !app.history.landAtFrameTime(app, at)) {
        std::fprintf(stderr,
                     "dravonel-sim: --at %.3f: older than the history keeps (from %.3f s)\n", at,
                     app.history.firstFrameTime());
        return 1;
    }
    const double seconds = cpuSeconds() - started;
    const uint64_t hash = app.positionsHash();
    std::printf("positions hash: %016" PRIx64 "\n", hash);
    std::fprintf(stderr, "dravonel-sim: seek to %.3f s: the frame at %.4f s, %.1f ms of CPU\n", at,
                 app.history.lastFrameTime(), seconds * 1000.0);
    return 0;
}
} // namespace

int main(int argc, char** argv) {
    std::string assets;
    std::string scriptText;
    std::string replayPath;
    std::string checkPath;
    bool checking = false;
    std::string mapPath;
    double duration = 10.0;
    double interval = 0.5;
    int fps = 60;
    int camera = 0;
    bool csv = false;
    bool damage = false;
    bool scripted = false;
    double historySeconds = History::defaultSeconds;
    std::string statePath;
    double seekTime = 0.0;
    bool seeking = false;
    int trucks = 0;
    int threads = 0;
    CommandLine line(argc, argv);
    for (const char* option = line.next(); option != nullptr; option = line.next()) {
        const char* value = nullptr;
        bool ok = true;
        if (std::strcmp(option, "--assets") == 0) {
            ok = line.text(&value);
            assets = ok ? value : "";
        } else if (std::strcmp(option, "--script") == 0) {
            ok = line.text(&value);
            scriptText = ok ? value : "";
            scripted = true;
        } else if (std::strcmp(option, "--replay") == 0) {
            ok = line.text(&value);
            replayPath = ok ? value : "";
        } else if (std::strcmp(option, "--check") == 0) {
            ok = line.text(&value);
            checkPath = ok ? value : "";
            checking = true;
        } else if (std::strcmp(option, "--map") == 0) {
            ok = line.text(&value);
            mapPath = ok ? value : "";
        } else if (std::strcmp(option, "--duration") == 0) {
            ok = line.number(0.0, maxDuration, &duration);
            scripted = true;
        } else if (std::strcmp(option, "--interval") == 0) {
            ok = line.number(0.001, maxDuration, &interval);
        } else if (std::strcmp(option, "--fps") == 0) {
            ok = line.integer(1, 10000, &fps);
            scripted = true;
        } else if (std::strcmp(option, "--camera") == 0) {
            ok = line.integer(1, cameraCount, &camera);
        } else if (std::strcmp(option, "--history") == 0) {
            ok = line.number(0.0, maxHistory, &historySeconds);
        } else if (std::strcmp(option, "--state") == 0) {
            ok = line.text(&value);
            statePath = ok ? value : "";
        } else if (std::strcmp(option, "--at") == 0) {
            ok = line.number(0.0, maxDuration, &seekTime);
            seeking = true;
        } else if (std::strcmp(option, "--trucks") == 0) {
            ok = line.integer(1, TruckApp::maxTrucks, &trucks);
        } else if (std::strcmp(option, "--threads") == 0) {
            ok = line.integer(1, 64, &threads);
        } else if (std::strcmp(option, "--csv") == 0) {
            csv = true;
        } else if (std::strcmp(option, "--damage") == 0) {
            damage = true;
        } else if (std::strcmp(option, "--help") == 0 || std::strcmp(option, "-h") == 0) {
            usage(stdout);
            return 0;
        } else {
            ok = line.fail("unknown option '" + printableText(option) + "'");
        }
        if (!ok) {
            return optionError(line.failureReason());
        }
    }
    if (checking) {
        if (argc != 3) {
            return optionError("--check takes its model file and no other options");
        }
        std::string report;
        const bool usable = checkTruckModel(checkPath.c_str(), &report);
        std::fputs(report.c_str(), stdout);
        return usable ? 0 : 1;
    }
    if (!replayPath.empty() && scripted) {
        return optionError("--replay plays its own frames: no --script, --duration or --fps");
    }
    if (!replayPath.empty() && !statePath.empty()) {
        return optionError("--replay starts where its drive started: no --state");
    }
    if (seeking && replayPath.empty()) {
        return optionError("--at seeks in a recording: give it --replay");
    }

    KeyScript script;
    if (!script.parse(scriptText)) {
        return optionError((std::string("--script: ") + script.failureReason()).c_str());
    }
    Recording recording;
    if (!replayPath.empty() && !recording.load(replayPath.c_str())) {
        std::fprintf(stderr, "dravonel-sim: %s\n",
                     printableText(recording.failureReason()).c_str());
        return 1;
    }

    MapFile map;
    if (!mapPath.empty() && !map.load(mapPath.c_str())) {
        std::fprintf(stderr, "dravonel-sim: %s\n", printableText(map.failureReason()).c_str());
        return 1;
    }
    AssetFolder folder;
    folder.choose(assets);
    TruckApp app;
    // A seek reaches every frame of the recording through the history.
    if (seeking) {
        historySeconds =
            std::min(maxHistory, std::max(historySeconds, recording.lastFrameTime() + 1.0));
    }
    app.historySeconds = historySeconds;
    app.setAssetDirectory(folder.path().c_str());
    app.setMap(mapPath.empty() ? nullptr : &map);
    app.damage = damage;
    // A replay runs with the trucks it was recorded with unless told otherwise.
    app.setTruckCount(trucks > 0 ? trucks : (replayPath.empty() ? 1 : recording.truckStamp()));
    app.setThreads(threads > 0 ? threads : defaultThreads(app.truckCount()));
    if (!app.initSimulation()) {
        std::fprintf(stderr, "dravonel-sim: cannot start: %s%s\n",
                     printableText(app.failureReason()).c_str(), folder.missingFilesHint().c_str());
        return 1;
    }

    // A grab of a particle the model does not have would do nothing, and
    // the drive would silently be another one.
    if (!script.checkParticles(app.world->particleCount())) {
        return optionError((std::string("--script: ") + script.failureReason()).c_str());
    }
    if (!replayPath.empty()) {
        if (!recording.matchesModel(app.modelHash) || !recording.matchesGround(app.groundHash) ||
            !recording.matchesParticles(app.world->particleCount()) ||
            !recording.matchesDamage(damage)) {
            std::fprintf(stderr, "dravonel-sim: %s\n",
                         printableText(recording.failureReason()).c_str());
            return 1;
        }
        if (recording.warning()[0] != '\0') {
            std::fprintf(stderr, "dravonel-sim: warning: %s\n",
                         printableText(recording.warning()).c_str());
        }
    }

    // Where a saved moment was: the script's clock starts there.
    long firstFrame = 0;
    if (!statePath.empty()) {
        if (!app.loadState(statePath.c_str())) {
            std::fprintf(stderr, "dravonel-sim: %s\n", printableText(app.failureReason()).c_str());
            return 1;
        }
        firstFrame = std::lround(-app.timelineOffset * fps);
        app.timelineOffset = 0.0;
        // Everything sent before the moment's next frame is in the moment.
        script.skipUntil(static_cast<double>(firstFrame + 1) / fps);
    }
    if (seeking) {
        return seekInRecording(app, recording, seekTime);
    }

    // The body particles and their rest shape, bound once: every reset loads
    // the same model, so they stay right for every world.
    BodyShape shape;
    if (!shape.bind(*app.world)) {
        std::fprintf(stderr, "dravonel-sim: out of memory\n");
        return 1;
    }
    const int truckTotal = app.truckCount();
    Sample starts[TruckApp::maxTrucks];
    for (int k = 0; k < truckTotal; ++k) {
        starts[k] = sampleBody(app, k);
    }
    auto printRows = [&](double time, const Vec3* eyeShown) {
        for (int k = 0; k < truckTotal; ++k) {
            printRow(app, k, starts[k], time, csv, eyeShown, shape);
        }
    };
    if (truckTotal > 1) {
        std::fputs(csv ? "truck," : "truck ", stdout);
    }
    if (csv) {
        std::printf("time,x,y,z,dist,heading,speed,tilt,spin0,spin1,spin2,spin3%s,shape%s\n",
                    camera > 0 ? ",eye" : "", damage ? ",yielded,broken" : "");
    } else {
        std::printf("%7s %8s %7s %8s %7s %8s %6s %6s %7s %7s %7s %7s%s %7s%s\n", "time", "x", "y",
                    "z", "dist", "heading", "speed", "tilt", "spin0", "spin1", "spin2", "spin3",
                    camera > 0 ? "     eye" : "", "shape", damage ? " yielded  broken" : "");
    }
    // The cameras without GL: chosen as its key chooses it, set up every
    // frame so that they smooth as in the window.
    Vec3 eye;
    const Vec3* eyeShown = camera > 0 ? &eye : nullptr;
    if (camera > 0) {
        app.key(cameraKeyCode(camera), true);
        app.key(cameraKeyCode(camera), false);
        eye = app.setupCamera(0.0f);
    }

    int fallOutResets = 0;
    int unstableResets = 0;
    int statesSaved = 0;
    if (replayPath.empty()) {
        const long frames = static_cast<long>(duration * fps + 0.5);
        const long framesPerSample = std::max(1L, static_cast<long>(interval * fps + 0.5));
        // Frames the simulation's clock is behind the script's after rewinds:
        // taken in whole frames, so that the clock after a rewind is the one
        // the frames had the first time, bit for bit.
        long behind = 0;
        for (long frame = firstFrame; frame <= frames; ++frame) {
            const double t = static_cast<double>(frame) / fps;
            script.sendUntil(t, &app);
            if (app.timelineOffset != 0.0) {
                behind += std::lround(app.timelineOffset * fps);
                app.timelineOffset = 0.0;
            }
            reportSavedStates(app, &statesSaved);
            if (frame > firstFrame) {
                app.advance(static_cast<float>(static_cast<double>(frame - behind) / fps));
                if (camera > 0) {
                    eye = app.setupCamera(static_cast<float>(t));
                }
            }
            reportFallOut(app, t, csv, &fallOutResets);
            reportUnstable(app, t, csv, &unstableResets);
            if (frame % framesPerSample == 0) {
                printRows(t, eyeShown);
            }
        }
    } else {
        // A row at the start and then at the first frame of every interval.
        printRows(0.0, eyeShown);
        double nextRow = interval;
        float time = 0.0f;
        while (recording.nextFrame(&app, &time)) {
            reportSavedStates(app, &statesSaved);
            app.advance(time);
            if (camera > 0) {
                eye = app.setupCamera(time);
            }
            reportFallOut(app, time, csv, &fallOutResets);
            reportUnstable(app, time, csv, &unstableResets);
            if (time >= nextRow) {
                printRows(time, eyeShown);
                nextRow = (std::floor(time / interval) + 1.0) * interval;
            }
        }
    }

    const uint64_t hash = app.positionsHash();
    std::fprintf(csv ? stderr : stdout, "positions hash: %016" PRIx64 "\n", hash);
    if (!replayPath.empty() && recording.hasEndHash() && recording.endHash() != hash) {
        std::fprintf(stderr, "dravonel-sim: warning: the recorded drive ended on %016" PRIx64 "\n",
                     recording.endHash());
    }
    return 0;
}
