// Driving scenarios: the generated truck, driven through TruckApp::key and
// TruckApp::advance exactly as the program drives it, must rest, drive,
// reverse, turn, brake, survive rough ground and reset.
#include "physics/PhysicsWorld.h"
#include "render/Mesh.h"
#include "scene/RenderScale.h"
#include "tests/support/TruckDriver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

const char* const assetDir = DRAVONEL_ASSET_DIR;
const float pi = 3.14159265f;

float horizontalDistance(const Vec3& a, const Vec3& b) {
    const float dx = a.x - b.x;
    const float dz = a.z - b.z;
    return std::sqrt(dx * dx + dz * dz);
}

// Heading change from `from` to `to` in degrees, wrapped into -180..180.
float headingChange(float from, float to) {
    float d = to - from;
    while (d > 180.0f) {
        d -= 360.0f;
    }
    while (d < -180.0f) {
        d += 360.0f;
    }
    return d;
}

class Driving : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(driver.load(assetDir)) << driver.app.failureReason(); }

    // Distance of the body from its start along the start's forward axis.
    float forwardTravel(const BodyPose& start, const BodyPose& now) const {
        return dot(now.origin - start.origin, start.forward);
    }
    float sidewaysTravel(const BodyPose& start, const BodyPose& now) const {
        const Vec3 right = cross(start.forward, Vec3(0.0f, 1.0f, 0.0f));
        return dot(now.origin - start.origin, normalized(right));
    }

    TruckDriver driver;
};

TEST_F(Driving, RestsWithoutKeys) {
    float worstTilt = 0.0f;
    float deepest = 0.0f;
    driver.run(5.0, [&] {
        worstTilt = std::fmax(worstTilt, driver.pose().tiltDegrees);
        deepest = std::fmax(deepest, driver.deepestPenetration());
    });
    ASSERT_TRUE(driver.allFinite());
    const Vec3 v = driver.chassisVelocity();
    EXPECT_LT(std::sqrt(dot(v, v)), 0.05f);
    EXPECT_LT(driver.pose().tiltDegrees, 3.0f);
    EXPECT_LT(worstTilt, 3.0f);
    EXPECT_LT(deepest, 0.05f);
}

TEST_F(Driving, DrivesForwardWithWheelsRolling) {
    driver.run(1.0);
    const BodyPose start = driver.pose();
    const Wheel* wheels = driver.app.world->wheels();
    // Rim radius from the particles: hub midpoint to the group's third particle.
    const Vec3* p = driver.app.world->positions();
    const Vec3 hubMid = (p[0] + p[1]) * 0.5f;
    const Vec3 rim = p[2] - hubMid;
    const float radius = std::sqrt(dot(rim, rim));

    driver.press(keyCodeUp);
    float worstTilt = 0.0f;
    double spinSum = 0.0;
    double speedSum = 0.0;
    int samples = 0;
    driver.run(10.0, [&] {
        worstTilt = std::fmax(worstTilt, driver.pose().tiltDegrees);
        if (driver.time() > 9.0) {
            float meanSpin = 0.0f;
            for (int w = 0; w < 4; ++w) {
                meanSpin += wheels[w].spin() * 0.25f;
            }
            const Vec3 v = driver.chassisVelocity();
            spinSum += std::fabs(meanSpin);
            speedSum += std::sqrt(v.x * v.x + v.z * v.z);
            ++samples;
        }
    });
    const BodyPose end = driver.pose();
    ASSERT_TRUE(driver.allFinite());
    EXPECT_GE(forwardTravel(start, end), 20.0f);
    EXPECT_LT(std::fabs(sidewaysTravel(start, end)), 3.0f);
    EXPECT_LT(worstTilt, 25.0f);
    const double groundSpeed = speedSum / samples;
    const double rollingSpeed = spinSum / samples * 2.0 * pi * radius;
    EXPECT_NEAR(groundSpeed, rollingSpeed, 0.25 * rollingSpeed)
        << "ground " << groundSpeed << " m/s, wheels " << rollingSpeed << " m/s";
}

TEST_F(Driving, Reverses) {
    driver.run(1.0);
    const BodyPose start = driver.pose();
    driver.press(keyCodeDown);
    driver.run(6.0);
    ASSERT_TRUE(driver.allFinite());
    EXPECT_LE(forwardTravel(start, driver.pose()), -4.0f);
}

TEST_F(Driving, SteeringRightTurnsRightAndLeftTurnsLeft) {
    for (int side = 0; side < 2; ++side) {
        TruckDriver run;
        ASSERT_TRUE(run.load(assetDir)) << run.app.failureReason();
        run.press(keyCodeUp);
        run.run(4.0);
        const float before = run.pose().headingDegrees;
        run.press(side == 0 ? keyCodeRight : keyCodeLeft);
        run.run(4.0);
        ASSERT_TRUE(run.allFinite());
        const float turned = headingChange(before, run.pose().headingDegrees);
        if (side == 0) {
            EXPECT_GE(turned, 30.0f) << "right arrow turned by " << turned << " degrees";
        } else {
            EXPECT_LE(turned, -30.0f) << "left arrow turned by " << turned << " degrees";
        }
    }
}

TEST_F(Driving, BrakesToAStandstill) {
    driver.press(keyCodeUp);
    driver.run(8.0);
    driver.release(keyCodeUp);
    driver.press(keyCodeSpace);
    double stoppedAt = -1.0;
    const double brakeStart = driver.time();
    driver.run(6.0, [&] {
        const Vec3 v = driver.chassisVelocity();
        if (stoppedAt < 0.0 && std::sqrt(dot(v, v)) < 0.3f) {
            stoppedAt = driver.time() - brakeStart;
        }
    });
    ASSERT_TRUE(driver.allFinite());
    EXPECT_GE(stoppedAt, 0.0) << "still moving after 6 s of braking";
    const Vec3 v = driver.chassisVelocity();
    EXPECT_LT(std::sqrt(dot(v, v)), 0.3f);
    EXPECT_LT(driver.pose().tiltDegrees, 10.0f);
}

TEST_F(Driving, SurvivesRoughGroundAndRamps) {
    float fastest = 0.0f;
    float worstStretch = 0.0f;
    bool finite = true;
    float furthestFromStrip = 0.0f;
    auto check = [&] {
        finite = finite && driver.allFinite();
        fastest = std::fmax(fastest, driver.maxParticleSpeed());
        worstStretch = std::fmax(worstStretch, driver.maxSpringStretch());
        furthestFromStrip = std::fmax(furthestFromStrip, std::fabs(driver.pose().origin.x));
    };
    // Weave along the strip at speed, then swerve off it into the bumps.
    driver.press(keyCodeUp);
    driver.run(4.0, check);
    for (int leg = 0; leg < 8 && finite; ++leg) {
        const int steer = leg % 2 == 0 ? keyCodeLeft : keyCodeRight;
        driver.press(steer);
        driver.run(leg == 6 ? 1.5 : 0.7, check);
        driver.release(steer);
        driver.run(2.0, check);
    }
    EXPECT_GT(furthestFromStrip, 8.0f) << "the truck never reached the bumps";

    // Then from the top of a ramp, down its 14 degree slope with the steering
    // swinging, over its side or into the wall at its foot.
    driver.release(keyCodeUp);
    driver.placeAt(-19.0f, 21.0f);
    driver.run(1.0, check);
    driver.press(keyCodeUp);
    for (int leg = 0; leg < 10 && finite; ++leg) {
        const int steer = leg % 2 == 0 ? keyCodeRight : keyCodeLeft;
        driver.press(steer);
        driver.run(1.0, check);
        driver.release(steer);
        driver.run(1.9, check);
    }
    EXPECT_TRUE(finite);
    EXPECT_LT(fastest, 50.0f);
    EXPECT_LT(worstStretch, 3.0f);
}

TEST_F(Driving, EscapePutsTheTruckBackAtItsStart) {
    driver.press(keyCodeUp);
    driver.run(3.0);
    driver.release(keyCodeUp);
    driver.press(keyCodeEscape);
    driver.release(keyCodeEscape);

    PhysicsWorld fresh;
    const std::string model = std::string(assetDir) + "/Modell.txt";
    ASSERT_TRUE(fresh.loadModel(model.c_str())) << fresh.failureReason();
    ASSERT_EQ(driver.app.world->particleCount(), fresh.particleCount());
    for (int i = 0; i < fresh.particleCount(); ++i) {
        const Vec3 a = driver.app.world->positions()[i];
        const Vec3 b = fresh.positions()[i];
        ASSERT_EQ(a.x, b.x) << "particle " << i;
        ASSERT_EQ(a.y, b.y) << "particle " << i;
        ASSERT_EQ(a.z, b.z) << "particle " << i;
        const Vec3 v = driver.app.world->particles()[i].velocity;
        ASSERT_EQ(dot(v, v), 0.0f) << "particle " << i;
    }
    EXPECT_EQ(driver.app.throttleRamp.value(), 0.0f);
}

TEST_F(Driving, FailedResetKeepsTheTruckDriving) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("dravonel-reset-" + std::to_string(getpid()));
    fs::create_directories(dir);
    for (const char* name : {"Modell.txt", "chevy_nowheels_3c.3ds", "wheel.3ds"}) {
        fs::copy_file(fs::path(assetDir) / name, dir / name, fs::copy_options::overwrite_existing);
    }
    TruckDriver local;
    ASSERT_TRUE(local.load(dir.string())) << local.app.failureReason();
    local.press(keyCodeUp);
    local.run(3.0);
    fs::remove(dir / "Modell.txt");

    PhysicsWorld* before = local.app.world;
    const BodyPose poseBefore = local.pose();
    local.press(keyCodeEscape);
    local.release(keyCodeEscape);
    EXPECT_EQ(local.app.world, before);
    EXPECT_NE(std::string(local.app.failureReason()).find("Modell.txt"), std::string::npos)
        << local.app.failureReason();
    local.run(2.0);
    ASSERT_TRUE(local.allFinite());
    EXPECT_GT(horizontalDistance(local.pose().origin, poseBefore.origin), 2.0f);
    fs::remove_all(dir);
}

TEST_F(Driving, FitsFollowTheParticles) {
    const Vec3* p = driver.app.world->positions();
    const Mesh* body = driver.app.bodyMesh;
    const int vertices[4] = {1244, 884, 1099, 738};
    const int particles[4] = {137, 138, 139, 136};
    auto worstBodyResidual = [&] {
        const Mat4 b = driver.app.bodyTransform();
        float worst = 0.0f;
        for (int k = 0; k < 4; ++k) {
            const Vec3 d =
                b.transformPoint(body->vertices[vertices[k]]) - p[particles[k]] * renderScale;
            worst = std::fmax(worst, std::sqrt(dot(d, d)));
        }
        return worst;
    };
    auto worstWheelOffset = [&] {
        const int hubs[4][2] = {{0, 1}, {34, 35}, {68, 69}, {102, 103}};
        float worst = 0.0f;
        for (int w = 0; w < 4; ++w) {
            const Mat4 m = driver.app.wheelTransform(w);
            const Vec3 centre = m.transformPoint(driver.app.wheelMesh1->centroid);
            const Vec3 hubMid = (p[hubs[w][0]] + p[hubs[w][1]]) * (0.5f * renderScale);
            const Vec3 d = centre - hubMid;
            worst = std::fmax(worst, std::sqrt(dot(d, d)));
        }
        return worst;
    };

    EXPECT_LT(worstBodyResidual(), 1.0f);
    const Mat4 rest = driver.app.bodyTransform();
    const int linear[9] = {0, 1, 2, 4, 5, 6, 8, 9, 10};
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int k = 0; k < 9; ++k) {
        EXPECT_NEAR(rest.m[linear[k]], identity[k], 0.01f) << "element " << linear[k];
    }
    EXPECT_LT(worstWheelOffset(), 3.0f);

    driver.run(2.0);
    EXPECT_LT(worstBodyResidual(), 1.0f);
    driver.press(keyCodeUp);
    driver.press(keyCodeRight);
    float worstDriving = 0.0f;
    float worstWheel = 0.0f;
    driver.run(6.0, [&] {
        worstDriving = std::fmax(worstDriving, worstBodyResidual());
        worstWheel = std::fmax(worstWheel, worstWheelOffset());
    });
    EXPECT_LT(worstDriving, 15.0f);
    EXPECT_LT(worstWheel, 3.0f);
}

} // namespace
