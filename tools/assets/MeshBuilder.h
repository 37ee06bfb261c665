// MeshBuilder: collects one mesh object (positions in scene units, texture
// coordinates, triangles wound counter-clockwise seen from outside) from
// simple parts, and converts it to 3DS file coordinates. Flat parts get
// their own vertices so their edges stay sharp under smooth vertex normals;
// curved patches share theirs.
#pragma once

#include "math/Vec3.h"

#include <functional>
#include <vector>

class MeshBuilder {
  public:
    // texelSize: scene units covered by one repeat of the texture for the
    // planar projections of panel() and box().
    explicit MeshBuilder(float texelSize = 90.0f) : textureSpan(texelSize) {}

    int vertex(const Vec3& p, float u, float v);
    void triangle(int a, int b, int c);
    // Two triangles (a, b, c) and (a, c, d).
    void quad(int a, int b, int c, int d);

    // A flat quadrilateral with its own four vertices, corners given
    // counter-clockwise seen from the side it faces; texture coordinates
    // projected on the plane its normal is closest to.
    void panel(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3);
    // The same quadrilateral facing both ways.
    void panelTwoSided(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3);
    // An axis-aligned box, faces outwards.
    void box(const Vec3& low, const Vec3& high);
    // A box given by its centre, half sizes and a rotation of angle radians
    // about the x axis (for tilted parts such as seat backs).
    void tiltedBox(const Vec3& centre, const Vec3& half, float angle);
    // A (columns + 1) x (rows + 1) grid of shared vertices from surface(s, t)
    // with s, t in 0..1; the faces point along d/ds x d/dt unless flip is set.
    // Texture coordinates are (s * uSpan, t * vSpan).
    void patch(int columns, int rows, const std::function<Vec3(float, float)>& surface, bool flip,
               float uSpan, float vSpan);
    // A closed tube of the given radius around the segment from a to b, with
    // end caps.
    void cylinder(const Vec3& a, const Vec3& b, float radius, int segments);

    const std::vector<Vec3>& positions() const { return points; }
    const std::vector<float>& texCoords() const { return uvs; }
    const std::vector<unsigned>& indices() const { return faces; }
    int vertexCount() const { return static_cast<int>(points.size()); }

    // Moves vertex `from` to index `to`, shifting the vertices in between up
    // by one and renumbering the triangles. Requires to <= from.
    bool moveVertex(int from, int to);

    // Positions in file units: a scene point (x, y, z) is written as
    // (-x, z, y) / scale, which the loader's (-x, z, y) * scale undoes.
    std::vector<Vec3> filePositions(float scale) const;

  private:
    void planarUv(const Vec3& p, const Vec3& normal, float& u, float& v) const;

    float textureSpan;
    std::vector<Vec3> points;
    std::vector<float> uvs;
    std::vector<unsigned> faces;
};
