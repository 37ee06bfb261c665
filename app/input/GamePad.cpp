// GamePad: SDL's game controller events turned into the app's input events.
#include "app/input/GamePad.h"

#include <cstdlib>

#include "app/Application.h"

#include "app/input/InputRouter.h"
#include "app/TruckApp.h"

#include <SDL.h>

#include <cmath>
#include <cstring>

namespace {
// Key codes the buttons stand for.
const int keySpace = 32;
const int keyEscape = 27;
const int keyRecover = 'r';
const int keyLookLeft = 'q';
const int keyLookRight = 'e';
const int keyF1 = 257;
// Marks the Back button, whose key is chosen when it goes down.
const int nextCamera = -2;

struct ButtonMap {
    SDL_GameControllerButton button;
    int code;
};
// One entry per slot of GamePad::heldCode.
const ButtonMap buttonMap[] = {
    {SDL_CONTROLLER_BUTTON_A, keySpace},
    {SDL_CONTROLLER_BUTTON_B, keyRecover},
    {SDL_CONTROLLER_BUTTON_START, keyEscape},
    {SDL_CONTROLLER_BUTTON_BACK, nextCamera},
    {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, keyLookLeft},
    {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, keyLookRight},
};

const int steer = static_cast<int>(AnalogControl::steer);
const int throttle = static_cast<int>(AnalogControl::throttle);
} // namespace

GamePad::~GamePad() {
    stop();
}

bool GamePad::start() {
    if (running) {
        return true;
    }
    // SIGINT and SIGTERM stay the program's, whatever the environment says:
    // SDL would catch them and only queue a quit event that nobody reads.
    SDL_SetHintWithPriority(SDL_HINT_NO_SIGNAL_HANDLERS, "1", SDL_HINT_OVERRIDE);
    // The window is freeglut's, which SDL does not know: its pad events
    // must not wait for a focus SDL never sees.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    // A pad needs no session bus. Without one named, libdbus would try to
    // start one through the X server as SDL starts, fail, and keep what it
    // read; an address that names no bus makes it give up at once.
    setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 0);
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
        reason = SDL_GetError();
        return false;
    }
    running = true;
    return true;
}

int GamePad::padsPlugged() const {
    if (!running) {
        return 0;
    }
    int count = 0;
    for (int k = 0; k < SDL_NumJoysticks(); ++k) {
        count += SDL_IsGameController(k) ? 1 : 0;
    }
    return count;
}

void GamePad::stop() {
    if (!running) {
        return;
    }
    if (wheel != nullptr) {
        SDL_JoystickClose(wheel);
        wheel = nullptr;
        wheelInstance = -1;
    }
    if (controller != nullptr) {
        // The motors stop with the program, whatever was last asked of them.
        SDL_GameControllerRumble(controller, 0, 0, 0);
        SDL_GameControllerClose(controller);
        controller = nullptr;
        instanceId = -1;
    }
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
    // With nothing else of SDL in use, SDL_Quit also lets go of what SDL's
    // start took beside the subsystem (its session-bus connection).
    if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) {
        SDL_Quit();
    }
    running = false;
}

float GamePad::shapeAxis(int raw) {
    float v = static_cast<float>(raw) / 32767.0f;
    const float magnitude = std::fabs(v);
    if (magnitude <= deadZone) {
        return 0.0f;
    }
    if (magnitude >= 1.0f) {
        return v > 0.0f ? 1.0f : -1.0f;
    }
    // The travel past the dead zone stretched over 0..1.
    v = (magnitude - deadZone) / (1.0f - deadZone);
    return raw > 0 ? v : -v;
}

void GamePad::setWheelMapping(const WheelMapping* wheelMapping) {
    mappingSet = wheelMapping != nullptr;
    mapping = mappingSet ? *wheelMapping : WheelMapping();
    for (int& held : wheelHeld) {
        held = -1;
    }
}

bool GamePad::addPadMappings(const char* path) {
    if (SDL_GameControllerAddMappingsFromFile(path) < 0) {
        reason = std::string(path) + ": " + SDL_GetError();
        return false;
    }
    // SDL announces a pad only as it is plugged in: one plugged in already
    // that the file made a pad is taken now.
    for (int k = 0; k < SDL_NumJoysticks() && controller == nullptr; ++k) {
        open(k);
    }
    return true;
}

bool GamePad::rumble(uint16_t low, uint16_t high, uint32_t durationMs) {
    return controller != nullptr &&
           SDL_GameControllerRumble(controller, low, high, durationMs) == 0;
}

SDL_Joystick* GamePad::steeringJoystick() const {
    if (wheel != nullptr && mapping.maps(AnalogControl::steer)) {
        return wheel;
    }
    return controller != nullptr ? SDL_GameControllerGetJoystick(controller) : nullptr;
}

void GamePad::openWheel(int deviceIndex) {
    if (!mappingSet || wheel != nullptr) {
        return;
    }
    // With a device named, the joystick whose name has it; else the first
    // one that is no game controller.
    if (mapping.device.empty() ? SDL_IsGameController(deviceIndex) != SDL_FALSE
                               : SDL_JoystickNameForIndex(deviceIndex) == nullptr ||
                                     std::strstr(SDL_JoystickNameForIndex(deviceIndex),
                                                 mapping.device.c_str()) == nullptr) {
        return;
    }
    wheel = SDL_JoystickOpen(deviceIndex);
    if (wheel != nullptr) {
        wheelInstance = SDL_JoystickInstanceID(wheel);
        for (int& held : wheelHeld) {
            held = -1;
        }
    }
}

void GamePad::closeWheel(InputRouter& router) {
    for (int control = 0; control < analogControlCount; ++control) {
        if (mapping.axes[control].axis >= 0) {
            sendAnalog(router, control, 0.0f);
        }
    }
    for (int& held : wheelHeld) {
        if (held >= 0) {
            router.key(held, false);
            held = -1;
        }
    }
    SDL_JoystickClose(wheel);
    wheel = nullptr;
    wheelInstance = -1;
}

void GamePad::pollWheel(InputRouter& router) {
    for (int control = 0; control < analogControlCount; ++control) {
        const WheelMapping::Axis& axis = mapping.axes[control];
        if (axis.axis >= 0) {
            const int raw = SDL_JoystickGetAxis(wheel, axis.axis);
            sendAnalog(router, control, mapping.value(static_cast<AnalogControl>(control), raw));
        }
    }
    const int buttons = SDL_JoystickNumButtons(wheel);
    for (int b = 0; b < WheelMapping::maxButtons && b < buttons; ++b) {
        const int code = mapping.buttonKey[b];
        if (code < 0) {
            continue;
        }
        const bool down = SDL_JoystickGetButton(wheel, b) != 0;
        if (down && wheelHeld[b] < 0) {
            wheelHeld[b] = code;
            router.key(code, true);
        } else if (!down && wheelHeld[b] >= 0) {
            router.key(wheelHeld[b], false);
            wheelHeld[b] = -1;
        }
    }
}

void GamePad::open(int deviceIndex) {
    if (controller != nullptr || !SDL_IsGameController(deviceIndex)) {
        return;
    }
    // The wheel's joystick is not a pad as well.
    if (wheel != nullptr && SDL_JoystickGetDeviceInstanceID(deviceIndex) == wheelInstance) {
        return;
    }
    controller = SDL_GameControllerOpen(deviceIndex);
    if (controller != nullptr) {
        instanceId = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller));
    }
}

void GamePad::sendAnalog(InputRouter& router, int control, float value) {
    if (value == sent[control]) {
        return;
    }
    sent[control] = value;
    router.deliver(InputEvent::makeAnalog(static_cast<AnalogControl>(control), value));
}

void GamePad::close(InputRouter& router) {
    for (int control = 0; control < analogControlCount; ++control) {
        sendAnalog(router, control, 0.0f);
    }
    for (int& code : heldCode) {
        if (code >= 0) {
            router.key(code, false);
            code = -1;
        }
    }
    orbitX = 0.0f;
    orbitY = 0.0f;
    SDL_GameControllerClose(controller);
    controller = nullptr;
    instanceId = -1;
}

void GamePad::button(InputRouter& router, const TruckApp& app, int sdlButton, bool down) {
    static_assert(sizeof(buttonMap) / sizeof(buttonMap[0]) == buttonCount,
                  "one held-key slot per mapped button");
    for (int slot = 0; slot < buttonCount; ++slot) {
        if (buttonMap[slot].button != sdlButton) {
            continue;
        }
        int& held = heldCode[slot];
        if (down && held < 0) {
            held = buttonMap[slot].code;
            if (held == nextCamera) {
                held = cameraKeyCode((app.camera + 1) % cameraCount + 1);
            }
            router.key(held, true);
        } else if (!down && held >= 0) {
            // The key that went down comes up, even if Back's camera moved on.
            router.key(held, false);
            held = -1;
        }
        return;
    }
}

void GamePad::poll(InputRouter& router, const TruckApp& app) {
    if (!running) {
        return;
    }
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) {
        switch (event.type) {
        case SDL_JOYDEVICEADDED:
            openWheel(event.jdevice.which);
            break;
        case SDL_JOYDEVICEREMOVED:
            if (wheel != nullptr && event.jdevice.which == wheelInstance) {
                closeWheel(router);
            }
            break;
        case SDL_CONTROLLERDEVICEADDED:
            open(event.cdevice.which);
            break;
        case SDL_CONTROLLERDEVICEREMOVED:
            if (controller != nullptr && event.cdevice.which == instanceId) {
                close(router);
                // Another pad still plugged in takes over.
                for (int k = 0; k < SDL_NumJoysticks() && controller == nullptr; ++k) {
                    open(k);
                }
            }
            break;
        case SDL_CONTROLLERBUTTONDOWN:
        case SDL_CONTROLLERBUTTONUP:
            if (controller != nullptr && event.cbutton.which == instanceId) {
                button(router, app, event.cbutton.button, event.type == SDL_CONTROLLERBUTTONDOWN);
            }
            break;
        default:
            break;
        }
    }
    if (wheel != nullptr) {
        pollWheel(router);
    }
    if (controller == nullptr) {
        return;
    }
    const auto axis = [this](SDL_GameControllerAxis which) {
        return shapeAxis(SDL_GameControllerGetAxis(controller, which));
    };
    // A wheel's axes take the place of the pad's for what they map.
    const bool wheelMaps = wheel != nullptr;
    if (!wheelMaps || !mapping.maps(AnalogControl::steer)) {
        sendAnalog(router, steer, axis(SDL_CONTROLLER_AXIS_LEFTX));
    }
    // Both triggers pulled cancel out, as both arrow keys do.
    if (!wheelMaps || !mapping.maps(AnalogControl::throttle)) {
        sendAnalog(router, throttle,
                   axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT) - axis(SDL_CONTROLLER_AXIS_TRIGGERLEFT));
    }
    // No axis brakes: the A button is the space key.
    orbitX = axis(SDL_CONTROLLER_AXIS_RIGHTX);
    orbitY = axis(SDL_CONTROLLER_AXIS_RIGHTY);
}
