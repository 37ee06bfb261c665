// Contacts between bodies: the contact pass alone keeps a colliding pair's
// momentum and stops fast particles at a thin plate; shipped trucks in one
// world push each other, rest on each other and part again, never more than
// 5 cm inside each other; and the several-body step gives the same bits on
// any number of threads. The model's surface section is read and checked.
#include "physics/BodyContact.h"
#include "physics/CollisionSurface.h"
#include "physics/DriveController.h"
#include "physics/MultiBodyStep.h"
#include "physics/PhysicsWorld.h"
#include "physics/PositionHash.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

// ---- the contact pass alone, on bodies integrated here ----

struct FreeBody {
    std::vector<Vec3> position;
    std::vector<Vec3> previous;
    std::vector<Vec3> velocity;
    std::vector<Vec3> force;
    std::vector<float> mass;
    std::vector<SurfaceTriangle> triangles;

    ContactBody view() {
        ContactBody body;
        body.positions = position.data();
        body.forces = force.data();
        body.velocities = velocity.data();
        body.masses = mass.data();
        body.previous = previous.data();
        body.particleCount = static_cast<int>(position.size());
        body.triangles = triangles.data();
        body.triangleCount = static_cast<int>(triangles.size());
        return body;
    }
};

// A box of eight particles with its twelve outward triangles.
FreeBody box(Vec3 centre, Vec3 half, float particleMass, Vec3 velocity) {
    FreeBody body;
    for (int k = 0; k < 8; ++k) {
        body.position.push_back(centre + Vec3((k & 1) ? half.x : -half.x,
                                              (k & 2) ? half.y : -half.y,
                                              (k & 4) ? half.z : -half.z));
        body.velocity.push_back(velocity);
        body.mass.push_back(particleMass);
    }
    body.previous = body.position;
    body.force.assign(8, Vec3());
    CollisionSurface hull;
    EXPECT_TRUE(hull.buildHull(body.position.data(), 8));
    body.triangles.assign(hull.triangles(), hull.triangles() + hull.triangleCount());
    return body;
}

// Sub-steps of 0.5 ms with the contact pass as the only force, each body
// moved as a rigid block (its particles share the body's acceleration).
void runContactOnly(std::vector<FreeBody>& bodies, int subSteps, float* deepest = nullptr) {
    const float dt = 0.0005f;
    std::vector<ContactBody> views;
    for (FreeBody& b : bodies) {
        views.push_back(b.view());
    }
    BodyContact contact;
    ASSERT_TRUE(contact.prepare(views.data(), static_cast<int>(views.size())));
    for (int step = 0; step < subSteps; ++step) {
        for (FreeBody& b : bodies) {
            b.previous = b.position;
            for (size_t i = 0; i < b.position.size(); ++i) {
                b.position[i] = b.position[i] + b.velocity[i] * dt;
            }
        }
        const int n = static_cast<int>(bodies.size());
        for (int b = 0; b < n; ++b) {
            contact.buildBody(b, views.data());
        }
        for (int b = 0; b < n; ++b) {
            contact.collide(b, views.data());
            if (deepest) {
                *deepest = std::fmax(*deepest, contact.deepest(b));
            }
        }
        for (int b = 0; b < n; ++b) {
            contact.merge(b, views.data());
        }
        for (FreeBody& b : bodies) {
            Vec3 total;
            float mass = 0.0f;
            for (size_t i = 0; i < b.position.size(); ++i) {
                total = total + b.force[i];
                mass += b.mass[i];
                b.force[i] = Vec3();
            }
            for (size_t i = 0; i < b.position.size(); ++i) {
                b.velocity[i] = b.velocity[i] + total * (dt / mass);
            }
        }
    }
}

Vec3 momentum(const std::vector<FreeBody>& bodies) {
    Vec3 sum;
    for (const FreeBody& b : bodies) {
        for (size_t i = 0; i < b.velocity.size(); ++i) {
            sum = sum + b.velocity[i] * b.mass[i];
        }
    }
    return sum;
}

float length(Vec3 v) {
    return std::sqrt(dot(v, v));
}

} // namespace

TEST(BodyContactPass, CollidingBodiesKeepTheirMomentumAndBounceApart) {
    // A light box hits a heavy one off-centre, with sliding: normal,
    // damping and friction forces all act.
    std::vector<FreeBody> bodies;
    bodies.push_back(box(Vec3(0, 0, 0), Vec3(0.5f, 0.5f, 0.5f), 0.5f, Vec3(0.3f, 0.0f, 4.0f)));
    bodies.push_back(box(Vec3(0.4f, 0.2f, 1.3f), Vec3(0.6f, 0.6f, 0.2f), 2.0f, Vec3(0, 0, -1.0f)));
    const Vec3 before = momentum(bodies);
    float deepest = 0.0f;
    runContactOnly(bodies, 2000, &deepest);
    const Vec3 after = momentum(bodies);
    EXPECT_LE(length(after - before), 0.005f * length(before));
    // They met, and parted: the light one moves back.
    EXPECT_LT(bodies[0].velocity[0].z, 0.0f);
    EXPECT_LT(deepest, 0.05f);
}

TEST(BodyContactPass, FastParticlesStopAtAThinPlateUpToTheBlowUpSpeed) {
    // The closing speed up to which no contact is missed: 100 m/s, the speed
    // at which the application takes a body for blown up. A lone light
    // particle (a rim particle's mass) against a heavy plate of two
    // triangles, head on and at a slant.
    for (float speed : {40.0f, 100.0f}) {
        for (float slant : {0.0f, 0.6f}) {
            std::vector<FreeBody> bodies(2);
            FreeBody& particle = bodies[0];
            particle.position = {Vec3(0.1f, 0.3f, 0.2f)};
            particle.velocity = {Vec3(slant * speed, -speed, 0.0f) *
                                 (1.0f / std::sqrt(1.0f + slant * slant))};
            particle.mass = {0.04f};
            particle.force = {Vec3()};
            particle.previous = particle.position;
            FreeBody& plate = bodies[1];
            plate.position = {Vec3(-2, 0, -2), Vec3(2, 0, -2), Vec3(2, 0, 2), Vec3(-2, 0, 2)};
            plate.velocity.assign(4, Vec3());
            plate.mass.assign(4, 1000.0f);
            plate.force.assign(4, Vec3());
            plate.previous = plate.position;
            plate.triangles = {{0, 3, 2}, {0, 2, 1}}; // facing +y
            float deepest = 0.0f;
            runContactOnly(bodies, 400, &deepest);
            EXPECT_GT(particle.position[0].y, 0.0f) << speed << " m/s, slant " << slant;
            EXPECT_GT(particle.velocity[0].y, 0.0f) << speed << " m/s, slant " << slant;
            EXPECT_LT(deepest, bodyContactDepth) << speed << " m/s, slant " << slant;
        }
    }
}

namespace {

// ---- shipped trucks in one world ----

struct Fleet {
    std::vector<std::unique_ptr<PhysicsWorld>> worlds;
    std::vector<DriveController> drives;
    std::vector<float> throttle;
    MultiBodyStep step;

    // Quarter turns clockwise seen from above, about the vertical through
    // the truck's mean.
    bool add(Vec3 offset, int quarterTurns) {
        std::unique_ptr<PhysicsWorld> world(new PhysicsWorld());
        const std::string path = std::string(DRAVONEL_ASSET_DIR) + "/Modell.txt";
        if (!world->loadModel(path.c_str())) {
            ADD_FAILURE() << world->failureReason();
            return false;
        }
        Vec3 mean;
        for (int i = 0; i < world->particleCount(); ++i) {
            mean = mean + world->positions()[i];
        }
        mean = mean * (1.0f / world->particleCount());
        for (int i = 0; i < world->particleCount(); ++i) {
            Vec3& p = world->positions()[i];
            for (int q = 0; q < quarterTurns; ++q) {
                p = Vec3(mean.x + (p.z - mean.z), p.y, mean.z - (p.x - mean.x));
            }
            p = p + offset;
        }
        worlds.push_back(std::move(world));
        drives.emplace_back();
        throttle.push_back(0.0f);
        return true;
    }
    bool bind(int threads) {
        std::vector<PhysicsWorld*> list;
        for (auto& w : worlds) {
            list.push_back(w.get());
        }
        for (size_t k = 0; k < worlds.size(); ++k) {
            drives[k].bindWheels(worlds[k]->wheels());
        }
        step.setThreads(threads);
        return step.bind(list.data(), static_cast<int>(list.size()));
    }
    void run(float seconds) {
        const int frames = static_cast<int>(seconds * 100.0f + 0.5f);
        for (int f = 0; f < frames; ++f) {
            for (size_t k = 0; k < worlds.size(); ++k) {
                drives[k].update(throttle[k]);
            }
            step.step(10);
        }
    }
    Vec3 mean(int k) const {
        Vec3 sum;
        const PhysicsWorld& w = *worlds[k];
        PhysicsWorld& world = const_cast<PhysicsWorld&>(w);
        for (int i = 0; i < world.particleCount(); ++i) {
            sum = sum + world.positions()[i];
        }
        return sum * (1.0f / world.particleCount());
    }
    bool finite() const {
        for (const auto& w : worlds) {
            for (int i = 0; i < w->particleCount(); ++i) {
                const Vec3 p = w->positions()[i];
                const Vec3 v = w->particles()[i].velocity;
                if (!std::isfinite(p.x + p.y + p.z + v.x + v.y + v.z)) {
                    return false;
                }
            }
        }
        return true;
    }
    uint64_t hash() const {
        uint64_t h = 0;
        for (const auto& w : worlds) {
            h = h * 1099511628211ull ^ positionHash(w->positions(), w->particleCount());
        }
        return h;
    }
};

} // namespace

TEST(TruckContact, ShippedSurfaceIsReadAndFacesOutwards) {
    PhysicsWorld world;
    const std::string path = std::string(DRAVONEL_ASSET_DIR) + "/Modell.txt";
    ASSERT_TRUE(world.loadModel(path.c_str())) << world.failureReason();
    const CollisionSurface& surface = world.collisionSurface();
    EXPECT_TRUE(surface.authored);
    EXPECT_GT(surface.triangleCount(), 100);
    const SurfaceFindings findings =
        inspectSurface(surface, world.positions(), world.particleCount());
    EXPECT_EQ(findings.degenerate, 0);
    EXPECT_FALSE(findings.facesInwards);
    EXPECT_EQ(findings.uncovered, 0) << "particle " << findings.firstUncovered;
}

TEST(TruckContact, FullThrottleIntoAParkedTruckPushesItWithoutSinkingIn) {
    Fleet fleet;
    ASSERT_TRUE(fleet.add(Vec3(), 0));
    ASSERT_TRUE(fleet.add(Vec3(0, 0, -8.0f), 0));
    ASSERT_TRUE(fleet.bind(1));
    const Vec3 parked = fleet.mean(1);
    fleet.throttle[0] = 1.0f;
    fleet.run(8.0f);
    EXPECT_TRUE(fleet.finite());
    const Vec3 moved = fleet.mean(1) - parked;
    EXPECT_GT(length(Vec3(moved.x, 0, moved.z)), 1.0f);
    EXPECT_GT(fleet.step.contactCount(), 0);
    EXPECT_LT(fleet.step.deepestPenetration(), 0.05f);
}

TEST(TruckContact, ATruckDroppedOnAnotherRestsOnItsRoof) {
    Fleet fleet;
    ASSERT_TRUE(fleet.add(Vec3(), 0));
    // Across the lower truck, its lowest particle 2 m above the roof.
    ASSERT_TRUE(fleet.add(Vec3(0, 1.15f + 2.0f, 0), 1));
    ASSERT_TRUE(fleet.bind(1));
    float roof = -1e9f;
    for (int i = 0; i < fleet.worlds[0]->particleCount(); ++i) {
        roof = std::fmax(roof, fleet.worlds[0]->positions()[i].y);
    }
    fleet.run(5.0f);
    EXPECT_TRUE(fleet.finite());
    const Vec3 settled = fleet.mean(1);
    fleet.run(1.0f);
    // On top (its middle above the lower truck's roof), and at rest there.
    // The impact is taken edge on edge, where no particle meets a face at
    // first: the deepest point goes further in than in a push, but never
    // beyond the depth at which contact would be lost.
    EXPECT_GT(fleet.mean(1).y, roof - 0.1f);
    EXPECT_GT(fleet.mean(1).y, fleet.mean(0).y + 0.5f);
    EXPECT_LT(length(fleet.mean(1) - settled), 0.02f);
    EXPECT_LT(fleet.step.deepestPenetration(), bodyContactDepth);
}

TEST(TruckContact, HeadOnAtFullThrottleTheyPartAgain) {
    Fleet fleet;
    ASSERT_TRUE(fleet.add(Vec3(), 0));
    ASSERT_TRUE(fleet.add(Vec3(0, 0, -9.0f), 2));
    ASSERT_TRUE(fleet.bind(1));
    fleet.throttle[0] = 1.0f;
    fleet.throttle[1] = 1.0f;
    fleet.run(5.0f);
    const long long metAfterFive = fleet.step.contactCount();
    EXPECT_GT(metAfterFive, 0);
    EXPECT_LT(fleet.step.deepestPenetration(), 0.05f);
    // Both back off: 3 s later neither is held by the other.
    fleet.throttle[0] = -1.0f;
    fleet.throttle[1] = -1.0f;
    fleet.run(3.0f);
    EXPECT_TRUE(fleet.finite());
    const long long before = fleet.step.contactCount();
    fleet.run(0.5f);
    EXPECT_EQ(fleet.step.contactCount(), before);
    EXPECT_GT(length(fleet.mean(1) - fleet.mean(0)), 6.0f);
}

TEST(TruckContact, SeveralBodyStepGivesTheSameBitsOnAnyThreadCount) {
    uint64_t first = 0;
    for (int threads : {1, 2, 3, 4, 2}) {
        Fleet fleet;
        for (int k = 0; k < 4; ++k) {
            ASSERT_TRUE(fleet.add(Vec3(0.3f * k, 0, -6.0f * k), 0));
        }
        ASSERT_TRUE(fleet.bind(threads));
        fleet.throttle[0] = 1.0f;
        fleet.throttle[3] = -1.0f;
        fleet.run(2.0f);
        EXPECT_GT(fleet.step.contactCount(), 0);
        if (threads == 1) {
            first = fleet.hash();
        } else {
            EXPECT_EQ(fleet.hash(), first) << threads << " threads";
        }
    }
}

TEST(TruckContact, OneBodyStepsAsItsOwnWorld) {
    Fleet lone;
    ASSERT_TRUE(lone.add(Vec3(), 0));
    ASSERT_TRUE(lone.bind(2));
    lone.throttle[0] = 1.0f;
    lone.run(1.0f);
    PhysicsWorld plain;
    const std::string path = std::string(DRAVONEL_ASSET_DIR) + "/Modell.txt";
    ASSERT_TRUE(plain.loadModel(path.c_str()));
    DriveController drive;
    drive.bindWheels(plain.wheels());
    for (int f = 0; f < 100; ++f) {
        drive.update(1.0f);
        plain.step(10);
    }
    EXPECT_EQ(positionHash(plain.positions(), plain.particleCount()),
              positionHash(lone.worlds[0]->positions(), lone.worlds[0]->particleCount()));
}

TEST(TruckContact, SurfaceSectionIsReadRefusedByLineAndChecked) {
    const std::string base = "4\n0 0 0 1\n1 0 0 1\n0 1 0 1\n0 0 1 1\n0\n0\n0\n0\n0\n";
    // Outward: each face counter-clockwise seen from outside.
    const std::string surface = "surface 4\n0 2 1\n0 1 3\n0 3 2\n1 2 3\n";
    PhysicsWorld world;
    const std::string text = base + surface;
    ASSERT_TRUE(world.loadModelFromText(text.data(), text.size(), "tetra"))
        << world.failureReason();
    EXPECT_TRUE(world.collisionSurface().authored);
    EXPECT_EQ(world.collisionSurface().triangleCount(), 4);
    // The stamp's bytes end where the named sections begin.
    EXPECT_EQ(world.coreTextLength(), base.size());
    SurfaceFindings f =
        inspectSurface(world.collisionSurface(), world.positions(), world.particleCount());
    EXPECT_FALSE(f.facesInwards);
    EXPECT_EQ(f.insideOut + f.degenerate + f.uncovered, 0);

    // Without the section: the hull of the rest shape, the same four faces
    // turned outwards; the stamp covers everything.
    ASSERT_TRUE(world.loadModelFromText(base.data(), base.size(), "tetra"));
    EXPECT_FALSE(world.collisionSurface().authored);
    EXPECT_EQ(world.collisionSurface().triangleCount(), 4);
    EXPECT_EQ(world.coreTextLength(), base.size());
    f = inspectSurface(world.collisionSurface(), world.positions(), world.particleCount());
    EXPECT_EQ(f.insideOut + f.degenerate + f.uncovered, 0);
    EXPECT_FALSE(f.facesInwards);

    // Wound the wrong way, one face left out, one face flat.
    const std::string faulty = base + "surface 3\n0 1 2\n0 3 1\n0 0 2\n";
    ASSERT_TRUE(world.loadModelFromText(faulty.data(), faulty.size(), "tetra"));
    f = inspectSurface(world.collisionSurface(), world.positions(), world.particleCount());
    EXPECT_EQ(f.degenerate, 1);
    EXPECT_EQ(f.insideOut, 2);
    EXPECT_TRUE(f.facesInwards);
    const std::string open = base + "surface 1\n0 2 1\n";
    ASSERT_TRUE(world.loadModelFromText(open.data(), open.size(), "tetra"));
    f = inspectSurface(world.collisionSurface(), world.positions(), world.particleCount());
    EXPECT_EQ(f.uncovered, 1);
    EXPECT_EQ(f.firstUncovered, 3);

    const struct {
        std::string text;
        const char* reason;
    } refused[] = {
        {base + "surface 1\n0 1 4\n", "line 12, token 27: surface triangle 0: particle index 4 out "
                                      "of range 0..3"},
        {base + "surface 1\n0 1 2\nsurface 0\n", "line 13, token 28: the surface section is given twice"},
        {base + "armour 1\n", "line 11, token 23: unexpected token 'armour'"},
        {base + "surface 2\n0 1 2\n", "truncated: surface triangle section of 2"},
    };
    for (const auto& r : refused) {
        EXPECT_FALSE(world.loadModelFromText(r.text.data(), r.text.size(), "tetra"));
        EXPECT_NE(std::string(world.failureReason()).find(r.reason), std::string::npos)
            << world.failureReason();
    }
}
