// WindowKeys: what the window system's key events mean before they become
// the application's key events. A letter released while Shift has changed
// since it went down arrives in the other case ('q' down, then 'Q' up); the
// release belongs to the key that is held.
#pragma once

// The key code a release of `character` lets go of, given the held keys
// (`held`, 512 entries by key code, nonzero while down).
int releasedKeyCode(unsigned char character, const unsigned char* held);

// A held key that the window system repeats arrives as a release followed at
// once by a press of the same key. Releases wait here until the next frame:
// a press of the same key before then takes the pair for a repeat and drops
// both, so that a held key stays one press. The window system repeats a key
// only once it has been held for its repeat delay (a quarter second or more
// on every desktop): a release and a press of a key pressed more recently
// than repeatDelay are a second press, not a repeat, however fast they come.
class KeyRepeatFilter {
  public:
    // Seconds a key must have been held before a release and press of it
    // can be a repeat.
    static constexpr double repeatDelay = 0.15;

    // What the caller does with a press.
    enum class Press {
        drop,                // a repeat: the held release and this press vanish
        deliver,             // a new press
        deliverAfterRelease, // a new press of a key whose release is held: the
                             // release goes first (it is no longer held)
    };

    // A release of `code`: held back until flush(); false when too many are
    // held already, and the caller delivers it at once.
    bool release(int code);
    // A press of `code` at `now` (seconds on any steady clock).
    Press press(int code, double now);
    // The releases held back, in order, for the caller to deliver; then
    // none. Returns how many were written to `codes` (at most `capacity`).
    int flush(int* codes, int capacity);

  private:
    static constexpr int capacityHeld = 16;
    int held[capacityHeld] = {};
    int count = 0;
    // When each key code's last delivered press came, seconds.
    double pressedAt[512] = {};
};
