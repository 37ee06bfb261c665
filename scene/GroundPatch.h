// GroundPatch: the whole of a large terrain, finer near the eye and coarser
// with distance. Three levels: the map's own cells in a window of a fixed
// number of samples around the eye (allocated once, refilled in place when
// the eye moves into another cell), and two meshes over the whole map, of
// cells 4 and 16 samples wide, built once. A cell 4 samples wide is drawn
// coarse when its centre lies farther than fineRadius from the eye, as the
// map's own 16 cells inside it otherwise; one 16 samples wide is drawn as
// its sixteen 4-sample cells within middleRadius, and whole beyond. So every
// piece of ground is drawn by exactly one level. Where two levels meet, the
// finer edge has samples the coarser one does not: each cell on such an
// edge hangs a skirt from it, a strip facing away from the cell down to a
// copy of its edge lowered well below, which fills the slit between them.
// The skirts are a small mesh of their own, written at every selection, so
// that each level's draw reads only its own samples.
// Of every level only the cells the view can show are listed at each frame:
// near the eye, or in a wedge about the view direction seen from above.
// Drawing allocates nothing. The small default world draws its whole grid
// instead and never uses this.
#pragma once

#include "math/Vec3.h"
#include "render/Mesh.h"

#include <vector>

class Renderer;
class Terrain;

class GroundPatch {
  public:
    // Samples per cell side of the two coarse levels.
    static constexpr int middleFactor = 4;
    static constexpr int farFactor = 16;

    GroundPatch() : mesh(nullptr), middleMesh(nullptr), farMesh(nullptr), skirtMesh(nullptr) {}

    // Sizes the fine window for every sample within reach (m) of the eye,
    // builds the two coarse levels and allocates everything; texture and
    // material as the default ground's. False when the arrays cannot be
    // allocated.
    bool init(Renderer* renderer, const Terrain* ground, float reach, int textureId);
    // Moves the window under the eye (scene units) when needed, lists the
    // cells seen looking at target (scene units); then draws the three
    // levels, and again as a wireframe when asked.
    void draw(const Vec3& eye, const Vec3& target, bool wireframe);
    // Moves the window so that its first sample is (firstI, firstJ) and
    // refills it (no allocation).
    void fill(int firstI, int firstJ);
    // Lists for drawing the cells of every level that lie near the eye at
    // (x, z) m or within the wedge about the horizontal view direction
    // (dx, dz), with the skirts where levels meet (no allocation).
    void selectCells(float x, float z, float dx, float dz);

    // The fine window's samples and the cells listed of it.
    Mesh mesh;
    // The coarse levels over the whole map, laid out alike.
    Mesh middleMesh;
    Mesh farMesh;
    // The skirts of the latest selection, four vertices each: the fine
    // level's first (fineSkirts triangles), then the middle level's
    // (middleSkirts), then the far level's.
    Mesh skirtMesh;
    int fineSkirts = 0;
    int middleSkirts = 0;
    const Terrain* terrain = nullptr; // not owned
    int windowX = 0;                  // samples of the window along x
    int windowZ = 0;                  // samples along z
    int reachCells = 0;               // cells from the eye's cell to the window's edge
    int firstI = -1; // grid sample at the window's corner, -1 before the first fill
    int firstJ = -1;
    int eyeCellI = 0; // the eye's cell at the latest selection
    int eyeCellJ = 0;
    float reach = 0.0f;        // m
    float fineRadius = 0.0f;   // m from the eye to a 4-sample cell's centre
    float middleRadius = 0.0f; // m from the eye to a 16-sample cell's centre
    // Cell pairs listed at the latest selection, per level.
    int fineCells = 0;
    int middleCells = 0;
    int farCells = 0;

  private:
    // One coarse level: `factor` samples per cell side over the whole map.
    struct Level {
        Mesh* mesh;
        int factor;
        int cellsX;
        int cellsZ;
        int skirtCapacity; // triangles
    };
    bool buildLevel(Level& level, int factor, int textureId);
    // Whether the cell at (ci, cj) of a level of `factor` lies on the map.
    bool onMap(int factor, int ci, int cj) const;
    // Nominal centre (m) of cell ci of a level of `factor` along x or z.
    float centreX(int factor, int ci) const;
    float centreZ(int factor, int cj) const;
    // Works out for the eye at (x, z) m which level draws each middle and
    // far cell (no allocation).
    void classify(float x, float z);
    // The level (0 fine, 1 middle, 2 far) that draws the ground of the cell
    // (ci, cj) of a level of `factor` (1, 4 or 16; for a far cell, 1 when it
    // is split), as classify() found it.
    int levelOf(int factor, int ci, int cj) const;
    // Appends to skirtMesh the skirt below edge `side` (0 north, 1 east,
    // 2 south, 3 west) of the cell whose corner sample is vertex k of
    // `source`, whose rows are `row` vertices long, reaching `depth` scene
    // units down; counts its triangles in *triangles, up to capacity.
    void addSkirt(const Mesh& source, uint32_t k, uint32_t row, float depth, int side,
                  int* triangles, int capacity);
    void selectLevel(Level& level, int levelIndex, float x, float z, float fx, float fz,
                     bool looking);

    Level levels[2] = {};
    // The level of each middle cell and each far cell, row by row.
    std::vector<unsigned char> middleLevels;
    std::vector<unsigned char> farLevels;
    int fineSkirtCapacity = 0; // triangles
};
