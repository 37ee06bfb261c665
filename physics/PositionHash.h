// positionHash: one 64-bit fingerprint of a particle state, so that two runs
// (the window and the headless simulator, two builds, two versions of the
// step) can be compared bit for bit by eye or by a test.
#pragma once

#include "math/Vec3.h"

#include <cstddef>
#include <cstdint>

// FNV-1a over the bytes of the positions, in particle order. Equal states
// give equal hashes; any changed bit of any coordinate changes the hash
// (with the usual 2^-64 chance of a collision).
uint64_t positionHash(const Vec3* positions, int count);

// The same FNV-1a over any bytes (a model file's, for instance).
uint64_t bytesHash(const void* data, size_t size);
