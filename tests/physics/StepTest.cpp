// The simulation step: sub-step count, the integrator against free fall, the
// spring laws, penetration (mirror and deep recovery), friction stick/slide,
// dust offers, and the guards that keep degenerate models free of NaN.
#include "physics/BlowUp.h"
#include "physics/DustSystem.h"
#include "physics/GrabSpring.h"
#include "physics/GroundContact.h"
#include "physics/PackedStep.h"
#include "physics/Particle.h"
#include "physics/PhysicsWorld.h"
#include "physics/QuadraticSpring.h"
#include "physics/Spring.h"
#include "tests/physics/ModelBuilder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

const float dt = 0.0005f;

std::unique_ptr<PhysicsWorld> loaded(const ModelBuilder& model) {
    std::unique_ptr<PhysicsWorld> world(new PhysicsWorld());
    const std::string text = model.text();
    EXPECT_TRUE(world->loadModelFromText(text.data(), text.size(), "test model"))
        << world->failureReason();
    return world;
}

bool allFinite(PhysicsWorld& world) {
    for (int i = 0; i < world.particleCount(); ++i) {
        const Vec3& p = world.positions()[i];
        const Vec3& v = world.particles()[i].velocity;
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z) ||
            !std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) {
            return false;
        }
    }
    return true;
}

// A ground contact over the built terrain for one or a few particles.
struct Ground {
    Ground(int count) : contact(new GroundContact()), positions(count), particles(count) {
        contact->terrain.build();
        contact->bind(particles.data(), positions.data(), count);
    }
    std::unique_ptr<GroundContact> contact;
    std::vector<Vec3> positions;
    std::vector<Particle> particles;
};

} // namespace

TEST(Step, ZeroOrNegativeMillisecondsChangeNothing) {
    ModelBuilder model;
    model.particle(Vec3(0.0f, 20.0f, 0.0f), 1.0f);
    auto world = loaded(model);
    const Vec3 before = world->positions()[0];
    EXPECT_EQ(world->step(0), 0.0f);
    EXPECT_EQ(world->step(-3), -3.0f);
    EXPECT_EQ(0, std::memcmp(&before, &world->positions()[0], sizeof before));
    EXPECT_EQ(world->particles()[0].velocity.y, 0.0f);
}

TEST(Step, SevenMillisecondsRunFourteenSubSteps) {
    ModelBuilder model;
    model.particle(Vec3(0.0f, 20.0f, 0.0f), 1.0f);
    auto world = loaded(model);
    EXPECT_EQ(world->step(7), 7.0f);
    // Free fall gains exactly g dt per sub-step.
    EXPECT_NEAR(world->particles()[0].velocity.y, -14.0f * 9.81f * dt, 1e-6f);
    // An empty world only reports the time.
    PhysicsWorld* empty = new PhysicsWorld();
    EXPECT_EQ(empty->step(5), 5.0f);
    delete empty;
}

TEST(Step, FreeFallMatchesConstantAcceleration) {
    // One sub-step from rest: (5/12 + 2/3 - 1/12) g dt = g dt.
    Vec3 position(0.0f, 30.0f, 0.0f);
    Particle particle;
    particle.init(&position, 0, 3.0f);
    particle.predict();
    particle.correct();
    EXPECT_NEAR(particle.velocity.y, -9.81f * dt, 1e-9f);
    EXPECT_NEAR(particle.acceleration.y, -9.81f, 1e-5f);
    EXPECT_EQ(particle.force.y, 0.0f);
    EXPECT_NEAR(position.y, 30.0f - 0.5f * 9.81f * dt * dt, 1e-6f);

    // One second in a world, above the ground: y0 - g t^2 / 2. The scheme is
    // exact for constant acceleration; what is left is float rounding of
    // 2000 position updates near 8 m (half an ulp, 4.8e-7 m, each at most).
    ModelBuilder model;
    model.particle(Vec3(3.0f, 8.0f, -2.0f), 2.0f);
    auto world = loaded(model);
    world->step(1000);
    EXPECT_NEAR(world->positions()[0].y, 8.0f - 0.5f * 9.81f, 1e-3f);
    EXPECT_NEAR(world->particles()[0].velocity.y, -9.81f, 1e-3f);
    EXPECT_EQ(world->positions()[0].x, 3.0f);
}

TEST(Step, IntegratorIsExactForLinearlyChangingAcceleration) {
    // Along x the acceleration grows by k dt per sub-step: 1, 3, 5, ... m/s².
    // Over one sub-step the exact motion is x += v dt + a dt²/2 + k dt³/6 and
    // v += a dt + k dt²/2, which the predictor-corrector reproduces; constant
    // acceleration (free fall) cannot tell its coefficients apart.
    Vec3 position(0.0f, 50.0f, 0.0f);
    Particle particle;
    const float mass = 2.0f;
    particle.init(&position, 0, mass);
    particle.previousAcceleration.x = 1.0f;
    particle.acceleration.x = 3.0f;
    particle.predict();
    // 3 dt²/2 + (2/dt) dt³/6 = 11/6 dt².
    EXPECT_NEAR(position.x / (dt * dt), 11.0f / 6.0f, 1e-5f);
    // Gravity enters the force, nothing else.
    EXPECT_FLOAT_EQ(particle.force.y, -mass * 9.81f);
    EXPECT_EQ(particle.force.x, 0.0f);
    particle.force.x = mass * 5.0f;
    particle.correct();
    // 3 dt + (2/dt) dt²/2 = 4 dt.
    EXPECT_NEAR(particle.velocity.x / dt, 4.0f, 1e-5f);
    EXPECT_EQ(particle.acceleration.x, 5.0f);
    EXPECT_EQ(particle.previousAcceleration.x, 3.0f);

    // The same figures on y and z, each axis written out on its own line.
    for (const Vec3& axis : {Vec3(0.0f, 1.0f, 0.0f), Vec3(0.0f, 0.0f, 1.0f)}) {
        Vec3 at = zeroVec3();
        Particle p;
        p.init(&at, 0, mass);
        p.previousAcceleration = axis * 1.0f;
        p.acceleration = axis * 3.0f;
        p.predict();
        EXPECT_NEAR(dot(at, axis) / (dt * dt), 11.0f / 6.0f, 1e-5f) << axis.y;
        p.force = axis * (mass * 5.0f);
        p.correct();
        EXPECT_NEAR(dot(p.velocity, axis) / dt, 4.0f, 1e-5f) << axis.y;
    }

    // A force ramp a(t) = k t over 200 sub-steps from rest at t = 0 ends at
    // x = k t³/6 and v = k t²/2 with no error beyond float rounding.
    const float k = 4000.0f; // m/s³
    Vec3 ramp(0.0f, 50.0f, 0.0f);
    Particle driven;
    driven.init(&ramp, 0, mass);
    driven.acceleration.x = 0.0f;
    driven.previousAcceleration.x = -k * dt;
    for (int n = 1; n <= 200; ++n) {
        driven.predict();
        driven.force.x += mass * k * (static_cast<float>(n) * dt);
        driven.correct();
    }
    const float t = 200.0f * dt;
    EXPECT_NEAR(driven.velocity.x, k * t * t / 2.0f, 1e-4f * (k * t * t / 2.0f));
    EXPECT_NEAR(ramp.x, k * t * t * t / 6.0f, 1e-4f * (k * t * t * t / 6.0f));
}

TEST(Step, LinearSpringOscillatesWithItsPeriod) {
    // Two 1 kg particles on a 1000 N/m spring: reduced mass 0.5 kg, period
    // 2 pi sqrt(0.5 / 1000). They fall together, far above the ground.
    ModelBuilder model;
    model.particle(Vec3(0.0f, 40.0f, 0.0f), 1.0f);
    model.particle(Vec3(1.0f, 40.0f, 0.0f), 1.0f);
    model.spring(0, 1, 1000.0f, 0.0f);
    auto world = loaded(model);
    world->particles()[0].velocity.x = -0.25f;
    world->particles()[1].velocity.x = 0.25f;
    const float expected = 2.0f * 3.14159265f * std::sqrt(0.5f / 1000.0f);

    float previous = 0.0f;
    float firstCrossing = -1.0f;
    float lastCrossing = -1.0f;
    int crossings = 0;
    for (int ms = 1; ms <= 1000; ++ms) {
        world->step(1);
        const Vec3 d = world->positions()[1] - world->positions()[0];
        const float extension = std::sqrt(dot(d, d)) - 1.0f;
        // Stays well inside the linear range.
        ASSERT_LT(std::fabs(extension), 0.1f);
        if (previous < 0.0f && extension >= 0.0f) {
            // Linear interpolation of the upward zero crossing.
            const float t = 0.001f * (ms - 1) + 0.001f * (-previous / (extension - previous));
            if (firstCrossing < 0.0f) {
                firstCrossing = t;
            }
            lastCrossing = t;
            ++crossings;
        }
        previous = extension;
    }
    ASSERT_GE(crossings, 5);
    const float period = (lastCrossing - firstCrossing) / static_cast<float>(crossings - 1);
    EXPECT_NEAR(period, expected, 0.01f * expected);
}

TEST(Step, SpringLawIsLinearWithinTwentyPercent) {
    // Particle 0 at the origin, particle 1 on the x axis; rest length 1.
    Vec3 positions[2] = {Vec3(0.0f, 0.0f, 0.0f), Vec3(1.0f, 0.0f, 0.0f)};
    Particle particles[2];
    particles[0].init(positions, 0, 1.0f);
    particles[1].init(positions, 1, 1.0f);
    Spring spring;
    spring.init(particles, positions, 0, 1, 100.0f, 0.0f);
    ASSERT_EQ(spring.restLength, 1.0f);
    const float lower = 0.8f * spring.restLength;
    const float upper = 2.0f * spring.restLength - lower;
    struct Case {
        float length;
        float force; // on particle 0 along +x (towards particle 1 when positive)
    };
    // Linear at the thresholds: k (L - r) = -20 and +20. Just outside: five
    // times the slope with the offset: -100 + 20 = -80 and 100 - 20 = 80.
    const Case cases[] = {
        {lower, -20.0f},
        {std::nextafter(lower, 0.0f), -80.0f},
        {upper, 20.0f},
        {std::nextafter(upper, 2.0f), 80.0f},
        {1.1f, 10.0f},
        {0.5f, 100.0f * (5.0f * -0.5f + 0.2f)},
        {1.5f, 100.0f * (5.0f * 0.5f - 0.2f)},
    };
    for (const Case& c : cases) {
        positions[1] = Vec3(c.length, 0.0f, 0.0f);
        particles[0].force = zeroVec3();
        particles[1].force = zeroVec3();
        spring.apply();
        EXPECT_NEAR(particles[0].force.x, c.force, 1e-3f) << "length " << c.length;
        EXPECT_NEAR(particles[1].force.x, -c.force, 1e-3f) << "length " << c.length;
        EXPECT_EQ(spring.previousLength, c.length);
    }
    // The same law inside the step: the first sub-step's acceleration of a
    // 1 kg particle is the spring force (it becomes the previous one after
    // the second sub-step); high in the air, away from the ground.
    ModelBuilder model;
    model.particle(Vec3(0.0f, 40.0f, 0.0f), 1.0f);
    model.particle(Vec3(1.0f, 40.0f, 0.0f), 1.0f);
    model.spring(0, 1, 100.0f, 0.0f);
    for (const Case& c : cases) {
        auto world = loaded(model);
        world->positions()[1].x = c.length;
        world->step(1);
        EXPECT_NEAR(world->particles()[0].previousAcceleration.x, c.force, 1e-3f)
            << "length " << c.length << " in the step";
    }
}

TEST(Step, DampingActsOnlyWhileTheLengthChanges) {
    Vec3 positions[2] = {Vec3(0.0f, 0.0f, 0.0f), Vec3(0.0f, 2.0f, 0.0f)};
    Particle particles[2];
    particles[0].init(positions, 0, 1.0f);
    particles[1].init(positions, 1, 1.0f);
    Spring spring;
    spring.init(particles, positions, 0, 1, 50.0f, 3.0f);
    // A fresh spring at its rest length exerts nothing.
    spring.apply();
    EXPECT_EQ(particles[0].force.y, 0.0f);
    EXPECT_EQ(particles[1].force.y, 0.0f);
    // Lengthened by 0.1 m in one sub-step: elastic 5 N plus damping
    // 3 * 0.1 / dt = 600 N, pulling the ends together.
    positions[1].y = 2.1f;
    spring.apply();
    EXPECT_NEAR(particles[0].force.y, 5.0f + 3.0f * 0.1f / dt, 0.1f);
    // Held at that length: only the elastic force remains.
    particles[0].force = zeroVec3();
    spring.apply();
    EXPECT_NEAR(particles[0].force.y, 5.0f, 1e-4f);
    particles[0].force = zeroVec3();
    spring.apply();
    EXPECT_NEAR(particles[0].force.y, 5.0f, 1e-4f);
}

TEST(Step, QuadraticSpringGrowsWithTheSquare) {
    Vec3 positions[2] = {Vec3(0.0f, 0.0f, 0.0f), Vec3(0.0f, 0.0f, 1.0f)};
    Particle particles[2];
    particles[0].init(positions, 0, 1.0f);
    particles[1].init(positions, 1, 1.0f);
    QuadraticSpring spring;
    spring.init(particles, positions, 0, 1, 400.0f);
    const float extensions[] = {0.1f, 0.2f, -0.1f, -0.3f};
    for (float x : extensions) {
        positions[1].z = 1.0f + x;
        spring.apply(); // first evaluation at this length carries damping
        particles[0].force = zeroVec3();
        particles[1].force = zeroVec3();
        spring.apply();
        // Stretched pulls together (+z on particle 0), compressed pushes apart.
        const float expected = 400.0f * x * std::fabs(x);
        EXPECT_NEAR(particles[0].force.z, expected, 1e-3f * std::fabs(expected) + 1e-3f);
        EXPECT_NEAR(particles[1].force.z, -expected, 1e-3f * std::fabs(expected) + 1e-3f);
    }
    // Fixed damping of 3 N s/m: lengthening by 0.01 m in a sub-step.
    positions[1].z = 1.0f;
    spring.apply();
    particles[0].force = zeroVec3();
    positions[1].z = 1.01f;
    spring.apply();
    EXPECT_NEAR(particles[0].force.z, 3.0f * 0.01f / dt + 400.0f * 0.0001f, 0.05f);
}

TEST(Step, ShallowPenetrationIsMirrored) {
    Ground ground(1);
    ground.positions[0] = Vec3(0.0f, 0.0f, 0.0f);
    ground.particles[0].init(ground.positions.data(), 0, 1.0f);
    ground.positions[0] = Vec3(0.5f, -0.01f, 0.25f);
    ground.particles[0].velocity = Vec3(1.0f, -2.0f, 0.5f);
    ground.contact->resolvePenetration();
    EXPECT_FLOAT_EQ(ground.positions[0].y, 0.01f);
    EXPECT_EQ(ground.positions[0].x, 0.5f);
    EXPECT_EQ(ground.particles[0].velocity.x, 1.0f);
    EXPECT_EQ(ground.particles[0].velocity.y, 2.0f);
    EXPECT_EQ(ground.particles[0].velocity.z, 0.5f);
    // The impulse the ground gave: 1 kg, 2 m/s into it turned into 2 m/s out.
    EXPECT_EQ(ground.contact->peakImpulse, 4.0f);
    // The velocity is mirrored whatever its direction.
    ground.positions[0] = Vec3(0.5f, -0.2f, 0.25f);
    ground.particles[0].velocity = Vec3(0.0f, 3.0f, 0.0f);
    ground.particles[0].mass = 0.5f;
    ground.contact->resolvePenetration();
    EXPECT_FLOAT_EQ(ground.positions[0].y, 0.2f);
    EXPECT_EQ(ground.particles[0].velocity.y, -3.0f);
    EXPECT_EQ(ground.contact->peakImpulse, 4.0f) << "the larger of 4 and 0.5 * 6";
    // Above the plane nothing changes.
    ground.positions[0] = Vec3(0.5f, 0.001f, 0.25f);
    ground.particles[0].velocity = Vec3(0.0f, -3.0f, 0.0f);
    ground.contact->resolvePenetration();
    EXPECT_EQ(ground.positions[0].y, 0.001f);
    EXPECT_EQ(ground.particles[0].velocity.y, -3.0f);
}

TEST(Step, PenetrationIsResolvedBeforeTheSprings) {
    // A spring of rest length 1 stands on the flat strip with its lower end
    // 0.2 m below the ground. Mirrored first, that end is 0.2 m above it and
    // the spring, at 0.6 of its length, throws the upper end up with
    // 1800 N: about 0.37 m/s in the first sub-step and 1.34 m/s after two.
    // Mirrored only after the springs, the first sub-step sees the spring
    // at rest and the upper end reaches only about 0.37 m/s.
    ModelBuilder model;
    model.particle(Vec3(0.0f, -0.2f, 0.0f), 1.0f);
    model.particle(Vec3(0.0f, 0.8f, 0.0f), 1.0f);
    model.spring(0, 1, 1000.0f, 0.0f);
    auto world = loaded(model);
    DustSystem dust(16, world->terrain());
    world->setDustSystem(&dust);
    world->step(1);
    EXPECT_GT(world->positions()[0].y, 0.19f);
    EXPECT_NEAR(world->particles()[1].velocity.y, 1.34f, 0.02f);
}

TEST(Step, DeepPenetrationIsPutOnTheSurface) {
    Ground ground(1);
    ground.particles[0].init(ground.positions.data(), 0, 1.0f);
    ground.positions[0] = Vec3(2.0f, -3.0f, 1.0f);
    ground.particles[0].velocity = Vec3(4.0f, -5.0f, 0.0f);
    ground.contact->resolvePenetration();
    EXPECT_NEAR(ground.positions[0].y, 0.0f, 1e-6f);
    EXPECT_EQ(ground.positions[0].x, 2.0f);
    EXPECT_EQ(ground.particles[0].velocity.x, 4.0f);
    EXPECT_EQ(ground.particles[0].velocity.y, 0.0f);
    EXPECT_EQ(ground.contact->peakImpulse, 5.0f);
    // Motion away from the ground is kept.
    ground.positions[0] = Vec3(2.0f, -0.3f, 1.0f);
    ground.particles[0].velocity = Vec3(0.0f, 1.5f, 0.0f);
    ground.contact->resolvePenetration();
    EXPECT_NEAR(ground.positions[0].y, 0.0f, 1e-6f);
    EXPECT_EQ(ground.particles[0].velocity.y, 1.5f);
}

TEST(Step, ComingBackOverTheEdgeHitsTheCliffFace) {
    // Outside the grid there is no ground: a particle there sinks. Sliding
    // back towards the grid 2 m below ground level it meets the edge's cliff
    // face and stays outside, falling on. Lifted onto the surface it would
    // move 2 m in one sub-step (and a truck hanging there would be flung
    // into the sky); mirrored by its full depth it would fly 4 m up.
    ModelBuilder model;
    model.particle(Vec3(-64.5f, -2.0f, 0.0f), 1.0f);
    auto world = loaded(model);
    world->particles()[0].velocity = Vec3(4.0f, 0.0f, 0.0f);
    float rightmost = -100.0f;
    for (int ms = 0; ms < 600; ++ms) {
        world->step(1);
        const Vec3& p = world->positions()[0];
        ASSERT_TRUE(std::isfinite(p.y));
        rightmost = std::max(rightmost, p.x);
        EXPECT_LE(p.y, -2.0f) << "at " << ms << " ms";
    }
    // It reached the face (0.5 m at 4 m/s takes 125 ms) and stopped there.
    EXPECT_GT(rightmost, -64.01f);
    EXPECT_LT(rightmost, -64.0f);
    EXPECT_EQ(world->particles()[0].velocity.x, 0.0f);
    EXPECT_GT(world->terrain().query(world->positions()[0], nullptr, nullptr), 1000.0f);
    // Just under the surface the same holds: mirrored, a wheel swinging over
    // the edge would gain height and speed at every pass.
    const Vec3 up(0.0f, 1.0f, 0.0f);
    Vec3 position(-63.999f, -0.05f, 0.0f);
    Vec3 velocity(4.0f, -1.0f, 0.0f);
    GroundContact::penetrate(world->terrain(), position, velocity, -0.05f, up,
                             Vec3(-63.999f, 0.0f, 0.0f));
    EXPECT_EQ(position.x, -64.001f);
    EXPECT_EQ(position.y, -0.05f);
    EXPECT_EQ(velocity.x, 0.0f);
    EXPECT_EQ(velocity.y, -1.0f);
    // Exactly on the edge counts as over the grid, so it came in through the
    // face: out it goes, not mirrored.
    position = Vec3(-64.0f, -0.05f, 0.0f);
    velocity = Vec3(4.0f, -1.0f, 0.0f);
    GroundContact::penetrate(world->terrain(), position, velocity, -0.05f, up,
                             Vec3(-64.0f, 0.0f, 0.0f));
    EXPECT_EQ(position.x, -64.001f);
    EXPECT_EQ(position.y, -0.05f);
    EXPECT_EQ(velocity.x, 0.0f);
    // A particle that was already over the grid is mirrored as anywhere else,
    // however close to the edge.
    position = Vec3(-63.99f, -0.001f, 0.0f);
    velocity = Vec3(-0.1f, -0.5f, 0.0f);
    GroundContact::penetrate(world->terrain(), position, velocity, -0.001f, up,
                             Vec3(-63.99f, 0.0f, 0.0f));
    EXPECT_EQ(position.x, -63.99f);
    EXPECT_FLOAT_EQ(position.y, 0.001f);
    EXPECT_EQ(velocity.y, 0.5f);
    // Deep under the far edge, pulled in so slowly that its velocity cannot
    // show where it came from, it still goes back out through the face...
    position = Vec3(0.0f, -1.0f, 63.95f);
    velocity = Vec3(0.0f, 0.0f, -0.02f);
    GroundContact::penetrate(world->terrain(), position, velocity, -1.0f, up,
                             Vec3(0.0f, 0.0f, 63.95f));
    EXPECT_EQ(position.z, 64.001f);
    EXPECT_EQ(position.y, -1.0f);
    EXPECT_EQ(velocity.z, 0.0f);
    // ...while deep away from the edges it is put on the surface.
    position = Vec3(-62.0f, -3.0f, 0.0f);
    velocity = Vec3(4.0f, 0.0f, 0.0f);
    GroundContact::penetrate(world->terrain(), position, velocity, -3.0f, up,
                             Vec3(-62.0f, 0.0f, 0.0f));
    EXPECT_EQ(position.x, -62.0f);
    EXPECT_EQ(position.y, 0.0f);
}

TEST(Step, TruckDrivenOffTheEdgeStaysFinite) {
    ModelBuilder model = truckModel(61.0f, 0.0f);
    auto world = loaded(model);
    // Set it down on the rolling ground near the +x edge.
    const float lift = world->terrain().height(62, 32) + 1.0f;
    for (int i = 0; i < world->particleCount(); ++i) {
        world->positions()[i].y += lift;
    }
    for (int frame = 0; frame < 300; ++frame) {
        const float drive = frame < 150 ? 40.0f : -40.0f;
        for (int w = 0; w < 4; ++w) {
            world->wheels()[w].setDrive(drive);
        }
        world->step(10);
        ASSERT_TRUE(allFinite(*world)) << "frame " << frame;
    }
}

TEST(Step, RestingContactStaysOnTheGround) {
    ModelBuilder model;
    model.particle(Vec3(0.0f, 0.0f, 0.0f), 1.0f);
    auto world = loaded(model);
    float highest = 0.0f;
    float lowest = 0.0f;
    for (int ms = 0; ms < 500; ++ms) {
        world->step(1);
        highest = std::max(highest, world->positions()[0].y);
        lowest = std::min(lowest, world->positions()[0].y);
    }
    EXPECT_LT(highest, 0.001f);
    EXPECT_GE(lowest, 0.0f);
    EXPECT_EQ(world->positions()[0].x, 0.0f);
}

namespace {

// Slides a block of four particles on flat ground under gravity plus a
// horizontal push of m g tan(angle): the same ratio of tangential to normal
// force as on a slope of that angle. Returns how far it moved in 1 s.
float slideOnEquivalentSlope(float degrees) {
    Ground ground(4);
    const float mass = 2.0f;
    for (int i = 0; i < 4; ++i) {
        ground.positions[i] = Vec3(0.3f * (i % 2), 0.0f, 0.3f * (i / 2));
        ground.particles[i].init(ground.positions.data(), i, mass);
    }
    const float push = mass * 9.81f * std::tan(degrees * 3.14159265f / 180.0f);
    for (int k = 0; k < 2000; ++k) {
        for (Particle& p : ground.particles) {
            p.predict();
        }
        ground.contact->resolvePenetration();
        for (Particle& p : ground.particles) {
            p.force.x += push;
        }
        ground.contact->applyFriction();
        for (Particle& p : ground.particles) {
            p.correct();
        }
    }
    return ground.positions[0].x;
}

} // namespace

TEST(Step, FrictionHoldsOnThirtyDegreesAndSlidesOnFifty) {
    EXPECT_NEAR(slideOnEquivalentSlope(30.0f), 0.0f, 1e-4f);
    // From rest it holds while the tangential force stays below the full
    // normal force, so also beyond the sliding limit of 0.9 (42 degrees).
    EXPECT_NEAR(slideOnEquivalentSlope(43.0f), 0.0f, 1e-4f);
    // Sliding: a = g (tan 50 - 0.9) ~ 2.86 m/s², about 1.43 m in 1 s.
    const float slid = slideOnEquivalentSlope(50.0f);
    const float a = 9.81f * (std::tan(50.0f * 3.14159265f / 180.0f) - 0.9f);
    EXPECT_NEAR(slid, 0.5f * a, 0.05f * 0.5f * a);
}

TEST(Step, StickingHalvesTheTangentialVelocity) {
    Ground ground(1);
    ground.particles[0].init(ground.positions.data(), 0, 1.0f);
    ground.positions[0] = Vec3(0.0f, 0.01f, 0.0f);
    ground.particles[0].velocity = Vec3(0.002f, -0.1f, 0.0f);
    ground.particles[0].force = Vec3(1.0f, -100.0f, 0.0f);
    ground.contact->applyFriction();
    // (90 - 1) / 1 * dt = 0.0445 > 0.002: it sticks.
    EXPECT_EQ(ground.particles[0].force.x, 0.0f);
    EXPECT_EQ(ground.particles[0].force.y, -100.0f);
    EXPECT_FLOAT_EQ(ground.particles[0].velocity.x, 0.001f);
    EXPECT_EQ(ground.particles[0].velocity.y, -0.1f);
    // Above the skin, or pulled away from the ground: untouched.
    ground.positions[0] = Vec3(0.0f, 0.06f, 0.0f);
    ground.particles[0].force = Vec3(1.0f, -100.0f, 0.0f);
    ground.contact->applyFriction();
    EXPECT_EQ(ground.particles[0].force.x, 1.0f);
    ground.positions[0] = Vec3(0.0f, 0.01f, 0.0f);
    ground.particles[0].force = Vec3(1.0f, 5.0f, 0.0f);
    ground.contact->applyFriction();
    EXPECT_EQ(ground.particles[0].force.x, 1.0f);
}

TEST(Step, SlidingFrictionOpposesTheMotion) {
    Ground ground(1);
    ground.particles[0].init(ground.positions.data(), 0, 1.0f);
    ground.positions[0] = Vec3(0.0f, 0.01f, 0.0f);
    ground.particles[0].velocity = Vec3(0.0f, 0.0f, -3.0f);
    ground.particles[0].force = Vec3(2.0f, -10.0f, 0.0f);
    ground.contact->applyFriction();
    EXPECT_FLOAT_EQ(ground.particles[0].force.x, 2.0f);
    EXPECT_FLOAT_EQ(ground.particles[0].force.y, -10.0f);
    EXPECT_FLOAT_EQ(ground.particles[0].force.z, 9.0f);
    // Exactly zero sliding speed with a tangential force beyond the normal
    // force: nothing to oppose, the force stays as it was and finite.
    ground.particles[0].velocity = zeroVec3();
    ground.particles[0].force = Vec3(20.0f, -10.0f, 0.0f);
    ground.contact->applyFriction();
    EXPECT_FLOAT_EQ(ground.particles[0].force.x, 20.0f);
    EXPECT_FLOAT_EQ(ground.particles[0].force.y, -10.0f);
    EXPECT_EQ(ground.particles[0].force.z, 0.0f);
}

TEST(Step, DustIsOfferedOnlyAboveFiveMetresPerSecond) {
    Ground ground(1);
    ground.particles[0].init(ground.positions.data(), 0, 1.0f);
    DustSystem dust(64, ground.contact->terrain);
    dust.setClock(100.0f); // an interval of 100 s accepts every offer
    ground.contact->setDustSystem(&dust);
    int capacity = 0, start = 0, count = 0;
    struct Case {
        Vec3 velocity;
        float normalForce;
        bool offered;
    };
    const Case cases[] = {
        {Vec3(4.9f, -1.0f, 0.0f), -10.0f, false},
        {Vec3(5.1f, -1.0f, 0.0f), -10.0f, true},   // slides
        {Vec3(0.0f, -1.0f, 5.1f), -1.0e6f, true},  // sticks under a huge load
        {Vec3(3.0f, -40.0f, 0.0f), -10.0f, false}, // fast, but into the ground
    };
    int expected = 0;
    for (const Case& c : cases) {
        ground.positions[0] = Vec3(1.0f, 0.02f, 1.0f);
        ground.particles[0].velocity = c.velocity;
        ground.particles[0].force = Vec3(0.0f, c.normalForce, 0.0f);
        ground.contact->applyFriction();
        expected += c.offered ? 1 : 0;
        const DustParticle* slots = dust.view(capacity, start, count);
        ASSERT_EQ(count, expected) << c.velocity.x << "," << c.velocity.z;
        if (c.offered) {
            // Emitted at the contact with half the velocity plus a small jitter.
            const DustParticle& latest = slots[count - 1];
            EXPECT_EQ(latest.position.y, 0.02f);
            EXPECT_NEAR(latest.velocity.x, 0.5f * c.velocity.x + 0.2f, 0.21f);
            EXPECT_NEAR(latest.velocity.y, 0.5f * c.velocity.y + 0.2f, 0.21f);
            EXPECT_NEAR(latest.velocity.z, 0.5f * c.velocity.z + 0.2f, 0.21f);
        }
    }
    // Above the skin no dust, whatever the speed.
    ground.positions[0] = Vec3(1.0f, 0.2f, 1.0f);
    ground.particles[0].velocity = Vec3(20.0f, 0.0f, 0.0f);
    ground.particles[0].force = Vec3(0.0f, -10.0f, 0.0f);
    ground.contact->applyFriction();
    dust.view(capacity, start, count);
    EXPECT_EQ(count, expected);
    // Without a dust system the pass runs the same and emits nothing.
    ground.contact->setDustSystem(nullptr);
    ground.positions[0] = Vec3(1.0f, 0.02f, 1.0f);
    ground.particles[0].force = Vec3(0.0f, -10.0f, 0.0f);
    ground.contact->applyFriction();
    EXPECT_LT(ground.particles[0].force.x, 0.0f);
    dust.view(capacity, start, count);
    EXPECT_EQ(count, expected);
}

TEST(Step, FrictionSeesSpringAndGrabForcesButNotJointForces) {
    // A particle resting on the flat strip, pulled sideways by 5 N, about
    // half its weight. A spring acts before the friction pass, so a contact
    // at rest holds against it; a joint acts after it, so its push moves the
    // particle whatever the ground.
    ModelBuilder pulled;
    pulled.particle(Vec3(0.0f, 0.0f, 0.0f), 1.0f);
    pulled.particle(Vec3(10.0f, 0.5f, 0.0f), 1.0e6f); // heavy anchor in the air
    pulled.spring(0, 1, 100.0f, 0.0f);
    auto held = loaded(pulled);
    Spring& spring = held->springs()[0];
    spring.restLength -= 0.05f; // 100 N/m * 0.05 m of tension
    held->step(20);
    EXPECT_EQ(held->positions()[0].x, 0.0f);
    EXPECT_EQ(held->positions()[0].z, 0.0f);

    ModelBuilder pushed;
    pushed.particle(Vec3(0.0f, 0.0f, 0.0f), 1.0f);
    pushed.particle(Vec3(0.0f, 10.0f, 0.0f), 1000.0f); // corner, in the air
    pushed.particle(Vec3(-1.0f, 10.0f, 0.0f), 1000.0f);
    pushed.angle(0, 1, 2);
    auto moved = loaded(pushed);
    // At the right angle the joint pushes particle 0 by 2000 * target * |u|
    // along +x.
    moved->angleJoints()[0].setTarget(0.0025f);
    moved->step(20);
    EXPECT_GT(moved->positions()[0].x, 1.0e-5f);
    EXPECT_GE(moved->positions()[0].y, 0.0f);

    // A grab acts before the friction pass too: a hand 1 cm to the side
    // pulls with 3 N, which the resting contact holds.
    ModelBuilder alone;
    alone.particle(Vec3(0.0f, 0.0f, 0.0f), 1.0f);
    auto grabbed = loaded(alone);
    ASSERT_TRUE(grabbed->setGrab(0, Vec3(0.01f, 0.0f, 0.0f)));
    grabbed->step(20);
    EXPECT_EQ(grabbed->positions()[0].x, 0.0f);
    EXPECT_EQ(grabbed->positions()[0].z, 0.0f);
}

// The grab's pull: stiffness times the offset to the target, the offset at
// most the 2 m reach long, minus damping times the velocity; then at most
// 600 N. The force cap alone hides the reach only while the node is still.
TEST(Step, GrabPullIsCappedInReachAndInForce) {
    const Vec3 origin(0.0f, 0.0f, 0.0f);
    EXPECT_EQ(GrabSpring::force(origin, origin, Vec3(1.0f, 0.0f, 0.0f)).x, 300.0f);
    EXPECT_EQ(GrabSpring::force(origin, origin, Vec3(0.0f, 100.0f, 0.0f)).y, 600.0f);
    // 10 m away, closing at 5 m/s: 2 m of spring (600 N) less 300 N of damping.
    const Vec3 closing = GrabSpring::force(origin, Vec3(5.0f, 0.0f, 0.0f), Vec3(10.0f, 0.0f, 0.0f));
    EXPECT_NEAR(closing.x, 300.0f, 1e-3f);
    // 5 m away, moving across at 10 m/s: (600, 0, -600) N cut to 600 N long.
    const Vec3 across = GrabSpring::force(origin, Vec3(0.0f, 0.0f, 10.0f), Vec3(5.0f, 0.0f, 0.0f));
    EXPECT_NEAR(across.x, 424.26f, 0.01f);
    EXPECT_NEAR(across.z, -424.26f, 0.01f);
    // Pulled back hard (1500 N) it is still 600 N.
    const Vec3 back = GrabSpring::force(origin, Vec3(-20.0f, 0.0f, 0.0f), Vec3(1.0f, 0.0f, 0.0f));
    EXPECT_NEAR(back.x, 600.0f, 1e-3f);
}

// A blow-up: any coordinate of a position or velocity not finite, or a speed
// above 100 m/s; the first such particle is named.
TEST(Step, BlowUpIsAnyValueNotFiniteOrASpeedAbove100) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Vec3 positions[3];
    Particle particles[3];
    particles[1].velocity = Vec3(60.0f, 0.0f, 80.0f); // exactly 100 m/s
    EXPECT_EQ(blownUpParticle(positions, particles, 3), -1);
    particles[1].velocity = Vec3(60.0f, 0.0f, 80.01f);
    EXPECT_EQ(blownUpParticle(positions, particles, 3), 1);
    particles[1].velocity = Vec3(0.0f, 0.0f, 0.0f);
    for (int axis = 0; axis < 3; ++axis) {
        for (float bad : {nan, inf, -inf}) {
            Vec3 value(0.0f, 0.0f, 0.0f);
            (axis == 0 ? value.x : axis == 1 ? value.y : value.z) = bad;
            positions[2] = value;
            EXPECT_EQ(blownUpParticle(positions, particles, 3), 2) << "position, axis " << axis;
            positions[2] = Vec3(0.0f, 0.0f, 0.0f);
            particles[2].velocity = value;
            EXPECT_EQ(blownUpParticle(positions, particles, 3), 2) << "velocity, axis " << axis;
            particles[2].velocity = Vec3(0.0f, 0.0f, 0.0f);
        }
    }
    positions[0].y = nan;
    positions[2].x = inf;
    EXPECT_EQ(blownUpParticle(positions, particles, 3), 0);
}

namespace {

// A wheel of eight free rim particles about an axle along z, high in the air.
ModelBuilder airborneWheel() {
    ModelBuilder model;
    const int hubA = model.particle(Vec3(0.0f, 10.0f, 0.0f), 1.0f);
    const int hubB = model.particle(Vec3(0.0f, 10.0f, 0.2f), 1.0f);
    std::vector<int> rim;
    for (int k = 0; k < 8; ++k) {
        const float angle = 2.0f * 3.14159265f * static_cast<float>(k) / 8.0f;
        rim.push_back(model.particle(
            Vec3(0.5f * std::cos(angle), 10.0f + 0.5f * std::sin(angle), 0.0f), 1.0f));
    }
    model.wheel(hubA, hubB, rim);
    return model;
}

} // namespace

TEST(Step, BothTorquePassesRunInEverySubStep) {
    // The brake seed is transformed at every torque evaluation: with the
    // wheel nearly still, |brake| goes 0.1, 0.05, 0.0125, 7.8e-4, 3.05e-6 over
    // the four evaluations of one millisecond (two sub-steps). The rim's fall
    // reads as a small spin, which moves the last figure by about 1 %.
    auto braked = loaded(airborneWheel());
    braked->wheels()[0].setBrake(0.1f);
    braked->step(1);
    EXPECT_NEAR(std::fabs(braked->wheels()[0].brake), 3.05e-6f, 1e-7f);

    // The last torque pass of a sub-step leaves its forces in the
    // accumulators for the next one: a drive of 20 shows as 20 / 8 on each
    // rim particle, tangential, and nothing on the hubs.
    auto driven = loaded(airborneWheel());
    driven->wheels()[0].setDrive(20.0f);
    driven->step(1);
    const Particle* particles = driven->particles();
    const Vec3* positions = driven->positions();
    EXPECT_EQ(dot(particles[0].force, particles[0].force), 0.0f);
    EXPECT_EQ(dot(particles[1].force, particles[1].force), 0.0f);
    for (int p = 2; p < 10; ++p) {
        const Vec3& f = particles[p].force;
        EXPECT_NEAR(std::sqrt(dot(f, f)), 2.5f, 1e-3f) << p;
        const Vec3 r = positions[p] - positions[0];
        EXPECT_NEAR(dot(f, r), 0.0f, 1e-3f) << p;
        EXPECT_NEAR(f.z, 0.0f, 1e-5f) << p;
    }
}

TEST(Step, DegenerateElementsWriteNoNaN) {
    ModelBuilder model;
    const int a = model.particle(Vec3(0.0f, 5.0f, 0.0f), 1.0f);
    const int b = model.particle(Vec3(0.0f, 5.0f, 0.0f), 1.0f); // on a
    const int c = model.particle(Vec3(1.0f, 5.0f, 0.0f), 1.0f);
    const int hub = model.particle(Vec3(3.0f, 5.0f, 0.0f), 1.0f);
    const int hub2 = model.particle(Vec3(3.0f, 5.0f, 1.0f), 1.0f);
    const int onAxle = model.particle(Vec3(3.0f, 5.0f, 0.5f), 1.0f);
    model.spring(a, b, 1000.0f, 1.0f);     // zero length
    model.quadratic(a, b, 1000.0f);        // zero length
    model.angle(a, b, c);                  // zero arm a-b
    model.angle(c, b, a);                  // zero arm b-c
    model.rightAngle(b, a, c);             // zero arm a-b
    model.rightAngle(c, a, b);             // zero arm
    model.wheel(hub, hub2, {onAxle, hub}); // rim on the axle line and on a hub
    model.wheel(hub, hub, {onAxle});       // no axle at all
    auto world = loaded(model);
    world->wheels()[0].setDrive(50.0f);
    world->wheels()[1].setBrake(1.0f);
    world->step(20);
    EXPECT_TRUE(allFinite(*world));
    for (int w = 0; w < world->wheelCount(); ++w) {
        EXPECT_TRUE(std::isfinite(world->wheels()[w].spin()));
    }
}

// The packed step (springs four at a time, ground looked up once) and the
// element-by-element step give the same bits, also where the truck never
// goes: degenerate elements, a rim of five (not a multiple of four) with a
// particle on the axle line, particles off the grid and deep under it, a
// spring count that leaves a batch part empty, braking and driving wheels,
// a grab, near and far, and the exact boundaries: springs exactly 0.05 m
// long, a contact exactly at the 0.05 m skin, a particle exactly on the
// grid's +64 m edge.
TEST(Step, PackedStepMatchesTheElementByElementStep) {
    const int shortSprings = 4;
    int skin = -1;
    int shortEnds[shortSprings] = {};
    // On the default terrain, and on a loaded grid that is not square, not
    // 2 m apart and not centred, whose cell and plane lookup is the packed
    // step's own.
    std::vector<float> heights(41 * 29);
    for (int i = 0; i < 41; ++i) {
        for (int j = 0; j < 29; ++j) {
            heights[29 * i + j] = 0.6f * std::sin(0.7f * i) * std::cos(0.45f * j) + 0.02f * j;
        }
    }
    Terrain map;
    ASSERT_TRUE(map.build(heights.data(), 41, 29, 1.5f, -30.0f, -20.0f));
    const Terrain* const grounds[2] = {nullptr, &map};
    for (const Terrain* ground : grounds) {
        SCOPED_TRACE(ground ? "loaded grid" : "default terrain");
        auto build = [&](const Terrain* ground) {
            ModelBuilder model = truckModel(0.0f, 0.0f);
            // Springs 0.1 m long at rest, squeezed below to exactly 0.05 m (the
            // shortest length that still acts), in four consecutive springs so
            // that they fill lanes of a batch. Only x differs, and the pairs fall
            // alike, so the length stays exactly 0.05f in the first sub-step.
            for (int k = 0; k < shortSprings; ++k) {
                const int a = model.particle(Vec3(0.0f, 5.0f, 30.0f + k), 1.0f);
                shortEnds[k] = model.particle(Vec3(0.1f, 5.0f, 30.0f + k), 1.0f);
                model.spring(a, shortEnds[k], 1000.0f, 1.0f);
            }
            // Exactly 0.05 m over the flat strip, sliding, pressed down by gravity.
            skin = model.particle(Vec3(2.0f, 0.05f, 30.0f), 1.0f);
            const int a = model.particle(Vec3(20.0f, 5.0f, 3.0f), 1.0f);
            const int b = model.particle(Vec3(20.0f, 5.0f, 3.0f), 1.0f); // on a
            const int c = model.particle(Vec3(20.03f, 5.0f, 3.0f), 1.0f);
            const int hub = model.particle(Vec3(23.0f, 0.3f, 3.0f), 1.0f);
            const int hub2 = model.particle(Vec3(23.0f, 0.3f, 4.0f), 1.0f);
            std::vector<int> rim = {model.particle(Vec3(23.0f, 0.3f, 3.5f), 1.0f)}; // on the axle
            for (int k = 0; k < 4; ++k) {
                rim.push_back(model.particle(
                    Vec3(23.0f + 0.3f * std::cos(1.5f * k), 0.3f + 0.3f * std::sin(1.5f * k), 3.5f),
                    0.5f));
            }
            const int off = model.particle(Vec3(70.0f, 1.0f, 0.0f), 1.0f);   // off the grid
            const int deep = model.particle(Vec3(-9.0f, -2.0f, 5.0f), 1.0f); // under the ground
            model.spring(a, b, 1000.0f, 1.0f);                               // zero length
            model.spring(a, c, 1000.0f, 1.0f);                               // shorter than 5 cm
            model.spring(off, deep, 50.0f, 0.5f);
            model.quadratic(a, b, 1000.0f);
            model.quadratic(hub, rim[2], 800.0f);
            model.angle(a, b, c);
            model.rightAngle(b, a, c);
            model.wheel(hub, hub2, rim);
            for (int r : rim) {
                model.spring(hub, r, 2000.0f, 2.0f);
                model.spring(hub2, r, 2000.0f, 2.0f);
            }
            std::unique_ptr<PhysicsWorld> world(new PhysicsWorld(ground));
            const std::string text = model.text();
            EXPECT_TRUE(world->loadModelFromText(text.data(), text.size(), "test model"));
            for (int k = 0; k < shortSprings; ++k) {
                world->positions()[shortEnds[k]].x = 0.05f;
            }
            // No acceleration terms: the prediction leaves its height as it is.
            Particle& sliding = world->particles()[skin];
            sliding.velocity = Vec3(1.0f, 0.0f, 0.0f);
            sliding.acceleration = zeroVec3();
            sliding.previousAcceleration = zeroVec3();
            return world;
        };
        auto packed = build(ground);
        auto plain = build(ground);
        int impacts = 0;
        ASSERT_EQ(packed->springCount() % 4, 3);
        for (int frame = 0; frame < 60; ++frame) {
            for (PhysicsWorld* world : {packed.get(), plain.get()}) {
                for (int w = 0; w < world->wheelCount(); ++w) {
                    world->wheels()[w].setDrive(frame < 40 ? 60.0f : 0.0f);
                    world->wheels()[w].setBrake(frame < 40 ? 0.0f : 0.8f);
                }
                world->angleJoints()[0].setTarget(frame < 20 ? 0.0f : 0.4f);
                // A hand pulls a chassis corner up, then a rim particle far away
                // (the capped pull), then lets go.
                if (frame == 10) {
                    ASSERT_TRUE(world->setGrab(47, Vec3(1.75f, 3.3f, 1.0f)));
                } else if (frame == 30) {
                    ASSERT_TRUE(world->setGrab(55, Vec3(60.0f, 20.0f, 0.0f)));
                } else if (frame == 50) {
                    world->clearGrab();
                }
            }
            packed->step(5);
            plain->stepElementByElement(5);
            // The ground's peak impulse is measured the same way by both.
            ASSERT_EQ(packed->peakContactImpulse(), plain->peakContactImpulse()) << frame;
            impacts += packed->peakContactImpulse() > 0.0f ? 1 : 0;
        }
        EXPECT_GT(impacts, 0);
        // A step of no sub-steps had no contact.
        packed->step(0);
        EXPECT_EQ(packed->peakContactImpulse(), 0.0f);
        const int n = packed->particleCount();
        ASSERT_EQ(std::memcmp(packed->positions(), plain->positions(), sizeof(Vec3) * n), 0);
        for (int i = 0; i < n; ++i) {
            const Particle& p = packed->particles()[i];
            const Particle& q = plain->particles()[i];
            ASSERT_EQ(std::memcmp(&p.velocity, &q.velocity, sizeof(Vec3)), 0) << i;
            ASSERT_EQ(std::memcmp(&p.acceleration, &q.acceleration, sizeof(Vec3)), 0) << i;
            ASSERT_EQ(std::memcmp(&p.force, &q.force, sizeof(Vec3)), 0) << i;
        }
        for (int k = 0; k < packed->springCount(); ++k) {
            ASSERT_EQ(packed->springs()[k].previousLength, plain->springs()[k].previousLength) << k;
        }
        for (int w = 0; w < packed->wheelCount(); ++w) {
            EXPECT_EQ(packed->wheels()[w].spin(), plain->wheels()[w].spin()) << w;
            EXPECT_EQ(packed->wheels()[w].brake, plain->wheels()[w].brake) << w;
        }
        EXPECT_TRUE(allFinite(*packed));
    }

    // On the +64 m edge a particle is off the grid, like one further out: a
    // lookup that took it for inside would read the plane past the last
    // cell. The ground here is followed by known floats, so that such a read
    // would put the particle deep under a plane and move it.
    struct GroundAndMore {
        GroundContact contact;
        float after[8];
    };
    std::unique_ptr<GroundAndMore> ground(new GroundAndMore());
    ground->contact.terrain.build();
    for (float& f : ground->after) {
        f = 1.0f;
    }
    Vec3 positions[4] = {Vec3(64.0f, -2.0f, -63.5f), Vec3(70.0f, -2.0f, -63.5f),
                         Vec3(64.0f, -2.0f, -60.5f), Vec3(0.0f, 3.0f, 0.0f)};
    Particle particles[4];
    for (int i = 0; i < 4; ++i) {
        particles[i].init(positions, i, 1.0f);
    }
    ground->contact.bind(particles, positions, 4);
    StepElements edge;
    edge.positions = positions;
    edge.particles = particles;
    edge.particleCount = 4;
    edge.contact = &ground->contact;
    PackedStep step;
    ASSERT_TRUE(step.prepare(edge));
    step.run(edge, 3);
    for (int i : {0, 2}) {
        EXPECT_EQ(positions[i].x, 64.0f) << i;
        EXPECT_EQ(positions[i].y, positions[1].y) << i;
        EXPECT_EQ(particles[i].velocity.y, particles[1].velocity.y) << i;
    }
    EXPECT_EQ(positions[0].z, -63.5f);
    EXPECT_EQ(positions[2].z, -60.5f);
}
