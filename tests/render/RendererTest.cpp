// Renderer in a real Mesa GL context: the state it sets up, the projection and
// the modelview-stack discipline, the error policy, materials and blending,
// textures, and pixels read back from drawn frames.
#include "render/Renderer.h"

#include "tests/support/GlContext.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

namespace {

const int windowWidth = 640;
const int windowHeight = 480;

GLint integerState(GLenum name) {
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

GLint textureEnvMode() {
    GLint mode = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
    return mode;
}

void expectMatrixNear(const float* actual, const float* expected, float tolerance) {
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(actual[i], expected[i], tolerance) << "element " << i;
    }
}

// An RGBA pixel block of width x height in which the left half is `left` and
// the right half `right` (alpha 255).
std::vector<unsigned char> twoColourImage(int width, int height, const unsigned char left[3],
                                          const unsigned char right[3]) {
    std::vector<unsigned char> pixels(static_cast<size_t>(width * height * 4));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned char* colour = x < width / 2 ? left : right;
            unsigned char* pixel = &pixels[static_cast<size_t>((y * width + x) * 4)];
            pixel[0] = colour[0];
            pixel[1] = colour[1];
            pixel[2] = colour[2];
            pixel[3] = 255;
        }
    }
    return pixels;
}

void expectPixelNear(int x, int y, int r, int g, int b, int tolerance) {
    unsigned char rgb[3];
    readPixel(x, y, rgb);
    EXPECT_NEAR(rgb[0], r, tolerance) << "red at " << x << "," << y;
    EXPECT_NEAR(rgb[1], g, tolerance) << "green at " << x << "," << y;
    EXPECT_NEAR(rgb[2], b, tolerance) << "blue at " << x << "," << y;
}

class RendererTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ready = requireGlContext();
        if (ready) {
            resetGlState();
        }
    }
    void TearDown() override {
        if (ready) {
            resetGlState();
        }
    }

    bool ready = false;
};

} // namespace

TEST_F(RendererTest, ConstructionSetsTheFixedFunctionState) {
    if (!ready) {
        return;
    }
    Renderer renderer;
    EXPECT_EQ(renderer.lastError, 0);
    EXPECT_FALSE(renderer.textureEnabled[0]);
    EXPECT_FALSE(renderer.textureEnabled[1]);
    EXPECT_FALSE(renderer.viewPushed);
    EXPECT_EQ(renderer.materialAlpha, 0.5f);
    // llvmpipe offers GL_ARB_multitexture, so all three entry points load.
    EXPECT_NE(renderer.glActiveTextureARB, nullptr);
    EXPECT_NE(renderer.glClientActiveTextureARB, nullptr);
    EXPECT_NE(renderer.glMultiTexCoord2fvARB, nullptr);
    EXPECT_TRUE(renderer.loadMultitexture());

    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
    EXPECT_FALSE(glIsEnabled(GL_NORMALIZE));
    EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));
    EXPECT_EQ(integerState(GL_DEPTH_FUNC), GL_LEQUAL);
    EXPECT_EQ(integerState(GL_CULL_FACE_MODE), GL_BACK);
    EXPECT_EQ(integerState(GL_FRONT_FACE), GL_CCW);
    EXPECT_EQ(integerState(GL_MATRIX_MODE), GL_MODELVIEW);

    float colour[4];
    glGetLightfv(GL_LIGHT0, GL_AMBIENT, colour);
    for (float component : colour) {
        EXPECT_FLOAT_EQ(component, 0.9f);
    }
    glGetLightfv(GL_LIGHT0, GL_DIFFUSE, colour);
    for (float component : colour) {
        EXPECT_FLOAT_EQ(component, 1.0f);
    }
    glGetLightfv(GL_LIGHT0, GL_SPECULAR, colour);
    for (float component : colour) {
        EXPECT_FLOAT_EQ(component, 1.0f);
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(RendererTest, AnErrorDuringSetUpLeavesLightingOff) {
    if (!ready) {
        return;
    }
    glEnable(0xFFFF); // raises GL_INVALID_ENUM
    Renderer renderer;
    EXPECT_EQ(renderer.lastError, GL_INVALID_ENUM);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_LIGHT0));
    // The error was consumed: the next operation works.
    EXPECT_TRUE(renderer.endFrame());
}

TEST_F(RendererTest, CameraLoadsTheFixedPerspectiveAndTheView) {
    if (!ready) {
        return;
    }
    Renderer renderer;
    const Vec3 eye(30.0f, 200.0f, -400.0f);
    const Vec3 centre(10.0f, 50.0f, 20.0f);
    const Vec3 up(0.1f, 1.0f, 0.0f);
    // A window that is not 4:3 still gets the 4/3 projection.
    ASSERT_TRUE(renderer.setViewport(300, 400));
    ASSERT_TRUE(renderer.setCamera(&eye, &centre, &up));
    EXPECT_TRUE(renderer.viewPushed);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 300);
    EXPECT_EQ(viewport[3], 400);

    float projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    float modelview[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);

    float expectedProjection[16];
    float expectedView[16];
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluPerspective(60.0, 4.0 / 3.0, 5.0, 5000.0);
    glGetFloatv(GL_PROJECTION_MATRIX, expectedProjection);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    gluLookAt(eye.x, eye.y, eye.z, centre.x, centre.y, centre.z, up.x, up.y, up.z);
    glGetFloatv(GL_MODELVIEW_MATRIX, expectedView);
    glPopMatrix();

    expectMatrixNear(projection, expectedProjection, 1e-6f);
    expectMatrixNear(modelview, expectedView, 1e-5f);
    EXPECT_EQ(integerState(GL_MODELVIEW_STACK_DEPTH), 2);
    EXPECT_EQ(integerState(GL_MATRIX_MODE), GL_MODELVIEW);

    // The light direction is fixed in the world: GL keeps it in eye space,
    // transformed by the view's rotation.
    float light[4];
    glGetLightfv(GL_LIGHT0, GL_POSITION, light);
    Mat4 view;
    for (int i = 0; i < 16; ++i) {
        view.m[i] = expectedView[i];
    }
    const Vec3 expectedLight = view.transformVector(Vec3(0.1f, 0.4f, -1.0f));
    EXPECT_NEAR(light[0], expectedLight.x, 1e-5f);
    EXPECT_NEAR(light[1], expectedLight.y, 1e-5f);
    EXPECT_NEAR(light[2], expectedLight.z, 1e-5f);
    EXPECT_EQ(light[3], 0.0f);
}

TEST_F(RendererTest, ModelMatricesStartFromTheViewAndTheStackStaysAtTwo) {
    if (!ready) {
        return;
    }
    Renderer renderer;
    std::mt19937 rng(17);
    std::uniform_real_distribution<float> coordinate(-100.0f, 100.0f);
    std::uniform_real_distribution<float> angle(-3.0f, 3.0f);
    for (int frame = 0; frame < 20; ++frame) {
        ASSERT_TRUE(renderer.beginFrame(0x505070, false));
        const Vec3 eye(coordinate(rng), coordinate(rng), coordinate(rng) + 300.0f);
        const Vec3 centre(coordinate(rng), coordinate(rng), coordinate(rng));
        const Vec3 up(0.0f, 1.0f, 0.0f);
        ASSERT_TRUE(renderer.setCamera(&eye, &centre, &up));
        EXPECT_EQ(integerState(GL_MODELVIEW_STACK_DEPTH), 2);
        float view[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, view);
        Mat4 viewMatrix;
        for (int i = 0; i < 16; ++i) {
            viewMatrix.m[i] = view[i];
        }
        for (int object = 0; object < 10; ++object) {
            Mat4 model;
            model.rotateAboutAxis(Vec3(coordinate(rng), coordinate(rng), coordinate(rng)),
                                  Vec3(coordinate(rng), coordinate(rng), 1.0f), angle(rng));
            model.translate(Vec3(coordinate(rng), coordinate(rng), coordinate(rng)));
            // A texture bind leaves the matrix mode at GL_TEXTURE; the next
            // model matrix must still land on the modelview stack.
            if (object % 3 == 0) {
                ASSERT_TRUE(renderer.bindTexture(0, 0));
            }
            ASSERT_TRUE(renderer.setModelMatrix(&model));
            EXPECT_EQ(integerState(GL_MODELVIEW_STACK_DEPTH), 2);
            Mat4 expected = model;
            expected.preMultiply(viewMatrix);
            float actual[16];
            glGetFloatv(GL_MODELVIEW_MATRIX, actual);
            expectMatrixNear(actual, expected.m, 1e-3f);
        }
        ASSERT_TRUE(renderer.endFrame());
    }
    EXPECT_EQ(renderer.lastError, 0);
}

TEST_F(RendererTest, ModelMatrixBeforeAnyCameraFailsWithStackUnderflow) {
    if (!ready) {
        return;
    }
    Renderer renderer;
    Mat4 model;
    model.translate(Vec3(5.0f, 6.0f, 7.0f));
    EXPECT_FALSE(renderer.setModelMatrix(&model));
    EXPECT_EQ(renderer.lastError, GL_STACK_UNDERFLOW);
    float actual[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, actual);
    EXPECT_EQ(actual[12], 0.0f);
    EXPECT_EQ(actual[13], 0.0f);
    EXPECT_EQ(actual[14], 0.0f);
}

TEST_F(RendererTest, APendingErrorFailsExactlyTheNextOperation) {
    if (!ready) {
        return;
    }
    Renderer renderer;
    const Vec3 eye(0.0f, 0.0f, 100.0f);
    const Vec3 origin(0.0f, 0.0f, 0.0f);
    const Vec3 up(0.0f, 1.0f, 0.0f);
    const Vec3 triangle[3] = {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0)};
    const uint32_t indices[3] = {0, 1, 2};
    const Mat4 model;
    struct Case {
        const char* name;
        std::function<bool()> run;
    };
    Renderer& r = renderer;
    const Case cases[] = {
        {"setViewport", [&] { return r.setViewport(640, 480); }},
        {"beginFrame", [&] { return r.beginFrame(0, true); }},
        {"endFrame", [&] { return r.endFrame(); }},
        {"setCamera", [&] { return r.setCamera(&eye, &origin, &up); }},
        {"placeLight", [&] { return r.placeLight(); }},
        {"setModelMatrix", [&] { return r.setModelMatrix(&model); }},
        {"setMaterial", [&] { return r.setMaterial(1, 2, 3, 0.5f); }},
        {"bindTexture", [&] { return r.bindTexture(0, 0); }},
        {"disableTexture", [&] { return r.disableTexture(0); }},
        {"enableBlending", [&] { return r.enableBlending(0.5f); }},
        {"disableBlending", [&] { return r.disableBlending(); }},
        {"enableDepthTest", [&] { return r.enableDepthTest(); }},
        {"disableDepthTest", [&] { return r.disableDepthTest(); }},
        {"drawPoint", [&] { return r.drawPoint(&triangle[0], 3.0f); }},
        {"drawLine", [&] { return r.drawLine(&triangle[0], &triangle[1]); }},
        {"drawTriangle", [&] { return r.drawTriangle(triangle, nullptr, nullptr); }},
        {"drawTriangles", [&] { return r.drawTriangles(triangle, nullptr, nullptr, indices, 1); }},
        {"drawWireframe", [&] { return r.drawWireframe(triangle, indices, 1); }},
    };
    ASSERT_TRUE(renderer.setCamera(&eye, &origin, &up));
    for (const Case& c : cases) {
        // An invalid enum raises GL_INVALID_ENUM and changes nothing else.
        glMatrixMode(0xFFFF);
        EXPECT_FALSE(c.run()) << c.name;
        EXPECT_EQ(renderer.lastError, GL_INVALID_ENUM) << c.name;
        // The error was consumed by the failed operation; the code stays.
        EXPECT_TRUE(c.run()) << c.name << " once the error is consumed";
        EXPECT_EQ(renderer.lastError, GL_INVALID_ENUM) << c.name;
        EXPECT_EQ(integerState(GL_MODELVIEW_STACK_DEPTH), 2) << c.name;
    }
    // A texture upload is judged on its own errors: one left pending before
    // it is cleared (its code kept), one raised by the upload fails it at
    // once and leaves nothing pending for the next operation.
    glMatrixMode(0xFFFF);
    renderer.lastError = 0;
    EXPECT_NE(renderer.createTexture(nullptr, 4, 4), 0u);
    EXPECT_EQ(renderer.lastError, GL_INVALID_ENUM);
    EXPECT_EQ(renderer.createTexture(nullptr, -4, 4), 0u);
    EXPECT_EQ(renderer.lastError, GL_INVALID_VALUE);
    EXPECT_TRUE(renderer.endFrame());
}

TEST_F(RendererTest, AFailedOperationChangesNothing) {
    if (!ready) {
        return;
    }
    Renderer renderer;
    glMatrixMode(0xFFFF);
    EXPECT_FALSE(renderer.disableDepthTest());
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));

    glMatrixMode(0xFFFF);
    EXPECT_FALSE(renderer.bindTexture(0, 0));
    EXPECT_FALSE(renderer.textureEnabled[0]);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));

    glMatrixMode(0xFFFF);
    EXPECT_FALSE(renderer.setMaterial(0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 1.0f));
    float ambient[4];
    glGetMaterialfv(GL_FRONT, GL_AMBIENT, ambient);
    EXPECT_NE(ambient[0], 1.0f);

    // The blending alpha is taken even when the operation fails.
    glMatrixMode(0xFFFF);
    EXPECT_FALSE(renderer.enableBlending(0.25f));
    EXPECT_EQ(renderer.materialAlpha, 0.25f);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));

    // disableBlending zeroes the alpha only when it succeeds.
    glMatrixMode(0xFFFF);
    EXPECT_FALSE(renderer.disableBlending());
    EXPECT_EQ(renderer.materialAlpha, 0.25f);
    EXPECT_TRUE(renderer.disableBlending());
    EXPECT_EQ(renderer.materialAlpha, 0.0f);
}

TEST_F(RendererTest, MaterialsUnpackColoursAndCarryTheBlendingAlpha) {
    if (!ready) {
        return;
    }
    Renderer renderer;
    float colour[4];
    float shininess = -1.0f;

    ASSERT_TRUE(renderer.setMaterial(0xFFFF00, 0, 0, 0.0f));
    glGetMaterialfv(GL_FRONT, GL_AMBIENT, colour);
    EXPECT_EQ(colour[0], 1.0f);
    EXPECT_EQ(colour[1], 1.0f);
    EXPECT_EQ(colour[2], 0.0f);
    EXPECT_EQ(colour[3], 0.5f);
    glGetMaterialfv(GL_FRONT, GL_DIFFUSE, colour);
    EXPECT_EQ(colour[0], 0.0f);
    EXPECT_EQ(colour[1], 0.0f);
    EXPECT_EQ(colour[2], 0.0f);
    glGetMaterialfv(GL_FRONT, GL_SPECULAR, colour);
    EXPECT_EQ(colour[0], 0.0f);
    glGetMaterialfv(GL_FRONT, GL_SHININESS, &shininess);
    EXPECT_EQ(shininess, 0.0f);

    // Red, green and blue in their bytes; the top byte is ignored; both
    // faces get the material.
    ASSERT_TRUE(renderer.enableBlending(0.25f));
    ASSERT_TRUE(renderer.setMaterial(0x7F000000 | 0x102030, 0xFF405060, 0x00FF80, 0.5f));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(integerState(GL_BLEND_SRC), GL_SRC_ALPHA);
    EXPECT_EQ(integerState(GL_BLEND_DST), GL_ONE_MINUS_SRC_ALPHA);
    for (GLenum face : {GL_FRONT, GL_BACK}) {
        glGetMaterialfv(face, GL_AMBIENT, colour);
        EXPECT_FLOAT_EQ(colour[0], 0x10 / 255.0f);
        EXPECT_FLOAT_EQ(colour[1], 0x20 / 255.0f);
        EXPECT_FLOAT_EQ(colour[2], 0x30 / 255.0f);
        EXPECT_EQ(colour[3], 0.25f);
        glGetMaterialfv(face, GL_DIFFUSE, colour);
        EXPECT_FLOAT_EQ(colour[0], 0x40 / 255.0f);
        EXPECT_FLOAT_EQ(colour[1], 0x50 / 255.0f);
        EXPECT_FLOAT_EQ(colour[2], 0x60 / 255.0f);
        EXPECT_EQ(colour[3], 0.25f);
        glGetMaterialfv(face, GL_SPECULAR, colour);
        EXPECT_FLOAT_EQ(colour[0], 0.0f);
        EXPECT_FLOAT_EQ(colour[1], 1.0f);
        EXPECT_FLOAT_EQ(colour[2], 0x80 / 255.0f);
        EXPECT_EQ(colour[3], 0.25f);
        glGetMaterialfv(face, GL_SHININESS, &shininess);
        EXPECT_EQ(shininess, 64.0f);
    }

    // After blending is switched off, materials carry alpha 0.
    ASSERT_TRUE(renderer.disableBlending());
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    ASSERT_TRUE(renderer.setMaterial(0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 1.0f));
    glGetMaterialfv(GL_FRONT, GL_DIFFUSE, colour);
    EXPECT_EQ(colour[0], 1.0f);
    EXPECT_EQ(colour[3], 0.0f);
}

TEST_F(RendererTest, TextureUnitsAndTheirFlags) {
    if (!ready) {
        return;
    }
    Renderer renderer;
    const unsigned char grey[3] = {128, 128, 128};
    const std::vector<unsigned char> image = twoColourImage(4, 4, grey, grey);
    const uint32_t name = renderer.createTexture(image.data(), 4, 4);
    ASSERT_NE(name, 0u);
    EXPECT_TRUE(glIsTexture(name));
    GLint internalFormat = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &internalFormat);
    EXPECT_TRUE(internalFormat == 3 || internalFormat == GL_RGB);
    GLint parameter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &parameter);
    EXPECT_EQ(parameter, GL_REPEAT);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &parameter);
    EXPECT_EQ(parameter, GL_LINEAR);
    EXPECT_TRUE(renderer.endFrame());

    ASSERT_TRUE(renderer.bindTexture(0, name));
    EXPECT_TRUE(renderer.textureEnabled[0]);
    EXPECT_FALSE(renderer.textureEnabled[1]);
    EXPECT_EQ(integerState(GL_MATRIX_MODE), GL_TEXTURE);
    EXPECT_EQ(integerState(GL_ACTIVE_TEXTURE_ARB), GL_TEXTURE0_ARB);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(static_cast<GLuint>(integerState(GL_TEXTURE_BINDING_2D)), name);
    EXPECT_EQ(textureEnvMode(), GL_MODULATE);

    ASSERT_TRUE(renderer.bindTexture(1, name));
    EXPECT_TRUE(renderer.textureEnabled[1]);
    EXPECT_EQ(integerState(GL_ACTIVE_TEXTURE_ARB), GL_TEXTURE1_ARB);
    EXPECT_EQ(textureEnvMode(), GL_BLEND);
    float envColour[4];
    glGetTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, envColour);
    EXPECT_EQ(envColour[0], 1.0f);
    EXPECT_EQ(envColour[1], 1.0f);
    EXPECT_EQ(envColour[2], 1.0f);
    EXPECT_EQ(envColour[3], 0.0f);

    ASSERT_TRUE(renderer.disableTexture(1));
    EXPECT_FALSE(renderer.textureEnabled[1]);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_TRUE(renderer.textureEnabled[0]);

    // Only units 0 and 1 exist; others change nothing and are not GL errors.
    for (int unit : {-1, 2, 7}) {
        EXPECT_FALSE(renderer.bindTexture(unit, name)) << unit;
        EXPECT_FALSE(renderer.disableTexture(unit)) << unit;
    }
    EXPECT_TRUE(renderer.textureEnabled[0]);
    EXPECT_EQ(renderer.lastError, 0);

    // Lines and wireframes clear the unit-0 flag but leave texturing on.
    const Vec3 a(0, 0, 0);
    const Vec3 b(1, 1, 0);
    ASSERT_TRUE(renderer.drawLine(&a, &b));
    EXPECT_FALSE(renderer.textureEnabled[0]);
    EXPECT_EQ(integerState(GL_ACTIVE_TEXTURE_ARB), GL_TEXTURE0_ARB);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    GLint polygonMode[2];
    glGetIntegerv(GL_POLYGON_MODE, polygonMode);
    EXPECT_EQ(polygonMode[0], GL_FILL);
    EXPECT_EQ(polygonMode[1], GL_FILL);

    ASSERT_TRUE(renderer.bindTexture(0, name));
    const Vec3 corners[3] = {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0)};
    const uint32_t indices[3] = {0, 1, 2};
    ASSERT_TRUE(renderer.drawWireframe(corners, indices, 1));
    EXPECT_FALSE(renderer.textureEnabled[0]);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    glGetIntegerv(GL_POLYGON_MODE, polygonMode);
    EXPECT_EQ(polygonMode[0], GL_FILL);
    EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));

    ASSERT_TRUE(renderer.drawPoint(&a, 4.0f));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
}

// Shared scene for the pixel tests: a camera on the -z side looking at the
// origin, so a triangle in the z = 0 plane wound counter-clockwise as seen
// from there faces the camera and has the normal (0, 0, -1).
class RendererPixelTest : public RendererTest {
  protected:
    void SetUp() override {
        RendererTest::SetUp();
        if (!ready) {
            return;
        }
        renderer = new Renderer();
        ASSERT_TRUE(renderer->setViewport(windowWidth, windowHeight));
        ASSERT_TRUE(renderer->beginFrame(0x203040, true));
        const Vec3 eye(0.0f, 0.0f, -100.0f);
        const Vec3 centre(0.0f, 0.0f, 0.0f);
        const Vec3 up(0.0f, 1.0f, 0.0f);
        ASSERT_TRUE(renderer->setCamera(&eye, &centre, &up));
    }
    void TearDown() override {
        delete renderer;
        RendererTest::TearDown();
    }

    Renderer* renderer = nullptr;
    // Seen from -z looking towards +z, +x is on the screen's left.
    const Vec3 corners[3] = {Vec3(20.0f, -20.0f, 0.0f), Vec3(-20.0f, -20.0f, 0.0f),
                             Vec3(0.0f, 25.0f, 0.0f)};
    const Vec3 normals[3] = {Vec3(0, 0, -1), Vec3(0, 0, -1), Vec3(0, 0, -1)};
};

TEST_F(RendererPixelTest, ClearingFillsTheClearColourAndDepthOnlyKeepsIt) {
    if (!ready) {
        return;
    }
    expectPixelNear(0, 0, 0x20, 0x30, 0x40, 0);
    expectPixelNear(639, 479, 0x20, 0x30, 0x40, 0);
    expectPixelNear(320, 240, 0x20, 0x30, 0x40, 0);
    // Depth only: the previous colour stays although the clear colour changed.
    ASSERT_TRUE(renderer->beginFrame(0xFFFFFF, false));
    expectPixelNear(320, 240, 0x20, 0x30, 0x40, 0);
    ASSERT_TRUE(renderer->beginFrame(0x00FF00, true));
    expectPixelNear(320, 240, 0, 255, 0, 0);
}

TEST_F(RendererPixelTest, LitTexturedTriangleLandsWhereItShould) {
    if (!ready) {
        return;
    }
    // Left half of the texture (s < 0.5) warm, right half cool.
    const unsigned char warm[3] = {200, 150, 100};
    const unsigned char cool[3] = {40, 120, 240};
    const std::vector<unsigned char> image = twoColourImage(64, 64, warm, cool);
    const uint32_t name = renderer->createTexture(image.data(), 64, 64);
    ASSERT_NE(name, 0u);

    Mat4 model; // identity: drawn in world coordinates
    ASSERT_TRUE(renderer->setModelMatrix(&model));
    ASSERT_TRUE(renderer->setMaterial(0x404040, 0x808080, 0, 0.0f));
    ASSERT_TRUE(renderer->bindTexture(0, name));
    // s runs from 0 at world +x (screen left) to 1 at world -x (screen right).
    const float texCoords[6] = {0.0f, 0.0f, 1.0f, 0.0f, 0.5f, 1.0f};
    const uint32_t indices[3] = {0, 1, 2};
    ASSERT_TRUE(renderer->drawTriangles(corners, texCoords, normals, indices, 1));
    ASSERT_TRUE(renderer->endFrame());

    // Lit colour: material ambient times (global 0.2 + light 0.9), plus the
    // diffuse times N.L for the world-fixed light (0.1, 0.4, -1); then
    // modulated by the texel.
    const float nDotL = 1.0f / std::sqrt(0.01f + 0.16f + 1.0f);
    const float lit = (0x40 / 255.0f) * 1.1f + (0x80 / 255.0f) * nDotL;
    const int centreY = windowHeight / 2;
    // 240 pixels are 100 tan 30 = 57.7 units at the triangle: 50 pixels
    // below the centre it is about 68 pixels wide on either side.
    const int left = 320 - 35;
    const int right = 320 + 35;
    const int below = centreY - 50;
    expectPixelNear(left, below, static_cast<int>(lit * warm[0] + 0.5f),
                    static_cast<int>(lit * warm[1] + 0.5f), static_cast<int>(lit * warm[2] + 0.5f),
                    3);
    expectPixelNear(right, below, static_cast<int>(lit * cool[0] + 0.5f),
                    static_cast<int>(lit * cool[1] + 0.5f), static_cast<int>(lit * cool[2] + 0.5f),
                    3);
    // Outside the triangle the clear colour remains.
    expectPixelNear(320, 440, 0x20, 0x30, 0x40, 0);
    expectPixelNear(40, centreY, 0x20, 0x30, 0x40, 0);
    expectPixelNear(600, centreY, 0x20, 0x30, 0x40, 0);
    // Culling: the same triangle seen from behind draws nothing.
    ASSERT_TRUE(renderer->beginFrame(0x203040, true));
    const Vec3 behind(0.0f, 0.0f, 100.0f);
    const Vec3 centre(0.0f, 0.0f, 0.0f);
    const Vec3 up(0.0f, 1.0f, 0.0f);
    ASSERT_TRUE(renderer->setCamera(&behind, &centre, &up));
    ASSERT_TRUE(renderer->drawTriangles(corners, texCoords, normals, indices, 1));
    expectPixelNear(320, centreY - 30, 0x20, 0x30, 0x40, 0);
}

TEST_F(RendererPixelTest, UntexturedTrianglesIgnoreTextureCoordinates) {
    if (!ready) {
        return;
    }
    const unsigned char black[3] = {0, 0, 0};
    const std::vector<unsigned char> image = twoColourImage(4, 4, black, black);
    const uint32_t name = renderer->createTexture(image.data(), 4, 4);
    ASSERT_TRUE(renderer->bindTexture(0, name));
    ASSERT_TRUE(renderer->disableTexture(0));
    ASSERT_TRUE(renderer->setMaterial(0x808080, 0, 0, 0.0f));
    const float texCoords[6] = {0, 0, 1, 0, 0.5f, 1};
    ASSERT_TRUE(renderer->drawTriangle(corners, texCoords, normals));
    // Ambient only: 0.5 * 1.1 of white, not the black texture.
    const int expected = static_cast<int>((0x80 / 255.0f) * 1.1f * 255.0f + 0.5f);
    expectPixelNear(320, 220, expected, expected, expected, 2);
}

TEST_F(RendererPixelTest, SingleTrianglesAreTexturedThroughUnitZero) {
    if (!ready) {
        return;
    }
    const unsigned char red[3] = {255, 0, 0};
    const unsigned char blue[3] = {0, 0, 255};
    const std::vector<unsigned char> image = twoColourImage(64, 64, red, blue);
    const uint32_t name = renderer->createTexture(image.data(), 64, 64);
    ASSERT_TRUE(renderer->setMaterial(0xFFFFFF, 0, 0, 0.0f));
    ASSERT_TRUE(renderer->bindTexture(0, name));
    // All three corners in the blue half.
    const float texCoords[6] = {0.75f, 0.5f, 0.8f, 0.5f, 0.9f, 0.6f};
    ASSERT_TRUE(renderer->drawTriangle(corners, texCoords, normals));
    unsigned char rgb[3];
    readPixel(320, 220, rgb);
    EXPECT_LE(rgb[0], 2);
    EXPECT_LE(rgb[1], 2);
    EXPECT_GE(rgb[2], 250);
}

TEST_F(RendererPixelTest, BlendingMixesByTheMaterialAlpha) {
    if (!ready) {
        return;
    }
    // White background, then a black-ambient, white-emission-free quad: use
    // a pure ambient material so the lit colour is known, at alpha 0.25.
    ASSERT_TRUE(renderer->beginFrame(0xFFFFFF, true));
    const Vec3 eye(0.0f, 0.0f, -100.0f);
    const Vec3 centre(0.0f, 0.0f, 0.0f);
    const Vec3 up(0.0f, 1.0f, 0.0f);
    ASSERT_TRUE(renderer->setCamera(&eye, &centre, &up));
    ASSERT_TRUE(renderer->enableBlending(0.25f));
    ASSERT_TRUE(renderer->setMaterial(0, 0, 0, 0.0f));
    ASSERT_TRUE(renderer->drawTriangle(corners, nullptr, normals));
    // 0.25 * black + 0.75 * white.
    expectPixelNear(320, 220, 191, 191, 191, 2);

    // Opaque again: the same triangle now covers the background fully.
    ASSERT_TRUE(renderer->disableBlending());
    ASSERT_TRUE(renderer->setMaterial(0, 0, 0, 0.0f));
    ASSERT_TRUE(renderer->drawTriangle(corners, nullptr, normals));
    expectPixelNear(320, 220, 0, 0, 0, 0);
}

// Without GL_ARB_multitexture (entry points null) the renderer must never
// call through a null pointer: unit 0 works through the core calls and unit 1
// is refused.
TEST_F(RendererPixelTest, WithoutMultitextureUnitZeroStillTextures) {
    if (!ready) {
        return;
    }
    renderer->glActiveTextureARB = nullptr;
    renderer->glClientActiveTextureARB = nullptr;
    renderer->glMultiTexCoord2fvARB = nullptr;
    const unsigned char red[3] = {255, 0, 0};
    const unsigned char blue[3] = {0, 0, 255};
    const std::vector<unsigned char> image = twoColourImage(64, 64, red, blue);
    const uint32_t name = renderer->createTexture(image.data(), 64, 64);
    ASSERT_NE(name, 0u);

    EXPECT_FALSE(renderer->bindTexture(1, name));
    EXPECT_FALSE(renderer->textureEnabled[1]);
    EXPECT_FALSE(renderer->disableTexture(1));
    ASSERT_TRUE(renderer->bindTexture(0, name));
    EXPECT_TRUE(renderer->textureEnabled[0]);
    EXPECT_EQ(integerState(GL_ACTIVE_TEXTURE_ARB), GL_TEXTURE0_ARB);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));

    ASSERT_TRUE(renderer->setMaterial(0xFFFFFF, 0, 0, 0.0f));
    const float inBlue[6] = {0.75f, 0.5f, 0.8f, 0.5f, 0.9f, 0.6f};
    ASSERT_TRUE(renderer->drawTriangle(corners, inBlue, normals));
    unsigned char rgb[3];
    readPixel(320, 220, rgb);
    EXPECT_LE(rgb[0], 2);
    EXPECT_GE(rgb[2], 250);

    const float inRed[6] = {0.1f, 0.5f, 0.2f, 0.5f, 0.3f, 0.6f};
    const uint32_t indices[3] = {0, 1, 2};
    ASSERT_TRUE(renderer->drawTriangles(corners, inRed, normals, indices, 1));
    readPixel(320, 220, rgb);
    EXPECT_GE(rgb[0], 250);
    EXPECT_LE(rgb[2], 2);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));

    const Vec3 a(0, 0, 0);
    const Vec3 b(1, 1, 0);
    EXPECT_TRUE(renderer->drawLine(&a, &b));
    EXPECT_TRUE(renderer->drawPoint(&a, 2.0f));
    EXPECT_TRUE(renderer->drawWireframe(corners, indices, 1));
    EXPECT_TRUE(renderer->disableTexture(0));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(renderer->lastError, 0);
}
