// Cost of the 3DS reader on the generated truck body and on hostile files
// whose chunks overlap, so that parsed naively they multiply: objects of 19
// bytes whose meshes all run to the end of the file, each hiding the next
// object behind a mesh matrix. Goal: every file read in time and memory
// linear in its size; the 152 KB file refused in well under 0.1 s and 20 MB.
// Reports the CPU time per load and the peak heap bytes of one load.
#include "render/Loader3ds.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <malloc.h>
#include <new>
#include <string>
#include <vector>

namespace {
std::atomic<long> heapBytes{0};
std::atomic<long> heapPeak{0};

void* counted(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p != nullptr) {
        const long now = heapBytes += static_cast<long>(malloc_usable_size(p));
        long peak = heapPeak.load();
        while (now > peak && !heapPeak.compare_exchange_weak(peak, now)) {
        }
    }
    return p;
}

void uncounted(void* p) {
    if (p != nullptr) {
        heapBytes -= static_cast<long>(malloc_usable_size(p));
        std::free(p);
    }
}
} // namespace

void* operator new(std::size_t size) {
    if (void* p = counted(size)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* p = counted(size)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return counted(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return counted(size);
}
void operator delete(void* p) noexcept {
    uncounted(p);
}
void operator delete[](void* p) noexcept {
    uncounted(p);
}
void operator delete(void* p, std::size_t) noexcept {
    uncounted(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    uncounted(p);
}

namespace {

void put(std::vector<unsigned char>& out, uint32_t value, int bytes) {
    for (int k = 0; k < bytes; ++k) {
        out.push_back(static_cast<unsigned char>(value >> (8 * k)));
    }
}

// The root and MDATA, then `objects` overlapping objects, then `emptyChunks`
// empty mesh matrices that every object's mesh reaches over.
std::vector<unsigned char> overlapping(int objects, int emptyChunks) {
    const uint32_t total = 12 + 19 * objects + 13 + 6 * emptyChunks;
    std::vector<unsigned char> file;
    put(file, 0x4D4D, 2);
    put(file, total, 4);
    put(file, 0x3D3D, 2);
    put(file, total - 6, 4);
    for (int i = 0; i < objects; ++i) {
        const uint32_t at = 12 + 19 * i;
        put(file, 0x4000, 2); // named object of 19 bytes, empty name
        put(file, 19, 4);
        put(file, 0, 1);
        put(file, 0x4100, 2); // its mesh, to the end of the file
        put(file, total - (at + 7), 4);
        put(file, 0x4160, 2); // a mesh matrix over the next object's start
        put(file, 19, 4);
    }
    file.insert(file.end(), 13, 1);
    for (int k = 0; k < emptyChunks; ++k) {
        put(file, 0x4160, 2);
        put(file, 6, 4);
    }
    return file;
}

void load(benchmark::State& state, const std::vector<unsigned char>& file) {
    long peak = 0;
    for (auto _ : state) {
        const long before = heapBytes.load();
        heapPeak = before;
        Loader3ds loader;
        benchmark::DoNotOptimize(loader.loadFromMemory(file.data(), file.size(), "bench.3ds"));
        peak = heapPeak.load() - before;
    }
    state.counters["file_bytes"] = static_cast<double>(file.size());
    state.counters["peak_heap_bytes"] = static_cast<double>(peak);
}

void BM_GeneratedBody(benchmark::State& state) {
    std::ifstream in(DRAVONEL_ASSET_DIR "/chevy_nowheels_3c.3ds", std::ios::binary);
    const std::vector<unsigned char> file((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    if (file.empty()) {
        state.SkipWithError("generated assets not found");
        return;
    }
    load(state, file);
}

void BM_OverlappingObjects(benchmark::State& state) {
    load(state, overlapping(static_cast<int>(state.range(0)), 0));
}

void BM_OverlappingEmptyChunks(benchmark::State& state) {
    load(state, overlapping(128, static_cast<int>(state.range(0))));
}

} // namespace

BENCHMARK(BM_GeneratedBody)->Unit(benchmark::kMillisecond);
// 2000 objects are 38 KB, 8000 are 152 KB.
BENCHMARK(BM_OverlappingObjects)->Arg(2000)->Arg(8000)->Unit(benchmark::kMillisecond);
// 80 000 empty chunks behind 128 objects: 482 KB.
BENCHMARK(BM_OverlappingEmptyChunks)->Arg(80000)->Unit(benchmark::kMillisecond);
