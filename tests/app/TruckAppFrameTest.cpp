// The whole application in a real GL context: init loads every asset from
// the generated folder, frames draw the scene, and a missing texture stops
// init at that file.
#include "app/TruckApp.h"
#include "app/world/MapFile.h"
#include "physics/DustRandom.h"
#include "physics/DustSystem.h"
#include "physics/PhysicsWorld.h"
#include "render/Mesh.h"
#include "render/Renderer.h"
#include "tests/support/GlContext.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

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

// The whole back buffer, RGB, bottom row first; depth when asked.
std::vector<unsigned char> readColour() {
    std::vector<unsigned char> rgb(640 * 480 * 3);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 640, 480, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
}

std::vector<float> readDepth() {
    std::vector<float> depth(640 * 480);
    glReadPixels(0, 0, 640, 480, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
    return depth;
}

// Window pixel of a point in scene units under the current camera; the
// working matrix is set back to the bare view first.
bool project(Renderer* renderer, const Vec3& point, int* x, int* y) {
    const Mat4 identity;
    renderer->setModelMatrix(&identity);
    double modelView[16], projection[16], wx, wy, wz;
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    if (gluProject(point.x, point.y, point.z, modelView, projection, viewport, &wx, &wy, &wz) !=
        GL_TRUE) {
        return false;
    }
    *x = static_cast<int>(wx);
    *y = static_cast<int>(wy);
    return *x >= 10 && *x < 630 && *y >= 10 && *y < 470 && wz > 0.0 && wz < 1.0;
}

// The scene point `distance` scene units from the eye along the ray through
// window pixel (x, y).
Vec3 pointOnRay(Renderer* renderer, int x, int y, double distance) {
    const Mat4 identity;
    renderer->setModelMatrix(&identity);
    double modelView[16], projection[16], nx, ny, nz, fx, fy, fz;
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    gluUnProject(x, y, 0.0, modelView, projection, viewport, &nx, &ny, &nz);
    gluUnProject(x, y, 1.0, modelView, projection, viewport, &fx, &fy, &fz);
    const double length =
        std::sqrt((fx - nx) * (fx - nx) + (fy - ny) * (fy - ny) + (fz - nz) * (fz - nz));
    const double k = distance / length;
    return Vec3(static_cast<float>(nx + (fx - nx) * k), static_cast<float>(ny + (fy - ny) * k),
                static_cast<float>(nz + (fz - nz) * k));
}

// Pixels of the square of half-size r around (x, y) that differ.
template <typename T>
int differingNear(const std::vector<T>& a, const std::vector<T>& b, int channels, int x, int y,
                  int r) {
    int count = 0;
    for (int j = y - r; j <= y + r; ++j) {
        for (int i = x - r; i <= x + r; ++i) {
            const size_t at = static_cast<size_t>((j * 640 + i) * channels);
            for (int c = 0; c < channels; ++c) {
                if (a[at + c] != b[at + c]) {
                    ++count;
                    break;
                }
            }
        }
    }
    return count;
}

// A seed for rand() after which an emitted dust mote's shape is at least 0.5
// on each axis.
unsigned seedForLargeDust(Terrain& terrain) {
    for (unsigned seed = 1;; ++seed) {
        DustRandom::shared().seed(seed);
        DustSystem scratch(4, terrain);
        scratch.setClock(10.0f);
        Vec3 velocity;
        scratch.emit(Vec3(), velocity);
        int capacity = 0, start = 0, count = 0;
        const Vec3 shape = scratch.view(capacity, start, count)[0].shape;
        if (shape.x >= 0.5f && shape.y >= 0.5f && shape.z >= 0.5f) {
            return seed;
        }
    }
}

// One frame read back pixel by pixel: the sky box lies behind the ground,
// the body wears its own material, each wheel turns at its own hub, the
// struts run from the scaled body points to the hubs, and dust fades with
// age and is drawn only while alive. Frames drawn again at the same time
// simulate nothing, so any change between two of them comes from the one
// thing the test changed.
TEST_F(TruckAppFrame, PixelsOfOneFrameShowEachPartInItsPlace) {
    TruckApp app;
    app.renderer = renderer;
    app.setAssetDirectory(DRAVONEL_ASSET_DIR);
    ASSERT_TRUE(app.init()) << app.failureReason();
    // The follow camera looking back from ahead of the truck, at the faces
    // the light falls on.
    app.key(260, true);
    app.key('q', true);
    app.key('e', true);
    float t = 0.0f;
    for (int k = 0; k < 90; ++k) {
        t += 1.0f / 60.0f;
        app.frame(t);
    }
    app.frame(t);
    const std::vector<unsigned char> full = readColour();
    app.frame(t);
    ASSERT_EQ(readColour(), full) << "a frame drawn again at the same time changed";

    // The sky box first: the ground covers it in the lower part of the view.
    renderer->beginFrame(0x505070, false);
    app.drawSkyBox(app.setupCamera(t));
    const std::vector<unsigned char> skyOnly = readColour();
    int groundPixels = 0;
    for (int x = 0; x < 640; x += 4) {
        groundPixels += differingNear(full, skyOnly, 3, x, 20, 0);
    }
    EXPECT_GT(groundPixels, 140) << "of 160 pixels near the bottom, the ground should hide the sky";

    // The body's material, as the asset table gives it.
    Mesh* body = app.bodyMesh;
    body->setMaterial(0xA07070, 0xA04040, 0xFFFFFF, 0.8f);
    app.frame(t);
    EXPECT_EQ(readColour(), full) << "the body is not drawn with its own material";
    body->setMaterial(0xA07070, 0x40A040, 0xFFFFFF, 0.8f);
    app.frame(t);
    const std::vector<unsigned char> greenBody = readColour();
    int bodyPixels = 0;
    for (int y = 0; y < 480; y += 2) {
        for (int x = 0; x < 640; x += 2) {
            bodyPixels += differingNear(greenBody, full, 3, x, y, 0);
        }
    }
    EXPECT_GT(bodyPixels, 1000) << "the body is not in view";
    body->setMaterial(0xA07070, 0xA04040, 0xFFFFFF, 0.8f);

    // Without the body, each tyre shows at its own wheel: recolouring the
    // wheel meshes changes the pixels around every tyre's top.
    Mesh* hidden[5] = {app.bodyMesh, app.bodyMesh3, app.bodyMesh1, app.steeringWheelMesh,
                       app.translucentMesh};
    int triangles[5];
    for (int m = 0; m < 5; ++m) {
        triangles[m] = hidden[m]->triangleCount;
        hidden[m]->triangleCount = 0;
    }
    app.frame(t);
    const std::vector<unsigned char> wheels = readColour();
    const int tyreAmbient = app.wheelMesh1->ambient;
    const int tyreDiffuse = app.wheelMesh1->diffuse;
    app.wheelMesh1->ambient = 0xFF00FF;
    app.wheelMesh1->diffuse = 0xFF00FF;
    app.frame(t);
    const std::vector<unsigned char> magenta = readColour();
    app.wheelMesh1->ambient = tyreAmbient;
    app.wheelMesh1->diffuse = tyreDiffuse;
    const Mesh* tyre = app.wheelMesh1;
    const Vec3 top = tyre->centroid + Vec3(0.0f, 0.4f * tyre->extent.y, 0.0f);
    for (int k = 0; k < 4; ++k) {
        int x = 0, y = 0;
        ASSERT_TRUE(project(renderer, app.wheelTransform(k).transformPoint(top), &x, &y)) << k;
        EXPECT_GT(differingNear(wheels, magenta, 3, x, y, 3), 10) << "no tyre at wheel " << k;
    }

    // Only struts left: the same eight ribbons drawn here from the body
    // points (z scaled by 0.95) and the anchor under the body's centre.
    const int wheelTriangles[2] = {app.wheelMesh0->triangleCount, app.wheelMesh1->triangleCount};
    app.wheelMesh0->triangleCount = 0;
    app.wheelMesh1->triangleCount = 0;
    app.frame(t);
    const std::vector<unsigned char> struts = readColour();
    app.key(261, true); // F5: no truck at all
    app.frame(t);
    const Mat4 bodyFrame = app.bodyTransform();
    const Mat4 identity;
    renderer->setModelMatrix(&identity);
    renderer->setMaterial(0, 0, 0, 0.0f);
    const Vec3 anchor = bodyFrame.transformPoint(body->centroid) - Vec3(0.0f, 35.0f, 0.0f);
    const int strutPairs[4][2] = {{35, 1244}, {68, 884}, {1, 1099}, {102, 738}};
    for (const int* pair : strutPairs) {
        Vec3 v = body->vertices[pair[1]];
        v.z *= 0.95f;
        const Vec3 hub = app.world->positions()[pair[0]] * 60.0f;
        app.drawStrut(bodyFrame.transformPoint(v), hub, 5.0f);
        app.drawStrut(anchor, hub, 5.0f);
    }
    EXPECT_EQ(readColour(), struts) << "the struts do not run where they should";
    app.key(261, true); // F5: the truck again
    app.wheelMesh0->triangleCount = wheelTriangles[0];
    app.wheelMesh1->triangleCount = wheelTriangles[1];
    for (int m = 0; m < 5; ++m) {
        hidden[m]->triangleCount = triangles[m];
    }

    // Dust: one mote 4 s old (alpha 0.2) in the sky, one exactly 5 s old
    // (still alive, faded to alpha 0: drawn, but invisible), one 6 s old that
    // this frame's update retires. Their shapes come from rand(): seeded so
    // that each is at least half the dust mesh on every axis.
    const unsigned seed = seedForLargeDust(app.world->terrain());
    int x = 0, y = 0;
    app.frame(t);
    const Vec3 fading = pointOnRay(renderer, 480, 420, 150.0) * (1.0f / 60.0f);
    const Vec3 retired = pointOnRay(renderer, 160, 420, 150.0) * (1.0f / 60.0f);
    const Vec3 faded = pointOnRay(renderer, 320, 420, 150.0) * (1.0f / 60.0f);
    DustSystem* dust = app.dust;
    Vec3 still = zeroVec3();
    dust->setClock(t - 20.0f);
    dust->setClock(t - 6.0f);
    DustRandom::shared().seed(seed);
    dust->emit(retired, still);
    // Born so that its age at t is exactly 5 s in float.
    float born = t - 5.0f;
    while (t - born > 5.0f) {
        born = std::nextafter(born, t);
    }
    while (t - born < 5.0f) {
        born = std::nextafter(born, -100.0f);
    }
    ASSERT_EQ(t - born, 5.0f);
    dust->setClock(born - 8.0f);
    dust->setClock(born);
    DustRandom::shared().seed(seed);
    still = zeroVec3();
    dust->emit(faded, still);
    dust->setClock(t - 12.0f);
    dust->setClock(t - 4.0f);
    DustRandom::shared().seed(seed);
    still = zeroVec3();
    dust->emit(fading, still);
    app.frame(t);
    const std::vector<unsigned char> withDust = readColour();
    const std::vector<float> withDustDepth = readDepth();
    int capacity = 0, start = 0, count = 0;
    dust->view(capacity, start, count);
    ASSERT_EQ(count, 2) << "the 6 s old mote is retired by the update";
    app.key(263, true); // F7: dust off
    app.frame(t);
    const std::vector<unsigned char> noDust = readColour();
    const std::vector<float> noDustDepth = readDepth();
    app.key(263, true);
    ASSERT_TRUE(project(renderer, fading * 60.0f, &x, &y));
    EXPECT_GT(differingNear(withDust, noDust, 3, x, y, 12), 5)
        << "a mote 4 s old is faint, not gone";
    ASSERT_TRUE(project(renderer, retired * 60.0f, &x, &y));
    EXPECT_EQ(differingNear(withDustDepth, noDustDepth, 1, x, y, 12), 0)
        << "a retired mote is drawn";
    ASSERT_TRUE(project(renderer, faded * 60.0f, &x, &y));
    EXPECT_GT(differingNear(withDustDepth, noDustDepth, 1, x, y, 12), 5)
        << "a mote exactly 5 s old is still drawn";
    EXPECT_EQ(differingNear(withDust, noDust, 3, x, y, 12), 0)
        << "a mote exactly 5 s old has faded out";
}

// Driving at the map's far edge: the edge's face and band change only the
// pixels they cover, and they read as an edge (rust red); the overlay
// changes only its own corner and leaves no state behind for the frames
// after it.
TEST_F(TruckAppFrame, TheEdgeAndTheOverlayChangeOnlyTheirOwnPixels) {
    TruckApp app;
    app.renderer = renderer;
    app.setAssetDirectory(DRAVONEL_ASSET_DIR);
    ASSERT_TRUE(app.init()) << app.failureReason();
    app.key(260, true); // F4, the follow camera
    app.key(263, true); // F7: no dust, whose random motes would differ
    app.key(357, true); // Up
    float t = 0.0f;
    for (int k = 0; k < 330; ++k) {
        t += 1.0f / 60.0f;
        app.frame(t);
    }
    app.frame(t);
    const std::vector<unsigned char> withEdge = readColour();
    const int edgeTriangles = app.edgeMesh->triangleCount;
    app.edgeMesh->triangleCount = 0;
    app.frame(t);
    const std::vector<unsigned char> noEdge = readColour();
    app.edgeMesh->triangleCount = edgeTriangles;
    int edgePixels = 0;
    int otherPixels = 0;
    for (size_t p = 0; p < withEdge.size(); p += 3) {
        if (withEdge[p] == noEdge[p] && withEdge[p + 1] == noEdge[p + 1] &&
            withEdge[p + 2] == noEdge[p + 2]) {
            continue;
        }
        const int r = withEdge[p];
        const bool rust = r > 1.4 * withEdge[p + 1] && r > 1.6 * withEdge[p + 2];
        (rust ? edgePixels : otherPixels) += 1;
    }
    EXPECT_GT(edgePixels, 640) << "the edge ahead is not seen";
    EXPECT_EQ(otherPixels, 0) << "pixels changed that the edge does not cover";

    app.hud.visible = true;
    app.hud.scripted = true;
    app.frame(t);
    const std::vector<unsigned char> withHud = readColour();
    app.hud.visible = false;
    app.frame(t);
    EXPECT_EQ(readColour(), withEdge) << "the overlay left state behind";
    int hudPixels = 0;
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 640; ++x) {
            const size_t p = 3 * (static_cast<size_t>(y) * 640 + x);
            if (withHud[p] == withEdge[p] && withHud[p + 1] == withEdge[p + 1] &&
                withHud[p + 2] == withEdge[p + 2]) {
                continue;
            }
            ++hudPixels;
            // The panel in the top left corner, rows counted from the bottom.
            ASSERT_TRUE(x < 270 && y > 390) << "overlay pixel at " << x << ", " << y;
        }
    }
    EXPECT_GT(hudPixels, 5000);
}

// On a map the whole ground is drawn, coarser with distance: in the start
// view along the dunes' track, ground is drawn hundreds of metres away
// (the projection of the default world ended at 83 m). The fixed camera F1
// stands anew ahead of the truck once the truck is far from it.
TEST_F(TruckAppFrame, OnAMapTheGroundReachesTheHorizonAndF1FollowsTheTruck) {
    MapFile map;
    ASSERT_TRUE(map.load(DRAVONEL_ASSET_DIR "/maps/dunes.map")) << map.failureReason();
    TruckApp app;
    app.renderer = renderer;
    app.setAssetDirectory(DRAVONEL_ASSET_DIR);
    app.setMap(&map);
    ASSERT_TRUE(app.init()) << app.failureReason();
    app.key(260, true); // F4, the follow camera
    app.key(260, false);
    app.frame(0.0f);
    const std::vector<float> depth = readDepth();
    const double nearPlane = 5.0;
    const double farPlane = renderer->farPlane;
    double farthest = 0.0;
    for (float d : depth) {
        if (d < 1.0f) {
            // Window depth back to the distance along the view, scene units.
            const double ndc = 2.0 * d - 1.0;
            const double distance =
                2.0 * nearPlane * farPlane / (farPlane + nearPlane - ndc * (farPlane - nearPlane));
            farthest = std::fmax(farthest, distance);
        }
    }
    EXPECT_GT(farthest / 60.0, 400.0) << "the ground ends " << farthest / 60.0 << " m away";

    // F1: the truck carried 200 m north, and another frame.
    app.key(257, true);
    app.key(257, false);
    app.frame(1.0f / 60.0f);
    const Vec3 firstEye = app.fixedCameraEye;
    for (int i = 0; i < app.world->particleCount(); ++i) {
        app.world->positions()[i].z -= 200.0f;
    }
    const Vec3 truck = app.bodyTransform().transformPoint(app.bodyMesh->centroid);
    app.frame(2.0f / 60.0f);
    const Vec3 eye = app.fixedCameraEye;
    EXPECT_NE(eye.z, firstEye.z);
    const Vec3 away = truck - eye;
    EXPECT_LT(std::sqrt(dot(away, away)), TruckApp::fixedCameraRange * 60.0f);
    EXPECT_LT(eye.z, truck.z) << "the camera stands ahead of the truck (north)";
}

TEST_F(TruckAppFrame, MissingLeatherStopsInitAfterTwoTextures) {
    const fs::path dir =
        fs::temp_directory_path() / ("dravonel-noleather-" + std::to_string(getpid()));
    fs::create_directories(dir);
    for (const auto& entry : fs::directory_iterator(DRAVONEL_ASSET_DIR)) {
        if (entry.is_regular_file() && entry.path().filename() != "leather.bmp") {
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
