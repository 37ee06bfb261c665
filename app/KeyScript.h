// KeyScript: a timed list of key presses and releases, parsed from text such
// as "0:+up 10:-up 10:+space". The headless simulator drives the truck with
// it, and the program with it when it takes a screenshot.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class Application;

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

    // Sends `app` every event not sent yet whose time has come by `time`
    // (seconds), in order. Parsing starts the script over.
    void sendUntil(double time, Application* app);

    // Key code for a key name, or -1.
    static int codeForName(const std::string& name);

  private:
    std::vector<KeyEvent> list;
    // Events already sent by sendUntil.
    size_t sent = 0;
    std::string reason;
};
