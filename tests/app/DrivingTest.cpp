// Driving scenarios: the generated truck, driven through TruckApp::key and
// TruckApp::advance exactly as the program drives it at 60 frames per
// second, must start in view of the fixed camera and drive away from it,
// rest, accelerate, reverse, turn, brake, keep moving at full lock, climb,
// kick up dust that the frame shows, survive rough ground and reset.
#include "app/camera/CameraView.h"
#include "app/input/DrawnPick.h"
#include "app/record/KeyScript.h"
#include "physics/DustSystem.h"
#include "physics/PhysicsWorld.h"
#include "physics/PositionHash.h"
#include "render/Mesh.h"
#include "render/Renderer.h"
#include "scene/RenderScale.h"
#include "tests/support/GlContext.h"
#include "tests/support/TruckDriver.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <unistd.h>
#include <vector>

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

TEST_F(Driving, AcceleratesToTopSpeedWithWheelsRolling) {
    const BodyPose start = driver.pose();
    const Wheel* wheels = driver.app.world->wheels();
    // Rim radius from the particles: hub midpoint to the group's third particle.
    const Vec3* p = driver.app.world->positions();
    const Vec3 hubMid = (p[0] + p[1]) * 0.5f;
    const Vec3 rim = p[2] - hubMid;
    const float radius = std::sqrt(dot(rim, rim));

    // Full throttle from a standstill for 6 s: the flat strip ends (with the
    // world) about 60 m ahead.
    driver.press(keyCodeUp);
    float worstTilt = 0.0f;
    double reached20 = -1.0;
    float topSpeed = 0.0f;
    Vec3 halfSecondAgo = start.origin;
    double spinSum = 0.0;
    double speedSum = 0.0;
    int samples = 0;
    long frames = 0;
    driver.run(6.0, [&] {
        const BodyPose now = driver.pose();
        worstTilt = std::fmax(worstTilt, now.tiltDegrees);
        if (reached20 < 0.0 && forwardTravel(start, now) >= 20.0f) {
            reached20 = driver.time();
        }
        // Speed over the last half second, from the body's travel.
        if (++frames % 30 == 0) {
            topSpeed = std::fmax(topSpeed, horizontalDistance(now.origin, halfSecondAgo) / 0.5f);
            halfSecondAgo = now.origin;
        }
        if (driver.time() > 5.0) {
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
    EXPECT_GT(reached20, 0.0);
    EXPECT_LT(reached20, 4.5) << "0-20 m";
    EXPECT_GE(topSpeed, 9.0f);
    EXPECT_GE(forwardTravel(start, end), 40.0f);
    EXPECT_LT(std::fabs(sidewaysTravel(start, end)), 3.0f);
    EXPECT_LT(worstTilt, 25.0f);
    const double groundSpeed = speedSum / samples;
    const double rollingSpeed = spinSum / samples * 2.0 * pi * radius;
    EXPECT_NEAR(groundSpeed, rollingSpeed, 0.25 * rollingSpeed)
        << "ground " << groundSpeed << " m/s, wheels " << rollingSpeed << " m/s";
    std::printf("0-20 m in %.2f s, top speed %.1f m/s\n", reached20, topSpeed);
}

TEST_F(Driving, Reverses) {
    driver.run(1.0);
    const BodyPose start = driver.pose();
    driver.press(keyCodeDown);
    driver.run(6.0);
    ASSERT_TRUE(driver.allFinite());
    EXPECT_LE(forwardTravel(start, driver.pose()), -4.0f);
}

// Drives a fresh truck by `script` for `seconds` as dravonel-sim does (the
// events of a frame's time before that frame); the positions hash at the end
// and the chassis speed (m/s) in *speed.
uint64_t driveScript(const char* script, double seconds, float* speed) {
    TruckDriver run;
    EXPECT_TRUE(run.load(assetDir)) << run.app.failureReason();
    KeyScript events;
    EXPECT_TRUE(events.parse(script)) << events.failureReason();
    const long frames = std::lround(seconds * TruckDriver::framesPerSecond);
    for (long frame = 0; frame <= frames; ++frame) {
        events.sendUntil(static_cast<double>(frame) / TruckDriver::framesPerSecond, &run.app);
        if (frame < frames) {
            run.run(1.0 / TruckDriver::framesPerSecond);
        }
    }
    EXPECT_TRUE(run.allFinite()) << script;
    *speed = run.chassisSpeed();
    return positionHash(run.app.world->positions(), run.app.world->particleCount());
}

// Analog controls at full deflection are the keys bit for bit: throttle,
// steering there and back, reverse with left lock, and the brake. Half
// throttle is clearly slower after 5.5 s than full.
TEST(AnalogDriving, FullDeflectionIsTheKeyAndHalfThrottleIsSlower) {
    const char* const pairs[][2] = {
        {"0:throttle=1", "0:+up"},
        {"0:throttle=1 3:steer=1 5:steer=0", "0:+up 3:+right 5:-right"},
        {"0:throttle=-1 3:steer=-1", "0:+down 3:+left"},
        {"0:throttle=1 3:brake=1 5:brake=0", "0:+up 3:+space 5:-space"},
    };
    float speed = 0.0f;
    const uint64_t resting = driveScript("", 5.5, &speed);
    for (const auto& pair : pairs) {
        const uint64_t analog = driveScript(pair[0], 5.5, &speed);
        EXPECT_EQ(analog, driveScript(pair[1], 5.5, &speed)) << pair[0] << " vs " << pair[1];
        EXPECT_NE(analog, resting) << pair[0] << " drove nothing";
    }
    float full = 0.0f;
    float half = 0.0f;
    driveScript("0:throttle=1", 5.5, &full);
    driveScript("0:throttle=0.5", 5.5, &half);
    EXPECT_GT(full, 9.0f);
    EXPECT_LT(half, 0.8f * full) << "half " << half << " m/s, full " << full << " m/s";
    EXPECT_GT(half, 0.3f * full) << "half " << half << " m/s, full " << full << " m/s";
    std::printf("after 5.5 s: half throttle %.2f m/s, full %.2f m/s\n", half, full);
}

TEST_F(Driving, SteeringRightTurnsRightAndLeftTurnsLeft) {
    for (int side = 0; side < 2; ++side) {
        TruckDriver run;
        ASSERT_TRUE(run.load(assetDir)) << run.app.failureReason();
        run.press(keyCodeUp);
        run.run(4.0);
        // Summed frame by frame: the truck may turn further than half a circle.
        float heading = run.pose().headingDegrees;
        float turned = 0.0f;
        run.press(side == 0 ? keyCodeRight : keyCodeLeft);
        run.run(4.0, [&] {
            const float now = run.pose().headingDegrees;
            turned += headingChange(heading, now);
            heading = now;
        });
        ASSERT_TRUE(run.allFinite());
        if (side == 0) {
            EXPECT_GE(turned, 30.0f) << "right arrow turned by " << turned << " degrees";
        } else {
            EXPECT_LE(turned, -30.0f) << "left arrow turned by " << turned << " degrees";
        }
    }
}

// The README's braking example: 4 s of full throttle, then the brake.
TEST_F(Driving, BrakesToAStandstill) {
    driver.press(keyCodeUp);
    driver.run(4.0);
    driver.release(keyCodeUp);
    driver.press(keyCodeSpace);
    double stoppedAt = -1.0;
    const double brakeStart = driver.time();
    driver.run(6.0, [&] {
        if (stoppedAt < 0.0 && driver.chassisSpeed() < 0.3f) {
            stoppedAt = driver.time() - brakeStart;
        }
    });
    ASSERT_TRUE(driver.allFinite());
    EXPECT_GE(stoppedAt, 0.0) << "still moving after 6 s of braking";
    EXPECT_LT(driver.chassisSpeed(), 0.3f);
    EXPECT_LT(driver.pose().tiltDegrees, 10.0f);
}

// Throttle held and full lock from some moment on: wherever the circles take
// the truck (over the bumps beside the strip), it keeps moving for 30 s,
// never slower than 0.5 m/s for more than 3 s. Right lock from 4 s is the
// README's turning example. Later than about 4.5 s the truck is near the
// end of the world and slides off it.
struct LockCase {
    int key;
    double lockAt; // s after the start, throttle held from 0
};

void PrintTo(const LockCase& c, std::ostream* out) {
    *out << (c.key == keyCodeRight ? "right" : "left") << " lock from " << c.lockAt << " s";
}

class FullLock : public Driving, public ::testing::WithParamInterface<LockCase> {};

TEST_P(FullLock, KeepsMovingFor30Seconds) {
    driver.press(keyCodeUp);
    driver.run(GetParam().lockAt);
    driver.press(GetParam().key);
    double slowSince = -1.0;
    double longestSlow = 0.0;
    bool finite = true;
    driver.run(30.0, [&] {
        finite = finite && driver.allFinite();
        if (driver.chassisSpeed() >= 0.5f) {
            slowSince = -1.0;
        } else if (slowSince < 0.0) {
            slowSince = driver.time();
        } else {
            longestSlow = std::fmax(longestSlow, driver.time() - slowSince);
        }
    });
    ASSERT_TRUE(finite);
    EXPECT_LE(longestSlow, 3.0) << "stalled near " << driver.pose().origin.x << ", "
                                << driver.pose().origin.z;
    EXPECT_LT(driver.pose().tiltDegrees, 60.0f) << "rolled over";
}

INSTANTIATE_TEST_SUITE_P(Driving, FullLock,
                         ::testing::Values(LockCase{keyCodeRight, 0.0}, LockCase{keyCodeLeft, 0.0},
                                           LockCase{keyCodeRight, 2.0}, LockCase{keyCodeLeft, 2.0},
                                           LockCase{keyCodeRight, 4.0}, LockCase{keyCodeLeft, 4.0}),
                         [](const ::testing::TestParamInfo<LockCase>& info) {
                             return std::string(info.param.key == keyCodeRight ? "Right" : "Left") +
                                    "From" + std::to_string(static_cast<int>(info.param.lockAt)) +
                                    "s";
                         });

// From a standstill at the foot of the 14 degree ramp (x -24..-14, rising
// from z = -14 to its top at z = 24), facing up it, full throttle takes the
// truck to the top.
TEST_F(Driving, ClimbsTheRampFromAStandstill) {
    driver.placeAt(-19.0f, -10.5f, 180.0f);
    driver.press(keyCodeSpace);
    driver.run(2.0);
    ASSERT_LT(driver.chassisSpeed(), 0.1f) << "not at rest on the ramp";
    ASSERT_LT(driver.pose().origin.z, -10.0f);
    driver.release(keyCodeSpace);
    driver.press(keyCodeUp);
    const double start = driver.time();
    double top = -1.0;
    driver.run(15.0, [&] {
        if (top < 0.0 && driver.pose().origin.z > 20.0f) {
            top = driver.time() - start;
        }
    });
    EXPECT_GT(top, 0.0) << "got only to z = " << driver.pose().origin.z;
    std::printf("up the 14 degree ramp in %.1f s\n", top);
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
    // Swerve off the strip at speed into the bumps, then circle among them
    // at full lock, one way and then the other.
    driver.press(keyCodeUp);
    driver.run(1.5, check);
    driver.press(keyCodeRight);
    driver.run(0.6, check);
    driver.release(keyCodeRight);
    driver.run(1.4, check);
    driver.press(keyCodeRight);
    driver.run(10.0, check);
    driver.release(keyCodeRight);
    driver.press(keyCodeLeft);
    driver.run(12.0, check);
    driver.release(keyCodeLeft);
    EXPECT_GT(furthestFromStrip, 8.0f) << "the truck never reached the bumps";

    // Then from the top of a ramp, down its 14 degree slope with the steering
    // swinging, over its side or into the wall at its foot.
    driver.release(keyCodeUp);
    driver.placeAt(-19.0f, 21.0f, 0.0f);
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

// The front left top corner of the chassis (x -1, y 1.15, z -3 at the start).
const int topCorner = 141;

// A hand lifts a top corner 2 m: the truck tilts onto its other wheels and,
// let go, falls back onto all four and comes to rest.
TEST_F(Driving, GrabLiftsACornerAndTheTruckSettlesAfterRelease) {
    driver.run(1.0);
    const Vec3 corner = driver.app.world->positions()[topCorner];
    driver.app.grabParticle(topCorner, corner + Vec3(0.0f, 2.0f, 0.0f));
    ASSERT_EQ(driver.app.world->grab().particle, topCorner);
    float tilt = 0.0f;
    driver.run(1.5, [&] { tilt = std::fmax(tilt, driver.pose().tiltDegrees); });
    std::printf("lift: %.1f degrees of tilt within 1.5 s, corner up %.2f m\n", tilt,
                driver.app.world->positions()[topCorner].y - corner.y);
    EXPECT_GT(tilt, 15.0f);

    driver.app.releaseParticle();
    EXPECT_FALSE(driver.app.world->grab().active());
    driver.run(5.0);
    std::printf("after release: tilt %.2f degrees, %.3f m/s after 5 s\n", driver.pose().tiltDegrees,
                driver.chassisSpeed());
    EXPECT_LT(driver.pose().tiltDegrees, 10.0f);
    EXPECT_LT(driver.chassisSpeed(), 0.05f);
    EXPECT_LT(driver.deepestPenetration(), 0.05f);
}

// A target 60 m away (up, sideways, into the ground) pulls with the capped
// force: the truck moves far, but no node runs away and no spring tears,
// whichever node is held: a chassis corner, a hub or a light rim particle.
TEST_F(Driving, GrabOfAFarTargetPullsHardButBreaksNothing) {
    const Vec3 directions[3] = {Vec3(0.0f, 1.0f, 0.0f), Vec3(1.0f, 0.0f, 0.0f),
                                normalized(Vec3(0.0f, -1.0f, -1.0f))};
    float fastest = 0.0f;
    float worstStretch = 0.0f;
    for (int node : {topCorner, 0, 2}) {
        for (const Vec3& direction : directions) {
            TruckDriver local;
            ASSERT_TRUE(local.load(assetDir)) << local.app.failureReason();
            local.run(0.5);
            const Vec3 start = local.app.world->positions()[node];
            local.app.grabParticle(node, start + direction * 60.0f);
            bool finite = true;
            local.run(8.0, [&] {
                finite = finite && local.allFinite();
                fastest = std::fmax(fastest, local.maxParticleSpeed());
                worstStretch = std::fmax(worstStretch, local.maxSpringStretch());
            });
            EXPECT_TRUE(finite) << "node " << node;
            const Vec3 moved = local.app.world->positions()[node] - start;
            if (direction.y >= 0.0f) {
                EXPECT_GT(dot(moved, direction), 20.0f) << "node " << node;
            }
        }
    }
    std::printf("far target: fastest particle %.1f m/s, worst spring stretch %.2f\n", fastest,
                worstStretch);
    EXPECT_LT(fastest, 40.0f);
    EXPECT_LT(worstStretch, 3.0f);
}

// Escape builds a new world, which starts with nothing grabbed.
TEST_F(Driving, ResetLetsGo) {
    driver.app.grabParticle(topCorner, Vec3(0.0f, 5.0f, 0.0f));
    ASSERT_TRUE(driver.app.world->grab().active());
    driver.press(keyCodeEscape);
    driver.release(keyCodeEscape);
    EXPECT_FALSE(driver.app.world->grab().active());
    EXPECT_EQ(driver.app.grabbedParticle, -1);
    driver.app.grabParticle(driver.app.world->particleCount(), Vec3(0.0f, 5.0f, 0.0f));
    EXPECT_FALSE(driver.app.world->grab().active());
}

// The same truck drawn by TruckApp::frame in a real GL context.
class DrivingOnScreen : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(requireGlContext());
        resetGlState();
        renderer.reset(new Renderer());
        ASSERT_TRUE(driver.load(assetDir, renderer.get())) << driver.app.failureReason();
    }

    // Draws the frame at the driver's current time: the world is already
    // there, so the frame only draws.
    void drawFrame() { driver.app.frame(static_cast<float>(driver.time())); }
    std::vector<unsigned char> readFrame() const {
        std::vector<unsigned char> rgb(640 * 480 * 3);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, 640, 480, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        return rgb;
    }
    static int differingPixels(const std::vector<unsigned char>& a,
                               const std::vector<unsigned char>& b) {
        int count = 0;
        for (size_t i = 0; i < a.size(); i += 3) {
            count += a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2];
        }
        return count;
    }

    std::unique_ptr<Renderer> renderer; // outlives the driver's meshes
    TruckDriver driver;
};

// Camera F1's eye is fixed 200 scene units up and 300 back: the truck starts
// in front of it, wholly in the 640 x 480 picture and at least 120 pixels
// wide, and holding the up arrow drives it away along the flat strip.
TEST_F(DrivingOnScreen, StartsInViewOfTheFixedCameraAndDrivesAway) {
    ASSERT_EQ(driver.app.camera, 0);
    drawFrame();
    // The view and projection as the frame left them in GL.
    const Mat4 identity;
    renderer->setModelMatrix(&identity);
    GLdouble view[16];
    GLdouble projection[16];
    const GLint viewport[4] = {0, 0, 640, 480};
    glGetDoublev(GL_MODELVIEW_MATRIX, view);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    float left = 1e9f, right = -1e9f;
    int outside = 0;
    auto project = [&](const Vec3& scene, bool body) {
        GLdouble x, y, z;
        gluProject(scene.x, scene.y, scene.z, view, projection, viewport, &x, &y, &z);
        outside += x < 0.0 || x > 640.0 || y < 0.0 || y > 480.0 || z <= 0.0 || z >= 1.0;
        if (body) {
            left = std::fmin(left, static_cast<float>(x));
            right = std::fmax(right, static_cast<float>(x));
        }
    };
    const Vec3* p = driver.app.world->positions();
    for (int i = 0; i < driver.app.world->particleCount(); ++i) {
        project(p[i] * renderScale, i >= 136);
    }
    const Mat4 body = driver.app.bodyTransform();
    for (int i = 0; i < driver.app.bodyMesh->vertexCount; ++i) {
        project(body.transformPoint(driver.app.bodyMesh->vertices[i]), false);
    }
    EXPECT_EQ(outside, 0) << "points of the truck outside the picture";
    EXPECT_GE(right - left, 120.0f) << "body particles from x " << left << " to " << right;
    std::printf("body particles %.0f pixels wide at the start\n", right - left);

    // Flat ground ahead: the strip, |x| < 6, for 50 m.
    const BodyPose start = driver.pose();
    const Terrain& terrain = driver.app.world->terrain();
    for (float z = start.origin.z; z > start.origin.z - 50.0f; z -= 1.0f) {
        for (float x = -5.5f; x <= 5.5f; x += 1.0f) {
            Vec3 normal;
            ASSERT_EQ(terrain.query(Vec3(x, 0.0f, z), &normal, nullptr), 0.0f) << x << ", " << z;
            ASSERT_EQ(normal.y, 1.0f) << x << ", " << z;
        }
    }
    const Vec3 eye = Vec3(0.0f, 200.0f, 300.0f) * (1.0f / renderScale);
    driver.press(keyCodeUp);
    float furthestFromStrip = 0.0f;
    driver.run(5.0, [&] {
        furthestFromStrip = std::fmax(furthestFromStrip, std::fabs(driver.pose().origin.x));
    });
    EXPECT_GT(horizontalDistance(driver.pose().origin, eye),
              horizontalDistance(start.origin, eye) + 35.0f);
    EXPECT_LT(furthestFromStrip, 4.0f) << "left the strip";
}

// The mouse picks through the camera the frame was drawn with: every
// particle shows where GL puts it. A grab draws its line and marker.
TEST_F(DrivingOnScreen, PickingSeesWhatGlDrawsAndTheGrabShows) {
    drawFrame();
    const Mat4 identity;
    renderer->setModelMatrix(&identity);
    GLdouble view[16];
    GLdouble projection[16];
    const GLint viewport[4] = {0, 0, 640, 480};
    glGetDoublev(GL_MODELVIEW_MATRIX, view);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    ASSERT_TRUE(driver.app.lastView.valid);
    const Vec3* p = driver.app.world->positions();
    for (int i = 0; i < driver.app.world->particleCount(); ++i) {
        const Vec3 scene = p[i] * renderScale;
        GLdouble x, y, z;
        gluProject(scene.x, scene.y, scene.z, view, projection, viewport, &x, &y, &z);
        WindowPoint shown;
        ASSERT_TRUE(projectToWindow(driver.app.lastView, 640, 480, scene, &shown)) << i;
        EXPECT_NEAR(shown.x, x, 0.05) << i;
        EXPECT_NEAR(shown.y, 480.0 - y, 0.05) << i;
        // And back: the point under that pixel at that depth is the particle.
        const Vec3 back =
            pointUnderWindow(driver.app.lastView, 640, 480, shown.x, shown.y, shown.depth);
        EXPECT_LT(std::sqrt(dot(back - scene, back - scene)), 0.05f) << i;
    }

    drawFrame();
    const std::vector<unsigned char> free = readFrame();
    driver.app.grabParticle(141, p[141] + Vec3(0.0f, 2.0f, 0.0f));
    drawFrame();
    const std::vector<unsigned char> held = readFrame();
    driver.app.releaseParticle();
    drawFrame();
    EXPECT_EQ(differingPixels(readFrame(), free), 0);
    EXPECT_GT(differingPixels(held, free), 150) << "a line of 2 m and the marker";

    // What is drawn is what is grabbed: over a grid of pixels, a press picks
    // a node exactly where the truck covers the picture (F5 off shows where
    // it does not), from behind (F1) and from the side (F3), where the
    // wheels show. Pixels beside the outline are left out.
    for (const int cameraKey : {259, 257}) {
        driver.app.key(cameraKey, true);
        driver.app.key(cameraKey, false);
        driver.run(0.5, [&] { drawFrame(); });
        driver.app.key(261, true);
        driver.app.key(261, false);
        drawFrame();
        const std::vector<unsigned char> bare = readFrame();
        driver.app.key(261, true);
        driver.app.key(261, false);
        drawFrame();
        const std::vector<unsigned char> truck = readFrame();
        // Whether the truck shows at window pixel (x, y), y from the top.
        auto shows = [&](int x, int y) {
            const size_t at = 3 * (static_cast<size_t>(479 - y) * 640 + x);
            return truck[at] != bare[at] || truck[at + 1] != bare[at + 1] ||
                   truck[at + 2] != bare[at + 2];
        };
        int covered = 0;
        int wrong = 0;
        for (int y = 3; y < 477; y += 8) {
            for (int x = 3; x < 637; x += 8) {
                const bool here = shows(x, y);
                bool edge = false;
                for (int dy = -3; dy <= 3 && !edge; ++dy) {
                    for (int dx = -3; dx <= 3 && !edge; ++dx) {
                        edge = shows(x + dx, y + dy) != here;
                    }
                }
                if (edge) {
                    continue;
                }
                Vec3 hit;
                const int picked =
                    pickOnDrawnTruck(driver.app, driver.app.lastView, 640, 480,
                                     static_cast<float>(x), static_cast<float>(y), &hit);
                covered += here ? 1 : 0;
                wrong += (picked >= 0) != here ? 1 : 0;
            }
        }
        EXPECT_GT(covered, 80) << "grid pixels on the truck, camera key " << cameraKey;
        EXPECT_LE(wrong, covered / 100) << "of " << covered << ", camera key " << cameraKey;
    }
    // The middle of the tailgate, far from every node: picked by the ray,
    // not by the nearest node within 30 pixels.
    WindowPoint tailgate;
    ASSERT_TRUE(projectToWindow(driver.app.lastView, 640, 480, driver.tailgateCentre(), &tailgate));
    Vec3 hit;
    EXPECT_GE(pickOnDrawnTruck(driver.app, driver.app.lastView, 640, 480, tailgate.x - 0.5f,
                               tailgate.y - 0.5f, &hit),
              0);
}

// Turning at full lock from top speed, the sliding tyres throw up dust: at
// least 50 particles at once, drawn behind the truck with F7 on and not at
// all with F7 off.
TEST_F(DrivingOnScreen, FullLockAtTopSpeedKicksUpDustThatF7Shows) {
    driver.press(keyCodeUp);
    driver.run(4.0);
    ASSERT_GT(driver.chassisSpeed(), 9.0f);
    driver.app.key(260, true); // F4: follow from behind
    driver.app.key(260, false);
    driver.press(keyCodeRight);
    int most = 0;
    auto count = [&] { most = std::max(most, driver.dustCount()); };
    driver.run(1.0, count);
    // Half a second of drawn frames fills the camera's smoothing window.
    driver.run(0.5, [&] {
        count();
        drawFrame();
    });
    ASSERT_GT(driver.dustCount(), 0);
    const std::vector<unsigned char> withDust = readFrame();
    driver.app.key(263, true); // F7 off
    driver.app.key(263, false);
    drawFrame();
    const std::vector<unsigned char> f7Off = readFrame();
    // The same frame with an empty dust system and F7 on again.
    DustSystem none(1024, driver.app.world->terrain());
    DustSystem* dust = driver.app.dust;
    driver.app.dust = &none;
    driver.app.key(263, true);
    driver.app.key(263, false);
    drawFrame();
    driver.app.dust = dust;
    const std::vector<unsigned char> noDust = readFrame();
    const int dustPixels = differingPixels(withDust, noDust);
    EXPECT_GE(dustPixels, 200) << driver.dustCount() << " particles";
    EXPECT_EQ(differingPixels(f7Off, noDust), 0);

    driver.run(4.5, count);
    EXPECT_GE(most, 50);
    std::printf("%d dust pixels; at most %d dust particles\n", dustPixels, most);
}

} // namespace
