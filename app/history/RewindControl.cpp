// RewindControl: Backspace held, the frames it lands on, and going on.
#include "app/history/RewindControl.h"

#include "app/TruckApp.h"

#include <cstdio>

namespace {
const int keySpace = 32;
const int keyLeft = 356;
const int keyUp = 357;
const int keyRight = 358;
const int keyDown = 359;
} // namespace

bool RewindControl::key(TruckApp& app, int code, bool down) {
    if (code == keyRewind) {
        if (down && !holding && !app.history.empty()) {
            holding = true;
            startClock = app.clockTime;
            previousLocal = app.timeControl.lastFrameTime();
            lastFrame = app.history.lastFrameTime();
            format(app);
        } else if (!down && holding) {
            holding = false;
            // The world waits at the instant it was brought back to.
            app.timeControl.pause();
            pausedHere = true;
            app.hud.note(label, static_cast<float>(lastFrame));
        }
        return true;
    }
    const bool driving =
        code == keyUp || code == keyDown || code == keyLeft || code == keyRight || code == keySpace;
    if (down && pausedHere && code == TimeControl::keyPause) {
        pausedHere = false;
    } else if (down && pausedHere && driving && !holding) {
        pausedHere = false;
        if (app.timeControl.paused()) {
            app.timeControl.key(TimeControl::keyPause, true);
        }
    }
    return false;
}

void RewindControl::frame(TruckApp& app, float frameTime) {
    // The frame's length on the clock the frames run at: the same whether
    // the driver keeps the offset a landing leaves or takes it into its own
    // clock (the simulator's whole frames).
    const double now = frameTime;
    const double local = now - app.timelineOffset;
    const double back = rate * (local > previousLocal ? local - previousLocal : 0.0);
    app.history.landAtClock(app, app.clockTime - back, now);
    previousLocal = app.timeControl.lastFrameTime();
    lastFrame = now;
    format(app);
}

void RewindControl::format(TruckApp& app) {
    const double gone = startClock - app.clockTime;
    // U+2212 MINUS SIGN.
    std::snprintf(label, sizeof(label), "rewind \xe2\x88\x92%.1f s", gone > 0.0 ? gone : 0.0);
}
