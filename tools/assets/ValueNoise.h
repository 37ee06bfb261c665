// ValueNoise: deterministic, seeded value noise on an integer lattice with
// smooth interpolation, tileable with a given period, and its fractal sum.
// Built on an integer hash only, so every run gives the same values.
#pragma once

#include <cstdint>

class ValueNoise {
  public:
    explicit ValueNoise(uint32_t seed) : seedValue(seed) {}

    // Hash of a lattice point to 0..1.
    float lattice(int x, int y) const;
    // Smoothly interpolated noise in 0..1; the lattice repeats every period
    // cells in x and y (period < 1: no repeat).
    float sample(float x, float y, int period) const;
    // Sum of octaves, each at twice the frequency and gain times the
    // amplitude, normalised to 0..1. The period doubles with the frequency.
    float fractal(float x, float y, int period, int octaves, float gain) const;

  private:
    uint32_t seedValue;
};
