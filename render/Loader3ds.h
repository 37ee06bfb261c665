// Loader3ds: reads a 3DS model file and extracts, for every named object, its
// vertex positions, optional texture coordinates and triangle list. It builds
// a tree of chunks over the file buffer, descending only into a fixed table of
// parent/child pairs, then decodes the objects found in the tree. Materials,
// names, transforms and smoothing are skipped. Loading prints nothing; a
// failed load keeps a one-line reason in failureReason().
#pragma once

#include "render/Chunk3ds.h"
#include "render/Object3ds.h"

#include <cstddef>
#include <cstdint>

class Loader3ds {
  public:
    // Limit on named objects in one file.
    static constexpr int maxObjects = 128;

    // Chunk ids the reader knows.
    static constexpr uint16_t idMain = 0x4D4D;         // M3DMAGIC, the root
    static constexpr uint16_t idVersion = 0x0002;      // M3D_VERSION
    static constexpr uint16_t idEditor = 0x3D3D;       // MDATA
    static constexpr uint16_t idMeshVersion = 0x3D3E;  // MESH_VERSION
    static constexpr uint16_t idMasterScale = 0x0100;  // MASTER_SCALE
    static constexpr uint16_t idMaterial = 0xAFFF;     // MAT_ENTRY
    static constexpr uint16_t idNamedObject = 0x4000;  // NAMED_OBJECT
    static constexpr uint16_t idTriangleMesh = 0x4100; // N_TRI_OBJECT
    static constexpr uint16_t idPoints = 0x4110;       // POINT_ARRAY
    static constexpr uint16_t idFaces = 0x4120;        // FACE_ARRAY
    static constexpr uint16_t idFaceMaterial = 0x4130; // MSH_MAT_GROUP
    static constexpr uint16_t idTexVerts = 0x4140;     // TEX_VERTS
    static constexpr uint16_t idSmoothGroup = 0x4150;  // SMOOTH_GROUP
    static constexpr uint16_t idMeshMatrix = 0x4160;   // MESH_MATRIX

    Loader3ds();
    ~Loader3ds();
    Loader3ds(const Loader3ds&) = delete;
    Loader3ds& operator=(const Loader3ds&) = delete;

    // Reads and parses the whole file. On success objectCount objects are in
    // objects, in the order of the NAMED_OBJECT chunks. On failure nothing is
    // kept (objectCount 0) and failureReason() says what was wrong.
    bool load(const char* fileName);
    // The same over file bytes in memory (not copied; only read during the
    // call); name is used in failureReason().
    bool loadFromMemory(const unsigned char* data, size_t size, const char* name);
    // Frees the arrays of every object and sets objectCount to 0.
    void clear();

    // Little-endian values at a file offset; 0 when they do not lie wholly
    // inside the file.
    uint16_t readUint16(uint32_t offset) const;
    uint32_t readUint32(uint32_t offset) const;
    float readFloat(uint32_t offset) const;
    // readUint16(offset), 0 when offset + 2 is beyond the file.
    uint16_t peekId(uint32_t offset) const;

    // True when the pair is one of the thirteen the parser descends into.
    static bool isKnownChild(uint16_t parentId, uint16_t childId);
    // True for chunks whose body starts with a zero-terminated name.
    static bool hasName(uint16_t id);

    // Moves the chunk's body past its zero-terminated name; false when the
    // name has no terminator inside the chunk.
    bool skipName(Chunk3ds* chunk);
    // Reads the header of the chunk at offset; false when it does not fit in
    // the file or its length is below 6.
    bool readChunkHeader(Chunk3ds* chunk, uint32_t offset);
    // Parses the run of known child chunks of the body, recursively, and
    // marks the rest of the body as payload. A face list's body is all
    // payload (its sub-chunks are not read). False past fileLength / 6 nodes
    // (overlapping chunks) or past maxObjects named objects in one parent.
    bool parseChildren(Chunk3ds* chunk);
    // The n-th child (from 0) with this id; null when none, n is negative or
    // chunk is null.
    static Chunk3ds* findChild(const Chunk3ds* chunk, uint16_t id, int n);

    const char* failureReason() const { return reason; }

    int32_t objectCount;           // objects decoded from the last load
    Object3ds objects[maxObjects]; // the first objectCount are filled
    const unsigned char* fileData; // the file's bytes, only during a load
    uint32_t fileLength;           // bytes in fileData

  private:
    // Parses fileData and decodes the objects; name is for messages.
    bool parseFile();
    bool decodeObject(int index, const Chunk3ds* namedObject);
    // Frees a chunk, its children and its later siblings.
    static void freeChunks(Chunk3ds* chunk);
    void fail(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

    const char* fileName; // for messages, only during a load
    uint32_t nodeCount;   // chunk nodes made by the current parse, the root not counted
    uint32_t nodeLimit;   // most nodes a file of fileLength bytes has room for
    uint64_t listBytes;   // bytes of the point and face lists decoded so far
    char reason[192];
};
