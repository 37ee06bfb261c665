// Mesh: an indexed triangle list with optional per-vertex texture coordinates
// and normals, a material, an optional texture, a model transform and drawing
// switches. Meshes are loaded from 3DS objects (scaled into scene units) or
// allocated and filled by the caller, and drawn through the Renderer. A mesh
// with a null renderer still loads and computes; it just cannot draw.
#pragma once

#include "math/Mat4.h"
#include "math/Vec3.h"

#include <cstddef>
#include <cstdint>

class Loader3ds;
class Renderer;

class Mesh {
  public:
    // Bits of arrayFlags.
    static constexpr int hasTexCoords = 1;
    static constexpr int hasNormals = 2;

    explicit Mesh(Renderer* renderer);
    ~Mesh();
    Mesh(const Mesh&) = delete;
    Mesh& operator=(const Mesh&) = delete;

    // Frees the old arrays and allocates new, uninitialised ones: vertices and
    // indices always, texCoords with bit 0 and normals with bit 1 of flags.
    // False on a negative count or failed allocation, with the count of the
    // failed kind set to 0. The transform and bounds are not touched.
    bool allocate(int vertexCount, int triangleCount, int arrayFlags);
    // Loads object objectIndex of a 3DS file, every position scaled by scale
    // and carried from the file's (x, y, z) to (-x, z, y). Fills all four
    // arrays, computes normals and bounds, resets the transform. On failure
    // failureReason() says why and the mesh is unchanged (empty if memory ran
    // out after its old arrays were released).
    bool load3ds(const char* fileName, int objectIndex, float scale);
    bool load3dsFromMemory(const unsigned char* data, size_t size, const char* name,
                           int objectIndex, float scale);
    // Stores the material for the next draw (packed 0x00RRGGBB colours,
    // shininess a fraction 0..1).
    void setMaterial(int ambient, int diffuse, int specular, float shininess);
    // Smooth vertex normals: the normalised area-weighted sum of the face
    // normals around each vertex, (0, 1, 0) where that sum is zero. False when
    // there is no normal array.
    bool computeNormals();
    // boundsMin, boundsMax, centroid (mean vertex) and extent; all zero for a
    // mesh without vertices.
    void computeBounds();
    // Model matrix, blending, material, texture and one indexed draw through
    // the renderer. False only when there is no renderer, no vertices or no
    // indices; the renderer's own results are not looked at.
    bool draw();

    const char* failureReason() const { return reason; }

    Vec3* vertices;        // vertexCount positions, scene units
    float* texCoords;      // vertexCount (s, t) pairs, or null
    Vec3* normals;         // vertexCount unit normals, or null
    uint32_t* indices;     // triangleCount triples, each below vertexCount
    int32_t vertexCount;   // vertices in the arrays
    int32_t triangleCount; // triangles in indices
    Mat4 transform;        // model transform given to the renderer at every draw
    Vec3 boundsMin;        // per-axis minimum of the vertices
    Vec3 boundsMax;        // per-axis maximum of the vertices
    Vec3 centroid;         // mean of the vertices
    Vec3 extent;           // boundsMax - boundsMin
    int ambient;           // packed colour 0x00RRGGBB
    int diffuse;           // packed colour 0x00RRGGBB
    int specular;          // packed colour 0x00RRGGBB
    float shininess;       // fraction 0..1 of GL's maximum 128
    int textureId;         // GL texture name, negative for none
    bool transparent;      // drawn blended at alpha 0.5
    bool wireframe;        // drawn as yellow untextured lines instead
    int arrayFlags;        // bit 0: texCoords present, bit 1: normals present
    Renderer* renderer;    // not owned; null for meshes that are never drawn

  private:
    // Copies object objectIndex of a loaded file into the mesh.
    bool takeObject(const Loader3ds& loader, const char* name, int objectIndex, float scale);
    void freeArrays();

    char reason[192];
};
