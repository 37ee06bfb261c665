// AppMoment: the application's changing state written field by field in a
// fixed order, and read back with every size and value checked before
// anything is changed.
#include "app/history/AppMoment.h"

#include "app/TruckApp.h"
#include "physics/DustRandom.h"
#include "physics/DustSystem.h"
#include "physics/PhysicsWorld.h"
#include "physics/WorldSnapshot.h"

#include <cmath>
#include <cstddef>
#include <cstring>

namespace {

// Bytes of everything before the dust motes, and of one mote: position,
// velocity, birth time and shape.
const size_t headBytes = 8 + 8 + 4 + 4 + 8;
const size_t fixedBytes = headBytes + 4 + 3 * 4 + 3 * 4 + 3 + 512 + 4 + 3 * 4 +
                          (1 + 1 + 4 + 4 * 8) + (DustRandom::degree * 4 + 4) + (4 + 4 + 4 + 4 + 4);
const size_t moteBytes = 10 * 4;
static_assert(offsetof(DustParticle, birthTime) == offsetof(DustParticle, position) + 6 * 4,
              "a mote's position, velocity and birth time follow one another");

struct Writer {
    unsigned char* at;
    template <typename T> void put(T value) {
        std::memcpy(at, &value, sizeof(T));
        at += sizeof(T);
    }
    void put(const Vec3& v) {
        put(v.x);
        put(v.y);
        put(v.z);
    }
};

// Reads within [at, end); once a read would pass the end every later read
// fails too.
struct Reader {
    const unsigned char* at;
    const unsigned char* end;
    bool ok = true;
    template <typename T> T get() {
        T value{};
        if (!ok || static_cast<size_t>(end - at) < sizeof(T)) {
            ok = false;
            return value;
        }
        std::memcpy(&value, at, sizeof(T));
        at += sizeof(T);
        return value;
    }
    float real() {
        const float v = get<float>();
        ok = ok && std::isfinite(v);
        return v;
    }
    Vec3 vec() {
        const float x = real();
        const float y = real();
        const float z = real();
        return Vec3(x, y, z);
    }
    bool flag() {
        const unsigned char v = get<unsigned char>();
        ok = ok && v <= 1;
        return v == 1;
    }
};

} // namespace

size_t AppMoment::capacity(TruckApp& app) {
    if (app.world == nullptr || app.dust == nullptr) {
        return 0;
    }
    int slots = 0, start = 0, count = 0;
    app.dust->view(slots, start, count);
    return fixedBytes + moteBytes * static_cast<size_t>(slots) + 4 +
           WorldSnapshot::bytes(*app.world);
}

size_t AppMoment::save(TruckApp& app, unsigned char* buffer, size_t bufferSize) {
    if (app.world == nullptr || app.dust == nullptr) {
        return 0;
    }
    int slots = 0, start = 0, count = 0;
    const DustParticle* motes = app.dust->view(slots, start, count);
    const size_t worldBytes = WorldSnapshot::bytes(*app.world);
    const size_t size = fixedBytes + moteBytes * static_cast<size_t>(count) + 4 + worldBytes;
    if (buffer == nullptr || bufferSize < size) {
        return 0;
    }
    Writer out{buffer};
    const TimeControl::State time = app.timeControl.state();
    out.put(app.modelHash);
    out.put(app.groundHash);
    out.put(app.simTime);
    out.put(app.clockTime);
    out.put(time.lastReal);
    out.put(app.offGridSeconds);
    out.put(app.steeringRamp.value());
    out.put(app.throttleRamp.value());
    out.put(app.brakeRamp.value());
    for (int k = 0; k < analogControlCount; ++k) {
        out.put(app.analogValue[k]);
    }
    for (int k = 0; k < analogControlCount; ++k) {
        out.put(static_cast<unsigned char>(app.analogGiven[k] ? 1 : 0));
    }
    std::memcpy(out.at, app.keys, sizeof(app.keys));
    out.at += sizeof(app.keys);
    out.put(static_cast<int32_t>(app.grabbedParticle));
    out.put(app.grabTarget);
    out.put(static_cast<unsigned char>(time.engaged ? 1 : 0));
    out.put(static_cast<unsigned char>(time.paused ? 1 : 0));
    out.put(static_cast<int32_t>(time.halvings));
    out.put(time.lastReal);
    out.put(time.lastSim);
    out.put(time.anchorReal);
    out.put(time.anchorSim);
    const DustRandom::State random = DustRandom::shared().state();
    for (uint32_t word : random.table) {
        out.put(word);
    }
    out.put(random.rear);
    out.put(app.dust->clockTime());
    out.put(app.dust->interval());
    out.put(static_cast<int32_t>(slots));
    out.put(static_cast<int32_t>(start));
    out.put(static_cast<int32_t>(count));
    for (int i = 0; i < count; ++i) {
        const DustParticle& mote = motes[(start + i) % slots];
        // Position, velocity and birth time follow one another.
        std::memcpy(out.at, &mote.position, 7 * sizeof(float));
        out.at += 7 * sizeof(float);
        out.put(mote.shape);
    }
    out.put(static_cast<uint32_t>(worldBytes));
    WorldSnapshot::save(*app.world, out.at, worldBytes);
    return size;
}

bool AppMoment::readHead(const unsigned char* buffer, size_t size, Head* head) {
    if (buffer == nullptr || size < headBytes) {
        return false;
    }
    Reader in{buffer, buffer + size};
    head->modelHash = in.get<uint64_t>();
    head->groundHash = in.get<uint64_t>();
    head->simTime = in.get<float>();
    head->clockTime = in.get<float>();
    head->frameTime = in.get<double>();
    return in.ok;
}

bool AppMoment::restore(TruckApp& app, const unsigned char* buffer, size_t size) {
    if (buffer == nullptr || app.world == nullptr || app.dust == nullptr) {
        return false;
    }
    Reader in{buffer, buffer + size};
    // Everything is read into locals and checked first.
    const uint64_t model = in.get<uint64_t>();
    const uint64_t ground = in.get<uint64_t>();
    const float simTime = in.real();
    const float clockTime = in.real();
    in.get<double>();
    const float offGrid = in.real();
    float ramps[3];
    for (float& ramp : ramps) {
        ramp = in.real();
    }
    float analog[analogControlCount];
    bool given[analogControlCount];
    for (float& value : analog) {
        value = in.real();
    }
    for (bool& flag : given) {
        flag = in.flag();
    }
    unsigned char keys[sizeof(app.keys)];
    for (unsigned char& key : keys) {
        key = in.flag() ? 1 : 0;
    }
    const int32_t grabbed = in.get<int32_t>();
    const Vec3 grabTarget = in.vec();
    TimeControl::State time;
    time.engaged = in.flag();
    time.paused = in.flag();
    time.halvings = in.get<int32_t>();
    time.lastReal = in.get<double>();
    time.lastSim = in.get<double>();
    time.anchorReal = in.get<double>();
    time.anchorSim = in.get<double>();
    DustRandom::State random;
    for (uint32_t& word : random.table) {
        word = in.get<uint32_t>();
    }
    random.rear = in.get<int32_t>();
    const float dustClock = in.real();
    const float dustInterval = in.real();
    const int32_t slots = in.get<int32_t>();
    const int32_t start = in.get<int32_t>();
    const int32_t count = in.get<int32_t>();
    int ownSlots = 0, ownStart = 0, ownCount = 0;
    DustParticle* motes = app.dust->particleSlots();
    app.dust->view(ownSlots, ownStart, ownCount);
    if (!in.ok || model != app.modelHash || ground != app.groundHash || slots != ownSlots ||
        count < 0 || count > slots || start < 0 || (slots > 0 && start >= slots) || grabbed < -1 ||
        grabbed >= app.world->particleCount() || random.rear < 0 ||
        random.rear >= DustRandom::degree) {
        return false;
    }
    const unsigned char* moteBytesAt = in.at;
    for (int i = 0; i < count * 10; ++i) {
        in.real();
    }
    const uint32_t worldBytes = in.get<uint32_t>();
    if (!in.ok || static_cast<size_t>(in.end - in.at) != worldBytes || !TimeControl::valid(time)) {
        return false;
    }
    // The world checks its own part and is the one step that can still fail.
    if (!WorldSnapshot::restore(*app.world, in.at, worldBytes)) {
        return false;
    }

    app.timeControl.setState(time);
    DustRandom::shared().setState(random);
    app.dust->restoreWindow(dustClock, dustInterval, start, count);
    Reader moteReader{moteBytesAt, in.at};
    for (int i = 0; i < count; ++i) {
        DustParticle& mote = motes[(start + i) % slots];
        mote.position = moteReader.vec();
        mote.velocity = moteReader.vec();
        mote.birthTime = moteReader.real();
        mote.shape = moteReader.vec();
        mote.alive = true;
    }
    app.simTime = simTime;
    app.clockTime = clockTime;
    app.offGridSeconds = offGrid;
    app.steeringRamp.setValue(ramps[0]);
    app.throttleRamp.setValue(ramps[1]);
    app.brakeRamp.setValue(ramps[2]);
    for (int k = 0; k < analogControlCount; ++k) {
        app.analogValue[k] = analog[k];
        app.analogGiven[k] = given[k];
    }
    std::memcpy(app.keys, keys, sizeof(keys));
    app.grabbedParticle = grabbed;
    app.grabTarget = grabTarget;
    return true;
}
