// WheelMesh: both wheel objects are surfaces of revolution, built as two
// half turns so that the texture seams (and the duplicated seam vertices)
// sit at angles 0 and 180 degrees, symmetric about the centre.
#include "tools/assets/WheelMesh.h"

#include "tools/assets/TruckModel.h"

#include <cmath>
#include <vector>

namespace {

const float pi = 3.14159265f;
constexpr float unitsPerMetre = 60.0f;
const int segments = 32; // around the wheel, even so 0 and 180 degrees are vertices

struct ProfilePoint {
    float radius; // scene units from the axle
    float z;      // scene units along the axle
};

// Revolves a profile about the z axis in two half turns. flip reverses the
// faces; radiusAt may vary the radius by segment k and profile point j.
void revolve(MeshBuilder& m, const std::vector<ProfilePoint>& profile, bool flip, float uRepeat,
             float (*radiusAt)(int k, int j, float radius)) {
    const int rows = static_cast<int>(profile.size()) - 1;
    const int half = segments / 2;
    for (int part = 0; part < 2; ++part) {
        int first = m.vertexCount();
        for (int j = 0; j <= rows; ++j) {
            for (int i = 0; i <= half; ++i) {
                int k = part * half + i;
                float angle = 2.0f * pi * k / segments;
                float r = radiusAt(k, j, profile[j].radius);
                // Exact zero and sign at the axes keep the mesh symmetric.
                float c = (k == 0) ? 1.0f : (2 * k == segments ? -1.0f : std::cos(angle));
                float s = (k == 0 || 2 * k == segments) ? 0.0f : std::sin(angle);
                m.vertex(Vec3(r * c, r * s, profile[j].z),
                         uRepeat * static_cast<float>(i) / segments, static_cast<float>(j) / rows);
            }
        }
        for (int j = 0; j < rows; ++j) {
            for (int i = 0; i < half; ++i) {
                int a = first + j * (half + 1) + i;
                int b = a + 1;
                int c = b + half + 1;
                int d = a + half + 1;
                // A row on the axis collapses to a point: one triangle per
                // segment there instead of a quad with a degenerate half.
                bool axisBelow = profile[j].radius == 0.0f;
                bool axisAbove = profile[j + 1].radius == 0.0f;
                if (axisAbove) {
                    flip ? m.triangle(a, c, b) : m.triangle(a, b, c);
                } else if (axisBelow) {
                    flip ? m.triangle(a, d, c) : m.triangle(a, c, d);
                } else if (flip) {
                    m.quad(a, d, c, b);
                } else {
                    m.quad(a, b, c, d);
                }
            }
        }
    }
}

float plainRadius(int, int, float radius) {
    return radius;
}

constexpr float tyreRadius = TruckModel::wheelRadius * unitsPerMetre;      // 36
constexpr float halfWidth = 0.5f * TruckModel::wheelWidth * unitsPerMetre; // 9
// Profile radii as fractions of the tyre radius and axial positions as
// fractions of the half width, so that the wheel follows the truck's tyre
// size: a tall off-road sidewall on a rim of 60 % of the tyre's radius.
constexpr float radial(float fraction) {
    return fraction * tyreRadius;
}
constexpr float axial(float fraction) {
    return fraction * halfWidth;
}
constexpr float rimRadius = radial(0.6f);
constexpr float grooveDepth = radial(0.05f);
const int treadColumns = 7; // profile points across the tread

// Lugs in a chevron: a lug where segment plus distance from the edge is
// even, so the edge vertices at 0 and 180 degrees are lugs at full radius.
float treadRadius(int k, int j, float radius) {
    int fromEdge = j < treadColumns / 2 ? j : treadColumns - 1 - j;
    return ((k + fromEdge) % 2 == 0) ? radius : radius - grooveDepth;
}
float sidewallEdgeRadius(int k, int, float radius) {
    return (k % 2 == 0) ? radius : radius - grooveDepth;
}
float outerSidewallRadius(int k, int j, float radius) {
    return j == 0 ? sidewallEdgeRadius(k, j, radius) : radius;
}

} // namespace

const char* WheelMesh::objectName(int index) {
    static const char* const names[objectCount] = {"rim", "tyre"};
    return index >= 0 && index < objectCount ? names[index] : "";
}

WheelMesh::WheelMesh() {
    buildRim();
    buildTyre();
}

void WheelMesh::buildTyre() {
    MeshBuilder& m = parts[1];
    std::vector<ProfilePoint> tread;
    for (int j = 0; j < treadColumns; ++j) {
        tread.push_back({tyreRadius, -halfWidth + 2.0f * halfWidth * j / (treadColumns - 1)});
    }
    revolve(m, tread, false, 8.0f, treadRadius);
    // Sidewalls: from the tread edge down to the bead, flat at the faces and
    // tucked in a little towards the rim.
    for (int face = 0; face < 2; ++face) {
        float sign = face == 0 ? -1.0f : 1.0f;
        std::vector<ProfilePoint> wall = {{tyreRadius, sign * halfWidth},
                                          {radial(0.92f), sign * halfWidth},
                                          {radial(0.8f), sign * axial(0.96f)},
                                          {radial(0.62f), sign * axial(0.9f)}};
        revolve(m, wall, face == 0, 4.0f, outerSidewallRadius);
    }
}

void WheelMesh::buildRim() {
    MeshBuilder& m = parts[0];
    // Outer face: lip, dish, centre and hub cap, facing -z.
    std::vector<ProfilePoint> face = {
        {radial(0.64f), axial(-0.97f)}, {rimRadius, axial(-0.93f)},
        {radial(0.5f), axial(-0.8f)},   {radial(0.35f), axial(-0.67f)},
        {radial(0.24f), axial(-0.72f)}, {radial(0.2f), axial(-0.96f)},
        {radial(0.11f), axial(-1.05f)}, {0.0f, axial(-1.08f)}};
    revolve(m, face, true, 2.0f, plainRadius);
    // Barrel inside the tyre, and the inner face towards +z.
    std::vector<ProfilePoint> barrel = {{rimRadius, axial(-0.93f)}, {rimRadius, axial(0.93f)}};
    revolve(m, barrel, false, 2.0f, plainRadius);
    std::vector<ProfilePoint> inner = {
        {rimRadius, axial(0.93f)}, {radial(0.3f), axial(0.67f)}, {0.0f, axial(0.67f)}};
    revolve(m, inner, false, 2.0f, plainRadius);
    // Eight wheel nuts round the cap.
    for (int nut = 0; nut < 8; ++nut) {
        float angle = 2.0f * pi * (nut + 0.5f) / 8.0f;
        Vec3 at(radial(0.3f) * std::cos(angle), radial(0.3f) * std::sin(angle), 0.0f);
        m.cylinder(at + Vec3(0, 0, axial(-0.67f)), at + Vec3(0, 0, axial(-0.85f)), radial(0.03f),
                   6);
    }
}
