// The model check: a spring too stiff for the step is named with its particle
// and the sub-step the body blew up in; elements that can never act are
// named one by one; what a program relies on is refused when missing; a
// blow-up the spring figure cannot foresee is caught by the settle test, and
// one that only comes on the move by the drive test.
#include "physics/ModelCheck.h"
#include "physics/PhysicsWorld.h"
#include "tests/physics/ModelBuilder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::unique_ptr<PhysicsWorld> loaded(const std::string& text) {
    std::unique_ptr<PhysicsWorld> world(new PhysicsWorld());
    EXPECT_TRUE(world->loadModelFromText(text.data(), text.size(), "test model"))
        << world->failureReason();
    return world;
}

std::string lastLine(const std::string& report) {
    const size_t end = report.find_last_not_of('\n');
    const size_t start = report.rfind('\n', end);
    return report.substr(start == std::string::npos ? 0 : start + 1, end - start);
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A resting cube of eight 1 kg corners braced every one to every other.
ModelBuilder cube(float stiffness) {
    ModelBuilder model;
    for (int i = 0; i < 8; ++i) {
        model.particle(Vec3(i & 1 ? 0.5f : 0.0f, i & 2 ? 0.6f : 0.1f, i & 4 ? 0.5f : 0.0f), 1.0f);
    }
    for (int a = 0; a < 8; ++a) {
        for (int b = a + 1; b < 8; ++b) {
            model.spring(a, b, stiffness, 5.0f);
        }
    }
    return model;
}

} // namespace

TEST(ModelCheck, TheShippedTruckPassesAndOneSpringTooStiffIsNamedAsUnstable) {
    std::ifstream in(std::string(DRAVONEL_ASSET_DIR) + "/Modell.txt");
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string shipped = buffer.str();
    ASSERT_FALSE(shipped.empty());
    {
        ModelCheck check;
        EXPECT_TRUE(check.run(*loaded(shipped), ModelCheck::Needs()));
        EXPECT_EQ(lastLine(check.report()), "usable") << check.report();
        EXPECT_EQ(check.blowUpSubStep, 0);
        EXPECT_LT(check.worstStability, ModelCheck::stiffRangeLimit);
        // Its damage limits: the bumpers first, and nothing yields at rest.
        EXPECT_TRUE(contains(check.report(), "damage limits: 757 of 757 springs"))
            << check.report();
        EXPECT_TRUE(contains(check.report(), "with damage on nothing yielded or broke"));
        EXPECT_GE(check.weakestSpring, 0);
        EXPECT_EQ(check.settleYielded, 0);
    }

    // Spring 0 (particles 0 and 2, 800 N/m) made 10^9 times stiffer.
    std::istringstream tokens(shipped);
    std::string token;
    std::string stiff;
    int particles = 0;
    tokens >> particles;
    stiff = std::to_string(particles) + "\n";
    for (int k = 0; k < 4 * particles + 1 + 2; ++k) {
        tokens >> token;
        stiff += token + " ";
    }
    float stiffness = 0.0f;
    tokens >> stiffness;
    EXPECT_EQ(stiffness, 800.0f);
    stiff += ModelBuilder::number(stiffness * 1e9f);
    std::getline(tokens, token, '\0');
    stiff += token;

    ModelCheck check;
    EXPECT_FALSE(check.run(*loaded(stiff), ModelCheck::Needs()));
    const std::string verdict = lastLine(check.report());
    EXPECT_EQ(verdict.rfind("not usable: unstable", 0), 0u) << verdict;
    EXPECT_TRUE(contains(verdict, "particle 2 ")) << verdict;
    EXPECT_TRUE(contains(verdict, "spring 0")) << verdict;
    EXPECT_EQ(check.worstParticle, 2);
    // The settle test sees it blow up at once and lists the particle's
    // springs, the culprit first.
    EXPECT_GE(check.blowUpSubStep, 1);
    EXPECT_LE(check.blowUpSubStep, 10);
    EXPECT_TRUE(check.blowUpParticle == 0 || check.blowUpParticle == 2) << check.blowUpParticle;
    EXPECT_TRUE(contains(check.report(), "    spring 0, to particle ")) << check.report();
}

TEST(ModelCheck, ElementsThatCanNeverActAreNamed) {
    ModelBuilder model = cube(1000.0f);
    model.spring(3, 3, 1000.0f, 1.0f); // spring 28: to itself
    const int near = model.particle(Vec3(0.0f, 0.13f, 0.0f), 1.0f);
    model.spring(0, near, 1000.0f, 1.0f); // spring 29: 0.03 m
    const int loose = model.particle(Vec3(2.0f, 0.5f, 2.0f), 1.0f);
    const int hubA = model.particle(Vec3(-0.2f, 0.3f, 0.0f), 0.5f);
    const int hubB = model.particle(Vec3(-0.2f, 0.3f, 0.5f), 0.5f);
    const int onAxle = model.particle(Vec3(-0.2f, 0.3f, 0.25f), 0.1f);
    const int onRim = model.particle(Vec3(-0.2f, 0.6f, 0.25f), 0.1f);
    for (int p : {onAxle, onRim}) {
        model.spring(hubA, p, 500.0f, 1.0f);
        model.spring(hubB, p, 500.0f, 1.0f);
    }
    model.spring(onAxle, 1, 500.0f, 1.0f);
    model.spring(onRim, 5, 500.0f, 1.0f);
    model.spring(hubA, 0, 500.0f, 1.0f);
    model.spring(hubB, 4, 500.0f, 1.0f);
    model.spring(hubA, hubB, 500.0f, 1.0f);
    model.wheel(hubA, hubB, {onRim, onAxle});
    model.rightAngle(1, 1, 2); // a zero-length arm
    model.angle(1, 0, 2);      // square at rest

    ModelCheck check;
    EXPECT_TRUE(check.run(*loaded(model.text()), ModelCheck::Needs()));
    const std::string& report = check.report();
    EXPECT_TRUE(contains(report, "warning: spring 28 joins particle 3 to itself")) << report;
    EXPECT_TRUE(contains(report, "warning: spring 29 (particles 0 and 8) is 0.0300 m long"))
        << report;
    EXPECT_TRUE(
        contains(report, "warning: particle " + std::to_string(loose) + " is joined to nothing"))
        << report;
    EXPECT_TRUE(contains(report, "warning: wheel 0: rim particle " + std::to_string(onAxle) +
                                     " lies on the axle"))
        << report;
    EXPECT_FALSE(contains(report, "rim particle " + std::to_string(onRim) + " lies")) << report;
    EXPECT_TRUE(contains(report, "warning: right-angle joint 0 (particles 1, 1, 2; corner 1) has "
                                 "a zero-length arm"))
        << report;
    EXPECT_FALSE(contains(report, "warning: angle joint")) << report;
    EXPECT_EQ(check.warnings(), 5);
    EXPECT_EQ(lastLine(report),
              "usable, with 5 warnings; the first: spring 28 joins particle 3 to itself: it "
              "never acts");
}

TEST(ModelCheck, WhatTheProgramReliesOnIsRequired) {
    ModelBuilder model = cube(1000.0f);
    model.angle(0, 1, 1); // steers, but its second arm has no length
    const ModelCheck::NamedParticle named[] = {{7, "fit"}, {8, "strut end"}};
    ModelCheck::Needs needs;
    needs.particles = 9;
    needs.wheels = 1;
    needs.angleJoints = 1;
    needs.named = named;
    needs.namedCount = 2;
    ModelCheck check;
    EXPECT_FALSE(check.run(*loaded(model.text()), needs));
    const std::string& report = check.report();
    EXPECT_TRUE(contains(report, "error: the program needs at least 9 particles; the model has 8"));
    EXPECT_TRUE(contains(report, "error: the program drives 1 wheels; the model has 0"));
    EXPECT_TRUE(contains(report, "error: particle 8 (strut end) is missing"));
    EXPECT_FALSE(contains(report, "particle 7 (fit)"));
    EXPECT_TRUE(contains(report, "error: angle joint 0 steers, but it has a zero-length arm"));
    EXPECT_EQ(check.errors(), 4) << report;
    EXPECT_EQ(lastLine(report),
              "not usable: the program needs at least 9 particles; the model has 8");

    // A driven wheel's spin is read from its first rim particle: on the axle
    // it is refused, while any other rim particle there is only a warning.
    for (const bool firstOnAxle : {true, false}) {
        SCOPED_TRACE(firstOnAxle ? "first rim particle on the axle" : "second on the axle");
        ModelBuilder wheeled = cube(1000.0f);
        const int onAxle = wheeled.particle(Vec3(0.0f, 0.1f, 0.25f), 1.0f);
        wheeled.spring(onAxle, 0, 1000.0f, 0.0f);
        // Hubs 0 and 4 (the axle along z), rim particles 1 and the one on it.
        wheeled.wheel(0, 4,
                      firstOnAxle ? std::vector<int>{onAxle, 1} : std::vector<int>{1, onAxle});
        ModelCheck::Needs driven;
        driven.wheels = 1;
        ModelCheck wheelCheck;
        wheelCheck.run(*loaded(wheeled.text()), driven);
        EXPECT_EQ(contains(wheelCheck.report(), "error: wheel 0 is driven, but its first rim"),
                  firstOnAxle)
            << wheelCheck.report();
        EXPECT_TRUE(contains(wheelCheck.report(), "rim particle 8 lies on the axle"))
            << wheelCheck.report();
    }
}

// Every spring is soft, but an angle joint pulls on two 1 g particles with
// its fixed gain: the spring figure sees nothing, the settle test finds the
// blow-up and names the particle.
TEST(ModelCheck, TheSettleTestCatchesABlowUpTheSpringsDoNotExplain) {
    ModelBuilder model = cube(1000.0f);
    const int a = model.particle(Vec3(0.2f, 0.3f, 0.3f), 0.001f);
    const int b = model.particle(Vec3(0.3f, 0.35f, 0.3f), 0.001f);
    model.spring(a, 0, 1.0f, 0.0f);
    model.spring(b, 0, 1.0f, 0.0f);
    model.angle(a, b, 5); // not square at rest: pulls at once
    ModelCheck check;
    EXPECT_FALSE(check.run(*loaded(model.text()), ModelCheck::Needs()));
    EXPECT_LT(check.worstStability, ModelCheck::stiffRangeLimit);
    EXPECT_GE(check.blowUpSubStep, 1);
    EXPECT_TRUE(check.blowUpParticle == a || check.blowUpParticle == b);
    const std::string verdict = lastLine(check.report());
    EXPECT_EQ(verdict.rfind("not usable: unstable: the body blew up in sub-step ", 0), 0u)
        << verdict;
    EXPECT_TRUE(contains(check.report(), "springs attached to particle " +
                                             std::to_string(check.blowUpParticle) +
                                             ", stiffest first: 1"))
        << check.report();

    // A cube that only rests: its figures are those of a body at rest.
    ModelCheck resting;
    EXPECT_TRUE(resting.run(*loaded(cube(1000.0f).text()), ModelCheck::Needs()));
    EXPECT_EQ(lastLine(resting.report()), "usable") << resting.report();
    EXPECT_TRUE(contains(resting.report(), "damage limits: none"));

    // The same cube with limits: one spring breaks before it yields, and
    // all are so weak that they sag under the cube's weight.
    ModelCheck weak;
    EXPECT_TRUE(weak.run(*loaded(cube(1000.0f).text() + "damage 2\nspring 0 27 0.0001 0.5 0.9\n"
                                                        "spring 5 5 0.2 0.1 0.05\n"),
                         ModelCheck::Needs()));
    EXPECT_EQ(weak.weakestSpring, 0);
    EXPECT_GT(weak.settleYielded, 0);
    EXPECT_EQ(weak.warnings(), 2) << weak.report();
    EXPECT_TRUE(contains(weak.report(), "spring 5 breaks before it yields: break strain 0.05 "
                                        "below its yield strain 0.2"))
        << weak.report();
    EXPECT_EQ(lastLine(weak.report())
                  .rfind("usable, with 2 warnings; the first: spring 5 breaks before it yields", 0),
              0u)
        << weak.report();
    EXPECT_TRUE(contains(weak.report(), "with damage on the body bends for good under its own "
                                        "weight: "))
        << weak.report();
    EXPECT_LT(resting.fastestSpeed, 5.0f);
    EXPECT_LT(resting.largestStretch, 1.05f);
    EXPECT_GT(resting.largestStretch, 1.0f);
}

// The documented example with its box stretched (corners moved from the axles
// at z = -2.5 and 0.125 to z = -3.5 and 1.125) stands and settles, but comes
// apart when driven hard; the example as it is drives the whole programme.
TEST(ModelCheck, TheDriveTestCatchesABodyThatBlowsUpOnlyOnTheMove) {
    std::ifstream in(std::string(DRAVONEL_SOURCE_DIR) + "/docs/example-model.txt");
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string example = buffer.str();
    ASSERT_FALSE(example.empty());
    // Particles 136 to 143, the box's corners, are lines 138 to 145.
    std::istringstream lines(example);
    std::string stretched;
    std::string text;
    for (int number = 1; std::getline(lines, text); ++number) {
        if (number >= 138 && number <= 145) {
            std::istringstream fields(text);
            std::string x;
            std::string y;
            float z = 0.0f;
            std::string mass;
            fields >> x >> y >> z >> mass;
            ASSERT_TRUE(z == -2.5f || z == 0.125f) << text;
            text = x + " " + y + " " + (z < 0.0f ? "-3.5" : "1.125") + " " + mass;
        }
        stretched += text + "\n";
    }
    ModelCheck::Needs needs;
    needs.particles = 140;
    needs.wheels = 4;
    needs.angleJoints = 2;

    ModelCheck good;
    EXPECT_TRUE(good.run(*loaded(example), needs, loaded(example).get())) << good.report();
    EXPECT_FALSE(good.blowUpWhileDriving);
    // It went somewhere: the drive and the steering act.
    EXPECT_GT(good.driveDistance, 10.0f) << good.report();

    ModelCheck settleOnly;
    EXPECT_TRUE(settleOnly.run(*loaded(stretched), needs)) << settleOnly.report();
    ModelCheck driven;
    EXPECT_FALSE(driven.run(*loaded(stretched), needs, loaded(stretched).get()));
    EXPECT_TRUE(driven.blowUpWhileDriving);
    EXPECT_GT(driven.blowUpSubStep, 0);
    const std::string verdict = lastLine(driven.report());
    EXPECT_EQ(verdict.rfind("not usable: unstable while driving (", 0), 0u) << verdict;
    EXPECT_TRUE(contains(verdict, "particle " + std::to_string(driven.blowUpParticle) + " "))
        << verdict;
    EXPECT_TRUE(contains(driven.report(),
                         "springs attached to particle " + std::to_string(driven.blowUpParticle)))
        << driven.report();
}
