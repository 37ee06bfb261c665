// EdgeSkirt: building the four faces of the grid's edge.
#include "scene/EdgeSkirt.h"

#include "physics/Terrain.h"
#include "render/Mesh.h"
#include "scene/RenderScale.h"

namespace {
// Sample k of the row `in` samples inside side `side` (0: j = 0, 1: i = last,
// 2: j = last, 3: i = 0), walked so that consecutive samples run
// anticlockwise seen from above; row 0 is the edge itself.
Vec3 edgeSample(const Terrain& terrain, int side, int k, int in) {
    const int last = Terrain::sampleCount - 1;
    switch (side) {
    case 0:
        return terrain.gridPoint(k, in);
    case 1:
        return terrain.gridPoint(last - in, k);
    case 2:
        return terrain.gridPoint(last - k, last - in);
    default:
        return terrain.gridPoint(in, last - k);
    }
}

// Appends the two triangles of quad (a0, b0, b1, a1), wound so that its
// normal points along `facing`.
void addQuad(const Vec3* vertices, uint32_t a0, uint32_t b0, uint32_t b1, uint32_t a1, Vec3 facing,
             uint32_t* out) {
    const bool flip =
        dot(cross(vertices[b0] - vertices[a0], vertices[b1] - vertices[a0]), facing) < 0.0f;
    const uint32_t quad[6] = {a0, b0, b1, a0, b1, a1};
    for (int v = 0; v < 6; ++v) {
        out[v] = quad[flip ? 5 - v : v];
    }
}
} // namespace

bool buildEdgeSkirt(Mesh* mesh, const Terrain& terrain) {
    const int samples = Terrain::sampleCount;
    const int segments = samples - 1;
    // Per side four rows of vertices: the face's top and bottom, and the
    // band's outer and inner edge; a face and a band of quads.
    if (!mesh->allocate(4 * 4 * samples, 4 * 4 * segments, 2)) {
        return false;
    }
    float lowest = terrain.height(0, 0);
    for (int i = 0; i < samples; ++i) {
        for (int j = 0; j < samples; ++j) {
            lowest = terrain.height(i, j) < lowest ? terrain.height(i, j) : lowest;
        }
    }
    const float bottom = (lowest - edgeSkirtDepth) * renderScale;
    const Vec3 bandLift(0.0f, edgeBandLift * renderScale, 0.0f);
    // The grid's centre, to tell outwards from inwards.
    const Vec3 centre = (terrain.gridPoint(0, 0) + terrain.gridPoint(segments, segments)) * 0.5f;
    uint32_t* triangle = mesh->indices;
    for (int side = 0; side < 4; ++side) {
        const uint32_t top = static_cast<uint32_t>(side * 4 * samples);
        const uint32_t low = top + static_cast<uint32_t>(samples);
        const uint32_t outer = low + static_cast<uint32_t>(samples);
        const uint32_t inner = outer + static_cast<uint32_t>(samples);
        for (int k = 0; k < samples; ++k) {
            const Vec3 edge = edgeSample(terrain, side, k, 0) * renderScale;
            mesh->vertices[top + k] = edge;
            mesh->vertices[low + k] = Vec3(edge.x, bottom, edge.z);
            mesh->vertices[outer + k] = edge + bandLift;
            mesh->vertices[inner + k] = edgeSample(terrain, side, k, 1) * renderScale + bandLift;
        }
        const Vec3 outwards = edgeSample(terrain, side, 0, 0) - centre;
        for (int k = 0; k < segments; ++k) {
            addQuad(mesh->vertices, top + k, low + k, low + k + 1, top + k + 1, outwards, triangle);
            triangle += 6;
            addQuad(mesh->vertices, outer + k, inner + k, inner + k + 1, outer + k + 1,
                    Vec3(0.0f, 1.0f, 0.0f), triangle);
            triangle += 6;
        }
    }
    mesh->setMaterial(edgeSkirtAmbient, edgeSkirtDiffuse, 0, 0.1f);
    return mesh->computeNormals();
}
