// ThreeDsWriter: chunk encoding. Every chunk is a 2-byte id and a 4-byte
// length that counts its header, its data and all its sub-chunks; lengths are
// patched in once a chunk's contents are written.
#include "tools/assets/ThreeDsWriter.h"

#include "tools/assets/FileBytes.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

class ChunkStream {
  public:
    explicit ChunkStream(std::vector<unsigned char>& target) : out(target) {}

    void u16(unsigned value) {
        out.push_back(static_cast<unsigned char>(value & 0xFF));
        out.push_back(static_cast<unsigned char>((value >> 8) & 0xFF));
    }
    void u32(uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            out.push_back(static_cast<unsigned char>((value >> (8 * i)) & 0xFF));
        }
    }
    void f32(float value) {
        uint32_t bits;
        std::memcpy(&bits, &value, 4);
        u32(bits);
    }
    void name(const std::string& text) {
        out.insert(out.end(), text.begin(), text.end());
        out.push_back(0);
    }
    // Writes the header with a zero length; returns where the chunk starts.
    size_t begin(unsigned id) {
        size_t start = out.size();
        u16(id);
        u32(0);
        return start;
    }
    void end(size_t start) {
        uint32_t length = static_cast<uint32_t>(out.size() - start);
        for (int i = 0; i < 4; ++i) {
            out[start + 2 + i] = static_cast<unsigned char>((length >> (8 * i)) & 0xFF);
        }
    }

  private:
    std::vector<unsigned char>& out;
};

enum ChunkId : unsigned {
    idMain = 0x4D4D,
    idVersion = 0x0002,
    idEditor = 0x3D3D,
    idMeshVersion = 0x3D3E,
    idMasterScale = 0x0100,
    idNamedObject = 0x4000,
    idTriangleMesh = 0x4100,
    idPoints = 0x4110,
    idFaces = 0x4120,
    idTexVerts = 0x4140,
    idMeshMatrix = 0x4160,
};

// Visible-edge flags AB, BC and CA set, as modelling tools write them.
const unsigned faceFlags = 0x0007;

} // namespace

bool ThreeDsWriter::addObject(const char* name, const std::vector<Vec3>& points,
                              const std::vector<float>& texCoords,
                              const std::vector<unsigned>& indices) {
    std::string text = name != nullptr ? name : "";
    if (text.empty() || text.size() > maxNameLength) {
        reason = "object name empty or longer than 10 characters: '" + text + "'";
        return false;
    }
    if (points.empty() || points.size() > static_cast<size_t>(maxVertices)) {
        reason = "object " + text + ": point count " + std::to_string(points.size()) +
                 " outside 1..65535";
        return false;
    }
    if (!texCoords.empty() && texCoords.size() != points.size() * 2) {
        reason = "object " + text + ": texture coordinates do not match the points";
        return false;
    }
    size_t faceCount = indices.size() / 3;
    if (indices.size() % 3 != 0 || faceCount == 0 || faceCount > static_cast<size_t>(maxFaces) ||
        faceCount == ambiguousFaceCountA || faceCount == ambiguousFaceCountB) {
        reason = "object " + text + ": face count " + std::to_string(faceCount) + " not writable";
        return false;
    }
    for (size_t i = 0; i < indices.size(); ++i) {
        if (indices[i] >= points.size()) {
            reason = "object " + text + ": face index " + std::to_string(indices[i]) + " beyond " +
                     std::to_string(points.size()) + " points";
            return false;
        }
    }
    objects.push_back(Object{text, points, texCoords, indices});
    return true;
}

bool ThreeDsWriter::encode(std::vector<unsigned char>& out) const {
    out.clear();
    if (objects.empty()) {
        return false;
    }
    ChunkStream s(out);
    size_t main = s.begin(idMain);
    size_t version = s.begin(idVersion);
    s.u32(3);
    s.end(version);

    size_t editor = s.begin(idEditor);
    size_t meshVersion = s.begin(idMeshVersion);
    s.u32(3);
    s.end(meshVersion);
    size_t masterScale = s.begin(idMasterScale);
    s.f32(1.0f);
    s.end(masterScale);

    for (const Object& object : objects) {
        size_t named = s.begin(idNamedObject);
        s.name(object.name);
        size_t mesh = s.begin(idTriangleMesh);

        size_t points = s.begin(idPoints);
        s.u16(static_cast<unsigned>(object.points.size()));
        for (const Vec3& p : object.points) {
            s.f32(p.x);
            s.f32(p.y);
            s.f32(p.z);
        }
        s.end(points);

        if (!object.texCoords.empty()) {
            size_t tex = s.begin(idTexVerts);
            s.u16(static_cast<unsigned>(object.points.size()));
            for (float value : object.texCoords) {
                s.f32(value);
            }
            s.end(tex);
        }

        // Identity local frame: the points are already where they belong.
        size_t matrix = s.begin(idMeshMatrix);
        const float identity[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
        for (float value : identity) {
            s.f32(value);
        }
        s.end(matrix);

        size_t faces = s.begin(idFaces);
        s.u16(static_cast<unsigned>(object.indices.size() / 3));
        for (size_t i = 0; i < object.indices.size(); i += 3) {
            s.u16(object.indices[i]);
            s.u16(object.indices[i + 1]);
            s.u16(object.indices[i + 2]);
            s.u16(faceFlags);
        }
        s.end(faces);

        s.end(mesh);
        s.end(named);
    }
    s.end(editor);
    s.end(main);
    return true;
}

bool ThreeDsWriter::writeFile(const char* path) {
    std::vector<unsigned char> bytes;
    if (!encode(bytes)) {
        reason = std::string(path) + ": no objects to write";
        return false;
    }
    return writeFileBytes(path, bytes, reason);
}
