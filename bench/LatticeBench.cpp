// Scale: lattices of 0.1 m cubes (edges and face diagonals, about nine
// springs per particle) resting on the flat strip, from about 1k to 1M
// springs. Each iteration steps 10 ms (20 sub-steps), as one frame does.
#include "bench/BenchSupport.h"

#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace {

struct LatticeSize {
    int nx, ny, nz;
};

// Model text of an nx x ny x nz lattice standing on the ground at the centre
// of the flat strip; stiff enough to carry its own weight.
std::string latticeModel(const LatticeSize& size) {
    const int n = size.nx * size.ny * size.nz;
    auto index = [&size](int x, int y, int z) { return (x * size.ny + y) * size.nz + z; };
    std::string text = std::to_string(n) + "\n";
    char line[96];
    for (int x = 0; x < size.nx; ++x) {
        for (int y = 0; y < size.ny; ++y) {
            for (int z = 0; z < size.nz; ++z) {
                std::snprintf(line, sizeof line, "%.3f %.3f %.3f 0.2\n", -0.05 * size.nx + 0.1 * x,
                              0.02 + 0.1 * y, 30.0 + 0.1 * z);
                text += line;
            }
        }
    }
    // Edges along x, y, z and the two diagonals of each face orientation.
    static const int offsets[9][3] = {{1, 0, 0}, {0, 1, 0},  {0, 0, 1}, {1, 1, 0}, {1, -1, 0},
                                      {1, 0, 1}, {1, 0, -1}, {0, 1, 1}, {0, 1, -1}};
    std::string springs;
    int count = 0;
    for (int x = 0; x < size.nx; ++x) {
        for (int y = 0; y < size.ny; ++y) {
            for (int z = 0; z < size.nz; ++z) {
                for (const int* o : offsets) {
                    const int x2 = x + o[0];
                    const int y2 = y + o[1];
                    const int z2 = z + o[2];
                    if (x2 < size.nx && y2 >= 0 && y2 < size.ny && z2 >= 0 && z2 < size.nz) {
                        std::snprintf(line, sizeof line, "%d %d 5000 0.5\n", index(x, y, z),
                                      index(x2, y2, z2));
                        springs += line;
                        ++count;
                    }
                }
            }
        }
    }
    text += std::to_string(count) + "\n" + springs;
    text += "0\n0\n0\n0\n"; // no wheels, joints or quadratic springs
    return text;
}

// Lattices by their nominal spring count.
const std::map<int, LatticeSize> sizes = {
    {1000, {5, 5, 7}}, {10000, {11, 11, 11}}, {100000, {23, 23, 23}}, {1000000, {48, 48, 48}}};

void BM_Lattice(benchmark::State& state) {
    const LatticeSize size = sizes.at(static_cast<int>(state.range(0)));
    std::unique_ptr<PhysicsWorld> world(new PhysicsWorld());
    const std::string text = latticeModel(size);
    if (!world->loadModelFromText(text.data(), text.size(), "lattice")) {
        state.SkipWithError(world->failureReason());
        return;
    }
    const int frameMilliseconds = 10;
    for (auto _ : state) {
        benchmark::DoNotOptimize(world->step(frameMilliseconds));
    }
    const double subSteps = 2.0 * frameMilliseconds * static_cast<double>(state.iterations());
    setStepCounters(state, subSteps, springCount(*world));
    // The largest body of this kind that keeps up with real time on one
    // core, if the cost per spring stays as here.
    state.counters["realtime_springs"] =
        benchmark::Counter(springCount(*world) * subSteps * 0.0005, benchmark::Counter::kIsRate);
    state.counters["springs"] = springCount(*world);
    state.counters["particles"] = world->particleCount();
}

} // namespace

BENCHMARK(BM_Lattice)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);
