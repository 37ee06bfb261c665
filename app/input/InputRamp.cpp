// InputRamp: rate-limited control value with clamps and return to centre.
#include "app/input/InputRamp.h"

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

float InputRamp::analogTarget(float analog) const {
    if (!(analog > 0.0f) && !(analog < 0.0f)) {
        return centre;
    }
    if (analog >= 1.0f) {
        return maximum;
    }
    if (analog <= -1.0f) {
        return minimum;
    }
    return analog > 0.0f ? centre + analog * (maximum - centre)
                         : centre - analog * (minimum - centre);
}

float InputRamp::updateTowards(float dt, float target) {
    if (target == centre) {
        return update(dt, false, false);
    }
    if (target > current) {
        // Upwards: away from the centre from at or above it.
        const float step = dt * (current >= centre ? pressRate : releaseRate);
        current += step;
        if (current > target) {
            current = target;
        }
    } else if (target < current) {
        const float step = dt * (current <= centre ? pressRate : releaseRate);
        current -= step;
        if (current < target) {
            current = target;
        }
    }
    return current;
}

float InputRamp::update(float dt, bool increase, bool decrease, bool analogGiven, float analog) {
    if (!analogGiven) {
        return update(dt, increase, decrease);
    }
    float keyTarget = centre;
    if (increase != decrease) {
        keyTarget = increase ? maximum : minimum;
    }
    const float target = analogTarget(analog);
    if (std::fabs(target - centre) > std::fabs(keyTarget - centre)) {
        return updateTowards(dt, target);
    }
    return update(dt, increase, decrease);
}
