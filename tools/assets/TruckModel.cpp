// TruckModel: construction of the soft-body truck and its model-file text.
#include "tools/assets/TruckModel.h"

#include <cmath>
#include <cstdio>
#include <utility>

namespace {

// Masses, in kilograms: about 32 kg in all. The drive law gives the same
// force whatever the truck weighs, so a light truck climbs steep slopes from
// a standstill and keeps going over bumps that lift a wheel (which cuts the
// drive of all four). Three quarters of the chassis weight sits on its
// lower level, which keeps the truck on its wheels when it slides sideways
// at speed.
const float rimMass = 0.04f;
const float hubMass = 0.32f;
const float chassisLowMass = 1.8f;
const float chassisHighMass = 0.6f;
const float steeringArmMass = 0.2f;

// Steering arm length behind the kingpin, m.
const float steeringArmLength = 0.25f;

// Spring stiffness (N/m) and damping (N s/m) by role, scaled with the
// masses they carry so that sqrt(k / m) and c / m, which decide whether the
// 0.5 ms step is stable, stay where they were tuned.
const float chassisStiffness = 40000.0f; // braced box: as rigid as the 0.5 ms step allows
const float chassisDamping = 40.0f;
const float mountStiffness = 24000.0f; // hubs to the chassis and the axles
const float mountDamping = 20.0f;
const float spokeStiffness = 800.0f;  // rim to hub: the tyre's give
const float spokeDamping = 24.0f;     // less lets a 3 Hz bounce ring on
const float treadStiffness = 4000.0f; // neighbours along a ring
const float treadDamping = 4.0f;
const float secondStiffness = 1200.0f; // every second particle along a ring: bending
const float secondDamping = 2.0f;
const float bandStiffness = 4000.0f; // zig-zag between the two rings
const float bandDamping = 4.0f;
// Quadratic springs (N/m^2) from each hub to the rim particles of its own
// face: negligible near the rest shape, they stiffen the tyre progressively
// as it is squashed, so a hard landing cannot fold the rim onto the hub.
const float tyreProgression = 16000.0f;

// Chassis stations along z (m from the start position), front to back; the
// second and fourth carry the axles. The third sits half a metre behind the
// front axle: its high nodes are the steering joints' reference (see
// mountWheels).
const float stationZ[TruckModel::stationCount] = {-1.6f, TruckModel::frontAxleZ, -0.6f,
                                                  TruckModel::rearAxleZ, 2.65f};
const int frontStation = 1;
const int middleStation = 2;
const int rearStation = 3;

const double pi = 3.14159265358979323846;

} // namespace

TruckModel::TruckModel() {
    for (int wheel = 0; wheel < 4; ++wheel) {
        buildWheel(wheel);
    }
    buildChassis();
    buildSteeringArms();
    mountWheels();
    buildSurface();
}

void TruckModel::addSurfaceTriangle(int a, int b, int c, const Vec3& inside) {
    const Vec3& pa = particleList[a].position;
    const Vec3 normal = cross(particleList[b].position - pa, particleList[c].position - pa);
    const Vec3 centre = (pa + particleList[b].position + particleList[c].position) * (1.0f / 3.0f);
    if (dot(normal, centre - inside) < 0.0f) {
        std::swap(b, c);
    }
    surfaceList.push_back(JointRecord{a, b, c});
}

void TruckModel::buildSurface() {
    // The chassis box: its four long faces between neighbouring stations and
    // its two ends. Every face of it is convex about its centre.
    Vec3 centre;
    for (int s = 0; s < stationCount; ++s) {
        for (int side = 0; side < 2; ++side) {
            for (int level = 0; level < 2; ++level) {
                centre = centre + particleList[chassisNode[s][side][level]].position;
            }
        }
    }
    centre = centre * (1.0f / (stationCount * 4));
    auto quad = [&](int a, int b, int c, int d, const Vec3& inside) {
        addSurfaceTriangle(a, b, c, inside);
        addSurfaceTriangle(a, c, d, inside);
    };
    for (int s = 0; s + 1 < stationCount; ++s) {
        for (int side = 0; side < 2; ++side) {
            quad(chassisNode[s][side][0], chassisNode[s + 1][side][0], chassisNode[s + 1][side][1],
                 chassisNode[s][side][1], centre);
        }
        for (int level = 0; level < 2; ++level) {
            quad(chassisNode[s][0][level], chassisNode[s + 1][0][level],
                 chassisNode[s + 1][1][level], chassisNode[s][1][level], centre);
        }
    }
    for (int s : {0, stationCount - 1}) {
        quad(chassisNode[s][0][0], chassisNode[s][1][0], chassisNode[s][1][1], chassisNode[s][0][1],
             centre);
    }
    // Each wheel: the tread between its two staggered rings, and a fan from
    // each hub to the ring on its face.
    for (const WheelRecord& wheel : wheelList) {
        const Vec3 middle =
            (particleList[wheel.hubA].position + particleList[wheel.hubB].position) * 0.5f;
        const int* ring[2] = {&wheel.rim[0], &wheel.rim[rimPerRing]};
        for (int k = 0; k < rimPerRing; ++k) {
            const int next = (k + 1) % rimPerRing;
            addSurfaceTriangle(ring[0][k], ring[0][next], ring[1][k], middle);
            addSurfaceTriangle(ring[1][k], ring[0][next], ring[1][next], middle);
        }
        for (int r = 0; r < 2; ++r) {
            const float x = particleList[ring[r][0]].position.x;
            const int hub = std::fabs(particleList[wheel.hubA].position.x - x) <
                                    std::fabs(particleList[wheel.hubB].position.x - x)
                                ? wheel.hubA
                                : wheel.hubB;
            for (int k = 0; k < rimPerRing; ++k) {
                addSurfaceTriangle(hub, ring[r][k], ring[r][(k + 1) % rimPerRing], middle);
            }
        }
    }
}

int TruckModel::addParticle(const Vec3& position, float mass) {
    particleList.push_back(ParticleRecord{position, mass});
    return static_cast<int>(particleList.size()) - 1;
}

void TruckModel::addSpring(int a, int b, float stiffness, float damping, Part part) {
    springList.push_back(SpringRecord{a, b, stiffness, damping, part});
}

TruckModel::PartLimits TruckModel::limitsOf(Part part) {
    switch (part) {
    case Part::tyre:
        // Rubber: flexes far and springs back; only a tyre torn apart fails.
        return PartLimits{0.30f, 0.05f, 0.70f};
    case Part::axle:
        // Hubs, mounts and the steering: forged, they hardly bend.
        return PartLimits{0.05f, 0.02f, 0.35f};
    case Part::frame:
        // The lower frame between the axles: stiff, bends only in a hard hit.
        return PartLimits{0.03f, 0.05f, 0.30f};
    case Part::body:
        // Cab and bed panels over the frame: they dent.
        return PartLimits{0.012f, 0.10f, 0.35f};
    case Part::bumper:
    default:
        // Ahead of the front axle and behind the rear one: they give first.
        return PartLimits{0.006f, 0.15f, 0.40f};
    }
}

void TruckModel::buildWheel(int wheel) {
    const Vec3 start = startPosition();
    const float side = (wheel == 0 || wheel == 2) ? -1.0f : 1.0f; // left wheels at -x
    const float axleZ = start.z + (wheel < 2 ? frontAxleZ : rearAxleZ);
    const Vec3 inner(side * innerHubX, hubHeight, axleZ);
    const Vec3 outer(side * (innerHubX + wheelWidth), hubHeight, axleZ);

    // Front groups start with the outer hub, rear groups with the inner one:
    // the wheel mesh's outer face then matches the outer hub on all four.
    const bool outerFirst = wheel < 2;
    const Vec3 first = outerFirst ? outer : inner;
    const Vec3 second = outerFirst ? inner : outer;
    const int base = static_cast<int>(particleList.size());
    const int firstHub = addParticle(first, hubMass);
    const int secondHub = addParticle(second, hubMass);
    hubs[wheel][0] = outerFirst ? secondHub : firstHub;
    hubs[wheel][1] = outerFirst ? firstHub : secondHub;

    // Two rings, staggered by half a step and turned so that one particle of
    // each sits 5.625 degrees either side of the lowest point: the wheel
    // starts in two-point contact and settles without creeping.
    const double step = 2.0 * pi / rimPerRing;
    const double firstAngle = -0.5 * pi - 0.25 * step;
    for (int ring = 0; ring < 2; ++ring) {
        const Vec3& face = ring == 0 ? first : second;
        for (int k = 0; k < rimPerRing; ++k) {
            double angle = firstAngle + k * step + ring * 0.5 * step;
            Vec3 p(face.x, static_cast<float>(hubHeight + wheelRadius * std::sin(angle)),
                   static_cast<float>(axleZ + wheelRadius * std::cos(angle)));
            addParticle(p, rimMass);
        }
    }

    auto ringParticle = [&](int ring, int k) {
        return base + 2 + ring * rimPerRing + ((k % rimPerRing) + rimPerRing) % rimPerRing;
    };
    for (int ring = 0; ring < 2; ++ring) {
        for (int k = 0; k < rimPerRing; ++k) {
            int p = ringParticle(ring, k);
            addSpring(firstHub, p, spokeStiffness, spokeDamping, Part::tyre);
            addSpring(secondHub, p, spokeStiffness, spokeDamping, Part::tyre);
            addSpring(p, ringParticle(ring, k + 1), treadStiffness, treadDamping, Part::tyre);
            addSpring(p, ringParticle(ring, k + 2), secondStiffness, secondDamping, Part::tyre);
        }
    }
    for (int k = 0; k < rimPerRing; ++k) {
        addSpring(ringParticle(0, k), ringParticle(1, k), bandStiffness, bandDamping, Part::tyre);
        addSpring(ringParticle(1, k), ringParticle(0, k + 1), bandStiffness, bandDamping,
                  Part::tyre);
    }
    addSpring(firstHub, secondHub, mountStiffness, mountDamping, Part::axle);
    for (int ring = 0; ring < 2; ++ring) {
        const int hub = ring == 0 ? firstHub : secondHub;
        for (int k = 0; k < rimPerRing; ++k) {
            quadraticList.push_back(
                QuadraticSpringRecord{hub, ringParticle(ring, k), tyreProgression});
        }
    }

    WheelRecord record;
    bool firstIsLeft = first.x < second.x;
    record.hubA = firstIsLeft ? firstHub : secondHub;
    record.hubB = firstIsLeft ? secondHub : firstHub;
    for (int i = 0; i < 2 * rimPerRing; ++i) {
        record.rim.push_back(base + 2 + i);
    }
    wheelList.push_back(record);
}

void TruckModel::buildChassis() {
    const Vec3 start = startPosition();
    for (int s = 0; s < stationCount; ++s) {
        for (int side = 0; side < 2; ++side) {
            for (int level = 0; level < 2; ++level) {
                chassisNode[s][side][level] = -1;
            }
        }
    }
    auto nodeMass = [](int level) { return level == 0 ? chassisLowMass : chassisHighMass; };
    auto nodePosition = [&](int s, int side, int level) {
        return Vec3(side == 0 ? -innerHubX : innerHubX, level == 0 ? chassisLowY : chassisHighY,
                    start.z + stationZ[s]);
    };
    // The four body-fit nodes come first (particles 136 to 139), spread over
    // both levels, both sides and both axles so they are far from coplanar.
    const int fitNodes[4][3] = {{rearStation, 1, 1},   // 136: beside wheel 3, high
                                {frontStation, 1, 0},  // 137: beside wheel 1, low
                                {rearStation, 0, 0},   // 138: beside wheel 2, low
                                {frontStation, 0, 1}}; // 139: beside wheel 0, high
    for (const auto& node : fitNodes) {
        chassisNode[node[0]][node[1]][node[2]] =
            addParticle(nodePosition(node[0], node[1], node[2]), nodeMass(node[2]));
    }
    for (int s = 0; s < stationCount; ++s) {
        for (int side = 0; side < 2; ++side) {
            for (int level = 0; level < 2; ++level) {
                if (chassisNode[s][side][level] < 0) {
                    chassisNode[s][side][level] =
                        addParticle(nodePosition(s, side, level), nodeMass(level));
                }
            }
        }
    }

    auto brace = [&](int a, int b, Part part) {
        addSpring(a, b, chassisStiffness, chassisDamping, part);
    };
    // The end stations and the bays out to them are the bumpers; between the
    // axles the low level and the posts are the frame, the rest the body.
    auto endStation = [](int s) { return s == 0 || s == stationCount - 1; };
    for (int s = 0; s < stationCount; ++s) {
        const auto& n = chassisNode[s];
        const Part low = endStation(s) ? Part::bumper : Part::frame;
        const Part high = endStation(s) ? Part::bumper : Part::body;
        brace(n[0][0], n[1][0], low); // cross members
        brace(n[0][1], n[1][1], high);
        brace(n[0][0], n[0][1], low); // posts
        brace(n[1][0], n[1][1], low);
        brace(n[0][0], n[1][1], low); // cross diagonals
        brace(n[1][0], n[0][1], low);
    }
    for (int s = 0; s + 1 < stationCount; ++s) {
        const auto& n = chassisNode[s];
        const auto& m = chassisNode[s + 1];
        const bool end = endStation(s) || endStation(s + 1);
        const Part low = end ? Part::bumper : Part::frame;
        const Part high = end ? Part::bumper : Part::body;
        for (int side = 0; side < 2; ++side) {
            brace(n[side][0], m[side][0], low); // rails
            brace(n[side][1], m[side][1], high);
            brace(n[side][0], m[side][1], high); // side face diagonals
            brace(n[side][1], m[side][0], high);
        }
        for (int level = 0; level < 2; ++level) {
            brace(n[0][level], m[1][level], level == 0 ? low : high); // floor and top diagonals
            brace(n[1][level], m[0][level], level == 0 ? low : high);
        }
    }
}

void TruckModel::buildSteeringArms() {
    // Each front wheel carries an arm behind its kingpin, angled inwards so
    // that its line from the kingpin points at the middle of the rear axle.
    // A tie rod between the two arms then turns the inner wheel further than
    // the outer one (Ackermann), and the front wheels roll on circles about a
    // common centre instead of scrubbing against each other.
    const Vec3 start = startPosition();
    const float wheelbase = rearAxleZ - frontAxleZ;
    const float inward = steeringArmLength * innerHubX / wheelbase;
    for (int wheel = 0; wheel < 2; ++wheel) {
        const float side = wheel == 0 ? -1.0f : 1.0f;
        Vec3 arm(side * (innerHubX - inward), hubHeight, start.z + frontAxleZ + steeringArmLength);
        steeringArm[wheel] = addParticle(arm, steeringArmMass);
    }
}

void TruckModel::mountWheels() {
    for (int wheel = 0; wheel < 4; ++wheel) {
        const int side = (wheel == 0 || wheel == 2) ? 0 : 1;
        const int other = 1 - side;
        const bool front = wheel < 2;
        const int s = front ? frontStation : rearStation;
        const int inner = hubs[wheel][0];
        const int outer = hubs[wheel][1];
        auto mount = [&](int a, int b) {
            addSpring(a, b, mountStiffness, mountDamping, Part::axle);
        };

        // The inner hub is held in all three directions: up to the node
        // above it, fore and aft to the low nodes of the neighbouring
        // stations, across to the low node on the other side.
        mount(inner, chassisNode[s][side][1]);
        // The axle stays square to the vertical post above the inner hub
        // (no camber). On the front wheels the post is the kingpin line, so
        // this does not hinder the steering.
        rightAngleList.push_back(JointRecord{outer, inner, chassisNode[s][side][1]});
        mount(inner, chassisNode[s - 1][side][0]);
        mount(inner, chassisNode[s + 1][side][0]);
        mount(inner, chassisNode[s][other][0]);
        if (front) {
            // Front: the outer hub and the steering arm hang only from points
            // on the vertical line through the inner hub (the kingpin), so
            // the wheel is free to swing about that line; the arm is held
            // rigidly to the axle, and the tie rod couples the two arms.
            const int arm = steeringArm[wheel];
            mount(outer, chassisNode[s][side][1]);
            mount(outer, chassisNode[s][side][0]);
            mount(arm, chassisNode[s][side][1]);
            mount(arm, chassisNode[s][side][0]);
            mount(arm, inner);
            mount(arm, outer);
        } else {
            // Rear axles also stay square to the rail ahead (no toe).
            rightAngleList.push_back(JointRecord{outer, inner, chassisNode[s - 1][side][0]});
            mount(outer, chassisNode[s][side][1]);
            mount(outer, chassisNode[s - 1][side][0]);
            mount(outer, chassisNode[s + 1][side][0]);
        }
    }
    addSpring(steeringArm[0], steeringArm[1], mountStiffness, mountDamping, Part::axle); // tie rod
    // Steering: corner at the inner hub, arm to the outer hub, reference to
    // the high chassis node behind on the same side. A positive target opens
    // the angle past 90 degrees, swinging the left wheel's outer hub forward;
    // the right joint gets the negated target and swings its outer hub back,
    // so both wheels turn to the right. The reference lies 46 degrees above
    // the horizontal seen from the hub, so the joint sees the wheel's turn
    // foreshortened by cos 46 degrees: the targets' range of +-0.6 then
    // gives about 60 degrees of lock instead of 37, and a turning circle
    // about 6 m across at low speed.
    for (int wheel = 0; wheel < 2; ++wheel) {
        int side = wheel == 0 ? 0 : 1;
        angleList.push_back(
            JointRecord{hubs[wheel][1], hubs[wheel][0], chassisNode[middleStation][side][1]});
    }
}

std::string TruckModel::toText() const {
    std::string text;
    char line[160];
    auto put = [&](const char* format, auto... values) {
        std::snprintf(line, sizeof line, format, values...);
        text += line;
    };
    // %.9g writes every float so that it reads back to the same float.
    put("%d\n", static_cast<int>(particleList.size()));
    for (const ParticleRecord& p : particleList) {
        put("%.9g %.9g %.9g %.9g\n", p.position.x, p.position.y, p.position.z, p.mass);
    }
    put("%d\n", static_cast<int>(springList.size()));
    for (const SpringRecord& s : springList) {
        put("%d %d %.9g %.9g\n", s.a, s.b, s.stiffness, s.damping);
    }
    put("%d\n", static_cast<int>(wheelList.size()));
    for (const WheelRecord& w : wheelList) {
        put("%d %d %d", w.hubA, w.hubB, static_cast<int>(w.rim.size()));
        for (int p : w.rim) {
            put(" %d", p);
        }
        text += "\n";
    }
    put("%d\n", static_cast<int>(rightAngleList.size()));
    for (const JointRecord& j : rightAngleList) {
        put("%d %d %d\n", j.a, j.b, j.c);
    }
    put("%d\n", static_cast<int>(angleList.size()));
    for (const JointRecord& j : angleList) {
        put("%d %d %d\n", j.a, j.b, j.c);
    }
    put("%d\n", static_cast<int>(quadraticList.size()));
    for (const QuadraticSpringRecord& q : quadraticList) {
        put("%d %d %.9g\n", q.a, q.b, q.stiffness);
    }
    // Damage: one record per run of springs of the same part; the tyres'
    // quadratic springs take damage as the tyres do.
    std::vector<std::string> records;
    for (size_t first = 0; first < springList.size();) {
        size_t last = first;
        while (last + 1 < springList.size() &&
               springList[last + 1].part == springList[first].part) {
            ++last;
        }
        const PartLimits l = limitsOf(springList[first].part);
        std::snprintf(line, sizeof line, "spring %d %d %g %g %g\n", static_cast<int>(first),
                      static_cast<int>(last), l.yieldStrain, l.plasticStrain, l.breakStrain);
        records.push_back(line);
        first = last + 1;
    }
    if (!quadraticList.empty()) {
        const PartLimits l = limitsOf(Part::tyre);
        std::snprintf(line, sizeof line, "quadratic 0 %d %g %g %g\n",
                      static_cast<int>(quadraticList.size()) - 1, l.yieldStrain, l.plasticStrain,
                      l.breakStrain);
        records.push_back(line);
    }
    put("damage %d\n", static_cast<int>(records.size()));
    for (const std::string& record : records) {
        text += record;
    }
    put("surface %d\n", static_cast<int>(surfaceList.size()));
    for (const JointRecord& t : surfaceList) {
        put("%d %d %d\n", t.a, t.b, t.c);
    }
    return text;
}

float TruckModel::totalMass() const {
    double sum = 0.0;
    for (const ParticleRecord& p : particleList) {
        sum += p.mass;
    }
    return static_cast<float>(sum);
}

float TruckModel::worstStiffnessRatio() const {
    std::vector<double> stiffness(particleList.size(), 0.0);
    for (const SpringRecord& s : springList) {
        stiffness[s.a] += s.stiffness;
        stiffness[s.b] += s.stiffness;
    }
    double worst = 0.0;
    for (size_t i = 0; i < particleList.size(); ++i) {
        worst = std::fmax(worst, std::sqrt(stiffness[i] / particleList[i].mass) * 0.0005);
    }
    return static_cast<float>(worst);
}

float TruckModel::worstDampingRatio() const {
    std::vector<double> damping(particleList.size(), 0.0);
    for (const SpringRecord& s : springList) {
        damping[s.a] += s.damping;
        damping[s.b] += s.damping;
    }
    double worst = 0.0;
    for (size_t i = 0; i < particleList.size(); ++i) {
        worst = std::fmax(worst, damping[i] * 0.0005 / particleList[i].mass);
    }
    return static_cast<float>(worst);
}

bool TruckModel::validate(std::string& reason) const {
    const int n = static_cast<int>(particleList.size());
    auto inRange = [n](int i) { return i >= 0 && i < n; };
    for (int i = 0; i < n; ++i) {
        if (!(particleList[i].mass > 0.0f)) {
            reason = "particle " + std::to_string(i) + " has no mass";
            return false;
        }
    }
    for (size_t i = 0; i < springList.size(); ++i) {
        if (!inRange(springList[i].a) || !inRange(springList[i].b) ||
            springList[i].a == springList[i].b) {
            reason = "spring " + std::to_string(i) + " names a bad particle";
            return false;
        }
    }
    for (size_t i = 0; i < wheelList.size(); ++i) {
        const WheelRecord& w = wheelList[i];
        bool ok = inRange(w.hubA) && inRange(w.hubB) && !w.rim.empty();
        for (int p : w.rim) {
            ok = ok && inRange(p);
        }
        if (!ok) {
            reason = "wheel " + std::to_string(i) + " names a bad particle or has no rim";
            return false;
        }
    }
    for (const auto* list : {&rightAngleList, &angleList}) {
        for (const JointRecord& j : *list) {
            if (!inRange(j.a) || !inRange(j.b) || !inRange(j.c)) {
                reason = "joint names a bad particle";
                return false;
            }
        }
    }
    for (const QuadraticSpringRecord& q : quadraticList) {
        if (!inRange(q.a) || !inRange(q.b)) {
            reason = "quadratic spring names a bad particle";
            return false;
        }
    }
    if (n < bodyFitFirst + 4 || wheelList.size() < 4 || angleList.size() < 2) {
        reason = "fewer particles, wheels or angle joints than the program reads";
        return false;
    }
    return true;
}
