// DeformingMesh: a copy of a rigid mesh whose vertices follow the particles
// they lie among instead of one rigid fit. At binding, every vertex is tied
// to up to three local frames, each four nearby particles that span a
// well-shaped tetrahedron (near-flat ones are rejected), by its coordinates
// in each frame. Every frame the vertex is rebuilt from the frames as they
// stand now, blended by nearness, and its normal is carried by the same
// linear maps. A frame whose particles have come apart (an edge stretched
// or squashed by half, the tetrahedron flattened, or sheared or stretched
// far beyond what a dent does) is replaced by the
// rigid fit for that update, so a vertex follows the body rather than
// spiking. A vertex beyond the box of a frame's particles takes that frame's
// motion at the nearest point of the box and keeps its offset from there,
// turned by the rigid fit, so it is carried, not swung out. Binding
// allocates; an update allocates nothing.
//
// DeformingBody: the body and cab meshes of the truck, bound together to the
// particles of the body.
#pragma once

#include "math/Mat4.h"
#include "math/Vec3.h"

class Mesh;
class PhysicsWorld;
class Renderer;

class DeformingMesh {
  public:
    static constexpr int framesPerVertex = 3;

    DeformingMesh() = default;
    ~DeformingMesh();
    DeformingMesh(const DeformingMesh&) = delete;
    DeformingMesh& operator=(const DeformingMesh&) = delete;

    // Binds a copy of `source` (model space, scene units) as `restTransform`
    // places it over the particles at `rest` (m); only the particles listed
    // in `candidates` make frames. False when memory runs out.
    bool bind(Renderer* renderer, const Mesh& source, const Mat4& restTransform, const Vec3* rest,
              const int* candidates, int candidateCount);
    // Moves the copy's vertices and normals to the particles at `positions`
    // (m); `rigid` is the rigid fit of the body now (scene units), used for
    // frames that have come apart.
    void update(const Vec3* positions, const Mat4& rigid);

    // The deformed copy: vertices in scene coordinates, identity transform.
    Mesh* mesh() const { return copy; }
    // Frames replaced by the rigid fit in the latest update.
    int fallbackFrames() const { return fallbacks; }
    int frameCount() const { return frameTotal; }
    // The particles vertex v is bound to (up to 4 per frame, -1 unused), for
    // checking where a vertex lies against them.
    int boundParticles(int v, int out[4 * framesPerVertex]) const;

  private:
    struct Frame {
        int p[4];               // origin and three arm particles
        float inverseRest[9];   // inverse of the rest arms (columns), row-major, 1/m
        Vec3 restOrigin;        // m
        Vec3 restLow, restHigh; // the box of its particles at rest, scene units
        float restArm[3];       // rest arm lengths, m
        float restQuality;      // det / product of arm lengths at rest, |.| >= minimum
        float map[9];           // current linear map, row-major
        float normalMap[9];     // its cofactor matrix, which carries normals
        Vec3 shift;             // scene units: vertex = map * rest + shift
    };
    struct Binding {
        int frame[framesPerVertex]; // -1: unused
        float weight[framesPerVertex];
        // The vertex's rest point clamped into each frame's rest box, and
        // what is left to the vertex from there (scene units): the frame
        // carries the first, the rigid fit turns the second, so a vertex
        // beyond its particles is never swung out by their shear.
        Vec3 inside[framesPerVertex];
        Vec3 beyond[framesPerVertex];
    };
    void release();
    void updateFrame(Frame& f, const Vec3* positions, const Mat4& rigid);

    Mesh* copy = nullptr;
    Mat4 restInverse;             // undoes the rest placement
    Vec3* restVertices = nullptr; // scene units, as restTransform placed them
    Vec3* restNormals = nullptr;
    Binding* bindings = nullptr;
    Frame* frames = nullptr;
    int frameTotal = 0;
    int vertexTotal = 0;
    int fallbacks = 0;
};

class DeformingBody {
  public:
    static constexpr int meshCount = 4;

    // Binds the meshes (the shell, the structure, the interior and the
    // windows, in the order given) to the world's body particles: those that
    // no wheel names and that have at least four springs to others like
    // them. `restBody` is the rigid fit of the body to the rest shape.
    bool bind(Renderer* renderer, PhysicsWorld& world, Mesh* const meshes[meshCount],
              const Mat4& restBody);
    void update(const Vec3* positions, const Mat4& rigid);
    DeformingMesh& part(int k) { return parts[k]; }

  private:
    DeformingMesh parts[meshCount];
};
