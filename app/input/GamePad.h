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
//
// With a WheelMapping it also drives from a joystick that is not a game
// controller (a steering wheel with pedals): the mapped axes give steer,
// throttle and brake, in place of the pad's for the controls they map, and
// the mapped buttons hold their keys. The pad's motors take rumble requests.
#pragma once

#include "app/input/InputEvent.h"
#include "app/input/WheelMapping.h"

#include <cstdint>
#include <string>

class InputRouter;
class TruckApp;
struct _SDL_GameController;
struct _SDL_Joystick;

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

    // Drive from a joystick as `mapping` says (copied); null forgets it.
    // Set before start().
    void setWheelMapping(const WheelMapping* mapping);
    // Loads SDL game-controller mappings (one a line, in the format of the
    // community's database; SDL takes the lines of its own platform) for
    // pads SDL does not know, and opens one already plugged in that they
    // make a pad; call after start(). False with failureReason() when the
    // file cannot be read.
    bool addPadMappings(const char* path);
    // Asks the pad's motors for rumble (0..65535 each) for `durationMs`;
    // both 0 stops them. False without a pad or when it has no motors.
    bool rumble(uint16_t low, uint16_t high, uint32_t durationMs);

    bool started() const { return running; }
    // True while a joystick is driven through the wheel mapping.
    bool wheelConnected() const { return wheel != nullptr; }
    // The joystick that steers: the wheel when its mapping steers, else the
    // pad's; null without one. Force feedback is opened from it.
    _SDL_Joystick* steeringJoystick() const;
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
    // Opens the joystick as the wheel if the mapping takes it.
    void openWheel(int deviceIndex);
    // Releases what the wheel holds and closes it.
    void closeWheel(InputRouter& router);
    void pollWheel(InputRouter& router);
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
    // The wheel: its mapping (axis -1 for every control when none is set),
    // the joystick driven through it, and the key each button holds (-1).
    WheelMapping mapping;
    bool mappingSet = false;
    _SDL_Joystick* wheel = nullptr;
    int wheelInstance = -1;
    int wheelHeld[WheelMapping::maxButtons];
};
