// CollisionSurface: the triangles over a body's particles that other bodies
// collide with. Each triangle names three particles, counter-clockwise seen
// from outside, so its normal (b - a) x (c - a) points out of the body. A
// model gives its surface in a `surface` section; a model without one gets
// the convex hull of its rest shape.
#pragma once

#include "math/Vec3.h"

struct SurfaceTriangle {
    int a = 0;
    int b = 0;
    int c = 0;
};

class CollisionSurface {
  public:
    CollisionSurface() = default;
    ~CollisionSurface();
    CollisionSurface(const CollisionSurface& other);
    CollisionSurface& operator=(const CollisionSurface& other);

    // Takes a copy of count triangles. False when memory runs out (the
    // surface is then empty).
    bool assign(const SurfaceTriangle* triangles, int count);
    // The convex hull of the given points, its faces turned outwards.
    // Points inside the hull or on its faces name no triangle. False, with an
    // empty surface, for fewer than four points not all in one plane, or when
    // memory runs out.
    bool buildHull(const Vec3* points, int count);
    void clear();

    const SurfaceTriangle* triangles() const { return list; }
    int triangleCount() const { return count; }
    // True when it came from the model file rather than from the rest shape.
    bool authored = false;

  private:
    SurfaceTriangle* list = nullptr;
    int count = 0;
};

// What a model's author should know about a surface on its rest shape.
struct SurfaceFindings {
    int degenerate = 0; // triangles of (nearly) no area
    int firstDegenerate = -1;
    int insideOut = 0; // triangles whose normal points into the body
    int firstInsideOut = -1;
    int uncovered = 0; // particles on the outside of the body no triangle names
    int firstUncovered = -1;
    bool facesInwards = false; // the enclosed volume is negative: every face turned
};

// Looks at the surface on the particles' positions (the rest shape). A
// triangle is degenerate when its area is below 1 mm^2; inside out when its
// normal points towards the middle of its part (the triangles joined to it
// through shared particles: sound for convex parts, a hint for others); a
// particle is uncovered when it is a corner of
// the rest shape's convex hull, where another body meets it first, and no
// triangle names it.
SurfaceFindings inspectSurface(const CollisionSurface& surface, const Vec3* positions, int count);
