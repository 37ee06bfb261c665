// DustSystem: emission gate and jitter, ring bookkeeping, flight and bounce.
#include "physics/DustSystem.h"

#include "physics/DustRandom.h"
#include "physics/Terrain.h"

#include <cmath>
#include <new>

namespace {

constexpr float lifeTime = 5.0f;       // s
constexpr float acceptRate = 0.3f;     // accepted offers per second of frame interval
constexpr float damping = 0.99f;       // velocity kept per update call
constexpr float gravity = 9.81f;       // m/s²
constexpr float tangentialKept = 0.4f; // share of tangential speed kept by a bounce
constexpr float normalKept = 0.13f;    // share of normal speed returned by a bounce

// A uniform value in 0..0.9999 for the drawing's shape parameters.
float randomShape() {
    return static_cast<float>(DustRandom::shared().next() % 10000) * 0.0001f;
}

// Random upward-biased jitter between -0.0005 and 0.3991 m/s.
float randomJitter() {
    return static_cast<float>(DustRandom::shared().next() % 1000) * 0.001f * 0.4f - 0.0005f;
}

} // namespace

DustSystem::DustSystem(int slots, Terrain& ground) : terrain(&ground) {
    if (slots > 0) {
        particles = new (std::nothrow) DustParticle[slots];
        if (particles) {
            capacity = slots;
        }
    }
}

DustSystem::~DustSystem() {
    release();
}

void DustSystem::release() {
    delete[] held;
    held = nullptr;
    heldLimit = 0;
    heldCount = 0;
    delete[] particles;
    particles = nullptr;
    capacity = 0;
    start = 0;
    count = 0;
}

void DustSystem::setClock(float time) {
    frameInterval = time - clock;
    clock = time;
}

bool DustSystem::restoreWindow(float clockValue, float interval, int first, int live) {
    if (!std::isfinite(clockValue) || !std::isfinite(interval) || live < 0 || live > capacity ||
        first < 0 || (capacity > 0 ? first >= capacity : first != 0)) {
        return false;
    }
    clock = clockValue;
    frameInterval = interval;
    start = first;
    count = live;
    return true;
}

bool DustSystem::hold(int heldCapacity) {
    delete[] held;
    held = nullptr;
    heldLimit = 0;
    heldCount = 0;
    if (heldCapacity <= 0) {
        return true;
    }
    held = new (std::nothrow) Offer[heldCapacity];
    if (!held) {
        return false;
    }
    heldLimit = heldCapacity;
    return true;
}

void DustSystem::releaseHeld() {
    const int total = heldCount;
    const int limit = heldLimit;
    heldLimit = 0; // emit for real below
    for (int k = 0; k < total; ++k) {
        emit(held[k].position, held[k].velocity);
    }
    heldCount = 0;
    heldLimit = limit;
}

void DustSystem::emit(Vec3 position, Vec3& velocity) {
    if (heldLimit > 0) {
        if (heldCount < heldLimit) {
            held[heldCount].position = position;
            held[heldCount].velocity = velocity;
            ++heldCount;
        }
        return;
    }
    const int r = DustRandom::shared().next() % 10000;
    if (static_cast<float>(r) * 0.0001f >= frameInterval * acceptRate) {
        return;
    }
    if (capacity <= 0) {
        return;
    }
    int slot;
    if (count < capacity) {
        slot = (start + count) % capacity;
        ++count;
    } else {
        // A full ring overwrites its oldest particle.
        slot = start;
        start = (start + 1) % capacity;
    }
    velocity.x += randomJitter();
    velocity.y += randomJitter();
    velocity.z += randomJitter();
    DustParticle& particle = particles[slot];
    particle.velocity = velocity;
    particle.position = position;
    particle.alive = true;
    particle.birthTime = clock;
    particle.shape.x = randomShape();
    particle.shape.y = randomShape();
    particle.shape.z = randomShape();
}

void DustSystem::update(float time, float dt) {
    if (capacity <= 0) {
        return;
    }
    int newStart = start;
    int newCount = count;
    for (int i = 0; i < count; ++i) {
        const int slot = (start + i) % capacity;
        DustParticle& particle = particles[slot];
        if (!particle.alive) {
            continue;
        }
        particle.position = particle.position + particle.velocity * dt;
        // Air drag per frame, independent of its length.
        particle.velocity = particle.velocity * damping;
        particle.velocity.y = particle.velocity.y - dt * gravity;
        Vec3 normal;
        const float d = terrain->query(particle.position, &normal, nullptr);
        if (d < 0.0f) {
            // Mirror above the ground, keep 40 % of the tangential velocity and
            // leave with 13 % of the normal speed.
            const float o = dot(normal, particle.velocity);
            particle.velocity = particle.velocity - normal * o;
            particle.velocity = particle.velocity * tangentialKept;
            particle.velocity = particle.velocity - normal * (normalKept * o);
            particle.position = particle.position - normal * (2.0f * d);
        }
        if (time - particle.birthTime > lifeTime) {
            // Particles sit in emission order, so an expired one takes every
            // older one with it: the window stays one contiguous run.
            newStart = (slot + 1) % capacity;
            newCount = count - (i + 1);
        }
    }
    start = newStart;
    count = newCount;
}

const DustParticle* DustSystem::view(int& slots, int& first, int& live) const {
    slots = capacity;
    first = start;
    live = count;
    return particles;
}
