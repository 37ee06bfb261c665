// Recording: a drive read back from the file RecordingWriter wrote, played
// into an application: the key events in their order, each frame with its
// recorded clock time. The window replays it through Application::frame,
// the headless simulator through TruckApp::advance; as drawing never
// changes the simulation, both end on the same particle positions.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class Application;

class Recording {
  public:
    // Reads the whole file; false with a reason (file and line) when it
    // cannot be read or a line is not a frame or key line.
    bool load(const char* path);
    const char* failureReason() const { return reason.c_str(); }

    // Sends `app` the key events up to the next frame and gives that frame's
    // time. At the end sends the key events after the last frame and
    // returns false.
    bool nextFrame(Application* app, float* time);
    // The next frame's time without moving on; false at the end.
    bool upcomingFrameTime(float* time) const;

    int frameCount() const { return frames; }
    // Clock time of the last frame, seconds; 0 without frames.
    float lastFrameTime() const { return lastTime; }

  private:
    struct Entry {
        // A frame (with its time) or a key event (with code and direction).
        bool isFrame;
        float time;
        int code;
        bool down;
    };
    std::vector<Entry> entries;
    // Index of the next entry to play.
    size_t cursor = 0;
    int frames = 0;
    float lastTime = 0.0f;
    std::string reason;
};
