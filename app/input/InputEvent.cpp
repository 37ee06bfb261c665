// Names and ranges of the analog controls.
#include "app/input/InputEvent.h"

#include <cstring>

namespace {
const char* const controlNames[analogControlCount] = {"steer", "throttle", "brake"};
}

const char* analogControlName(AnalogControl control) {
    return controlNames[static_cast<int>(control)];
}

bool analogControlFromName(const char* name, AnalogControl* control) {
    for (int k = 0; k < analogControlCount; ++k) {
        if (std::strcmp(name, controlNames[k]) == 0) {
            *control = static_cast<AnalogControl>(k);
            return true;
        }
    }
    return false;
}

float analogMinimum(AnalogControl control) {
    return control == AnalogControl::brake ? 0.0f : -1.0f;
}
