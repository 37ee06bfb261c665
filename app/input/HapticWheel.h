// HapticWheel: a constant-force effect on the joystick that steers, through
// SDL's haptic API. It is opened from that joystick itself (the wheel that
// the mapping steers with, or the pad), never from whichever haptic device
// happens to come first. Forces are fractions of the device's strongest,
// positive turning the wheel to the right.
#pragma once

struct _SDL_Joystick;
struct _SDL_Haptic;

class HapticWheel {
  public:
    HapticWheel() = default;
    HapticWheel(const HapticWheel&) = delete;
    HapticWheel& operator=(const HapticWheel&) = delete;
    ~HapticWheel();

    // Follows the steering joystick: opens force feedback on `joystick`
    // when it is not the one open (null closes). True when a constant force
    // can be sent.
    bool follow(_SDL_Joystick* joystick);
    void close();
    bool ready() const { return effect >= 0; }
    // Sends `force` (-1..1); the effect runs until stop().
    void send(float force);
    // No force, at once.
    void stop();

  private:
    _SDL_Joystick* joystick = nullptr;
    _SDL_Haptic* haptic = nullptr;
    int effect = -1;
    bool playing = false;
    bool subsystem = false;
};
