// WorldSnapshot: the world's changing state in a fixed order of plain
// values: counts, then particle by particle, element array by element array.
#include "physics/WorldSnapshot.h"

#include "physics/PhysicsWorld.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

// Floats per particle: position, velocity, acceleration, previous
// acceleration and force.
const size_t particleFloats = 15;
// Per spring and per quadratic spring: rest and previous length.
const size_t springFloats = 2;
// Per wheel: drive, brake seed, spin.
const size_t wheelFloats = 3;
// The fields that follow one another in the records and are copied as one
// block each, in the order listed above: a particle's velocity, both
// accelerations and force; a spring's rest and previous length; a wheel's
// drive, brake seed and spin.
const size_t motionBytes = 4 * sizeof(Vec3);
const size_t lengthBytes = 2 * sizeof(float);
const size_t wheelBytes = 3 * sizeof(float);
static_assert(sizeof(Vec3) == 3 * sizeof(float), "a Vec3 is three floats");
static_assert(offsetof(Particle, force) == offsetof(Particle, velocity) + 3 * sizeof(Vec3),
              "velocity, acceleration, previousAcceleration and force follow one another");
static_assert(offsetof(Spring, previousLength) == offsetof(Spring, restLength) + sizeof(float),
              "restLength and previousLength follow one another");
static_assert(offsetof(QuadraticSpring, previousLength) ==
                  offsetof(QuadraticSpring, restLength) + sizeof(float),
              "restLength and previousLength follow one another");
static_assert(offsetof(Wheel, spinRate) == offsetof(Wheel, drive) + 2 * sizeof(float),
              "drive, brake and spinRate follow one another");
// The grab: the particle (an int) and the target.
const size_t grabBytes = sizeof(int32_t) + 3 * sizeof(float);

struct Counts {
    int32_t value[WorldSnapshot::countFields];
};

Counts countsOf(PhysicsWorld& world) {
    Counts c;
    c.value[0] = world.particleCount();
    c.value[1] = world.springCount();
    c.value[2] = world.quadraticSpringCount();
    c.value[3] = world.wheelCount();
    c.value[4] = world.angleJointCount();
    c.value[5] = world.rightAngleJointCount();
    return c;
}

size_t floatsOf(const Counts& c) {
    return particleFloats * static_cast<size_t>(c.value[0]) +
           springFloats * static_cast<size_t>(c.value[1]) +
           springFloats * static_cast<size_t>(c.value[2]) +
           wheelFloats * static_cast<size_t>(c.value[3]) + static_cast<size_t>(c.value[4]);
}

// Sequential writes and reads of plain values.
struct Writer {
    unsigned char* at;
    template <typename T> void put(const T& value) {
        std::memcpy(at, &value, sizeof(T));
        at += sizeof(T);
    }
    void put(const Vec3& v) {
        put(v.x);
        put(v.y);
        put(v.z);
    }
    void block(const void* from, size_t size) {
        std::memcpy(at, from, size);
        at += size;
    }
};

struct Reader {
    const unsigned char* at;
    template <typename T> T get() {
        T value;
        std::memcpy(&value, at, sizeof(T));
        at += sizeof(T);
        return value;
    }
    void block(void* to, size_t size) {
        std::memcpy(to, at, size);
        at += size;
    }
    Vec3 vec() {
        const float x = get<float>();
        const float y = get<float>();
        const float z = get<float>();
        return Vec3(x, y, z);
    }
};

bool finiteAt(const unsigned char* at) {
    float v;
    std::memcpy(&v, at, sizeof(v));
    return std::isfinite(v);
}

// With damage on, the damage records too: the flowed and broken state of
// every spring and quadratic spring and the torn joints, copied whole (the
// records are flat and their limits fixed at load, so this is a small copy).
size_t damageBytes(PhysicsWorld& world) {
    if (!world.damageEnabled()) {
        return 0;
    }
    return sizeof(SpringDamage) *
               static_cast<size_t>(world.springCount() + world.quadraticSpringCount()) +
           sizeof(JointDamage) *
               static_cast<size_t>(world.angleJointCount() + world.rightAngleJointCount());
}

} // namespace

size_t WorldSnapshot::bytes(PhysicsWorld& world) {
    return sizeof(Counts) + floatsOf(countsOf(world)) * sizeof(float) + grabBytes +
           damageBytes(world);
}

size_t WorldSnapshot::save(PhysicsWorld& world, unsigned char* buffer, size_t capacity) {
    const size_t size = bytes(world);
    if (buffer == nullptr || capacity < size) {
        return 0;
    }
    Writer out{buffer};
    out.put(countsOf(world));
    const Vec3* positions = world.positions();
    const Particle* particles = world.particles();
    for (int i = 0; i < world.particleCount(); ++i) {
        const Particle& p = particles[i];
        out.put(positions[i]);
        out.block(&p.velocity, motionBytes);
    }
    const Spring* springs = world.springs();
    for (int k = 0; k < world.springCount(); ++k) {
        out.block(&springs[k].restLength, lengthBytes);
    }
    const QuadraticSpring* quadratic = world.quadraticSprings();
    for (int k = 0; k < world.quadraticSpringCount(); ++k) {
        out.block(&quadratic[k].restLength, lengthBytes);
    }
    const Wheel* wheels = world.wheels();
    for (int k = 0; k < world.wheelCount(); ++k) {
        out.block(&wheels[k].drive, wheelBytes);
    }
    const AngleJoint* joints = world.angleJoints();
    for (int k = 0; k < world.angleJointCount(); ++k) {
        out.put(joints[k].target);
    }
    const GrabSpring& grab = world.grab();
    out.put(static_cast<int32_t>(grab.particle));
    out.put(grab.target);
    if (world.damageEnabled()) {
        out.block(world.springDamage(), sizeof(SpringDamage) * world.springCount());
        out.block(world.quadraticDamage(), sizeof(SpringDamage) * world.quadraticSpringCount());
        out.block(world.angleJointDamage(), sizeof(JointDamage) * world.angleJointCount());
        out.block(world.rightAngleJointDamage(),
                  sizeof(JointDamage) * world.rightAngleJointCount());
    }
    return size;
}

bool WorldSnapshot::fits(PhysicsWorld& world, const unsigned char* buffer, size_t size) {
    if (buffer == nullptr || size != bytes(world)) {
        return false;
    }
    Reader in{buffer};
    const Counts stored = in.get<Counts>();
    const Counts own = countsOf(world);
    if (std::memcmp(&stored, &own, sizeof(Counts)) != 0) {
        return false;
    }
    const size_t elementFloats = floatsOf(own);
    for (size_t k = 0; k < elementFloats; ++k) {
        if (!finiteAt(in.at + k * sizeof(float))) {
            return false;
        }
    }
    const unsigned char* grabAt = in.at + elementFloats * sizeof(float);
    int32_t grabbed;
    std::memcpy(&grabbed, grabAt, sizeof(grabbed));
    for (int k = 0; k < 3; ++k) {
        if (!finiteAt(grabAt + sizeof(int32_t) + k * sizeof(float))) {
            return false;
        }
    }
    if (grabbed < -1 || grabbed >= own.value[0]) {
        return false;
    }
    return true;
}

bool WorldSnapshot::restore(PhysicsWorld& world, const unsigned char* buffer, size_t size) {
    // Every value is checked before anything is written, so that a refused
    // snapshot leaves the world as it was.
    if (!fits(world, buffer, size)) {
        return false;
    }
    Reader in{buffer};
    const Counts own = in.get<Counts>();

    Vec3* positions = world.positions();
    Particle* particles = world.particles();
    for (int i = 0; i < own.value[0]; ++i) {
        Particle& p = particles[i];
        positions[i] = in.vec();
        in.block(&p.velocity, motionBytes);
    }
    Spring* springs = world.springs();
    for (int k = 0; k < own.value[1]; ++k) {
        in.block(&springs[k].restLength, lengthBytes);
    }
    QuadraticSpring* quadratic = world.quadraticSprings();
    for (int k = 0; k < own.value[2]; ++k) {
        in.block(&quadratic[k].restLength, lengthBytes);
    }
    Wheel* wheels = world.wheels();
    for (int k = 0; k < own.value[3]; ++k) {
        in.block(&wheels[k].drive, wheelBytes);
    }
    AngleJoint* joints = world.angleJoints();
    for (int k = 0; k < own.value[4]; ++k) {
        joints[k].target = in.get<float>();
    }
    const int32_t particle = in.get<int32_t>();
    const Vec3 target = in.vec();
    if (particle < 0) {
        world.clearGrab();
    } else {
        world.setGrab(particle, target);
    }
    if (world.damageEnabled()) {
        in.block(world.springDamage(), sizeof(SpringDamage) * own.value[1]);
        in.block(world.quadraticDamage(), sizeof(SpringDamage) * own.value[2]);
        in.block(world.angleJointDamage(), sizeof(JointDamage) * world.angleJointCount());
        in.block(world.rightAngleJointDamage(), sizeof(JointDamage) * world.rightAngleJointCount());
    }
    return true;
}
