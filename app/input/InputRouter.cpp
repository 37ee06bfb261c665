// InputRouter: recording and forwarding the devices' events.
#include "app/input/InputRouter.h"

#include "app/TruckApp.h"
#include "app/record/RecordingWriter.h"

void InputRouter::attach(TruckApp* app, RecordingWriter* writer, bool ignoreDevices) {
    application = app;
    recorder = writer;
    ignoring = ignoreDevices;
}

void InputRouter::deliver(const InputEvent& event) {
    if (ignoring || application == nullptr) {
        if (ignoring && ignoredKeys != nullptr && event.kind == InputKind::key) {
            ignoredKeys(event.code, event.down);
        }
        return;
    }
    if (recorder != nullptr) {
        recorder->input(event);
    }
    application->input(event);
}
