// ThreeDsWriter: writes triangle-mesh objects as a 3DS file, using only the
// chunks our own reader knows: M3DMAGIC with M3D_VERSION and MDATA; in MDATA
// MESH_VERSION, MASTER_SCALE and one NAMED_OBJECT per object, each holding an
// N_TRI_OBJECT with POINT_ARRAY, optional TEX_VERTS, MESH_MATRIX (identity)
// and FACE_ARRAY. Coordinates are written as given, in file units.
#pragma once

#include "math/Vec3.h"

#include <string>
#include <vector>

class ThreeDsWriter {
  public:
    // The format stores counts and indices as 16-bit values.
    static constexpr int maxVertices = 65535;
    static constexpr int maxFaces = 65535;
    // Names longer than this do not fit the classic name field.
    static constexpr size_t maxNameLength = 10;
    // Our reader looks at a face list's first two bytes as a possible
    // sub-chunk id; these two face counts would read as MSH_MAT_GROUP and
    // SMOOTH_GROUP, so they are refused.
    static constexpr int ambiguousFaceCountA = 0x4130;
    static constexpr int ambiguousFaceCountB = 0x4150;

    // Adds an object after the ones already added. texCoords is empty or holds
    // one (u, v) pair per point; indices holds three point indices per face.
    // False (nothing added) when a count, index or name is out of range.
    bool addObject(const char* name, const std::vector<Vec3>& points,
                   const std::vector<float>& texCoords, const std::vector<unsigned>& indices);
    int objectCount() const { return static_cast<int>(objects.size()); }

    // The whole file. False when there is no object.
    bool encode(std::vector<unsigned char>& out) const;
    bool writeFile(const char* path);
    const char* failureReason() const { return reason.c_str(); }

  private:
    struct Object {
        std::string name;
        std::vector<Vec3> points;
        std::vector<float> texCoords;
        std::vector<unsigned> indices;
    };
    std::vector<Object> objects;
    std::string reason;
};
