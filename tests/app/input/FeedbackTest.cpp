// ForceFeedback and Rumble on the real truck, driven headless: the force on
// the steering wheel pulls opposite ways for impacts on the left and the
// right front wheel, is zero with the front wheels in the air and on the
// roof, never exceeds its clamp and follows its rate limit; the rumble
// levels stay at zero while the truck rests or rolls on smooth ground and
// rise on a wall crash, and the requests keep their pace. The window's
// focus is asked of the real X server.
#include "app/input/ForceFeedback.h"
#include "app/input/Rumble.h"
#include "app/input/WindowFocus.h"
#include "app/world/MapFile.h"
#include "physics/PhysicsWorld.h"
#include "tests/support/GlContext.h"
#include "tests/support/TruckDriver.h"

#include <gtest/gtest.h>
// After gtest: Xlib's macros (None among them) would break its templates.
#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

const char* const assetDir = DRAVONEL_ASSET_DIR;

// A flat 64 m square with a block 5 m high ahead of the truck: across the
// whole width (side 0), or only left (-1) or right (+1) of the truck's
// middle, so that one front wheel strikes its corner.
bool blockMap(MapFile& map, int side) {
    const char text[] = "dravonel map 1\nheightmap block.png\nspacing 1\nheight 10\n"
                        "start 32 44 0\n";
    if (!map.parse(text, std::strlen(text), "block.map", "")) {
        return false;
    }
    const int n = 65;
    std::vector<float> levels(n * n, 0.0f);
    for (int j = 0; j < 36; ++j) {
        for (int i = 0; i < n; ++i) {
            const bool inside = side == 0 || (side < 0 ? i <= 31 : i >= 33);
            levels[j * n + i] = inside ? 0.5f : 0.0f;
        }
    }
    return map.buildTerrain(levels.data(), n, n, "block.png");
}

Vec3 bodyUp(const TruckDriver& driver) {
    return driver.pose().up;
}

float force(TruckDriver& driver, ForceFeedback::Parts* parts = nullptr) {
    return ForceFeedback::compute(*driver.app.world, bodyUp(driver), driver.app.chassisVelocity(),
                                  parts);
}

// Holds both steering joints a quarter of full lock off their targets, as
// the frame update would set them, without stepping: the joints' error the
// force reads.
void misalignSteering(TruckDriver& driver) {
    driver.app.world->angleJoints()[0].setTarget(0.15f);
    driver.app.world->angleJoints()[1].setTarget(-0.15f);
}

// Moves every particle by `offset`, m.
void shift(TruckDriver& driver, Vec3 offset) {
    Vec3* positions = driver.app.world->positions();
    for (int i = 0; i < driver.app.world->particleCount(); ++i) {
        positions[i] = positions[i] + offset;
    }
}

// Waits (up to 5 s) until the X server shows the window; false if it never
// does.
bool waitUntilViewable(Display* display, Window window) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        glutMainLoopEvent();
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, window, &attributes) != 0 &&
            attributes.map_state == IsViewable) {
            return true;
        }
    }
    return false;
}

} // namespace

TEST(WindowFocus, OnTheWindowInsideItOrAroundItButNotElsewhere) {
    ASSERT_TRUE(requireGlContext());
    Display* display = glXGetCurrentDisplay();
    ASSERT_NE(display, nullptr);
    const Window ours = static_cast<Window>(glXGetCurrentDrawable());
    ASSERT_TRUE(waitUntilViewable(display, ours));
    const Window root = DefaultRootWindow(display);
    const Window other = XCreateSimpleWindow(display, root, 0, 0, 16, 16, 0, 0, 0);
    const Window inside = XCreateSimpleWindow(display, ours, 0, 0, 16, 16, 0, 0, 0);
    XMapWindow(display, other);
    XMapWindow(display, inside);
    ASSERT_TRUE(waitUntilViewable(display, other));
    ASSERT_TRUE(waitUntilViewable(display, inside));
    const auto focusOn = [display](Window window) {
        XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
        XSync(display, False);
    };
    WindowFocus focus;
    focusOn(ours);
    EXPECT_TRUE(focus.focused(0.0));
    focusOn(other);
    EXPECT_TRUE(focus.focused(0.05)) << "asked again only after its interval";
    EXPECT_FALSE(focus.focused(0.05 + WindowFocus::interval));
    focusOn(inside);
    EXPECT_TRUE(focus.focused(1.0));
    focusOn(other);
    EXPECT_FALSE(focus.focused(2.0));
    focusOn(root);
    EXPECT_TRUE(focus.focused(3.0)) << "the root holds every window";
    focusOn(PointerRoot);
    EXPECT_TRUE(focus.focused(4.0));
    XDestroyWindow(display, inside);
    XDestroyWindow(display, other);
    XSync(display, False);
}

TEST(ForceFeedback, ImpactsOnTheLeftAndRightFrontPullOppositeWays) {
    float extreme[2] = {0.0f, 0.0f};
    for (int side : {-1, 1}) {
        MapFile map;
        ASSERT_TRUE(blockMap(map, side)) << map.failureReason();
        TruckDriver driver;
        driver.app.setMap(&map);
        ASSERT_TRUE(driver.load(assetDir)) << driver.app.failureReason();
        driver.press(keyCodeUp);
        double impact = -1.0;
        float lowest = 0.0f;
        float highest = 0.0f;
        driver.run(5.0, [&] {
            ForceFeedback::Parts parts;
            const float f = force(driver, &parts);
            ASSERT_LE(std::fabs(f), ForceFeedback::maxForce);
            if (impact < 0.0 && driver.app.world->peakContactImpulse() > Rumble::impactFloor) {
                impact = driver.time();
            }
            if (impact >= 0.0 && driver.time() < impact + 0.3) {
                lowest = std::min(lowest, f);
                highest = std::max(highest, f);
            }
        });
        ASSERT_GE(impact, 0.0) << "side " << side << ": the block was never hit";
        // The struck wheel is pushed back, so it turns towards the block and
        // the wheel pulls that way: left negative, right positive.
        extreme[side < 0 ? 0 : 1] = -lowest > highest ? lowest : highest;
    }
    EXPECT_LT(extreme[0], -0.2f);
    EXPECT_GT(extreme[1], 0.2f);
}

TEST(ForceFeedback, ZeroWithTheFrontWheelsInTheAirOnTheRoofOrASideAndClamped) {
    TruckDriver driver;
    ASSERT_TRUE(driver.load(assetDir));
    driver.run(1.0);
    // On its wheels the misaligned joints give a force, the clamped sum of
    // the two wheels' shares: a quarter of lock is 2.5 * 0.15 each, half the
    // clamp less what the slow centring takes.
    misalignSteering(driver);
    ForceFeedback::Parts parts;
    const float standing = force(driver, &parts);
    EXPECT_TRUE(parts.touching[0] && parts.touching[1]);
    EXPECT_LT(standing, -0.3f) << "the targets lie right of the wheels: they are pulled left";
    EXPECT_NEAR(parts.load, -ForceFeedback::loadGain * 0.15f, 0.05f);

    // Lifted 1.5 m: nothing, however far the joints are off.
    shift(driver, Vec3(0.0f, 1.5f, 0.0f));
    EXPECT_EQ(force(driver, &parts), 0.0f);
    EXPECT_FALSE(parts.touching[0] || parts.touching[1]);
    EXPECT_NE(parts.deflection[0], 0.0f);
    shift(driver, Vec3(0.0f, -1.5f, 0.0f));

    // Far past full lock the sum is clamped, the sign kept.
    driver.app.world->angleJoints()[0].setTarget(-3.0f);
    driver.app.world->angleJoints()[1].setTarget(3.0f);
    EXPECT_EQ(force(driver, &parts), ForceFeedback::maxForce);
    EXPECT_GT(parts.load, ForceFeedback::maxForce);

    // Turned over onto its roof (half a turn about the direction of travel)
    // or onto either side (a quarter turn) and settled: nothing is felt
    // while the joints are off or the truck slides. On a side the lower
    // wheels lie flat on the ground, touching it with their faces.
    for (const int quarters : {2, 1, -1}) {
        SCOPED_TRACE(quarters);
        TruckDriver over;
        ASSERT_TRUE(over.load(assetDir));
        Vec3* positions = over.app.world->positions();
        Particle* particles = over.app.world->particles();
        const int count = over.app.world->particleCount();
        const Vec3 centre = over.pose().origin;
        const float c = quarters == 2 ? -1.0f : 0.0f;
        const float s = quarters == 2 ? 0.0f : static_cast<float>(quarters);
        for (int i = 0; i < count; ++i) {
            const Vec3 r = positions[i] - centre;
            positions[i] =
                Vec3(centre.x + c * r.x - s * r.y, centre.y + 2.5f + s * r.x + c * r.y, positions[i].z);
        }
        over.run(2.0);
        EXPECT_GT(over.pose().tiltDegrees, quarters == 2 ? 150.0f : 60.0f) << "not turned over";
        for (int i = 0; i < count; ++i) {
            particles[i].velocity = particles[i].velocity + Vec3(0.0f, 0.0f, -3.0f);
        }
        misalignSteering(over);
        EXPECT_EQ(force(over, &parts), 0.0f);
        EXPECT_FALSE(parts.touching[0] || parts.touching[1]);
    }
}

TEST(ForceFeedback, RateLimitedAndClampedOnTheWayOut) {
    ForceFeedback wheel;
    // 20 per second: 0.2 in 10 ms, then the target; never past the clamp.
    EXPECT_FLOAT_EQ(wheel.follow(0.5f, 0.01f), 0.2f);
    EXPECT_FLOAT_EQ(wheel.follow(0.5f, 0.01f), 0.4f);
    EXPECT_FLOAT_EQ(wheel.follow(0.5f, 0.01f), 0.5f);
    EXPECT_FLOAT_EQ(wheel.follow(4.0f, 1.0f), ForceFeedback::maxForce);
    EXPECT_FLOAT_EQ(wheel.follow(-4.0f, 0.01f), ForceFeedback::maxForce - 0.2f);
    EXPECT_EQ(wheel.follow(std::nanf(""), 1.0f), 0.0f);
    wheel.follow(0.3f, 1.0f);
    wheel.stop();
    EXPECT_EQ(wheel.current(), 0.0f);
}

TEST(Rumble, QuietAtRestAndOnSmoothGroundAndStrongOnAWallCrash) {
    MapFile map;
    ASSERT_TRUE(blockMap(map, 0)) << map.failureReason();
    TruckDriver driver;
    driver.app.setMap(&map);
    ASSERT_TRUE(driver.load(assetDir)) << driver.app.failureReason();
    float low = 0.0f;
    float high = 0.0f;
    const auto levels = [&] {
        const Vec3 up = bodyUp(driver);
        low = std::max(low, Rumble::impactLevel(driver.app.world->peakContactImpulse()));
        high = std::max(high, Rumble::roughLevel(Rumble::axleSpeed(*driver.app.world, up,
                                                                   driver.app.chassisVelocity())));
    };
    driver.run(1.5);
    driver.run(1.0, levels);
    EXPECT_EQ(low, 0.0f) << "at rest";
    EXPECT_EQ(high, 0.0f) << "at rest";
    driver.press(keyCodeUp);
    driver.run(1.5, levels);
    EXPECT_EQ(low, 0.0f) << "on flat ground";
    EXPECT_EQ(high, 0.0f) << "on flat ground";
    driver.run(3.0, levels);
    EXPECT_EQ(low, 1.0f) << "into the block";
    EXPECT_GT(high, 0.5f) << "into the block";
}

TEST(Rumble, RequestsAtOnceThenEveryIntervalAndSilenceWhenTheSignalEnds) {
    Rumble rumble;
    Rumble::Request request;
    EXPECT_FALSE(rumble.due(0.0, &request));
    rumble.frame(0.0f, 0.0f);
    EXPECT_FALSE(rumble.due(0.01, &request)) << "no signal, nothing running: nothing to send";
    rumble.frame(1.0f, 0.5f);
    ASSERT_TRUE(rumble.due(0.02, &request)) << "a signal goes out at once";
    EXPECT_EQ(request.low, 65535);
    EXPECT_EQ(request.high, 32768);
    EXPECT_EQ(request.durationMs, 2 * std::lround(Rumble::interval * 1000.0));
    // Within the interval the strongest frame waits for the next request.
    rumble.frame(0.2f, 0.0f);
    EXPECT_FALSE(rumble.due(0.04, &request));
    rumble.frame(0.1f, 0.3f);
    ASSERT_TRUE(rumble.due(0.02 + Rumble::interval, &request));
    EXPECT_EQ(request.low, std::lround(0.2f * 65535.0f));
    EXPECT_EQ(request.high, std::lround(0.3f * 65535.0f));
    // An interval without a signal: silence, once.
    ASSERT_TRUE(rumble.due(0.02 + 2.0 * Rumble::interval, &request));
    EXPECT_EQ(request.low, 0);
    EXPECT_EQ(request.high, 0);
    EXPECT_FALSE(rumble.running());
    EXPECT_FALSE(rumble.due(1.0, &request));
    // Stopping asks for silence only when the motors may be running.
    EXPECT_FALSE(rumble.stop());
    rumble.frame(0.5f, 0.0f);
    ASSERT_TRUE(rumble.due(2.0, &request));
    EXPECT_TRUE(rumble.stop());
    EXPECT_FALSE(rumble.due(2.01, &request)) << "a stop drops what was pending";

    EXPECT_EQ(Rumble::impactLevel(Rumble::impactFloor), 0.0f);
    EXPECT_EQ(Rumble::impactLevel(Rumble::impactFull), 1.0f);
    EXPECT_EQ(Rumble::impactLevel(std::nanf("")), 0.0f);
    EXPECT_EQ(Rumble::roughLevel(100.0f), 1.0f);
}
