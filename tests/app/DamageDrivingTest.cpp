// Damage in the driven truck: reversing into the default world's wall at
// about 11.6 m/s leaves a mark only with damage on, Esc and recover repair
// it, and on screen the body meshes follow the particles: still at rest,
// never torn from their particles, falling back to the rigid fit where a
// frame comes apart, and showing the dent.
#include "app/TruckApp.h"
#include "physics/BodyShape.h"
#include "physics/PhysicsWorld.h"
#include "render/Mesh.h"
#include "render/Renderer.h"
#include "scene/DeformingMesh.h"
#include "scene/RenderScale.h"
#include "tests/support/GlContext.h"
#include "tests/support/TruckDriver.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

const int downArrow = 359;
const int escape = 27;

// Reverses from the start until the wall stops the truck, lets go at 7 s
// and waits until 13 s, when it is at rest.
void crashIntoTheWall(TruckDriver& driver) {
    driver.press(downArrow);
    float fastest = 0.0f;
    driver.run(7.0, [&] { fastest = std::max(fastest, driver.chassisSpeed()); });
    driver.release(downArrow);
    driver.run(6.0);
    EXPECT_GT(fastest, 11.0f) << "the truck reaches the wall at speed";
    EXPECT_LT(driver.chassisSpeed(), 0.2f) << "at rest after the crash";
}

double shapeOf(TruckDriver& driver) {
    BodyShape shape;
    EXPECT_TRUE(shape.bind(*driver.app.world));
    return shape.deviation(driver.app.world->positions());
}

} // namespace

TEST(DamageDriving, AWallCrashLeavesAMarkOnlyWithDamage) {
    double shapes[2][2];
    for (int damage = 0; damage < 2; ++damage) {
        SCOPED_TRACE(damage ? "damage on" : "damage off");
        TruckDriver driver;
        driver.app.damage = damage == 1;
        ASSERT_TRUE(driver.load(DRAVONEL_ASSET_DIR)) << driver.app.failureReason();
        EXPECT_EQ(driver.app.world->damageEnabled(), damage == 1);
        crashIntoTheWall(driver);
        shapes[damage][0] = shapeOf(driver);
        driver.run(5.0);
        shapes[damage][1] = shapeOf(driver);
        EXPECT_TRUE(driver.allFinite());
        EXPECT_EQ(driver.app.unstableResets, 0);
        // The overlay's damage line, only with damage on.
        driver.app.hud.format(driver.app, 0.0f);
        const std::string line = driver.app.hud.line(Hud::damageLine);
        if (damage == 1) {
            EXPECT_GT(driver.app.world->yieldedCount(), 0);
            EXPECT_EQ(line.find("damage "), 0u) << line;
            EXPECT_NE(line.find(" % yielded, 0 broken"), std::string::npos) << line;
            // A fresh truck (Esc) and a recovered one ('r') are whole again,
            // with damage still on.
            driver.press(escape);
            driver.release(escape);
            EXPECT_EQ(driver.app.world->yieldedCount(), 0);
            EXPECT_TRUE(driver.app.world->damageEnabled());
            crashIntoTheWall(driver);
            ASSERT_GT(driver.app.world->yieldedCount(), 0);
            driver.press('r');
            driver.release('r');
            EXPECT_EQ(driver.app.recoveries, 1);
            EXPECT_EQ(driver.app.world->yieldedCount(), 0);
            EXPECT_EQ(driver.app.world->brokenCount(), 0);
            EXPECT_TRUE(driver.app.world->damageEnabled());
        } else {
            EXPECT_EQ(driver.app.world->yieldedCount(), 0);
            EXPECT_EQ(line, "");
        }
    }
    EXPECT_LT(shapes[0][0], 0.01);
    EXPECT_LT(shapes[0][1], 0.01);
    EXPECT_GE(shapes[1][0], 0.03);
    EXPECT_GE(shapes[1][1], 0.03);
    EXPECT_NEAR(shapes[1][1], shapes[1][0], 0.005) << "the dent stays";
}

class DamageOnScreen : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(requireGlContext());
        resetGlState();
        renderer.reset(new Renderer());
        driver.app.damage = true;
        ASSERT_TRUE(driver.load(DRAVONEL_ASSET_DIR, renderer.get())) << driver.app.failureReason();
        ASSERT_NE(driver.app.deformingBody, nullptr);
    }

    std::vector<unsigned char> drawAndRead(bool deformed) {
        driver.app.world->setDamage(deformed);
        driver.app.frame(static_cast<float>(driver.time()));
        driver.app.world->setDamage(true);
        std::vector<unsigned char> rgb(640 * 480 * 3);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, 640, 480, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        return rgb;
    }
    // Pixels that differ by more than the shading of the same surface from
    // slightly different normals.
    static int differingPixels(const std::vector<unsigned char>& a,
                               const std::vector<unsigned char>& b) {
        int count = 0;
        for (size_t i = 0; i < a.size(); ++i) {
            count += std::abs(a[i] - b[i]) > 40 ? 1 : 0;
        }
        return count;
    }
    std::vector<Vec3> vertices(int part) {
        const Mesh* mesh = driver.app.deformingBody->part(part).mesh();
        return std::vector<Vec3>(mesh->vertices, mesh->vertices + mesh->vertexCount);
    }
    // How far (m) each vertex lies outside the box of the particles it is
    // bound to, the largest over the shell.
    std::vector<float> outsideBoxes() {
        DeformingMesh& shell = driver.app.deformingBody->part(0);
        const Vec3* p = driver.app.world->positions();
        std::vector<float> outside(static_cast<size_t>(shell.mesh()->vertexCount), 0.0f);
        for (int v = 0; v < shell.mesh()->vertexCount; ++v) {
            int bound[4 * DeformingMesh::framesPerVertex];
            if (shell.boundParticles(v, bound) == 0) {
                continue;
            }
            Vec3 low(1e30f, 1e30f, 1e30f);
            Vec3 high(-1e30f, -1e30f, -1e30f);
            for (int k : bound) {
                if (k >= 0) {
                    low = Vec3(std::min(low.x, p[k].x), std::min(low.y, p[k].y),
                               std::min(low.z, p[k].z));
                    high = Vec3(std::max(high.x, p[k].x), std::max(high.y, p[k].y),
                                std::max(high.z, p[k].z));
                }
            }
            const Vec3 at = shell.mesh()->vertices[v] * (1.0f / renderScale);
            const Vec3 gap(std::max({0.0f, low.x - at.x, at.x - high.x}),
                           std::max({0.0f, low.y - at.y, at.y - high.y}),
                           std::max({0.0f, low.z - at.z, at.z - high.z}));
            outside[static_cast<size_t>(v)] = std::sqrt(dot(gap, gap));
        }
        return outside;
    }

    std::unique_ptr<Renderer> renderer; // outlives the driver's meshes
    TruckDriver driver;
};

TEST_F(DamageOnScreen, TheMeshFollowsTheParticlesAndShowsTheDent) {
    driver.app.key(259, true); // F3: the camera beside the truck
    driver.app.key(259, false);
    // Frames drawn while it settles, so that the camera has come to rest too.
    driver.run(9.0);
    driver.run(1.0, [&] { driver.app.frame(static_cast<float>(driver.time())); });
    // At rest: from one frame to the next no vertex moves 0.1 mm.
    drawAndRead(true);
    std::vector<Vec3> before[DeformingBody::meshCount];
    for (int part = 0; part < DeformingBody::meshCount; ++part) {
        before[part] = vertices(part);
    }
    driver.run(1.0 / 60.0);
    const std::vector<unsigned char> restDeformed = drawAndRead(true);
    float moved = 0.0f;
    for (int part = 0; part < DeformingBody::meshCount; ++part) {
        const std::vector<Vec3> now = vertices(part);
        for (size_t v = 0; v < now.size(); ++v) {
            const Vec3 d = (now[v] - before[part][v]) * (1.0f / renderScale);
            moved = std::max(moved, std::sqrt(dot(d, d)));
        }
    }
    EXPECT_LT(moved, 0.0001f);
    std::printf("at rest the body's vertices move at most %.6f m from frame to frame\n", moved);

    EXPECT_EQ(driver.app.deformingBody->part(0).fallbackFrames(), 0);
    const std::vector<float> restOutside = outsideBoxes();
    // At rest the deformed truck is drawn where the rigid one is.
    const std::vector<unsigned char> restRigid = drawAndRead(false);
    const int restDifference = differingPixels(restDeformed, restRigid);

    // A frame whose particles come apart falls back to the rigid fit: one
    // body particle pulled 3 m away moves no vertex far from where the
    // rigid fit puts it.
    {
        Vec3& pulled = driver.app.world->positions()[150];
        const Vec3 kept = pulled;
        pulled.y += 3.0f;
        const Mat4 body = driver.app.bodyTransform();
        driver.app.deformingBody->update(driver.app.world->positions(), body);
        EXPECT_GT(driver.app.deformingBody->part(0).fallbackFrames(), 0);
        const Mesh* shell = driver.app.deformingBody->part(0).mesh();
        float farthest = 0.0f;
        for (int v = 0; v < shell->vertexCount; ++v) {
            const Vec3 d =
                (shell->vertices[v] - body.transformPoint(driver.app.bodyMesh->vertices[v])) *
                (1.0f / renderScale);
            farthest = std::max(farthest, std::sqrt(dot(d, d)));
        }
        EXPECT_LT(farthest, 0.05f);
        pulled = kept;
    }

    crashIntoTheWall(driver);
    ASSERT_GT(driver.app.world->yieldedCount(), 0);
    const std::vector<unsigned char> crashed = drawAndRead(true);
    const std::vector<float> crashOutside = outsideBoxes();
    float worst = 0.0f;
    for (size_t v = 0; v < crashOutside.size(); ++v) {
        worst = std::max(worst, crashOutside[v] - restOutside[v]);
    }
    std::printf("after the crash no vertex lies more than %.4f m further outside the box of "
                "its particles than at rest\n",
                worst);
    EXPECT_LT(worst, 0.05f) << "a vertex left the box of its particles";
    for (int part = 0; part < DeformingBody::meshCount; ++part) {
        for (const Vec3& v : vertices(part)) {
            ASSERT_TRUE(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z));
        }
    }
    // The dent shows: the deformed body and the rigid fit of the same
    // particles differ in many more pixels than at rest.
    const int crashDifference = differingPixels(crashed, drawAndRead(false));
    std::printf("deformed against rigid: %d pixel values differ at rest, %d after the crash\n",
                restDifference, crashDifference);
    EXPECT_GT(crashDifference, 400);
    EXPECT_GT(crashDifference, 5 * restDifference + 100)
        << "at rest " << restDifference << " pixels differ";
}
