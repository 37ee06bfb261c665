// MeshBuilder: the part generators and the conversion to file units.
#include "tools/assets/MeshBuilder.h"

#include <cmath>

int MeshBuilder::vertex(const Vec3& p, float u, float v) {
    points.push_back(p);
    uvs.push_back(u);
    uvs.push_back(v);
    return static_cast<int>(points.size()) - 1;
}

void MeshBuilder::triangle(int a, int b, int c) {
    faces.push_back(static_cast<unsigned>(a));
    faces.push_back(static_cast<unsigned>(b));
    faces.push_back(static_cast<unsigned>(c));
}

void MeshBuilder::quad(int a, int b, int c, int d) {
    triangle(a, b, c);
    triangle(a, c, d);
}

void MeshBuilder::planarUv(const Vec3& p, const Vec3& normal, float& u, float& v) const {
    float ax = std::fabs(normal.x);
    float ay = std::fabs(normal.y);
    float az = std::fabs(normal.z);
    // Project along the dominant axis of the normal, so the texture keeps its
    // proportions on every face of a box.
    if (ax >= ay && ax >= az) {
        u = p.z / textureSpan;
        v = -p.y / textureSpan;
    } else if (ay >= az) {
        u = p.x / textureSpan;
        v = p.z / textureSpan;
    } else {
        u = p.x / textureSpan;
        v = -p.y / textureSpan;
    }
}

void MeshBuilder::panel(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3) {
    Vec3 normal = cross(p1 - p0, p2 - p0) + cross(p2 - p0, p3 - p0);
    const Vec3* corners[4] = {&p0, &p1, &p2, &p3};
    int index[4];
    for (int i = 0; i < 4; ++i) {
        float u;
        float v;
        planarUv(*corners[i], normal, u, v);
        index[i] = vertex(*corners[i], u, v);
    }
    quad(index[0], index[1], index[2], index[3]);
}

void MeshBuilder::panelTwoSided(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3) {
    panel(p0, p1, p2, p3);
    panel(p3, p2, p1, p0);
}

void MeshBuilder::box(const Vec3& lo, const Vec3& hi) {
    Vec3 c[8];
    for (int i = 0; i < 8; ++i) {
        c[i] = Vec3((i & 1) ? hi.x : lo.x, (i & 2) ? hi.y : lo.y, (i & 4) ? hi.z : lo.z);
    }
    panel(c[0], c[4], c[6], c[2]); // -x
    panel(c[1], c[3], c[7], c[5]); // +x
    panel(c[0], c[1], c[5], c[4]); // -y
    panel(c[2], c[6], c[7], c[3]); // +y
    panel(c[0], c[2], c[3], c[1]); // -z
    panel(c[4], c[5], c[7], c[6]); // +z
}

void MeshBuilder::tiltedBox(const Vec3& centre, const Vec3& half, float angle) {
    float cs = std::cos(angle);
    float sn = std::sin(angle);
    Vec3 c[8];
    for (int i = 0; i < 8; ++i) {
        Vec3 local((i & 1) ? half.x : -half.x, (i & 2) ? half.y : -half.y,
                   (i & 4) ? half.z : -half.z);
        // Rotation about x: y' = y cos - z sin, z' = y sin + z cos.
        c[i] = centre + Vec3(local.x, local.y * cs - local.z * sn, local.y * sn + local.z * cs);
    }
    panel(c[0], c[4], c[6], c[2]);
    panel(c[1], c[3], c[7], c[5]);
    panel(c[0], c[1], c[5], c[4]);
    panel(c[2], c[6], c[7], c[3]);
    panel(c[0], c[2], c[3], c[1]);
    panel(c[4], c[5], c[7], c[6]);
}

void MeshBuilder::patch(int columns, int rows, const std::function<Vec3(float, float)>& surface,
                        bool flip, float uSpan, float vSpan) {
    int first = vertexCount();
    for (int j = 0; j <= rows; ++j) {
        for (int i = 0; i <= columns; ++i) {
            float s = static_cast<float>(i) / columns;
            float t = static_cast<float>(j) / rows;
            vertex(surface(s, t), s * uSpan, t * vSpan);
        }
    }
    for (int j = 0; j < rows; ++j) {
        for (int i = 0; i < columns; ++i) {
            int a = first + j * (columns + 1) + i;
            int b = a + 1;
            int c = b + columns + 1;
            int d = a + columns + 1;
            if (flip) {
                quad(a, d, c, b);
            } else {
                quad(a, b, c, d);
            }
        }
    }
}

void MeshBuilder::cylinder(const Vec3& a, const Vec3& b, float radius, int segments) {
    Vec3 axis = normalized(b - a);
    Vec3 helper = std::fabs(axis.y) < 0.9f ? Vec3(0, 1, 0) : Vec3(1, 0, 0);
    Vec3 side = normalized(cross(axis, helper));
    Vec3 up = cross(side, axis);
    const float twoPi = 6.28318531f;
    auto ring = [&](float s) {
        float angle = s * twoPi;
        return side * (radius * std::cos(angle)) + up * (radius * std::sin(angle));
    };
    // Mantle: s runs round the axis, t from a to b; the faces point outwards.
    patch(
        segments, 1, [&](float s, float t) { return a + (b - a) * t + ring(s); }, true, 1.0f, 1.0f);
    for (int end = 0; end < 2; ++end) {
        const Vec3& centre = end == 0 ? a : b;
        int middle = vertex(centre, 0.5f, 0.5f);
        int first = vertexCount();
        for (int i = 0; i < segments; ++i) {
            Vec3 r = ring(static_cast<float>(i) / segments);
            vertex(centre + r, 0.5f + 0.5f * dot(r, side) / radius,
                   0.5f + 0.5f * dot(r, up) / radius);
        }
        for (int i = 0; i < segments; ++i) {
            int p = first + i;
            int q = first + (i + 1) % segments;
            if (end == 0) {
                triangle(middle, p, q);
            } else {
                triangle(middle, q, p);
            }
        }
    }
}

bool MeshBuilder::moveVertex(int from, int to) {
    int n = vertexCount();
    if (from < 0 || from >= n || to < 0 || to > from) {
        return false;
    }
    Vec3 moved = points[from];
    float u = uvs[2 * from];
    float v = uvs[2 * from + 1];
    for (int i = from; i > to; --i) {
        points[i] = points[i - 1];
        uvs[2 * i] = uvs[2 * i - 2];
        uvs[2 * i + 1] = uvs[2 * i - 1];
    }
    points[to] = moved;
    uvs[2 * to] = u;
    uvs[2 * to + 1] = v;
    for (unsigned& index : faces) {
        int k = static_cast<int>(index);
        if (k == from) {
            index = static_cast<unsigned>(to);
        } else if (k >= to && k < from) {
            index = static_cast<unsigned>(k + 1);
        }
    }
    return true;
}

std::vector<Vec3> MeshBuilder::filePositions(float scale) const {
    std::vector<Vec3> out;
    out.reserve(points.size());
    for (const Vec3& p : points) {
        out.push_back(Vec3(-p.x / scale, p.z / scale, p.y / scale));
    }
    return out;
}
