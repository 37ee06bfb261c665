// BodyMesh: the body objects, authored in metres in the truck's own frame
// (x right, y height above the flat ground at rest, z backwards from the
// start position) for wheel centres at designHubY, then widened and lifted
// to the truck's track and wheels and stored in scene units relative to the
// body origin.
#include "tools/assets/BodyMesh.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

const float pi = 3.14159265f;
const float unitsPerMetre = 60.0f;

// The outline below is drawn for wheel centres this high; the whole body is
// lifted by the difference to the truck's hubs, and widened by widthScale
// so that the wider track's tyres sit under the arches and flares.
const float designHubY = 0.48f;
const float lift = TruckModel::hubHeight - designHubY;
const float widthScale = 1.1f;

// Outline of the truck, metres.
const float noseZ = -2.25f;    // front face
const float cowlZ = -0.35f;    // rear edge of the bonnet
const float screenZ = -0.30f;  // foot of the windscreen
const float cabRearZ = 1.20f;  // back wall of the cab
const float bedFrontZ = 1.25f; // front wall of the bed
const float tailZ = 2.75f;     // outer face of the tailgate
const float sillY = 0.58f;     // lower edge of the body sides
const float beltY = 1.40f;     // foot of the side windows
const float roofY = 1.95f;
const float bedTopY = 1.35f;
const float bedFloorY = 0.85f;
const float bedInnerX = 0.90f; // inner face of the bed walls
const float archRadius = TruckModel::wheelRadius + 0.13f;
const float flareX = 1.24f;     // outer edge of the fender flares, before widening
const float wellInnerX = 0.70f; // inner wall of the wheel wells

// Height of the bonnet line along the body, rising towards the windscreen;
// high enough to clear the front arches.
float bonnetY(float z) {
    return 1.3f + (z - noseZ) / (cowlZ - noseZ) * 0.06f;
}

// Top edge of the body side at z.
float sideTopY(float z) {
    if (z <= cowlZ) {
        return bonnetY(z);
    }
    if (z <= screenZ) {
        return bonnetY(cowlZ) + (z - cowlZ) / (screenZ - cowlZ) * (beltY - bonnetY(cowlZ));
    }
    if (z <= cabRearZ) {
        return beltY;
    }
    if (z <= bedFrontZ) {
        return beltY + (z - cabRearZ) / (bedFrontZ - cabRearZ) * (bedTopY - beltY);
    }
    return bedTopY;
}

float axleZ(int axle) {
    return axle == 0 ? TruckModel::frontAxleZ : TruckModel::rearAxleZ;
}

// Lower edge of the body side: the sill, cut by a round arch over each wheel.
float sideBottomY(float z) {
    float y = sillY;
    for (int axle = 0; axle < 2; ++axle) {
        float dz = z - axleZ(axle);
        if (std::fabs(dz) < archRadius) {
            y = std::max(y, designHubY + std::sqrt(archRadius * archRadius - dz * dz));
        }
    }
    return y;
}

// Half the half-width profile of the side, by height fraction t (0 at the
// sill, 1 at the top edge): slightly tucked under, a crease line at 55 %,
// and a little tumblehome above it.
float sideX(float t) {
    if (t < 0.55f) {
        return 0.99f + 0.01f * (t / 0.55f);
    }
    return 1.0f - 0.02f * ((t - 0.55f) / 0.45f);
}

// Greenhouse: windscreen foot line, rear line and half width by height.
float screenLineZ(float y) {
    return screenZ + (y - beltY);
}
float rearLineZ(float y) {
    return cabRearZ - (y - beltY) * (0.10f / (roofY - beltY));
}
float cabHalfWidth(float y) {
    return 0.97f - (y - beltY) * (0.11f / (roofY - beltY));
}

// Angle above the axle where the arch meets the sill.
float archStartAngle() {
    return std::asin((sillY - designHubY) / archRadius);
}
float archHalfLength() {
    return archRadius * std::cos(archStartAngle());
}

// Truck-frame metres to body scene units.
Vec3 P(float x, float y, float z) {
    const float originY = TruckModel::startPosition().y;
    return Vec3(x * widthScale * unitsPerMetre, (y + lift - originY) * unitsPerMetre,
                z * unitsPerMetre);
}

// Axis-aligned flat pieces, in truck-frame metres.
void horizontal(MeshBuilder& m, float x0, float x1, float z0, float z1, float y, bool up) {
    if (up) {
        m.panel(P(x0, y, z0), P(x0, y, z1), P(x1, y, z1), P(x1, y, z0));
    } else {
        m.panel(P(x0, y, z0), P(x1, y, z0), P(x1, y, z1), P(x0, y, z1));
    }
}
void facingZ(MeshBuilder& m, float x0, float x1, float y0, float y1, float z, bool plus) {
    if (plus) {
        m.panel(P(x0, y0, z), P(x1, y0, z), P(x1, y1, z), P(x0, y1, z));
    } else {
        m.panel(P(x0, y1, z), P(x1, y1, z), P(x1, y0, z), P(x0, y0, z));
    }
}
void facingX(MeshBuilder& m, float z0, float z1, float y0, float y1, float x, bool plus) {
    if (plus) {
        m.panel(P(x, y0, z0), P(x, y1, z0), P(x, y1, z1), P(x, y0, z1));
    } else {
        m.panel(P(x, y1, z1), P(x, y1, z0), P(x, y0, z0), P(x, y0, z1));
    }
}
void block(MeshBuilder& m, float x0, float x1, float y0, float y1, float z0, float z1) {
    m.box(P(x0, y0, z0), P(x1, y1, z1));
}
void tube(MeshBuilder& m, Vec3 a, Vec3 b, float radius) {
    m.cylinder(P(a.x, a.y, a.z), P(b.x, b.y, b.z), radius * unitsPerMetre, 10);
}

// A quad in truck-frame metres shown from both sides.
void twoSided(MeshBuilder& m, Vec3 a, Vec3 b, Vec3 c, Vec3 d) {
    m.panelTwoSided(P(a.x, a.y, a.z), P(b.x, b.y, b.z), P(c.x, c.y, c.z), P(d.x, d.y, d.z));
}

// A point on the greenhouse side plane at height y and position z.
Vec3 cabSide(float side, float y, float z) {
    return Vec3(side * cabHalfWidth(y), y, z);
}

} // namespace

constexpr int BodyMesh::fitVertices[4];
constexpr int BodyMesh::fitParticles[4];

const char* BodyMesh::objectName(int index) {
    static const char* const names[objectCount] = {"glass", "interior", "body", "trim",
                                                   "steerwheel"};
    return index >= 0 && index < objectCount ? names[index] : "";
}

BodyMesh::BodyMesh(const TruckModel& truck) {
    buildShell(truck);
    buildTrim();
    buildGlass();
    buildInterior();
    buildSteeringWheel();
}

void BodyMesh::buildShell(const TruckModel& truck) {
    MeshBuilder& m = parts[2];
    const float texture = 90.0f; // scene units per repeat of the paint texture

    // Body sides: columns along z, denser at the arch edges so the arches
    // stay round; rows up the side through the crease line.
    std::vector<float> zs;
    for (int i = 0; i <= 100; ++i) {
        zs.push_back(noseZ + (tailZ - noseZ) * i / 100.0f);
    }
    for (int axle = 0; axle < 2; ++axle) {
        for (float d : {archHalfLength(), 0.565f, 0.55f, 0.52f}) {
            zs.push_back(axleZ(axle) - d);
            zs.push_back(axleZ(axle) + d);
        }
    }
    std::sort(zs.begin(), zs.end());
    zs.erase(std::unique(zs.begin(), zs.end(),
                         [](float a, float b) { return std::fabs(a - b) < 0.004f; }),
             zs.end());
    const float rows[] = {0.0f, 0.12f, 0.3f, 0.5f, 0.55f, 0.6f, 0.8f, 1.0f};
    const int rowCount = static_cast<int>(sizeof rows / sizeof rows[0]);
    for (int sideIndex = 0; sideIndex < 2; ++sideIndex) {
        float side = sideIndex == 0 ? -1.0f : 1.0f;
        int first = m.vertexCount();
        for (float t : rows) {
            for (float z : zs) {
                float bottom = sideBottomY(z);
                float y = bottom + t * (sideTopY(z) - bottom);
                Vec3 p = P(side * sideX(t), y, z);
                m.vertex(p, p.z / texture, -p.y / texture);
            }
        }
        int columns = static_cast<int>(zs.size());
        for (int j = 0; j + 1 < rowCount; ++j) {
            for (int i = 0; i + 1 < columns; ++i) {
                int a = first + j * columns + i;
                int b = a + 1;
                int c = b + columns;
                int d = a + columns;
                if (side < 0) {
                    m.quad(a, b, c, d);
                } else {
                    m.quad(a, d, c, b);
                }
            }
        }
    }

    // Wheel wells: a half tube under each arch and a flat inner wall.
    const float phi0 = archStartAngle();
    const float hubY = designHubY;
    for (int axle = 0; axle < 2; ++axle) {
        float zc = axleZ(axle);
        for (int sideIndex = 0; sideIndex < 2; ++sideIndex) {
            float side = sideIndex == 0 ? -1.0f : 1.0f;
            m.patch(
                16, 2,
                [&](float s, float t) {
                    float phi = phi0 + s * (pi - 2.0f * phi0);
                    float x = side * (wellInnerX + t * (0.99f - wellInnerX));
                    return P(x, hubY + archRadius * std::sin(phi), zc + archRadius * std::cos(phi));
                },
                side < 0, 3.0f, 0.5f);
            int centre = m.vertex(P(side * wellInnerX, sillY, zc), 0.0f, 0.0f);
            int firstRim = m.vertexCount();
            for (int k = 0; k <= 16; ++k) {
                float phi = phi0 + k / 16.0f * (pi - 2.0f * phi0);
                float y = hubY + archRadius * std::sin(phi);
                float z = zc + archRadius * std::cos(phi);
                m.vertex(P(side * wellInnerX, y, z), z, y);
            }
            for (int k = 0; k < 16; ++k) {
                if (side > 0) {
                    m.triangle(centre, firstRim + k + 1, firstRim + k);
                } else {
                    m.triangle(centre, firstRim + k, firstRim + k + 1);
                }
            }
        }
    }

    // Underbody: the middle strip the whole length, the outer strips between
    // the wheel wells.
    horizontal(m, -wellInnerX, wellInnerX, noseZ, tailZ, sillY, false);
    const float half = archHalfLength();
    const float cuts[] = {noseZ,           axleZ(0) - half, axleZ(0) + half,
                          axleZ(1) - half, axleZ(1) + half, tailZ};
    for (int piece = 0; piece < 3; ++piece) {
        float z0 = cuts[2 * piece];
        float z1 = cuts[2 * piece + 1];
        horizontal(m, -0.99f, -wellInnerX, z0, z1, sillY, false);
        horizontal(m, wellInnerX, 0.99f, z0, z1, sillY, false);
    }

    // Front face and tailgate follow the side profile at their edges.
    auto crown = [](float x) { return 0.035f * (1.0f - (x / 0.98f) * (x / 0.98f)); };
    m.patch(
        12, 4,
        [&](float s, float t) {
            float x = (2.0f * s - 1.0f) * sideX(t);
            float top = bonnetY(noseZ) + crown(std::min(std::fabs(x), 0.98f));
            return P(x, sillY + t * (top - sillY), noseZ);
        },
        true, 2.0f, 0.6f);
    m.patch(
        12, 4,
        [&](float s, float t) {
            float x = (2.0f * s - 1.0f) * sideX(t);
            return P(x, sillY + t * (bedTopY - sillY), tailZ);
        },
        false, 2.0f, 0.6f);

    // Bonnet: crowned across, with a raised bulge down the middle.
    m.patch(
        20, 16,
        [&](float s, float t) {
            float x = (2.0f * s - 1.0f) * 0.98f;
            float z = noseZ + t * (cowlZ - noseZ);
            float bulgeX = std::max(0.0f, 1.0f - std::fabs(x) / 0.36f);
            float bulgeZ = std::max(0.0f, std::sin(pi * (z + 2.0f) / 1.5f));
            float bulge = (z > -2.0f && z < -0.5f) ? 0.045f * std::sqrt(bulgeX) * bulgeZ : 0.0f;
            return P(x, bonnetY(z) + crown(x) + bulge, z);
        },
        true, 2.0f, 2.0f);
    // Cowl between the bonnet and the windscreen foot.
    m.patch(
        12, 1,
        [&](float s, float t) {
            float x = (2.0f * s - 1.0f) * 0.98f;
            float y0 = bonnetY(cowlZ) + crown(x);
            return P(x, y0 + t * (beltY - y0), cowlZ + t * (screenZ - cowlZ));
        },
        true, 2.0f, 0.2f);

    // Cab back wall below the window, the gap to the bed closed from above.
    facingZ(m, -0.98f, 0.98f, sillY, beltY, cabRearZ, true);
    horizontal(m, -0.98f, 0.98f, cabRearZ, bedFrontZ, 1.0f, true);

    // Greenhouse: roof, pillars, rails and frames around the window
    // openings, all visible from inside the cab as well.
    for (int sideIndex = 0; sideIndex < 2; ++sideIndex) {
        float side = sideIndex == 0 ? -1.0f : 1.0f;
        const float low = beltY + 0.04f;
        const float high = roofY - 0.05f;
        auto strip = [&](float y0, float y1, float zStart0, float zStart1, float zEnd0,
                         float zEnd1) {
            twoSided(m, cabSide(side, y0, zStart0), cabSide(side, y0, zEnd0),
                     cabSide(side, y1, zEnd1), cabSide(side, y1, zStart1));
        };
        strip(beltY, low, screenLineZ(beltY), screenLineZ(low), rearLineZ(beltY), rearLineZ(low));
        strip(high, roofY, screenLineZ(high), screenLineZ(roofY), rearLineZ(high),
              rearLineZ(roofY));
        strip(low, high, screenLineZ(low), screenLineZ(high), screenLineZ(low) + 0.09f,
              screenLineZ(high) + 0.09f);             // A pillar
        strip(low, high, 0.78f, 0.78f, 0.86f, 0.86f); // B pillar
        strip(low, high, rearLineZ(low) - 0.12f, rearLineZ(high) - 0.12f, rearLineZ(low),
              rearLineZ(high)); // C pillar
        // Windscreen side frame.
        auto screen = [&](float xInset, float y) {
            return Vec3(side * (cabHalfWidth(y) - xInset), y, screenLineZ(y));
        };
        twoSided(m, screen(0.07f, beltY), screen(0.0f, beltY), screen(0.0f, roofY),
                 screen(0.07f, roofY));
        // Rear window side frame.
        auto back = [&](float x, float y) { return Vec3(side * x, y, rearLineZ(y)); };
        twoSided(m, back(0.60f, beltY), back(cabHalfWidth(beltY), beltY),
                 back(cabHalfWidth(roofY), roofY), back(0.60f, roofY));
    }
    auto screenAt = [](float x, float y) { return Vec3(x, y, screenLineZ(y)); };
    twoSided(m, screenAt(-0.9f, beltY), screenAt(0.9f, beltY), screenAt(0.9f, beltY + 0.03f),
             screenAt(-0.9f, beltY + 0.03f));
    twoSided(m, screenAt(-0.8f, roofY - 0.05f), screenAt(0.8f, roofY - 0.05f),
             screenAt(0.8f, roofY), screenAt(-0.8f, roofY));
    auto backAt = [](float x, float y) { return Vec3(x, y, rearLineZ(y)); };
    twoSided(m, backAt(-0.6f, beltY), backAt(0.6f, beltY), backAt(0.6f, 1.50f),
             backAt(-0.6f, 1.50f));
    twoSided(m, backAt(-0.6f, 1.88f), backAt(0.6f, 1.88f), backAt(0.6f, roofY),
             backAt(-0.6f, roofY));
    const float roofHalf = cabHalfWidth(roofY);
    m.patch(
        12, 8,
        [&](float s, float t) {
            float x = (2.0f * s - 1.0f) * roofHalf;
            float z = screenLineZ(roofY) + t * (rearLineZ(roofY) - screenLineZ(roofY));
            return P(x, roofY + 0.02f * (1.0f - (x / roofHalf) * (x / roofHalf)), z);
        },
        true, 1.5f, 1.0f);

    // Bed: floor, inner walls, front wall, tailgate inside, top rails, and
    // the wheel housings.
    const float bedFrontInner = bedFrontZ + 0.05f;
    const float tailInner = tailZ - 0.10f;
    horizontal(m, -bedInnerX, bedInnerX, bedFrontInner, tailInner, bedFloorY, true);
    facingX(m, bedFrontInner, tailInner, bedFloorY, bedTopY, -bedInnerX, true);
    facingX(m, bedFrontInner, tailInner, bedFloorY, bedTopY, bedInnerX, false);
    facingZ(m, -bedInnerX, bedInnerX, bedFloorY, bedTopY, bedFrontInner, true);
    facingZ(m, -0.98f, 0.98f, sillY, bedTopY, bedFrontZ, false);
    facingZ(m, -bedInnerX, bedInnerX, bedFloorY, bedTopY, tailInner, false);
    horizontal(m, -0.98f, -bedInnerX, bedFrontZ, tailZ, bedTopY, true);
    horizontal(m, bedInnerX, 0.98f, bedFrontZ, tailZ, bedTopY, true);
    horizontal(m, -bedInnerX, bedInnerX, bedFrontZ, bedFrontInner, bedTopY, true);
    horizontal(m, -bedInnerX, bedInnerX, tailInner, tailZ, bedTopY, true);
    // The housings over the rear wheels, cut off where they meet the bed's
    // front wall.
    const float housingRadius = TruckModel::wheelRadius + 0.17f;
    const float housingStart = std::asin((bedFloorY - hubY) / housingRadius);
    const float zc = axleZ(1);
    const float housingEnd =
        std::min(pi - housingStart, std::acos((bedFrontInner - zc) / housingRadius));
    for (int sideIndex = 0; sideIndex < 2; ++sideIndex) {
        float side = sideIndex == 0 ? -1.0f : 1.0f;
        m.patch(
            12, 1,
            [&](float s, float t) {
                float phi = housingStart + s * (housingEnd - housingStart);
                float x = side * (bedInnerX - t * (bedInnerX - 0.62f));
                return P(x, hubY + housingRadius * std::sin(phi),
                         zc + housingRadius * std::cos(phi));
            },
            side < 0, 2.0f, 0.3f);
        int centre = m.vertex(P(side * 0.62f, bedFloorY, zc), 0.0f, 0.0f);
        int firstRim = m.vertexCount();
        for (int k = 0; k <= 12; ++k) {
            float phi = housingStart + k / 12.0f * (housingEnd - housingStart);
            float y = hubY + housingRadius * std::sin(phi);
            float z = zc + housingRadius * std::cos(phi);
            m.vertex(P(side * 0.62f, y, z), z, y);
        }
        // Down the front wall to the floor.
        m.vertex(P(side * 0.62f, bedFloorY, bedFrontInner), bedFrontInner, bedFloorY);
        for (int k = 0; k < 13; ++k) {
            if (side < 0) {
                m.triangle(centre, firstRim + k + 1, firstRim + k);
            } else {
                m.triangle(centre, firstRim + k, firstRim + k + 1);
            }
        }
    }

    // Mounting brackets: a small tetrahedron on each of the four chassis
    // nodes the body is fitted to. Their tips are computed exactly as the
    // fit's targets are (60 x (particle - start)), in values that survive
    // the division by the file scale and the loader's multiplication.
    const Vec3 start = TruckModel::startPosition();
    const float size = 1.5f;
    int tips[4];
    for (int i = 0; i < 4; ++i) {
        Vec3 p = truck.particles()[fitParticles[i]].position;
        Vec3 tip((p.x - start.x) * unitsPerMetre, (p.y - start.y) * unitsPerMetre,
                 (p.z - start.z) * unitsPerMetre);
        int a = m.vertex(tip, 0.0f, 0.0f);
        int b = m.vertex(tip + Vec3(size, 0, 0), 0.1f, 0.0f);
        int c = m.vertex(tip + Vec3(0, size, 0), 0.0f, 0.1f);
        int d = m.vertex(tip + Vec3(0, 0, size), 0.1f, 0.1f);
        m.triangle(a, c, b);
        m.triangle(a, b, d);
        m.triangle(a, d, c);
        m.triangle(b, c, d);
        tips[i] = a;
    }
    // Move each tip to its fixed index, lowest index first, so that later
    // moves (which shift only vertices at or above their own target) leave
    // the tips already placed where they are. A move shifts the tips still
    // waiting behind it up by one; follow them.
    int order[4] = {0, 1, 2, 3};
    std::sort(order, order + 4, [](int a, int b) { return fitVertices[a] < fitVertices[b]; });
    placed = m.vertexCount() - 16 > fitVertices[order[3]];
    for (int k = 0; k < 4 && placed; ++k) {
        int i = order[k];
        int from = tips[i];
        int to = fitVertices[i];
        placed = m.moveVertex(from, to);
        for (int j = 0; j < 4; ++j) {
            if (tips[j] >= to && tips[j] < from) {
                ++tips[j];
            }
        }
        tips[i] = to;
    }
}

void BodyMesh::buildTrim() {
    MeshBuilder& m = parts[3];
    // Frame rails and cross members under the body.
    for (float side : {-1.0f, 1.0f}) {
        block(m, side > 0 ? 0.38f : -0.48f, side > 0 ? 0.48f : -0.38f, 0.38f, 0.56f, -2.3f, 2.85f);
    }
    for (float z : {-2.1f, -0.4f, 0.9f, 2.5f}) {
        block(m, -0.38f, 0.38f, 0.42f, 0.52f, z - 0.05f, z + 0.05f);
    }
    // Bumpers, bull bar and tow hitch.
    block(m, -1.02f, 1.02f, 0.45f, 0.70f, -2.47f, -2.25f);
    block(m, -0.98f, 0.98f, 0.46f, 0.62f, 2.75f, 2.90f);
    block(m, -0.06f, 0.06f, 0.45f, 0.52f, 2.90f, 3.02f);
    for (float x : {-0.55f, 0.55f}) {
        tube(m, Vec3(x, 0.70f, -2.40f), Vec3(x, 1.18f, -2.40f), 0.035f);
    }
    tube(m, Vec3(-0.58f, 1.18f, -2.40f), Vec3(0.58f, 1.18f, -2.40f), 0.035f);
    tube(m, Vec3(-0.55f, 0.95f, -2.42f), Vec3(0.55f, 0.95f, -2.42f), 0.03f);
    // Grille with bars, lamp housings, tail lamps.
    facingZ(m, -0.55f, 0.55f, 0.74f, 1.14f, noseZ - 0.005f, false);
    for (int bar = 0; bar < 5; ++bar) {
        float y = 0.78f + bar * 0.08f;
        block(m, -0.55f, 0.55f, y, y + 0.03f, noseZ - 0.04f, noseZ - 0.005f);
    }
    for (float side : {-1.0f, 1.0f}) {
        float x0 = side > 0 ? 0.60f : -0.94f;
        block(m, x0, x0 + 0.34f, 0.94f, 1.14f, noseZ - 0.03f, noseZ);
        float t0 = side > 0 ? 0.84f : -0.98f;
        block(m, t0, t0 + 0.14f, 1.02f, 1.30f, tailZ, tailZ + 0.025f);
    }
    // Running boards, fender flares, mirrors, door handles.
    const float phi0 = archStartAngle();
    for (float side : {-1.0f, 1.0f}) {
        float x0 = side > 0 ? 0.99f : -1.13f;
        block(m, x0, x0 + 0.14f, 0.52f, 0.57f, axleZ(0) + archHalfLength() + 0.07f,
              axleZ(1) - archHalfLength() - 0.05f);
        for (int axle = 0; axle < 2; ++axle) {
            float zc = axleZ(axle);
            // The flare: a wide band round the arch, sloping out from the
            // side over the tyre, and its underside.
            m.patch(
                16, 1,
                [&](float s, float t) {
                    float phi = phi0 + s * (pi - 2.0f * phi0);
                    float r = archRadius + 0.12f * t;
                    float x = side * (flareX - (flareX - 0.995f) * t);
                    return P(x, designHubY + r * std::sin(phi), zc + r * std::cos(phi));
                },
                side < 0, 3.0f, 0.2f);
            m.patch(
                16, 1,
                [&](float s, float t) {
                    float phi = phi0 + s * (pi - 2.0f * phi0);
                    float x = side * (0.99f + (flareX - 0.99f) * t);
                    return P(x, designHubY + archRadius * std::sin(phi),
                             zc + archRadius * std::cos(phi));
                },
                side < 0, 3.0f, 0.2f);
        }
        float mx = side * 1.06f;
        tube(m, Vec3(side * 0.95f, 1.45f, -0.18f), Vec3(mx, 1.50f, -0.18f), 0.015f);
        block(m, std::min(mx, mx + side * 0.06f), std::max(mx, mx + side * 0.06f), 1.43f, 1.62f,
              -0.22f, -0.12f);
        float hx = side > 0 ? 0.995f : -1.015f;
        block(m, hx, hx + 0.02f, 1.27f, 1.30f, 0.58f, 0.72f);
    }
    // Roll bar behind the cab with a light bar, and the exhaust.
    const float barZ = 1.42f;
    for (float x : {-0.82f, 0.82f}) {
        tube(m, Vec3(x, bedTopY, barZ), Vec3(x, 1.98f, barZ), 0.04f);
        tube(m, Vec3(x, 1.98f, barZ), Vec3(x, bedTopY, barZ + 0.55f), 0.035f);
    }
    tube(m, Vec3(-0.86f, 1.98f, barZ), Vec3(0.86f, 1.98f, barZ), 0.04f);
    tube(m, Vec3(-0.82f, 1.60f, barZ), Vec3(0.82f, 1.98f, barZ), 0.03f);
    for (int lamp = 0; lamp < 4; ++lamp) {
        float x = -0.54f + lamp * 0.36f;
        block(m, x - 0.08f, x + 0.08f, 2.02f, 2.14f, barZ - 0.06f, barZ + 0.04f);
    }
    tube(m, Vec3(0.55f, 0.45f, -0.2f), Vec3(0.55f, 0.45f, 2.95f), 0.035f);
    // Windscreen wipers resting on the cowl.
    for (float x : {-0.45f, 0.15f}) {
        block(m, x, x + 0.5f, 1.405f, 1.42f, -0.32f, -0.30f);
    }
}

void BodyMesh::buildGlass() {
    MeshBuilder& m = parts[0];
    const float low = beltY + 0.04f;
    const float high = roofY - 0.05f;
    // Windscreen, a hair in front of its frame.
    auto screen = [](float side, float y) {
        return P(side * (cabHalfWidth(y) - 0.07f), y, screenLineZ(y) - 0.004f);
    };
    m.panel(screen(-1.0f, high), screen(1.0f, high), screen(1.0f, beltY + 0.03f),
            screen(-1.0f, beltY + 0.03f));
    // Side windows: door glass and rear quarter glass.
    for (float side : {-1.0f, 1.0f}) {
        auto at = [side](float y, float z) { return P(side * (cabHalfWidth(y) + 0.004f), y, z); };
        Vec3 door[4] = {at(low, screenLineZ(low) + 0.09f), at(low, 0.78f), at(high, 0.78f),
                        at(high, screenLineZ(high) + 0.09f)};
        Vec3 quarter[4] = {at(low, 0.86f), at(low, rearLineZ(low) - 0.12f),
                           at(high, rearLineZ(high) - 0.12f), at(high, 0.86f)};
        for (Vec3* w : {door, quarter}) {
            if (side < 0) {
                m.panel(w[0], w[1], w[2], w[3]);
            } else {
                m.panel(w[3], w[2], w[1], w[0]);
            }
        }
    }
    auto back = [](float x, float y) { return P(x, y, rearLineZ(y) + 0.004f); };
    m.panel(back(-0.6f, 1.50f), back(0.6f, 1.50f), back(0.6f, 1.88f), back(-0.6f, 1.88f));
    // Head lamp and light bar lenses.
    for (float x0 : {-0.92f, 0.62f}) {
        facingZ(m, x0, x0 + 0.30f, 0.96f, 1.12f, noseZ - 0.035f, false);
    }
    for (int lamp = 0; lamp < 4; ++lamp) {
        float x = -0.54f + lamp * 0.36f;
        facingZ(m, x - 0.07f, x + 0.07f, 2.03f, 2.13f, 1.42f - 0.065f, false);
    }
}

void BodyMesh::buildInterior() {
    MeshBuilder& m = parts[1];
    const float floorY = 0.64f;
    const float inner = 0.92f;
    // Floor, door linings, back wall lining and headliner.
    horizontal(m, -inner, inner, screenZ, cabRearZ - 0.02f, floorY, true);
    facingX(m, screenZ, cabRearZ - 0.02f, floorY, beltY, -inner, true);
    facingX(m, screenZ, cabRearZ - 0.02f, floorY, beltY, inner, false);
    facingZ(m, -inner, inner, floorY, 1.50f, cabRearZ - 0.02f, false);
    horizontal(m, -0.84f, 0.84f, screenLineZ(roofY) + 0.02f, rearLineZ(roofY) - 0.02f,
               roofY - 0.01f, false);
    // Dashboard with the instrument hood in front of the driver.
    block(m, -inner, inner, 1.08f, 1.31f, screenZ - 0.02f, 0.05f);
    block(m, -0.55f, -0.12f, 1.31f, 1.37f, -0.08f, 0.06f);
    block(m, -0.12f, 0.12f, floorY, 1.05f, -0.10f, 0.40f); // centre tunnel and console
    // Two seats: cushion, back rest leaning back, head rest.
    for (float x : {-0.40f, 0.40f}) {
        block(m, x - 0.25f, x + 0.25f, floorY, 0.90f, 0.50f, 0.95f);
        block(m, x - 0.26f, x + 0.26f, 0.90f, 1.00f, 0.45f, 0.97f);
        m.tiltedBox(P(x, 1.28f, 1.03f), Vec3(15.5f, 18.0f, 4.2f), -0.22f);
        m.tiltedBox(P(x, 1.68f, 1.11f), Vec3(8.0f, 5.0f, 3.0f), -0.22f);
    }
}

void BodyMesh::buildSteeringWheel() {
    MeshBuilder& m = parts[4];
    // Model space, scene units: the rim turns about the axis through
    // (0, -10, 0) along z. At this depth the frame's tilt of -0.3 about x and
    // its offset of (-20, -20, -130) bring the hub to (-20, 12.8, 10) in body
    // coordinates, half a metre in front of and below the driver's eye.
    const float hubZ = 143.45f;
    const Vec3 hub(0.0f, -10.0f, hubZ);
    const float rimRadius = 11.4f; // 19 cm
    const float gripRadius = 1.2f;
    const int around = 32;
    const int tubeSides = 8;
    m.patch(
        around, tubeSides,
        [&](float s, float t) {
            float a = s * 2.0f * pi;
            float b = t * 2.0f * pi;
            float r = rimRadius + gripRadius * std::cos(b);
            return hub + Vec3(r * std::cos(a), r * std::sin(a), gripRadius * std::sin(b));
        },
        false, 4.0f, 1.0f);
    // Three spokes (left, right, down) and the hub boss.
    for (float angle : {0.0f, pi, -0.5f * pi}) {
        Vec3 dir(std::cos(angle), std::sin(angle), 0.0f);
        m.cylinder(hub + dir * 2.5f + Vec3(0, 0, -0.8f), hub + dir * (rimRadius - 0.5f), 0.9f, 6);
    }
    m.cylinder(hub + Vec3(0, 0, -2.5f), hub + Vec3(0, 0, 0.8f), 3.0f, 12);
    // Column into the dashboard.
    m.cylinder(hub + Vec3(0, 0, -26.0f), hub + Vec3(0, 0, -2.5f), 1.6f, 10);
}
