// MultiBodyStep: binding the worlds' packed arrays to the contact pass and
// the lockstep sub-step loop with its three parallel phases.
#include "physics/MultiBodyStep.h"

#include "physics/DustSystem.h"
#include "physics/PhysicsWorld.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

#ifdef _OPENMP
#include <omp.h>
#endif

namespace {
// Dust offers a body may make in one step while they are held.
constexpr int heldDustOffers = 8192;

double secondsNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
} // namespace

MultiBodyStep::~MultiBodyStep() {
    release();
}

void MultiBodyStep::release() {
    for (int b = 0; b < bodyCount; ++b) {
        delete[] previous[b];
    }
    delete[] previous;
    delete[] bodies;
    delete[] worldList;
    delete[] elementList;
    elementList = nullptr;
    delete[] figures;
    figures = nullptr;
    previous = nullptr;
    bodies = nullptr;
    worldList = nullptr;
    bodyCount = 0;
    ready = false;
    contact.release();
}

void MultiBodyStep::setThreads(int threads) {
    threadCount = std::max(1, threads);
}

bool MultiBodyStep::bind(PhysicsWorld* const* worlds, int count) {
    release();
    if (count <= 0) {
        return true;
    }
    worldList = new (std::nothrow) PhysicsWorld*[count];
    bodies = new (std::nothrow) ContactBody[count];
    previous = new (std::nothrow) Vec3*[count];
    elementList = new (std::nothrow) StepElements[count];
    figures = new (std::nothrow) Figures[count];
    if (!worldList || !bodies || !previous || !elementList || !figures) {
        // bodyCount is still 0: release frees the arrays alone.
        release();
        return false;
    }
    bodyCount = count;
    std::fill(previous, previous + count, nullptr);
    bool allocated = true;
    for (int b = 0; b < count; ++b) {
        worldList[b] = worlds[b];
        PhysicsWorld& world = *worlds[b];
        const int particles = world.particleCount();
        previous[b] = new (std::nothrow) Vec3[std::max(particles, 1)];
        allocated = allocated && previous[b] != nullptr;
        PackedStep& packed = world.packedStep();
        ContactBody& body = bodies[b];
        PackedStep::Point* points = packed.pointData();
        body.positions = points ? &points->position : nullptr;
        body.forces = points ? &points->force : nullptr;
        body.positionStride = sizeof(PackedStep::Point);
        body.forceStride = sizeof(PackedStep::Point);
        const PackedStep::Motion* motions = packed.motionData();
        body.velocities = motions ? &motions->velocity : nullptr;
        body.velocityStride = sizeof(PackedStep::Motion);
        body.masses = packed.massData();
        body.previous = previous[b];
        body.particleCount = particles;
        body.triangles = world.collisionSurface().triangles();
        body.triangleCount = world.collisionSurface().triangleCount();
        // The packed copy is what the lockstep runs on.
        allocated =
            allocated && (particles == 0 || points != nullptr) && packed.fits(world.stepElements());
    }
    if (!allocated || !contact.prepare(bodies, count)) {
        release();
        return false;
    }
    for (int b = 0; b < count; ++b) {
        DustSystem* dust = worldList[b]->groundContact().dust;
        if (count > 1 && dust != nullptr && !dust->holding()) {
            dust->hold(heldDustOffers);
        }
    }
    ready = true;
    return true;
}

void MultiBodyStep::predictBody(int b, const StepElements& elements) {
    PackedStep& packed = worldList[b]->packedStep();
    const PackedStep::Point* points = packed.pointData();
    Vec3* before = previous[b];
    for (int i = 0; i < bodies[b].particleCount; ++i) {
        before[i] = points[i].position;
    }
    packed.predictPart(elements);
    if (contactsOn) {
        const double start = timing ? secondsNow() : 0.0;
        contact.buildBody(b, bodies);
        if (timing) {
            figures[b].contactSeconds += secondsNow() - start;
        }
    }
}

float MultiBodyStep::step(int milliseconds) {
    if (milliseconds <= 0) {
        return static_cast<float>(milliseconds);
    }
    if (bodyCount == 1) {
        // One body meets nobody: its own step, to the bit.
        return worldList[0]->step(milliseconds);
    }
    const long long subSteps = 2LL * milliseconds;
    const double stepStart = timing ? secondsNow() : 0.0;
    if (!ready) {
        for (int b = 0; b < bodyCount; ++b) {
            worldList[b]->step(milliseconds);
        }
        return static_cast<float>(subSteps) * 0.5f;
    }
    StepElements* elements = elementList;
    for (int b = 0; b < bodyCount; ++b) {
        elements[b] = worldList[b]->stepElements();
        // As in PhysicsWorld::step: the peak ground impulse is this step's.
        worldList[b]->groundContact().peakImpulse = 0.0f;
        worldList[b]->packedStep().begin(elements[b]);
    }
    // Figures per body, each written by its own task only, summed after.
    for (int b = 0; b < bodyCount; ++b) {
        figures[b] = Figures();
    }
    const int bodyTotal = bodyCount;
    // Every loop is over bodies with a barrier at its end: a phase starts
    // only when the one before has finished for every body. The sub-step's
    // loops hand out one body at a time to whichever thread is free: bodies
    // in a pile-up collide with more neighbours and rebuild their grids more
    // often than those at its edge, so fixed halves leave one thread
    // waiting. A body's task touches only that body's arrays, so which
    // thread runs it never changes a result.
#pragma omp parallel num_threads(threadCount) if (threadCount > 1)
    {
        // Two barriers a sub-step: after each body has predicted and built
        // its grid, and after each has collided. Taking the reactions owed
        // to a body, finishing its sub-step and predicting its next one need
        // nothing of the other bodies, so they run in one task.
#pragma omp for schedule(static)
        for (int b = 0; b < bodyTotal; ++b) {
            predictBody(b, elements[b]);
        }
        for (long long k = 0; k < subSteps; ++k) {
            if (contactsOn) {
#pragma omp for schedule(dynamic, 1)
                for (int b = 0; b < bodyTotal; ++b) {
                    const double start = timing ? secondsNow() : 0.0;
                    contact.collide(b, bodies);
                    if (timing) {
                        figures[b].contactSeconds += secondsNow() - start;
                    }
                }
            }
            const bool last = k + 1 == subSteps;
#pragma omp for schedule(dynamic, 1)
            for (int b = 0; b < bodyTotal; ++b) {
                if (contactsOn) {
                    const double start = timing ? secondsNow() : 0.0;
                    contact.merge(b, bodies);
                    if (timing) {
                        figures[b].contactSeconds += secondsNow() - start;
                    }
                    figures[b].deepest = std::max(figures[b].deepest, contact.deepest(b));
                    figures[b].contacts += contact.contacts(b);
                }
                worldList[b]->packedStep().finishPart(elements[b]);
                if (!last) {
                    predictBody(b, elements[b]);
                }
            }
        }
    }
    for (int b = 0; b < bodyCount; ++b) {
        worldList[b]->packedStep().end(elements[b]);
        DustSystem* dust = worldList[b]->groundContact().dust;
        if (dust != nullptr && dust->holding()) {
            dust->releaseHeld();
        }
    }
    for (int b = 0; b < bodyCount; ++b) {
        deepest = std::max(deepest, figures[b].deepest);
        contactTotal += figures[b].contacts;
        contactTime += figures[b].contactSeconds;
    }
    if (timing) {
        stepTime += secondsNow() - stepStart;
    }
    return static_cast<float>(subSteps) * 0.5f;
}
