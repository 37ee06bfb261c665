// Recording: a drive read back from the file RecordingWriter wrote, played
// into the application: the input events in their order, each frame with its
// recorded clock time. The window replays it through Application::frame,
// the headless simulator through TruckApp::advance; as drawing never
// changes the simulation, both end on the same particle positions.
//
// Reads the current format (version 2: a model stamp, any input event, a
// closing hash) and the first one (keys and frames only). Whole lines are
// checked before anything is kept: frame times must be finite, never go
// back and stay below a day, so no replay can wait for ever.
#pragma once

#include "app/input/InputEvent.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TruckApp;

class Recording {
  public:
    // Reads the whole file; false with a reason (file and line) when it
    // cannot be read or a line is not one the format has. A file cut short
    // loads its whole lines and says so in warning().
    bool load(const char* path);
    // The same for a whole file's bytes already read, named `path` in reasons.
    bool parse(const std::string& text, const char* path);
    const char* failureReason() const { return reason.c_str(); }
    // One line for the person replaying, empty when all is well: the file
    // ends early, or has no model stamp.
    const char* warning() const { return warningText.c_str(); }

    // Whether the file names the model it was made with, and that model's
    // hash (TruckApp::modelHash).
    bool hasModelStamp() const { return stamped; }
    uint64_t modelStamp() const { return model; }
    // True when the model matches the stamp (or there is none); otherwise
    // false with failureReason() naming both hashes.
    bool matchesModel(uint64_t modelHash);
    // True when the file names no ground or the same ground
    // (TruckApp::groundHash); otherwise false with failureReason() naming both.
    bool matchesGround(uint64_t groundHash);
    // Whether every grab line names a particle of a model with
    // particleCount particles; false with failureReason() naming the first
    // line that does not.
    bool matchesParticles(int particleCount);
    // Whether the drive was made with damage on (a "damage on" line).
    bool damageStamp() const { return damageOn; }
    // True when the replay's damage setting is the recording's; otherwise
    // false with failureReason() saying which was used.
    bool matchesDamage(bool damage);
    // How many trucks the drive had (1 when the file does not say).
    int truckStamp() const { return truckTotal; }
    // Whether the file closes with the hash the drive ended on, and that hash.
    bool hasEndHash() const { return ended; }
    uint64_t endHash() const { return finalHash; }

    // Sends `app` the input events up to the next frame and gives that
    // frame's time. At the end sends the events after the last frame and
    // returns false.
    bool nextFrame(TruckApp* app, float* time);
    // Goes back or on to just after the last frame whose time is at or
    // before `time` (to the start when there is none): nextFrame then sends
    // the events after it. Frame times never go back, so this is the frame a
    // replay had played when its clock stood there.
    void seekAfterFrameAt(double time);
    // Goes back to the start.
    void rewindToStart() { cursor = 0; }
    // The next frame's time without moving on; false at the end.
    bool upcomingFrameTime(float* time) const;

    int frameCount() const { return frames; }
    // Clock time of the last frame, seconds; 0 without frames.
    float lastFrameTime() const { return lastTime; }

  private:
    struct Entry {
        // A frame with its time, or an input event.
        bool isFrame;
        float time;
        InputEvent event;
        int line; // in the file, from 1
    };
    // One line of the body; false with the reason's tail in `why`.
    bool readLine(const std::string& line, int version, Entry* entry, std::string* why);

    std::vector<Entry> entries;
    // Index of the next entry to play.
    size_t cursor = 0;
    int frames = 0;
    float lastTime = 0.0f;
    bool stamped = false;
    uint64_t model = 0;
    bool groundStamped = false;
    uint64_t ground = 0;
    bool damageOn = false;
    bool ended = false;
    uint64_t finalHash = 0;
    int truckTotal = 1;
    std::string filePath;
    std::string reason;
    std::string warningText;
};
