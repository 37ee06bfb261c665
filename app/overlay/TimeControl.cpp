// TimeControl: the simulation clock under pause and slow motion.
#include "app/overlay/TimeControl.h"

#include <cmath>

bool TimeControl::key(int code, bool down) {
    if (code != keyPause && code != keySlower && code != keyFaster && code != keyStep) {
        return false;
    }
    if (!down) {
        return true;
    }
    // A change takes effect from the last frame's time, which a replay of
    // the same frames and events reproduces exactly.
    anchor();
    engaged = true;
    if (code == keyPause) {
        isPaused = !isPaused;
    } else if (code == keySlower && scaleHalvings < maxHalvings) {
        ++scaleHalvings;
    } else if (code == keyFaster && scaleHalvings > 0) {
        --scaleHalvings;
    } else if (code == keyStep && isPaused) {
        anchorSim += stepSeconds;
    }
    return true;
}

void TimeControl::anchor() {
    anchorReal = lastReal;
    anchorSim = lastSim;
}

double TimeControl::scale() const {
    return 1.0 / static_cast<double>(1 << scaleHalvings);
}

float TimeControl::clock(float time) {
    lastReal = time;
    if (!engaged) {
        lastSim = time;
        return time;
    }
    double sim = anchorSim;
    if (!isPaused && time > anchorReal) {
        sim += (time - anchorReal) * scale();
    }
    lastSim = sim;
    return static_cast<float>(sim);
}

void TimeControl::pause() {
    if (!isPaused) {
        anchor();
        engaged = true;
        isPaused = true;
    }
}

TimeControl::State TimeControl::state() const {
    return State{engaged, isPaused, scaleHalvings, lastReal, lastSim, anchorReal, anchorSim};
}

bool TimeControl::valid(const State& value) {
    // Written so that NaN fails too.
    auto inRange = [](double t) { return t >= -longestTime && t <= longestTime; };
    return value.halvings >= 0 && value.halvings <= maxHalvings && inRange(value.lastReal) &&
           inRange(value.lastSim) && inRange(value.anchorReal) && inRange(value.anchorSim);
}

bool TimeControl::setState(const State& value) {
    if (!valid(value)) {
        return false;
    }
    engaged = value.engaged;
    isPaused = value.paused;
    scaleHalvings = value.halvings;
    lastReal = value.lastReal;
    lastSim = value.lastSim;
    anchorReal = value.anchorReal;
    anchorSim = value.anchorSim;
    return true;
}
