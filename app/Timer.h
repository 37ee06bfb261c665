// Timer: seconds since the last start, read from the monotonic clock. The
// entry point starts it after all loading, so frame times begin near zero.
#pragma once

#include <cstdint>

class Timer {
  public:
    // Reads the clock's frequency, then starts.
    Timer();

    // Remembers the current clock count as time zero.
    virtual void start();
    // Seconds since the last start. Does not restart: successive calls grow.
    virtual double elapsed();

    // Clock ticks per second.
    int64_t frequency;
    // Clock count captured by the last start, in ticks.
    int64_t startCount;

  private:
    int64_t readCounter() const;
};
