// libFuzzer target for the saved-state reader: any bytes are taken as a
// state file, and, past the file's own head and sum, as a moment with this
// truck's stamps, so that the fuzzer reaches every check of its values. A
// refusal says why in one line and leaves the application as it was; what
// is accepted drives on for a few frames.
#include "app/TruckApp.h"
#include "app/history/AppMoment.h"
#include "app/history/StateFile.h"
#include "physics/PhysicsWorld.h"
#include "physics/PositionHash.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {
// The bytes of a state file's head before the moment.
const size_t fileHead = 48;

uint64_t stateHash(TruckApp& app) {
    return positionHash(app.world->positions(), app.world->particleCount()) ^
           (static_cast<uint64_t>(app.simTime * 1000.0f) << 1);
}

void driveOn(TruckApp& app) {
    const double start = app.timeControl.lastFrameTime() + app.timelineOffset;
    for (int k = 1; k <= 3; ++k) {
        app.advance(static_cast<float>(start + k / 60.0));
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TruckApp* app = nullptr;
    if (app == nullptr) {
        app = new TruckApp();
        app->historySeconds = 2.0;
        app->setAssetDirectory(DRAVONEL_ASSET_DIR);
        if (!app->initSimulation()) {
            __builtin_trap();
        }
    }
    StateFile file;
    const uint64_t before = stateHash(*app);
    if (file.parse(*app, data, size, "fuzz.state")) {
        driveOn(*app);
    } else {
        const char* reason = file.failureReason();
        if (reason[0] == '\0' || std::strchr(reason, '\n') != nullptr ||
            stateHash(*app) != before) {
            __builtin_trap();
        }
    }
    if (size > fileHead + 16) {
        std::vector<unsigned char> moment(data + fileHead, data + size);
        std::memcpy(moment.data(), &app->modelHash, 8);
        std::memcpy(moment.data() + 8, &app->groundHash, 8);
        const uint64_t unchanged = stateHash(*app);
        if (AppMoment::restore(*app, moment.data(), moment.size())) {
            driveOn(*app);
        } else if (stateHash(*app) != unchanged) {
            __builtin_trap();
        }
    }
    return 0;
}
