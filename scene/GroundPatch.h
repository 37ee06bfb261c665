// GroundPatch: the visible part of a large terrain. A mesh of a fixed
// number of samples, allocated once, covers the ground within a given reach
// of the eye; when the eye moves into another cell the window is moved and
// its vertices, texture coordinates and normals are refilled in place. Of
// its cells only those the view can show are listed for drawing at every
// frame: within reach of the eye, and either near it or in a wedge about the
// view direction seen from above. Drawing allocates nothing. The small default world draws its
// whole grid instead and never uses this.
#pragma once

#include "math/Vec3.h"
#include "render/Mesh.h"

class Renderer;
class Terrain;

class GroundPatch {
  public:
    GroundPatch() : mesh(nullptr) {}

    // Sizes the window for every sample within reach (m) of the eye and
    // allocates it; texture and material as the default ground's. False
    // when the arrays cannot be allocated.
    bool init(Renderer* renderer, const Terrain* ground, float reach, int textureId);
    // Moves the window under the eye (scene units) when needed, lists the
    // cells seen looking at target (scene units); then draws them, and again
    // as a wireframe when asked.
    void draw(const Vec3& eye, const Vec3& target, bool wireframe);
    // Moves the window so that its first sample is (firstI, firstJ) and
    // refills it (no allocation).
    void fill(int firstI, int firstJ);
    // Lists for drawing the window's cells within reach of the eye at (x, z)
    // m that lie near it or within the wedge about the horizontal view
    // direction (dx, dz) (no allocation).
    void selectCells(float x, float z, float dx, float dz);

    Mesh mesh;
    const Terrain* terrain = nullptr; // not owned
    int windowX = 0;                  // samples of the window along x
    int windowZ = 0;                  // samples along z
    int reachCells = 0;               // cells from the eye's cell to the window's edge
    int firstI = -1; // grid sample at the window's corner, -1 before the first fill
    int firstJ = -1;
    int eyeCellI = 0; // the eye's cell at the latest selection
    int eyeCellJ = 0;
    float reach = 0.0f; // m
};
