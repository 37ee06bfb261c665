// GamePad with SDL's virtual joystick: a pad of the game-controller type with
// the standard axes and buttons is attached in this process, its axes moved
// and its buttons pressed, and the truck (loaded headless) must steer, drive,
// brake, look and change camera as the mapping says, let go of everything
// when the pad is pulled out, pick the pad up again, and replay what it did
// from the recording to the same positions hash. No real device, window or
// display is needed.
#include "app/input/GamePad.h"
#include "app/input/InputRouter.h"
#include "app/record/Recording.h"
#include "app/record/RecordingWriter.h"
#include "physics/PhysicsWorld.h"
#include "physics/PositionHash.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TruckDriver.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>

namespace {

const char* const assetDir = DRAVONEL_ASSET_DIR;
// The virtual pad's USB ids; SDL is told to take no other device for a pad,
// so a pad plugged into the machine running the tests stays out of them.
const Uint16 padVendor = 0x1209;
const Uint16 padProduct = 0x7064;
const int steer = static_cast<int>(AnalogControl::steer);
const int throttle = static_cast<int>(AnalogControl::throttle);
const int brake = static_cast<int>(AnalogControl::brake);

// A virtual game controller with SDL's standard axes and buttons.
class VirtualPad {
  public:
    ~VirtualPad() { detach(); }
    bool attach() {
        SDL_VirtualJoystickDesc desc;
        SDL_zero(desc);
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        desc.naxes = SDL_CONTROLLER_AXIS_MAX;
        desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
        desc.vendor_id = padVendor;
        desc.product_id = padProduct;
        desc.name = "Dravonel test pad";
        device = SDL_JoystickAttachVirtualEx(&desc);
        joystick = device >= 0 ? SDL_JoystickOpen(device) : nullptr;
        return joystick != nullptr;
    }
    void detach() {
        if (joystick != nullptr) {
            SDL_JoystickClose(joystick);
            SDL_JoystickDetachVirtual(device);
            joystick = nullptr;
        }
    }
    // Raw values as a pad reports them: sticks -32768..32767, triggers
    // 0..32767 once SDL's mapping has placed them.
    void axis(SDL_GameControllerAxis which, int value) {
        SDL_JoystickSetVirtualAxis(joystick, which, static_cast<Sint16>(value));
    }
    // A trigger pulled by `fraction` of its travel.
    void trigger(SDL_GameControllerAxis which, float fraction) {
        axis(which, static_cast<int>(std::lround(-32768.0 + 65535.0 * fraction)));
    }
    void button(SDL_GameControllerButton which, bool down) {
        SDL_JoystickSetVirtualButton(joystick, which, down ? 1 : 0);
    }
    int instance() const { return SDL_JoystickInstanceID(joystick); }

  private:
    int device = -1;
    SDL_Joystick* joystick = nullptr;
};

// Polls the pad and advances the truck at 60 frames per second, writing the
// frames and the pad's events to a recording as the program does.
class PadDrive : public ::testing::Test {
  protected:
    void SetUp() override {
        SDL_SetHint(SDL_HINT_GAMECONTROLLER_IGNORE_DEVICES_EXCEPT, "0x1209/0x7064");
        ASSERT_TRUE(pad.start()) << pad.failureReason();
        ASSERT_TRUE(driver.load(assetDir)) << driver.app.failureReason();
        ASSERT_TRUE(
            recorder.open(recordingPath().c_str(), driver.app.modelHash, driver.app.groundHash))
            << recorder.failureReason();
        router.attach(&driver.app, &recorder, false);
    }
    std::string recordingPath() const { return folder.file("pad.rec"); }

    void run(double seconds) {
        const long frames = std::lround(seconds * TruckDriver::framesPerSecond);
        for (long k = 0; k < frames; ++k) {
            pad.poll(router, driver.app);
            ++frame;
            const float time =
                static_cast<float>(static_cast<double>(frame) / TruckDriver::framesPerSecond);
            recorder.frame(time);
            driver.app.advance(time);
        }
    }
    // One poll without a frame: what the pad sent shows at once.
    void poll() { pad.poll(router, driver.app); }

    TempFolder folder;
    GamePad pad;
    VirtualPad virtualPad;
    TruckDriver driver;
    RecordingWriter recorder;
    InputRouter router;
    long frame = 0;
};

TEST(GamePadAxis, DeadZoneAndFullDeflection) {
    EXPECT_EQ(GamePad::shapeAxis(0), 0.0f);
    EXPECT_EQ(GamePad::shapeAxis(3276), 0.0f);
    EXPECT_EQ(GamePad::shapeAxis(-3276), 0.0f);
    EXPECT_GT(GamePad::shapeAxis(3500), 0.0f);
    EXPECT_LT(GamePad::shapeAxis(3500), 0.01f);
    EXPECT_NEAR(GamePad::shapeAxis(16384), 0.4445f, 1e-3f);
    EXPECT_NEAR(GamePad::shapeAxis(-16384), -0.4445f, 1e-3f);
    EXPECT_EQ(GamePad::shapeAxis(32767), 1.0f);
    EXPECT_EQ(GamePad::shapeAxis(-32767), -1.0f);
    EXPECT_EQ(GamePad::shapeAxis(-32768), -1.0f);
}

TEST_F(PadDrive, SteersDrivesBrakesLetsGoAndReplays) {
    ASSERT_TRUE(virtualPad.attach()) << SDL_GetError();
    virtualPad.trigger(SDL_CONTROLLER_AXIS_TRIGGERLEFT, 0.0f);
    virtualPad.trigger(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 0.0f);
    // Inside the dead zone: the pad at rest sends nothing at all.
    virtualPad.axis(SDL_CONTROLLER_AXIS_LEFTX, 2500);
    run(1.0);
    ASSERT_TRUE(pad.connected());
    EXPECT_EQ(pad.instance(), virtualPad.instance());
    for (int c = 0; c < analogControlCount; ++c) {
        EXPECT_FALSE(driver.app.analogGiven[c]) << "control " << c;
    }

    // Right trigger: forward, the throttle ramp at the key's full value.
    const BodyPose start = driver.pose();
    virtualPad.trigger(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 1.0f);
    run(3.0);
    EXPECT_EQ(driver.app.analogValue[throttle], 1.0f);
    EXPECT_EQ(driver.app.throttleRamp.value(), 1.0f);
    const BodyPose driven = driver.pose();
    EXPECT_GT(dot(driven.origin - start.origin, start.forward), 5.0f);

    // Half the stick's travel to the right steers a part of the way; the
    // whole of it is the ramp's full lock, and the truck turns right.
    virtualPad.axis(SDL_CONTROLLER_AXIS_LEFTX, 16384);
    run(0.5);
    EXPECT_NEAR(driver.app.analogValue[steer], 0.4445f, 1e-3f);
    EXPECT_NEAR(driver.app.steeringRamp.value(), 0.4445f * 0.6f, 1e-3f);
    virtualPad.axis(SDL_CONTROLLER_AXIS_LEFTX, 32767);
    run(1.0);
    EXPECT_EQ(driver.app.steeringRamp.value(), 0.6f);
    EXPECT_GT(driver.pose().headingDegrees - driven.headingDegrees, 5.0f);
    virtualPad.axis(SDL_CONTROLLER_AXIS_LEFTX, -32768);
    poll();
    EXPECT_EQ(driver.app.analogValue[steer], -1.0f);
    virtualPad.axis(SDL_CONTROLLER_AXIS_LEFTX, 0);

    // Left trigger against the right one cancels it; alone it reverses.
    virtualPad.trigger(SDL_CONTROLLER_AXIS_TRIGGERLEFT, 1.0f);
    poll();
    EXPECT_EQ(driver.app.analogValue[throttle], 0.0f);
    virtualPad.trigger(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 0.0f);
    poll();
    EXPECT_EQ(driver.app.analogValue[throttle], -1.0f);
    virtualPad.trigger(SDL_CONTROLLER_AXIS_TRIGGERLEFT, 0.0f);

    // A brakes as the space key does.
    const float rolling = driver.chassisSpeed();
    virtualPad.button(SDL_CONTROLLER_BUTTON_A, true);
    run(2.5);
    EXPECT_NE(driver.app.keys[32], 0);
    EXPECT_EQ(driver.app.brakeRamp.value(), 1.0f);
    EXPECT_FALSE(driver.app.analogGiven[brake]);
    EXPECT_LT(driver.chassisSpeed(), 0.5f * rolling) << "from " << rolling << " m/s";

    // Shoulders look left and right (both: rear); Back steps the camera on,
    // once per press; B holds the recover key; the right stick is kept.
    virtualPad.button(SDL_CONTROLLER_BUTTON_LEFTSHOULDER, true);
    poll();
    EXPECT_EQ(driver.app.lookMode, 1);
    virtualPad.button(SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, true);
    poll();
    EXPECT_EQ(driver.app.lookMode, 2);
    for (int expected : {1, 2, 3, 4, 0, 1}) {
        virtualPad.button(SDL_CONTROLLER_BUTTON_BACK, true);
        poll();
        EXPECT_EQ(driver.app.camera, expected);
        virtualPad.button(SDL_CONTROLLER_BUTTON_BACK, false);
        poll();
    }
    virtualPad.button(SDL_CONTROLLER_BUTTON_B, true);
    virtualPad.axis(SDL_CONTROLLER_AXIS_RIGHTX, 32767);
    virtualPad.axis(SDL_CONTROLLER_AXIS_LEFTX, 32767);
    virtualPad.trigger(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 1.0f);
    run(0.5);
    EXPECT_NE(driver.app.keys['r'], 0);
    EXPECT_EQ(pad.orbitStickX(), 1.0f);

    // Pulled out with everything held: every control back to neutral.
    virtualPad.detach();
    poll();
    EXPECT_FALSE(pad.connected());
    for (int c = 0; c < analogControlCount; ++c) {
        EXPECT_EQ(driver.app.analogValue[c], 0.0f) << "control " << c;
    }
    for (int code : {32, int('r'), int('q'), int('e'), 257, 258}) {
        EXPECT_EQ(driver.app.keys[code], 0) << "key " << code;
    }
    EXPECT_EQ(driver.app.lookMode, 0);
    EXPECT_EQ(pad.orbitStickX(), 0.0f);
    run(1.0);
    EXPECT_EQ(driver.app.steeringRamp.value(), 0.0f);
    EXPECT_EQ(driver.app.throttleRamp.value(), 0.0f);
    EXPECT_EQ(driver.app.brakeRamp.value(), 0.0f);

    // Plugged in again it drives again; Start resets as Escape does.
    ASSERT_TRUE(virtualPad.attach()) << SDL_GetError();
    virtualPad.trigger(SDL_CONTROLLER_AXIS_TRIGGERLEFT, 0.0f);
    virtualPad.trigger(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 1.0f);
    run(1.0);
    EXPECT_TRUE(pad.connected());
    EXPECT_EQ(driver.app.analogValue[throttle], 1.0f);
    virtualPad.button(SDL_CONTROLLER_BUTTON_START, true);
    poll();
    EXPECT_NEAR(driver.pose().origin.z, start.origin.z, 0.5f);
    virtualPad.button(SDL_CONTROLLER_BUTTON_START, false);
    run(1.0);

    // The recording holds the pad as analog values and the keys its buttons
    // stand for; played back it ends on the same positions.
    const uint64_t hash =
        positionHash(driver.app.world->positions(), driver.app.world->particleCount());
    ASSERT_TRUE(recorder.finish(hash)) << recorder.failureReason();
    Recording replay;
    ASSERT_TRUE(replay.load(recordingPath().c_str())) << replay.failureReason();
    TruckDriver again;
    ASSERT_TRUE(again.load(assetDir));
    ASSERT_TRUE(replay.matchesModel(again.app.modelHash));
    float time = 0.0f;
    while (replay.nextFrame(&again.app, &time)) {
        again.app.advance(time);
    }
    EXPECT_EQ(positionHash(again.app.world->positions(), again.app.world->particleCount()), hash);

    // While a replay or a scripted screenshot drives, the pad reaches nothing.
    router.attach(&driver.app, nullptr, true);
    virtualPad.trigger(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 0.0f);
    virtualPad.button(SDL_CONTROLLER_BUTTON_A, true);
    poll();
    EXPECT_EQ(driver.app.analogValue[throttle], 1.0f);
    EXPECT_EQ(driver.app.keys[32], 0);
}

} // namespace
