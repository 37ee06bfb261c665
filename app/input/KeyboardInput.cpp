// KeyboardInput: GLUT's key callbacks turned into key events.
#include "app/input/KeyboardInput.h"

#include "app/Application.h"
#include "app/TruckApp.h"
#include "app/input/InputRouter.h"

#include <GL/freeglut.h>

#include <chrono>

namespace {
KeyboardInput* attached = nullptr;
// Releases held back in one frame, at most.
const int heldCapacity = 16;
} // namespace

void KeyboardInput::attach(TruckApp* application, InputRouter* inputRouter, bool allowFullScreen) {
    app = application;
    router = inputRouter;
    fullScreenAllowed = allowFullScreen;
    attached = this;
}

void KeyboardInput::beginFrame() {
    int codes[heldCapacity];
    const int count = repeats.flush(codes, heldCapacity);
    for (int k = 0; k < count; ++k) {
        router->key(codes[k], false);
    }
}

// A press that only repeats a held key goes nowhere; a quick second press
// of a key follows its own release.
void KeyboardInput::press(int code) {
    const double now =
        std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    switch (repeats.press(code, now)) {
    case KeyRepeatFilter::Press::drop:
        break;
    case KeyRepeatFilter::Press::deliverAfterRelease:
        router->key(code, false);
        router->key(code, true);
        break;
    case KeyRepeatFilter::Press::deliver:
        router->key(code, true);
        break;
    }
}

void KeyboardInput::release(int code) {
    if (!repeats.release(code)) {
        router->key(code, false);
    }
}

void KeyboardInput::glutCharacterDown(unsigned char character, int, int) {
    if (attached == nullptr) {
        return;
    }
    // Tab: the next truck; Shift-Tab or Ctrl-Tab: the previous one. Under
    // X11 the server turns Shift-Tab into a key of its own (ISO_Left_Tab),
    // which GLUT passes on as no character at all, so Ctrl-Tab stands in.
    if (character == '\t' && attached->app->truckCount() > 1) {
        const bool back = (glutGetModifiers() & (GLUT_ACTIVE_SHIFT | GLUT_ACTIVE_CTRL)) != 0;
        attached->switchTruck(back ? -1 : 1);
        return;
    }
    attached->press(characterKeyCode(character));
}

void KeyboardInput::switchTruck(int step) {
    // The driving keys held on the truck left are let go first, so that no
    // held key runs away with it; the switch is one event of the stream.
    static const int drivingKeys[5] = {32, 356, 357, 358, 359};
    const unsigned char* held = app->drivenKeys();
    for (int code : drivingKeys) {
        if (held[code] != 0) {
            router->key(code, false);
        }
    }
    // So is the hand: a grab stays with the truck it was made on only
    // while that truck is driven.
    if (app->heldParticle() >= 0) {
        router->deliver(InputEvent::makeRelease());
    }
    const int count = app->truckCount();
    const int next = ((app->selectedTruck() + step) % count + count) % count;
    router->deliver(InputEvent::makeTruck(next));
}

void KeyboardInput::glutCharacterUp(unsigned char character, int, int) {
    // The switch was made on the press.
    if (attached != nullptr && character == '\t' && attached->app->truckCount() > 1) {
        return;
    }
    if (attached != nullptr) {
        attached->release(releasedKeyCode(character, attached->app->drivenKeys()));
    }
}

// Special keys outside the application's set never reach it.
void KeyboardInput::glutSpecialDown(int key, int, int) {
    if (attached == nullptr) {
        return;
    }
    const int code = specialKeyCode(key);
    if (code >= 0) {
        attached->press(code);
    }
    // Full screen is the window's business, not the simulation's.
    if (key == GLUT_KEY_F11 && attached->fullScreenAllowed) {
        glutFullScreenToggle();
    }
}

void KeyboardInput::glutSpecialUp(int key, int, int) {
    if (attached == nullptr) {
        return;
    }
    const int code = specialKeyCode(key);
    if (code >= 0) {
        attached->release(code);
    }
}
