// The per-frame path allocates nothing: polling the gamepad, advancing the
// truck (ramps from keys and analog values, drive, dust, physics step), the
// rigid fits with their decompositions, the cameras, the history's moments,
// rewinds and held Backspace, and drawing make no call to operator new. The test program's global
// operator new counts its calls.
#include "app/TruckApp.h"
#include "app/input/GamePad.h"
#include "app/input/InputRouter.h"
#include "app/world/MapFile.h"
#include "app/world/TruckPlacement.h"
#include "physics/PhysicsWorld.h"
#include "render/Renderer.h"
#include "scene/GroundPatch.h"
#include "tests/support/GlContext.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> newCalls{0};
}

void* operator new(std::size_t size) {
    ++newCalls;
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    ++newCalls;
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    ++newCalls;
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    ++newCalls;
    return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

TEST(FrameAllocation, AdvancingAndFittingTheTruckAllocateNothing) {
    TruckApp app;
    app.setAssetDirectory(DRAVONEL_ASSET_DIR);
    ASSERT_TRUE(app.initSimulation()) << app.failureReason();
    // A pad's subsystem polled every frame (no pad is plugged in), and
    // analog values given through the router as a pad gives them.
    GamePad pad;
    pad.start();
    InputRouter router;
    router.attach(&app, nullptr, false);
    float t = 0.0f;
    const int keys[4] = {357, 358, 32, 356};
    long advanceCalls = 0;
    long fitCalls = 0;
    for (int k = 0; k < 240; ++k) {
        if (k % 60 == 0) {
            app.key(keys[(k / 60) % 4], true);
        }
        t += 1.0f / 60.0f;
        long before = newCalls.load();
        if (k % 20 == 10) {
            const AnalogControl control = static_cast<AnalogControl>(k / 20 % analogControlCount);
            router.deliver(InputEvent::makeAnalog(control, 0.25f * static_cast<float>(k % 3)));
        }
        pad.poll(router, app);
        // Back in time: a scripted rewind, then Backspace held for a while.
        if (k == 200) {
            router.deliver(InputEvent::makeRewind(1.3f));
        }
        if (k == 210 || k == 220) {
            router.key(8, k == 210);
        }
        app.advance(t);
        advanceCalls += newCalls.load() - before;
        before = newCalls.load();
        app.bodyTransform();
        app.wheelTransform(k % 4);
        app.setupCamera(t);
        fitCalls += newCalls.load() - before;
    }
    EXPECT_EQ(advanceCalls, 0);
    // Three fits a frame (body, one wheel, the camera's body fit), none on the heap.
    EXPECT_EQ(fitCalls, 0);
}

TEST(FrameAllocation, DrawingAFrameAllocatesNothing) {
    ASSERT_TRUE(requireGlContext());
    // The default world and a loaded map, whose ground window moves with the
    // eye (refilled in place) as the truck drives.
    MapFile dunes;
    ASSERT_TRUE(dunes.load(DRAVONEL_ASSET_DIR "/maps/dunes.map")) << dunes.failureReason();
    // And the default world with damage on, whose body meshes are rebuilt
    // from the particles every frame.
    const MapFile* const maps[3] = {nullptr, &dunes, nullptr};
    for (int run = 0; run < 3; ++run) {
        const MapFile* map = maps[run];
        SCOPED_TRACE(map ? "map" : (run == 2 ? "damage" : "default world"));
        resetGlState();
        Renderer renderer;
        TruckApp app;
        app.renderer = &renderer;
        app.setAssetDirectory(DRAVONEL_ASSET_DIR);
        app.setMap(map);
        app.damage = run == 2;
        ASSERT_TRUE(app.init()) << app.failureReason();
        // Mid-map, where the window is not held at an edge.
        if (map != nullptr) {
            ASSERT_TRUE(placeTruck(*app.world, 0.0f, 0.0f, 0.0f, 0.2f));
        }
        // Every view and display toggle on, the overlay and its help too, at
        // a quarter speed, so that every pass is drawn.
        app.key(262, true);
        app.key(264, true);
        app.key(357, true);
        app.hud.visible = true;
        app.key('h', true);
        app.key('[', true);
        app.key('[', false);
        app.key('[', true);
        // The GL driver compiles its own code for each new combination of state
        // the first time it meets it; one round of every camera settles it.
        float t = 0.0f;
        long perRound[2] = {0, 0};
        int refills = 0;
        for (int round = 0; round < 2; ++round) {
            const long before = newCalls.load();
            for (int camera = 257; camera <= 260; ++camera) {
                app.key(camera, true);
                for (int k = 0; k < 10; ++k) {
                    t += 1.0f / 60.0f;
                    const int corner = app.groundPatch ? app.groundPatch->firstJ : 0;
                    app.frame(t);
                    refills += app.groundPatch && app.groundPatch->firstJ != corner ? 1 : 0;
                }
            }
            perRound[round] = newCalls.load() - before;
        }
        EXPECT_EQ(perRound[1], 0);
        EXPECT_EQ(app.deformingBody != nullptr, run == 2);
        if (map != nullptr) {
            EXPECT_GT(refills, 2) << "the ground window never followed the truck";
        }
    }
}

} // namespace
