// DeviceFeedback: the frame hook that feeds the pad's motors and the wheel.
#include "app/input/DeviceFeedback.h"

#include "app/TruckApp.h"
#include "app/input/GamePad.h"
#include "physics/PhysicsWorld.h"

void DeviceFeedback::stop(GamePad& pad) {
    if (rumbleSignal.stop()) {
        pad.rumble(0, 0, 0);
    }
    wheelFeedback.stop();
    haptic.stop();
}

void DeviceFeedback::frame(TruckApp& app, GamePad& pad, double now, bool focused) {
    if (!pad.started() || app.drivenWorld() == nullptr) {
        return;
    }
    haptic.follow(pad.steeringJoystick());
    const bool interrupted = app.timeControl.paused() || app.drivenWorld() != lastWorld ||
                             app.simTime < lastSimTime || !focused;
    lastWorld = app.drivenWorld();
    lastSimTime = app.simTime;
    if (interrupted) {
        stop(pad);
        lastForceTime = now;
        return;
    }
    PhysicsWorld& world = *app.drivenWorld();
    const Mat4 body = app.bodyTransform();
    const Vec3 up = normalized(body.transformVector(Vec3(0.0f, 1.0f, 0.0f)));
    const Vec3 velocity = app.chassisVelocity();
    if (rumbleEnabled && pad.connected()) {
        rumbleSignal.frame(Rumble::impactLevel(world.peakContactImpulse()),
                           Rumble::roughLevel(Rumble::axleSpeed(world, up, velocity)));
        Rumble::Request request;
        if (rumbleSignal.due(now, &request)) {
            pad.rumble(request.low, request.high, request.durationMs);
        }
    }
    if (haptic.ready()) {
        const float target = ForceFeedback::compute(world, up, velocity);
        const float seconds = lastForceTime < 0.0 ? 0.0f : static_cast<float>(now - lastForceTime);
        haptic.send(wheelFeedback.follow(target, seconds));
        lastForceTime = now;
    }
}
