// The model-file reader: every token layout gives the same world, the values
// derived at load, and every kind of bad input refused with a reason that
// says what and where, leaving an empty world.
#include "physics/PhysicsWorld.h"
#include "tests/physics/ModelBuilder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The same model as the committed file small_model.txt, one record a line.
const char* const smallModel = "5\n"
                               "0 0 0 1\n"
                               "3 0 0 2\n"
                               "0 4 0 1.5\n"
                               "1 1 1 0.5\n"
                               "0 0 0 1\n"
                               "4\n"
                               "0 1 100 1\n"
                               "0 2 200 2\n"
                               "1 2 300 0.5\n"
                               "0 4 50 0\n"
                               "1\n"
                               "3 0 2 1 2\n"
                               "1\n"
                               "1 0 2\n"
                               "2\n"
                               "1 0 2\n"
                               "2 0 1\n"
                               "1\n"
                               "1 2 1000\n";

std::vector<std::string> tokensOf(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> tokens;
    std::string token;
    while (in >> token) {
        tokens.push_back(token);
    }
    return tokens;
}

std::string join(const std::vector<std::string>& tokens, const std::string& separator) {
    std::string text;
    for (size_t k = 0; k < tokens.size(); ++k) {
        text += (k ? separator : "") + tokens[k];
    }
    return text;
}

std::unique_ptr<PhysicsWorld> newWorld() {
    return std::unique_ptr<PhysicsWorld>(new PhysicsWorld());
}

bool load(PhysicsWorld& world, const std::string& text) {
    // An exact-size copy without a terminator, so that a read past the end
    // is caught by the sanitizer.
    std::vector<char> bytes(text.begin(), text.end());
    return world.loadModelFromText(bytes.data(), bytes.size(), "Modell.txt");
}

void expectEmpty(PhysicsWorld& world) {
    EXPECT_EQ(world.particleCount(), 0);
    EXPECT_EQ(world.springCount(), 0);
    EXPECT_EQ(world.wheelCount(), 0);
    EXPECT_EQ(world.rightAngleJointCount(), 0);
    EXPECT_EQ(world.angleJointCount(), 0);
    EXPECT_EQ(world.quadraticSpringCount(), 0);
    EXPECT_EQ(world.positions(), nullptr);
    EXPECT_EQ(world.particles(), nullptr);
    EXPECT_EQ(world.springs(), nullptr);
    EXPECT_EQ(world.wheels(), nullptr);
    EXPECT_EQ(world.step(3), 3.0f);
}

void expectSameWorld(PhysicsWorld& a, PhysicsWorld& b) {
    ASSERT_EQ(a.particleCount(), b.particleCount());
    ASSERT_EQ(a.springCount(), b.springCount());
    ASSERT_EQ(a.wheelCount(), b.wheelCount());
    ASSERT_EQ(a.rightAngleJointCount(), b.rightAngleJointCount());
    ASSERT_EQ(a.angleJointCount(), b.angleJointCount());
    ASSERT_EQ(a.quadraticSpringCount(), b.quadraticSpringCount());
    for (int i = 0; i < a.particleCount(); ++i) {
        EXPECT_EQ(a.positions()[i].x, b.positions()[i].x);
        EXPECT_EQ(a.positions()[i].y, b.positions()[i].y);
        EXPECT_EQ(a.positions()[i].z, b.positions()[i].z);
        EXPECT_EQ(a.particles()[i].mass, b.particles()[i].mass);
    }
    for (int k = 0; k < a.springCount(); ++k) {
        EXPECT_EQ(a.springs()[k].a, b.springs()[k].a);
        EXPECT_EQ(a.springs()[k].b, b.springs()[k].b);
        EXPECT_EQ(a.springs()[k].stiffness, b.springs()[k].stiffness);
        EXPECT_EQ(a.springs()[k].damping, b.springs()[k].damping);
    }
    for (int k = 0; k < a.wheelCount(); ++k) {
        ASSERT_EQ(a.wheels()[k].rimCount, b.wheels()[k].rimCount);
        EXPECT_EQ(a.wheels()[k].hubA, b.wheels()[k].hubA);
        EXPECT_EQ(a.wheels()[k].hubB, b.wheels()[k].hubB);
        for (int r = 0; r < a.wheels()[k].rimCount; ++r) {
            EXPECT_EQ(a.wheels()[k].rim[r], b.wheels()[k].rim[r]);
        }
    }
    for (int k = 0; k < a.rightAngleJointCount(); ++k) {
        EXPECT_EQ(a.rightAngleJoints()[k].b, b.rightAngleJoints()[k].b);
        EXPECT_EQ(a.rightAngleJoints()[k].c, b.rightAngleJoints()[k].c);
    }
    for (int k = 0; k < a.angleJointCount(); ++k) {
        EXPECT_EQ(a.angleJoints()[k].a, b.angleJoints()[k].a);
        EXPECT_EQ(a.angleJoints()[k].c, b.angleJoints()[k].c);
    }
    for (int k = 0; k < a.quadraticSpringCount(); ++k) {
        EXPECT_EQ(a.quadraticSprings()[k].b, b.quadraticSprings()[k].b);
        EXPECT_EQ(a.quadraticSprings()[k].stiffness, b.quadraticSprings()[k].stiffness);
    }
}

} // namespace

TEST(ModelFile, EveryTokenLayoutGivesTheSameWorld) {
    auto reference = newWorld();
    ASSERT_TRUE(load(*reference, smallModel)) << reference->failureReason();
    const std::vector<std::string> tokens = tokensOf(smallModel);
    const std::string layouts[] = {
        join(tokens, " "),                            // all on one line
        join(tokens, "\r\n") + "\r\n",                // one token a line, CRLF
        "\n\t  " + join(tokens, "\t\t \n\n") + "   ", // tabs, blank lines, padding
        join(tokens, "\v\f "),                        // the other white space
    };
    for (const std::string& text : layouts) {
        auto world = newWorld();
        ASSERT_TRUE(load(*world, text)) << world->failureReason();
        expectSameWorld(*reference, *world);
    }
    // The committed file, written with other spellings of the same numbers.
    auto fromFile = newWorld();
    ASSERT_TRUE(fromFile->loadModel(DRAVONEL_SOURCE_DIR "/tests/physics/small_model.txt"))
        << fromFile->failureReason();
    EXPECT_STREQ(fromFile->failureReason(), "");
    expectSameWorld(*reference, *fromFile);
}

TEST(ModelFile, DerivedValuesAtLoad) {
    auto world = newWorld();
    ASSERT_TRUE(load(*world, smallModel));
    ASSERT_EQ(world->particleCount(), 5);
    const Particle& p1 = world->particles()[1];
    EXPECT_EQ(p1.index, 1);
    EXPECT_EQ(p1.mass, 2.0f);
    EXPECT_EQ(p1.inverseMass, 0.5f);
    EXPECT_EQ(p1.velocity.x, 0.0f);
    EXPECT_EQ(p1.acceleration.y, -9.81f);
    EXPECT_EQ(p1.previousAcceleration.y, -9.81f);
    EXPECT_EQ(p1.force.y, 0.0f);
    EXPECT_EQ(world->positions()[1].x, 3.0f);
    // Rest lengths are the loaded distances: a 3-4-5 triangle and a pair on
    // top of each other.
    const float lengths[] = {3.0f, 4.0f, 5.0f, 0.0f};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(world->springs()[k].restLength, lengths[k]);
        EXPECT_EQ(world->springs()[k].previousLength, lengths[k]);
    }
    EXPECT_EQ(world->quadraticSprings()[0].restLength, 5.0f);
    EXPECT_EQ(world->quadraticSprings()[0].stiffness, 1000.0f);
    const Wheel& wheel = world->wheels()[0];
    EXPECT_EQ(wheel.hubA, 3);
    EXPECT_EQ(wheel.hubB, 0);
    ASSERT_EQ(wheel.rimCount, 2);
    EXPECT_EQ(wheel.rim[1], 2);
    EXPECT_EQ(wheel.spin(), 0.0f);
    EXPECT_EQ(wheel.drive, 0.0f);
    EXPECT_EQ(wheel.brake, 0.0f);
    EXPECT_EQ(world->angleJoints()[1].target, 0.0f);
    EXPECT_EQ(world->angleJoints()[1].b, 0);
    EXPECT_EQ(world->rightAngleJoints()[0].a, 1);
    EXPECT_EQ(world->groundContact().count, 5);
    // At rest length every spring is silent on the first evaluation.
    for (int k = 0; k < world->springCount(); ++k) {
        world->springs()[k].apply();
    }
    world->quadraticSprings()[0].apply();
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(world->particles()[i].force.x, 0.0f);
        EXPECT_EQ(world->particles()[i].force.y, 0.0f);
    }
}

TEST(ModelFile, EmptyModelAndEmptySections) {
    auto world = newWorld();
    ASSERT_TRUE(load(*world, "0 0 0 0 0 0")) << world->failureReason();
    expectEmpty(*world);
    ASSERT_TRUE(load(*world, "1\n0 5 0 1\n0\n0\n0\n1\n0 0 0\n0")) << world->failureReason();
    EXPECT_EQ(world->particleCount(), 1);
    EXPECT_EQ(world->angleJointCount(), 1);
}

TEST(ModelFile, BadInputIsRefusedWithAReason) {
    struct Case {
        const char* text;
        const char* reason;
    };
    const Case cases[] = {
        {"", "line 1, token 1: truncated: the file ends where the particle count was expected"},
        {"-1 0 0 0 0 0", "particle count -1 is negative"},
        {"2000000", "particle count 2000000 is larger than 1000000"},
        {"99999999999", "the particle count '99999999999' is out of the integer range"},
        {"5\n0 0 0 1\n0 0 0 0 0",
         "truncated: particle section of 5 needs at least 20 more tokens, only 9 remain"},
        {"1\n0 0 0\n", "line 1, token 1: truncated: particle section of 1 needs at least 4 more "
                       "tokens, only 3 remain"},
        {"1\n0 0 0x 1\n0 0 0 0 0", "line 2, token 4: particle 0: z '0x' is not a number"},
        {"1\n0 inf 0 1\n0 0 0 0 0", "particle 0: y 'inf' is not a number"},
        {"1\n0 nan 0 1\n0 0 0 0 0", "particle 0: y 'nan' is not a number"},
        {"1\n0x10 0 0 1\n0 0 0 0 0", "particle 0: x '0x10' is not a number"},
        {"1\n0 1e39 0 1\n0 0 0 0 0", "particle 0: y '1e39' is not a finite number"},
        {"1\n0 0 0 0\n0 0 0 0 0", "particle 0: mass '0' is not a finite number above zero"},
        {"1\n0 0 0 -2\n0 0 0 0 0", "particle 0: mass '-2' is not a finite number above zero"},
        {"1\n0 0 0 1e-45\n0 0 0 0 0", "particle 0: mass '1e-45' is not a finite number above zero"},
        {"1\n0 0 0 1\nabc\n0 0 0 0", "line 3, token 6: the spring count 'abc' is not an integer"},
        {"1\n0 0 0 1\n1.5\n0 0 0 0", "the spring count '1.5' is not an integer"},
        {"2\n0 0 0 1\n1 0 0 1\n1\n0 5 1 1\n0 0 0 0",
         "line 5, token 12: spring 0: particle index 5 out of range 0..1"},
        {"2\n0 0 0 1\n1 0 0 1\n1\n-1 1 1 1\n0 0 0 0",
         "spring 0: particle index -1 out of range 0..1"},
        {"2\n0 0 0 1\n1 0 0 1\n1\n0 1 1e39 1\n0 0 0 0",
         "spring 0: stiffness '1e39' is not a finite number"},
        {"2\n0 0 0 1\n1 0 0 1\n1\n0 1 1 -1e40\n0 0 0 0",
         "spring 0: damping '-1e40' is not a finite number"},
        {"2\n0 0 0 1\n1 0 0 1\n1\n0 1 1 1.0.0\n0 0 0 0",
         "spring 0: damping '1.0.0' is not a number"},
        {"2\n0 0 0 1\n1 0 0 1\n1\n0 1 1",
         "line 4, token 10: truncated: spring section of 1 needs at least 4 more"},
        {"2\n0 0 0 1\n1 0 0 1\n0\n1\n0 1 0\n0 0 0",
         "wheel 0: rim count 0: a wheel needs at least one rim particle"},
        {"2\n0 0 0 1\n1 0 0 1\n0\n1\n0 1 -3\n0 0 0",
         "wheel 0: rim count -3: a wheel needs at least one rim particle"},
        {"2\n0 0 0 1\n1 0 0 1\n0\n1\n0 1 1 2\n0 0 0",
         "wheel 0: particle index 2 out of range 0..1"},
        {"2\n0 0 0 1\n1 0 0 1\n0\n1\n0 9 1 1\n0 0 0",
         "wheel 0: particle index 9 out of range 0..1"},
        {"2\n0 0 0 1\n1 0 0 1\n0\n1\n0 1 5 1\n0 0 0",
         "truncated: wheel 0 lists 5 rim particles, only 4 tokens remain"},
        {"2\n0 0 0 1\n1 0 0 1\n0\n1\n0 1 x 1\n0 0 0",
         "wheel 0: the rim count 'x' is not an integer"},
        {"1\n0 0 0 1\n0 0\n1\n0 0 1\n0 0",
         "right-angle joint 0: particle index 1 out of range 0..0"},
        {"1\n0 0 0 1\n0 0 0\n1\n0 3 0\n0", "angle joint 0: particle index 3 out of range 0..0"},
        {"1\n0 0 0 1\n0 0 0 0\n1\n0 0 1e50",
         "quadratic spring 0: stiffness '1e50' is not a finite number"},
        {"1\n0 0 0 1\n0 0 0 0\n1\n0 -4 1",
         "quadratic spring 0: particle index -4 out of range 0..0"},
        {"0 0 0 0 0", "truncated: the file ends where the quadratic spring count was expected"},
        {"0 0 0 0 0 0 7", "line 1, token 7: unexpected token '7' after the last section"},
        {"0 0 0 0 0\n0\nx", "line 3, token 7: unexpected token 'x' after the last section"},
        {"0\n1\n0 0 1 1", "spring 0: particle index 0 out of range: there are no particles"},
        {"0 0 0 0 0 1",
         "truncated: quadratic spring section of 1 needs at least 3 more tokens, only 0 remain"},
        {"1\n0 0 0 1\n0 0 0 0 -2147483648", "quadratic spring count -2147483648 is negative"},
        // The right-angle joints left out, count and all: the reader trips
        // over a quadratic spring's stiffness, and names the sections that
        // may be missing (joints of either kind have the same records).
        {"2\n0 0 0 1\n1 0 0 1\n1\n0 1 10 1\n1\n0 1 1 0\n1\n0 1 0\n1\n0 1 5000\n",
         "line 11, token 27: angle joint 0: particle index 5000 out of range 0..1; the right-angle "
         "joint or the angle joint section is missing"},
        // The damage section after the six: KIND FIRST LAST YIELD PLASTIC BREAK.
        {"0 0 0 0 0 0\narmour 0", "line 2, token 7: unexpected token 'armour' after the last "
                                  "section"},
        {"0 0 0 0 0 0 damage 1 spring 0 0 0.01 0.1 0.2",
         "damage record 0: spring 0 out of range: there are 0 springs"},
        {"2\n0 0 0 1\n1 0 0 1\n1\n0 1 1 1\n0 0 0 1\n0 1 5\ndamage 1\nbeam 0 0 0.01 0.1 0.2",
         "line 9, token 24: damage record 0: kind 'beam' is not spring or quadratic"},
        {"2\n0 0 0 1\n1 0 0 1\n1\n0 1 1 1\n0 0 0 1\n0 1 5\ndamage 1\nquadratic 0 1 0.01 0.1 0.2",
         "damage record 0: quadratic spring 1 out of range: there are 1 quadratic springs"},
        {"2\n0 0 0 1\n1 0 0 1\n1\n0 1 1 1\n0 0 0 1\n0 1 5\ndamage 1\nspring 0 0 -0.01 0.1 0.2",
         "damage record 0: strains must not be negative and the break strain must be above zero"},
        {"2\n0 0 0 1\n1 0 0 1\n1\n0 1 1 1\n0 0 0 1\n0 1 5\ndamage 1\nspring 0 0 0.01 0.1 0",
         "damage record 0: strains must not be negative and the break strain must be above zero"},
        {"2\n0 0 0 1\n1 0 0 1\n1\n0 1 1 1\n0 0 0 1\n0 1 5\ndamage 1\nspring 0 0 0.01 x 0.2",
         "damage record 0: the plastic strain 'x' is not a number"},
        {"2\n0 0 0 1\n1 0 0 1\n1\n0 1 1 1\n0 0 0 1\n0 1 5\ndamage 2\nspring 0 0 0.01 0.1 0.2",
         "truncated: damage section of 2 needs at least 12 more tokens, only 6 remain"},
        {"2\n0 0 0 1\n1 0 0 1\n1\n0 1 1 1\n0 0 0 1\n0 1 5\ndamage 1\nspring 0 0 0.01 0.1 "
         "0.2\ndamage 0",
         "line 10, token 30: the damage section is given twice"},
        {"2\n0 0 0 1\n1 0 0 1\n1\n0 1 1 1\n0 0 0 1\n0 1 5\ndamage 1\nspring 0 0 0.01 0.1 0.2 7",
         "unexpected token '7' after the last section"},
    };
    for (const Case& c : cases) {
        auto world = newWorld();
        EXPECT_FALSE(load(*world, c.text)) << c.text;
        EXPECT_NE(std::string(world->failureReason()).find(c.reason), std::string::npos)
            << "input: " << c.text << "\nreason: " << world->failureReason()
            << "\nexpected: " << c.reason;
        EXPECT_EQ(std::string(world->failureReason()).find("Modell.txt line "), 0u)
            << world->failureReason();
        expectEmpty(*world);
    }
}

// The damage section gives limits as strains: each spring's become lengths
// of its own rest length, later records override earlier ones, elements
// that no record names never yield or break, and the six sections before
// it are what the model's stamp is taken over.
TEST(ModelFile, DamageSectionGivesStrainLimits) {
    const std::string six = "3\n0 0 0 1\n2 0 0 1\n0 0.5 0 1\n3\n0 1 1 1\n0 2 1 1\n1 2 1 1\n"
                            "0\n0\n0\n1\n0 1 5\n";
    auto plain = newWorld();
    ASSERT_TRUE(load(*plain, six)) << plain->failureReason();
    EXPECT_FALSE(plain->hasDamageLimits());
    EXPECT_EQ(plain->coreTextLength(), six.size());
    EXPECT_FALSE(plain->damageEnabled());
    EXPECT_EQ(plain->springDamage()[0].yieldLength, SpringDamage::inf());

    const std::string damage = "damage 3\nspring 0 2 0.01 0.1 0.3\nspring 1 1 0.02 0.2 0.4\n"
                               "quadratic 0 0 0.05 0.05 0.5\n";
    auto world = newWorld();
    ASSERT_TRUE(load(*world, six + damage)) << world->failureReason();
    EXPECT_TRUE(world->hasDamageLimits());
    EXPECT_EQ(world->coreTextLength(), six.size());
    expectSameWorld(*plain, *world);
    const SpringDamage* d = world->springDamage();
    EXPECT_FLOAT_EQ(d[0].yieldLength, 0.01f * 2.0f);
    EXPECT_FLOAT_EQ(d[0].breakLength, 0.3f * 2.0f);
    EXPECT_FLOAT_EQ(d[1].yieldLength, 0.02f * 0.5f);
    EXPECT_FLOAT_EQ(d[1].plasticLength, 0.2f * 0.5f);
    EXPECT_FLOAT_EQ(d[2].yieldLength, 0.01f * world->springs()[2].restLength);
    EXPECT_FLOAT_EQ(d[2].originalLength, world->springs()[2].restLength);
    EXPECT_FLOAT_EQ(world->quadraticDamage()[0].yieldLength, 0.05f * 2.0f);
    EXPECT_EQ(world->yieldedCount(), 0);
    EXPECT_EQ(world->brokenCount(), 0);
    EXPECT_EQ(world->restShape()[2].y, 0.5f);
    // A reload forgets the switch and the limits of the last model.
    world->setDamage(true);
    ASSERT_TRUE(load(*world, six));
    EXPECT_FALSE(world->damageEnabled());
    EXPECT_FALSE(world->hasDamageLimits());
}

TEST(ModelFile, ReasonNamesLineAndElement) {
    ModelBuilder model;
    for (int i = 0; i < 200; ++i) {
        model.particle(Vec3(0.01f * i, 1.0f, 0.0f), 1.0f);
    }
    for (int k = 0; k < 17; ++k) {
        model.spring(k, k + 1, 10.0f, 0.0f);
    }
    model.spring(16, 300, 10.0f, 0.0f);
    auto world = newWorld();
    // Line 1 holds the particle count, lines 2..201 the particles, line 202
    // the spring count, so spring 17 sits on line 220.
    std::string text = model.text();
    EXPECT_FALSE(load(*world, text));
    EXPECT_NE(std::string(world->failureReason())
                  .find("Modell.txt line 220, token 872: spring 17: particle index 300 out of "
                        "range 0..199"),
              std::string::npos)
        << world->failureReason();
    // Carriage returns do not count as lines.
    std::string crlf;
    for (char ch : text) {
        crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    }
    EXPECT_FALSE(load(*world, crlf));
    EXPECT_NE(std::string(world->failureReason()).find("line 220,"), std::string::npos);
}

TEST(ModelFile, EveryTokenCorruptedInTurnIsRefused) {
    const std::vector<std::string> tokens = tokensOf(smallModel);
    for (size_t k = 0; k < tokens.size(); ++k) {
        for (const char* bad : {"x", "1,5", "--1", "1e", "\x01"}) {
            std::vector<std::string> corrupted = tokens;
            corrupted[k] = bad;
            auto world = newWorld();
            ASSERT_FALSE(load(*world, join(corrupted, " "))) << "token " << k << " = " << bad;
            const std::string where = "token " + std::to_string(k + 1) + ":";
            EXPECT_NE(std::string(world->failureReason()).find(where), std::string::npos)
                << world->failureReason();
            expectEmpty(*world);
        }
    }
}

TEST(ModelFile, EveryTruncationIsRefusedOrComplete) {
    const std::vector<std::string> tokens = tokensOf(smallModel);
    // Dropping whole tokens from the end always leaves a section short.
    for (size_t keep = 0; keep < tokens.size(); ++keep) {
        std::vector<std::string> shorter(tokens.begin(), tokens.begin() + keep);
        auto world = newWorld();
        EXPECT_FALSE(load(*world, join(shorter, " "))) << keep << " tokens";
        expectEmpty(*world);
    }
    // Cutting at any byte: refused, or (when the cut only shortens the last
    // number) a complete world of the same shape.
    const std::string full(smallModel);
    for (size_t length = 0; length < full.size(); ++length) {
        auto world = newWorld();
        if (load(*world, full.substr(0, length))) {
            EXPECT_EQ(world->quadraticSpringCount(), 1) << length;
            EXPECT_EQ(world->particleCount(), 5);
        } else {
            expectEmpty(*world);
        }
    }
}

TEST(ModelFile, NulBytesAndLongTokensAreRefused) {
    std::string text = "1\n0 0";
    text += '\0';
    text += "5 0 1\n0 0 0 0 0";
    auto world = newWorld();
    EXPECT_FALSE(load(*world, text));
    // Bytes outside printable ASCII are quoted as \xNN, never raw.
    EXPECT_NE(std::string(world->failureReason()).find("y '0\\x005' is not a number"),
              std::string::npos)
        << world->failureReason();
    EXPECT_FALSE(load(*world, "1\n0 0 \xC3\xA9\x1B[2J 1\n0 0 0 0 0"));
    EXPECT_NE(std::string(world->failureReason()).find("z '\\xC3\\xA9\\x1B[2J' is not"),
              std::string::npos)
        << world->failureReason();
    const std::string longToken = "1\n0 0 " + std::string(500, '1') + " 1\n0 0 0 0 0";
    EXPECT_FALSE(load(*world, longToken));
    EXPECT_NE(std::string(world->failureReason()).find("particle 0: z '111"), std::string::npos);
    EXPECT_NE(std::string(world->failureReason()).find("111...' is"), std::string::npos)
        << world->failureReason();
    EXPECT_LT(std::string(world->failureReason()).size(), 256u);
}

TEST(ModelFile, FailedLoadEmptiesAndReloadReplaces) {
    auto world = newWorld();
    ASSERT_TRUE(load(*world, smallModel));
    EXPECT_FALSE(load(*world, "1\n0 0 0 1\n1\n0 3 1 1\n0 0 0 0"));
    expectEmpty(*world);
    ASSERT_TRUE(load(*world, smallModel));
    ASSERT_TRUE(load(*world, "1\n7 8 9 1\n0 0 0 0 0"));
    EXPECT_EQ(world->particleCount(), 1);
    EXPECT_EQ(world->springCount(), 0);
    EXPECT_EQ(world->wheels(), nullptr);
    EXPECT_EQ(world->positions()[0].z, 9.0f);
    EXPECT_STREQ(world->failureReason(), "");
}

TEST(ModelFile, UnreadableFilesFail) {
    auto world = newWorld();
    EXPECT_FALSE(world->loadModel("/nonexistent-dir/Modell.txt"));
    EXPECT_STREQ(world->failureReason(),
                 "/nonexistent-dir/Modell.txt: cannot open: No such file or directory");
    expectEmpty(*world);
    // A directory opens on some systems but cannot be read as a model.
    EXPECT_FALSE(world->loadModel(DRAVONEL_SOURCE_DIR "/tests/physics"));
    EXPECT_NE(std::string(world->failureReason()).find("tests/physics: cannot"), std::string::npos)
        << world->failureReason();
    expectEmpty(*world);
    EXPECT_FALSE(world->loadModel(nullptr));
    expectEmpty(*world);
}

TEST(ModelFile, LoadedWorldStepsAndIsDestroyed) {
    auto world = newWorld();
    ASSERT_TRUE(world->loadModel(DRAVONEL_SOURCE_DIR "/tests/physics/small_model.txt"));
    const float before = world->positions()[2].y;
    EXPECT_EQ(world->step(50), 50.0f);
    EXPECT_NE(world->positions()[2].y, before);
    for (int i = 0; i < world->particleCount(); ++i) {
        EXPECT_TRUE(std::isfinite(world->positions()[i].y));
    }
    world.reset();
}
