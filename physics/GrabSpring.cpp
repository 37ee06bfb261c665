// GrabSpring: the capped spring-damper of a grab.
#include "physics/GrabSpring.h"

#include <cmath>

Vec3 GrabSpring::force(Vec3 position, Vec3 velocity, Vec3 target) {
    Vec3 offset = target - position;
    const float distance = std::sqrt(dot(offset, offset));
    if (distance > grabReach) {
        offset = offset * (grabReach / distance);
    }
    Vec3 f = offset * grabStiffness - velocity * grabDamping;
    const float magnitude = std::sqrt(dot(f, f));
    if (magnitude > grabForceCap) {
        f = f * (grabForceCap / magnitude);
    }
    return f;
}
