// Loader3ds: chunk-tree parsing of 3DS files and decoding of the point, face
// and texture-coordinate lists of each named object. Every read is checked
// against the bytes actually in the file.
#include "render/Loader3ds.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// The parent/child pairs the parser descends into; any other id ends a run of
// children and starts the payload.
const uint16_t knownPairs[13][2] = {
    {0x4D4D, 0x0002}, {0x4D4D, 0x3D3D}, {0x3D3D, 0x3D3E}, {0x3D3D, 0x0100}, {0x3D3D, 0xAFFF},
    {0x3D3D, 0x4000}, {0x4000, 0x4100}, {0x4100, 0x4110}, {0x4100, 0x4140}, {0x4100, 0x4120},
    {0x4100, 0x4160}, {0x4120, 0x4150}, {0x4120, 0x4130}};

// Record sizes of the lists, in bytes.
const uint64_t pointBytes = 12;  // x, y, z floats
const uint64_t faceBytes = 8;    // a, b, c, flags u16
const uint64_t texVertBytes = 8; // u, v floats

} // namespace

Loader3ds::Loader3ds()
    : objectCount(0), fileData(nullptr), fileLength(0), fileName(nullptr), nodeCount(0),
      nodeLimit(0), listBytes(0) {
    reason[0] = '\0';
}

Loader3ds::~Loader3ds() {
    clear();
}

void Loader3ds::clear() {
    // Objects past objectCount are never filled, but a failed decode may have
    // left arrays in any of the table's slots: free them all.
    for (int i = 0; i < maxObjects; ++i) {
        delete[] objects[i].vertices;
        delete[] objects[i].faces;
        objects[i] = Object3ds();
    }
    objectCount = 0;
}

void Loader3ds::fail(const char* format, ...) {
    int used =
        std::snprintf(reason, sizeof(reason), "%s: ", fileName != nullptr ? fileName : "(3ds)");
    if (used < 0 || static_cast<size_t>(used) >= sizeof(reason)) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(reason + used, sizeof(reason) - used, format, arguments);
    va_end(arguments);
}

uint16_t Loader3ds::readUint16(uint32_t offset) const {
    if (fileData == nullptr || static_cast<uint64_t>(offset) + 2 > fileLength) {
        return 0;
    }
    const unsigned char* p = fileData + offset;
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Loader3ds::readUint32(uint32_t offset) const {
    if (fileData == nullptr || static_cast<uint64_t>(offset) + 4 > fileLength) {
        return 0;
    }
    const unsigned char* p = fileData + offset;
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

float Loader3ds::readFloat(uint32_t offset) const {
    const uint32_t bits = readUint32(offset);
    float value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

uint16_t Loader3ds::peekId(uint32_t offset) const {
    return readUint16(offset);
}

bool Loader3ds::isKnownChild(uint16_t parentId, uint16_t childId) {
    for (const auto& pair : knownPairs) {
        if (pair[0] == parentId && pair[1] == childId) {
            return true;
        }
    }
    return false;
}

bool Loader3ds::hasName(uint16_t id) {
    return id == idNamedObject;
}

bool Loader3ds::skipName(Chunk3ds* chunk) {
    // The terminator must lie inside the chunk: a name running past the
    // chunk's end would leave a negative body length.
    const uint64_t end = static_cast<uint64_t>(chunk->bodyOffset) + chunk->bodyLength;
    for (uint64_t z = chunk->bodyOffset; z < end; ++z) {
        if (fileData[z] == 0) {
            chunk->bodyLength = static_cast<uint32_t>(end - (z + 1));
            chunk->bodyOffset = static_cast<uint32_t>(z + 1);
            return true;
        }
    }
    fail("offset %u: name of chunk 0x%04X has no terminator inside the chunk",
         static_cast<unsigned>(chunk->bodyOffset - 6), static_cast<unsigned>(chunk->id));
    return false;
}

bool Loader3ds::readChunkHeader(Chunk3ds* chunk, uint32_t offset) {
    if (static_cast<uint64_t>(offset) + 6 > fileLength) {
        fail("offset %u: truncated chunk header: 6 bytes needed, the file has %u left",
             static_cast<unsigned>(offset),
             static_cast<unsigned>(offset < fileLength ? fileLength - offset : 0));
        return false;
    }
    chunk->id = readUint16(offset);
    chunk->length = readUint32(offset + 2);
    if (chunk->length < 6) {
        fail("offset %u: chunk 0x%04X has length %u, less than its own 6-byte header",
             static_cast<unsigned>(offset), static_cast<unsigned>(chunk->id),
             static_cast<unsigned>(chunk->length));
        return false;
    }
    // A child may reach beyond its parent's end, never beyond the file's.
    if (static_cast<uint64_t>(offset) + chunk->length > fileLength) {
        fail("offset %u: truncated chunk 0x%04X: %u bytes long, the file has %u left",
             static_cast<unsigned>(offset), static_cast<unsigned>(chunk->id),
             static_cast<unsigned>(chunk->length), static_cast<unsigned>(fileLength - offset));
        return false;
    }
    chunk->bodyOffset = offset + 6;
    chunk->bodyLength = chunk->length - 6;
    if (hasName(chunk->id) && !skipName(chunk)) {
        return false;
    }
    chunk->body = fileData + chunk->bodyOffset;
    chunk->firstChild = nullptr;
    chunk->nextSibling = nullptr;
    chunk->payloadOffset = -1;
    chunk->payload = nullptr;
    chunk->payloadLength = 0;
    return true;
}

bool Loader3ds::parseChildren(Chunk3ds* chunk) {
    const uint64_t end = static_cast<uint64_t>(chunk->bodyOffset) + chunk->bodyLength;
    uint64_t a = chunk->bodyOffset;

    // A face list opens the body and its count could read as a sub-chunk id
    // (16688 is 0x4130, 16720 is 0x4150). The whole body is the payload, as
    // for any list; the sub-chunks after the faces (smoothing and material
    // groups) are not read, so they are not parsed either, and a broken one
    // cannot fail the file.
    if (chunk->id == idFaces || chunk->bodyLength < 6) {
        chunk->payloadOffset = chunk->bodyOffset;
        chunk->payload = chunk->body;
        chunk->payloadLength = chunk->bodyLength;
        return true;
    }

    Chunk3ds* last = nullptr;
    int namedObjects = 0;
    for (;;) {
        const uint16_t childId = peekId(static_cast<uint32_t>(a));
        if (!isKnownChild(chunk->id, childId)) {
            chunk->payloadOffset = static_cast<int64_t>(a);
            chunk->payload = fileData + a;
            chunk->payloadLength = static_cast<uint32_t>(end - a);
            return true;
        }
        // The object limit holds while the tree is built, so that a file of
        // thousands of objects is refused before it costs anything.
        if (childId == idNamedObject && ++namedObjects > maxObjects) {
            fail("offset %u: named object %d, more than the limit of %d", static_cast<unsigned>(a),
                 namedObjects, maxObjects);
            return false;
        }
        // Each chunk of a sound file has its own 6-byte header, so the file
        // has room for at most fileLength / 6 of them. More nodes mean that
        // children running past their parents' ends are parsed over and over
        // under each parent: refuse before that costs quadratic time and
        // memory.
        if (++nodeCount > nodeLimit) {
            fail("offset %u: more than the %u chunks that %u bytes have room for: chunks overlap",
                 static_cast<unsigned>(a), static_cast<unsigned>(nodeLimit),
                 static_cast<unsigned>(fileLength));
            return false;
        }
        Chunk3ds* child = new (std::nothrow) Chunk3ds();
        if (child == nullptr) {
            fail("offset %u: out of memory for the chunk tree", static_cast<unsigned>(a));
            return false;
        }
        // Linked in before it is parsed, so that a failed parse frees it with
        // the rest of the tree.
        if (last == nullptr) {
            chunk->firstChild = child;
        } else {
            last->nextSibling = child;
        }
        last = child;
        if (!readChunkHeader(child, static_cast<uint32_t>(a)) || !parseChildren(child)) {
            return false;
        }
        a = static_cast<uint64_t>(child->bodyOffset) + child->bodyLength;
        if (a >= end) {
            return true;
        }
    }
}

Chunk3ds* Loader3ds::findChild(const Chunk3ds* chunk, uint16_t id, int n) {
    if (chunk == nullptr || n < 0) {
        return nullptr;
    }
    for (Chunk3ds* child = chunk->firstChild; child != nullptr; child = child->nextSibling) {
        if (child->id == id) {
            if (n == 0) {
                return child;
            }
            --n;
        }
    }
    return nullptr;
}

void Loader3ds::freeChunks(Chunk3ds* chunk) {
    // Recursion only follows children, which the known pairs limit to six
    // levels; siblings are walked in a loop.
    while (chunk != nullptr) {
        freeChunks(chunk->firstChild);
        Chunk3ds* next = chunk->nextSibling;
        delete chunk;
        chunk = next;
    }
}

bool Loader3ds::decodeObject(int index, const Chunk3ds* namedObject) {
    Object3ds& object = objects[index];
    const Chunk3ds* tri = findChild(namedObject, idTriangleMesh, 0);
    const Chunk3ds* points = findChild(tri, idPoints, 0);
    const Chunk3ds* faces = findChild(tri, idFaces, 0);
    if (points == nullptr || faces == nullptr) {
        // A light, a camera, or a mesh whose lists are missing or hidden
        // behind an unknown chunk: the object stays empty.
        return true;
    }

    // readChunkHeader keeps every payload inside the file, so reads bounded
    // by payloadLength stay inside it too.
    const uint32_t pointsAt = static_cast<uint32_t>(points->payloadOffset);
    if (points->payloadOffset < 0 || points->payloadLength < 2) {
        fail("object %d: point list at offset %u has no count", index,
             static_cast<unsigned>(points->bodyOffset));
        return false;
    }
    const uint32_t n = readUint16(pointsAt);
    if (points->payloadLength != 2 + pointBytes * n) {
        fail("object %d: point list at offset %u holds %u bytes, %u points need %u", index,
             static_cast<unsigned>(pointsAt), static_cast<unsigned>(points->payloadLength),
             static_cast<unsigned>(n), static_cast<unsigned>(2 + pointBytes * n));
        return false;
    }
    const uint32_t facesAt = static_cast<uint32_t>(faces->payloadOffset);
    if (faces->payloadOffset < 0 || faces->payloadLength < 2) {
        fail("object %d: face list at offset %u has no count", index,
             static_cast<unsigned>(faces->bodyOffset));
        return false;
    }
    const uint32_t m = readUint16(facesAt);
    if (faces->payloadLength < 2 + faceBytes * m) {
        fail("object %d: face list at offset %u holds %u bytes, %u faces need %u", index,
             static_cast<unsigned>(facesAt), static_cast<unsigned>(faces->payloadLength),
             static_cast<unsigned>(m), static_cast<unsigned>(2 + faceBytes * m));
        return false;
    }

    // In a sound file each object's lists lie in bytes of their own. Lists
    // shared by objects whose chunks overlap would multiply what a small file
    // decodes to (up to 128 copies of the largest list): refuse them.
    listBytes += points->payloadLength + 2 + faceBytes * m;
    if (listBytes > fileLength) {
        fail("object %d: point and face lists overlap those of other objects (%llu list bytes "
             "in a file of %u)",
             index, static_cast<unsigned long long>(listBytes), static_cast<unsigned>(fileLength));
        return false;
    }
    object.vertices = new (std::nothrow) Vertex3ds[n];
    object.faces = new (std::nothrow) uint32_t[3 * static_cast<size_t>(m)];
    if (object.vertices == nullptr || object.faces == nullptr) {
        fail("object %d: out of memory for %u points and %u faces", index, static_cast<unsigned>(n),
             static_cast<unsigned>(m));
        return false;
    }
    object.vertexCount = static_cast<int32_t>(n);
    object.faceCount = static_cast<int32_t>(m);

    for (uint32_t k = 0; k < n; ++k) {
        const uint32_t at = pointsAt + 2 + 12 * k;
        Vertex3ds& vertex = object.vertices[k];
        // The file's y and z are exchanged here; Mesh mirrors x on top.
        vertex.x = readFloat(at);
        vertex.z = readFloat(at + 4);
        vertex.y = readFloat(at + 8);
        vertex.hasTexCoord = false;
    }
    for (uint32_t j = 0; j < m; ++j) {
        const uint32_t at = facesAt + 2 + 8 * j;
        for (uint32_t corner = 0; corner < 3; ++corner) {
            const uint32_t vertexIndex = readUint16(at + 2 * corner);
            if (vertexIndex >= n) {
                fail("object %d: face %u uses vertex %u, the object has %u", index,
                     static_cast<unsigned>(j), static_cast<unsigned>(vertexIndex),
                     static_cast<unsigned>(n));
                return false;
            }
            object.faces[3 * j + corner] = vertexIndex;
        }
        // The fourth value, the face flags, is not used.
    }

    // Texture coordinates only when there is exactly one pair per point.
    const Chunk3ds* tex = findChild(tri, idTexVerts, 0);
    if (tex != nullptr && tex->payloadOffset >= 0 && tex->payloadLength >= 2) {
        const uint32_t texAt = static_cast<uint32_t>(tex->payloadOffset);
        if (readUint16(texAt) == n && tex->payloadLength == 2 + texVertBytes * n) {
            for (uint32_t k = 0; k < n; ++k) {
                Vertex3ds& vertex = object.vertices[k];
                vertex.hasTexCoord = true;
                vertex.u = readFloat(texAt + 2 + 8 * k);
                vertex.v = readFloat(texAt + 6 + 8 * k);
            }
        }
    }
    return true;
}

bool Loader3ds::parseFile() {
    nodeCount = 0;
    nodeLimit = fileLength / 6;
    listBytes = 0;
    Chunk3ds* root = new (std::nothrow) Chunk3ds();
    if (root == nullptr) {
        fail("out of memory for the chunk tree");
        return false;
    }
    // The root's id is not tested by itself: a root that is not 0x4D4D has no
    // known children, so no MDATA is found under it.
    bool ok = readChunkHeader(root, 0) && parseChildren(root);
    const Chunk3ds* mdata = nullptr;
    if (ok) {
        mdata = findChild(root, idEditor, 0);
        if (mdata == nullptr) {
            fail("no MDATA (0x3D3D) chunk under the root chunk 0x%04X",
                 static_cast<unsigned>(root->id));
            ok = false;
        }
    }
    if (ok) {
        // The parse has already refused an MDATA with too many objects.
        for (const Chunk3ds* child = mdata->firstChild; child != nullptr;
             child = child->nextSibling) {
            if (child->id == idNamedObject) {
                ++objectCount;
            }
        }
    }
    if (ok) {
        int index = 0;
        for (const Chunk3ds* child = mdata->firstChild; ok && child != nullptr;
             child = child->nextSibling) {
            if (child->id == idNamedObject) {
                ok = decodeObject(index, child);
                ++index;
            }
        }
    }
    freeChunks(root);
    if (!ok) {
        clear();
    }
    return ok;
}

bool Loader3ds::loadFromMemory(const unsigned char* data, size_t size, const char* name) {
    clear();
    fileName = name;
    reason[0] = '\0';
    bool ok = false;
    if (data == nullptr && size != 0) {
        fail("no data");
    } else if (size > 0xFFFFFFFFu) {
        fail("%llu bytes, too large", static_cast<unsigned long long>(size));
    } else {
        fileData = data;
        fileLength = static_cast<uint32_t>(size);
        ok = parseFile();
    }
    fileData = nullptr;
    fileLength = 0;
    fileName = nullptr;
    return ok;
}

bool Loader3ds::load(const char* name) {
    clear();
    fileName = name;
    std::FILE* file = std::fopen(name, "rb");
    if (file == nullptr) {
        fail("cannot open: %s", std::strerror(errno));
        fileName = nullptr;
        return false;
    }
    long size = -1;
    errno = 0;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        size = std::ftell(file);
    }
    if (size < 0 || std::fseek(file, 0, SEEK_SET) != 0) {
        fail("cannot read: %s", std::strerror(errno != 0 ? errno : EIO));
        std::fclose(file);
        fileName = nullptr;
        return false;
    }
    if (static_cast<unsigned long>(size) > 0xFFFFFFFFul) {
        std::fclose(file);
        fail("%ld bytes, too large", size);
        fileName = nullptr;
        return false;
    }
    unsigned char* buffer = new (std::nothrow) unsigned char[size > 0 ? size : 1];
    if (buffer == nullptr) {
        std::fclose(file);
        fail("cannot allocate %ld bytes", size);
        fileName = nullptr;
        return false;
    }
    errno = 0;
    const size_t got = std::fread(buffer, 1, static_cast<size_t>(size), file);
    const int readError = std::ferror(file) ? (errno != 0 ? errno : EIO) : 0;
    std::fclose(file);
    bool ok = false;
    if (readError != 0) {
        fail("cannot read: %s", std::strerror(readError));
    } else if (got != static_cast<size_t>(size)) {
        fail("cannot read: the file shrank from %ld to %zu bytes while being read", size, got);
    } else {
        // loadFromMemory resets fileName; the reason keeps the file's name.
        ok = loadFromMemory(buffer, got, name);
    }
    delete[] buffer;
    fileName = nullptr;
    return ok;
}
