// KeyScript: a timed list of input events parsed from text such as
// "0:+up 10:-up 10:+space 12:grab=40@1,2.5,-3 13:release 14:steer=-0.5".
// The headless simulator drives the truck with it, and the program with it
// when it takes a screenshot.
#pragma once

#include "app/input/InputEvent.h"

#include <cstddef>
#include <string>
#include <vector>

class TruckApp;

class KeyScript {
  public:
    // Parses whitespace-separated events, each TIME:WHAT with TIME in seconds
    // (finite, not negative) and WHAT one of
    //   +KEY, -KEY        press, release a key (names: codeForName)
    //   grab=P@X,Y,Z      grab particle P, target the world point X,Y,Z (m)
    //   release           let go of the grabbed particle
    //   rewind=S          go back S seconds of simulated time and drive on
    //   steer=V, throttle=V, brake=V   an analog control, V in -1..1
    //                     (brake 0..1)
    // Events are kept in time order (stable for equal times). On failure
    // returns false and failureReason() names the event.
    bool parse(const std::string& text);
    const std::vector<InputEvent>& events() const { return list; }
    const char* failureReason() const { return reason.c_str(); }

    // Whether every grab names a particle of a model with particleCount
    // particles; false with failureReason() naming the first that does not.
    bool checkParticles(int particleCount);

    // Sends `app` every event not sent yet whose time has come by `time`
    // (seconds), in order. Parsing starts the script over.
    void sendUntil(double time, TruckApp* app);
    // Passes over the events sendUntil(time) would send, without sending
    // them: they have happened already in a drive that starts from a saved
    // moment.
    void skipUntil(double time);

    // Key code for a key name, or -1.
    static int codeForName(const std::string& name);
    // The names codeForName knows, for usage texts.
    static const char* keyNames();

  private:
    bool parseWhat(const std::string& what, InputEvent* event);

    std::vector<InputEvent> list;
    // Each event's word as the script gave it, in the order of list.
    std::vector<std::string> words;
    // Events already sent by sendUntil.
    size_t sent = 0;
    std::string reason;
};
