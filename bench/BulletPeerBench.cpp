// The peer: Bullet's btSoftBody on the shipped truck's graph, in the same run
// as our step. Nodes with the same positions and masses, every spring and
// quadratic spring as a link, one position iteration; stepped by the
// soft-rigid world one 0.5 ms step at a time. Without gravity or collision
// (the plain comparison) and with both on against a ground plane.
#include "bench/BenchSupport.h"

#include <BulletCollision/BroadphaseCollision/btDbvtBroadphase.h>
#include <BulletCollision/CollisionDispatch/btCollisionDispatcher.h>
#include <BulletCollision/CollisionShapes/btStaticPlaneShape.h>
#include <BulletDynamics/ConstraintSolver/btSequentialImpulseConstraintSolver.h>
#include <BulletDynamics/Dynamics/btRigidBody.h>
#include <BulletSoftBody/btSoftBody.h>
#include <BulletSoftBody/btSoftBodyRigidBodyCollisionConfiguration.h>
#include <BulletSoftBody/btSoftRigidDynamicsWorld.h>

#include <memory>
#include <vector>

namespace {

struct BulletTruck {
    btSoftBodyRigidBodyCollisionConfiguration configuration;
    btCollisionDispatcher dispatcher{&configuration};
    btDbvtBroadphase broadphase;
    btSequentialImpulseConstraintSolver solver;
    btSoftRigidDynamicsWorld world{&dispatcher, &broadphase, &solver, &configuration};
    std::unique_ptr<btSoftBody> body;
    std::unique_ptr<btStaticPlaneShape> groundShape;
    std::unique_ptr<btRigidBody> ground;
    int links = 0;

    ~BulletTruck() {
        if (ground) {
            world.removeRigidBody(ground.get());
        }
        if (body) {
            world.removeSoftBody(body.get());
        }
    }

    bool build(PhysicsWorld& truck, bool collision) {
        btSoftBodyWorldInfo& info = world.getWorldInfo();
        info.m_broadphase = &broadphase;
        info.m_dispatcher = &dispatcher;
        info.m_gravity = collision ? btVector3(0, -9.81f, 0) : btVector3(0, 0, 0);
        info.m_sparsesdf.Initialize();
        world.setGravity(info.m_gravity);
        const int n = truck.particleCount();
        std::vector<btVector3> nodes(n);
        std::vector<btScalar> masses(n);
        for (int i = 0; i < n; ++i) {
            const Vec3& p = truck.positions()[i];
            nodes[i] = btVector3(p.x, p.y, p.z);
            masses[i] = truck.particles()[i].mass;
        }
        body.reset(new btSoftBody(&info, n, nodes.data(), masses.data()));
        for (int k = 0; k < truck.springCount(); ++k) {
            body->appendLink(truck.springs()[k].a, truck.springs()[k].b);
        }
        for (int k = 0; k < truck.quadraticSpringCount(); ++k) {
            body->appendLink(truck.quadraticSprings()[k].a, truck.quadraticSprings()[k].b);
        }
        links = truck.springCount() + truck.quadraticSpringCount();
        body->m_cfg.piterations = 1;
        body->m_cfg.collisions = collision ? btSoftBody::fCollision::Default : 0;
        world.addSoftBody(body.get());
        if (collision) {
            groundShape.reset(new btStaticPlaneShape(btVector3(0, 1, 0), 0));
            btRigidBody::btRigidBodyConstructionInfo groundInfo(0, nullptr, groundShape.get());
            ground.reset(new btRigidBody(groundInfo));
            world.addRigidBody(ground.get());
        }
        return true;
    }
};

void runBullet(benchmark::State& state, bool collision) {
    auto truck = loadShippedTruck();
    if (!truck) {
        state.SkipWithError("Modell.txt did not load");
        return;
    }
    BulletTruck peer;
    peer.build(*truck, collision);
    for (auto _ : state) {
        for (int k = 0; k < 2 * truckFrameMilliseconds; ++k) {
            peer.world.stepSimulation(0.0005f, 0);
        }
    }
    setStepCounters(state, 2.0 * truckFrameMilliseconds * static_cast<double>(state.iterations()),
                    peer.links);
}

void BM_BulletSoftBody(benchmark::State& state) {
    runBullet(state, false);
}
void BM_BulletSoftBodyCollision(benchmark::State& state) {
    runBullet(state, true);
}

} // namespace

BENCHMARK(BM_BulletSoftBody)
    ->Iterations(truckFrames)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BulletSoftBodyCollision)
    ->Iterations(truckFrames)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);
