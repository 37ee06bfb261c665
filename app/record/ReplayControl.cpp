// ReplayControl: the replay's clock under pause, speed and seeks.
#include "app/record/ReplayControl.h"

#include "app/TruckApp.h"
#include "app/record/Recording.h"

void ReplayControl::attach(TruckApp* application, Recording* played) {
    app = application;
    recording = played;
}

double ReplayControl::speed() const {
    return 1.0 / static_cast<double>(1 << halvings);
}

double ReplayControl::position(double now) const {
    if (isPaused || now < anchorReal) {
        return anchorPosition;
    }
    return anchorPosition + (now - anchorReal) * speed();
}

void ReplayControl::anchor(double now) {
    anchorPosition = position(now);
    anchorReal = now;
}

bool ReplayControl::takeRedraw() {
    const bool wanted = redraw;
    redraw = false;
    return wanted;
}

bool ReplayControl::key(int code, bool down, double now) {
    const bool own = code == keyBack || code == keyOn || code == keyStart || code == keyEnd ||
                     code == keyPause || code == keySlower || code == keyFaster;
    if (!own || !down || app == nullptr || recording == nullptr) {
        return own;
    }
    touched = true;
    redraw = true;
    if (code == keyPause) {
        anchor(now);
        isPaused = !isPaused;
    } else if (code == keySlower || code == keyFaster) {
        anchor(now);
        if (code == keySlower && halvings < maxHalvings) {
            ++halvings;
        } else if (code == keyFaster && halvings > 0) {
            --halvings;
        }
    } else if (code == keyBack) {
        seek(lastPlayed - seekSeconds, now);
    } else if (code == keyOn) {
        seek(lastPlayed + seekSeconds, now);
    } else if (code == keyStart) {
        seek(0.0, now);
    } else {
        seek(recording->lastFrameTime(), now);
    }
    return true;
}

void ReplayControl::seek(double time, double now) {
    if (time < 0.0) {
        time = 0.0;
    }
    if (time > recording->lastFrameTime()) {
        time = recording->lastFrameTime();
    }
    if (time < lastPlayed && app->history.landAtFrameTime(*app, time)) {
        // The frames after the one landed on come again from the file.
        if (app->history.framesNoted() == 0) {
            recording->rewindToStart();
            lastPlayed = 0.0f;
        } else {
            lastPlayed = static_cast<float>(app->history.lastFrameTime());
            recording->seekAfterFrameAt(lastPlayed);
        }
    }
    float next = 0.0f;
    while (recording->upcomingFrameTime(&next) && next <= time) {
        recording->nextFrame(app, &next);
        app->advance(next);
        lastPlayed = next;
    }
    anchorPosition = lastPlayed;
    anchorReal = now;
    touched = true;
    redraw = true;
}

void ReplayControl::showTimeline(double now) {
    (void)now;
    const double length = recording->lastFrameTime();
    app->hud.setTimeline(lastPlayed, length, isPaused, halvings);
}
