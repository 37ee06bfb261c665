// TruckApp cameras, headless: with the truck held still every camera settles
// on its own placement (fixed in the scene, fixed to the body by look mode,
// or following at a height above the truck), the first frame shows the raw
// camera, and a camera switch glides over 0.4 s instead of jumping. The
// orbit camera turns, zooms and steps with the mouse and the look keys, and
// the mouse picks the particle shown nearest the cursor.
#include "app/input/InputRouter.h"
#include "app/input/MouseInput.h"
#include "app/TruckApp.h"
#include "physics/PhysicsWorld.h"
#include "render/Mesh.h"
#include "scene/RenderScale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// Scene coordinates reach a few thousand units; the window average and the
// inverse body transform round in the last bits of that.
const float tolerance = 0.05f;

void expectNear(const Vec3& actual, const Vec3& expected, const char* what, int camera,
                int lookMode) {
    EXPECT_NEAR(actual.x, expected.x, tolerance)
        << what << " x, camera " << camera << ", look " << lookMode;
    EXPECT_NEAR(actual.y, expected.y, tolerance)
        << what << " y, camera " << camera << ", look " << lookMode;
    EXPECT_NEAR(actual.z, expected.z, tolerance)
        << what << " z, camera " << camera << ", look " << lookMode;
}

class TruckAppCamera : public ::testing::Test {
  protected:
    void SetUp() override {
        app.setAssetDirectory(DRAVONEL_ASSET_DIR);
        ASSERT_TRUE(app.initSimulation()) << app.failureReason();
        // No renderer: setupCamera still computes and returns the eye.
        body = app.bodyTransform();
        bodyInverse = body;
        bodyInverse.invertAffine();
    }

    // Runs the camera for 0.6 s of frames without moving the world, so that
    // the whole 0.4 s window holds this camera's raw placement.
    void settle(int camera, int lookMode) {
        app.camera = camera;
        app.lookMode = lookMode;
        for (int k = 0; k < 12; ++k) {
            time += 0.05f;
            eye = app.setupCamera(time);
        }
        target = app.targetHistory.average(time, 0.4f);
        up = app.upHistory.average(time, 0.4f);
    }

    Vec3 toBody(const Vec3& p) const { return bodyInverse.transformPoint(p); }
    Vec3 centroid() const { return body.transformPoint(app.bodyMesh->centroid); }

    TruckApp app;
    Mat4 body;
    Mat4 bodyInverse;
    float time = 0.0f;
    Vec3 eye;
    Vec3 target;
    Vec3 up;
};

TEST_F(TruckAppCamera, EachCameraSettlesOnItsPlacement) {
    // Camera 1 (F2), in body coordinates: forward is -z, left -x, right +x.
    const Vec3 driverEye[4] = {Vec3(-20, 40, 40), Vec3(20, 40, 0), Vec3(-20, 40, 0),
                               Vec3(-20, 40, 0)};
    const Vec3 driverTarget[4] = {Vec3(-20, 0, -200), Vec3(-200, 0, 38), Vec3(-21, 0, 200),
                                  Vec3(200, 0, 38)};
    // Camera 3 (F4): behind, right side, in front, left side.
    const Vec3 followOffset[4] = {Vec3(0, 0, 600), Vec3(600, 0, 0), Vec3(0, 0, -600),
                                  Vec3(-600, 0, 0)};
    const Vec3 bodyUp = body.transformVector(Vec3(0, 1, 0));

    for (int look = 0; look < 4; ++look) {
        settle(0, look);
        expectNear(eye, Vec3(0, 200, 300), "eye", 0, look);
        expectNear(target, centroid(), "target", 0, look);
        expectNear(up, Vec3(0, 1, 0), "up", 0, look);

        settle(1, look);
        expectNear(toBody(eye), driverEye[look], "eye", 1, look);
        expectNear(toBody(target), driverTarget[look], "target", 1, look);
        expectNear(up, bodyUp, "up", 1, look);

        settle(2, look);
        expectNear(toBody(eye), Vec3(-100, 0, 180), "eye", 2, look);
        expectNear(toBody(target), Vec3(-100, 0, -200), "target", 2, look);
        expectNear(up, bodyUp, "up", 2, look);

        settle(3, look);
        expectNear(target, centroid(), "target", 3, look);
        // Placed around the body, then lifted to 140 above the centroid
        // whatever the truck's pitch and roll.
        const Vec3 around = body.transformPoint(followOffset[look]);
        expectNear(eye, Vec3(around.x, centroid().y + 140.0f, around.z), "eye", 3, look);
        expectNear(up, Vec3(0, 1, 0), "up", 3, look);
    }
}

TEST_F(TruckAppCamera, FirstFrameIsRawAndASwitchGlides) {
    // A fresh application: the first frame has one sample, so it is exact.
    app.camera = 0;
    EXPECT_EQ(app.setupCamera(1.0f).z, 300.0f);
    const Vec3 fixedEye(0, 200, 300);

    // The newest sample weighs nothing: right after the switch the view
    // still shows the previous camera.
    app.camera = 3;
    expectNear(app.setupCamera(1.25f), fixedEye, "eye right after the switch", 3, 0);

    // 0.25 s later the window (1.1 .. 1.5) holds 0.15 s of the old camera
    // and 0.25 s of the new one.
    const Vec3 around = body.transformPoint(Vec3(0, 0, 600));
    const Vec3 followEye(around.x, centroid().y + 140.0f, around.z);
    const Vec3 halfway = fixedEye * 0.375f + followEye * 0.625f;
    expectNear(app.setupCamera(1.5f), halfway, "eye while gliding", 3, 0);

    // Once the old samples have left the window the new camera is reached.
    app.setupCamera(1.75f);
    expectNear(app.setupCamera(2.0f), followEye, "eye after the glide", 3, 0);
}

// Camera 5 (F12) looks at the body from behind and above, 10 m away; a
// left-drag turns it, the wheel zooms it within 3 to 40 m, and q and e turn
// it by quarters, once per press.
TEST_F(TruckAppCamera, OrbitCameraTurnsZoomsAndSteps) {
    app.key(268, true);
    app.key(268, false);
    ASSERT_EQ(app.camera, 4);
    InputRouter router;
    router.attach(&app, nullptr, false);
    MouseInput mouse;
    mouse.attach(&app, &router);

    settle(4, 0);
    expectNear(target, centroid(), "target", 4, 0);
    const Vec3 start = eye;
    EXPECT_NEAR(std::sqrt(dot(eye - centroid(), eye - centroid())), 600.0f, 0.1f);
    EXPECT_GT(toBody(eye).z, 400.0f) << "behind the truck";
    EXPECT_GT(eye.y, centroid().y + 100.0f) << "above it";

    // How wide the truck shows, pixels.
    auto width = [&] {
        float left = 1e9f, right = -1e9f;
        for (int i = 0; i < app.world->particleCount(); ++i) {
            WindowPoint shown;
            if (projectToWindow(app.lastView, 640, 480, app.world->positions()[i] * renderScale,
                                &shown)) {
                left = std::fmin(left, shown.x);
                right = std::fmax(right, shown.x);
            }
        }
        return right - left;
    };
    const float farWidth = width();

    mouse.button(MouseInput::leftButton, true, 100, 200, 640, 480);
    mouse.motion(200, 200, 640, 480);
    mouse.button(MouseInput::leftButton, false, 200, 200, 640, 480);
    settle(4, 0);
    EXPECT_GT(std::sqrt(dot(eye - start, eye - start)), 200.0f) << "a 1 radian turn";
    EXPECT_NEAR(std::sqrt(dot(eye - centroid(), eye - centroid())), 600.0f, 0.1f);

    for (int k = 0; k < 3; ++k) {
        mouse.button(MouseInput::wheelUp, true, 200, 200, 640, 480);
        mouse.button(MouseInput::wheelUp, false, 200, 200, 640, 480);
    }
    settle(4, 0);
    EXPECT_NEAR(app.orbitCamera.distance, 10.0f * std::pow(0.9f, 3.0f), 1e-3f);
    EXPECT_GT(width(), farWidth * 1.25f) << "nearer, the truck shows larger";
    app.orbitCamera.zoom(100);
    EXPECT_EQ(app.orbitCamera.distance, OrbitCamera::minDistance);
    // At its nearest the whole truck shows, from every side and height: its
    // nodes (tyres included) and the corners of its body's box.
    const float keptYaw = app.orbitCamera.yaw;
    const float keptPitch = app.orbitCamera.pitch;
    const Vec3 low = app.bodyMesh->boundsMin;
    const Vec3 high = app.bodyMesh->boundsMax;
    for (int side = 0; side < 8; ++side) {
        for (const float pitch : {OrbitCamera::minPitch, 0.3f, OrbitCamera::maxPitch}) {
            app.orbitCamera.yaw = 0.785398f * static_cast<float>(side);
            app.orbitCamera.pitch = pitch;
            settle(4, 0);
            std::vector<Vec3> points;
            for (int i = 0; i < app.world->particleCount(); ++i) {
                points.push_back(app.world->positions()[i] * renderScale);
            }
            for (int corner = 0; corner < 8; ++corner) {
                points.push_back(body.transformPoint(Vec3(corner & 1 ? high.x : low.x,
                                                          corner & 2 ? high.y : low.y,
                                                          corner & 4 ? high.z : low.z)));
            }
            for (const Vec3& point : points) {
                WindowPoint shown;
                ASSERT_TRUE(projectToWindow(app.lastView, 640, 480, point, &shown));
                EXPECT_TRUE(shown.x >= 0.0f && shown.x <= 640.0f && shown.y >= 0.0f &&
                            shown.y <= 480.0f)
                    << "side " << side << ", pitch " << pitch << ": " << shown.x << ", " << shown.y;
            }
        }
    }
    app.orbitCamera.yaw = keptYaw;
    app.orbitCamera.pitch = keptPitch;
    app.orbitCamera.zoom(-100);
    EXPECT_EQ(app.orbitCamera.distance, 40.0f);

    const float yaw = app.orbitCamera.yaw;
    app.key('q', true);
    app.key('q', true); // the key repeating
    app.key('q', false);
    EXPECT_NEAR(std::remainder(app.orbitCamera.yaw - yaw, 6.2831853f), 1.5707963f, 1e-5f);
    app.key('e', true);
    app.key('e', false);
    EXPECT_NEAR(std::remainder(app.orbitCamera.yaw - yaw, 6.2831853f), 0.0f, 1e-5f);

    // It follows the truck through a full-lock turn, looking at the body
    // from level with it at its nearest, and stays above the ground.
    app.orbitCamera.pitch = 0.0f;
    app.orbitCamera.zoom(100);
    app.key(357, true);
    app.key(358, true);
    float lowest = 1e9f;
    float worstTarget = 0.0f;
    for (int frame = 1; frame <= 360; ++frame) {
        time += 1.0f / 60.0f;
        app.advance(time);
        eye = app.setupCamera(time);
        Vec3 normal;
        lowest = std::fmin(
            lowest, app.world->terrain().query(eye * (1.0f / renderScale), &normal, nullptr));
        const Vec3 miss =
            app.lastView.target - app.bodyTransform().transformPoint(app.bodyMesh->centroid);
        worstTarget = std::fmax(worstTarget, std::sqrt(dot(miss, miss)));
    }
    EXPECT_GT(lowest, 0.2f) << "m above the ground";
    // One smoothing window behind a truck doing up to 12 m/s: under 5 m.
    EXPECT_LT(worstTarget, 300.0f);
}

// A right-drag: the press picks and holds the node where it is, moves of
// the cursor carry the target in the plane facing the camera (the last move
// of a frame counts), the wheel pushes it away, letting go releases, and a
// reset ends the drag.
TEST_F(TruckAppCamera, RightDragMovesTheGrabTarget) {
    InputRouter router;
    router.attach(&app, nullptr, false);
    MouseInput mouse;
    mouse.attach(&app, &router);
    settle(0, 0);
    const Vec3 corner = app.world->positions()[141];
    WindowPoint shown;
    ASSERT_TRUE(projectToWindow(app.lastView, 640, 480, corner * renderScale, &shown));
    const int x = static_cast<int>(shown.x);
    const int y = static_cast<int>(shown.y);
    mouse.button(MouseInput::rightButton, true, x, y, 640, 480);
    ASSERT_TRUE(mouse.grabbing());
    EXPECT_EQ(app.grabbedParticle, -1) << "delivered at the start of the next frame";
    mouse.beginFrame();
    const int held = app.grabbedParticle;
    ASSERT_GE(held, 0);
    EXPECT_EQ(app.grabTarget.x, app.world->positions()[held].x);
    EXPECT_EQ(app.grabTarget.y, app.world->positions()[held].y);

    mouse.motion(x + 40, y, 640, 480);
    mouse.motion(x, y - 100, 640, 480);
    mouse.beginFrame();
    const Vec3 lifted = app.grabTarget;
    EXPECT_GT(lifted.y, app.world->positions()[held].y + 1.0f) << "100 pixels up";
    const Vec3 axis = normalized(app.lastView.target - app.lastView.eye);
    const Vec3 node = app.world->positions()[held] * renderScale;
    EXPECT_NEAR(dot(lifted * renderScale - node, axis), 0.0f, 0.5f) << "in the facing plane";

    mouse.button(MouseInput::wheelUp, true, x, y - 100, 640, 480);
    mouse.button(MouseInput::wheelUp, false, x, y - 100, 640, 480);
    mouse.beginFrame();
    EXPECT_NEAR(dot((app.grabTarget - lifted) * renderScale, axis), 15.0f, 0.1f);

    mouse.button(MouseInput::rightButton, false, x, y - 100, 640, 480);
    EXPECT_EQ(app.grabbedParticle, -1);
    EXPECT_FALSE(app.world->grab().active());

    mouse.button(MouseInput::rightButton, true, x, y, 640, 480);
    mouse.beginFrame();
    ASSERT_TRUE(app.world->grab().active());
    app.key(27, true);
    app.key(27, false);
    mouse.beginFrame();
    EXPECT_FALSE(mouse.grabbing());
    EXPECT_FALSE(app.world->grab().active());

    // During a replay the devices are ignored but for the view keys: the
    // cameras, toggles and overlay change, the drive's keys and grabs do not
    // reach the app.
    InputRouter replaying;
    replaying.attach(&app, nullptr, true);
    replaying.passViewKeys(true);
    mouse.attach(&app, &replaying);
    mouse.button(MouseInput::rightButton, true, x, y, 640, 480);
    mouse.beginFrame();
    EXPECT_FALSE(mouse.grabbing());
    EXPECT_FALSE(app.world->grab().active());
    for (const int code : {268, 261, 265, int('h')}) {
        replaying.key(code, true);
        replaying.key(code, false);
    }
    EXPECT_EQ(app.camera, 4);
    EXPECT_FALSE(app.drawCarModel);
    EXPECT_TRUE(app.hud.helpVisible);
    const int recoveries = app.recoveries;
    for (const int code : {357, 32, int('r'), int('p'), 27}) {
        replaying.key(code, true);
        EXPECT_EQ(app.keys[code], 0) << code;
        replaying.key(code, false);
    }
    EXPECT_EQ(app.recoveries, recoveries);
    EXPECT_FALSE(app.timeControl.paused());
}

// Picking: the particle shown nearest the cursor within 30 pixels; of two
// shown at the same place the one nearer the eye; none farther than 30
// pixels; in a wide window through the centred 4:3 picture.
TEST(MousePicking, NearestShownWithinThirtyPixelsNearerEyeWinsTies) {
    CameraView view;
    view.eye = Vec3(0.0f, 0.0f, 600.0f);
    view.target = Vec3(0.0f, 0.0f, 0.0f);
    view.up = Vec3(0.0f, 1.0f, 0.0f);
    view.valid = true;
    // Metres: two on the view axis, 10 m and 8 m from the eye; one 15 pixels
    // to the right of them, nearer still.
    const Vec3 positions[3] = {Vec3(0.0f, 0.0f, 0.0f), Vec3(0.0f, 0.0f, 2.0f),
                               Vec3(0.25f, 0.0f, 3.0f)};
    WindowPoint shown;
    EXPECT_EQ(MouseInput::pick(view, 640, 480, positions, 3, 319.5f, 239.5f, &shown), 1);
    EXPECT_NEAR(shown.depth, 480.0f, 1e-3f);
    EXPECT_EQ(MouseInput::pick(view, 640, 480, positions, 1, 319.5f, 239.5f, &shown), 0);
    WindowPoint side;
    ASSERT_TRUE(projectToWindow(view, 640, 480, positions[2] * renderScale, &side));
    EXPECT_NEAR(side.x - 320.0f, 14.9f, 0.2f);
    EXPECT_EQ(MouseInput::pick(view, 640, 480, positions, 3, side.x - 0.5f, 239.5f, &shown), 2);
    EXPECT_EQ(MouseInput::pick(view, 640, 480, positions, 2, 319.5f + 29.0f, 239.5f, &shown), 1);
    EXPECT_EQ(MouseInput::pick(view, 640, 480, positions, 2, 319.5f + 31.0f, 239.5f, &shown), -1);
    WindowPoint centre;
    ASSERT_TRUE(projectToWindow(view, 640, 480, positions[1] * renderScale, &centre));
    EXPECT_EQ(MouseInput::pick(view, 640, 480, positions, 2,
                               centre.x + MouseInput::pickRadius - 0.5f, centre.y - 0.5f, &shown),
              1)
        << "exactly 30 pixels away";
    EXPECT_EQ(MouseInput::pick(view, 1280, 480, positions, 2, 639.5f, 239.5f, &shown), 1);
    EXPECT_EQ(MouseInput::pick(view, 1280, 480, positions, 2, 319.5f, 239.5f, &shown), -1);
    view.valid = false;
    EXPECT_EQ(MouseInput::pick(view, 640, 480, positions, 2, 319.5f, 239.5f, &shown), -1);
}

} // namespace
