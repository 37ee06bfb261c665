// History: the moment ring, the journal of frames and events, and landing
// on a frame of the past by running the journal again from a moment.
#include "app/history/History.h"

#include "app/TruckApp.h"
#include "app/history/AppMoment.h"

#include <cmath>
#include <cstring>
#include <new>

namespace {
// Frames whose clock lies this close after a target still count as at it:
// the clock and a target formed by subtraction differ in the last bits.
const double landingTolerance = 1e-4;
} // namespace

History::~History() {
    release();
}

void History::release() {
    delete[] moments;
    delete[] arena;
    delete[] frames;
    delete[] events;
    moments = nullptr;
    arena = nullptr;
    frames = nullptr;
    events = nullptr;
    momentCapacity = frameCapacity = eventCapacity = 0;
    slotSize = 0;
    clear();
}

void History::clear() {
    momentTotal = frameTotal = eventTotal = 0;
    nextDue = 0.0;
}

bool History::allocate(TruckApp& app, double seconds) {
    release();
    if (!(seconds > 0.0)) {
        return true;
    }
    slotSize = AppMoment::capacity(app);
    if (slotSize == 0) {
        return false;
    }
    momentCapacity = static_cast<uint64_t>(std::ceil(seconds / momentInterval)) + 1;
    frameCapacity = static_cast<uint64_t>(std::ceil(seconds * framesPerSecond)) + 1024;
    eventCapacity = static_cast<uint64_t>(std::ceil(seconds * eventsPerSecond)) + 256;
    moments = new (std::nothrow) Moment[momentCapacity];
    arena = new (std::nothrow) unsigned char[momentCapacity * slotSize];
    frames = new (std::nothrow) Frame[frameCapacity];
    events = new (std::nothrow) InputEvent[eventCapacity];
    if (moments == nullptr || arena == nullptr || frames == nullptr || events == nullptr) {
        release();
        return false;
    }
    latestFrameTime = app.timeControl.lastFrameTime() + app.timelineOffset;
    latestOffset = app.timelineOffset;
    return take(app);
}

int History::momentsKept() const {
    return static_cast<int>(momentTotal < momentCapacity ? momentTotal : momentCapacity);
}

size_t History::memoryBytes() const {
    return momentCapacity * (slotSize + sizeof(Moment)) + frameCapacity * sizeof(Frame) +
           eventCapacity * sizeof(InputEvent);
}

double History::oldestClock() const {
    if (momentsKept() == 0) {
        return 0.0;
    }
    return moments[(momentTotal - momentsKept()) % momentCapacity].clock;
}

double History::firstFrameTime() const {
    if (momentsKept() == 0) {
        return 0.0;
    }
    return moments[(momentTotal - momentsKept()) % momentCapacity].frameTime;
}

void History::frameStarting(double frameTime, float localTime, double timelineOffset) {
    if (arena == nullptr || rerunning) {
        return;
    }
    Frame& frame = frames[frameTotal % frameCapacity];
    frame.frameTime = frameTime;
    frame.localTime = localTime;
    frame.clockAfter = localTime;
    frame.event = eventTotal;
    frame.offset = timelineOffset;
    ++frameTotal;
    latestFrameTime = frameTime;
    latestOffset = timelineOffset;
}

void History::frameDone(TruckApp& app) {
    if (arena == nullptr || rerunning || frameTotal == 0) {
        return;
    }
    frames[(frameTotal - 1) % frameCapacity].clockAfter = app.clockTime;
    if (app.simTime >= nextDue) {
        take(app);
    }
}

void History::input(const InputEvent& event) {
    if (arena == nullptr || rerunning) {
        return;
    }
    events[eventTotal % eventCapacity] = event;
    ++eventTotal;
}

bool History::take(TruckApp& app) {
    const size_t bytes = AppMoment::save(app, momentData(momentTotal), slotSize);
    if (bytes == 0) {
        // A world of another shape than the one the ring was made for: no
        // past can be kept until the ring is made again.
        clear();
        nextDue = INFINITY;
        return false;
    }
    Moment& m = moment(momentTotal);
    m.clock = app.clockTime;
    m.frameTime = latestFrameTime;
    m.frame = frameTotal;
    m.event = eventTotal;
    m.offset = latestOffset;
    m.bytes = bytes;
    ++momentTotal;
    nextDue = (std::floor(app.simTime / momentInterval) + 1.0) * momentInterval;
    return true;
}

template <typename Before>
bool History::land(TruckApp& app, Before before, bool keepHeldInput, double* offset) {
    if (arena == nullptr || momentsKept() == 0) {
        return false;
    }
    const uint64_t oldest = momentTotal - momentsKept();
    uint64_t m = momentTotal - 1;
    while (m > oldest && !before(moment(m).clock, moment(m).frameTime)) {
        --m;
    }
    // What the journal runs again must not change what the driver holds now
    // (a rewind) or how the scene is shown.
    unsigned char keys[sizeof(app.keys)];
    float analogValue[analogControlCount];
    bool analogGiven[analogControlCount];
    std::memcpy(keys, app.keys, sizeof(keys));
    std::memcpy(analogValue, app.analogValue, sizeof(analogValue));
    std::memcpy(analogGiven, app.analogGiven, sizeof(analogGiven));
    const int camera = app.camera;
    const OrbitCamera orbit = app.orbitCamera;
    const int lookMode = app.lookMode;
    const bool shown[4] = {app.drawCarModel, app.drawSoftBody, app.drawFloorWireframe,
                           app.drawDustParticles};
    const bool hud[2] = {app.hud.visible, app.hud.helpVisible};

    if (!AppMoment::restore(app, momentData(m), moment(m).bytes)) {
        return false;
    }
    uint64_t f = moment(m).frame;
    uint64_t e = moment(m).event;
    double frameTime = moment(m).frameTime;
    *offset = moment(m).offset;
    const uint64_t oldestFrame = frameTotal > frameCapacity ? frameTotal - frameCapacity : 0;
    const uint64_t oldestEvent = eventTotal > eventCapacity ? eventTotal - eventCapacity : 0;
    rerunning = true;
    if (f >= oldestFrame && e >= oldestEvent) {
        while (f < frameTotal) {
            const Frame& frame = frames[f % frameCapacity];
            if (!before(frame.clockAfter, frame.frameTime)) {
                break;
            }
            for (; e < frame.event; ++e) {
                app.input(events[e % eventCapacity]);
            }
            app.advanceClock(frame.localTime);
            frameTime = frame.frameTime;
            *offset = frame.offset;
            ++f;
        }
    }
    rerunning = false;
    frameTotal = f;
    eventTotal = e;
    momentTotal = m + 1;
    nextDue = (std::floor(app.simTime / momentInterval) + 1.0) * momentInterval;
    latestFrameTime = frameTime;
    latestOffset = *offset;

    if (keepHeldInput) {
        std::memcpy(app.keys, keys, sizeof(keys));
        std::memcpy(app.analogValue, analogValue, sizeof(analogValue));
        std::memcpy(app.analogGiven, analogGiven, sizeof(analogGiven));
    }
    app.camera = camera;
    app.orbitCamera = orbit;
    app.lookMode = lookMode;
    app.drawCarModel = shown[0];
    app.drawSoftBody = shown[1];
    app.drawFloorWireframe = shown[2];
    app.drawDustParticles = shown[3];
    app.hud.visible = hud[0];
    app.hud.helpVisible = hud[1];
    return true;
}

bool History::landAtClock(TruckApp& app, double clock, double nowFrameTime) {
    const double limit = clock + landingTolerance;
    double offset = 0.0;
    if (!land(
            app, [limit](double frameClock, double) { return frameClock <= limit; }, true,
            &offset)) {
        return false;
    }
    // The frames' clock is at nowFrameTime and goes on from the frame landed
    // on: the next frame runs a frame's length after it.
    app.timelineOffset = nowFrameTime - app.timeControl.lastFrameTime();
    latestOffset = app.timelineOffset;
    return true;
}

bool History::landAtFrameTime(TruckApp& app, double frameTime) {
    const double limit = frameTime + 1e-9;
    double offset = 0.0;
    if (!land(
            app, [limit](double, double time) { return time <= limit; }, false, &offset)) {
        return false;
    }
    app.timelineOffset = offset;
    return true;
}
