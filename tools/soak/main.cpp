// dravonel-soak: a long headless drive with seeded random key presses. It
// loads the assets as dravonel-sim does, then for a given simulated time
// presses and releases random keys (steering, throttle, brake, cameras, the
// display toggles, the look keys and now and then Escape) at irregular frame
// intervals, as a restless user would, and resets the truck once it has left
// the terrain. Every reset puts the truck somewhere new on the terrain, so
// that a long run drives over all of it. At the end it reports the worst
// figures seen: frames with non-finite values, the fastest particle and the
// most-stretched spring while the whole truck is over the ground, how much
// of the terrain the truck covered, and memory. Exit status: 0 when every
// value stayed finite, 1 otherwise, 2 for bad options.
#include "app/Truck.h"
#include "app/TruckApp.h"
#include "app/record/KeyScript.h"
#include "app/world/MapFile.h"
#include "physics/PhysicsWorld.h"
#include "physics/Terrain.h"
#include "scene/RenderScale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

void usage(std::FILE* out) {
    std::fprintf(out, "usage: dravonel-soak [--assets DIR] [--map FILE] [--seed N] [--minutes "
                      "SIMULATED] [--damage]\n"
                      "                     [--trucks N] [--threads T]\n"
                      "Drives the truck headless with seeded random keys for the given\n"
                      "simulated minutes (default 30), putting the truck somewhere new on\n"
                      "the terrain at every reset, and reports the worst figures seen.\n"
                      "--damage lets the truck bend for good and break.\n"
                      "With --trucks N the keys pass from truck to truck at every new plan\n"
                      "(Tab) and every truck is measured; --threads T steps them on T threads.\n");
}

// Resident set size now, in MB (from /proc; 0 where it cannot be read).
double residentMegabytes() {
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr) {
        return 0.0;
    }
    long size = 0;
    long resident = 0;
    const int read = std::fscanf(statm, "%ld %ld", &size, &resident);
    std::fclose(statm);
    return read == 2 ? resident * 4096.0 / (1024.0 * 1024.0) : 0.0;
}

double peakResidentMegabytes() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0; // kB on Linux
}

bool finite(const Vec3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

float length(const Vec3& v) {
    return std::sqrt(dot(v, v));
}

// The worst figures of the run and when they happened.
struct Worst {
    long nonFiniteFrames = 0;
    double firstNonFinite = -1.0;
    float fastest = 0.0f;
    int fastestParticle = -1;
    double fastestTime = 0.0;
    float stretch = 0.0f; // length / rest length
    int stretchedSpring = -1;
    double stretchTime = 0.0;
    long framesOffTheEdge = 0; // frames with part of the truck beyond the terrain
};

void measure(PhysicsWorld& world, double time, Worst& worst) {
    const Vec3* positions = world.positions();
    const Particle* particles = world.particles();
    const Terrain& terrain = world.terrain();
    bool allFinite = true;
    bool overGround = true;
    for (int i = 0; i < world.particleCount(); ++i) {
        allFinite = allFinite && finite(positions[i]) && finite(particles[i].velocity);
        overGround = overGround && terrain.query(positions[i], nullptr, nullptr) < Terrain::outside;
    }
    const Spring* springs = world.springs();
    for (int k = 0; k < world.springCount() && allFinite; ++k) {
        allFinite = std::isfinite(length(positions[springs[k].b] - positions[springs[k].a]));
    }
    if (!allFinite) {
        if (worst.nonFiniteFrames == 0) {
            worst.firstNonFinite = time;
        }
        ++worst.nonFiniteFrames;
        return;
    }
    // Part of a truck that hangs over the terrain's edge has no ground under
    // it and falls away from the rest: speeds and stretches then tell about
    // the edge, not the step. They are counted only over the ground.
    if (!overGround) {
        ++worst.framesOffTheEdge;
        return;
    }
    for (int i = 0; i < world.particleCount(); ++i) {
        const float speed = length(particles[i].velocity);
        if (speed > worst.fastest) {
            worst.fastest = speed;
            worst.fastestParticle = i;
            worst.fastestTime = time;
        }
    }
    for (int k = 0; k < world.springCount(); ++k) {
        const Spring& s = springs[k];
        if (!(s.restLength > 0.0f)) {
            continue;
        }
        const float ratio = length(positions[s.b] - positions[s.a]) / s.restLength;
        if (ratio > worst.stretch) {
            worst.stretch = ratio;
            worst.stretchedSpring = k;
            worst.stretchTime = time;
        }
    }
}

// Index of the terrain cell under p (x and z), -1 outside the grid.
int cellUnder(const Terrain& terrain, const Vec3& p) {
    const float i = std::floor((p.x - terrain.minX()) / terrain.spacing);
    const float j = std::floor((p.z - terrain.minZ()) / terrain.spacing);
    if (!(i >= 0.0f && i < terrain.cellsX && j >= 0.0f && j < terrain.cellsZ)) {
        return -1;
    }
    return static_cast<int>(i) * terrain.cellsZ + static_cast<int>(j);
}

// Keys pressed at random besides the driving ones.
const char* const otherKeys[] = {"q", "e", "f1", "f2", "f3", "f4", "f5", "f6", "f7", "f8"};

// Height of the ground under (x, z), metres.
float groundHeight(const Terrain& terrain, float x, float z) {
    Vec3 normal(0.0f, 1.0f, 0.0f);
    const float above = terrain.query(Vec3(x, 0.0f, z), &normal, nullptr);
    return -above / normal.y;
}

// Carries a freshly reset truck, unchanged in shape and orientation, to a
// random place on the terrain, its lowest particle 0.3 m above the highest
// ground under the truck's footprint.
void placeAtRandom(PhysicsWorld& world, std::mt19937& random) {
    // 8 m in from every edge (56 m from the centre of the default world).
    const Terrain& terrain = world.terrain();
    std::uniform_real_distribution<float> alongX(terrain.minX() + 8.0f, terrain.maxX() - 8.0f);
    std::uniform_real_distribution<float> alongZ(terrain.minZ() + 8.0f, terrain.maxZ() - 8.0f);
    const float x = alongX(random);
    const float z = alongZ(random);
    Vec3* positions = world.positions();
    const int count = world.particleCount();
    Vec3 centre;
    float lowest = positions[0].y;
    for (int i = 0; i < count; ++i) {
        centre = centre + positions[i];
        lowest = std::fmin(lowest, positions[i].y);
    }
    centre = centre * (1.0f / static_cast<float>(count));
    const Vec3 shift(x - centre.x, 0.0f, z - centre.z);
    float highestGround = -1e9f;
    for (int i = 0; i < count; ++i) {
        highestGround =
            std::fmax(highestGround, groundHeight(world.terrain(), positions[i].x + shift.x,
                                                  positions[i].z + shift.z));
    }
    const Vec3 move(shift.x, highestGround + 0.3f - lowest, shift.z);
    for (int i = 0; i < count; ++i) {
        positions[i] = positions[i] + move;
    }
}

// Presses or releases `code` so that it ends up held or not.
void hold(TruckApp& app, bool* held, int code, bool down, long* presses) {
    if (held[code] != down) {
        held[code] = down;
        app.key(code, down);
        *presses += down ? 1 : 0;
    }
}

} // namespace

int main(int argc, char** argv) {
    std::string assets = ".";
    std::string mapPath;
    unsigned long seed = 1;
    double minutes = 30.0;
    bool damage = false;
    // With damage: the most springs yielded and broken at once.
    int mostYielded = 0;
    int mostBroken = 0;
    long trucks = 1;
    long threads = 0;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        char* end = nullptr;
        if (std::strcmp(argv[i], "--assets") == 0 && hasValue) {
            assets = argv[++i];
        } else if (std::strcmp(argv[i], "--map") == 0 && hasValue) {
            mapPath = argv[++i];
        } else if (std::strcmp(argv[i], "--seed") == 0 && hasValue) {
            seed = std::strtoul(argv[++i], &end, 10);
            if (*end != '\0' || argv[i][0] == '\0') {
                std::fprintf(stderr, "dravonel-soak: --seed '%s' is not a number\n", argv[i]);
                return 2;
            }
        } else if (std::strcmp(argv[i], "--minutes") == 0 && hasValue) {
            minutes = std::strtod(argv[++i], &end);
            if (*end != '\0' || !(minutes >= 0.0) || minutes > 1e6) {
                std::fprintf(stderr, "dravonel-soak: --minutes '%s' is not a duration\n", argv[i]);
                return 2;
            }
        } else if (std::strcmp(argv[i], "--damage") == 0) {
            damage = true;
        } else if ((std::strcmp(argv[i], "--trucks") == 0 ||
                    std::strcmp(argv[i], "--threads") == 0) &&
                   hasValue) {
            const bool isTrucks = argv[i][3] == 'r';
            const long value = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || argv[i][0] == '\0' || value < 1 ||
                value > (isTrucks ? TruckApp::maxTrucks : 64)) {
                std::fprintf(stderr, "dravonel-soak: %s '%s' is out of range\n",
                             isTrucks ? "--trucks" : "--threads", argv[i]);
                return 2;
            }
            (isTrucks ? trucks : threads) = value;
        } else if (std::strcmp(argv[i], "--help") == 0) {
            usage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "dravonel-soak: unknown or incomplete option '%s'\n", argv[i]);
            usage(stderr);
            return 2;
        }
    }

    MapFile map;
    if (!mapPath.empty() && !map.load(mapPath.c_str())) {
        std::fprintf(stderr, "dravonel-soak: %s\n", map.failureReason());
        return 1;
    }
    TruckApp app;
    app.setAssetDirectory(assets.c_str());
    app.setMap(mapPath.empty() ? nullptr : &map);
    app.damage = damage;
    app.setTruckCount(static_cast<int>(trucks));
    app.setThreads(threads > 0 ? static_cast<int>(threads) : defaultThreads(app.truckCount()));
    if (!app.initSimulation()) {
        std::fprintf(stderr, "dravonel-soak: cannot start: %s\n", app.failureReason());
        return 1;
    }
    const double loadedMegabytes = residentMegabytes();

    std::mt19937 random(static_cast<std::mt19937::result_type>(seed));
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const int up = KeyScript::codeForName("up");
    const int down = KeyScript::codeForName("down");
    const int left = KeyScript::codeForName("left");
    const int right = KeyScript::codeForName("right");
    const int space = KeyScript::codeForName("space");
    const int escape = KeyScript::codeForName("esc");

    const double duration = minutes * 60.0;
    // Every reset makes a new world: the terrain is asked for afresh below.
    const long cells = static_cast<long>(app.world->terrain().cellsX) * app.world->terrain().cellsZ;
    std::vector<bool> visited(static_cast<size_t>(cells), false);
    int visitedCells = 0;
    Worst worst;
    long frames = 0;
    long presses = 0;
    long resets = 0;
    long offGroundResets = 0;
    double offGroundSince = -1.0;
    double minuteMegabytes = 0.0;
    double time = 0.0;
    // What the soak holds on each truck: a truck left keeps its keys.
    static bool heldOn[TruckApp::maxTrucks][512] = {};
    bool* held = heldOn[0];

    double nextPlan = 0.0;
    placeAtRandom(*app.world, random);

    while (time < duration) {
        // Mostly 60 frames a second, sometimes faster or slower, and now and
        // then a stall longer than the quarter second one frame may simulate.
        const double roll = unit(random);
        time += roll < 0.8     ? 1.0 / 60.0
                : roll < 0.9   ? 1.0 / 144.0
                : roll < 0.998 ? 1.0 / 24.0
                               : 0.4;
        ++frames;
        // Every one to four seconds a new plan: mostly forward, sometimes
        // back or coasting, steering either way or straight, now and then
        // the brake.
        if (time >= nextPlan) {
            nextPlan = time + 1.0 + 3.0 * unit(random);
            if (app.truckCount() > 1) {
                app.key(KeyScript::codeForName("tab"), true);
                app.key(KeyScript::codeForName("tab"), false);
                held = heldOn[app.selectedTruck()];
            }
            const double throttle = unit(random);
            hold(app, held, up, throttle < 0.65, &presses);
            hold(app, held, down, throttle >= 0.65 && throttle < 0.8, &presses);
            const double steer = unit(random);
            hold(app, held, left, steer < 0.25, &presses);
            hold(app, held, right, steer >= 0.75, &presses);
            hold(app, held, space, unit(random) < 0.1, &presses);
        }
        // Cameras, toggles and the look keys about twice a second.
        if (unit(random) < 0.03) {
            const int code = KeyScript::codeForName(otherKeys[random() % 10]);
            hold(app, held, code, !held[code], &presses);
        }
        // Escape about every 15 simulated seconds; every reset puts the
        // truck somewhere new on the terrain.
        if (unit(random) < 1.0 / 900.0) {
            app.key(escape, true);
            app.key(escape, false);
            ++presses;
            ++resets;
            placeAtRandom(*app.world, random);
        }
        app.advance(static_cast<float>(time));

        for (int t = 0; t < app.truckCount(); ++t) {
            PhysicsWorld& truck = *app.truckWorld(t);
            measure(truck, time, worst);
            if (damage) {
                mostYielded = std::max(mostYielded, truck.yieldedCount());
                mostBroken = std::max(mostBroken, truck.brokenCount());
            }
        }
        PhysicsWorld& world = *app.world;
        for (int k = 0; k < world.particleCount(); ++k) {
            const int cell = cellUnder(world.terrain(), world.positions()[k]);
            if (cell >= 0 && !visited[static_cast<size_t>(cell)]) {
                visited[static_cast<size_t>(cell)] = true;
                ++visitedCells;
            }
        }
        const Mat4 body = app.bodyTransform();
        const Vec3 origin = Vec3(body.m[12], body.m[13], body.m[14]) * (1.0f / renderScale);
        if (cellUnder(app.world->terrain(), origin) >= 0) {
            offGroundSince = -1.0;
        } else if (offGroundSince < 0.0) {
            offGroundSince = time;
        } else if (time - offGroundSince > 2.0) {
            // Off the edge for two seconds: the driver presses Escape.
            app.key(escape, true);
            app.key(escape, false);
            placeAtRandom(*app.world, random);
            ++offGroundResets;
            offGroundSince = -1.0;
        }
        if (minuteMegabytes == 0.0 && time >= 60.0) {
            minuteMegabytes = residentMegabytes();
        }
    }

    std::printf("dravonel-soak: %.1f simulated minutes, %ld frames, seed %lu\n", duration / 60.0,
                frames, seed);
    std::printf("keys: %ld presses, %ld Escape resets, %ld resets after leaving the terrain\n",
                presses, resets, offGroundResets);
    std::printf("terrain: the truck passed over %d of %ld cells (%.0f %%)\n", visitedCells, cells,
                100.0 * visitedCells / static_cast<double>(cells));
    if (worst.nonFiniteFrames == 0) {
        std::printf("worst: no non-finite position, velocity or spring length\n");
    } else {
        std::printf("worst: non-finite values in %ld frames, the first at %.3f s\n",
                    worst.nonFiniteFrames, worst.firstNonFinite);
    }
    std::printf("edge: part of the truck beyond the terrain in %ld frames (not counted below)\n",
                worst.framesOffTheEdge);
    std::printf("worst: fastest particle %.2f m/s (particle %d at %.2f s)\n", worst.fastest,
                worst.fastestParticle, worst.fastestTime);
    std::printf("worst: most-stretched spring %.3f x its rest length (spring %d at %.2f s)\n",
                worst.stretch, worst.stretchedSpring, worst.stretchTime);
    if (damage) {
        std::printf("damage: at most %d springs yielded and %d broken at once\n", mostYielded,
                    mostBroken);
    }
    std::printf("memory: peak RSS %.1f MB; RSS %.1f MB after loading, %.1f MB after the first "
                "simulated minute, %.1f MB at the end\n",
                peakResidentMegabytes(), loadedMegabytes, minuteMegabytes, residentMegabytes());
    return worst.nonFiniteFrames == 0 ? 0 : 1;
}
