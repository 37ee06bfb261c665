// TruckApp input events: one entry for every kind of input, so that the
// window, scripts and recordings drive the truck through the same calls.
#include "app/TruckApp.h"

#include "app/Truck.h"
#include "app/history/StateFile.h"
#include "physics/PhysicsWorld.h"

void TruckApp::input(const InputEvent& event) {
    if (event.kind == InputKind::rewind) {
        rewind(event.value);
        return;
    }
    history.input(event);
    switch (event.kind) {
    case InputKind::key:
        key(event.code, event.down);
        break;
    case InputKind::grab:
        grabParticle(event.particle, event.target);
        break;
    case InputKind::release:
        releaseParticle();
        break;
    case InputKind::analog:
        setAnalog(event.control, event.value);
        break;
    case InputKind::truck:
        selectTruck(event.particle);
        break;
    case InputKind::rewind:
        break;
    }
}

bool TruckApp::rewind(double seconds) {
    if (history.replaying() || history.empty()) {
        return false;
    }
    return history.landAtClock(*this, clockTime - seconds, history.lastFrameTime());
}

bool TruckApp::saveState() {
    StateFile file;
    if (!file.saveNew(*this)) {
        return fail(file.failureReason());
    }
    ++statesSaved;
    savedStateName = file.savedName();
    savedStateText = "saved " + savedStateName;
    hud.note(savedStateText.c_str(),
             static_cast<float>(timeControl.lastFrameTime() + timelineOffset));
    return true;
}

bool TruckApp::loadState(const char* path) {
    StateFile file;
    if (!file.load(*this, path)) {
        return fail(file.failureReason());
    }
    // The frames' clock starts at 0 where the moment was.
    timelineOffset = -timeControl.lastFrameTime();
    history.allocate(*this, historySeconds);
    return true;
}

void TruckApp::grabParticle(int particle, Vec3 target) {
    Truck& truck = drivenTruck();
    if (truck.world == nullptr || !truck.world->setGrab(particle, target)) {
        return;
    }
    truck.grabbedParticle = particle;
    truck.grabTarget = target;
}

void TruckApp::releaseParticle() {
    Truck& truck = drivenTruck();
    truck.grabbedParticle = -1;
    if (truck.world != nullptr) {
        truck.world->clearGrab();
    }
}

void TruckApp::setAnalog(AnalogControl control, float value) {
    const int k = static_cast<int>(control);
    // Held to the control's range, so that the brake never pulls backwards.
    const float low = analogMinimum(control);
    Truck& truck = drivenTruck();
    truck.analogValue[k] = value < low ? low : (value > 1.0f ? 1.0f : value);
    truck.analogGiven[k] = true;
}
