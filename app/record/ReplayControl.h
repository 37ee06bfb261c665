// ReplayControl: the window's hands on a replay. The overlay shows a
// timeline (the time, the length and a bar); Left and Right seek 5 s back
// and on, Home and End go to the start and the end, 'p' pauses and '[' ']'
// halve and double the speed. A seek back lands on the exact frame through
// the history; a seek on plays the frames in between without drawing them.
// A replay left alone plays at the recorded pace and ends the program at
// its end, as it always has; once a key of the timeline has been used it
// waits at the end instead.
#pragma once

class Recording;
class TruckApp;

class ReplayControl {
  public:
    static constexpr double seekSeconds = 5.0;
    static constexpr int maxHalvings = 6;
    // Key codes it acts on (as TruckApp::key receives them).
    static constexpr int keyBack = 356;  // Left
    static constexpr int keyOn = 358;    // Right
    static constexpr int keyStart = 362; // Home
    static constexpr int keyEnd = 363;   // End
    static constexpr int keyPause = 'p';
    static constexpr int keySlower = '[';
    static constexpr int keyFaster = ']';

    void attach(TruckApp* app, Recording* recording);
    // A key of the window at real time `now` (s); true when it is one of
    // the timeline's (acted on when down).
    bool key(int code, bool down, double now);
    // Where the replay stands on the recording's clock at real time `now`.
    double position(double now) const;
    // A frame has been played at `time` on the recording's clock.
    void played(float time) { lastPlayed = time; }
    float lastPlayedTime() const { return lastPlayed; }
    // True once after a seek, a pause or a change of speed: the scene is to
    // be drawn again although no frame is due.
    bool takeRedraw();
    bool paused() const { return isPaused; }
    // Whether the replay waits at its end rather than ending the program.
    bool waitsAtEnd() const { return touched; }
    double speed() const;

    // Goes to the last frame at or before `time` (s, the recording's clock,
    // held to its length) at real time `now`.
    void seek(double time, double now);
    // Writes the timeline into the overlay.
    void showTimeline(double now);

  private:
    void anchor(double now);

    TruckApp* app = nullptr;
    Recording* recording = nullptr;
    bool isPaused = false;
    bool touched = false;
    bool redraw = false;
    int halvings = 0;
    float lastPlayed = 0.0f;
    // The replay's position at real time anchorReal, s.
    double anchorPosition = 0.0;
    double anchorReal = 0.0;
};
