// DustSystem: a fixed ring of dust particles emitted by sliding ground
// contacts, flying under gravity with damping, bouncing off the terrain and
// expiring after five seconds.
#pragma once

#include "math/Vec3.h"
#include "physics/DustParticle.h"

class Terrain;

class DustSystem {
  public:
    // Allocates capacity slots (none when capacity is not positive or the
    // allocation fails: emission then does nothing).
    DustSystem(int capacity, Terrain& terrain);
    ~DustSystem();
    DustSystem(const DustSystem&) = delete;
    DustSystem& operator=(const DustSystem&) = delete;

    // Frees the particle array; the system is then empty and may be released
    // again or destroyed.
    void release();

    // Moves every live particle by one frame of dt seconds and expires those
    // older than 5 s at the given time (s).
    void update(float time, float dt);
    // Starts a frame: frameInterval becomes time - clock, clock becomes time.
    void setClock(float time);
    // Offers one particle at position with the given velocity; accepted with
    // probability about 0.3 * frameInterval. velocity receives the jitter.
    void emit(Vec3 position, Vec3& velocity);

    // The ring and its live window (slots start .. start + count - 1 modulo
    // capacity, oldest first).
    const DustParticle* view(int& capacity, int& start, int& count) const;
    // Writable slots, for tools and tests that set up particles directly.
    DustParticle* particleSlots() { return particles; }

    // Puts back the clocks and the live window of a snapshot (the slots
    // themselves through particleSlots); false, and nothing changes, when
    // the window does not fit the ring or a clock is not finite.
    bool restoreWindow(float clockValue, float interval, int first, int live);

    // Held offers: while holding, emit() only notes its offers (at most
    // heldCapacity of them, later ones are dropped) and release offers them
    // in the order they came. A stepper that runs several bodies at once
    // holds each body's offers, so that the random gate sees them in the
    // same order however the bodies were spread over threads. False when
    // memory runs out (offers are then dropped while holding).
    bool hold(int heldCapacity);
    void releaseHeld();
    bool holding() const { return heldLimit > 0; }

    float clockTime() const { return clock; }
    float interval() const { return frameInterval; }

  private:
    float clock = 0.0f;         // s, time of the latest setClock
    float frameInterval = 0.0f; // s, between the two latest setClock calls
    int capacity = 0;           // slots in the ring
    DustParticle* particles = nullptr;
    const Terrain* terrain = nullptr; // not owned
    int start = 0;                    // slot of the oldest live particle
    int count = 0;                    // live particles
    struct Offer {
        Vec3 position; // m
        Vec3 velocity; // m/s
    };
    Offer* held = nullptr;
    int heldLimit = 0;
    int heldCount = 0;
};
