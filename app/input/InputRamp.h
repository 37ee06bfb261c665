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
    // The keys as above together with an analog control's value `analog`,
    // -1..1, given once `analogGiven`. Without it this is update(dt,
    // increase, decrease) exactly. With it the analog value becomes a target
    // (see analogTarget) and the larger deflection wins: the held keys aim
    // at a clamp (or at the centre when neither or both are held), and the
    // analog target is followed (updateTowards) only when it lies strictly
    // farther from the centre than that; otherwise the keys act exactly as
    // without it. So full deflection aims at the clamp the key aims at, and
    // 0 leaves the keys alone.
    float update(float dt, bool increase, bool decrease, bool analogGiven, float analog);
    // Moves the value towards `target` by dt seconds: at the press rate while
    // moving away from the centre, at the release rate while moving towards
    // it (the side is taken where the value starts), never past the target.
    // A target at the centre is the release of both inputs exactly.
    float updateTowards(float dt, float target);
    // The target of an analog value: 1 is the maximum, -1 the minimum, 0 the
    // centre, linear between them on each side; values beyond -1..1 (or not
    // a number, taken as 0) are held to it.
    float analogTarget(float analog) const;
    float value() const { return current; }
    // Puts the value back where a snapshot found it.
    void setValue(float value) { current = value; }

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
