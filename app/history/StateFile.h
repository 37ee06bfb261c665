// StateFile: a saved moment (AppMoment) in a file of its own, to drive on
// from later with --state. Binary, in the host's byte order:
//
//   16 bytes  "DRAVONEL STATE 1"
//   4 bytes   payload size (bytes)
//   4 bytes   0 (reserved)
//   8 bytes   hash of the Modell.txt it was saved with (TruckApp::modelHash)
//   8 bytes   hash of the ground (TruckApp::groundHash)
//   8 bytes   FNV-1a of the payload
//   payload   the moment
//
// The reader checks the head, the size against the bytes there, the sum,
// both stamps and then every value of the moment before anything changes.
#pragma once

#include <cstddef>
#include <string>

class TruckApp;

class StateFile {
  public:
    // The most bytes a state file may have: far more than any moment.
    static constexpr size_t maxBytes = 16u << 20;

    // Writes the moment of `app` to a new file dravonel-NNN.state in the
    // working folder (the first number not taken); false with a reason.
    bool saveNew(TruckApp& app);
    // The name of the file the last save wrote.
    const char* savedName() const { return saved.c_str(); }

    // Puts the moment saved in `path` into `app`; false with a reason (the
    // file, what was wrong) and `app` unchanged.
    bool load(TruckApp& app, const char* path);
    // The same for a file's bytes already read; `path` names it in reasons.
    bool parse(TruckApp& app, const unsigned char* bytes, size_t size, const char* path);
    const char* failureReason() const { return reason.c_str(); }

  private:
    std::string saved;
    std::string reason;
};
