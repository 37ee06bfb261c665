// Hud: the overlay that says what is happening: speed and direction, the
// time scale (PAUSED when paused), frames per second with the physics'
// milliseconds per frame, the camera's name, a message line for events that
// fades after a few seconds, and on 'h' a panel listing every key. F9 shows
// and hides it. Its lines are formatted into fixed buffers, so a frame
// allocates nothing; it is drawn last, in screen space, through Renderer.
#pragma once

class Renderer;
class TimeControl;
class TruckApp;

class Hud {
  public:
    static constexpr int keyToggle = 265; // F9
    static constexpr int keyHelp = 'h';
    // Seconds a message stays, fully visible and then fading.
    static constexpr float messageSeconds = 4.0f;

    // Whether the overlay is drawn; the help panel is drawn on its own.
    bool visible = false;
    bool helpVisible = false;
    // Frame rate and physics time are the measured ones, unless a script
    // runs at a fixed rate: then they show that rate, the same on every run.
    bool scripted = false;
    int scriptedFramesPerSecond = 60;
    // A recorded drive is being played back: the overlay says so.
    bool replaying = false;

    // True when `code` is F9 or 'h' (acted on when `down`).
    bool key(int code, bool down);
    // Shows `text` (a string that lives as long as the program) on the
    // message line from `time` (real seconds) on.
    void note(const char* text, float time);
    // One frame at real time `time` whose physics took `physicsSeconds`:
    // counts it into the figures and notes what the application reports
    // (a reset after a fall, a blow-up, a recovery).
    void countFrame(const TruckApp& app, float time, double physicsSeconds);
    // Draws the overlay and the help panel over a viewport of the size given.
    void draw(Renderer* renderer, const TruckApp& app, float time, int width, int height);

    // A replay's timeline, drawn above the message line from now on: the
    // position and the length (s), paused, and the speed as 1 / 2^halvings.
    void setTimeline(double position, double length, bool paused, int halvings);
    // The timeline's text ("" without a replay) and the share of the bar
    // that is filled.
    const char* timeline() const { return timelineText; }
    float timelineFilled() const { return timelineShare; }

    // Speed of the chassis in km/h, negative while it moves backwards.
    static float speedKmh(const TruckApp& app);
    // The lines the overlay shows, formatted for `time`; line 0 is the speed.
    const char* line(int k) const { return lines[k]; }
    static constexpr int lineCount = 4;
    // With damage on a further line: the share of springs yielded and the
    // number broken.
    static constexpr int damageLine = lineCount;
    const char* message() const { return messageText; }
    // Whether the message line is drawn at `time` (within messageSeconds of
    // its note).
    bool messageShown(float time) const {
        return messageText[0] != '\0' && time - messageTime >= 0.0f &&
               time - messageTime < messageSeconds;
    }
    void format(const TruckApp& app, float time);

  private:
    char lines[lineCount + 1][64] = {};
    char timelineText[64] = {};
    float timelineShare = 0.0f;
    const char* messageText = "";
    float messageTime = -1.0e30f;
    // Frames and physics seconds since figureStart, and the figures shown.
    int framesCounted = 0;
    double physicsCounted = 0.0;
    float figureStart = -1.0f;
    float framesPerSecond = 0.0f;
    float physicsMs = 0.0f;
    // The application's counters as last seen, to notice new events.
    int seenFallOuts = 0;
    int seenRecoveries = 0;
    int seenUnstable = 0;
};
