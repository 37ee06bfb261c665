// TruckApp cameras, headless: with the truck held still every camera settles
// on its own placement (fixed in the scene, fixed to the body by look mode,
// or following at a height above the truck), the first frame shows the raw
// camera, and a camera switch glides over 0.4 s instead of jumping.
#include "app/TruckApp.h"
#include "render/Mesh.h"

#include <gtest/gtest.h>

#include <cmath>

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

} // namespace
