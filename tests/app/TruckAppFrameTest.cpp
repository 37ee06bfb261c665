// The whole application in a real GL context: init loads every asset from
// the generated folder, frames draw the scene, and a missing texture stops
// init at that file.
#include "app/TruckApp.h"
#include "physics/PhysicsWorld.h"
#include "render/Mesh.h"
#include "render/Renderer.h"
#include "tests/support/GlContext.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class TruckAppFrame : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(requireGlContext());
        // Earlier tests of this process share the context: start from GL's
        // defaults, as a freshly opened window does.
        resetGlState();
        renderer = new Renderer();
    }
    void TearDown() override { delete renderer; }
    Renderer* renderer = nullptr;
};

TEST_F(TruckAppFrame, InitLoadsEverythingAndFramesDrawTheScene) {
    TruckApp app;
    app.renderer = renderer;
    app.setAssetDirectory(DRAVONEL_ASSET_DIR);
    ASSERT_TRUE(app.init()) << app.failureReason();
    const uint32_t textures[3] = {app.isamplerTexture, app.grayStructureTexture,
                                  app.leatherTexture};
    for (uint32_t t : textures) {
        EXPECT_NE(t, 0u);
    }
    for (uint32_t t : app.skyTextures) {
        EXPECT_NE(t, 0u);
    }
    const Mesh* meshes[9] = {app.bodyMesh,    app.wheelMesh1,        app.wheelMesh0,
                             app.terrainMesh, app.dustMesh,          app.bodyMesh3,
                             app.bodyMesh1,   app.steeringWheelMesh, app.translucentMesh};
    for (const Mesh* mesh : meshes) {
        ASSERT_NE(mesh, nullptr);
        EXPECT_GT(mesh->vertexCount, 0);
    }
    EXPECT_TRUE(app.translucentMesh->transparent);
    EXPECT_EQ(app.steeringWheelMesh->textureId, -1);
    // Ground grid numbering.
    EXPECT_EQ(app.terrainMesh->indices[0], 0u);
    EXPECT_EQ(app.terrainMesh->indices[1], 66u);
    EXPECT_EQ(app.terrainMesh->indices[2], 1u);
    EXPECT_EQ(app.terrainMesh->indices[6 * 64], 65u);
    EXPECT_EQ(app.terrainMesh->indices[6 * 64 + 1], 131u);
    EXPECT_FLOAT_EQ(app.terrainMesh->texCoords[2 * 4224], 19.2f);
    EXPECT_FLOAT_EQ(app.terrainMesh->texCoords[2 * 4224 + 1], 19.2f);

    // Every camera and display toggle draws without a GL error and keeps the
    // modelview stack at two entries.
    float t = 0.0f;
    const int toggles[] = {257, 258, 259, 260, 262, 263, 264, 'q', 'e', 261};
    for (int code : toggles) {
        app.key(code, true);
        for (int k = 0; k < 5; ++k) {
            t += 1.0f / 60.0f;
            app.frame(t);
        }
        GLint depth = 0;
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
        EXPECT_EQ(depth, 2) << "after key " << code;
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << "after key " << code;
    }

    // The follow camera looks at the truck: the middle of the picture is
    // neither the clear colour nor empty sky alone.
    app.key(260, true);
    app.key('q', false);
    app.key('e', false);
    for (int k = 0; k < 30; ++k) {
        t += 1.0f / 60.0f;
        app.frame(t);
    }
    unsigned char centre[3];
    readPixel(320, 240, centre);
    EXPECT_FALSE(centre[0] == 0x50 && centre[1] == 0x50 && centre[2] == 0x70);
}

// The steering wheel turns with the steering about its own column, which is
// tilted back and set into the cab: in body coordinates the column stays put
// while the wheel turns by -4 times the steering value about it.
TEST_F(TruckAppFrame, SteeringWheelTurnsAboutItsTiltedColumn) {
    TruckApp app;
    app.renderer = renderer;
    app.setAssetDirectory(DRAVONEL_ASSET_DIR);
    ASSERT_TRUE(app.init()) << app.failureReason();

    // The wheel's placement in body coordinates after a frame; the world does
    // not move between the frame and bodyTransform.
    auto cabTransform = [&app](float time) {
        app.frame(time);
        Mat4 cab = app.bodyTransform();
        cab.invertAffine();
        Mat4 wheel = app.steeringWheelMesh->transform;
        wheel.preMultiply(cab);
        return wheel;
    };
    auto expectNear = [](const Vec3& actual, const Vec3& expected, const char* what) {
        EXPECT_NEAR(actual.x, expected.x, 0.01f) << what;
        EXPECT_NEAR(actual.y, expected.y, 0.01f) << what;
        EXPECT_NEAR(actual.z, expected.z, 0.01f) << what;
    };

    const Mat4 straight = cabTransform(1.0f / 60.0f);
    ASSERT_EQ(app.steeringRamp.value(), 0.0f);
    // Straight ahead: the wheel's origin sits at (-20, -20, -130) in the cab
    // and its column (model z) is tilted by 0.3 rad about x.
    expectNear(straight.transformPoint(zeroVec3()), Vec3(-20.0f, -20.0f, -130.0f), "origin");
    const Vec3 column = straight.transformVector(Vec3(0.0f, 0.0f, 1.0f));
    expectNear(column, Vec3(0.0f, std::sin(0.3f), std::cos(0.3f)), "column");

    // Full right lock.
    app.key(358, true);
    float t = 1.0f / 60.0f;
    Mat4 turned;
    for (int k = 0; k < 40; ++k) {
        t += 1.0f / 60.0f;
        turned = cabTransform(t);
    }
    const float steering = app.steeringRamp.value();
    ASSERT_FLOAT_EQ(steering, 0.6f);

    // The column (the line through model point (0, -10, 0) along z) stays put.
    const Vec3 pivot(0.0f, -10.0f, 0.0f);
    expectNear(turned.transformPoint(pivot), straight.transformPoint(pivot), "pivot");
    expectNear(turned.transformVector(Vec3(0.0f, 0.0f, 1.0f)), column, "column when turned");

    // The spokes turn by -4 * steering about the column.
    const Vec3 before = straight.transformVector(Vec3(1.0f, 0.0f, 0.0f));
    const Vec3 after = turned.transformVector(Vec3(1.0f, 0.0f, 0.0f));
    const float angle = std::atan2(dot(cross(before, after), column), dot(before, after));
    EXPECT_NEAR(angle, -4.0f * steering, 1e-3f);
}

TEST_F(TruckAppFrame, MissingLeatherStopsInitAfterTwoTextures) {
    const fs::path dir =
        fs::temp_directory_path() / ("dravonel-noleather-" + std::to_string(getpid()));
    fs::create_directories(dir);
    for (const auto& entry : fs::directory_iterator(DRAVONEL_ASSET_DIR)) {
        if (entry.path().filename() != "leather.bmp") {
            fs::copy_file(entry.path(), dir / entry.path().filename(),
                          fs::copy_options::overwrite_existing);
        }
    }
    TruckApp app;
    app.renderer = renderer;
    app.setAssetDirectory(dir.string().c_str());
    EXPECT_FALSE(app.init());
    EXPECT_NE(std::string(app.failureReason()).find("leather.bmp"), std::string::npos)
        << app.failureReason();
    EXPECT_NE(app.isamplerTexture, 0u);
    EXPECT_NE(app.grayStructureTexture, 0u);
    EXPECT_EQ(app.leatherTexture, 0u);
    EXPECT_EQ(app.bodyMesh, nullptr);
    EXPECT_EQ(app.world, nullptr);
    fs::remove_all(dir);
}

} // namespace
