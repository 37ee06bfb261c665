// KeyScript: a timed list of key presses and releases for the headless
// simulator, parsed from text such as "0:+up 10:-up 10:+space".
#pragma once

#include <string>
#include <vector>

struct KeyEvent {
    // Seconds from the start of the run.
    double time = 0.0;
    // Key code as TruckApp::key takes it (0..511).
    int code = 0;
    bool down = false;
};

class KeyScript {
  public:
    // Parses whitespace-separated events TIME:+KEY (press) or TIME:-KEY
    // (release); KEY is up, down, left, right, space, esc, q, e or f1..f8.
    // Events are kept in time order (stable for equal times). On failure
    // returns false and failureReason() names the event.
    bool parse(const std::string& text);
    const std::vector<KeyEvent>& events() const { return list; }
    const char* failureReason() const { return reason.c_str(); }

    // Key code for a key name, or -1.
    static int codeForName(const std::string& name);

  private:
    std::vector<KeyEvent> list;
    std::string reason;
};
