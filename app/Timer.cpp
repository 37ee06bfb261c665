// Timer on CLOCK_MONOTONIC, counted in nanoseconds: a steady, high-resolution
// clock that does not jump when the wall-clock time is changed.
#include "app/Timer.h"

#include <time.h>

namespace {
const int64_t nanosecondsPerSecond = 1000000000;
}

Timer::Timer() : frequency(nanosecondsPerSecond), startCount(0) {
    start();
}

int64_t Timer::readCounter() const {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * nanosecondsPerSecond + now.tv_nsec;
}

void Timer::start() {
    startCount = readCounter();
}

double Timer::elapsed() {
    const int64_t ticks = readCounter() - startCount;
    // Extended precision keeps the nanosecond count exact for long runs.
    const long double seconds =
        static_cast<long double>(ticks) / static_cast<long double>(frequency);
    return static_cast<double>(seconds);
}
