// Object3ds: the decoded triangle mesh of one named 3DS object. The arrays
// belong to the Loader3ds that filled them. Lights and cameras (named objects
// without a triangle mesh) stay empty: no vertices, no faces.
#pragma once

#include "render/Vertex3ds.h"

#include <cstdint>

struct Object3ds {
    int32_t faceCount = 0;         // triangles
    int32_t vertexCount = 0;       // vertices
    Vertex3ds* vertices = nullptr; // vertexCount records
    uint32_t* faces = nullptr;     // faceCount triples of vertex indices, each < vertexCount
};
