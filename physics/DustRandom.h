// DustRandom: the random numbers of the dust, an additive lagged-Fibonacci
// generator (x[n] = x[n-3] + x[n-31] mod 2^32, each output the top 31 bits)
// seeded through the minimal-standard multiplicative generator. It yields
// the same sequence as the C library's rand() on this platform does for the
// same seed, so the dust of a program that never seeds it is the dust it
// always had; unlike rand()'s, its state is a plain value that a snapshot of
// the application can copy and put back.
#pragma once

#include <cstdint>

class DustRandom {
  public:
    static constexpr int degree = 31;    // words of state
    static constexpr int separation = 3; // lag between the two words added

    // The state of a generator seeded with 1, as rand() starts.
    DustRandom() { seed(1); }

    // Starts the sequence over as srand(value) would.
    void seed(unsigned value);
    // The next number, 0 .. 2^31 - 1.
    int next();

    // The one generator the dust systems draw from, shared by all of them as
    // rand() was: a reset's new dust goes on with the sequence.
    static DustRandom& shared();

    // The whole state, for snapshots: the table and the position of the
    // word read next.
    struct State {
        uint32_t table[degree];
        int32_t rear; // index 0..degree-1 of the older word added
    };
    State state() const;
    // False, and nothing changes, for a state no generator can be in.
    bool setState(const State& value);

  private:
    uint32_t table[degree];
    int rear = 0;
};
