// GamePad with SDL's virtual joystick: a pad of the game-controller type with
// the standard axes and buttons is attached in this process, its axes moved
// and its buttons pressed, and the truck (loaded headless) must steer, drive,
// brake, look and change camera as the mapping says, let go of everything
// when the pad is pulled out, pick the pad up again, and replay what it did
// from the recording to the same positions hash. The pad's motors record
// what the program asks of them: rumble on a wall crash, silence at rest and
// on pause, and the same drive with and without it. A virtual wheel with
// pedals drives through a mapping file as the keys do. No real device,
// window or display is needed.
#include "app/input/GamePad.h"
#include "app/input/DeviceFeedback.h"
#include "app/input/InputRouter.h"
#include "app/input/WheelMapping.h"
#include "app/record/Recording.h"
#include "app/record/RecordingWriter.h"
#include "app/world/MapFile.h"
#include "physics/PhysicsWorld.h"
#include "physics/PositionHash.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TruckDriver.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const char* const assetDir = DRAVONEL_ASSET_DIR;
// The virtual pad's USB ids; SDL is told to take no other device for a pad,
// so a pad plugged into the machine running the tests stays out of them.
const Uint16 padVendor = 0x1209;
const Uint16 padProduct = 0x7064;
const int steer = static_cast<int>(AnalogControl::steer);
const int throttle = static_cast<int>(AnalogControl::throttle);
const int brake = static_cast<int>(AnalogControl::brake);

// What the program asked of a virtual device's motors, and when (the
// drive's clock when the request came).
struct MotorRequest {
    double time;
    Uint16 low;
    Uint16 high;
};
struct Motors {
    double clock = 0.0;
    std::vector<MotorRequest> requests;
    static int SDLCALL record(void* userdata, Uint16 low, Uint16 high) {
        Motors* motors = static_cast<Motors*>(userdata);
        motors->requests.push_back(MotorRequest{motors->clock, low, high});
        return 0;
    }
};

// A virtual game controller with SDL's standard axes and buttons and two
// motors; or, as a wheel, a joystick of its own kind with three axes and
// four buttons.
class VirtualPad {
  public:
    ~VirtualPad() { detach(); }
    // A wheel with the pad's own ids (`asPad`), so that SDL may take it for a
    // pad once it has a mapping for it.
    bool attach(bool asWheel = false, bool asPad = false) {
        SDL_VirtualJoystickDesc desc;
        SDL_zero(desc);
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = asWheel ? SDL_JOYSTICK_TYPE_WHEEL : SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        desc.naxes = asWheel ? 3 : SDL_CONTROLLER_AXIS_MAX;
        desc.nbuttons = asWheel ? 4 : SDL_CONTROLLER_BUTTON_MAX;
        desc.vendor_id = padVendor;
        desc.product_id = asWheel && !asPad ? padProduct + 1 : padProduct;
        desc.name = asWheel ? "Dravonel test wheel" : "Dravonel test pad";
        desc.userdata = &motors;
        desc.Rumble = Motors::record;
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
    std::string guid() const {
        char text[64];
        SDL_JoystickGetGUIDString(SDL_JoystickGetGUID(joystick), text, sizeof text);
        return text;
    }

    Motors motors;

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

// A flat 64 m square with a wall 5 m high across the way, 8 m ahead.
bool wallMap(MapFile& map) {
    const char text[] = "dravonel map 1\nheightmap wall.png\nspacing 1\nheight 10\n"
                        "start 32 44 0\n";
    if (!map.parse(text, std::strlen(text), "wall.map", "")) {
        return false;
    }
    const int n = 65;
    std::vector<float> levels(n * n, 0.0f);
    for (int k = 0; k < 36 * n; ++k) {
        levels[k] = 0.5f;
    }
    return map.buildTerrain(levels.data(), n, n, "wall.png");
}

TEST_F(PadDrive, RumblesOnAWallCrashStopsAtRestPauseResetAndFocusLossAndChangesNoResult) {
    ASSERT_TRUE(virtualPad.attach()) << SDL_GetError();
    virtualPad.trigger(SDL_CONTROLLER_AXIS_TRIGGERLEFT, 0.0f);
    virtualPad.trigger(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 0.0f);
    MapFile map;
    ASSERT_TRUE(wallMap(map)) << map.failureReason();
    Motors& motors = virtualPad.motors;
    // True when the latest request is silence, sent at `time`.
    const auto silencedAt = [&motors](double time) {
        return !motors.requests.empty() && motors.requests.back().low == 0 &&
               motors.requests.back().high == 0 && motors.requests.back().time == time;
    };
    const auto rumbling = [&motors] {
        return !motors.requests.empty() &&
               (motors.requests.back().low != 0 || motors.requests.back().high != 0);
    };
    // The truck drops onto the ground at the start (felt), Escape resets it
    // while that rumbles; full throttle from 0.5 s to 4 s into the wall. The
    // crash's first rumble pauses the drive for half a second; the first
    // rumble after that loses the window's focus for 6 frames. Then the
    // truck comes to rest. Without feedback (felt false), or with rumble
    // turned off, the same keys at the same frames.
    const int focusFrames = 6;
    const auto drive = [&](bool felt, bool rumble, long* pauseFrame, long* focusFrame,
                           std::vector<float>* speeds) {
        TruckDriver truck;
        truck.app.setMap(&map);
        EXPECT_TRUE(truck.load(assetDir)) << truck.app.failureReason();
        InputRouter input;
        input.attach(&truck.app, nullptr, false);
        DeviceFeedback feedback;
        feedback.rumbleEnabled = rumble;
        const bool finding = felt && rumble;
        for (long k = 1; k <= 10 * TruckDriver::framesPerSecond; ++k) {
            const double time = static_cast<double>(k) / TruckDriver::framesPerSecond;
            if (k == 20) {
                EXPECT_TRUE(!finding || rumbling()) << "the drop is felt";
                input.key(keyCodeEscape, true);
                input.key(keyCodeEscape, false);
            } else if (k == 30) {
                input.key(keyCodeUp, true);
            } else if (k == 240) {
                input.key(keyCodeUp, false);
            }
            if (finding && *pauseFrame < 0 && k > 60 && rumbling() &&
                motors.requests.back().low != 0) {
                *pauseFrame = k;
            }
            if (finding && *pauseFrame > 0 && *focusFrame < 0 && k > *pauseFrame + 33 &&
                rumbling()) {
                *focusFrame = k;
            }
            if (*pauseFrame > 0 && (k == *pauseFrame || k == *pauseFrame + 30)) {
                input.key('p', true);
                input.key('p', false);
            }
            pad.poll(input, truck.app);
            truck.app.advance(static_cast<float>(time));
            motors.clock = time;
            if (felt) {
                const bool focused =
                    *focusFrame < 0 || k < *focusFrame || k >= *focusFrame + focusFrames;
                feedback.frame(truck.app, pad, time, focused);
                if (finding && (k == 20 || k == *pauseFrame || k == *focusFrame)) {
                    EXPECT_TRUE(silencedAt(time)) << "silence at once at frame " << k;
                }
            }
            speeds->push_back(truck.chassisSpeed());
        }
        if (felt) {
            feedback.stop(pad);
        }
        return positionHash(truck.app.world->positions(), truck.app.world->particleCount());
    };
    long pauseFrame = -1;
    long focusFrame = -1;
    std::vector<float> speeds;
    const uint64_t feltHash = drive(true, true, &pauseFrame, &focusFrame, &speeds);
    ASSERT_GT(pauseFrame, 60) << "the crash was not felt";
    ASSERT_GT(focusFrame, pauseFrame) << "nothing was felt after the pause";
    const double frame = 1.0 / TruckDriver::framesPerSecond;
    const double pauseTime = pauseFrame * frame;
    const double focusTime = focusFrame * frame;
    double lastRumble = -1.0;
    Uint16 strongest = 0;
    for (const MotorRequest& r : motors.requests) {
        if (r.low != 0 || r.high != 0) {
            lastRumble = r.time;
            strongest = std::max(strongest, r.low);
            // Paused for 30 frames and unfocused for 6: still on all of them.
            EXPECT_FALSE(r.time > pauseTime && r.time < pauseTime + 29.5 * frame)
                << "paused, at " << r.time;
            EXPECT_FALSE(r.time > focusTime && r.time < focusTime + (focusFrames - 0.5) * frame)
                << "without the focus, at " << r.time;
        }
    }
    EXPECT_GT(strongest, 30000) << "the crash is felt on the low-frequency motor";
    EXPECT_FALSE(rumbling());
    // At rest from the last frame on which the chassis moved faster than
    // 0.3 m/s (about 1 km/h); the motors fall silent within 200 ms of that,
    // by a request for silence, not only when the drive ends.
    size_t rest = speeds.size();
    while (rest > 0 && speeds[rest - 1] < 0.3f) {
        --rest;
    }
    const double restTime = (rest + 1) * frame;
    ASSERT_LT(restTime, 9.0) << "the truck never came to rest";
    double silence = -1.0;
    for (const MotorRequest& r : motors.requests) {
        if (silence < 0.0 && r.time > lastRumble && r.low == 0 && r.high == 0) {
            silence = r.time;
        }
    }
    EXPECT_GT(silence, lastRumble);
    EXPECT_LE(silence, restTime + 0.2) << "at rest from " << restTime << " s";
    // Within one interval (three frames) of the last request.
    EXPECT_LE(silence, lastRumble + 3.5 * frame);

    // With rumble turned off the motors are never asked; with nothing felt
    // at all, or without rumble, the drive ends on the same positions.
    motors.requests.clear();
    std::vector<float> unused;
    EXPECT_EQ(drive(true, false, &pauseFrame, &focusFrame, &unused), feltHash);
    EXPECT_TRUE(motors.requests.empty());
    EXPECT_EQ(drive(false, true, &pauseFrame, &focusFrame, &unused), feltHash);
}

TEST(WheelMappingFile, ReadsAxesButtonsAndRefusesByLine) {
    WheelMapping mapping;
    const char good[] = "# a wheel\r\ndravonel wheel 1\n"
                        "device Dravonel test wheel  \n"
                        "steer axis 0 deadzone 0.1\n"
                        "throttle axis 1 range 32767 -32768\n"
                        "brake axis 2 invert deadzone 0.5  # pedal up at 32767\n"
                        "button 3 down\n";
    ASSERT_TRUE(mapping.parse(good, sizeof(good) - 1, "good.wheel")) << mapping.failureReason();
    EXPECT_EQ(mapping.device, "Dravonel test wheel");
    EXPECT_EQ(mapping.buttonKey[3], keyCodeDown);
    EXPECT_EQ(mapping.buttonKey[0], -1);
    // The steer: ends exact, the middle 10 % of the travel at rest.
    EXPECT_EQ(mapping.value(AnalogControl::steer, -32768), -1.0f);
    EXPECT_EQ(mapping.value(AnalogControl::steer, 32767), 1.0f);
    EXPECT_EQ(mapping.value(AnalogControl::steer, 3000), 0.0f);
    EXPECT_NEAR(mapping.value(AnalogControl::steer, 16384), 0.4445f, 1e-3f);
    // Pedals from their rest (32767) to full (-32768); the brake's first
    // half counts as rest.
    EXPECT_EQ(mapping.value(AnalogControl::throttle, 32767), 0.0f);
    EXPECT_EQ(mapping.value(AnalogControl::throttle, -32768), 1.0f);
    EXPECT_NEAR(mapping.value(AnalogControl::throttle, 0), 0.5f, 1e-4f);
    EXPECT_EQ(mapping.value(AnalogControl::brake, 0), 0.0f);
    EXPECT_NEAR(mapping.value(AnalogControl::brake, -16384), 0.5f, 1e-3f);
    EXPECT_EQ(mapping.value(AnalogControl::brake, -32768), 1.0f);

    const struct {
        const char* text;
        const char* reason;
    } bad[] = {
        {"", "w:0: empty: a wheel mapping starts 'dravonel wheel 1'"},
        {"dravonel map 1\n", "w:1: not a wheel mapping: it starts 'dravonel wheel 1'"},
        {"dravonel wheel 2\n", "w:1: version '2' is not known (1 is)"},
        {"dravonel wheel 1\n", "w:1: no axis is mapped (steer, throttle, brake)"},
        {"dravonel wheel 1\n\nclutch axis 3\n",
         "w:3: unknown setting 'clutch' (steer, throttle, brake, button, device)"},
        {"dravonel wheel 1\nsteer axis 256\n", "w:2: steer needs 'axis N' with N 0..255"},
        {"dravonel wheel 1\nsteer axis x\n", "w:2: steer needs 'axis N' with N 0..255"},
        {"dravonel wheel 1\nsteer axis 0 range 5 5\n", "w:2: the range's two ends are the same"},
        {"dravonel wheel 1\nsteer axis 0 range 0 40000\n",
         "w:2: 'range' is not 'range MIN MAX' (-32768..32767), 'invert' or 'deadzone F' (0..0.9)"},
        {"dravonel wheel 1\nsteer axis 0 deadzone 0.95\n",
         "w:2: 'deadzone' is not 'range MIN MAX' (-32768..32767), 'invert' or 'deadzone F' "
         "(0..0.9)"},
        {"dravonel wheel 1\nsteer axis 0\nsteer axis 1\n", "w:3: steer is mapped twice"},
        {"dravonel wheel 1\nsteer axis 0\nbutton 32 up\n",
         "w:3: 'button' takes a number 0..31 and a key name"},
        {"dravonel wheel 1\nsteer axis 0\nbutton 1 warp\n", "w:3: unknown key 'warp'"},
    };
    for (const auto& b : bad) {
        EXPECT_FALSE(mapping.parse(b.text, std::strlen(b.text), "w")) << b.text;
        EXPECT_EQ(std::string(mapping.failureReason()), b.reason);
    }
    EXPECT_FALSE(mapping.load("/nonexistent/wheel"));
    EXPECT_EQ(std::string(mapping.failureReason()).rfind("/nonexistent/wheel: cannot open", 0), 0u);
}

TEST_F(PadDrive, WheelAndPedalsDriveAsTheKeysDo) {
    const std::string file = folder.file("test.wheel");
    std::FILE* out = std::fopen(file.c_str(), "w");
    ASSERT_NE(out, nullptr);
    std::fputs("dravonel wheel 1\ndevice Dravonel test wheel\nsteer axis 0 deadzone 0.02\n"
               "throttle axis 1 invert\nbrake axis 2 range 32767 -32768\nbutton 3 down\n",
               out);
    std::fclose(out);
    WheelMapping mapping;
    ASSERT_TRUE(mapping.load(file.c_str())) << mapping.failureReason();
    pad.stop();
    pad.setWheelMapping(&mapping);
    ASSERT_TRUE(pad.start());
    VirtualPad wheel;
    ASSERT_TRUE(wheel.attach(true)) << SDL_GetError();
    const int steerAxis = 0;
    const int throttleAxis = 1;
    const int brakeAxis = 2;
    const auto set = [&wheel](int axis, int value) {
        wheel.axis(static_cast<SDL_GameControllerAxis>(axis), value);
    };
    set(steerAxis, 0);
    set(throttleAxis, 32767);
    set(brakeAxis, 32767);
    run(1.0);
    ASSERT_TRUE(pad.wheelConnected());
    EXPECT_FALSE(pad.connected()) << "the wheel is no pad";
    for (int c = 0; c < analogControlCount; ++c) {
        EXPECT_FALSE(driver.app.analogGiven[c]) << "control " << c;
    }
    set(throttleAxis, -32768);
    run(3.0);
    set(steerAxis, 32767);
    run(1.0);
    EXPECT_EQ(driver.app.analogValue[steer], 1.0f);
    EXPECT_EQ(driver.app.analogValue[throttle], 1.0f);
    set(throttleAxis, 32767);
    set(steerAxis, 0);
    set(brakeAxis, -32768);
    run(1.5);
    EXPECT_EQ(driver.app.analogValue[brake], 1.0f);
    set(brakeAxis, 32767);
    wheel.button(static_cast<SDL_GameControllerButton>(3), true);
    run(1.0);
    EXPECT_NE(driver.app.keys[keyCodeDown], 0);
    wheel.button(static_cast<SDL_GameControllerButton>(3), false);
    run(0.5);
    const uint64_t wheelHash =
        positionHash(driver.app.world->positions(), driver.app.world->particleCount());

    // The same drive on the keys.
    TruckDriver keys;
    ASSERT_TRUE(keys.load(assetDir));
    keys.run(1.0);
    keys.press(keyCodeUp);
    keys.run(3.0);
    keys.press(keyCodeRight);
    keys.run(1.0);
    keys.release(keyCodeUp);
    keys.release(keyCodeRight);
    keys.press(keyCodeSpace);
    keys.run(1.5);
    keys.release(keyCodeSpace);
    keys.press(keyCodeDown);
    keys.run(1.0);
    keys.release(keyCodeDown);
    keys.run(0.5);
    EXPECT_EQ(positionHash(keys.app.world->positions(), keys.app.world->particleCount()),
              wheelHash);

    // Pulled out while held: everything it held back to neutral.
    set(throttleAxis, -32768);
    wheel.button(static_cast<SDL_GameControllerButton>(3), true);
    poll();
    EXPECT_EQ(driver.app.analogValue[throttle], 1.0f);
    wheel.detach();
    poll();
    EXPECT_FALSE(pad.wheelConnected());
    EXPECT_EQ(driver.app.analogValue[throttle], 0.0f);
    EXPECT_EQ(driver.app.keys[keyCodeDown], 0);
}

TEST_F(PadDrive, PadMappingsFromAFileMakeAJoystickAPad) {
    VirtualPad stranger;
    ASSERT_TRUE(stranger.attach(true, true)) << SDL_GetError();
    run(0.1);
    EXPECT_FALSE(pad.connected()) << "SDL has no mapping for it yet";
    // One line in the format of the community's database (SDL reads only
    // the lines of its own platform from a file): steer on axis 0, throttle
    // on axis 1, brake on button 0.
    const std::string file = folder.file("mappings.txt");
    std::FILE* out = std::fopen(file.c_str(), "w");
    ASSERT_NE(out, nullptr);
    std::fprintf(out, "# pads SDL does not know\n%s,Dravonel mapped pad,a:b0,leftx:a0,"
                      "righttrigger:a1,platform:Linux,\n",
                 stranger.guid().c_str());
    std::fclose(out);
    ASSERT_TRUE(pad.addPadMappings(file.c_str())) << pad.failureReason();
    stranger.axis(static_cast<SDL_GameControllerAxis>(0), 32767);
    stranger.button(static_cast<SDL_GameControllerButton>(0), true);
    run(0.1);
    ASSERT_TRUE(pad.connected());
    EXPECT_EQ(driver.app.analogValue[steer], 1.0f);
    EXPECT_NE(driver.app.keys[keyCodeSpace], 0);

    EXPECT_FALSE(pad.addPadMappings(folder.file("missing.txt").c_str()));
    EXPECT_EQ(std::string(pad.failureReason()).rfind(folder.file("missing.txt") + ": ", 0), 0u)
        << pad.failureReason();
}

} // namespace
