// InputRouter: recording and forwarding the devices' events.
#include "app/input/InputRouter.h"

#include "app/TruckApp.h"
#include "app/record/RecordingWriter.h"

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
        if (event.kind == InputKind::key) {
            // A replay's own keys (its timeline) go to the hook; the keys
            // that only change the view still reach the application.
            if (ignoredKeys != nullptr) {
                ignoredKeys(event.code, event.down);
            }
            if (viewKeysPass && isViewKey(event.code)) {
                application->input(event);
            }
        }
        return;
    }
    if (recorder != nullptr) {
        recorder->input(event);
    }
    application->input(event);
}
