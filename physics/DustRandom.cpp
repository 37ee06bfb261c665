// DustRandom: seeding, drawing and the state of the dust's generator.
#include "physics/DustRandom.h"

void DustRandom::seed(unsigned value) {
    // As the C library does it: seed 0 is taken as 1, and the table is
    // filled with 16807^i * seed modulo 2^31 - 1, computed without overflow
    // (Schrage's method), from the seed as a signed 32-bit word.
    int32_t word = static_cast<int32_t>(value == 0 ? 1u : value);
    table[0] = static_cast<uint32_t>(word);
    for (int i = 1; i < degree; ++i) {
        const long hi = word / 127773;
        const long lo = word % 127773;
        long next = 16807 * lo - 2836 * hi;
        if (next < 0) {
            next += 2147483647;
        }
        word = static_cast<int32_t>(next);
        table[i] = static_cast<uint32_t>(word);
    }
    rear = 0;
    // The first outputs still show the seed's structure: ten rounds of the
    // table are thrown away.
    for (int k = 0; k < 10 * degree; ++k) {
        next();
    }
}

int DustRandom::next() {
    int front = rear + separation;
    if (front >= degree) {
        front -= degree;
    }
    table[front] += table[rear];
    const int result = static_cast<int>(table[front] >> 1);
    rear = rear + 1 == degree ? 0 : rear + 1;
    return result;
}

DustRandom& DustRandom::shared() {
    static DustRandom generator;
    return generator;
}

DustRandom::State DustRandom::state() const {
    State s;
    for (int i = 0; i < degree; ++i) {
        s.table[i] = table[i];
    }
    s.rear = rear;
    return s;
}

bool DustRandom::setState(const State& value) {
    if (value.rear < 0 || value.rear >= degree) {
        return false;
    }
    for (int i = 0; i < degree; ++i) {
        table[i] = value.table[i];
    }
    rear = value.rear;
    return true;
}
