// RewindControl: time running backwards while Backspace is held, at twice
// the speed it was lived, through the history. Each frame lands exactly on
// a frame of the past; on release the world stands paused at that instant
// and 'p' or any driving key drives on from there. The overlay shows how far
// it has gone ("rewind −4.5 s").
#pragma once

class TruckApp;

class RewindControl {
  public:
    static constexpr int keyRewind = 8; // Backspace
    // Simulated seconds gone back per second the key is held.
    static constexpr double rate = 2.0;

    // Acts on Backspace (true) and, while paused by a rewind, on the driving
    // keys that go on from there (false: the key is the application's too).
    bool key(TruckApp& app, int code, bool down);
    bool held() const { return holding; }
    // One frame at `frameTime` on the frames' own clock while held: back by
    // rate times the time since the last frame.
    void frame(TruckApp& app, float frameTime);
    // The text the overlay shows while held: "rewind −4.5 s" (UTF-8).
    const char* text() const { return label; }

  private:
    void format(TruckApp& app);

    bool holding = false;
    bool pausedHere = false;
    double startClock = 0.0; // s, the clock when the key went down
    // s: the last frame on the simulation's own clock, and on the frames'.
    double previousLocal = 0.0;
    double lastFrame = 0.0;
    char label[32] = {};
};
