// TimeControl: pause, slow motion and single frames. It turns the frame
// clock (real seconds since the start) into the clock the simulation runs
// on: the same clock until a time key is first used, then one that stands
// still while paused and runs at 1, 1/2, ... 1/64 of real time. The ramps,
// the drive and the dust all follow the simulation clock, so a slow drive
// is the same drive, only slower to watch; the cameras keep the real clock
// and go on responding while paused.
#pragma once

class TimeControl {
  public:
    // Key codes it acts on, on key-down: 'p' pauses and resumes, '[' halves
    // and ']' doubles the time scale, '.' advances one frame while paused.
    static constexpr int keyPause = 'p';
    static constexpr int keySlower = '[';
    static constexpr int keyFaster = ']';
    static constexpr int keyStep = '.';
    // The slowest scale is 1 / 2^maxHalvings.
    static constexpr int maxHalvings = 6;
    // Simulated seconds one '.' adds: a frame at 60 frames per second.
    static constexpr double stepSeconds = 1.0 / 60.0;

    // True when `code` is one of its keys (acted on when `down`).
    bool key(int code, bool down);
    // The simulation clock for a frame at real time `time` (s). Exactly
    // `time` until a time key has been used.
    float clock(float time);

    bool paused() const { return isPaused; }
    // The time scale, 1 / 2^halvings.
    double scale() const;
    int halvings() const { return scaleHalvings; }

    // Pauses (from the last frame's clock on) unless paused already.
    void pause();
    // Real seconds of the last frame, as given to clock().
    double lastFrameTime() const { return lastReal; }

    // The whole state, for snapshots of the application.
    struct State {
        bool engaged;
        bool paused;
        int halvings;
        double lastReal; // s
        double lastSim;  // s
        double anchorReal;
        double anchorSim;
    };
    State state() const;
    // False, and nothing changes, for a state the control cannot be in:
    // a scale out of range, or a time not finite or beyond longestTime.
    bool setState(const State& value);
    static bool valid(const State& value);
    // s: far beyond any drive, and far inside what a 32-bit float holds.
    static constexpr double longestTime = 1.0e9;

  private:
    // The clock goes on from where the last frame left it.
    void anchor();

    bool engaged = false;
    bool isPaused = false;
    int scaleHalvings = 0;
    // Real and simulation clock of the last frame, s.
    double lastReal = 0.0;
    double lastSim = 0.0;
    // The simulation clock at anchorReal, s.
    double anchorReal = 0.0;
    double anchorSim = 0.0;
};
