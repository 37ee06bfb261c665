// Application: the abstract interface through which the window system's event
// loop drives the program. The entry point creates the concrete application,
// stores the Renderer in `renderer`, calls init once, then frame for every
// redisplay and key for every key event. Also the mapping of window-system
// keys onto the application's key codes.
#pragma once

class Renderer;

class Application {
  public:
    Application() : renderer(nullptr) {}
    // Virtual so that the entry point can destroy the concrete application
    // through this base.
    virtual ~Application() {}

    // Loads everything the application needs; false when something is
    // missing or unreadable. Called once, before the timer starts.
    virtual bool init() { return true; }
    // Releases what init built; called at most once, after the main loop.
    virtual bool shutdown() { return true; }
    // One frame; time is in seconds since the timer started (not the interval
    // since the previous frame).
    virtual bool frame(float time) {
        (void)time;
        return true;
    }
    // A key went down or up; code 0..511 (characters 0..255, window-system
    // special keys at 256 plus their GLUT value).
    virtual void key(int code, bool down) = 0;

    // Not owned; set by the entry point before init.
    Renderer* renderer;
};

// Key codes form one space of 0 to 511: characters 0..255, the window
// system's special keys at 256 plus their GLUT value.
const int specialKeyCodeBase = 256;

// The key code of a GLUT special key the application handles (F1 to F12, the
// four arrows, Home and End), or -1 for every other special key.
int specialKeyCode(int glutKey);
// The key code of a character: its 8 bits, 0..255, never negative.
int characterKeyCode(unsigned char character);
// The key code that selects camera 1..5 as the options number them: F1 to
// F4, and F12 for the orbit camera; -1 for any other number.
int cameraKeyCode(int camera);
