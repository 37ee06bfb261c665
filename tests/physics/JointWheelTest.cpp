// Angle and right-angle joints, and the wheel: torque with drag and the brake
// transform, spin measurement, and their agreement on direction.
#include "physics/AngleJoint.h"
#include "physics/Particle.h"
#include "physics/PhysicsWorld.h"
#include "physics/RightAngleJoint.h"
#include "physics/Wheel.h"
#include "tests/physics/ModelBuilder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

namespace {

const float pi = 3.14159265f;

float cornerCosine(const Vec3& a, const Vec3& b, const Vec3& c) {
    const Vec3 u = a - b;
    const Vec3 w = c - b;
    return dot(u, w) / std::sqrt(dot(u, u) * dot(w, w));
}

struct Points {
    explicit Points(int count) : positions(count), particles(count) {
        for (int i = 0; i < count; ++i) {
            particles[i].init(positions.data(), i, 1.0f);
        }
    }
    void clearForces() {
        for (Particle& p : particles) {
            p.force = zeroVec3();
        }
    }
    std::vector<Vec3> positions;
    std::vector<Particle> particles;
};

} // namespace

TEST(Joints, AngleJointPushesTowardsItsTarget) {
    Points pts(3);
    AngleJoint joint;
    joint.init(pts.positions.data(), pts.particles.data(), 0, 1, 2);
    EXPECT_EQ(joint.target, 0.0f);
    const float angles[] = {70.0f, 110.0f, 89.0f, 30.0f};
    for (float degrees : angles) {
        const float radians = degrees * pi / 180.0f;
        pts.positions[0] = Vec3(std::cos(radians), std::sin(radians), 0.0f);
        pts.positions[1] = Vec3(0.0f, 0.0f, 0.0f);
        pts.positions[2] = Vec3(1.0f, 0.0f, 0.0f);
        pts.clearForces();
        joint.apply();
        // Magnitude 2000 |cos| |u| along the arm b-c, none on c.
        EXPECT_NEAR(std::fabs(pts.particles[0].force.x), 2000.0f * std::fabs(std::cos(radians)),
                    0.05f);
        EXPECT_EQ(pts.particles[2].force.x, 0.0f);
        EXPECT_EQ(pts.particles[0].force.x + pts.particles[1].force.x, 0.0f);
        // Moving a along its force brings the angle closer to 90 degrees.
        const float before =
            std::fabs(cornerCosine(pts.positions[0], pts.positions[1], pts.positions[2]));
        pts.positions[0] = pts.positions[0] + pts.particles[0].force * 1e-5f;
        const float after =
            std::fabs(cornerCosine(pts.positions[0], pts.positions[1], pts.positions[2]));
        EXPECT_LT(after, before) << degrees;
    }
    // With a target the rest angle is where cos = -target.
    joint.setTarget(0.5f);
    const float rest = std::acos(-0.5f);
    pts.positions[0] = Vec3(std::cos(rest), std::sin(rest), 0.0f);
    pts.clearForces();
    joint.apply();
    EXPECT_NEAR(pts.particles[0].force.x, 0.0f, 1e-3f);
}

TEST(Joints, AngleJointSettlesTheCornerAtItsTarget) {
    // Three free particles high in the air (gravity moves them alike), the
    // angle at b starting at 70 degrees. Two stiff springs hold the arms; a
    // spring of zero stiffness between a and c only damps the swing.
    for (float target : {0.0f, 0.5f, -0.3f}) {
        ModelBuilder model;
        model.particle(Vec3(0.342f, 40.94f, 0.0f), 1.0f);
        model.particle(Vec3(0.0f, 40.0f, 0.0f), 1.0f);
        model.particle(Vec3(1.0f, 40.0f, 0.0f), 1.0f);
        model.spring(0, 1, 20000.0f, 5.0f);
        model.spring(1, 2, 20000.0f, 5.0f);
        model.spring(0, 2, 0.0f, 20.0f);
        model.angle(0, 1, 2);
        std::unique_ptr<PhysicsWorld> world(new PhysicsWorld());
        const std::string text = model.text();
        ASSERT_TRUE(world->loadModelFromText(text.data(), text.size(), "joint"));
        world->angleJoints()[0].setTarget(target);
        world->step(1500);
        const Vec3* p = world->positions();
        // The joint drives the cosine of the corner angle to -target.
        EXPECT_NEAR(cornerCosine(p[0], p[1], p[2]), -target, 0.01f) << "target " << target;
    }
}

TEST(Joints, RightAngleJointForcesSumToZeroAndSquareTheCorner) {
    std::mt19937 random(77u);
    std::uniform_real_distribution<float> coordinate(-2.0f, 2.0f);
    Points pts(3);
    RightAngleJoint joint;
    joint.init(pts.positions.data(), pts.particles.data(), 0, 1, 2);
    for (int trial = 0; trial < 500; ++trial) {
        for (Vec3& p : pts.positions) {
            p = Vec3(coordinate(random), coordinate(random), coordinate(random));
        }
        const float before = cornerCosine(pts.positions[0], pts.positions[1], pts.positions[2]);
        if (std::fabs(before) < 0.05f || std::fabs(before) > 0.95f) {
            continue;
        }
        pts.clearForces();
        joint.apply();
        const Vec3 sum = pts.particles[0].force + pts.particles[1].force + pts.particles[2].force;
        const float scale = std::sqrt(dot(pts.particles[1].force, pts.particles[1].force));
        ASSERT_LT(std::sqrt(dot(sum, sum)), 1e-5f * scale + 1e-4f);
        // A small move along the forces turns the corner towards 90 degrees.
        for (int i = 0; i < 3; ++i) {
            pts.positions[i] = pts.positions[i] + pts.particles[i].force * (1e-6f / scale);
        }
        const float after = cornerCosine(pts.positions[0], pts.positions[1], pts.positions[2]);
        ASSERT_LT(std::fabs(after), std::fabs(before)) << "trial " << trial;
    }
    // At a right angle it is silent.
    pts.positions[0] = Vec3(1.0f, 0.0f, 0.0f);
    pts.positions[1] = Vec3(0.0f, 0.0f, 0.0f);
    pts.positions[2] = Vec3(0.0f, 0.0f, 2.0f);
    pts.clearForces();
    joint.apply();
    EXPECT_EQ(pts.particles[0].force.x, 0.0f);
    EXPECT_EQ(pts.particles[2].force.z, 0.0f);
}

namespace {

// A wheel in the x-y plane: hub A at the centre of eight rim particles on a
// circle of the given radius at z = 0, hub B on the axle at z = 0.2.
struct TestWheel {
    explicit TestWheel(float radius) : pts(10) {
        pts.positions[0] = Vec3(0.0f, 0.0f, 0.0f);
        pts.positions[1] = Vec3(0.0f, 0.0f, 0.2f);
        int rim[8];
        for (int k = 0; k < 8; ++k) {
            const float angle = 2.0f * pi * k / 8.0f;
            pts.positions[2 + k] = Vec3(radius * std::cos(angle), radius * std::sin(angle), 0.0f);
            rim[k] = 2 + k;
        }
        wheel.init(pts.positions.data(), pts.particles.data(), 0, 1, 8, rim);
    }
    // The rim direction a positive torque drives, at rim particle k.
    Vec3 driveDirection(int k) const {
        const Vec3 r = pts.positions[2 + k] - pts.positions[0];
        return normalized(cross(r, pts.positions[1] - pts.positions[0]));
    }
    Points pts;
    Wheel wheel;
};

} // namespace

TEST(Wheels, DragIsTheSignedSquareOfTheSpread) {
    for (float spin : {2.0f, -1.5f, 0.0f}) {
        TestWheel t(0.5f);
        t.wheel.spinRate = spin;
        t.wheel.applyTorque();
        float total = 0.0f;
        for (int k = 0; k < 8; ++k) {
            const Vec3& f = t.pts.particles[2 + k].force;
            const float along = dot(f, t.driveDirection(k));
            // All of it tangential, an equal share per rim particle.
            EXPECT_NEAR(std::sqrt(dot(f, f)), std::fabs(along), 1e-5f);
            EXPECT_NEAR(along, -spin * std::fabs(spin) / 8.0f, 1e-5f);
            total += along;
        }
        EXPECT_NEAR(total, -spin * std::fabs(spin), 1e-4f);
        // The hubs receive nothing.
        EXPECT_EQ(t.pts.particles[0].force.x, 0.0f);
        EXPECT_EQ(t.pts.particles[1].force.y, 0.0f);
    }
}

TEST(Wheels, BrakeSeedGrowsOrFades) {
    TestWheel t(0.5f);
    t.wheel.spinRate = 0.5f;
    t.wheel.setBrake(1.0f);
    t.wheel.applyTorque();
    EXPECT_FLOAT_EQ(t.wheel.brake, -7.5f);
    t.wheel.applyTorque();
    EXPECT_EQ(t.wheel.brake, -50.0f);
    t.wheel.applyTorque();
    EXPECT_EQ(t.wheel.brake, -50.0f);

    t.wheel.setBrake(0.1f);
    t.wheel.applyTorque();
    EXPECT_FLOAT_EQ(t.wheel.brake, -0.075f);
    t.wheel.applyTorque();
    EXPECT_NEAR(t.wheel.brake, -0.042f, 0.0005f);
    float previous = t.wheel.brake;
    for (int k = 0; k < 5; ++k) {
        t.wheel.applyTorque();
        EXPECT_LT(std::fabs(t.wheel.brake), std::fabs(previous));
        EXPECT_LE(t.wheel.brake, 0.0f);
        previous = t.wheel.brake;
    }
    // Against the spin: positive for a wheel standing or turning backwards.
    t.wheel.spinRate = -0.5f;
    t.wheel.setBrake(1.0f);
    t.wheel.applyTorque();
    EXPECT_FLOAT_EQ(t.wheel.brake, 7.5f);
    t.wheel.spinRate = 0.0f;
    t.wheel.setBrake(1.0f);
    t.wheel.applyTorque();
    EXPECT_FLOAT_EQ(t.wheel.brake, 5.0f);
    t.wheel.setBrake(0.0f);
    t.wheel.applyTorque();
    EXPECT_EQ(t.wheel.brake, 0.0f);
}

TEST(Wheels, SpinOfARigidRotation) {
    TestWheel t(0.4f);
    // Turning at 3 rev/s in the drive direction: v = omega * r along it.
    const float omega = 3.0f * 2.0f * pi;
    for (int k = 0; k < 8; ++k) {
        t.pts.particles[2 + k].velocity = t.driveDirection(k) * (omega * 0.4f);
    }
    t.wheel.measureSpin();
    EXPECT_NEAR(t.wheel.spin(), 3.0f, 1e-4f);
    for (int k = 0; k < 8; ++k) {
        t.pts.particles[2 + k].velocity = t.driveDirection(k) * (-omega * 0.4f);
    }
    t.wheel.measureSpin();
    EXPECT_NEAR(t.wheel.spin(), -3.0f, 1e-4f);
    // Measured in the ground frame: the first rim particle alone counts.
    t.pts.particles[2].velocity = zeroVec3();
    t.wheel.measureSpin();
    EXPECT_EQ(t.wheel.spin(), 0.0f);
}

TEST(Wheels, PositiveDriveGivesPositiveSpin) {
    ModelBuilder model = truckModel();
    std::unique_ptr<PhysicsWorld> world(new PhysicsWorld());
    // Lift the truck 5 m so that its wheels turn freely in the air.
    std::string text = model.text();
    ASSERT_TRUE(world->loadModelFromText(text.data(), text.size(), "truck"));
    for (int i = 0; i < world->particleCount(); ++i) {
        world->positions()[i].y += 5.0f;
    }
    for (int w = 0; w < 4; ++w) {
        EXPECT_EQ(world->wheels()[w].spin(), 0.0f);
        world->wheels()[w].setDrive(w < 2 ? 20.0f : -20.0f);
    }
    world->step(200);
    for (int w = 0; w < 4; ++w) {
        if (w < 2) {
            EXPECT_GT(world->wheels()[w].spin(), 0.05f) << "wheel " << w;
        } else {
            EXPECT_LT(world->wheels()[w].spin(), -0.05f) << "wheel " << w;
        }
    }
}
