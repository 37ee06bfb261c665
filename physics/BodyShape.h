// BodyShape: how far a soft body is bent from its rest shape. The particles
// that are not on a wheel's rim (rims roll and flex, they are not the body)
// are fitted rigidly to their rest positions, and the root mean square of
// what is left over is the body's deviation. Nothing is allocated per call.
#pragma once

#include "math/Vec3.h"

class PhysicsWorld;

class BodyShape {
  public:
    BodyShape() = default;
    ~BodyShape();
    BodyShape(const BodyShape&) = delete;
    BodyShape& operator=(const BodyShape&) = delete;

    // Marks the world's body particles (those on no wheel's rim) and keeps
    // its rest shape. False when memory runs out.
    bool bind(PhysicsWorld& world);
    // RMS distance (m) of the body particles from their rest shape after the
    // rotation and translation that fit them best (least squares).
    double deviation(const Vec3* positions) const;
    int bodyCount() const { return count; }
    const int* bodyParticles() const { return particles; }

  private:
    int* particles = nullptr; // indices of the body particles
    Vec3* rest = nullptr;     // their rest positions, m
    int count = 0;
};

// The rotation (as a row-major 3 x 3) that best carries the points `from`
// onto `to` about their centroids, both given relative to their centroids,
// by the largest eigenvector of Horn's 4 x 4 matrix of their correlation
// `h` (h[3 * i + j] = sum of from_i * to_j).
void bestRotation(const double h[9], double rotation[9]);
