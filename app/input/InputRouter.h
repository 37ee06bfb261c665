// InputRouter: where the window's input devices (keyboard, mouse, gamepad)
// hand their events. It writes them to the recording when a drive is
// recorded, drops them while a replay or a scripted screenshot drives the
// truck, and passes the rest to the application.
#pragma once

#include "app/input/InputEvent.h"

class RecordingWriter;
class TruckApp;

class InputRouter {
  public:
    // `recorder` may be null; with `ignoreDevices` nothing reaches the app.
    void attach(TruckApp* app, RecordingWriter* recorder, bool ignoreDevices);
    void deliver(const InputEvent& event);
    void key(int code, bool down) { deliver(InputEvent::makeKey(code, down)); }
    // While the devices are ignored, their keys go to `hook` instead (null:
    // nowhere), such as a replay's own keys.
    void setIgnoredKeyHook(void (*hook)(int code, bool down)) { ignoredKeys = hook; }
    // While the devices are ignored (a replay), still let the keys through
    // that only change the view: the cameras and look keys, the display
    // toggles, the overlay and its help. They change nothing in the drive.
    void passViewKeys(bool pass) { viewKeysPass = pass; }
    // Whether a grab would reach the app (not while devices are ignored).
    bool takesGrabs() const { return !ignoring && application != nullptr; }

  private:
    TruckApp* application = nullptr;
    RecordingWriter* recorder = nullptr;
    bool ignoring = true;
    void (*ignoredKeys)(int code, bool down) = nullptr;
    bool viewKeysPass = false;
};

// True for the key codes that only change what is shown: F1..F9, F12, 'h',
// 'q' and 'e'.
bool isViewKey(int code);
