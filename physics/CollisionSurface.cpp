// CollisionSurface: the triangle list, the convex hull of a rest shape
// (incremental, in double precision) and the author's findings.
#include "physics/CollisionSurface.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

namespace {

struct Point3 {
    double x, y, z;
};

Point3 toPoint(const Vec3& v) {
    return Point3{v.x, v.y, v.z};
}
Point3 minus(const Point3& a, const Point3& b) {
    return Point3{a.x - b.x, a.y - b.y, a.z - b.z};
}
Point3 crossOf(const Point3& a, const Point3& b) {
    return Point3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double dotOf(const Point3& a, const Point3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
double lengthOf(const Point3& a) {
    return std::sqrt(dotOf(a, a));
}

struct HullFace {
    int v[3];
    Point3 normal; // unit, outwards
    double offset; // normal . any corner
};

bool makeFace(const std::vector<Point3>& p, int a, int b, int c, HullFace& face) {
    const Point3 n = crossOf(minus(p[b], p[a]), minus(p[c], p[a]));
    const double length = lengthOf(n);
    if (!(length > 0.0)) {
        return false;
    }
    face.v[0] = a;
    face.v[1] = b;
    face.v[2] = c;
    face.normal = Point3{n.x / length, n.y / length, n.z / length};
    face.offset = dotOf(face.normal, p[a]);
    return true;
}

// The hull's faces as index triples; empty when the points span no volume.
std::vector<HullFace> convexHull(const std::vector<Point3>& p) {
    std::vector<HullFace> faces;
    const int n = static_cast<int>(p.size());
    if (n < 4) {
        return faces;
    }
    double extent = 0.0;
    for (const Point3& q : p) {
        extent = std::max(
            {extent, std::fabs(q.x - p[0].x), std::fabs(q.y - p[0].y), std::fabs(q.z - p[0].z)});
    }
    // Points closer than this to a face's plane count as on it: on a box
    // built of rows of nodes most nodes lie on a face.
    const double epsilon = 1e-7 * std::max(extent, 1e-3);

    // A first tetrahedron from far-apart points.
    int i0 = 0;
    int i1 = -1;
    double best = 0.0;
    for (int i = 1; i < n; ++i) {
        const double d = lengthOf(minus(p[i], p[i0]));
        if (d > best) {
            best = d;
            i1 = i;
        }
    }
    if (i1 < 0 || best <= epsilon) {
        return faces;
    }
    int i2 = -1;
    best = 0.0;
    for (int i = 0; i < n; ++i) {
        const double d = lengthOf(crossOf(minus(p[i1], p[i0]), minus(p[i], p[i0])));
        if (d > best) {
            best = d;
            i2 = i;
        }
    }
    if (i2 < 0 || best <= epsilon * extent) {
        return faces;
    }
    const Point3 baseNormal = crossOf(minus(p[i1], p[i0]), minus(p[i2], p[i0]));
    int i3 = -1;
    best = 0.0;
    for (int i = 0; i < n; ++i) {
        const double d = std::fabs(dotOf(baseNormal, minus(p[i], p[i0])));
        if (d > best) {
            best = d;
            i3 = i;
        }
    }
    if (i3 < 0 || best / lengthOf(baseNormal) <= epsilon) {
        return faces;
    }
    if (dotOf(baseNormal, minus(p[i3], p[i0])) > 0.0) {
        std::swap(i1, i2); // the base faces away from the fourth corner
    }
    const int start[4][3] = {{i0, i1, i2}, {i0, i3, i1}, {i1, i3, i2}, {i2, i3, i0}};
    for (const auto& f : start) {
        HullFace face;
        if (!makeFace(p, f[0], f[1], f[2], face)) {
            return std::vector<HullFace>();
        }
        faces.push_back(face);
    }

    std::vector<char> visible;
    std::vector<int> horizon;
    for (int i = 0; i < n; ++i) {
        if (i == i0 || i == i1 || i == i2 || i == i3) {
            continue;
        }
        visible.assign(faces.size(), 0);
        bool any = false;
        for (size_t f = 0; f < faces.size(); ++f) {
            if (dotOf(faces[f].normal, p[i]) - faces[f].offset > epsilon) {
                visible[f] = 1;
                any = true;
            }
        }
        if (!any) {
            continue; // inside the hull or on it
        }
        // Edges of visible faces whose reverse belongs to no visible face
        // border the hole; each gets a new face to the point.
        horizon.clear();
        for (size_t f = 0; f < faces.size(); ++f) {
            if (!visible[f]) {
                continue;
            }
            for (int e = 0; e < 3; ++e) {
                const int u = faces[f].v[e];
                const int w = faces[f].v[(e + 1) % 3];
                bool shared = false;
                for (size_t g = 0; g < faces.size() && !shared; ++g) {
                    if (!visible[g] || g == f) {
                        continue;
                    }
                    for (int k = 0; k < 3; ++k) {
                        if (faces[g].v[k] == w && faces[g].v[(k + 1) % 3] == u) {
                            shared = true;
                            break;
                        }
                    }
                }
                if (!shared) {
                    horizon.push_back(u);
                    horizon.push_back(w);
                }
            }
        }
        size_t kept = 0;
        for (size_t f = 0; f < faces.size(); ++f) {
            if (!visible[f]) {
                faces[kept++] = faces[f];
            }
        }
        faces.resize(kept);
        for (size_t e = 0; e + 1 < horizon.size(); e += 2) {
            HullFace face;
            if (makeFace(p, horizon[e], horizon[e + 1], i, face)) {
                faces.push_back(face);
            }
        }
    }
    return faces;
}

} // namespace

CollisionSurface::~CollisionSurface() {
    clear();
}

CollisionSurface::CollisionSurface(const CollisionSurface& other) {
    *this = other;
}

CollisionSurface& CollisionSurface::operator=(const CollisionSurface& other) {
    if (this != &other) {
        assign(other.list, other.count);
        authored = other.authored;
    }
    return *this;
}

void CollisionSurface::clear() {
    delete[] list;
    list = nullptr;
    count = 0;
    authored = false;
}

bool CollisionSurface::assign(const SurfaceTriangle* triangles, int triangleTotal) {
    delete[] list;
    list = nullptr;
    count = 0;
    if (triangleTotal <= 0) {
        return true;
    }
    list = new (std::nothrow) SurfaceTriangle[triangleTotal];
    if (!list) {
        return false;
    }
    std::copy(triangles, triangles + triangleTotal, list);
    count = triangleTotal;
    return true;
}

bool CollisionSurface::buildHull(const Vec3* points, int pointCount) {
    clear();
    std::vector<Point3> p;
    p.reserve(static_cast<size_t>(std::max(pointCount, 0)));
    for (int i = 0; i < pointCount; ++i) {
        p.push_back(toPoint(points[i]));
    }
    const std::vector<HullFace> faces = convexHull(p);
    if (faces.empty()) {
        return false;
    }
    std::vector<SurfaceTriangle> triangles;
    for (const HullFace& face : faces) {
        triangles.push_back(SurfaceTriangle{face.v[0], face.v[1], face.v[2]});
    }
    return assign(triangles.data(), static_cast<int>(triangles.size()));
}

SurfaceFindings inspectSurface(const CollisionSurface& surface, const Vec3* positions, int count) {
    SurfaceFindings findings;
    if (count <= 0) {
        return findings;
    }
    std::vector<Point3> p;
    Point3 mean{0.0, 0.0, 0.0};
    for (int i = 0; i < count; ++i) {
        p.push_back(toPoint(positions[i]));
        mean.x += p.back().x / count;
        mean.y += p.back().y / count;
        mean.z += p.back().z / count;
    }
    std::vector<char> named(static_cast<size_t>(count), 0);
    double volume = 0.0;
    const SurfaceTriangle* triangles = surface.triangles();
    const int triangleTotal = surface.triangleCount();
    // The surface's parts: particles joined by a triangle belong together
    // (union-find); each part is judged about its own middle, so the faces
    // of a wheel beside the body are not taken for the body's.
    std::vector<int> part(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        part[i] = i;
    }
    auto root = [&part](int i) {
        while (part[i] != i) {
            part[i] = part[part[i]];
            i = part[i];
        }
        return i;
    };
    for (int t = 0; t < triangleTotal; ++t) {
        const SurfaceTriangle& tri = triangles[t];
        part[root(tri.b)] = root(tri.a);
        part[root(tri.c)] = root(tri.a);
    }
    std::vector<Point3> partSum(static_cast<size_t>(count), Point3{0.0, 0.0, 0.0});
    std::vector<int> partCount(static_cast<size_t>(count), 0);
    for (int t = 0; t < triangleTotal; ++t) {
        const SurfaceTriangle& tri = triangles[t];
        const int corners[3] = {tri.a, tri.b, tri.c};
        for (int v : corners) {
            if (!named[v]) {
                named[v] = 1;
                const int r = root(v);
                partSum[r].x += p[v].x;
                partSum[r].y += p[v].y;
                partSum[r].z += p[v].z;
                ++partCount[r];
            }
        }
    }
    for (int t = 0; t < triangleTotal; ++t) {
        const SurfaceTriangle& tri = triangles[t];
        const Point3 n = crossOf(minus(p[tri.b], p[tri.a]), minus(p[tri.c], p[tri.a]));
        volume += dotOf(n, minus(p[tri.a], mean)) / 6.0;
        // Twice the area below 1 mm^2.
        if (lengthOf(n) < 2e-6) {
            if (findings.degenerate++ == 0) {
                findings.firstDegenerate = t;
            }
            continue;
        }
        const int r = root(tri.a);
        const Point3 middle{partSum[r].x / partCount[r], partSum[r].y / partCount[r],
                            partSum[r].z / partCount[r]};
        const Point3 centre{(p[tri.a].x + p[tri.b].x + p[tri.c].x) / 3.0,
                            (p[tri.a].y + p[tri.b].y + p[tri.c].y) / 3.0,
                            (p[tri.a].z + p[tri.b].z + p[tri.c].z) / 3.0};
        if (dotOf(n, minus(centre, middle)) < 0.0) {
            if (findings.insideOut++ == 0) {
                findings.firstInsideOut = t;
            }
        }
    }
    findings.facesInwards = surface.triangleCount() > 0 && volume < 0.0;
    for (const HullFace& face : convexHull(p)) {
        for (int k = 0; k < 3; ++k) {
            const int v = face.v[k];
            if (!named[v]) {
                named[v] = 1; // counted once
                if (findings.uncovered++ == 0 || v < findings.firstUncovered) {
                    findings.firstUncovered = v;
                }
            }
        }
    }
    return findings;
}
