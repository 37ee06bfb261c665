// GroundPatch: window sizing, refill and drawing.
#include "scene/GroundPatch.h"

#include "physics/Terrain.h"
#include "scene/RenderScale.h"

#include <cmath>

bool GroundPatch::init(Renderer* renderer, const Terrain* ground, float reach, int textureId) {
    terrain = ground;
    mesh.renderer = renderer;
    reachCells = static_cast<int>(std::ceil(reach / ground->spacing)) + 1;
    const int cells = 2 * reachCells + 1;
    const int cellsX = cells < ground->cellsX ? cells : ground->cellsX;
    const int cellsZ = cells < ground->cellsZ ? cells : ground->cellsZ;
    windowX = cellsX + 1;
    windowZ = cellsZ + 1;
    if (!mesh.allocate(windowX * windowZ, cellsX * cellsZ * 2, 3)) {
        return false;
    }
    mesh.setMaterial(0x707070, 0xF0F0F0, 0, 0.4f);
    mesh.textureId = textureId;
    // The same triangle pairs as the default ground, by window sample.
    for (int j = 0; j < cellsZ; ++j) {
        for (int i = 0; i < cellsX; ++i) {
            const uint32_t k = static_cast<uint32_t>(i + windowX * j);
            const uint32_t row = static_cast<uint32_t>(windowX);
            uint32_t* pair = mesh.indices + 6 * (i + cellsX * j);
            pair[0] = k;
            pair[1] = k + row + 1;
            pair[2] = k + 1;
            pair[3] = k;
            pair[4] = k + row;
            pair[5] = k + row + 1;
        }
    }
    firstI = -1;
    firstJ = -1;
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

void GroundPatch::draw(const Vec3& eye, bool wireframe) {
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
    mesh.draw();
    if (wireframe) {
        mesh.wireframe = true;
        mesh.draw();
        mesh.wireframe = false;
    }
}
