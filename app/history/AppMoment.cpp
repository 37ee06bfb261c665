// AppMoment: the application's changing state written field by field in a
// fixed order, and read back with every size and value checked before
// anything is changed.
#include "app/history/AppMoment.h"

#include "app/TruckApp.h"
#include "physics/DustRandom.h"
#include "physics/DustSystem.h"
#include "physics/MultiBodyStep.h"
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

namespace {

// Bytes of one further truck's part, before its motes and its world: the
// seconds off the grid, the ramps, the analog values, the keys, the grab
// and the dust's clocks and window.
const size_t truckFixedBytes = 4 + 3 * 4 + 3 * 4 + 3 + 512 + 4 + 3 * 4 + (4 + 4 + 4 + 4 + 4);
// Bytes of the fleet's head after truck 0: the truck count and the driven one.
const size_t fleetHeadBytes = 4 + 4;

// A truck's controls and grab, as the moment holds them.
void putControls(Writer& out, const Truck& truck) {
    out.put(truck.steeringRamp.value());
    out.put(truck.throttleRamp.value());
    out.put(truck.brakeRamp.value());
    for (int k = 0; k < analogControlCount; ++k) {
        out.put(truck.analogValue[k]);
    }
    for (int k = 0; k < analogControlCount; ++k) {
        out.put(static_cast<unsigned char>(truck.analogGiven[k] ? 1 : 0));
    }
    std::memcpy(out.at, truck.keys, sizeof(truck.keys));
    out.at += sizeof(truck.keys);
    out.put(static_cast<int32_t>(truck.grabbedParticle));
    out.put(truck.grabTarget);
}

// A truck's dust: its clocks, its window and its live motes.
void putDust(Writer& out, const DustSystem& dust) {
    int slots = 0, start = 0, count = 0;
    const DustParticle* motes = dust.view(slots, start, count);
    out.put(dust.clockTime());
    out.put(dust.interval());
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
}

void putWorld(Writer& out, PhysicsWorld& world, size_t worldBytes) {
    out.put(static_cast<uint32_t>(worldBytes));
    WorldSnapshot::save(world, out.at, worldBytes);
    out.at += worldBytes;
}

// Motes a truck's dust puts in a moment: the live ones, or with `wholeRing`
// every slot (the most it can ever put there).
int motesOf(const DustSystem& dust, bool wholeRing) {
    int slots = 0, start = 0, count = 0;
    dust.view(slots, start, count);
    return wholeRing ? slots : count;
}

int dustSlots(const DustSystem& dust) {
    return motesOf(dust, true);
}

// A truck's part of a moment as read, checked before anything is put back.
struct TruckPart {
    float offGrid = 0.0f;
    float ramps[3] = {0.0f, 0.0f, 0.0f};
    float analog[analogControlCount] = {};
    bool given[analogControlCount] = {};
    unsigned char keys[512] = {};
    int32_t grabbed = -1;
    Vec3 grabTarget;
    float dustClock = 0.0f;
    float dustInterval = 0.0f;
    int32_t slots = 0;
    int32_t start = 0;
    int32_t count = 0;
    const unsigned char* motesAt = nullptr;
    const unsigned char* worldAt = nullptr;
    uint32_t worldBytes = 0;
};

void getControls(Reader& in, TruckPart& part) {
    for (float& ramp : part.ramps) {
        ramp = in.real();
    }
    for (float& value : part.analog) {
        value = in.real();
    }
    for (bool& flag : part.given) {
        flag = in.flag();
    }
    for (unsigned char& key : part.keys) {
        key = in.flag() ? 1 : 0;
    }
    part.grabbed = in.get<int32_t>();
    part.grabTarget = in.vec();
}

// The dust's clocks and window, then its motes passed over (checked finite).
void getDust(Reader& in, TruckPart& part) {
    part.dustClock = in.real();
    part.dustInterval = in.real();
    part.slots = in.get<int32_t>();
    part.start = in.get<int32_t>();
    part.count = in.get<int32_t>();
    // The count is checked against the bytes there before the motes are
    // read: a stored ring size is not yet known to be this truck's.
    if (!in.ok || part.count < 0 || part.count > part.slots ||
        static_cast<size_t>(part.count) > static_cast<size_t>(in.end - in.at) / moteBytes) {
        in.ok = false;
        return;
    }
    part.motesAt = in.at;
    for (int i = 0; i < part.count * 10; ++i) {
        in.real();
    }
}

void getWorld(Reader& in, TruckPart& part) {
    part.worldBytes = in.get<uint32_t>();
    if (!in.ok || static_cast<size_t>(in.end - in.at) < part.worldBytes) {
        in.ok = false;
        return;
    }
    part.worldAt = in.at;
    in.at += part.worldBytes;
}

// Whether a part fits the truck it is to go back into.
bool partFits(const TruckPart& part, const Truck& truck) {
    return part.slots == dustSlots(*truck.dust) && part.start >= 0 &&
           (part.slots > 0 ? part.start < part.slots : part.start == 0) && part.grabbed >= -1 &&
           part.grabbed < truck.world->particleCount() &&
           WorldSnapshot::fits(*truck.world, part.worldAt, part.worldBytes);
}

// Puts a checked part back into its truck.
void putBack(const TruckPart& part, Truck& truck) {
    WorldSnapshot::restore(*truck.world, part.worldAt, part.worldBytes);
    truck.dust->restoreWindow(part.dustClock, part.dustInterval, part.start, part.count);
    DustParticle* motes = truck.dust->particleSlots();
    Reader moteReader{part.motesAt, part.motesAt + moteBytes * static_cast<size_t>(part.count)};
    for (int i = 0; i < part.count; ++i) {
        DustParticle& mote = motes[(part.start + i) % part.slots];
        mote.position = moteReader.vec();
        mote.velocity = moteReader.vec();
        mote.birthTime = moteReader.real();
        mote.shape = moteReader.vec();
        mote.alive = true;
    }
    truck.offGridSeconds = part.offGrid;
    truck.steeringRamp.setValue(part.ramps[0]);
    truck.throttleRamp.setValue(part.ramps[1]);
    truck.brakeRamp.setValue(part.ramps[2]);
    for (int k = 0; k < analogControlCount; ++k) {
        truck.analogValue[k] = part.analog[k];
        truck.analogGiven[k] = part.given[k];
    }
    std::memcpy(truck.keys, part.keys, sizeof(part.keys));
    truck.grabbedParticle = part.grabbed;
    truck.grabTarget = part.grabTarget;
}

bool fleetReady(const TruckApp& app) {
    for (int k = 0; k < app.truckCount(); ++k) {
        if (app.fleet[k] == nullptr || app.fleet[k]->world == nullptr ||
            app.fleet[k]->dust == nullptr) {
            return false;
        }
    }
    return true;
}

// The bytes of a moment of `app` as it is now, or with every dust slot live.
// With one truck a moment is exactly what it always was; with several, the
// truck count, the driven truck and every further truck's part follow truck
// 0's world.
size_t momentBytes(TruckApp& app, bool wholeRing) {
    size_t total = fixedBytes + moteBytes * static_cast<size_t>(motesOf(*app.dust, wholeRing)) + 4 +
                   WorldSnapshot::bytes(*app.world);
    if (app.truckCount() > 1) {
        total += fleetHeadBytes;
        for (int k = 1; k < app.truckCount(); ++k) {
            const Truck& truck = *app.fleet[k];
            total += truckFixedBytes +
                     moteBytes * static_cast<size_t>(motesOf(*truck.dust, wholeRing)) + 4 +
                     WorldSnapshot::bytes(*truck.world);
        }
    }
    return total;
}

} // namespace

size_t AppMoment::capacity(TruckApp& app) {
    return fleetReady(app) ? momentBytes(app, true) : 0;
}

size_t AppMoment::save(TruckApp& app, unsigned char* buffer, size_t bufferSize) {
    if (!fleetReady(app)) {
        return 0;
    }
    const size_t worldBytes = WorldSnapshot::bytes(*app.world);
    const size_t size = momentBytes(app, false);
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
    putControls(out, app.first);
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
    putDust(out, *app.dust);
    putWorld(out, *app.world, worldBytes);
    if (app.truckCount() > 1) {
        out.put(static_cast<int32_t>(app.truckCount()));
        out.put(static_cast<int32_t>(app.selectedTruck()));
        for (int k = 1; k < app.truckCount(); ++k) {
            Truck& truck = *app.fleet[k];
            out.put(truck.offGridSeconds);
            putControls(out, truck);
            putDust(out, *truck.dust);
            putWorld(out, *truck.world, WorldSnapshot::bytes(*truck.world));
        }
    }
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
    if (buffer == nullptr || !fleetReady(app)) {
        return false;
    }
    Reader in{buffer, buffer + size};
    // Everything is read into locals and checked first.
    const uint64_t model = in.get<uint64_t>();
    const uint64_t ground = in.get<uint64_t>();
    const float simTime = in.real();
    const float clockTime = in.real();
    in.get<double>();
    TruckPart parts[TruckApp::maxTrucks];
    TruckPart& first = parts[0];
    first.offGrid = in.real();
    getControls(in, first);
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
    getDust(in, first);
    getWorld(in, first);
    const int trucks = app.truckCount();
    int selected = 0;
    if (trucks > 1) {
        const int32_t stored = in.get<int32_t>();
        selected = in.get<int32_t>();
        in.ok = in.ok && stored == trucks && selected >= 0 && selected < trucks;
        for (int k = 1; k < trucks && in.ok; ++k) {
            TruckPart& part = parts[k];
            part.offGrid = in.real();
            getControls(in, part);
            getDust(in, part);
            getWorld(in, part);
        }
    }
    // Nothing may be left over: a moment of more trucks does not go back
    // into fewer.
    if (!in.ok || in.at != in.end || model != app.modelHash || ground != app.groundHash ||
        random.rear < 0 || random.rear >= DustRandom::degree || !TimeControl::valid(time)) {
        return false;
    }
    for (int k = 0; k < trucks; ++k) {
        if (!partFits(parts[k], *app.fleet[k])) {
            return false;
        }
    }

    app.timeControl.setState(time);
    DustRandom::shared().setState(random);
    for (int k = 0; k < trucks; ++k) {
        putBack(parts[k], *app.fleet[k]);
    }
    app.selectTruck(selected);
    // The trucks were moved from outside the step.
    if (app.multiStep != nullptr) {
        app.multiStep->forget();
    }
    app.simTime = simTime;
    app.clockTime = clockTime;
    return true;
}
