// BodyShape: the body particles, and the rigid least-squares fit that the
// deviation is measured after (Horn's quaternion method, the eigenvector by
// Jacobi rotations in double precision).
#include "physics/BodyShape.h"

#include "physics/PhysicsWorld.h"

#include <cmath>
#include <new>

BodyShape::~BodyShape() {
    delete[] particles;
    delete[] rest;
}

bool BodyShape::bind(PhysicsWorld& world) {
    delete[] particles;
    delete[] rest;
    particles = nullptr;
    rest = nullptr;
    count = 0;
    PhysicsWorld& w = world;
    const int n = w.particleCount();
    bool* onRim = new (std::nothrow) bool[n > 0 ? n : 1]();
    if (!onRim) {
        return false;
    }
    for (int k = 0; k < w.wheelCount(); ++k) {
        const Wheel& wheel = w.wheels()[k];
        for (int r = 0; r < wheel.rimCount; ++r) {
            onRim[wheel.rim[r]] = true;
        }
    }
    int body = 0;
    for (int i = 0; i < n; ++i) {
        body += onRim[i] ? 0 : 1;
    }
    particles = new (std::nothrow) int[body > 0 ? body : 1];
    rest = new (std::nothrow) Vec3[body > 0 ? body : 1];
    if (!particles || !rest || w.restShape() == nullptr) {
        delete[] onRim;
        return false;
    }
    for (int i = 0; i < n; ++i) {
        if (!onRim[i]) {
            particles[count] = i;
            rest[count] = w.restShape()[i];
            ++count;
        }
    }
    delete[] onRim;
    return true;
}

void bestRotation(const double h[9], double rotation[9]) {
    const double sxx = h[0], sxy = h[1], sxz = h[2];
    const double syx = h[3], syy = h[4], syz = h[5];
    const double szx = h[6], szy = h[7], szz = h[8];
    // Horn's symmetric matrix: its largest eigenvector is the quaternion of
    // the best rotation.
    double a[4][4] = {{sxx + syy + szz, syz - szy, szx - sxz, sxy - syx},
                      {syz - szy, sxx - syy - szz, sxy + syx, szx + sxz},
                      {szx - sxz, sxy + syx, -sxx + syy - szz, syz + szy},
                      {sxy - syx, szx + sxz, syz + szy, -sxx - syy + szz}};
    double v[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    for (int sweep = 0; sweep < 50; ++sweep) {
        double off = 0.0;
        for (int p = 0; p < 4; ++p) {
            for (int q = p + 1; q < 4; ++q) {
                off += a[p][q] * a[p][q];
            }
        }
        if (off < 1e-30) {
            break;
        }
        for (int p = 0; p < 4; ++p) {
            for (int q = p + 1; q < 4; ++q) {
                if (std::fabs(a[p][q]) < 1e-300) {
                    continue;
                }
                // The rotation in the (p, q) plane that zeroes a[p][q].
                const double theta = (a[q][q] - a[p][p]) / (2.0 * a[p][q]);
                const double t = (theta >= 0.0 ? 1.0 : -1.0) /
                                 (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0);
                const double s = t * c;
                for (int k = 0; k < 4; ++k) {
                    const double akp = a[k][p];
                    const double akq = a[k][q];
                    a[k][p] = c * akp - s * akq;
                    a[k][q] = s * akp + c * akq;
                }
                for (int k = 0; k < 4; ++k) {
                    const double apk = a[p][k];
                    const double aqk = a[q][k];
                    a[p][k] = c * apk - s * aqk;
                    a[q][k] = s * apk + c * aqk;
                }
                for (int k = 0; k < 4; ++k) {
                    const double vkp = v[k][p];
                    const double vkq = v[k][q];
                    v[k][p] = c * vkp - s * vkq;
                    v[k][q] = s * vkp + c * vkq;
                }
            }
        }
    }
    int best = 0;
    for (int k = 1; k < 4; ++k) {
        if (a[k][k] > a[best][best]) {
            best = k;
        }
    }
    double w = v[0][best], x = v[1][best], y = v[2][best], z = v[3][best];
    const double norm = std::sqrt(w * w + x * x + y * y + z * z);
    w /= norm;
    x /= norm;
    y /= norm;
    z /= norm;
    rotation[0] = 1 - 2 * (y * y + z * z);
    rotation[1] = 2 * (x * y - w * z);
    rotation[2] = 2 * (x * z + w * y);
    rotation[3] = 2 * (x * y + w * z);
    rotation[4] = 1 - 2 * (x * x + z * z);
    rotation[5] = 2 * (y * z - w * x);
    rotation[6] = 2 * (x * z - w * y);
    rotation[7] = 2 * (y * z + w * x);
    rotation[8] = 1 - 2 * (x * x + y * y);
}

double BodyShape::deviation(const Vec3* positions) const {
    if (count == 0) {
        return 0.0;
    }
    double restCentre[3] = {0, 0, 0};
    double centre[3] = {0, 0, 0};
    for (int k = 0; k < count; ++k) {
        const Vec3& r = rest[k];
        const Vec3& p = positions[particles[k]];
        restCentre[0] += r.x;
        restCentre[1] += r.y;
        restCentre[2] += r.z;
        centre[0] += p.x;
        centre[1] += p.y;
        centre[2] += p.z;
    }
    for (int i = 0; i < 3; ++i) {
        restCentre[i] /= count;
        centre[i] /= count;
    }
    double h[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (int k = 0; k < count; ++k) {
        const Vec3& r = rest[k];
        const Vec3& p = positions[particles[k]];
        const double from[3] = {r.x - restCentre[0], r.y - restCentre[1], r.z - restCentre[2]};
        const double to[3] = {p.x - centre[0], p.y - centre[1], p.z - centre[2]};
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                h[3 * i + j] += from[i] * to[j];
            }
        }
    }
    double rotation[9];
    bestRotation(h, rotation);
    double sum = 0.0;
    for (int k = 0; k < count; ++k) {
        const Vec3& r = rest[k];
        const Vec3& p = positions[particles[k]];
        const double from[3] = {r.x - restCentre[0], r.y - restCentre[1], r.z - restCentre[2]};
        for (int i = 0; i < 3; ++i) {
            const double fitted = rotation[3 * i] * from[0] + rotation[3 * i + 1] * from[1] +
                                  rotation[3 * i + 2] * from[2] + centre[i];
            const double left = (i == 0 ? p.x : i == 1 ? p.y : p.z) - fitted;
            sum += left * left;
        }
    }
    return std::sqrt(sum / count);
}
