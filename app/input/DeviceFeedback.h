// DeviceFeedback: what the driver feels, sent after every frame. It turns
// the frame's physics into rumble requests for the pad (Rumble) and into
// the steering wheel's constant force (ForceFeedback through HapticWheel).
// It only reads the simulation, never changes it. Everything stops at once
// when the drive is paused, the truck is reset, recovered or put back to an
// earlier time, the window loses the focus, and when the program ends.
#pragma once

#include "app/input/ForceFeedback.h"
#include "app/input/HapticWheel.h"
#include "app/input/Rumble.h"

class GamePad;
class PhysicsWorld;
class TruckApp;

class DeviceFeedback {
  public:
    // False: the pad's motors are never asked for anything (--no-rumble).
    bool rumbleEnabled = true;

    // After a frame at real time `now` (s); `focused` is whether the window
    // has the keyboard focus.
    void frame(TruckApp& app, GamePad& pad, double now, bool focused);
    // Silences the motors and the wheel now (before the pad stops at exit).
    void stop(GamePad& pad);

    const Rumble& rumble() const { return rumbleSignal; }
    // The force last sent to the wheel, -maxForce..maxForce.
    float wheelForce() const { return wheelFeedback.current(); }

  private:
    Rumble rumbleSignal;
    ForceFeedback wheelFeedback;
    HapticWheel haptic;
    // The world and the simulated time the last frame ended on: another
    // world, or an earlier time, is a reset, recover or rewind.
    const PhysicsWorld* lastWorld = nullptr;
    float lastSimTime = 0.0f;
    double lastForceTime = -1.0;
};
