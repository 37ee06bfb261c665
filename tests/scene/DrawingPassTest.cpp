// Drawing passes in a real GL context: every sky box face shows its own
// texture in its own direction whatever the eye position, struts are visible
// from both sides under back-face culling, and the mass/spring view draws
// red particles and white springs at 60 scene units to the metre.
#include "physics/PhysicsWorld.h"
#include "physics/Terrain.h"
#include "render/Renderer.h"
#include "scene/GrabView.h"
#include "scene/GroundPatch.h"
#include "scene/MassSpringView.h"
#include "scene/RenderScale.h"
#include "scene/SkyBox.h"
#include "scene/Strut.h"
#include "tests/support/GlContext.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

class DrawingPass : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(requireGlContext());
        resetGlState();
        renderer = new Renderer();
        glViewport(0, 0, 640, 480);
    }
    void TearDown() override { delete renderer; }

    // A 16 x 16 texture of one colour, bytes R, G, B, 0.
    uint32_t solidTexture(unsigned char r, unsigned char g, unsigned char b) {
        std::vector<unsigned char> pixels(16 * 16 * 4);
        for (size_t i = 0; i < pixels.size(); i += 4) {
            pixels[i] = r;
            pixels[i + 1] = g;
            pixels[i + 2] = b;
            pixels[i + 3] = 0;
        }
        return renderer->createTexture(pixels.data(), 16, 16);
    }

    Renderer* renderer = nullptr;
};

TEST_F(DrawingPass, EachSkyFaceShowsItsTextureInItsDirection) {
    const unsigned char colours[6][3] = {{200, 0, 0},   {0, 200, 0},   {0, 0, 200},
                                         {200, 200, 0}, {0, 200, 200}, {200, 0, 200}};
    uint32_t faces[6];
    for (int i = 0; i < 6; ++i) {
        faces[i] = solidTexture(colours[i][0], colours[i][1], colours[i][2]);
        ASSERT_NE(faces[i], 0u);
    }
    // rt is the z = +1 face, bk x = -1, lf z = -1, ft x = +1, up y = +1, dn y = -1.
    const Vec3 directions[6] = {Vec3(0, 0, 1), Vec3(-1, 0, 0), Vec3(0, 0, -1),
                                Vec3(1, 0, 0), Vec3(0, 1, 0),  Vec3(0, -1, 0)};
    const Vec3 eyes[2] = {Vec3(0, 0, 0), Vec3(100, -40, 2500)};
    for (const Vec3& eye : eyes) {
        for (int i = 0; i < 6; ++i) {
            const Vec3 target = eye + directions[i] * 100.0f;
            const Vec3 up = i >= 4 ? Vec3(0, 0, 1) : Vec3(0, 1, 0);
            renderer->beginFrame(0x000000, true);
            ASSERT_TRUE(renderer->setCamera(&eye, &target, &up));
            drawSkyBoxPass(renderer, faces, eye);
            unsigned char centre[3];
            readPixel(320, 240, centre);
            EXPECT_EQ(centre[0], colours[i][0]) << "face " << i;
            EXPECT_EQ(centre[1], colours[i][1]) << "face " << i;
            EXPECT_EQ(centre[2], colours[i][2]) << "face " << i;
            EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST)) << "depth test left off";
        }
    }
    EXPECT_EQ(renderer->lastError, 0);
}

TEST_F(DrawingPass, SkyBoxCornersAreTheUnitCubeAroundTheEye) {
    for (int face = 0; face < 6; ++face) {
        for (int corner = 0; corner < 4; ++corner) {
            const Vec3 c = skyBoxCorner(face, corner);
            EXPECT_EQ(std::abs(c.x), 1.0f);
            EXPECT_EQ(std::abs(c.y), 1.0f);
            EXPECT_EQ(std::abs(c.z), 1.0f);
        }
        // Counter-clockwise seen from the centre: the face normal from the
        // winding points back at the eye.
        const Vec3 a = skyBoxCorner(face, 0);
        const Vec3 b = skyBoxCorner(face, 1);
        const Vec3 c = skyBoxCorner(face, 2);
        const Vec3 n = cross(b - a, c - a);
        EXPECT_LT(dot(n, a), 0.0f) << "face " << face;
    }
}

TEST_F(DrawingPass, StrutIsVisibleFromBothSides) {
    // A vertical strut whose x ribbon spans x = 0..40 in the plane z = 0.
    const Vec3 from(0.0f, -100.0f, 0.0f);
    const Vec3 to(0.0f, 100.0f, 0.0f);
    const Vec3 up(0.0f, 1.0f, 0.0f);
    const Vec3 centre(0.0f, 0.0f, 0.0f);
    const Vec3 eyes[2] = {Vec3(0.0f, 0.0f, 500.0f), Vec3(0.0f, 0.0f, -500.0f)};
    for (const Vec3& eye : eyes) {
        renderer->beginFrame(0xFFFFFF, true);
        ASSERT_TRUE(renderer->setCamera(&eye, &centre, &up));
        const Mat4 identity;
        renderer->setModelMatrix(&identity);
        renderer->disableTexture(0);
        renderer->setMaterial(0, 0, 0, 0.0f);
        drawStrutPass(renderer, from, to, 40.0f);
        // Seen from behind, +x is on the left of the picture.
        const int column = eye.z > 0.0f ? 335 : 305;
        unsigned char pixel[3];
        readPixel(column, 240, pixel);
        EXPECT_LT(pixel[0], 40) << "eye z " << eye.z;
        EXPECT_LT(pixel[1], 40) << "eye z " << eye.z;
        EXPECT_LT(pixel[2], 40) << "eye z " << eye.z;
        // Far from the segment the clear colour shows.
        readPixel(100, 240, pixel);
        EXPECT_EQ(pixel[0], 255);
    }
}

// The grab's node, line and target show through the body in front of them,
// and the passes after it are depth-tested again.
TEST_F(DrawingPass, GrabMarkerShowsThroughTheBodyInFront) {
    const Vec3 eye(0.0f, 0.0f, 500.0f);
    const Vec3 centre(0.0f, 0.0f, 0.0f);
    const Vec3 up(0.0f, 1.0f, 0.0f);
    renderer->beginFrame(0xFFFFFF, true);
    ASSERT_TRUE(renderer->setCamera(&eye, &centre, &up));
    const Mat4 identity;
    renderer->setModelMatrix(&identity);
    renderer->disableTexture(0);
    renderer->setMaterial(0, 0, 0, 0.0f);
    // A black ribbon 400 wide across the picture's centre, nearer the eye.
    drawStrutPass(renderer, Vec3(-200.0f, -100.0f, 100.0f), Vec3(-200.0f, 100.0f, 100.0f), 400.0f);
    unsigned char pixel[3];
    readPixel(320, 244, pixel);
    ASSERT_LT(pixel[0] + pixel[1] + pixel[2], 60) << "the ribbon does not cover the centre";
    drawGrabPass(renderer, Vec3(0.0f, 5.0f, -100.0f), Vec3(0.0f, 200.0f, -100.0f));
    readPixel(320, 244, pixel);
    EXPECT_GT(pixel[0], 200) << "the node behind the ribbon is hidden";
    EXPECT_GT(pixel[1], 150);
    EXPECT_LT(pixel[2], 100);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
}

TEST_F(DrawingPass, MassSpringViewDrawsRedParticlesAndWhiteSprings) {
    // Two particles one metre apart joined by one spring; no other elements.
    const char* const model = "2\n"
                              "0 0 0 1\n"
                              "1 0 0 1\n"
                              "1\n"
                              "0 1 100 1\n"
                              "0\n0\n0\n0\n";
    PhysicsWorld world;
    ASSERT_TRUE(world.loadModelFromText(model, std::strlen(model), "two")) << world.failureReason();

    // Looking straight down -z at the middle of the spring from 200 away: a
    // scene unit is 480 / (2 * 200 * tan 30 deg) = 2.08 pixels.
    const Vec3 eye(30.0f, 0.0f, 200.0f);
    const Vec3 centre(30.0f, 0.0f, 0.0f);
    const Vec3 up(0.0f, 1.0f, 0.0f);
    renderer->beginFrame(0x000000, true);
    ASSERT_TRUE(renderer->setCamera(&eye, &centre, &up));
    Mat4 elsewhere;
    elsewhere.translate(Vec3(500.0f, 0.0f, 0.0f));
    renderer->setModelMatrix(&elsewhere);
    drawMassSpringPass(renderer, &world);
    EXPECT_EQ(renderer->lastError, 0);

    // The particles at scene x = 0 and 60, as points of size 10; read them
    // just off the line that runs through their centres.
    const float pixelsPerUnit = 240.0f / (200.0f * std::tan(3.14159265f / 6.0f));
    const int columns[2] = {static_cast<int>(320.0f - 30.0f * pixelsPerUnit + 0.5f),
                            static_cast<int>(320.0f + 30.0f * pixelsPerUnit + 0.5f)};
    unsigned char pixel[3];
    for (int column : columns) {
        readPixel(column, 244, pixel);
        EXPECT_GT(pixel[0], 200) << "particle at column " << column;
        EXPECT_LT(pixel[1], 40) << "particle at column " << column;
        EXPECT_LT(pixel[2], 40) << "particle at column " << column;
    }
    // The spring between them in white; nothing beside it.
    readPixel(320, 240, pixel);
    EXPECT_GT(pixel[0], 200);
    EXPECT_GT(pixel[1], 200);
    EXPECT_GT(pixel[2], 200);
    readPixel(320, 250, pixel);
    EXPECT_LT(pixel[0] + pixel[1] + pixel[2], 30);
    // Outside the spring's reach the view draws nothing.
    readPixel(columns[0] - 20, 240, pixel);
    EXPECT_LT(pixel[0] + pixel[1] + pixel[2], 30);

    // With damage on, a yielded spring is orange and a broken one is gone.
    world.setDamage(true);
    world.springs()[0].restLength = 1.1f;
    renderer->beginFrame(0x000000, true);
    ASSERT_TRUE(renderer->setCamera(&eye, &centre, &up));
    drawMassSpringPass(renderer, &world);
    readPixel(320, 240, pixel);
    EXPECT_GT(pixel[0], 200);
    EXPECT_GT(pixel[1], 80);
    EXPECT_LT(pixel[1], 180);
    EXPECT_LT(pixel[2], 40);
    world.springDamage()[0].broken = 1;
    renderer->beginFrame(0x000000, true);
    ASSERT_TRUE(renderer->setCamera(&eye, &centre, &up));
    drawMassSpringPass(renderer, &world);
    readPixel(320, 240, pixel);
    EXPECT_LT(pixel[0] + pixel[1] + pixel[2], 30);
}

} // namespace

// The ground of a map is drawn whole, by three levels: every cell the view
// can show (ahead, whatever the heading, and all around the eye) is drawn by
// exactly one of them, the map's own cells near the eye and coarser ones
// farther off, and those behind it are left out. Skirts hang where levels
// meet. The fine window is refilled where it moves to, with the map's heights.
TEST(GroundPatch, DrawsEveryCellInViewOnceCoarserWithDistance) {
    // 1.2 km across, wide enough for all three levels.
    const int cells = 600;
    std::vector<float> heights((cells + 1) * (cells + 1));
    for (size_t k = 0; k < heights.size(); ++k) {
        heights[k] = 0.01f * static_cast<float>(k % (cells + 1));
    }
    Terrain ground;
    ASSERT_TRUE(ground.build(heights.data(), cells + 1, cells + 1, 2.0f, -600.0f, -600.0f));
    GroundPatch patch;
    const float reach = 115.7f;
    ASSERT_TRUE(patch.init(nullptr, &ground, reach, -1));
    EXPECT_EQ(patch.windowX, 120);
    EXPECT_GT(patch.fineRadius, 100.0f);
    EXPECT_GT(patch.middleRadius, patch.fineRadius + 50.0f);
    patch.fill(90, 80);
    EXPECT_EQ(patch.mesh.vertices[0].y, ground.height(90, 80) * renderScale);
    EXPECT_EQ(patch.mesh.vertices[121].x, ground.gridPoint(91, 81).x * renderScale);
    // A coarse sample is the map's own sample.
    const int farRow = (cells + 15) / GroundPatch::farFactor + 1;
    EXPECT_EQ(patch.farMesh.vertices[farRow + 1].y, ground.height(16, 16) * renderScale);
    // Eye at the window's centre, looking along each of four headings.
    const float eyeX = ground.minX() + 2.0f * (90 + 60);
    const float eyeZ = ground.minZ() + 2.0f * (80 + 60);
    const float headings[4][2] = {{0.0f, -1.0f}, {1.0f, 0.0f}, {-0.6f, 0.8f}, {0.0f, 1.0f}};
    for (const auto& f : headings) {
        patch.selectCells(eyeX, eyeZ, 3.0f * f[0], 3.0f * f[1]);
        // How often each of the map's cells is drawn.
        std::vector<int> drawn(cells * cells, 0);
        const auto cover = [&](const Mesh& mesh, int pairs, int row, int factor, int firstI,
                               int firstJ) {
            for (int t = 0; t < pairs; ++t) {
                const uint32_t k = mesh.indices[6 * t];
                const int ci = firstI + static_cast<int>(k % row) * factor;
                const int cj = firstJ + static_cast<int>(k / row) * factor;
                for (int j = cj; j < cj + factor && j < cells; ++j) {
                    for (int i = ci; i < ci + factor && i < cells; ++i) {
                        ++drawn[j * cells + i];
                    }
                }
            }
        };
        cover(patch.mesh, patch.fineCells, 120, 1, 90, 80);
        cover(patch.middleMesh, patch.middleCells, cells / 4 + 1, 4, 0, 0);
        cover(patch.farMesh, patch.farCells, farRow, 16, 0, 0);
        EXPECT_GT(patch.fineCells, 1000);
        EXPECT_GT(patch.middleCells, 100);
        EXPECT_GT(patch.farCells, 10);
        // Skirts follow each level's cells, facing away from them: out of
        // the fine disc round the eye, and into the far level's hole.
        const Mesh& skirts = patch.skirtMesh;
        const int farSkirts = skirts.triangleCount - patch.fineSkirts - patch.middleSkirts;
        EXPECT_GT(patch.fineSkirts, 0);
        EXPECT_GT(patch.middleSkirts, 0);
        EXPECT_GT(farSkirts, 0);
        const Vec3 eye(eyeX * renderScale, 0.0f, eyeZ * renderScale);
        const auto facing = [&](int first, int last, float outward) {
            for (int t = first; t < last; ++t) {
                const uint32_t* v = skirts.indices + 3 * t;
                const Vec3 a = skirts.vertices[v[0]];
                const Vec3 n = cross(skirts.vertices[v[1]] - a, skirts.vertices[v[2]] - a);
                EXPECT_NEAR(n.y, 0.0f, 1e-3f * std::sqrt(dot(n, n)));
                const Vec3 from = a - eye;
                ASSERT_GT(outward * (n.x * from.x + n.z * from.z), 0.0f) << "skirt " << t;
            }
        };
        facing(0, patch.fineSkirts, 1.0f);
        facing(skirts.triangleCount - farSkirts, skirts.triangleCount, -1.0f);
        for (int j = 0; j < cells; ++j) {
            for (int i = 0; i < cells; ++i) {
                const float vx = ground.minX() + 2.0f * (i + 0.5f) - eyeX;
                const float vz = ground.minZ() + 2.0f * (j + 0.5f) - eyeZ;
                const float distance = std::sqrt(vx * vx + vz * vz);
                const float along = (vx * f[0] + vz * f[1]) / distance;
                ASSERT_LE(drawn[j * cells + i], 1) << i << "," << j << " drawn twice";
                // Every cell whose centre lies within the wedge, 75 degrees to each
                // side of the heading, is drawn, up to its very edge.
                if (along >= 0.2588f || distance < 11.0f) {
                    ASSERT_EQ(drawn[j * cells + i], 1) << i << "," << j << " in view, not drawn";
                }
                if (along < 0.0f && distance > 80.0f) {
                    ASSERT_EQ(drawn[j * cells + i], 0) << i << "," << j << " behind, drawn";
                }
            }
        }
    }
}
