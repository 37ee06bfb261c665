// DriveController: the drive law.
#include "physics/DriveController.h"

#include "physics/Wheel.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float driveGain = 80.0f;    // N at full throttle from rest
constexpr float spinCeiling = 14.0f;  // rev/s, upper bound of the slowest spin
constexpr float spinOffset = 0.02f;   // rev/s, added to the slowest spin
constexpr float lowSpin = 1.0f;       // rev/s, below it the throttle is reduced
constexpr float highSpin = 7.0f;      // rev/s, above it the drive is cut
constexpr float reversalLimit = 0.5f; // mean spin and throttle thresholds for reversal

} // namespace

void DriveController::update(float throttle) {
    if (!wheels) {
        return;
    }
    const float s0 = wheels[0].spin();
    const float s1 = wheels[1].spin();
    const float s2 = wheels[2].spin();
    const float s3 = wheels[3].spin();
    const float mean = (s0 + s1 + s2 + s3) * 0.25f;
    const float slowest =
        std::min({spinCeiling, std::fabs(s0), std::fabs(s1), std::fabs(s2), std::fabs(s3)}) +
        spinOffset;
    // Asking to go the other way while clearly rolling: keep the drive the
    // wheels have until the truck has slowed down.
    if ((mean < -reversalLimit && throttle > reversalLimit) ||
        (mean > reversalLimit && throttle < -reversalLimit)) {
        return;
    }
    if (slowest < lowSpin) {
        throttle = throttle * (slowest + 1.0f) * 0.5f;
    } else if (slowest > highSpin) {
        throttle = 0.0f;
    }
    const float drive = driveGain * throttle / (std::fabs(mean) + 1.0f);
    wheels[0].setDrive(drive);
    wheels[3].setDrive(drive);
    wheels[1].setDrive(drive);
    wheels[2].setDrive(drive);
}
