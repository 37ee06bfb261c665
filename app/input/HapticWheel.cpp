// HapticWheel: SDL's haptic constant-force effect on the steering joystick.
#include "app/input/HapticWheel.h"

#include <SDL.h>

#include <cmath>

namespace {

SDL_HapticEffect constantForce(float force) {
    SDL_HapticEffect e;
    SDL_zero(e);
    e.type = SDL_HAPTIC_CONSTANT;
    // SDL gives the direction the force comes from: from the left, so that
    // a positive level pushes the wheel to the right.
    e.constant.direction.type = SDL_HAPTIC_CARTESIAN;
    e.constant.direction.dir[0] = -1;
    e.constant.length = SDL_HAPTIC_INFINITY;
    const float clamped = force > 1.0f ? 1.0f : (force < -1.0f ? -1.0f : force);
    e.constant.level = static_cast<Sint16>(std::lround(clamped * 32767.0f));
    return e;
}

} // namespace

HapticWheel::~HapticWheel() {
    close();
}

bool HapticWheel::follow(SDL_Joystick* steering) {
    if (steering == joystick) {
        return ready();
    }
    close();
    if (steering == nullptr || SDL_JoystickIsHaptic(steering) != SDL_TRUE) {
        joystick = steering;
        return false;
    }
    if (!subsystem) {
        if (SDL_InitSubSystem(SDL_INIT_HAPTIC) != 0) {
            return false;
        }
        subsystem = true;
    }
    joystick = steering;
    haptic = SDL_HapticOpenFromJoystick(steering);
    if (haptic == nullptr) {
        return false;
    }
    if ((SDL_HapticQuery(haptic) & SDL_HAPTIC_CONSTANT) == 0) {
        return false;
    }
    SDL_HapticEffect e = constantForce(0.0f);
    effect = SDL_HapticNewEffect(haptic, &e);
    return effect >= 0;
}

void HapticWheel::close() {
    stop();
    if (haptic != nullptr) {
        if (effect >= 0) {
            SDL_HapticDestroyEffect(haptic, effect);
        }
        SDL_HapticClose(haptic);
    }
    haptic = nullptr;
    effect = -1;
    joystick = nullptr;
    if (subsystem) {
        SDL_QuitSubSystem(SDL_INIT_HAPTIC);
        subsystem = false;
    }
}

void HapticWheel::send(float force) {
    if (!ready()) {
        return;
    }
    SDL_HapticEffect e = constantForce(force);
    SDL_HapticUpdateEffect(haptic, effect, &e);
    if (!playing) {
        playing = SDL_HapticRunEffect(haptic, effect, 1) == 0;
    }
}

void HapticWheel::stop() {
    if (ready() && playing) {
        SDL_HapticStopEffect(haptic, effect);
    }
    playing = false;
}
