// libFuzzer target for the recording reader and the key-script parser: the
// bytes are read as a recording and, as text, as a script. What either
// accepts is played to its end into an application that has loaded nothing
// (its asset folder does not exist), so every event they keep is one the
// application takes safely, and the frame times a replay waits for never go
// back.
#include "app/record/KeyScript.h"
#include "app/record/Recording.h"
#include "app/TruckApp.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    static TruckApp* app = nullptr;
    if (app == nullptr) {
        app = new TruckApp();
        app->setAssetDirectory("/nonexistent-dravonel-fuzz/");
    }
    Recording recording;
    if (recording.parse(text, "fuzz.txt")) {
        float upcoming = 0.0f;
        float previous = 0.0f;
        float time = 0.0f;
        while (recording.upcomingFrameTime(&upcoming)) {
            if (!recording.nextFrame(app, &time) || time != upcoming || time < previous) {
                __builtin_trap();
            }
            previous = time;
        }
        recording.nextFrame(app, &time);
    }
    KeyScript script;
    if (script.parse(text)) {
        script.sendUntil(1.0e30, app);
    }
    return 0;
}
