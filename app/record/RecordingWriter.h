// RecordingWriter: writes a drive as the program sees it, for replaying it
// later in the window or headless: every frame's clock time and every input
// event, in the order they reached the application. A text file:
//
//   dravonel recording 2
//   model 9c1f0e5d2a7b3c44        hash of the Modell.txt it was made with
//   ground 41d2a0c3b9e87f15       hash of the ground it was driven on
//   damage on                     only when driven with damage on
//   frame 0.0123456791
//   key 357 down
//   frame 0.0291860197
//   grab 40 1.5 2.25 -3           particle, target x y z (m)
//   release
//   analog steer -0.5             steer|throttle|brake, value
//   rewind 3                      go back 3 s of simulated time
//   key 357 up
//   end 5e0a7c1b9d2f4e60          positions hash the drive ended on
//
// Times are written with nine significant digits, which read back as the
// same 32-bit float, so a replay feeds the frames bit for bit the same times;
// other values the same way.
#pragma once

#include "app/input/InputEvent.h"

#include <cstdint>
#include <cstdio>
#include <string>

class RecordingWriter {
  public:
    RecordingWriter() = default;
    RecordingWriter(const RecordingWriter&) = delete;
    RecordingWriter& operator=(const RecordingWriter&) = delete;
    // Closes the file if still open.
    ~RecordingWriter();

    // Creates the file and writes the first line and the stamps of the model
    // and the ground (and "damage on" when `damage`; with several trucks
    // "trucks N", so that a replay runs with as many); false with a reason.
    bool open(const char* path, uint64_t modelHash, uint64_t groundHash, bool damage = false,
              int trucks = 1);
    // One frame about to be run with `time`, seconds since the timer started.
    void frame(float time);
    // One input event as it reaches TruckApp::input.
    void input(const InputEvent& event);
    void key(int code, bool down) { input(InputEvent::makeKey(code, down)); }
    // Writes the closing line with the hash the drive ended on, what is
    // buffered, and closes; false with a reason when any of the recording
    // could not be written.
    bool finish(uint64_t endHash);
    bool close();
    const char* failureReason() const { return reason.c_str(); }

  private:
    FILE* file = nullptr;
    std::string filePath;
    std::string reason;
};
