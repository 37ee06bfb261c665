// positionHash: FNV-1a (64-bit) over the raw position bytes.
#include "physics/PositionHash.h"

#include <cstddef>

uint64_t positionHash(const Vec3* positions, int count) {
    if (positions == nullptr || count <= 0) {
        return bytesHash(nullptr, 0);
    }
    return bytesHash(positions, sizeof(Vec3) * static_cast<size_t>(count));
}

uint64_t bytesHash(const void* data, size_t size) {
    uint64_t hash = 1469598103934665603ull; // FNV-1a offset basis
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    for (size_t k = 0; k < size; ++k) {
        hash = (hash ^ bytes[k]) * 1099511628211ull; // FNV-1a prime
    }
    return hash;
}
