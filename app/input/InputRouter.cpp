// InputRouter: recording and forwarding the devices' events.
#include "app/input/InputRouter.h"

#include "app/record/RecordingWriter.h"
#include "app/TruckApp.h"

void InputRouter::attach(TruckApp* app, RecordingWriter* writer, bool ignoreDevices) {
    application = app;
    recorder = writer;
    ignoring = ignoreDevices;
}

void InputRouter::deliver(const InputEvent& event) {
    if (ignoring || application == nullptr) {
        return;
    }
    if (recorder != nullptr) {
        recorder->input(event);
    }
    application->input(event);
}
