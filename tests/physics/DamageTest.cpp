// Damage: limits as strains, plastic flow that adds no energy, breaks that
// zero a spring for good without throwing the body about, no creep at rest,
// and the packed step giving the element-by-element step's bits with damage
// on.
#include "ModelBuilder.h"

#include "physics/BodyShape.h"
#include "physics/DriveController.h"
#include "physics/PhysicsWorld.h"
#include "physics/SpringDamage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

std::unique_ptr<PhysicsWorld> loadText(const std::string& text) {
    std::unique_ptr<PhysicsWorld> world(new PhysicsWorld());
    EXPECT_TRUE(world->loadModelFromText(text.data(), text.size(), "test model"))
        << world->failureReason();
    return world;
}

std::unique_ptr<PhysicsWorld> shippedTruck() {
    std::unique_ptr<PhysicsWorld> world(new PhysicsWorld());
    const std::string path = std::string(DRAVONEL_ASSET_DIR) + "/Modell.txt";
    EXPECT_TRUE(world->loadModel(path.c_str())) << world->failureReason();
    EXPECT_TRUE(world->hasDamageLimits());
    return world;
}

// Stored energy of a spring by its piecewise law (linear within 20 % of the
// rest length, five times as steep beyond, with the law's offsets).
double springEnergy(double k, double rest, double length) {
    const double x = length - rest;
    const double band = 0.2 * rest;
    if (std::fabs(x) <= band) {
        return 0.5 * k * x * x;
    }
    const double inner = 0.5 * k * band * band;
    if (x > 0.0) {
        return inner + k * (2.5 * (x * x - band * band) - band * (x - band));
    }
    return inner + k * (2.5 * (x * x - band * band) + band * (x + band));
}

float fastestParticle(PhysicsWorld& world) {
    float fastest = 0.0f;
    for (int i = 0; i < world.particleCount(); ++i) {
        const Vec3 v = world.particles()[i].velocity;
        fastest = std::max(fastest, std::sqrt(dot(v, v)));
    }
    return fastest;
}

} // namespace

// One material yields at one strain: a 0.2 m and a 2 m spring with the same
// limits, stretched slowly, start to flow at the same strain.
TEST(Damage, ShortAndLongSpringsYieldAtTheSameStrain) {
    const float yield = 0.02f;
    ModelBuilder model;
    const float lengths[2] = {0.2f, 2.0f};
    int ends[2][2];
    for (int k = 0; k < 2; ++k) {
        ends[k][0] = model.particle(Vec3(0.0f, 40.0f, 10.0f * k), 1.0f);
        ends[k][1] = model.particle(Vec3(lengths[k], 40.0f, 10.0f * k), 1.0f);
        // Same material: the stiffness of a bar goes with 1 / length.
        model.spring(ends[k][0], ends[k][1], 2000.0f / lengths[k], 0.0f);
    }
    auto world = loadText(model.text() + "damage 1\nspring 0 1 0.02 0.2 0.5\n");
    world->setDamage(true);
    float yieldedAt[2] = {-1.0f, -1.0f};
    for (int stepNumber = 1; stepNumber <= 4000; ++stepNumber) {
        const float strain = yield * 2.0f * static_cast<float>(stepNumber) / 4000.0f;
        for (int k = 0; k < 2; ++k) {
            // Held in place: no motion of their own, so the springs see the
            // lengths set here.
            for (int end = 0; end < 2; ++end) {
                Particle& p = world->particles()[ends[k][end]];
                p.velocity = zeroVec3();
                p.acceleration = zeroVec3();
                p.previousAcceleration = zeroVec3();
                p.force = zeroVec3();
            }
            world->positions()[ends[k][1]] =
                world->positions()[ends[k][0]] + Vec3(lengths[k] * (1.0f + strain), 0.0f, 0.0f);
        }
        world->step(1);
        for (int k = 0; k < 2; ++k) {
            if (yieldedAt[k] < 0.0f &&
                world->springs()[k].restLength != world->springDamage()[k].originalLength) {
                yieldedAt[k] = strain;
            }
        }
    }
    ASSERT_GT(yieldedAt[0], 0.0f);
    ASSERT_GT(yieldedAt[1], 0.0f);
    EXPECT_NEAR(yieldedAt[0], yield, 0.01f * yield);
    EXPECT_NEAR(yieldedAt[1], yield, 0.01f * yield);
    EXPECT_NEAR(yieldedAt[0], yieldedAt[1], 0.01f * yield);
    // Past the yield the rest length follows, held at the yield strain
    // behind the length and within the plastic limit.
    for (int k = 0; k < 2; ++k) {
        EXPECT_GT(world->springs()[k].restLength, lengths[k] * 1.015f) << k;
        EXPECT_LE(world->springs()[k].restLength, lengths[k] * 1.2f + 1e-6f) << k;
    }
}

// A tetrahedron squeezed far past its yield and let go: its elastic plus
// kinetic energy (about its centre of mass) never rises above what it held
// before the flow, while the flow keeps part of the dent.
TEST(Damage, PlasticFlowAddsNoEnergy) {
    ModelBuilder model;
    const Vec3 corners[4] = {Vec3(0, 30, 0), Vec3(1, 30, 0), Vec3(0.3f, 30, 0.9f),
                             Vec3(0.4f, 30.8f, 0.3f)};
    for (const Vec3& c : corners) {
        model.particle(c, 1.0f);
    }
    const float k = 3000.0f;
    for (int a = 0; a < 4; ++a) {
        for (int b = a + 1; b < 4; ++b) {
            model.spring(a, b, k, 2.0f);
        }
    }
    auto world = loadText(model.text() + "damage 1\nspring 0 5 0.01 0.3 0.9\n");
    world->setDamage(true);
    // Squeezed to 70 % about its centre, at rest.
    Vec3 centre;
    for (int i = 0; i < 4; ++i) {
        centre = centre + corners[i] * 0.25f;
    }
    for (int i = 0; i < 4; ++i) {
        world->positions()[i] = centre + (corners[i] - centre) * 0.7f;
    }
    auto energy = [&]() {
        double elastic = 0.0;
        for (int s = 0; s < world->springCount(); ++s) {
            const Spring& spring = world->springs()[s];
            const Vec3 d = world->positions()[spring.b] - world->positions()[spring.a];
            elastic += springEnergy(k, spring.restLength, std::sqrt(dot(d, d)));
        }
        Vec3 mean;
        for (int i = 0; i < 4; ++i) {
            mean = mean + world->particles()[i].velocity * 0.25f;
        }
        double kinetic = 0.0;
        for (int i = 0; i < 4; ++i) {
            const Vec3 v = world->particles()[i].velocity - mean;
            kinetic += 0.5 * dot(v, v);
        }
        return elastic + kinetic;
    };
    const double before = energy();
    double highest = 0.0;
    for (int ms = 0; ms < 1000; ++ms) {
        world->step(1);
        highest = std::max(highest, energy());
    }
    EXPECT_GT(world->yieldedCount(), 0);
    EXPECT_LE(highest, before) << "before the flow " << before;
    // It stays dented: the rest lengths kept part of the squeeze.
    EXPECT_LT(world->springs()[0].restLength, 0.95f * world->springDamage()[0].originalLength);
    EXPECT_GT(world->springs()[0].restLength, 0.69f * world->springDamage()[0].originalLength);
}

// A broken spring stops acting from that sub-step on and stays broken until
// repaired; the counts follow.
TEST(Damage, BreakZeroesTheSpringForGoodAndRepairMendsIt) {
    ModelBuilder model;
    model.particle(Vec3(0, 30, 0), 1.0f);
    model.particle(Vec3(1, 30, 0), 1.0f);
    model.spring(0, 1, 1000.0f, 0.0f);
    model.quadratic(0, 1, 1000.0f);
    auto world = loadText(model.text() + "damage 2\nspring 0 0 0.01 0.05 0.1\n"
                                         "quadratic 0 0 0.01 0.05 0.1\n");
    world->setDamage(true);
    world->positions()[1].x = 1.2f;
    world->step(1);
    EXPECT_EQ(world->brokenCount(), 2);
    // No force at all from the broken pair: both fall freely, side by side.
    for (int ms = 0; ms < 100; ++ms) {
        world->step(1);
    }
    EXPECT_FLOAT_EQ(world->particles()[0].velocity.x, 0.0f);
    EXPECT_FLOAT_EQ(world->particles()[1].velocity.x, 0.0f);
    EXPECT_FLOAT_EQ(world->positions()[1].x - world->positions()[0].x, 1.2f);
    // Back near its rest length it stays broken.
    world->positions()[1].x = world->positions()[0].x + 1.0f;
    world->step(1);
    EXPECT_EQ(world->brokenCount(), 2);
    world->repairDamage();
    EXPECT_EQ(world->brokenCount(), 0);
    EXPECT_EQ(world->yieldedCount(), 0);
    EXPECT_EQ(world->springs()[0].restLength, world->springDamage()[0].originalLength);
}

// With damage on the packed step gives the element-by-element step's bits:
// a truck dropped on its side from 2 m, with limits low enough that springs
// flow and break.
TEST(Damage, PackedStepMatchesTheElementByElementStepWithDamage) {
    ModelBuilder model = truckModel(0.0f, 0.0f);
    const std::string text =
        model.text() + "damage 3\nspring 0 " + std::to_string(model.springCount() - 1) +
        " 0.004 0.05 0.08\nspring 0 3 0.001 0.3 0.02\nquadratic 0 0 0.001 0.01 0.5\n";
    auto packed = loadText(text);
    auto plain = loadText(text);
    for (PhysicsWorld* world : {packed.get(), plain.get()}) {
        world->setDamage(true);
        for (int i = 0; i < world->particleCount(); ++i) {
            const Vec3 p = world->positions()[i];
            world->positions()[i] = Vec3(p.x, 2.5f - p.x * 0.5f + p.y * 0.8f, p.z);
        }
    }
    for (int frame = 0; frame < 100; ++frame) {
        packed->step(5);
        plain->stepElementByElement(5);
    }
    EXPECT_GT(packed->yieldedCount(), 0);
    EXPECT_GT(packed->brokenCount(), 0);
    const int n = packed->particleCount();
    ASSERT_EQ(std::memcmp(packed->positions(), plain->positions(), sizeof(Vec3) * n), 0);
    for (int i = 0; i < n; ++i) {
        ASSERT_EQ(std::memcmp(&packed->particles()[i].velocity, &plain->particles()[i].velocity,
                              sizeof(Vec3)),
                  0)
            << i;
    }
    for (int k = 0; k < packed->springCount(); ++k) {
        ASSERT_EQ(packed->springs()[k].restLength, plain->springs()[k].restLength) << k;
        ASSERT_EQ(packed->springDamage()[k].broken, plain->springDamage()[k].broken) << k;
    }
    for (int k = 0; k < packed->quadraticSpringCount(); ++k) {
        ASSERT_EQ(packed->quadraticSprings()[k].restLength, plain->quadraticSprings()[k].restLength)
            << k;
    }
}

// The shipped truck left on flat ground for a minute with damage on: no
// spring yields, it does not sag, and its shape stays within 5 mm of rest.
TEST(Damage, ShippedTruckDoesNotCreepAtRest) {
    auto world = shippedTruck();
    world->setDamage(true);
    BodyShape shape;
    ASSERT_TRUE(shape.bind(*world));
    EXPECT_EQ(shape.bodyCount(), 30);
    double worst = 0.0;
    for (int second = 0; second < 60; ++second) {
        world->step(1000);
        worst = std::max(worst, shape.deviation(world->positions()));
        ASSERT_EQ(world->yieldedCount(), 0) << "after " << second + 1 << " s";
    }
    EXPECT_EQ(world->brokenCount(), 0);
    EXPECT_LT(worst, 0.005);
    EXPECT_GT(worst, 0.0) << "the settled body is not exactly its rest shape";
}

// In a settled truck each spring and quadratic spring broken in turn, one per
// run: over the next second the fastest particle never gets more than
// 0.5 m/s faster than it was.
TEST(Damage, BreakingAnySpringOfTheSettledTruckNeverExplodes) {
    auto settled = shippedTruck();
    settled->setDamage(true);
    settled->step(2000);
    auto world = shippedTruck();
    world->setDamage(true);
    const int n = world->particleCount();
    const int springs = world->springCount();
    const int quadratics = world->quadraticSpringCount();
    auto restore = [&]() {
        std::memcpy(world->positions(), settled->positions(), sizeof(Vec3) * n);
        for (int i = 0; i < n; ++i) {
            Particle& p = world->particles()[i];
            const Particle& q = settled->particles()[i];
            p.velocity = q.velocity;
            p.acceleration = q.acceleration;
            p.previousAcceleration = q.previousAcceleration;
            p.force = q.force;
        }
        for (int k = 0; k < springs; ++k) {
            world->springs()[k].previousLength = settled->springs()[k].previousLength;
        }
        for (int k = 0; k < quadratics; ++k) {
            world->quadraticSprings()[k].previousLength =
                settled->quadraticSprings()[k].previousLength;
        }
        for (int w = 0; w < world->wheelCount(); ++w) {
            world->wheels()[w].brake = settled->wheels()[w].brake;
        }
        world->repairDamage();
    };
    float worstRise = 0.0f;
    int worstElement = -1;
    for (int e = 0; e < springs + quadratics; ++e) {
        restore();
        const float start = fastestParticle(*world);
        (e < springs ? world->springDamage()[e] : world->quadraticDamage()[e - springs]).broken = 1;
        for (int ms = 0; ms < 1000; ms += 5) {
            world->step(5);
            const float rise = fastestParticle(*world) - start;
            if (rise > worstRise) {
                worstRise = rise;
                worstElement = e;
            }
        }
        ASSERT_EQ(world->brokenCount(), 1) << e;
    }
    std::printf("breaking one element: the fastest particle rises by at most %.3f m/s "
                "(element %d)\n",
                worstRise, worstElement);
    EXPECT_LT(worstRise, 0.5f) << "element " << worstElement;
}

// The rigid fit under the shape measure: a turned and moved copy of the rest
// shape has no deviation; a dent of one particle shows.
TEST(Damage, ShapeIsMeasuredAfterTheBestRigidFit) {
    auto world = shippedTruck();
    BodyShape shape;
    ASSERT_TRUE(shape.bind(*world));
    std::vector<Vec3> moved(static_cast<size_t>(world->particleCount()));
    const float c = std::cos(0.7f);
    const float s = std::sin(0.7f);
    for (int i = 0; i < world->particleCount(); ++i) {
        const Vec3 p = world->restShape()[i];
        moved[static_cast<size_t>(i)] =
            Vec3(c * p.x + s * p.z + 5.0f, p.y + 1.0f, -s * p.x + c * p.z);
    }
    EXPECT_LT(shape.deviation(moved.data()), 1e-5);
    moved[140].y += 0.3f;
    const double dent = shape.deviation(moved.data());
    EXPECT_GT(dent, 0.3 / std::sqrt(30.0) * 0.8);
    EXPECT_LT(dent, 0.3 / std::sqrt(30.0) * 1.01);
}

// A front wheel torn off (every spring from its hubs to the body broken)
// while driving: its joints, whose pull grows with their arms, tear too
// instead of flinging the wheel and the body apart; the rest drives on, and
// the packed step keeps the element-by-element step's bits.
TEST(Damage, ATornOffWheelTearsItsJointsInsteadOfExploding) {
    std::unique_ptr<PhysicsWorld> worlds[2] = {shippedTruck(), shippedTruck()};
    DriveController drives[2];
    for (int k = 0; k < 2; ++k) {
        PhysicsWorld& world = *worlds[k];
        world.setDamage(true);
        drives[k].bindWheels(world.wheels());
        const Wheel& wheel = world.wheels()[0];
        for (int s = 0; s < world.springCount(); ++s) {
            const Spring& spring = world.springs()[s];
            const bool hub = spring.a == wheel.hubA || spring.a == wheel.hubB ||
                             spring.b == wheel.hubA || spring.b == wheel.hubB;
            if (hub && (spring.a >= 136 || spring.b >= 136)) {
                world.springDamage()[s].broken = 1;
            }
        }
    }
    const int brokenSprings = worlds[0]->brokenCount();
    ASSERT_GT(brokenSprings, 0);
    float fastest = 0.0f;
    for (int frame = 0; frame < 300; ++frame) {
        for (int k = 0; k < 2; ++k) {
            const float steer = frame > 150 ? 0.6f : 0.0f;
            worlds[k]->angleJoints()[0].setTarget(steer);
            worlds[k]->angleJoints()[1].setTarget(-steer);
            drives[k].update(1.0f);
        }
        worlds[0]->step(16);
        worlds[1]->stepElementByElement(16);
        fastest = std::max(fastest, fastestParticle(*worlds[0]));
    }
    EXPECT_GT(worlds[0]->brokenCount(), brokenSprings) << "its joints tore";
    EXPECT_LT(fastest, 50.0f);
    const int n = worlds[0]->particleCount();
    EXPECT_EQ(std::memcmp(worlds[0]->positions(), worlds[1]->positions(), sizeof(Vec3) * n), 0);
    // The other three wheels drove the truck on.
    EXPECT_GT(std::fabs(worlds[0]->positions()[137].z - worlds[0]->restShape()[137].z), 5.0f);
}
