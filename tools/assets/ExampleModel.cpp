// ExampleModel: the box on four wheels, written section by section.
#include "tools/assets/ExampleModel.h"

#include "math/Vec3.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// Where and how large, m: the same wheel places as the shipped truck, so
// that the truck's body shell and wheel meshes sit on the box; y is the
// height above the flat strip the program starts on, z runs backwards.
const float wheelRadius = 0.6f;
const float wheelWidth = 0.3f;
const float innerHubX = 1.0f; // |x| of the inner hubs and of the box's sides
const float frontAxleZ = -2.5f;
const float rearAxleZ = 0.125f;
const float hubHeight = 0.63f;
const float lowY = 0.4625f; // the box's floor
const float highY = 1.15f;  // the box's top
const int rimPerRing = 16;

// Masses, kg, and spring constants, N/m and N s/m. sqrt(sum k / m) * 0.5 ms
// stays below 0.35 for every particle.
const float rimMass = 0.04f;
const float hubMass = 0.32f;
const float lowCornerMass = 3.0f;
const float highCornerMass = 1.0f;
const float boxStiffness = 40000.0f;
const float boxDamping = 40.0f;
const float mountStiffness = 24000.0f; // hubs to the box and the axles
const float mountDamping = 20.0f;
const float spokeStiffness = 800.0f; // rim to hub: the tyre's give
const float spokeDamping = 24.0f;
const float treadStiffness = 4000.0f; // along a ring and between the rings
const float treadDamping = 4.0f;
const float tyreProgression = 16000.0f; // N/m², hub to the rim of its own face

const double pi = 3.14159265358979323846;

struct Model {
    std::vector<Vec3> positions;
    std::vector<float> masses;
    std::vector<std::vector<float>> springs; // a, b, stiffness, damping
    std::vector<std::vector<int>> wheels;    // hubA, hubB, rim...
    std::vector<std::vector<int>> rightAngles;
    std::vector<std::vector<int>> angles;
    std::vector<std::vector<float>> quadratics; // a, b, stiffness

    int add(const Vec3& p, float mass) {
        positions.push_back(p);
        masses.push_back(mass);
        return static_cast<int>(positions.size()) - 1;
    }
    void spring(int a, int b, float k, float c) {
        springs.push_back({static_cast<float>(a), static_cast<float>(b), k, c});
    }
};

// Wheel w: 0 front left, 1 front right, 2 rear left, 3 rear right. Its group
// starts with the hub on the face the wheel mesh's rim point lies on (outer
// for the front wheels, inner for the rear ones), then the other hub, then a
// ring of 16 on the first hub's face and one on the second's, staggered.
void addWheel(Model& m, int w, int hubs[2]) {
    const float side = (w == 0 || w == 2) ? -1.0f : 1.0f;
    const float z = w < 2 ? frontAxleZ : rearAxleZ;
    const Vec3 inner(side * innerHubX, hubHeight, z);
    const Vec3 outer(side * (innerHubX + wheelWidth), hubHeight, z);
    const Vec3& first = w < 2 ? outer : inner;
    const Vec3& second = w < 2 ? inner : outer;
    const int base = m.add(first, hubMass);
    m.add(second, hubMass);
    hubs[0] = w < 2 ? base + 1 : base; // inner
    hubs[1] = w < 2 ? base : base + 1; // outer
    const double step = 2.0 * pi / rimPerRing;
    for (int ring = 0; ring < 2; ++ring) {
        const float x = ring == 0 ? first.x : second.x;
        for (int k = 0; k < rimPerRing; ++k) {
            const double angle = -0.5 * pi - 0.25 * step + (k + 0.5 * ring) * step;
            m.add(Vec3(x, static_cast<float>(hubHeight + wheelRadius * std::sin(angle)),
                       static_cast<float>(z + wheelRadius * std::cos(angle))),
                  rimMass);
        }
    }
    const auto rim = [&](int ring, int k) { return base + 2 + ring * rimPerRing + k % rimPerRing; };
    std::vector<int> record;
    // hubA is the left hub: a positive drive then rolls the box towards -z.
    record.push_back(first.x < second.x ? base : base + 1);
    record.push_back(first.x < second.x ? base + 1 : base);
    for (int ring = 0; ring < 2; ++ring) {
        for (int k = 0; k < rimPerRing; ++k) {
            m.spring(base, rim(ring, k), spokeStiffness, spokeDamping);
            m.spring(base + 1, rim(ring, k), spokeStiffness, spokeDamping);
            m.spring(rim(ring, k), rim(ring, k + 1), treadStiffness, treadDamping);
            m.quadratics.push_back({static_cast<float>(base + ring),
                                    static_cast<float>(rim(ring, k)), tyreProgression});
            record.push_back(rim(ring, k));
        }
    }
    for (int k = 0; k < rimPerRing; ++k) {
        m.spring(rim(0, k), rim(1, k), treadStiffness, treadDamping);
        m.spring(rim(1, k), rim(0, k + 1), treadStiffness, treadDamping);
    }
    m.spring(base, base + 1, mountStiffness, mountDamping);
    m.wheels.push_back(record);
}

void put(std::string& text, const char* format, double a, double b, double c, double d) {
    char line[128];
    std::snprintf(line, sizeof line, format, a, b, c, d);
    text += line;
}

} // namespace

std::string ExampleModel::text() {
    Model m;
    int hubs[4][2];
    for (int w = 0; w < 4; ++w) {
        addWheel(m, w, hubs[w]);
    }
    // Box corners [axle 0 front / 1 rear][side 0 left / 1 right][level 0
    // low / 1 high]; the four the body is fitted to come first (136 to 139).
    int corner[2][2][2];
    const int order[8][3] = {{1, 1, 1}, {0, 1, 0}, {1, 0, 0}, {0, 0, 1},
                             {0, 0, 0}, {0, 1, 1}, {1, 0, 1}, {1, 1, 0}};
    for (const auto& c : order) {
        corner[c[0]][c[1]][c[2]] =
            m.add(Vec3(c[1] == 0 ? -innerHubX : innerHubX, c[2] == 0 ? lowY : highY,
                       c[0] == 0 ? frontAxleZ : rearAxleZ),
                  c[2] == 0 ? lowCornerMass : highCornerMass);
    }
    const int firstCorner = corner[1][1][1];
    for (int a = firstCorner; a < firstCorner + 8; ++a) {
        for (int b = a + 1; b < firstCorner + 8; ++b) {
            m.spring(a, b, boxStiffness, boxDamping);
        }
    }
    for (int w = 0; w < 4; ++w) {
        const int axle = w < 2 ? 0 : 1;
        const int side = (w == 0 || w == 2) ? 0 : 1;
        const int inner = hubs[w][0];
        const int outer = hubs[w][1];
        const int low = corner[axle][side][0];
        const int high = corner[axle][side][1];
        // The inner hub sits on the box's corner post, held up and down,
        // fore and aft, and across.
        m.spring(inner, low, mountStiffness, mountDamping);
        m.spring(inner, high, mountStiffness, mountDamping);
        m.spring(inner, corner[1 - axle][side][0], mountStiffness, mountDamping);
        m.spring(inner, corner[axle][1 - side][0], mountStiffness, mountDamping);
        // The outer hub hangs from the two ends of the post: a front wheel
        // can swing about the post (its kingpin); a rear wheel is also held
        // fore and aft. The right-angle joint keeps the axle square to the
        // post.
        m.spring(outer, low, mountStiffness, mountDamping);
        m.spring(outer, high, mountStiffness, mountDamping);
        m.rightAngles.push_back({outer, inner, high});
        if (axle == 1) {
            m.spring(outer, corner[0][side][0], mountStiffness, mountDamping);
        }
    }
    // Steering: the angle at the inner front hub between the axle and the
    // line to the top rear corner of its side. A positive target on joint 0
    // and its negation on joint 1 turn both front wheels to the right.
    for (int w = 0; w < 2; ++w) {
        m.angles.push_back({hubs[w][1], hubs[w][0], corner[1][w][1]});
    }

    std::string text;
    char line[64];
    std::snprintf(line, sizeof line, "%zu\n", m.positions.size());
    text += line;
    for (size_t i = 0; i < m.positions.size(); ++i) {
        put(text, "%.9g %.9g %.9g %.9g\n", m.positions[i].x, m.positions[i].y, m.positions[i].z,
            m.masses[i]);
    }
    std::snprintf(line, sizeof line, "%zu\n", m.springs.size());
    text += line;
    for (const auto& s : m.springs) {
        put(text, "%.0f %.0f %.9g %.9g\n", s[0], s[1], s[2], s[3]);
    }
    std::snprintf(line, sizeof line, "%zu\n", m.wheels.size());
    text += line;
    for (const auto& w : m.wheels) {
        std::snprintf(line, sizeof line, "%d %d %zu", w[0], w[1], w.size() - 2);
        text += line;
        for (size_t k = 2; k < w.size(); ++k) {
            text += " " + std::to_string(w[k]);
        }
        text += "\n";
    }
    for (const auto* joints : {&m.rightAngles, &m.angles}) {
        text += std::to_string(joints->size()) + "\n";
        for (const auto& j : *joints) {
            text += std::to_string(j[0]) + " " + std::to_string(j[1]) + " " + std::to_string(j[2]) +
                    "\n";
        }
    }
    std::snprintf(line, sizeof line, "%zu\n", m.quadratics.size());
    text += line;
    for (const auto& q : m.quadratics) {
        std::snprintf(line, sizeof line, "%.0f %.0f %.9g\n", q[0], q[1], q[2]);
        text += line;
    }
    return text;
}
