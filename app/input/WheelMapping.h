// WheelMapping: how a steering wheel with pedals (or any joystick that is
// not a game controller) drives the truck. A small text file names, for
// steer, throttle and brake, the joystick axis that drives it, the raw
// values of its two ends, whether it is inverted and its dead zone; buttons
// may stand for keys. One setting a line, '#' starts a comment:
//
//   dravonel wheel 1
//   device G27               # optional: a joystick whose name contains this
//   steer axis 0 range -32768 32767 deadzone 0.02
//   throttle axis 2 range 32767 -32768
//   brake axis 3 range 32767 -32768 deadzone 0.05
//   button 4 down            # a button held as a key (names as in scripts)
//
// Axes are numbered from 0 as SDL counts them. `range A B`: the raw value A
// is the control's rest (the steer's full left) and B its full travel (full
// right); the default is -32768 32767. `invert` swaps the two ends. The
// dead zone is a fraction of the travel that counts as rest (for the steer,
// around the middle); the travel past it is stretched so that the end still
// gives exactly full. Steer gives -1..1, the pedals 0..1 (throttle forward;
// reverse comes from a key such as `down` on a button). Loading prints
// nothing; a refused file gives "FILE:LINE: what was wrong".
#pragma once

#include "app/input/InputEvent.h"

#include <cstddef>
#include <string>

class WheelMapping {
  public:
    // The largest mapping file read, bytes.
    static constexpr size_t largestFile = 16 * 1024;
    static const int maxButtons = 32;
    static const int maxAxis = 255;

    struct Axis {
        int axis = -1; // SDL axis number; -1 when the control is not mapped
        int rest = -32768;
        int full = 32767;
        float deadZone = 0.0f; // fraction of the travel, 0..0.9
    };

    WheelMapping() {
        for (int& key : buttonKey) {
            key = -1;
        }
    }
    bool load(const char* path);
    // The same from text in memory; name is used in messages only.
    bool parse(const char* text, size_t size, const char* name);
    const char* failureReason() const { return reason.c_str(); }

    // The control's value for a raw axis value: -1..1 for the steer, 0..1
    // for throttle and brake.
    float value(AnalogControl control, int raw) const;
    // True when some axis drives the control.
    bool maps(AnalogControl control) const { return axes[static_cast<int>(control)].axis >= 0; }

    Axis axes[analogControlCount];
    // Key code each button holds while pressed, -1 for none.
    int buttonKey[maxButtons];
    // Text a joystick's name must contain; empty: any that is not a game
    // controller.
    std::string device;

  private:
    bool fail(const char* name, int line, const std::string& what);
    std::string reason;
};
