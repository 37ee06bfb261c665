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
// both, so that a held key stays one press.
class KeyRepeatFilter {
  public:
    // A release of `code`: held back until flush(); false when too many are
    // held already, and the caller delivers it at once.
    bool release(int code);
    // A press of `code`: false when it only repeats a key released since
    // the last flush (both are dropped), true when it is a press to deliver.
    bool press(int code);
    // The releases held back, in order, for the caller to deliver; then
    // none. Returns how many were written to `codes` (at most `capacity`).
    int flush(int* codes, int capacity);

  private:
    static constexpr int capacityHeld = 16;
    int held[capacityHeld] = {};
    int count = 0;
};
