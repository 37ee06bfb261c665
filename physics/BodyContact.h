// BodyContact: the contact pass between soft bodies. Every particle of one
// body is tested against the surface triangles of every other body near it:
// first the bodies' bounding boxes, then a grid over each body's triangles.
// A particle inside a triangle's contact skin is pushed out along the
// triangle's normal by a spring-damper, with friction against the sliding;
// the opposite force goes to the triangle's three particles by their
// barycentric weights, so the pair's momentum is kept. A particle that
// crossed a triangle during the sub-step counts as in contact however deep it
// went, so a fast impact does not tunnel. A body never collides with itself.
//
// A body's grid is built only when another body comes near, and kept until
// one of its particles has moved further than a margin from where it was at
// the build: the grid holds each triangle's box grown by the reach and that
// margin, so a particle needs to look only in the cells its own path
// touches.
//
// The pass runs in three phases, each of which may spread its bodies over
// threads: buildBody (each body's box and grid), collide (each body's own
// particles against the others: forces on its own particles, and a list of
// the reactions it owes), and merge (each body takes the reactions owed to
// it from every list, in body order). Nothing a phase writes is read by
// another body in the same phase, and every sum is taken in a fixed order,
// so the forces do not depend on the thread count.
#pragma once

#include "math/Vec3.h"
#include "physics/CollisionSurface.h"

// m: a particle closer than this to the front of a triangle is in contact.
constexpr float bodyContactSkin = 0.05f;
// m: a particle behind a triangle by more than this (and that did not cross
// it in this sub-step) is taken to be beyond the body, not in it.
constexpr float bodyContactDepth = 0.25f;
// 1/s: the contact's natural rate on the pair's reduced mass; rate x 0.5 ms
// = 0.4 keeps the explicit step well inside its stable range.
constexpr float bodyContactRate = 500.0f;
// m: the contact stiffens with depth, twice as stiff at this depth, so a hard
// knock is stopped within the skin's few centimetres; beyond the cap it
// stiffens no more (four times: its rate x 0.5 ms stays at 0.8).
constexpr float bodyContactProgression = 0.02f;
constexpr float bodyContactProgressionCap = 0.06f;
// Damping ratio of the contact's spring-damper on the reduced mass.
constexpr float bodyContactDampingRatio = 0.7f;
// Friction coefficient between two bodies.
constexpr float bodyContactFriction = 0.6f;

// One body as the pass sees it during a sub-step (nothing owned). Positions
// and forces are read and written through byte strides, so that the packed
// step's padded records serve directly.
struct ContactBody {
    Vec3* positions = nullptr; // m, current (predicted) positions
    Vec3* forces = nullptr;    // N, the force accumulators
    int positionStride = sizeof(Vec3);
    int forceStride = sizeof(Vec3);
    const Vec3* velocities = nullptr; // m/s
    int velocityStride = sizeof(Vec3);
    const float* masses = nullptr;  // kg
    const Vec3* previous = nullptr; // m, positions at the start of the sub-step
    int particleCount = 0;
    const SurfaceTriangle* triangles = nullptr;
    int triangleCount = 0;
};

class BodyContact {
  public:
    BodyContact() = default;
    ~BodyContact();
    BodyContact(const BodyContact&) = delete;
    BodyContact& operator=(const BodyContact&) = delete;

    // Sizes the working arrays for these bodies (their counts stay as they
    // are until the next prepare). False when memory runs out.
    bool prepare(const ContactBody* bodies, int bodyCount);
    void release();
    // Forgets what earlier sub-steps left (the recent boxes, the grids), as
    // after prepare: for bodies that were moved from outside the step (a
    // moment put back, a truck recovered), whose recent boxes no longer say
    // where they are. Allocates nothing.
    void forget();

    // Phase 1, for each body: its swept box and its triangle grid.
    void buildBody(int body, const ContactBody* bodies);
    // Phase 2, for each body: its particles against every other body.
    void collide(int body, const ContactBody* bodies);
    // Phase 3, for each body: the reactions the other bodies owe it.
    void merge(int body, const ContactBody* bodies);

    // Of the latest collide of a body: its contacts, and the deepest any of
    // its particles lay behind another body's triangle (m, 0 for none).
    int contacts(int body) const;
    float deepest(int body) const;

    // One contact: the force on the particle, and the triangle that takes
    // its opposite.
    struct Contact {
        int body; // the triangle's body
        int a, b, c;
        float wa, wb, wc; // barycentric weights
        Vec3 force;       // N, on the particle
    };
    // Bounding box, m.
    struct Box {
        Vec3 low;
        Vec3 high;
    };

  private:
    // Each on cache lines of its own: its body's task writes it (the query
    // stamp at every particle) while the other bodies' tasks read theirs.
    struct alignas(64) BodyScratch {
        // Per triangle of the grid: its box at the build grown by the reach
        // and the margin (m), and the cells that box covers (low x, y, z,
        // then high x, y, z).
        Box* held = nullptr;
        int* ranges = nullptr;
        Box box;       // every particle, now and at the sub-step's start
        Box recent[2]; // box of the latest two sub-steps, by their parity
        long long subSteps = 0;
        Box triangleBox; // the grid's extent
        int cells[3] = {0, 0, 0};
        Vec3 cellSize;
        Vec3 inverseCell;
        int* cellStart = nullptr; // cells + 1 entries
        int* cellEntries = nullptr;
        int entryCapacity = 0;
        int cellCapacity = 0;
        Contact* list = nullptr;
        int listCapacity = 0;
        int listCount = 0;
        float deepest = 0.0f;
        bool gridReady = false; // the grid serves this sub-step
        bool gridBuilt = false; // a grid exists, built on the positions in built
        Vec3* built = nullptr;  // m, each particle where the grid was built
        // When each triangle of the body being tested against was last
        // tested, by query: a triangle in several cells is tested once.
        unsigned* tested = nullptr;
        int testedCapacity = 0;
        unsigned query = 0;
    };
    bool testParticle(const ContactBody& self, int particle, const ContactBody& other,
                      int otherBody, const BodyScratch& grid, BodyScratch& mine, Contact& best,
                      float& bestDepth) const;

    BodyScratch* scratch = nullptr;
    int bodyTotal = 0;
};
