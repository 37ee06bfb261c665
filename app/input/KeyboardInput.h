// KeyboardInput: the keyboard in the window. GLUT's character and special
// key events become the application's key events through the InputRouter:
// repeats of a held key are dropped, releases wait for the start of the next
// frame (so that a repeat, which comes as a release and a press, can be told
// from a new press), and a letter released in the other case (Shift changed
// while it was held) lets go of the key that is held. F11 toggles full screen.
#pragma once

#include "app/input/WindowKeys.h"

class InputRouter;
class TruckApp;

class KeyboardInput {
  public:
    // Makes this the instance the GLUT callbacks use; `allowFullScreen`
    // lets F11 change the window.
    void attach(TruckApp* app, InputRouter* router, bool allowFullScreen);
    // Start of a frame, before its time is recorded: the releases held back.
    void beginFrame();

    // Callbacks for glutKeyboardFunc, glutKeyboardUpFunc, glutSpecialFunc and
    // glutSpecialUpFunc on the attached instance.
    static void glutCharacterDown(unsigned char character, int x, int y);
    static void glutCharacterUp(unsigned char character, int x, int y);
    static void glutSpecialDown(int key, int x, int y);
    static void glutSpecialUp(int key, int x, int y);

  private:
    void press(int code);
    void release(int code);
    // Tab (step 1) and Shift-Tab or Ctrl-Tab (step -1): the next or
    // previous truck.
    void switchTruck(int step);

    TruckApp* app = nullptr;
    InputRouter* router = nullptr;
    bool fullScreenAllowed = false;
    KeyRepeatFilter repeats;
};
