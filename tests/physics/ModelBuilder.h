// ModelBuilder: composes model-file text in code for the physics tests, and a truck-shaped soft
// body built with it (four 34-particle wheels under a lattice chassis, with steering arms,
// suspension, joints and bump stops).
#pragma once

#include "math/Vec3.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

class ModelBuilder {
  public:
    int particle(const Vec3& p, float mass) {
        particles +=
            number(p.x) + " " + number(p.y) + " " + number(p.z) + " " + number(mass) + "\n";
        return particleTotal++;
    }
    void spring(int a, int b, float stiffness, float damping) {
        springs += std::to_string(a) + " " + std::to_string(b) + " " + number(stiffness) + " " +
                   number(damping) + "\n";
        ++springTotal;
    }
    void wheel(int hubA, int hubB, const std::vector<int>& rim) {
        wheels +=
            std::to_string(hubA) + " " + std::to_string(hubB) + " " + std::to_string(rim.size());
        for (int r : rim) {
            wheels += " " + std::to_string(r);
        }
        wheels += "\n";
        ++wheelTotal;
    }
    void rightAngle(int a, int b, int c) {
        rightAngles += triple(a, b, c);
        ++rightAngleTotal;
    }
    void angle(int a, int b, int c) {
        angles += triple(a, b, c);
        ++angleTotal;
    }
    void quadratic(int a, int b, float stiffness) {
        quadratics += std::to_string(a) + " " + std::to_string(b) + " " + number(stiffness) + "\n";
        ++quadraticTotal;
    }

    int particleCount() const { return particleTotal; }
    int springCount() const { return springTotal; }
    int elementCount() const {
        return springTotal + wheelTotal + rightAngleTotal + angleTotal + quadraticTotal;
    }

    std::string text() const {
        return std::to_string(particleTotal) + "\n" + particles + std::to_string(springTotal) +
               "\n" + springs + std::to_string(wheelTotal) + "\n" + wheels +
               std::to_string(rightAngleTotal) + "\n" + rightAngles + std::to_string(angleTotal) +
               "\n" + angles + std::to_string(quadraticTotal) + "\n" + quadratics;
    }

    // Shortest decimal that reads back as the same float.
    static std::string number(float value) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(value));
        return buffer;
    }

  private:
    static std::string triple(int a, int b, int c) {
        return std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c) + "\n";
    }

    std::string particles, springs, wheels, rightAngles, angles, quadratics;
    int particleTotal = 0, springTotal = 0, wheelTotal = 0, rightAngleTotal = 0, angleTotal = 0,
        quadraticTotal = 0;
};

// A truck of 188 particles resting (wheels 1 cm above the flat strip) with its
// centre over (centreX, centreZ). Wheels 0..3: front left, front right, rear
// left, rear right; angle joints 0 and 1 steer the front wheels. A positive
// drive rolls it towards +x.
inline ModelBuilder truckModel(float centreX = 0.0f, float centreZ = 0.0f) {
    ModelBuilder m;
    const float radius = 0.45f;
    const float halfWidth = 0.15f; // wheel
    const float axleY = radius + 0.01f;
    const int rimPerSide = 16;

    // Chassis lattice: 8 x 2 x 3 nodes, 0.5 m apart along x, 0.4 m in y, 1 m in z.
    const int nx = 8, ny = 2, nz = 3;
    int chassis[nx][ny][nz];
    for (int i = 0; i < nx; ++i) {
        for (int j = 0; j < ny; ++j) {
            for (int k = 0; k < nz; ++k) {
                chassis[i][j][k] = m.particle(
                    Vec3(centreX - 1.75f + 0.5f * i, 0.9f + 0.4f * j, centreZ - 1.0f + 1.0f * k),
                    2.0f);
            }
        }
    }
    for (int i = 0; i < nx; ++i) {
        for (int j = 0; j < ny; ++j) {
            for (int k = 0; k < nz; ++k) {
                for (int di = -1; di <= 1; ++di) {
                    for (int dj = -1; dj <= 1; ++dj) {
                        for (int dk = -1; dk <= 1; ++dk) {
                            const int i2 = i + di, j2 = j + dj, k2 = k + dk;
                            if (i2 < 0 || i2 >= nx || j2 < 0 || j2 >= ny || k2 < 0 || k2 >= nz) {
                                continue;
                            }
                            if (chassis[i2][j2][k2] <= chassis[i][j][k]) {
                                continue;
                            }
                            m.spring(chassis[i][j][k], chassis[i2][j2][k2], 1.0e5f, 2.0f);
                        }
                    }
                }
            }
        }
    }
    // Right angles at the bottom corners of the lattice.
    for (int i = 0; i + 1 < nx; i += 2) {
        m.rightAngle(chassis[i + 1][0][0], chassis[i][0][0], chassis[i][0][1]);
        m.rightAngle(chassis[i + 1][0][2], chassis[i][0][2], chassis[i][0][1]);
    }

    // Wheels: hubA on the -z side, hubB on the +z side, so that a positive
    // torque pushes the contact patch towards -x and the truck towards +x.
    const float wheelX[4] = {1.25f, 1.25f, -1.25f, -1.25f};
    const float wheelZ[4] = {-1.2f, 1.2f, -1.2f, 1.2f};
    const int anchorI[4] = {6, 6, 1, 1};
    const int anchorK[4] = {0, 2, 0, 2};
    int hubA[4], hubB[4];
    for (int w = 0; w < 4; ++w) {
        const float cx = centreX + wheelX[w];
        const float cz = centreZ + wheelZ[w];
        hubA[w] = m.particle(Vec3(cx, axleY, cz - halfWidth), 1.0f);
        hubB[w] = m.particle(Vec3(cx, axleY, cz + halfWidth), 1.0f);
        int ringA[rimPerSide], ringB[rimPerSide];
        std::vector<int> rim;
        for (int side = 0; side < 2; ++side) {
            for (int r = 0; r < rimPerSide; ++r) {
                const float angle = 6.2831853f * static_cast<float>(r) / rimPerSide;
                const int p =
                    m.particle(Vec3(cx + radius * std::sin(angle), axleY - radius * std::cos(angle),
                                    cz + (side == 0 ? -halfWidth : halfWidth)),
                               0.2f);
                (side == 0 ? ringA : ringB)[r] = p;
                rim.push_back(p);
            }
        }
        m.spring(hubA[w], hubB[w], 1.0e5f, 10.0f);
        for (int r = 0; r < rimPerSide; ++r) {
            const int next = (r + 1) % rimPerSide;
            m.spring(ringA[r], hubA[w], 2.0e4f, 5.0f);
            m.spring(ringA[r], hubB[w], 2.0e4f, 5.0f);
            m.spring(ringB[r], hubA[w], 2.0e4f, 5.0f);
            m.spring(ringB[r], hubB[w], 2.0e4f, 5.0f);
            m.spring(ringA[r], ringA[next], 2.0e4f, 5.0f);
            m.spring(ringB[r], ringB[next], 2.0e4f, 5.0f);
            m.spring(ringA[r], ringB[r], 2.0e4f, 5.0f);
            m.spring(ringA[r], ringB[next], 2.0e4f, 5.0f);
            m.spring(ringB[r], ringA[next], 2.0e4f, 5.0f);
        }
        m.wheel(hubA[w], hubB[w], rim);
        // Suspension: both hubs to the four lattice nodes around the wheel's
        // inner side, and a bump stop from the inner hub to the node above.
        const int inner = wheelZ[w] < 0.0f ? hubB[w] : hubA[w];
        const int outer = wheelZ[w] < 0.0f ? hubA[w] : hubB[w];
        for (int di = -1; di <= 1; di += 2) {
            for (int j = 0; j < ny; ++j) {
                m.spring(inner, chassis[anchorI[w] + (di > 0 ? 1 : -1)][j][anchorK[w]], 1.0e4f,
                         30.0f);
                m.spring(outer, chassis[anchorI[w] + (di > 0 ? 1 : -1)][j][anchorK[w]], 1.0e4f,
                         30.0f);
            }
        }
        m.quadratic(inner, chassis[anchorI[w]][0][anchorK[w]], 1.0e5f);
    }
    // Steering arms on the front wheels: the angle at the inner hub between
    // the arm and the outer hub is 90 degrees at rest.
    for (int w = 0; w < 2; ++w) {
        const int inner = wheelZ[w] < 0.0f ? hubB[w] : hubA[w];
        const int outer = wheelZ[w] < 0.0f ? hubA[w] : hubB[w];
        const float cz = centreZ + wheelZ[w] + (wheelZ[w] < 0.0f ? halfWidth : -halfWidth);
        const int arm = m.particle(Vec3(centreX + wheelX[w] + 0.4f, axleY, cz), 0.2f);
        m.spring(arm, inner, 2.0e4f, 5.0f);
        m.spring(arm, chassis[anchorI[w] + 1][0][anchorK[w]], 1.0e4f, 10.0f);
        m.spring(arm, chassis[anchorI[w] + 1][1][anchorK[w]], 1.0e4f, 10.0f);
        m.angle(arm, inner, outer);
    }
    return m;
}
