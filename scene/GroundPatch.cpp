// GroundPatch: the fine window's sizing and refill, the coarse levels built
// once, the choice of level by distance, the skirts and the drawing.
#include "scene/GroundPatch.h"

#include "physics/Terrain.h"
#include "scene/RenderScale.h"

#include <cmath>
#include <initializer_list>

namespace {

// Half the diagonal of a square cell, over its side.
const float halfDiagonalShare = 0.7072f;
// All around the eye within this, m (a camera pitched down sees the ground
// beside and a little behind it).
const float nearAround = 12.0f;
// Half the wedge's angle: the picture's half diagonal is 43.9 degrees for
// a level camera; pitched cameras see wider at the sides. cos 75.
const float wedgeCos = 0.2588f;
// How far below its cell's edge a skirt reaches, in cells of the next
// coarser level: the slit it fills is at most the rise of the ground
// across such a cell.
const float skirtDepthCells = 1.0f;

// Whether a cell whose centre is (vx, vz) m from the eye can be seen: near
// the eye, or within the wedge about the unit view direction (fx, fz).
bool inView(float vx, float vz, float halfDiagonal, float fx, float fz, bool looking) {
    const float distance = std::sqrt(vx * vx + vz * vz);
    return !looking || distance <= nearAround + halfDiagonal ||
           vx * fx + vz * fz >= wedgeCos * distance - halfDiagonal;
}

// The normal of the surface through the four neighbours of sample (i, j),
// `step` samples away, the edge samples standing in beyond the grid.
Vec3 normalAt(const Terrain& terrain, int i, int j, int step) {
    const int left = i - step < 0 ? 0 : i - step;
    const int right = i + step > terrain.cellsX ? terrain.cellsX : i + step;
    const int up = j - step < 0 ? 0 : j - step;
    const int down = j + step > terrain.cellsZ ? terrain.cellsZ : j + step;
    const float dx = terrain.height(right, j) - terrain.height(left, j);
    const float dz = terrain.height(i, down) - terrain.height(i, up);
    return normalized(Vec3(-dx * static_cast<float>(down - up) * terrain.spacing,
                           static_cast<float>(right - left) * static_cast<float>(down - up) *
                               terrain.spacing * terrain.spacing,
                           -dz * static_cast<float>(right - left) * terrain.spacing));
}

} // namespace

bool GroundPatch::init(Renderer* renderer, const Terrain* ground, float reachMetres,
                       int textureId) {
    terrain = ground;
    reach = reachMetres;
    const float spacing = ground->spacing;
    // A 4-sample cell is drawn fine only when all of it lies inside the
    // window's reach. The far ring starts at least a far cell's half
    // diagonal beyond the fine disc, so the far cell around a cell drawn
    // fine is always split.
    fineRadius = reach - halfDiagonalShare * middleFactor * spacing - spacing;
    middleRadius = std::fmax(4.0f * fineRadius,
                             fineRadius + halfDiagonalShare * farFactor * spacing + spacing);

    mesh.renderer = renderer;
    reachCells = static_cast<int>(std::ceil(reach / spacing)) + 1;
    const int cells = 2 * reachCells + 1;
    const int cellsX = cells < ground->cellsX ? cells : ground->cellsX;
    const int cellsZ = cells < ground->cellsZ ? cells : ground->cellsZ;
    windowX = cellsX + 1;
    windowZ = cellsZ + 1;
    // Skirts lie along the edge of the fine disc: at most its square's
    // perimeter in cells, two triangles an edge.
    const float fineSide = 2.0f * std::fmax(fineRadius, 0.0f) / spacing + 2.0f * middleFactor;
    fineSkirtCapacity = 2 * (4 * static_cast<int>(std::ceil(fineSide)) + 8);
    if (!mesh.allocate(windowX * windowZ, cellsX * cellsZ * 2, 3)) {
        return false;
    }
    mesh.setMaterial(0x707070, 0xF0F0F0, 0, 0.4f);
    mesh.textureId = textureId;
    mesh.triangleCount = 0;
    middleMesh.renderer = renderer;
    farMesh.renderer = renderer;
    if (!buildLevel(levels[0], middleFactor, textureId) ||
        !buildLevel(levels[1], farFactor, textureId)) {
        return false;
    }
    middleLevels.assign(static_cast<size_t>(levels[0].cellsX) * levels[0].cellsZ, 0);
    farLevels.assign(static_cast<size_t>(levels[1].cellsX) * levels[1].cellsZ, 0);
    // Every skirt of a frame, four vertices each, written as it is listed:
    // kept apart so that each level's draw reads only its own samples.
    skirtMesh.renderer = renderer;
    const int skirtTriangles =
        fineSkirtCapacity + levels[0].skirtCapacity + levels[1].skirtCapacity;
    if (!skirtMesh.allocate(2 * skirtTriangles, skirtTriangles, 3)) {
        return false;
    }
    skirtMesh.setMaterial(0x707070, 0xF0F0F0, 0, 0.4f);
    skirtMesh.textureId = textureId;
    skirtMesh.triangleCount = 0;
    firstI = -1;
    firstJ = -1;
    return true;
}

bool GroundPatch::buildLevel(Level& level, int factor, int textureId) {
    const Terrain& ground = *terrain;
    level.mesh = factor == middleFactor ? &middleMesh : &farMesh;
    level.factor = factor;
    level.cellsX = (ground.cellsX + factor - 1) / factor;
    level.cellsZ = (ground.cellsZ + factor - 1) / factor;
    const int rowX = level.cellsX + 1;
    const int rowZ = level.cellsZ + 1;
    // The level's boundaries: the fine disc and the far ring, each at most
    // its square's perimeter in this level's cells.
    const float cell = static_cast<float>(factor) * ground.spacing;
    const float side =
        2.0f * (std::fmax(fineRadius, 0.0f) + middleRadius) / cell + 2.0f * farFactor / factor;
    level.skirtCapacity = 2 * (8 * static_cast<int>(std::ceil(side)) + 16);
    Mesh& m = *level.mesh;
    if (!m.allocate(rowX * rowZ, level.cellsX * level.cellsZ * 2, 3)) {
        return false;
    }
    m.setMaterial(0x707070, 0xF0F0F0, 0, 0.4f);
    m.textureId = textureId;
    m.triangleCount = 0;
    for (int n = 0; n < rowZ; ++n) {
        for (int mi = 0; mi < rowX; ++mi) {
            const int gi = mi * factor < ground.cellsX ? mi * factor : ground.cellsX;
            const int gj = n * factor < ground.cellsZ ? n * factor : ground.cellsZ;
            const int k = mi + rowX * n;
            m.vertices[k] = ground.gridPoint(gi, gj) * renderScale;
            // The same texture mapping as the fine cells: 10/3 map cells a
            // repeat, whatever the level.
            m.texCoords[2 * k] = 0.3f * static_cast<float>(gi);
            m.texCoords[2 * k + 1] = 0.3f * static_cast<float>(gj);
            m.normals[k] = normalAt(ground, gi, gj, factor);
        }
    }
    return true;
}

void GroundPatch::fill(int cornerI, int cornerJ) {
    firstI = cornerI;
    firstJ = cornerJ;
    const float twoSpacing = 2.0f * terrain->spacing;
    for (int j = 0; j < windowZ; ++j) {
        for (int i = 0; i < windowX; ++i) {
            const int gi = cornerI + i;
            const int gj = cornerJ + j;
            const int k = i + windowX * j;
            mesh.vertices[k] = terrain->gridPoint(gi, gj) * renderScale;
            // The ground texture repeats every 10/3 cells, as on the default
            // ground, continued across the whole map.
            mesh.texCoords[2 * k] = 0.3f * static_cast<float>(gi);
            mesh.texCoords[2 * k + 1] = 0.3f * static_cast<float>(gj);
            // The normal of the surface through the four neighbours (the
            // edge samples repeat at the grid's border).
            const float dx = terrain->gridPoint(gi + 1, gj).y - terrain->gridPoint(gi - 1, gj).y;
            const float dz = terrain->gridPoint(gi, gj + 1).y - terrain->gridPoint(gi, gj - 1).y;
            mesh.normals[k] = normalized(Vec3(-dx, twoSpacing, -dz));
        }
    }
}

bool GroundPatch::onMap(int factor, int ci, int cj) const {
    return ci >= 0 && cj >= 0 && ci * factor < terrain->cellsX && cj * factor < terrain->cellsZ;
}

float GroundPatch::centreX(int factor, int ci) const {
    return terrain->minX() +
           terrain->spacing * static_cast<float>(factor) * (static_cast<float>(ci) + 0.5f);
}

float GroundPatch::centreZ(int factor, int cj) const {
    return terrain->minZ() +
           terrain->spacing * static_cast<float>(factor) * (static_cast<float>(cj) + 0.5f);
}

void GroundPatch::classify(float x, float z) {
    // A far cell is split within middleRadius; a middle cell of a split far
    // cell is drawn fine within fineRadius. Compared squared: the same
    // floats decide for a cell and for its neighbours' skirts.
    const float middle2 = middleRadius * middleRadius;
    const float fine2 = fineRadius < 0.0f ? -1.0f : fineRadius * fineRadius;
    for (int fj = 0; fj < levels[1].cellsZ; ++fj) {
        const float vz = centreZ(farFactor, fj) - z;
        for (int fi = 0; fi < levels[1].cellsX; ++fi) {
            const float vx = centreX(farFactor, fi) - x;
            farLevels[fi + levels[1].cellsX * fj] = vx * vx + vz * vz > middle2 ? 2 : 1;
        }
    }
    const int per = farFactor / middleFactor;
    for (int mj = 0; mj < levels[0].cellsZ; ++mj) {
        const float vz = centreZ(middleFactor, mj) - z;
        for (int mi = 0; mi < levels[0].cellsX; ++mi) {
            const float vx = centreX(middleFactor, mi) - x;
            unsigned char level = farLevels[mi / per + levels[1].cellsX * (mj / per)];
            if (level != 2) {
                level = vx * vx + vz * vz > fine2 ? 1 : 0;
            }
            middleLevels[mi + levels[0].cellsX * mj] = level;
        }
    }
}

int GroundPatch::levelOf(int factor, int ci, int cj) const {
    if (factor == farFactor) {
        return farLevels[ci + levels[1].cellsX * cj];
    }
    const int per = middleFactor / factor;
    return middleLevels[ci / per + levels[0].cellsX * (cj / per)];
}

void GroundPatch::addSkirt(const Mesh& source, uint32_t k, uint32_t row, float depth, int side,
                           int* triangles, int capacity) {
    if (*triangles + 2 > capacity) {
        return;
    }
    // The strip's top edge, ordered so that (down) x (b - a) points away
    // from the cell: then both triangles face outwards.
    uint32_t a = k;
    uint32_t b = k;
    switch (side) {
    case 0: // north, -z: along -x
        a = k + 1;
        b = k;
        break;
    case 1: // east, +x: along -z
        a = k + 1 + row;
        b = k + 1;
        break;
    case 2: // south, +z: along +x
        a = k + row;
        b = k + row + 1;
        break;
    default: // west, -x: along +z
        a = k;
        b = k + row;
        break;
    }
    const uint32_t first = static_cast<uint32_t>(2 * skirtMesh.triangleCount);
    const uint32_t from[4] = {a, a, b, b};
    for (int v = 0; v < 4; ++v) {
        const uint32_t at = first + static_cast<uint32_t>(v);
        skirtMesh.vertices[at] =
            source.vertices[from[v]] - Vec3(0.0f, (v & 1) ? depth : 0.0f, 0.0f);
        skirtMesh.texCoords[2 * at] = source.texCoords[2 * from[v]];
        skirtMesh.texCoords[2 * at + 1] = source.texCoords[2 * from[v] + 1];
        skirtMesh.normals[at] = source.normals[from[v]];
    }
    // a, a lowered, b; b, a lowered, b lowered.
    uint32_t* t = skirtMesh.indices + 3 * skirtMesh.triangleCount;
    t[0] = first;
    t[1] = first + 1;
    t[2] = first + 2;
    t[3] = first + 2;
    t[4] = first + 1;
    t[5] = first + 3;
    skirtMesh.triangleCount += 2;
    *triangles += 2;
}

void GroundPatch::selectLevel(Level& level, int levelIndex, float x, float z, float fx, float fz,
                              bool looking) {
    Mesh& m = *level.mesh;
    const float halfDiagonal =
        halfDiagonalShare * static_cast<float>(level.factor) * terrain->spacing;
    const uint32_t row = static_cast<uint32_t>(level.cellsX + 1);
    // Skirts of the middle level meet the far one, of the far level the
    // middle one: one far cell deep either way.
    const float depth = skirtDepthCells * farFactor * terrain->spacing * renderScale;
    const int neighbours[4][2] = {{0, -1}, {1, 0}, {0, 1}, {-1, 0}};
    int pairs = 0;
    int skirts = 0;
    for (int cj = 0; cj < level.cellsZ; ++cj) {
        const float vz = centreZ(level.factor, cj) - z;
        for (int ci = 0; ci < level.cellsX; ++ci) {
            if (levelOf(level.factor, ci, cj) != levelIndex) {
                continue;
            }
            const float vx = centreX(level.factor, ci) - x;
            if (!inView(vx, vz, halfDiagonal, fx, fz, looking)) {
                continue;
            }
            const uint32_t k = static_cast<uint32_t>(ci) + row * static_cast<uint32_t>(cj);
            uint32_t* pair = m.indices + 6 * pairs;
            pair[0] = k;
            pair[1] = k + row + 1;
            pair[2] = k + 1;
            pair[3] = k;
            pair[4] = k + row;
            pair[5] = k + row + 1;
            ++pairs;
            for (int side = 0; side < 4; ++side) {
                const int ni = ci + neighbours[side][0];
                const int nj = cj + neighbours[side][1];
                if (onMap(level.factor, ni, nj) && levelOf(level.factor, ni, nj) != levelIndex) {
                    addSkirt(m, k, row, depth, side, &skirts, level.skirtCapacity);
                }
            }
        }
    }
    m.triangleCount = 2 * pairs;
    (levelIndex == 1 ? middleCells : farCells) = pairs;
}

void GroundPatch::selectCells(float x, float z, float dx, float dz) {
    const float length = std::sqrt(dx * dx + dz * dz);
    const bool looking = length > 1e-6f;
    const float fx = looking ? dx / length : 0.0f;
    const float fz = looking ? dz / length : 0.0f;
    classify(x, z);

    // The fine window's cells whose middle cell is drawn fine.
    const float spacing = terrain->spacing;
    const float halfDiagonal = halfDiagonalShare * spacing;
    const int cellsX = windowX - 1;
    const int cellsZ = windowZ - 1;
    const uint32_t row = static_cast<uint32_t>(windowX);
    // Skirts of the fine cells meet the middle level: one middle cell deep.
    const float depth = skirtDepthCells * middleFactor * spacing * renderScale;
    skirtMesh.triangleCount = 0;
    const float originX = terrain->minX() + spacing * (static_cast<float>(firstI) + 0.5f);
    const float originZ = terrain->minZ() + spacing * (static_cast<float>(firstJ) + 0.5f);
    const int neighbours[4][2] = {{0, -1}, {1, 0}, {0, 1}, {-1, 0}};
    int pairs = 0;
    int skirts = 0;
    for (int j = 0; j < cellsZ; ++j) {
        const float vz = originZ + spacing * static_cast<float>(j) - z;
        for (int i = 0; i < cellsX; ++i) {
            const int gi = firstI + i;
            const int gj = firstJ + j;
            if (levelOf(1, gi, gj) != 0) {
                continue;
            }
            const float vx = originX + spacing * static_cast<float>(i) - x;
            if (!inView(vx, vz, halfDiagonal, fx, fz, looking)) {
                continue;
            }
            // The same triangle pair as the default ground's, by window sample.
            const uint32_t k = static_cast<uint32_t>(i + windowX * j);
            uint32_t* pair = mesh.indices + 6 * pairs;
            pair[0] = k;
            pair[1] = k + row + 1;
            pair[2] = k + 1;
            pair[3] = k;
            pair[4] = k + row;
            pair[5] = k + row + 1;
            ++pairs;
            for (int side = 0; side < 4; ++side) {
                const int ni = gi + neighbours[side][0];
                const int nj = gj + neighbours[side][1];
                if (onMap(1, ni, nj) && levelOf(1, ni, nj) != 0) {
                    addSkirt(mesh, k, row, depth, side, &skirts, fineSkirtCapacity);
                }
            }
        }
    }
    mesh.triangleCount = 2 * pairs;
    fineCells = pairs;
    fineSkirts = skirtMesh.triangleCount;
    selectLevel(levels[0], 1, x, z, fx, fz, looking);
    middleSkirts = skirtMesh.triangleCount - fineSkirts;
    selectLevel(levels[1], 2, x, z, fx, fz, looking);
}

void GroundPatch::draw(const Vec3& eye, const Vec3& target, bool wireframe) {
    // The window's corner: reachCells before the eye's cell, kept on the grid.
    const float inverse = terrain->inverseSpacing / renderScale;
    const float u = std::floor((eye.x - terrain->minX() * renderScale) * inverse);
    const float w = std::floor((eye.z - terrain->minZ() * renderScale) * inverse);
    const int lastI = terrain->samplesX - windowX;
    const int lastJ = terrain->samplesZ - windowZ;
    // Clamped as floats first so that a far or non-finite eye cannot
    // overflow the conversion.
    const float wantI =
        std::fmin(std::fmax(u - static_cast<float>(reachCells), 0.0f), static_cast<float>(lastI));
    const float wantJ =
        std::fmin(std::fmax(w - static_cast<float>(reachCells), 0.0f), static_cast<float>(lastJ));
    const int cornerI = wantI == wantI ? static_cast<int>(wantI) : 0;
    const int cornerJ = wantJ == wantJ ? static_cast<int>(wantJ) : 0;
    if (cornerI != firstI || cornerJ != firstJ) {
        fill(cornerI, cornerJ);
    }
    // The view turns from frame to frame: the cells are listed anew.
    const float toMetres = 1.0f / renderScale;
    selectCells(eye.x * toMetres, eye.z * toMetres, (target.x - eye.x) * toMetres,
                (target.z - eye.z) * toMetres);
    for (Mesh* level : {&mesh, &middleMesh, &farMesh, &skirtMesh}) {
        if (level->triangleCount > 0) {
            level->draw();
        }
    }
    if (wireframe) {
        for (Mesh* level : {&mesh, &middleMesh, &farMesh, &skirtMesh}) {
            if (level->triangleCount > 0) {
                level->wireframe = true;
                level->draw();
                level->wireframe = false;
            }
        }
    }
}
