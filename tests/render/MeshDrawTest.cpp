// Mesh::draw in a real Mesa GL context: a square facing the camera is drawn
// through the Renderer and the read-back pixels show its material, its
// texture (uploaded from a Bitmap), its yellow wireframe, its blending and its
// transform. Run under xvfb-run.
#include "render/Bitmap.h"
#include "render/Mesh.h"
#include "render/Renderer.h"

#include "tests/support/GlContext.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Clear colour behind every picture: a dark blue.
const int background = 0x000080;

// The square spans x and y from -20 to 20 at z = 0; the camera at z = 100
// looks at it with a 60 degree field of view, so on the 640 x 480 window it
// covers about x 237..403 and y 157..323 around the centre (320, 240).
const int centreX = 320;
const int centreY = 240;
const int quarter = 41; // window pixels from the centre to a quadrant's middle

class MeshDrawTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ready = requireGlContext();
        if (!ready) {
            return;
        }
        resetGlState();
        renderer = new Renderer();
    }
    void TearDown() override { delete renderer; }

    void drawFrame(Mesh& mesh, const Vec3& eye = Vec3(0, 0, 100),
                   const Vec3& centre = Vec3(0, 0, 0)) {
        renderer->setViewport(640, 480);
        renderer->beginFrame(background, true);
        const Vec3 up(0, 1, 0);
        renderer->setCamera(&eye, &centre, &up);
        EXPECT_TRUE(mesh.draw());
        renderer->endFrame();
        glFinish();
    }

    // The square as two counter-clockwise triangles facing +z, texture
    // coordinates 0..1 across it, normals +z.
    static void buildSquare(Mesh& mesh) {
        ASSERT_TRUE(mesh.allocate(4, 2, 3));
        const Vec3 corners[4] = {{-20, -20, 0}, {20, -20, 0}, {20, 20, 0}, {-20, 20, 0}};
        const float st[8] = {0, 0, 1, 0, 1, 1, 0, 1};
        const uint32_t triangles[6] = {0, 1, 2, 0, 2, 3};
        for (int k = 0; k < 4; ++k) {
            mesh.vertices[k] = corners[k];
            mesh.normals[k] = Vec3(0, 0, 1);
            mesh.texCoords[2 * k] = st[2 * k];
            mesh.texCoords[2 * k + 1] = st[2 * k + 1];
        }
        for (int k = 0; k < 6; ++k) {
            mesh.indices[k] = triangles[k];
        }
    }

    static bool isYellow(const unsigned char rgb[3]) {
        return rgb[0] > 200 && rgb[1] > 200 && rgb[2] < 60;
    }
    static bool isBackground(const unsigned char rgb[3]) {
        return rgb[0] < 10 && rgb[1] < 10 && rgb[2] > 110 && rgb[2] < 145;
    }

    bool ready = false;
    Renderer* renderer = nullptr;
};

// A 16 x 16 BMP in four coloured quadrants, as a file would hold it.
std::vector<unsigned char> quadrantBmp() {
    const int size = 16;
    const size_t rowBytes = 3 * size;
    std::vector<unsigned char> bytes(54 + rowBytes * size, 0);
    const unsigned char header[] = {'B', 'M'};
    bytes[0] = header[0];
    bytes[1] = header[1];
    bytes[10] = 54;
    bytes[14] = 40;
    bytes[18] = size;
    bytes[22] = size;
    bytes[26] = 1;
    bytes[28] = 24;
    for (int fileRow = 0; fileRow < size; ++fileRow) {
        const bool top = fileRow >= size / 2; // the file's last rows are the top
        for (int column = 0; column < size; ++column) {
            const bool left = column < size / 2;
            // Picture top-left red, top-right green, bottom-left blue,
            // bottom-right white; stored B, G, R.
            unsigned char r = 0, g = 0, b = 0;
            if (top && left) {
                r = 255;
            } else if (top) {
                g = 255;
            } else if (left) {
                b = 255;
            } else {
                r = g = b = 255;
            }
            unsigned char* p = bytes.data() + 54 + rowBytes * fileRow + 3 * column;
            p[0] = b;
            p[1] = g;
            p[2] = r;
        }
    }
    return bytes;
}

} // namespace

TEST_F(MeshDrawTest, MaterialColourFillsTheSquare) {
    if (!ready) {
        return;
    }
    Mesh mesh(renderer);
    buildSquare(mesh);
    // Ambient only: the light comes from behind the square, so its colour is
    // the material ambient times the light's 0.9 plus GL's global 0.2.
    mesh.setMaterial(0x800000, 0x000000, 0x000000, 0.0f);
    drawFrame(mesh);
    unsigned char rgb[3];
    readPixel(centreX, centreY, rgb);
    EXPECT_NEAR(rgb[0], 141, 4); // 128/255 * 1.1
    EXPECT_LT(rgb[1], 5);
    EXPECT_LT(rgb[2], 5);
    // Outside the square: the clear colour.
    readPixel(centreX + 120, centreY, rgb);
    EXPECT_TRUE(isBackground(rgb)) << int(rgb[0]) << " " << int(rgb[1]) << " " << int(rgb[2]);
}

TEST_F(MeshDrawTest, TextureFromBitmapModulatesWhiteMaterial) {
    if (!ready) {
        return;
    }
    const std::vector<unsigned char> file = quadrantBmp();
    Bitmap bitmap;
    ASSERT_TRUE(bitmap.loadFromMemory(file.data(), file.size(), "quadrants.bmp"));
    bitmap.resizeToPowerOfTwo();
    const uint32_t texture =
        renderer->createTexture(bitmap.pixels(), bitmap.width(), bitmap.height());
    ASSERT_NE(texture, 0u);

    Mesh mesh(renderer);
    buildSquare(mesh);
    mesh.setMaterial(0xFFFFFF, 0x000000, 0x000000, 0.0f);
    mesh.textureId = static_cast<int>(texture);
    drawFrame(mesh);

    // The picture's top row is texture row t = 0, which lies along the
    // square's bottom edge: the picture appears upside down on the square.
    struct Probe {
        int dx, dy;
        unsigned char r, g, b;
    } probes[] = {{-quarter, -quarter, 255, 0, 0},
                  {quarter, -quarter, 0, 255, 0},
                  {-quarter, quarter, 0, 0, 255},
                  {quarter, quarter, 255, 255, 255}};
    for (const Probe& p : probes) {
        unsigned char rgb[3];
        readPixel(centreX + p.dx, centreY + p.dy, rgb);
        EXPECT_NEAR(rgb[0], p.r, 8) << p.dx << "," << p.dy;
        EXPECT_NEAR(rgb[1], p.g, 8) << p.dx << "," << p.dy;
        EXPECT_NEAR(rgb[2], p.b, 8) << p.dx << "," << p.dy;
    }

    // The same mesh without a texture shows the plain white material.
    mesh.textureId = -1;
    drawFrame(mesh);
    unsigned char rgb[3];
    readPixel(centreX - quarter, centreY - quarter, rgb);
    EXPECT_GT(rgb[1], 245);
    EXPECT_GT(rgb[2], 245);
}

TEST_F(MeshDrawTest, WireframeIsYellowAndIgnoresMaterialAndTexture) {
    if (!ready) {
        return;
    }
    const std::vector<unsigned char> file = quadrantBmp();
    Bitmap bitmap;
    ASSERT_TRUE(bitmap.loadFromMemory(file.data(), file.size(), "quadrants.bmp"));
    Mesh mesh(renderer);
    buildSquare(mesh);
    mesh.setMaterial(0xFF0000, 0xFF0000, 0xFF0000, 0.5f);
    mesh.textureId =
        static_cast<int>(renderer->createTexture(bitmap.pixels(), bitmap.width(), bitmap.height()));
    mesh.wireframe = true;
    drawFrame(mesh);

    // Along a row above the centre: the left edge, the diagonal and the right
    // edge are yellow lines; between them the background shows through.
    const int row = centreY + 40;
    int yellowRuns = 0;
    bool inYellow = false;
    for (int x = centreX - 100; x <= centreX + 100; ++x) {
        unsigned char rgb[3];
        readPixel(x, row, rgb);
        const bool yellow = isYellow(rgb);
        if (yellow && !inYellow) {
            ++yellowRuns;
        }
        inYellow = yellow;
        EXPECT_TRUE(yellow || isBackground(rgb))
            << x << ": " << int(rgb[0]) << " " << int(rgb[1]) << " " << int(rgb[2]);
    }
    EXPECT_EQ(yellowRuns, 3);
    unsigned char rgb[3];
    readPixel(centreX - 20, row, rgb);
    EXPECT_TRUE(isBackground(rgb));
}

TEST_F(MeshDrawTest, TransparentMeshBlendsAndLeavesBlendingOff) {
    if (!ready) {
        return;
    }
    Mesh mesh(renderer);
    buildSquare(mesh);
    mesh.setMaterial(0xFF0000, 0x000000, 0x000000, 0.0f);
    mesh.transparent = true;
    drawFrame(mesh);
    unsigned char rgb[3];
    readPixel(centreX, centreY, rgb);
    // Half red over half of the dark blue background.
    EXPECT_NEAR(rgb[0], 128, 6);
    EXPECT_NEAR(rgb[2], 64, 6);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(renderer->materialAlpha, 0.0f);
}

TEST_F(MeshDrawTest, ZeroColoursKeepTheCurrentMaterial) {
    if (!ready) {
        return;
    }
    Mesh mesh(renderer);
    buildSquare(mesh);
    renderer->setMaterial(0x00FF00, 0, 0, 0.0f);
    drawFrame(mesh);
    unsigned char rgb[3];
    readPixel(centreX, centreY, rgb);
    EXPECT_LT(rgb[0], 5);
    EXPECT_GT(rgb[1], 245);
    EXPECT_LT(rgb[2], 5);
}

TEST_F(MeshDrawTest, TransformMovesTheSquare) {
    if (!ready) {
        return;
    }
    Mesh mesh(renderer);
    buildSquare(mesh);
    mesh.setMaterial(0xFF0000, 0, 0, 0.0f);
    // 30 units to the right is about 125 pixels at this distance.
    mesh.transform.translate(Vec3(30, 0, 0));
    drawFrame(mesh);
    unsigned char rgb[3];
    readPixel(centreX, centreY, rgb);
    EXPECT_TRUE(isBackground(rgb)) << int(rgb[0]) << " " << int(rgb[1]) << " " << int(rgb[2]);
    readPixel(centreX + 125, centreY, rgb);
    EXPECT_GT(rgb[0], 245);
}

TEST_F(MeshDrawTest, LoadedCubeDrawsItsFrontFace) {
    if (!ready) {
        return;
    }
    Mesh cube(renderer);
    const std::string path = std::string(DRAVONEL_TEST_DATA) + "/lib3ds-cube.3ds";
    // The unit cube at scale 20 spans x -20..0, y 0..20, z 0..20.
    ASSERT_TRUE(cube.load3ds(path.c_str(), 0, 20.0f)) << cube.failureReason();
    cube.setMaterial(0x0000FF, 0, 0, 0.0f);
    drawFrame(cube, Vec3(-10, 10, 100), Vec3(-10, 10, 10));
    unsigned char rgb[3];
    readPixel(centreX, centreY, rgb);
    EXPECT_LT(rgb[0], 5);
    EXPECT_GT(rgb[2], 245);
    // Just outside the cube's outline (about 52 pixels from the centre at the
    // front face's distance of 80).
    readPixel(centreX + 70, centreY, rgb);
    EXPECT_TRUE(isBackground(rgb));
}
