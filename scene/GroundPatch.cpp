// GroundPatch: window sizing, refill and drawing.
#include "scene/GroundPatch.h"

#include "physics/Terrain.h"
#include "scene/RenderScale.h"

#include <cmath>

bool GroundPatch::init(Renderer* renderer, const Terrain* ground, float reachMetres,
                       int textureId) {
    terrain = ground;
    reach = reachMetres;
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

void GroundPatch::selectCells(float x, float z, float dx, float dz) {
    const float spacing = terrain->spacing;
    // A cell's centre may lie this far from its nearest point, m.
    const float halfDiagonal = 0.7072f * spacing;
    // All around the eye within this (a camera pitched down sees the ground
    // beside and a little behind it), m.
    const float near = 12.0f;
    // Half the wedge's angle: the picture's half diagonal is 43.9 degrees
    // for a level camera; pitched cameras see wider at the sides. cos 75.
    const float wedgeCos = 0.2588f;
    const float length = std::sqrt(dx * dx + dz * dz);
    const bool level = length > 1e-6f;
    const float fx = level ? dx / length : 0.0f;
    const float fz = level ? dz / length : 0.0f;
    const float farthest = reach + halfDiagonal;
    const int cellsX = windowX - 1;
    const int cellsZ = windowZ - 1;
    const uint32_t row = static_cast<uint32_t>(windowX);
    const float originX = terrain->minX() + spacing * (static_cast<float>(firstI) + 0.5f);
    const float originZ = terrain->minZ() + spacing * (static_cast<float>(firstJ) + 0.5f);
    int pairs = 0;
    for (int j = 0; j < cellsZ; ++j) {
        const float vz = originZ + spacing * static_cast<float>(j) - z;
        for (int i = 0; i < cellsX; ++i) {
            const float vx = originX + spacing * static_cast<float>(i) - x;
            const float distance = std::sqrt(vx * vx + vz * vz);
            if (distance > farthest) {
                continue;
            }
            if (level && distance > near + halfDiagonal &&
                vx * fx + vz * fz < wedgeCos * distance - halfDiagonal) {
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
        }
    }
    mesh.triangleCount = 2 * pairs;
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
    mesh.draw();
    if (wireframe) {
        mesh.wireframe = true;
        mesh.draw();
        mesh.wireframe = false;
    }
}
