// RecordingWriter: writes a drive as the program sees it, for replaying it
// later in the window or headless: every frame's clock time and every key
// event, in the order they reached the application. A text file:
//
//   dravonel recording 1
//   frame 0.0123456791
//   key 357 down
//   frame 0.0291860197
//   key 357 up
//
// Times are written with nine significant digits, which read back as the
// same 32-bit float, so a replay feeds the frames bit for bit the same times.
#pragma once

#include <cstdio>
#include <string>

class RecordingWriter {
  public:
    RecordingWriter() = default;
    RecordingWriter(const RecordingWriter&) = delete;
    RecordingWriter& operator=(const RecordingWriter&) = delete;
    // Closes the file if still open.
    ~RecordingWriter();

    // Creates the file and writes the first line; false with a reason.
    bool open(const char* path);
    // One frame about to be run with `time`, seconds since the timer started.
    void frame(float time);
    // One key event as it reaches Application::key.
    void key(int code, bool down);
    // Writes what is buffered and closes; false with a reason when any of
    // the recording could not be written.
    bool close();
    const char* failureReason() const { return reason.c_str(); }

  private:
    FILE* file = nullptr;
    std::string filePath;
    std::string reason;
};
