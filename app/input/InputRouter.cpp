// InputRouter: recording and forwarding the devices' events.
#include "app/input/InputRouter.h"

#include "app/record/RecordingWriter.h"
#include "app/TruckApp.h"

void InputRouter::attach(TruckApp* app, RecordingWriter* writer, bool ignoreDevices) {
    application = app;
    recorder = writer;
    ignoring = ignoreDevices;
}

bool isViewKey(int code) {
    const int f1 = 257;
    const int f9 = 265;
    const int f12 = 268;
    return (code >= f1 && code <= f9) || code == f12 || code == 'h' || code == 'q' || code == 'e';
}

void InputRouter::deliver(const InputEvent& event) {
    if (application == nullptr) {
        return;
    }
    if (ignoring) {
        if (viewKeysPass && event.kind == InputKind::key && isViewKey(event.code)) {
            application->input(event);
        }
        return;
    }
    if (recorder != nullptr) {
        recorder->input(event);
    }
    application->input(event);
}
