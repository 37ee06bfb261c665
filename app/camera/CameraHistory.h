// CameraHistory: the recent values of one camera quantity (eye, target or up
// vector), each stamped with its time, in a fixed ring of 500 samples, and
// their time-weighted mean over a trailing window.
#pragma once

#include "math/Vec3.h"

struct CameraSample {
    // Position or direction, scene units.
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    // Frame clock, seconds.
    float time = 0.0f;
};

class CameraHistory {
  public:
    // Samples the ring holds; the oldest is overwritten once it is full.
    static constexpr int kCapacity = 500;

    // Records v at time t, overwriting the oldest sample when full.
    void push(const Vec3& v, float time);
    // Mean over [now - window, now] in which each sample weighs the time until
    // the next newer one (the newest until now); the oldest sample inside the
    // window's reach is cut at the window start. (0, 0, 0) when empty; the
    // newest position when the weights sum to zero.
    Vec3 average(float now, float window) const;

    // Number of valid samples, 0..kCapacity.
    int count = 0;
    // Ring index of the oldest valid sample.
    int head = 0;

  private:
    CameraSample samples[kCapacity];
};
