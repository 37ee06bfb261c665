// ForceFeedback: the steering force from the steering joints, the front
// wheels' ground contact and the chassis's speed.
#include "app/input/ForceFeedback.h"

#include "physics/PhysicsWorld.h"

#include <cmath>

namespace {

float clampForce(float value) {
    if (value > ForceFeedback::maxForce) {
        return ForceFeedback::maxForce;
    }
    if (value < -ForceFeedback::maxForce) {
        return -ForceFeedback::maxForce;
    }
    // NaN from a broken body sends nothing.
    return value == value ? value : 0.0f;
}

// The wheel one of whose hubs is the joint's corner: the wheel it steers.
const Wheel* steeredWheel(PhysicsWorld& world, const AngleJoint& joint) {
    const Wheel* wheels = world.wheels();
    for (int w = 0; w < world.wheelCount(); ++w) {
        if (wheels[w].hubA == joint.b || wheels[w].hubB == joint.b) {
            return &wheels[w];
        }
    }
    return nullptr;
}

} // namespace

float ForceFeedback::compute(PhysicsWorld& world, const Vec3& up, const Vec3& velocity,
                             Parts* parts) {
    Parts local;
    Parts& out = parts != nullptr ? *parts : local;
    out = Parts();
    if (world.angleJointCount() < 2) {
        return 0.0f;
    }
    const AngleJoint* joints = world.angleJoints();
    const Vec3* positions = world.positions();
    // Joint 0 holds -cos(angle) at the steering value s, joint 1 (mirrored)
    // at -s: the turn each wheel has, in steering units, is -cos for joint 0
    // and +cos for joint 1, and the error is that turn less the steering.
    const float sign[2] = {-1.0f, 1.0f};
    const float speed = std::sqrt(dot(velocity, velocity));
    const float speedShare = (speed < centringSpeed ? speed : centringSpeed) / centringSpeed;
    for (int k = 0; k < 2; ++k) {
        const AngleJoint& joint = joints[k];
        const Wheel* wheel = steeredWheel(world, joint);
        if (wheel == nullptr) {
            return 0.0f;
        }
        const Vec3 u = positions[joint.b] - positions[joint.c];
        const Vec3 w = positions[joint.b] - positions[joint.a];
        const float lengths = std::sqrt(dot(w, w)) * std::sqrt(dot(u, u));
        if (!(lengths > 0.0f)) {
            continue;
        }
        const float cosine = dot(w, u) / lengths;
        const float steering = sign[k] * -joint.target; // the same s for both joints
        out.turn[k] = sign[k] * cosine;
        out.deflection[k] = out.turn[k] - steering;
        out.touching[k] = ForceFeedback::treadTouches(world, *wheel, up);
        if (!out.touching[k]) {
            continue;
        }
        // Each wheel carries half the steering: one wheel alone on the
        // ground gives half of what both give.
        out.load += 0.5f * loadGain * out.deflection[k];
        out.centring -= 0.5f * centringGain * speedShare * out.turn[k];
    }
    out.force = clampForce(out.load + out.centring);
    return out.force;
}

bool ForceFeedback::treadTouches(PhysicsWorld& world, const Wheel& wheel, const Vec3& up) {
    const Vec3* positions = world.positions();
    const Terrain& ground = world.terrain();
    const Vec3 middle = (positions[wheel.hubA] + positions[wheel.hubB]) * 0.5f;
    for (int k = 0; k < wheel.rimCount; ++k) {
        const Vec3& p = positions[wheel.rim[k]];
        const Vec3 spoke = p - middle;
        const float length = std::sqrt(dot(spoke, spoke));
        if (!(dot(spoke, up) < -treadCosine * length)) {
            continue;
        }
        // The tread meets the ground from above: a wheel lying flat (the
        // truck on its side) touches it with its face, not its tread.
        Vec3 normal;
        if (ground.query(p, &normal, nullptr) < contactReach &&
            dot(spoke, normal) < -treadCosine * length) {
            return true;
        }
    }
    return false;
}

float ForceFeedback::follow(float target, float seconds) {
    target = clampForce(target);
    const float step = maxSlew * (seconds > 0.0f ? seconds : 0.0f);
    if (target > sent + step) {
        sent += step;
    } else if (target < sent - step) {
        sent -= step;
    } else {
        sent = target;
    }
    sent = clampForce(sent);
    return sent;
}
