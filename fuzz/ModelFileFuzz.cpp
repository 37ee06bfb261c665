// libFuzzer target for the model-file reader: any bytes must load cleanly or
// be refused with a reason, and an accepted model must survive a few steps
// (with damage on too, when it gives damage limits);
// a small one must also go through the model check, whose report always ends
// in a verdict.
#include "physics/ModelCheck.h"
#include "physics/PhysicsWorld.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static PhysicsWorld* world = new PhysicsWorld(); // the terrain is built once
    const bool loaded =
        world->loadModelFromText(reinterpret_cast<const char*>(data), size, "Modell.txt");
    if (!loaded) {
        // A refusal always says why, in one bounded line.
        const char* reason = world->failureReason();
        if (reason[0] == '\0' || std::strchr(reason, '\n') != nullptr ||
            world->particleCount() != 0 || world->positions() != nullptr) {
            __builtin_trap();
        }
        return 0;
    }
    // Keep the work per input small: a large accepted model steps once.
    const int milliseconds = world->particleCount() + world->springCount() > 10000 ? 0 : 1;
    world->step(milliseconds);
    // A model with damage limits steps on with damage on: the law, breaks
    // and torn joints must keep every value sound too.
    if (world->hasDamageLimits()) {
        world->setDamage(true);
        world->step(milliseconds);
    }
    // The check settles the model for 3 s on a flattened ground: on a world
    // of its own, and only for small models.
    if (world->particleCount() + world->springCount() <= 64) {
        static PhysicsWorld* checked = new PhysicsWorld();
        if (!checked->loadModelFromText(reinterpret_cast<const char*>(data), size, "Modell.txt")) {
            __builtin_trap();
        }
        ModelCheck check;
        const bool usable = check.run(*checked, ModelCheck::Needs());
        const std::string& report = check.report();
        const char* verdict = usable ? "\nusable" : "\nnot usable: ";
        if (report.empty() || report.back() != '\n' || report.find(verdict) == std::string::npos) {
            __builtin_trap();
        }
    }
    return 0;
}
