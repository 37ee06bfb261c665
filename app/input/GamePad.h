// GamePad: a game controller as a driving device, through SDL's game
// controller API and its standard layout, so that any pad SDL knows maps the
// same way. Once per frame poll() reads SDL's events, picks up a pad plugged
// in and lets go of one pulled out, and hands what the pad did to the
// InputRouter as the window's other devices do:
//
//   left stick x          analog steer, -1 (left) .. 1 (right)
//   right / left trigger  analog throttle forward / backwards (right - left)
//   A (south)             brake, as the space key
//   B (east)              recover, as the key 'r'
//   Start                 reset, as Escape
//   Back                  next camera, as the F-key of the camera after the
//                         current one
//   left / right shoulder look left / right (both: rear), as 'q' and 'e'
//   right stick           kept for the orbit camera (orbitStickX/Y)
//
// Sticks and triggers have a dead zone of 10 % of their travel; the rest is
// stretched so that full deflection still gives exactly 1. An analog event
// goes out only when its value changes, buttons as key-down and key-up. When
// the pad is pulled out every control it held returns to neutral.
#pragma once

#include "app/input/InputEvent.h"

#include <string>

class InputRouter;
class TruckApp;
struct _SDL_GameController;

class GamePad {
  public:
    GamePad() = default;
    GamePad(const GamePad&) = delete;
    GamePad& operator=(const GamePad&) = delete;
    // Closes the pad and stops SDL's game controller subsystem.
    ~GamePad();

    // Starts SDL's game controller subsystem (and nothing else of SDL). On
    // failure returns false and failureReason() has SDL's reason; poll()
    // then does nothing. Pads already plugged in are picked up by poll().
    bool start();
    void stop();
    // Reads every pending SDL event and sends the pad's changes through
    // `router`; `app` tells the current camera for Back.
    void poll(InputRouter& router, const TruckApp& app);

    bool started() const { return running; }
    // How many game controllers SDL sees plugged in (0 when not started).
    int padsPlugged() const;
    // True while a pad is open.
    bool connected() const { return controller != nullptr; }
    // SDL's instance id of the open pad, -1 without one.
    int instance() const { return instanceId; }
    // The right stick after the dead zone, -1..1 (x right, y down as SDL
    // reports it), for the orbit camera to turn by; 0 without a pad.
    float orbitStickX() const { return orbitX; }
    float orbitStickY() const { return orbitY; }
    const char* failureReason() const { return reason.c_str(); }

    // Cameras Back cycles through (F1..F4 and the orbit camera on F12).
    static const int cameraCount = 5;
    // Fraction of a stick's or trigger's travel that counts as rest.
    static constexpr float deadZone = 0.1f;
    // A raw SDL axis value (-32768..32767) as -1..1 past the dead zone.
    static float shapeAxis(int raw);

  private:
    // Buttons the pad maps (A, B, Start, Back, the two shoulders).
    static const int buttonCount = 6;

    void open(int deviceIndex);
    // Releases everything the pad holds (analog 0, key-ups) and closes it.
    void close(InputRouter& router);
    void button(InputRouter& router, const TruckApp& app, int sdlButton, bool down);
    // Sends `value` for AnalogControl `control` if it differs from the last.
    void sendAnalog(InputRouter& router, int control, float value);

    bool running = false;
    _SDL_GameController* controller = nullptr;
    int instanceId = -1;
    // Last value sent for each AnalogControl.
    float sent[analogControlCount] = {0.0f, 0.0f, 0.0f};
    // Key code each mapped button holds down, -1 while released.
    int heldCode[buttonCount] = {-1, -1, -1, -1, -1, -1};
    float orbitX = 0.0f;
    float orbitY = 0.0f;
    std::string reason;
};
