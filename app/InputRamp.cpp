// InputRamp: rate-limited control value with clamps and return to centre.
#include "app/InputRamp.h"

#include <cmath>

void InputRamp::init(float centreValue, float minimumValue, float maximumValue,
                     float pressRateValue, float releaseRateValue) {
    centre = centreValue;
    minimum = minimumValue;
    maximum = maximumValue;
    pressRate = pressRateValue;
    releaseRate = releaseRateValue;
    current = centreValue;
}

float InputRamp::update(float dt, bool increase, bool decrease) {
    if (increase == decrease) {
        // Back towards the centre; a step that would reach or pass it lands on
        // it exactly, so the value never overshoots.
        const float step = dt * releaseRate;
        if (step >= std::fabs(current - centre)) {
            current = centre;
        } else if (current > centre) {
            current -= step;
        } else {
            current += step;
        }
        return current;
    }
    // Only the limit in the direction of travel clamps: a value outside it
    // on the other side is left to move back in at the press rate.
    const float step = dt * pressRate;
    if (increase) {
        current += step;
        if (current > maximum) {
            current = maximum;
        }
    } else {
        current -= step;
        if (current < minimum) {
            current = minimum;
        }
    }
    return current;
}
