// AppMoment: one instant of the driving application as plain bytes: what
// its next frame depends on. The truck's world (WorldSnapshot), the three
// ramps, the held keys and analog values, the grab, the time control and
// the clocks, the seconds off the grid, the dust ring (its clocks, its live
// motes) and the dust's random generator, stamped with the hashes of the
// model and the ground; with several trucks, the driven one and every
// further truck's world, controls, grab and dust too. Putting a moment back and running the same
// frames gives the same bits as never having left. What only shows the scene (the cameras, the
// display toggles, the overlay) is not part of it.
//
// A moment's size depends on the live dust; capacity() is the largest one
// the loaded world can give, the size of a history slot.
#pragma once

#include <cstddef>
#include <cstdint>

class TruckApp;

class AppMoment {
  public:
    // The bytes of the largest moment `app` can give (the whole dust ring
    // live); 0 without a world.
    static size_t capacity(TruckApp& app);
    // Writes the moment; returns the bytes written, or 0 (nothing written)
    // when it does not fit.
    static size_t save(TruckApp& app, unsigned char* buffer, size_t bufferSize);
    // Puts a moment back. False, and the application is unchanged, when the
    // bytes are cut, were saved over another model or ground or hold a value
    // the application cannot be in.
    static bool restore(TruckApp& app, const unsigned char* buffer, size_t size);

    // What a moment's head says without restoring it: its stamps, the
    // clock it was taken at and the last frame's time on the clock the
    // frames came in on (seconds). False when the bytes are too few.
    struct Head {
        uint64_t modelHash;
        uint64_t groundHash;
        float simTime;
        float clockTime;
        double frameTime;
    };
    static bool readHead(const unsigned char* buffer, size_t size, Head* head);
};
