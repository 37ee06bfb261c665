// InputRamp: turns an increase/decrease pair of on/off inputs into a control
// value that moves at a fixed rate while one of them is held, stops at a
// clamp, and glides back to its rest value when neither (or both) is held.
#pragma once

class InputRamp {
  public:
    // Stores the constants and puts the value at the centre.
    void init(float centre, float minimum, float maximum, float pressRate, float releaseRate);
    // Advances the value by dt seconds of the given inputs; returns it.
    float update(float dt, bool increase, bool decrease);
    float value() const { return current; }

  private:
    // Rest value the ramp returns to.
    float centre = 0.0f;
    // Change per second while exactly one input is held.
    float pressRate = 0.0f;
    // Change per second towards the centre while neither or both are held.
    float releaseRate = 0.0f;
    // Lower clamp, applied while decreasing.
    float minimum = 0.0f;
    // Upper clamp, applied while increasing.
    float maximum = 0.0f;
    // Current output.
    float current = 0.0f;
};
