// PackedStep: copying the world in and out, and the eleven passes of a
// sub-step on the packed arrays. Predict and penetration run in one sweep
// (each touches only its own particle), and the penetration sweep leaves the
// ground under every particle for the friction pass, which the plain step
// looks up a second time at the same position.
#include "physics/PackedStep.h"

#include "physics/AngleJoint.h"
#include "physics/GrabSpring.h"
#include "physics/GroundContact.h"
#include "physics/Particle.h"
#include "physics/QuadraticSpring.h"
#include "physics/RightAngleJoint.h"
#include "physics/Spring.h"
#include "physics/SpringDamage.h"
#include "physics/StepConstants.h"
#include "physics/Wheel.h"

#include <cfloat>
#include <cmath>
#include <limits>
#include <new>

#if !defined(__SSE2__)
#error "the packed step needs SSE2 (the x86-64 baseline)"
#endif
#include <emmintrin.h>

using namespace stepconst;

namespace {

int batchesFor(int count) {
    return (count + 3) / 4;
}

int rimEntries(const StepElements& world) {
    int total = 0;
    for (int w = 0; w < world.wheelCount; ++w) {
        if (world.wheels[w].rimCount > 0) {
            total += world.wheels[w].rimCount;
        }
    }
    return total;
}

[[gnu::always_inline]] inline __m128 load(const Vec3& v) {
    // The Vec3 is the first member of a 16-byte aligned record with a pad.
    return _mm_load_ps(&v.x);
}

[[gnu::always_inline]] inline void store(Vec3& v, __m128 value) {
    _mm_store_ps(&v.x, value);
}

// mask ? a : b, lane by lane.
[[gnu::always_inline]] inline __m128 select(__m128 mask, __m128 a, __m128 b) {
    return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
}

// The point at a byte offset into the point array.
[[gnu::always_inline]] inline PackedStep::Point& pointAt(PackedStep::Point* points,
                                                         unsigned offset) {
    return *reinterpret_cast<PackedStep::Point*>(reinterpret_cast<char*>(points) + offset);
}

// The particles at the ends of the four springs of a batch, read once per
// batch (the force stores in between could otherwise be taken to change them).
struct BatchEnds {
    PackedStep::Point* a[4];
    PackedStep::Point* b[4];
};

[[gnu::always_inline]] inline BatchEnds batchEnds(PackedStep::Point* points,
                                                  const PackedStep::SpringBatch& s) {
    BatchEnds ends;
#pragma GCC unroll 4
    for (int j = 0; j < 4; ++j) {
        ends.a[j] = &pointAt(points, s.a[j]);
        ends.b[j] = &pointAt(points, s.b[j]);
    }
    return ends;
}

// Adds lane j's pull d * lambda to its first particle and subtracts it from
// its second.
template <int j>
[[gnu::always_inline]] inline void addPull(const BatchEnds& ends, __m128 d, __m128 lambda) {
    const __m128 pull = _mm_mul_ps(d, _mm_shuffle_ps(lambda, lambda, _MM_SHUFFLE(j, j, j, j)));
    Vec3& fa = ends.a[j]->force;
    store(fa, _mm_add_ps(load(fa), pull));
    Vec3& fb = ends.b[j]->force;
    store(fb, _mm_sub_ps(load(fb), pull));
}

// The pulls of the acting lanes of a batch in element order, as the plain
// pass adds them.
[[gnu::always_inline]] inline void addPulls(const BatchEnds& ends, const __m128 d[4], __m128 lambda,
                                            int acting) {
    // Nearly always all four act: one test instead of four.
    if (acting == 15) {
        addPull<0>(ends, d[0], lambda);
        addPull<1>(ends, d[1], lambda);
        addPull<2>(ends, d[2], lambda);
        addPull<3>(ends, d[3], lambda);
        return;
    }
    if (acting & 1) {
        addPull<0>(ends, d[0], lambda);
    }
    if (acting & 2) {
        addPull<1>(ends, d[1], lambda);
    }
    if (acting & 4) {
        addPull<2>(ends, d[2], lambda);
    }
    if (acting & 8) {
        addPull<3>(ends, d[3], lambda);
    }
}

// Lengths of the four springs of a batch, with their end-to-end vectors in d.
[[gnu::always_inline]] inline __m128 springLengths(const BatchEnds& ends, __m128 d[4]) {
#pragma GCC unroll 4
    for (int j = 0; j < 4; ++j) {
        d[j] = _mm_sub_ps(load(ends.b[j]->position), load(ends.a[j]->position));
    }
    __m128 dx = d[0];
    __m128 dy = d[1];
    __m128 dz = d[2];
    __m128 dw = d[3];
    _MM_TRANSPOSE4_PS(dx, dy, dz, dw);
    return _mm_sqrt_ps(
        _mm_add_ps(_mm_add_ps(_mm_mul_ps(dx, dx), _mm_mul_ps(dy, dy)), _mm_mul_ps(dz, dz)));
}

// Runs a spring law over every batch: law(batch, lengths) updates the
// batch's previous lengths and returns each lane's lambda, the force per
// metre of end-to-end vector; the pulls go to the particles of the lanes
// whose springs are long enough to act.
template <typename Law>
[[gnu::always_inline]] inline void
applyBatches(PackedStep::Point* points, PackedStep::SpringBatch* batches, int count, Law law) {
    const __m128 shortest = _mm_set1_ps(shortSpringLength);
    for (int n = 0; n < count; ++n) {
        PackedStep::SpringBatch& s = batches[n];
        const BatchEnds ends = batchEnds(points, s);
        __m128 d[4];
        const __m128 length = springLengths(ends, d);
        const __m128 lambda = law(s, length);
        addPulls(ends, d, lambda, _mm_movemask_ps(_mm_cmpnlt_ps(length, shortest)));
    }
}

// force += tangent * lane j of factor.
template <int j>
[[gnu::always_inline]] inline void addTangent(Vec3& force, const Vec3& tangent, __m128 factor) {
    store(force, _mm_add_ps(load(force),
                            _mm_mul_ps(load(tangent),
                                       _mm_shuffle_ps(factor, factor, _MM_SHUFFLE(j, j, j, j)))));
}

// Fills a spring batch with springs first .. first + 3 (lanes past count stay
// as prepared: both ends at particle 0, so they are too short to act).
template <typename Element>
void copySpringsIn(PackedStep::SpringBatch* batches, const Element* springs, int count) {
    for (int k = 0; k < count; ++k) {
        PackedStep::SpringBatch& batch = batches[k / 4];
        const int lane = k % 4;
        batch.a[lane] = static_cast<unsigned>(springs[k].a) * sizeof(PackedStep::Point);
        batch.b[lane] = static_cast<unsigned>(springs[k].b) * sizeof(PackedStep::Point);
        batch.stiffness[lane] = springs[k].stiffness;
        batch.restLength[lane] = springs[k].restLength;
        batch.previousLength[lane] = springs[k].previousLength;
    }
}

template <typename Element>
void copySpringsOut(const PackedStep::SpringBatch* batches, Element* springs, int count) {
    for (int k = 0; k < count; ++k) {
        springs[k].previousLength = batches[k / 4].previousLength[k % 4];
    }
}

// The damage law of SpringDamage::flow for the four lanes of a batch, on the
// lengths their forces are formed from: marks the lanes that break, moves
// the rest lengths of the others, and returns the broken lanes as bits.
// Nearly always every length lies within its lane's bounds: one test.
[[gnu::always_inline]] inline int flowBatch(PackedStep::SpringBatch& s,
                                            PackedStep::DamageBatch& damage, __m128 length) {
    const __m128 outsideMask = _mm_or_ps(_mm_cmplt_ps(length, _mm_load_ps(damage.safeLow)),
                                         _mm_cmpgt_ps(length, _mm_load_ps(damage.safeHigh)));
    if ((_mm_movemask_ps(outsideMask) & ~damage.brokenLanes) == 0) {
        return damage.brokenLanes;
    }
    // The whole law, kept only in the lanes outside their bounds and not
    // broken before, as the scalar law runs only for those.
    const __m128 signBit = _mm_set1_ps(-0.0f);
    const __m128 original = _mm_load_ps(damage.originalLength);
    const __m128 yield = _mm_load_ps(damage.yieldLength);
    const __m128 plastic = _mm_load_ps(damage.plasticLength);
    const __m128 breakLength = _mm_load_ps(damage.breakLength);
    const __m128 wasBroken =
        _mm_castsi128_ps(_mm_load_si128(reinterpret_cast<const __m128i*>(damage.broken)));
    const __m128 acting = _mm_andnot_ps(wasBroken, outsideMask);
    const __m128 breaks = _mm_and_ps(
        acting, _mm_cmpgt_ps(_mm_andnot_ps(signBit, _mm_sub_ps(length, original)), breakLength));
    const __m128 broken = _mm_or_ps(wasBroken, breaks);
    const __m128 rest = _mm_load_ps(s.restLength);
    const __m128 x = _mm_sub_ps(length, rest);
    __m128 flowed =
        select(_mm_cmplt_ps(x, _mm_xor_ps(yield, signBit)), _mm_add_ps(length, yield), rest);
    flowed = select(_mm_cmpgt_ps(x, yield), _mm_sub_ps(length, yield), flowed);
    const __m128 shortest = _mm_sub_ps(original, plastic);
    const __m128 longest = _mm_add_ps(original, plastic);
    flowed = select(_mm_cmplt_ps(flowed, shortest), shortest, flowed);
    flowed = select(_mm_cmpgt_ps(flowed, longest), longest, flowed);
    const __m128 newRest = select(_mm_andnot_ps(broken, acting), flowed, rest);
    _mm_store_ps(s.restLength, newRest);
    // The bounds of SpringDamage::updateBounds for the new rest lengths.
    const __m128 yieldLow = _mm_sub_ps(newRest, yield);
    const __m128 breakLow = _mm_sub_ps(original, breakLength);
    _mm_store_ps(damage.safeLow, select(_mm_cmplt_ps(yieldLow, breakLow), breakLow, yieldLow));
    const __m128 yieldHigh = _mm_add_ps(newRest, yield);
    const __m128 breakHigh = _mm_add_ps(original, breakLength);
    _mm_store_ps(damage.safeHigh, select(_mm_cmplt_ps(breakHigh, yieldHigh), breakHigh, yieldHigh));
    _mm_store_si128(reinterpret_cast<__m128i*>(damage.broken), _mm_castps_si128(broken));
    damage.brokenLanes = _mm_movemask_ps(broken);
    return damage.brokenLanes;
}

// applyBatches with the damage law first: broken lanes keep their lengths
// for damping and add no pull.
template <typename Law>
[[gnu::always_inline]] inline void
applyDamagedBatches(PackedStep::Point* points, PackedStep::SpringBatch* batches,
                    PackedStep::DamageBatch* damage, int count, Law law) {
    const __m128 shortest = _mm_set1_ps(shortSpringLength);
    for (int n = 0; n < count; ++n) {
        PackedStep::SpringBatch& s = batches[n];
        const BatchEnds ends = batchEnds(points, s);
        __m128 d[4];
        const __m128 length = springLengths(ends, d);
        const int broken = flowBatch(s, damage[n], length);
        const __m128 lambda = law(s, length);
        addPulls(ends, d, lambda, _mm_movemask_ps(_mm_cmpnlt_ps(length, shortest)) & ~broken);
    }
}

void copyDamageIn(PackedStep::DamageBatch* batches, const SpringDamage* damage, int count) {
    for (int k = 0; k < count; ++k) {
        PackedStep::DamageBatch& batch = batches[k / 4];
        const int lane = k % 4;
        batch.originalLength[lane] = damage[k].originalLength;
        batch.yieldLength[lane] = damage[k].yieldLength;
        batch.plasticLength[lane] = damage[k].plasticLength;
        batch.breakLength[lane] = damage[k].breakLength;
        batch.safeLow[lane] = damage[k].safeLow;
        batch.safeHigh[lane] = damage[k].safeHigh;
        batch.broken[lane] = damage[k].broken != 0 ? -1 : 0;
    }
    for (int n = 0; n < (count + 3) / 4; ++n) {
        PackedStep::DamageBatch& batch = batches[n];
        batch.brokenLanes = 0;
        for (int lane = 0; lane < 4; ++lane) {
            batch.brokenLanes |= batch.broken[lane] != 0 ? 1 << lane : 0;
        }
    }
}

template <typename Element>
void copyDamageOut(const PackedStep::SpringBatch* batches,
                   const PackedStep::DamageBatch* damageBatches, Element* springs,
                   SpringDamage* damage, int count) {
    for (int k = 0; k < count; ++k) {
        springs[k].restLength = batches[k / 4].restLength[k % 4];
        damage[k].broken = damageBatches[k / 4].broken[k % 4] != 0 ? 1 : 0;
        damage[k].safeLow = damageBatches[k / 4].safeLow[k % 4];
        damage[k].safeHigh = damageBatches[k / 4].safeHigh[k % 4];
    }
}

} // namespace

PackedStep::~PackedStep() {
    release();
}

void PackedStep::release() {
    delete[] points;
    delete[] motions;
    delete[] masses;
    delete[] inverseMasses;
    delete[] contacts;
    delete[] springBatches;
    delete[] quadraticBatches;
    delete[] springDamageBatches;
    delete[] quadraticDamageBatches;
    delete[] rimTangents;
    delete[] rimDenominators;
    points = nullptr;
    motions = nullptr;
    masses = nullptr;
    inverseMasses = nullptr;
    contacts = nullptr;
    springBatches = nullptr;
    quadraticBatches = nullptr;
    springDamageBatches = nullptr;
    quadraticDamageBatches = nullptr;
    rimTangents = nullptr;
    rimDenominators = nullptr;
    particleCount = 0;
    springBatchCount = 0;
    quadraticBatchCount = 0;
    rimTotal = 0;
    ready = false;
}

bool PackedStep::prepare(const StepElements& world) {
    release();
    const int n = world.particleCount > 0 ? world.particleCount : 0;
    const int springs = batchesFor(world.springCount);
    const int quadratics = batchesFor(world.quadraticSpringCount);
    const int rims = rimEntries(world);
    // Spring ends are 32-bit byte offsets into the point array.
    if (static_cast<unsigned long long>(n) * sizeof(Point) > 0xFFFFFFFFull) {
        return false;
    }
    // Arrays of at least one element, so that a null pointer always means
    // that memory ran out.
    points = new (std::nothrow) Point[n > 0 ? n : 1]();
    motions = new (std::nothrow) Motion[n > 0 ? n : 1]();
    masses = new (std::nothrow) float[n > 0 ? n : 1]();
    inverseMasses = new (std::nothrow) float[n > 0 ? n : 1]();
    contacts = new (std::nothrow) Contact[n > 0 ? n : 1]();
    springBatches = new (std::nothrow) SpringBatch[springs > 0 ? springs : 1]();
    quadraticBatches = new (std::nothrow) SpringBatch[quadratics > 0 ? quadratics : 1]();
    springDamageBatches = new (std::nothrow) DamageBatch[springs > 0 ? springs : 1]();
    quadraticDamageBatches = new (std::nothrow) DamageBatch[quadratics > 0 ? quadratics : 1]();
    rimTangents = new (std::nothrow) Tangent[rims > 0 ? rims : 1]();
    rimDenominators = new (std::nothrow) float[rims > 0 ? rims : 1]();
    if (!points || !motions || !masses || !inverseMasses || !contacts || !springBatches ||
        !quadraticBatches || !springDamageBatches || !quadraticDamageBatches || !rimTangents ||
        !rimDenominators) {
        release();
        return false;
    }
    particleCount = n;
    springBatchCount = springs;
    quadraticBatchCount = quadratics;
    rimTotal = rims;
    ready = true;
    return true;
}

bool PackedStep::fits(const StepElements& world) const {
    return ready && world.contact != nullptr && world.particleCount == particleCount &&
           batchesFor(world.springCount) == springBatchCount &&
           batchesFor(world.quadraticSpringCount) == quadraticBatchCount &&
           rimEntries(world) <= rimTotal;
}

void PackedStep::copyIn(const StepElements& world) {
    for (int i = 0; i < particleCount; ++i) {
        const Particle& particle = world.particles[i];
        points[i].position = world.positions[i];
        points[i].force = particle.force;
        motions[i].velocity = particle.velocity;
        motions[i].acceleration = particle.acceleration;
        motions[i].previousAcceleration = particle.previousAcceleration;
        masses[i] = particle.mass;
        inverseMasses[i] = particle.inverseMass;
    }
    copySpringsIn(springBatches, world.springs, world.springCount);
    for (int k = 0; k < world.springCount; ++k) {
        springBatches[k / 4].damping[k % 4] = world.springs[k].damping;
    }
    copySpringsIn(quadraticBatches, world.quadraticSprings, world.quadraticSpringCount);
    if (world.springDamage != nullptr) {
        copyDamageIn(springDamageBatches, world.springDamage, world.springCount);
        copyDamageIn(quadraticDamageBatches, world.quadraticDamage, world.quadraticSpringCount);
    }
}

void PackedStep::copyOut(const StepElements& world) {
    for (int i = 0; i < particleCount; ++i) {
        Particle& particle = world.particles[i];
        world.positions[i] = points[i].position;
        particle.force = points[i].force;
        particle.velocity = motions[i].velocity;
        particle.acceleration = motions[i].acceleration;
        particle.previousAcceleration = motions[i].previousAcceleration;
    }
    copySpringsOut(springBatches, world.springs, world.springCount);
    copySpringsOut(quadraticBatches, world.quadraticSprings, world.quadraticSpringCount);
    if (world.springDamage != nullptr) {
        copyDamageOut(springBatches, springDamageBatches, world.springs, world.springDamage,
                      world.springCount);
        copyDamageOut(quadraticBatches, quadraticDamageBatches, world.quadraticSprings,
                      world.quadraticDamage, world.quadraticSpringCount);
    }
}

void PackedStep::run(const StepElements& world, long long subSteps) {
    copyIn(world);
    for (long long k = 0; k < subSteps; ++k) {
        subStep(world);
    }
    copyOut(world);
}

void PackedStep::subStep(const StepElements& world) {
    predictPart(world);
    finishPart(world);
}

void PackedStep::predictPart(const StepElements& world) {
    predictAndPenetrate(world);
    // The grab at the same place as in PhysicsWorld::subStep, from the same
    // position, velocity and accumulated force: the same bits.
    if (world.grab != nullptr && world.grab->active()) {
        const int p = world.grab->particle;
        points[p].force =
            points[p].force +
            GrabSpring::force(points[p].position, motions[p].velocity, world.grab->target);
    }
}

void PackedStep::finishPart(const StepElements& world) {
    // The damage law runs inside the spring passes, on the lengths their
    // forces are formed from: a break zeroes the force in the very sub-step
    // it happens, and a flowed rest length is felt at once.
    if (world.springDamage != nullptr) {
        applyDamagedSprings();
        applyDamagedQuadraticSprings();
    } else {
        applySprings();
        applyQuadraticSprings();
    }
    applyFriction(world);
    applyJoints(world);
    applyWheelTorques(world, true);
    correct();
    for (int w = 0; w < world.wheelCount; ++w) {
        Wheel& wheel = world.wheels[w];
        if (wheel.rimCount > 0) {
            const int p = wheel.rim[0];
            wheel.measureSpinFrom(points[wheel.hubA].position, points[wheel.hubB].position,
                                  points[p].position, motions[p].velocity);
        }
    }
    // These forces stay in the accumulators and enter the next sub-step.
    applyWheelTorques(world, false);
}

void PackedStep::predictAndPenetrate(const StepElements& world) {
    // x + v dt + (2/3 a - 1/6 a_prev) dt², lane by lane as Particle::predict.
    const __m128 dt = _mm_set1_ps(timeStep);
    const __m128 dt2 = _mm_set1_ps(timeStepSquared);
    const __m128 twoThirds = _mm_set1_ps(2.0f / 3.0f);
    const __m128 oneSixth = _mm_set1_ps(1.0f / 6.0f);
    const Terrain& terrain = world.contact->terrain;
    const __m128 originX = _mm_set1_ps(terrain.origin.x);
    const __m128 originZ = _mm_set1_ps(terrain.origin.z);
    const __m128 zero = _mm_setzero_ps();
    const __m128 cellsX = _mm_set1_ps(terrain.cellsXLimit);
    const __m128 cellsZ = _mm_set1_ps(terrain.cellsZLimit);
    const __m128 inverseSpacing = _mm_set1_ps(terrain.inverseSpacing);
    const __m128 outside = _mm_set1_ps(Terrain::outside);
    float peak = world.contact->peakImpulse;
    int i = 0;
    // Four particles at a time: predicted lane by lane, then their ground
    // triangles looked up together as Terrain::query does it.
    for (; i + 4 <= particleCount; i += 4) {
        __m128 p[4];
#pragma GCC unroll 4
        for (int j = 0; j < 4; ++j) {
            Point& point = points[i + j];
            const Motion& motion = motions[i + j];
            const __m128 curve =
                _mm_sub_ps(_mm_mul_ps(twoThirds, load(motion.acceleration)),
                           _mm_mul_ps(oneSixth, load(motion.previousAcceleration)));
            p[j] =
                _mm_add_ps(_mm_add_ps(load(point.position), _mm_mul_ps(load(motion.velocity), dt)),
                           _mm_mul_ps(curve, dt2));
            store(point.position, p[j]);
            point.force.y = point.force.y - masses[i + j] * gravity;
        }
        __m128 px = p[0];
        __m128 py = p[1];
        __m128 pz = p[2];
        __m128 pw = p[3];
        _MM_TRANSPOSE4_PS(px, py, pz, pw);
        const __m128 u = _mm_mul_ps(_mm_sub_ps(px, originX), inverseSpacing);
        const __m128 w = _mm_mul_ps(_mm_sub_ps(pz, originZ), inverseSpacing);
        // False for NaN too; lanes off the grid look up cell (0, 0) and are
        // given the height of "outside" afterwards.
        const __m128 inside =
            _mm_and_ps(_mm_and_ps(_mm_cmpge_ps(u, zero), _mm_cmpge_ps(w, zero)),
                       _mm_and_ps(_mm_cmplt_ps(u, cellsX), _mm_cmplt_ps(w, cellsZ)));
        const __m128 uIn = _mm_and_ps(inside, u);
        const __m128 wIn = _mm_and_ps(inside, w);
        const __m128i cellI = _mm_cvttps_epi32(uIn);
        const __m128i cellJ = _mm_cvttps_epi32(wIn);
        const __m128 cellIf = _mm_cvtepi32_ps(cellI);
        const __m128 cellJf = _mm_cvtepi32_ps(cellJ);
        const __m128 fu = _mm_sub_ps(uIn, cellIf);
        const __m128 fw = _mm_sub_ps(wIn, cellJf);
        // 2 (cellsZ i + j), plus 1 (the all-ones mask subtracted) where
        // fw >= fu. cellsZ i + j is formed in floats, exact below 2^24 (a
        // 1025 x 1025 grid needs 2^20), as SSE2 has no 32-bit integer multiply.
        const __m128i cell = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(cellIf, cellsZ), cellJf));
        const __m128i plane =
            _mm_sub_epi32(_mm_slli_epi32(cell, 1), _mm_castps_si128(_mm_cmpge_ps(fw, fu)));
        alignas(16) int planeIndex[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(planeIndex), plane);
        __m128 n[4];
#pragma GCC unroll 4
        for (int j = 0; j < 4; ++j) {
            n[j] = _mm_loadu_ps(&terrain.planes[4 * planeIndex[j]]);
        }
        __m128 nx = n[0];
        __m128 ny = n[1];
        __m128 nz = n[2];
        __m128 offset = n[3];
        _MM_TRANSPOSE4_PS(nx, ny, nz, offset);
        const __m128 d =
            select(inside,
                   _mm_sub_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(nx, px), _mm_mul_ps(ny, py)),
                                         _mm_mul_ps(nz, pz)),
                              offset),
                   outside);
        alignas(16) float height[4];
        _mm_store_ps(height, d);
        const int below = _mm_movemask_ps(_mm_cmplt_ps(d, zero));
#pragma GCC unroll 4
        for (int j = 0; j < 4; ++j) {
            Contact& contact = contacts[i + j];
            store(contact.normal, n[j]);
            contact.height = height[j];
            if (below & (1 << j)) {
                Point& point = points[i + j];
                const Vec3 normal = contact.normal;
                const Vec3 foot = point.position - normal * height[j];
                const float change = GroundContact::penetrate(
                    terrain, point.position, motions[i + j].velocity, height[j], normal, foot);
                peak = GroundContact::largerImpulse(peak, change, masses[i + j]);
                contact.height = terrain.query(point.position, &contact.normal, nullptr);
            }
        }
    }
    for (; i < particleCount; ++i) {
        Point& point = points[i];
        Motion& motion = motions[i];
        const __m128 curve = _mm_sub_ps(_mm_mul_ps(twoThirds, load(motion.acceleration)),
                                        _mm_mul_ps(oneSixth, load(motion.previousAcceleration)));
        store(point.position,
              _mm_add_ps(_mm_add_ps(load(point.position), _mm_mul_ps(load(motion.velocity), dt)),
                         _mm_mul_ps(curve, dt2)));
        point.force.y = point.force.y - masses[i] * gravity;
        Vec3 normal;
        Vec3 foot;
        float d = terrain.query(point.position, &normal, &foot);
        if (d < 0.0f) {
            const float change =
                GroundContact::penetrate(terrain, point.position, motion.velocity, d, normal, foot);
            peak = GroundContact::largerImpulse(peak, change, masses[i]);
            d = terrain.query(point.position, &normal, nullptr);
        }
        contacts[i].normal = normal;
        contacts[i].height = d;
    }
    world.contact->peakImpulse = peak;
}

void PackedStep::applySprings() {
    const __m128 eightTenths = _mm_set1_ps(0.8f);
    const __m128 two = _mm_set1_ps(2.0f);
    const __m128 five = _mm_set1_ps(5.0f);
    const __m128 rate = _mm_set1_ps(negInverseStep);
    applyBatches(points, springBatches, springBatchCount, [&](SpringBatch& s, __m128 length) {
        // The piecewise law of Spring::apply: the length selects one of the
        // three factors of the stiffness.
        const __m128 rest = _mm_load_ps(s.restLength);
        const __m128 e = _mm_mul_ps(eightTenths, rest);
        const __m128 x = _mm_sub_ps(length, rest);
        const __m128 offset = _mm_sub_ps(e, rest);
        const __m128 fiveX = _mm_mul_ps(five, x);
        const __m128 upper = _mm_sub_ps(_mm_mul_ps(two, rest), e);
        __m128 extension = select(_mm_cmple_ps(length, upper), x, _mm_add_ps(fiveX, offset));
        extension = select(_mm_cmplt_ps(length, e), _mm_sub_ps(fiveX, offset), extension);
        const __m128 f = _mm_mul_ps(_mm_load_ps(s.stiffness), extension);
        const __m128 damping = _mm_mul_ps(
            _mm_mul_ps(_mm_load_ps(s.damping), _mm_sub_ps(_mm_load_ps(s.previousLength), length)),
            rate);
        _mm_store_ps(s.previousLength, length);
        return _mm_div_ps(_mm_add_ps(f, damping), length);
    });
}

void PackedStep::applyQuadraticSprings() {
    const __m128 rate = _mm_set1_ps(negThreeOverStep);
    const __m128 signBit = _mm_set1_ps(-0.0f);
    applyBatches(points, quadraticBatches, quadraticBatchCount, [&](SpringBatch& s, __m128 length) {
        const __m128 x = _mm_sub_ps(length, _mm_load_ps(s.restLength));
        const __m128 damping = _mm_mul_ps(_mm_sub_ps(_mm_load_ps(s.previousLength), length), rate);
        _mm_store_ps(s.previousLength, length);
        // stiffness x |x|, as QuadraticSpring::apply.
        const __m128 elastic =
            _mm_mul_ps(_mm_mul_ps(_mm_load_ps(s.stiffness), x), _mm_andnot_ps(signBit, x));
        return _mm_div_ps(_mm_add_ps(damping, elastic), length);
    });
}

void PackedStep::applyDamagedSprings() {
    const __m128 eightTenths = _mm_set1_ps(0.8f);
    const __m128 two = _mm_set1_ps(2.0f);
    const __m128 five = _mm_set1_ps(5.0f);
    const __m128 rate = _mm_set1_ps(negInverseStep);
    applyDamagedBatches(
        points, springBatches, springDamageBatches, springBatchCount,
        [&](SpringBatch& s, __m128 length) {
            // The law of applySprings, on the rest lengths the damage left.
            const __m128 rest = _mm_load_ps(s.restLength);
            const __m128 e = _mm_mul_ps(eightTenths, rest);
            const __m128 x = _mm_sub_ps(length, rest);
            const __m128 offset = _mm_sub_ps(e, rest);
            const __m128 fiveX = _mm_mul_ps(five, x);
            const __m128 upper = _mm_sub_ps(_mm_mul_ps(two, rest), e);
            __m128 extension = select(_mm_cmple_ps(length, upper), x, _mm_add_ps(fiveX, offset));
            extension = select(_mm_cmplt_ps(length, e), _mm_sub_ps(fiveX, offset), extension);
            const __m128 f = _mm_mul_ps(_mm_load_ps(s.stiffness), extension);
            const __m128 damping =
                _mm_mul_ps(_mm_mul_ps(_mm_load_ps(s.damping),
                                      _mm_sub_ps(_mm_load_ps(s.previousLength), length)),
                           rate);
            _mm_store_ps(s.previousLength, length);
            return _mm_div_ps(_mm_add_ps(f, damping), length);
        });
}

void PackedStep::applyDamagedQuadraticSprings() {
    const __m128 rate = _mm_set1_ps(negThreeOverStep);
    const __m128 signBit = _mm_set1_ps(-0.0f);
    applyDamagedBatches(points, quadraticBatches, quadraticDamageBatches, quadraticBatchCount,
                        [&](SpringBatch& s, __m128 length) {
                            const __m128 x = _mm_sub_ps(length, _mm_load_ps(s.restLength));
                            const __m128 damping =
                                _mm_mul_ps(_mm_sub_ps(_mm_load_ps(s.previousLength), length), rate);
                            _mm_store_ps(s.previousLength, length);
                            const __m128 elastic = _mm_mul_ps(
                                _mm_mul_ps(_mm_load_ps(s.stiffness), x), _mm_andnot_ps(signBit, x));
                            return _mm_div_ps(_mm_add_ps(damping, elastic), length);
                        });
}

void PackedStep::applyFriction(const StepElements& world) {
    DustSystem* dust = world.contact->dust;
    for (int i = 0; i < particleCount; ++i) {
        const Contact& contact = contacts[i];
        if (contact.height < contactSkin) {
            GroundContact::friction(points[i].position, contact.normal, motions[i].velocity,
                                    points[i].force, inverseMasses[i], dust);
        }
    }
}

void PackedStep::applyJoints(const StepElements& world) {
    JointDamage* angleDamage = world.angleJointDamage;
    JointDamage* rightAngleDamage = world.rightAngleJointDamage;
    for (int k = 0; k < world.angleJointCount; ++k) {
        const AngleJoint& joint = world.angleJoints[k];
        if (angleDamage != nullptr &&
            !angleDamage[k].holds(points[joint.a].position, points[joint.b].position,
                                  points[joint.c].position)) {
            continue;
        }
        Vec3 f;
        if (AngleJoint::force(points[joint.a].position, points[joint.b].position,
                              points[joint.c].position, joint.target, f)) {
            points[joint.a].force = points[joint.a].force - f;
            points[joint.b].force = points[joint.b].force + f;
        }
    }
    for (int k = 0; k < world.rightAngleJointCount; ++k) {
        const RightAngleJoint& joint = world.rightAngleJoints[k];
        if (rightAngleDamage != nullptr &&
            !rightAngleDamage[k].holds(points[joint.a].position, points[joint.b].position,
                                       points[joint.c].position)) {
            continue;
        }
        Vec3 fa;
        Vec3 fc;
        if (RightAngleJoint::forces(points[joint.a].position, points[joint.b].position,
                                    points[joint.c].position, fa, fc)) {
            points[joint.a].force = points[joint.a].force + fa;
            points[joint.c].force = points[joint.c].force + fc;
            points[joint.b].force = points[joint.b].force - (fa + fc);
        }
    }
}

void PackedStep::findTangents(const Wheel& wheel, Tangent* tangents, float* denominators) {
    // Tangents as Wheel::applyTorque computes them: axis x (rim - hubB). A
    // rim particle on the axle line gets a NaN denominator, so that no
    // factor passes the test of the torque passes.
    const int rimCount = wheel.rimCount;
    const Vec3 hub = points[wheel.hubB].position;
    const Vec3 axis = points[wheel.hubA].position - hub;
    const float noTangent = std::numeric_limits<float>::quiet_NaN();
    const __m128 hub4 = load(points[wheel.hubB].position);
    const __m128 ax = _mm_set1_ps(axis.x);
    const __m128 ay = _mm_set1_ps(axis.y);
    const __m128 az = _mm_set1_ps(axis.z);
    const __m128 count = _mm_set1_ps(static_cast<float>(rimCount));
    int k = 0;
    for (; k + 4 <= rimCount; k += 4) {
        __m128 rx = _mm_sub_ps(load(points[wheel.rim[k]].position), hub4);
        __m128 ry = _mm_sub_ps(load(points[wheel.rim[k + 1]].position), hub4);
        __m128 rz = _mm_sub_ps(load(points[wheel.rim[k + 2]].position), hub4);
        __m128 rw = _mm_sub_ps(load(points[wheel.rim[k + 3]].position), hub4);
        _MM_TRANSPOSE4_PS(rx, ry, rz, rw);
        __m128 tx = _mm_sub_ps(_mm_mul_ps(ay, rz), _mm_mul_ps(az, ry));
        __m128 ty = _mm_sub_ps(_mm_mul_ps(az, rx), _mm_mul_ps(ax, rz));
        __m128 tz = _mm_sub_ps(_mm_mul_ps(ax, ry), _mm_mul_ps(ay, rx));
        const __m128 length = _mm_sqrt_ps(
            _mm_add_ps(_mm_add_ps(_mm_mul_ps(tx, tx), _mm_mul_ps(ty, ty)), _mm_mul_ps(tz, tz)));
        _mm_storeu_ps(denominators + k, select(_mm_cmpge_ps(length, _mm_set1_ps(FLT_MIN)),
                                               _mm_mul_ps(count, length), _mm_set1_ps(noTangent)));
        __m128 tw = _mm_setzero_ps();
        _MM_TRANSPOSE4_PS(tx, ty, tz, tw);
        store(tangents[k].tangent, tx);
        store(tangents[k + 1].tangent, ty);
        store(tangents[k + 2].tangent, tz);
        store(tangents[k + 3].tangent, tw);
    }
    for (; k < rimCount; ++k) {
        const Vec3 t = cross(axis, points[wheel.rim[k]].position - hub);
        const float length = std::sqrt(dot(t, t));
        tangents[k].tangent = t;
        denominators[k] = length >= FLT_MIN ? static_cast<float>(rimCount) * length : noTangent;
    }
}

void PackedStep::applyWheelTorques(const StepElements& world, bool firstPass) {
    const __m128 largest = _mm_set1_ps(FLT_MAX);
    const __m128 signBit = _mm_set1_ps(-0.0f);
    Tangent* tangents = rimTangents;
    float* denominators = rimDenominators;
    for (int w = 0; w < world.wheelCount; ++w) {
        Wheel& wheel = world.wheels[w];
        const float torque = wheel.evaluateTorque();
        const int rimCount = wheel.rimCount;
        if (rimCount <= 0) {
            continue;
        }
        if (firstPass) {
            findTangents(wheel, tangents, denominators);
        }
        // force += t * (T / (rimCount |t|)) on every rim particle whose
        // factor is finite, in rim order.
        const __m128 torque4 = _mm_set1_ps(torque);
        int k = 0;
        for (; k + 4 <= rimCount; k += 4) {
            const __m128 factor = _mm_div_ps(torque4, _mm_loadu_ps(denominators + k));
            const int finite =
                _mm_movemask_ps(_mm_cmple_ps(_mm_andnot_ps(signBit, factor), largest));
            const int* rim = wheel.rim + k;
            const Tangent* tangent = tangents + k;
            if (finite & 1) {
                addTangent<0>(points[rim[0]].force, tangent[0].tangent, factor);
            }
            if (finite & 2) {
                addTangent<1>(points[rim[1]].force, tangent[1].tangent, factor);
            }
            if (finite & 4) {
                addTangent<2>(points[rim[2]].force, tangent[2].tangent, factor);
            }
            if (finite & 8) {
                addTangent<3>(points[rim[3]].force, tangent[3].tangent, factor);
            }
        }
        for (; k < rimCount; ++k) {
            const float factor = torque / denominators[k];
            if (std::fabs(factor) <= FLT_MAX) {
                Vec3& force = points[wheel.rim[k]].force;
                force = force + tangents[k].tangent * factor;
            }
        }
        tangents += rimCount;
        denominators += rimCount;
    }
}

void PackedStep::correct() {
    // v + (5/12 a_new + 2/3 a - 1/12 a_prev) dt, lane by lane as
    // Particle::correct.
    const __m128 dt = _mm_set1_ps(timeStep);
    const __m128 fiveTwelfths = _mm_set1_ps(5.0f / 12.0f);
    const __m128 twoThirds = _mm_set1_ps(2.0f / 3.0f);
    const __m128 oneTwelfth = _mm_set1_ps(1.0f / 12.0f);
    const __m128 zero = _mm_setzero_ps();
    for (int i = 0; i < particleCount; ++i) {
        Point& point = points[i];
        Motion& motion = motions[i];
        const __m128 a = _mm_mul_ps(load(point.force), _mm_set1_ps(inverseMasses[i]));
        const __m128 acceleration = load(motion.acceleration);
        const __m128 change =
            _mm_sub_ps(_mm_add_ps(_mm_mul_ps(fiveTwelfths, a), _mm_mul_ps(twoThirds, acceleration)),
                       _mm_mul_ps(oneTwelfth, load(motion.previousAcceleration)));
        store(motion.velocity, _mm_add_ps(load(motion.velocity), _mm_mul_ps(change, dt)));
        store(motion.previousAcceleration, acceleration);
        store(motion.acceleration, a);
        store(point.force, zero);
    }
}
