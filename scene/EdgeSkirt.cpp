// EdgeSkirt: building the four faces of the grid's edge.
#include "scene/EdgeSkirt.h"

#include "physics/Terrain.h"
#include "render/Mesh.h"
#include "scene/RenderScale.h"

namespace {
// Samples along side `side` (0: j = 0, 1: i = last, 2: j = last, 3: i = 0).
int sideSamples(const Terrain& terrain, int side) {
    return side % 2 == 0 ? terrain.samplesX : terrain.samplesZ;
}

// Sample k of the row `in` samples inside side `side`, walked so that
// consecutive samples run anticlockwise seen from above; row 0 is the edge.
Vec3 edgeSample(const Terrain& terrain, int side, int k, int in) {
    const int lastX = terrain.samplesX - 1;
    const int lastZ = terrain.samplesZ - 1;
    switch (side) {
    case 0:
        return terrain.gridPoint(k, in);
    case 1:
        return terrain.gridPoint(lastX - in, k);
    case 2:
        return terrain.gridPoint(lastX - k, lastZ - in);
    default:
        return terrain.gridPoint(in, lastZ - k);
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
    // Per side four rows of vertices: the face's top and bottom, and the
    // band's outer and inner edge; a face and a band of quads.
    const int around = 2 * (terrain.samplesX + terrain.samplesZ);
    if (!mesh->allocate(4 * around, 4 * (around - 4), 2)) {
        return false;
    }
    const float bottom = (terrain.lowestHeight() - edgeSkirtDepth) * renderScale;
    const Vec3 bandLift(0.0f, edgeBandLift * renderScale, 0.0f);
    // The grid's centre, to tell outwards from inwards.
    const Vec3 centre(0.5f * (terrain.minX() + terrain.maxX()), 0.0f,
                      0.5f * (terrain.minZ() + terrain.maxZ()));
    uint32_t* triangle = mesh->indices;
    uint32_t top = 0;
    for (int side = 0; side < 4; ++side) {
        const int samples = sideSamples(terrain, side);
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
        Vec3 outwards = edgeSample(terrain, side, 0, 0) - centre;
        outwards.y = 0.0f;
        for (int k = 0; k + 1 < samples; ++k) {
            addQuad(mesh->vertices, top + k, low + k, low + k + 1, top + k + 1, outwards, triangle);
            triangle += 6;
            addQuad(mesh->vertices, outer + k, inner + k, inner + k + 1, outer + k + 1,
                    Vec3(0.0f, 1.0f, 0.0f), triangle);
            triangle += 6;
        }
        top = inner + static_cast<uint32_t>(samples);
    }
    mesh->setMaterial(edgeSkirtAmbient, edgeSkirtDiffuse, 0, 0.1f);
    return mesh->computeNormals();
}
