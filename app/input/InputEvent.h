// InputEvent: one thing the driver did, in the one form that the keyboard,
// the mouse, a gamepad, key scripts and recordings all share. TruckApp
// consumes it (TruckApp::input); scripts parse it from "TIME:..." words and
// recordings store it as one line each.
#pragma once

#include "math/Vec3.h"

// What an event carries.
enum class InputKind : unsigned char {
    key,     // a key went down or up: code, down
    grab,    // grab a particle, or move the target of the one grabbed: particle, target
    release, // let go of the grabbed particle
    analog,  // an analog control moved: control, value
    rewind,  // go back value seconds of simulated time and drive on from there
    truck,   // the keys, the pad and the grab act on truck `particle` from now on
};

// The three ramped controls an analog device can set directly.
enum class AnalogControl : unsigned char { steer = 0, throttle = 1, brake = 2 };
const int analogControlCount = 3;
// The longest rewind one event may ask for, s (a day: far beyond any history).
const float maxRewindSeconds = 86400.0f;

struct InputEvent {
    // Seconds from the start of the run (scripts); not used once delivered.
    double time = 0.0;
    InputKind kind = InputKind::key;
    // key: code 0..511, pressed (true) or released.
    int code = 0;
    bool down = false;
    // grab: particle index and the world point it is pulled to, m; truck:
    // the truck's number in `particle`.
    int particle = 0;
    Vec3 target;
    // analog: which control and its value, -1..1 (brake 0..1); rewind: the
    // seconds to go back (0 to maxRewindSeconds).
    AnalogControl control = AnalogControl::steer;
    float value = 0.0f;

    static InputEvent makeKey(int code, bool down) {
        InputEvent e;
        e.kind = InputKind::key;
        e.code = code;
        e.down = down;
        return e;
    }
    static InputEvent makeGrab(int particle, Vec3 target) {
        InputEvent e;
        e.kind = InputKind::grab;
        e.particle = particle;
        e.target = target;
        return e;
    }
    static InputEvent makeRelease() {
        InputEvent e;
        e.kind = InputKind::release;
        return e;
    }
    static InputEvent makeRewind(float seconds) {
        InputEvent e;
        e.kind = InputKind::rewind;
        e.value = seconds;
        return e;
    }
    // Selects truck k (0 the first) for the events that follow.
    static InputEvent makeTruck(int k) {
        InputEvent e;
        e.kind = InputKind::truck;
        e.particle = k;
        return e;
    }
    static InputEvent makeAnalog(AnalogControl control, float value) {
        InputEvent e;
        e.kind = InputKind::analog;
        e.control = control;
        e.value = value;
        return e;
    }
};

// "steer", "throttle", "brake".
const char* analogControlName(AnalogControl control);
// The control named, false for any other name.
bool analogControlFromName(const char* name, AnalogControl* control);
// The values a control takes: -1..1, the brake 0..1.
float analogMinimum(AnalogControl control);
