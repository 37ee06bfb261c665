// Rumble: motor levels from the physics and the pace of the requests.
#include "app/input/Rumble.h"

#include "app/input/ForceFeedback.h"
#include "physics/PhysicsWorld.h"

#include <cmath>

namespace {

// (value - floor) / (full - floor) within 0..1; NaN gives 0.
float ramp(float value, float floor, float full) {
    const float level = (value - floor) / (full - floor);
    if (!(level > 0.0f)) {
        return 0.0f;
    }
    return level < 1.0f ? level : 1.0f;
}

uint16_t motor(float level) {
    return static_cast<uint16_t>(std::lround(level * 65535.0f));
}

// The road wheels the drive turns.
const int drivenWheels = 4;

} // namespace

float Rumble::impactLevel(float peakImpulse) {
    return ramp(peakImpulse, impactFloor, impactFull);
}

float Rumble::roughLevel(float axleSpeed) {
    return ramp(axleSpeed, roughFloor, roughFull);
}

float Rumble::axleSpeed(PhysicsWorld& world, const Vec3& up, const Vec3& chassisVelocity) {
    const Wheel* wheels = world.wheels();
    const Particle* particles = world.particles();
    const int count = world.wheelCount() < drivenWheels ? world.wheelCount() : drivenWheels;
    float sum = 0.0f;
    int touching = 0;
    for (int w = 0; w < count; ++w) {
        const Wheel& wheel = wheels[w];
        if (!ForceFeedback::treadTouches(world, wheel, up)) {
            continue;
        }
        const Vec3 axle = (particles[wheel.hubA].velocity + particles[wheel.hubB].velocity) * 0.5f;
        sum += std::fabs(dot(axle - chassisVelocity, up));
        ++touching;
    }
    return touching > 0 ? sum / static_cast<float>(touching) : 0.0f;
}

void Rumble::frame(float low, float high) {
    pendingLow = low > pendingLow ? low : pendingLow;
    pendingHigh = high > pendingHigh ? high : pendingHigh;
}

bool Rumble::due(double now, Request* request) {
    const bool signal = motor(pendingLow) != 0 || motor(pendingHigh) != 0;
    if (!signal && !rumbling) {
        return false;
    }
    // A signal that starts goes out at once; after that one request per
    // interval carries the strongest levels of its frames, and the first
    // interval without any is sent as silence.
    // A millisecond's grace: at 60 frames per second three frames make the
    // interval, though their times' differences round below it.
    if (rumbling && now - lastSent < interval - 0.001) {
        return false;
    }
    *request = Request();
    if (signal) {
        request->low = motor(pendingLow);
        request->high = motor(pendingHigh);
        request->durationMs = durationMs;
    }
    pendingLow = 0.0f;
    pendingHigh = 0.0f;
    rumbling = signal;
    lastSent = now;
    return true;
}

bool Rumble::stop() {
    pendingLow = 0.0f;
    pendingHigh = 0.0f;
    const bool was = rumbling;
    rumbling = false;
    return was;
}
