// History: the application's past, kept so that time can go back exactly.
// A moment (AppMoment) is taken every half second of simulated time into a
// ring that holds the last `seconds` of it, and every frame and input event
// since is noted in a journal. Going back lands on any frame of that past:
// the moment before it is put back and the frames and events noted since
// are run again up to it, which gives the same bits the frame had. What
// followed the frame landed on is dropped; the past before it stays.
//
// Everything is allocated by allocate(); noting a frame or an event and
// taking a moment only copy into it.
#pragma once

#include "app/input/InputEvent.h"

#include <cstddef>
#include <cstdint>

class TruckApp;

class History {
  public:
    // Simulated seconds between two moments.
    static constexpr double momentInterval = 0.5;
    static constexpr double defaultSeconds = 120.0;
    // Journal room per second of history: frames up to 240 a second on
    // average, and events.
    static constexpr int framesPerSecond = 240;
    static constexpr int eventsPerSecond = 64;

    History() = default;
    ~History();
    History(const History&) = delete;
    History& operator=(const History&) = delete;

    // Makes room for `seconds` of the loaded app's past (none for 0) and
    // takes the first moment; false when memory runs out (the history is
    // then empty and nothing can go back).
    bool allocate(TruckApp& app, double seconds);
    void release();
    // Forgets the past (the next frame starts it again).
    void clear();

    // The frame hooks of TruckApp::advance: a frame at `frameTime` on the
    // frames' own clock, run at `localTime` on the moments' clock; then,
    // after it ran, a moment when one is due.
    void frameStarting(double frameTime, float localTime, double timelineOffset);
    void frameDone(TruckApp& app);
    // An input event as the application takes it.
    void input(const InputEvent& event);
    // True while frames and events are run again: they are not noted again,
    // and nothing outside the simulation (files, messages) may happen.
    bool replaying() const { return rerunning; }

    // Lands on the last frame whose clock is at or before `clock` (s of
    // simulated time), or on the oldest moment kept, with the keys and
    // analog values held as they are (a rewind). The frames' clock, now at
    // `nowFrameTime`, then goes on from the frame landed on
    // (TruckApp::timelineOffset). False when nothing is kept.
    bool landAtClock(TruckApp& app, double clock, double nowFrameTime);
    // Lands on the last frame whose time on the frames' own clock is at or
    // before `frameTime`, as that frame left everything (a seek in a
    // replay: the frames after it come again).
    bool landAtFrameTime(TruckApp& app, double frameTime);

    bool empty() const { return momentsKept() == 0; }
    // Moments in the ring and the bytes they and the journal hold.
    int momentsKept() const;
    size_t slotBytes() const { return slotSize; }
    size_t memoryBytes() const;
    // The clock of the oldest moment kept (s); 0 when empty.
    double oldestClock() const;
    // The frames' own time of the oldest and the newest frame kept (s).
    double firstFrameTime() const;
    double lastFrameTime() const { return latestFrameTime; }
    // Frames noted since allocate(), less those a landing dropped: in a
    // replay, how many of its frames have been played.
    uint64_t framesNoted() const { return frameTotal; }

  private:
    struct Moment {
        double clock;     // s, the application's clock when it was taken
        double frameTime; // s, the last frame's time on the frames' own clock
        uint64_t frame;   // frames noted before it
        uint64_t event;   // events noted before it
        double offset;    // s, TruckApp::timelineOffset when it was taken
        size_t bytes;
    };
    struct Frame {
        double frameTime; // s, on the frames' own clock
        float localTime;  // s, the time TruckApp ran it at
        float clockAfter; // s, the application's clock after it
        uint64_t event;   // events noted before it
        double offset;    // s, TruckApp::timelineOffset it ran with
    };
    // The moment m (absolute number) and its bytes.
    Moment& moment(uint64_t m) { return moments[m % momentCapacity]; }
    unsigned char* momentData(uint64_t m) { return arena + (m % momentCapacity) * slotSize; }
    bool take(TruckApp& app);
    // Lands on the last frame (or moment) for which before(clock, frame
    // time) holds; returns the frame's offset in *offset.
    template <typename Before>
    bool land(TruckApp& app, Before before, bool keepHeldInput, double* offset);

    Moment* moments = nullptr;
    unsigned char* arena = nullptr;
    Frame* frames = nullptr;
    InputEvent* events = nullptr;
    uint64_t momentCapacity = 0;
    uint64_t frameCapacity = 0;
    uint64_t eventCapacity = 0;
    size_t slotSize = 0;
    // Counts of everything ever noted: the ring holds the latest ones.
    uint64_t momentTotal = 0;
    uint64_t frameTotal = 0;
    uint64_t eventTotal = 0;
    // Simulated time at which the next moment is due, s.
    double nextDue = 0.0;
    double latestFrameTime = 0.0;
    double latestOffset = 0.0;
    bool rerunning = false;
};
