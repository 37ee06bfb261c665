// WorldSnapshot: everything of a PhysicsWorld that its next sub-step reads
// and that changes while it runs, copied into a buffer the caller owns and
// put back from it. Restoring a snapshot and stepping on gives the same bits
// as never having left: the particles' positions, velocities, both
// accelerations and the force accumulators (the wheels' second torque pass
// leaves forces there for the next sub-step), the springs' and quadratic
// springs' rest and previous lengths, the wheels' drive, brake seed and
// spin, the angle joints' targets and the grab. What the model file fixed
// (masses, ends, stiffnesses, rims) and the terrain are not copied; the
// counts are, so that a snapshot goes back only into a world of the same
// shape. The packed step keeps nothing between steps of its own.
//
// The bytes are the host's own floats and ints in a fixed order, with no
// padding; a file that stores them stamps them with the model and the ground.
#pragma once

#include <cstddef>

class PhysicsWorld;

class WorldSnapshot {
  public:
    // The bytes a snapshot of `world`, as it is loaded, takes.
    static size_t bytes(PhysicsWorld& world);
    // Writes the snapshot to buffer; returns the bytes written, or 0 (and
    // writes nothing) when capacity is smaller than bytes(world).
    static size_t save(PhysicsWorld& world, unsigned char* buffer, size_t capacity);
    // Puts a snapshot back. False, and the world is unchanged, when size is
    // not what this world's snapshot takes, the counts are another world's,
    // or a value is not one the world can hold (not finite, a grab of a
    // particle it does not have).
    static bool restore(PhysicsWorld& world, const unsigned char* buffer, size_t size);
    // Whether restore would take the snapshot, without changing anything:
    // several worlds restored together are all checked first.
    static bool fits(PhysicsWorld& world, const unsigned char* buffer, size_t size);

    // The counts at the head of every snapshot.
    static constexpr int countFields = 6;
};
