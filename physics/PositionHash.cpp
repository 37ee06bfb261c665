// positionHash: FNV-1a (64-bit) over the raw position bytes.
#include "physics/PositionHash.h"

#include <cstddef>

uint64_t positionHash(const Vec3* positions, int count) {
    uint64_t hash = 1469598103934665603ull; // FNV-1a offset basis
    if (positions == nullptr || count <= 0) {
        return hash;
    }
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(positions);
    const size_t size = sizeof(Vec3) * static_cast<size_t>(count);
    for (size_t k = 0; k < size; ++k) {
        hash = (hash ^ bytes[k]) * 1099511628211ull; // FNV-1a prime
    }
    return hash;
}
