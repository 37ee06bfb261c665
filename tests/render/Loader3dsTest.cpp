// Tests of the 3DS reader: files built here chunk by chunk for each rule of
// the format and each way a file can be broken, and real files written by
// assimp and lib3ds (tests/data) checked against lib3ds's own dump.
#include "render/Loader3ds.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

typedef std::vector<unsigned char> Bytes;

struct Point {
    float x, y, z;
};
struct Face {
    uint16_t a, b, c;
};
struct Uv {
    float u, v;
};

void append(Bytes& to, const Bytes& more) {
    to.insert(to.end(), more.begin(), more.end());
}

void addU16(Bytes& to, uint32_t value) {
    to.push_back(static_cast<unsigned char>(value));
    to.push_back(static_cast<unsigned char>(value >> 8));
}

void addU32(Bytes& to, uint32_t value) {
    for (int k = 0; k < 4; ++k) {
        to.push_back(static_cast<unsigned char>(value >> (8 * k)));
    }
}

void addFloat(Bytes& to, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    addU32(to, bits);
}

void setU32(Bytes& bytes, size_t at, uint32_t value) {
    for (int k = 0; k < 4; ++k) {
        bytes[at + k] = static_cast<unsigned char>(value >> (8 * k));
    }
}

// A chunk: id, length (header included), body.
Bytes chunk(uint16_t id, const Bytes& body) {
    Bytes out;
    addU16(out, id);
    addU32(out, static_cast<uint32_t>(body.size() + 6));
    append(out, body);
    return out;
}

Bytes pointArray(const std::vector<Point>& points, size_t extraBytes = 0) {
    Bytes body;
    addU16(body, static_cast<uint32_t>(points.size()));
    for (const Point& p : points) {
        addFloat(body, p.x);
        addFloat(body, p.y);
        addFloat(body, p.z);
    }
    body.resize(body.size() + extraBytes, 0);
    return chunk(0x4110, body);
}

// A face list followed by optional sub-chunks (smoothing group, material group).
Bytes faceArray(const std::vector<Face>& faces, const Bytes& subChunks = Bytes()) {
    Bytes body;
    addU16(body, static_cast<uint32_t>(faces.size()));
    for (const Face& f : faces) {
        addU16(body, f.a);
        addU16(body, f.b);
        addU16(body, f.c);
        addU16(body, 7); // edge visibility flags
    }
    append(body, subChunks);
    return chunk(0x4120, body);
}

Bytes smoothGroup(size_t faceCount) {
    Bytes body;
    for (size_t k = 0; k < faceCount; ++k) {
        addU32(body, 1);
    }
    return chunk(0x4150, body);
}

Bytes texVerts(const std::vector<Uv>& uvs, int countOverride = -1, size_t extraBytes = 0) {
    Bytes body;
    addU16(body, countOverride >= 0 ? static_cast<uint32_t>(countOverride)
                                    : static_cast<uint32_t>(uvs.size()));
    for (const Uv& t : uvs) {
        addFloat(body, t.u);
        addFloat(body, t.v);
    }
    body.resize(body.size() + extraBytes, 0);
    return chunk(0x4140, body);
}

Bytes triObject(std::initializer_list<Bytes> parts) {
    Bytes body;
    for (const Bytes& part : parts) {
        append(body, part);
    }
    return chunk(0x4100, body);
}

Bytes namedObject(const std::string& name, const Bytes& content) {
    Bytes body(name.begin(), name.end());
    body.push_back(0);
    append(body, content);
    return chunk(0x4000, body);
}

// The root with a version chunk, then MDATA holding the given children, then
// anything else the root should hold.
Bytes modelFile(const Bytes& mdataChildren, const Bytes& afterMdata = Bytes()) {
    Bytes version;
    addU32(version, 3);
    Bytes rootBody = chunk(0x0002, version);
    append(rootBody, chunk(0x3D3D, mdataChildren));
    append(rootBody, afterMdata);
    return chunk(0x4D4D, rootBody);
}

const std::vector<Point> triangle = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
const std::vector<Face> oneFace = {{0, 1, 2}};

Bytes triangleObject(const std::string& name) {
    return namedObject(name, triObject({pointArray(triangle), faceArray(oneFace)}));
}

// A small but complete file: version, mesh version, scale, a material and two
// objects, one with texture coordinates and a face sub-chunk.
Bytes richFile() {
    Bytes mdata;
    Bytes meshVersion;
    addU32(meshVersion, 3);
    append(mdata, chunk(0x3D3E, meshVersion));
    Bytes scale;
    addFloat(scale, 1.0f);
    append(mdata, chunk(0x0100, scale));
    append(mdata, chunk(0xAFFF, chunk(0xA000, Bytes{'m', 0})));
    append(mdata,
           namedObject("quad", triObject({pointArray({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}),
                                          texVerts({{0, 0}, {1, 0}, {1, 1}, {0, 1}}),
                                          faceArray({{0, 1, 2}, {0, 2, 3}}, smoothGroup(2))})));
    append(mdata, triangleObject("tri"));
    return modelFile(mdata);
}

bool load(Loader3ds& loader, const Bytes& file, const char* name = "test.3ds") {
    return loader.loadFromMemory(file.data(), file.size(), name);
}

std::string dataPath(const char* name) {
    return std::string(DRAVONEL_TEST_DATA) + "/" + name;
}

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Every face of every object names a vertex of that object.
void expectConsistent(const Loader3ds& loader) {
    ASSERT_GE(loader.objectCount, 0);
    ASSERT_LE(loader.objectCount, Loader3ds::maxObjects);
    for (int i = 0; i < loader.objectCount; ++i) {
        const Object3ds& object = loader.objects[i];
        for (int k = 0; k < 3 * object.faceCount; ++k) {
            ASSERT_LT(object.faces[k], static_cast<uint32_t>(object.vertexCount));
        }
    }
}

// One triangle mesh as lib3ds's dump tool prints it.
struct DumpedMesh {
    std::string name;
    std::vector<Point> points;
    std::vector<Face> faces;
};

std::vector<DumpedMesh> readDump(const std::string& path) {
    std::vector<DumpedMesh> meshes;
    std::ifstream in(path);
    std::string line;
    int pointsLeft = 0, facesLeft = 0, vertexCount = 0, faceCount = 0;
    bool inPoints = false, inFaces = false;
    while (std::getline(in, line)) {
        char name[128];
        if (std::sscanf(line.c_str(), " %127s vertices=%d faces=%d", name, &vertexCount,
                        &faceCount) == 3) {
            meshes.push_back(DumpedMesh());
            meshes.back().name = name;
            inPoints = inFaces = false;
        } else if (line.find("point list:") != std::string::npos) {
            inPoints = true;
            pointsLeft = vertexCount;
        } else if (line.find("facelist:") != std::string::npos) {
            inFaces = true;
            facesLeft = faceCount;
        } else if (inPoints && pointsLeft > 0) {
            Point p;
            if (std::sscanf(line.c_str(), "%f %f %f", &p.x, &p.y, &p.z) == 3) {
                meshes.back().points.push_back(p);
            }
            inPoints = --pointsLeft > 0;
        } else if (inFaces && facesLeft > 0) {
            unsigned a, b, c;
            if (std::sscanf(line.c_str(), "%u %u %u", &a, &b, &c) == 3) {
                meshes.back().faces.push_back(
                    {static_cast<uint16_t>(a), static_cast<uint16_t>(b), static_cast<uint16_t>(c)});
            }
            inFaces = --facesLeft > 0;
        }
    }
    return meshes;
}

} // namespace

TEST(Loader3dsFormat, MinimalFileExchangesYAndZ) {
    Loader3ds loader;
    ASSERT_TRUE(load(loader, modelFile(triangleObject("t")))) << loader.failureReason();
    ASSERT_EQ(loader.objectCount, 1);
    const Object3ds& object = loader.objects[0];
    ASSERT_EQ(object.vertexCount, 3);
    ASSERT_EQ(object.faceCount, 1);
    // File point (1, 2, 3) is stored as x 1, y 3, z 2.
    EXPECT_EQ(object.vertices[0].x, 1.0f);
    EXPECT_EQ(object.vertices[0].y, 3.0f);
    EXPECT_EQ(object.vertices[0].z, 2.0f);
    EXPECT_EQ(object.vertices[2].x, 7.0f);
    EXPECT_EQ(object.vertices[2].y, 9.0f);
    EXPECT_EQ(object.vertices[2].z, 8.0f);
    EXPECT_FALSE(object.vertices[0].hasTexCoord);
    EXPECT_EQ(object.faces[0], 0u);
    EXPECT_EQ(object.faces[1], 1u);
    EXPECT_EQ(object.faces[2], 2u);
    loader.clear();
    EXPECT_EQ(loader.objectCount, 0);
    EXPECT_EQ(loader.objects[0].vertices, nullptr);
}

TEST(Loader3dsFormat, PointListLengthMustMatchItsCount) {
    Loader3ds loader;
    // Count 3: a payload of 38 bytes (2 + 36) loads.
    ASSERT_TRUE(load(loader, modelFile(triangleObject("t"))));
    // 40 bytes (two spare) fail, as does a short list.
    const Bytes longer =
        modelFile(namedObject("t", triObject({pointArray(triangle, 2), faceArray(oneFace)})));
    EXPECT_FALSE(load(loader, longer));
    EXPECT_NE(std::string(loader.failureReason()).find("object 0: point list"), std::string::npos)
        << loader.failureReason();
    EXPECT_EQ(loader.objectCount, 0);

    Bytes shortList = pointArray(triangle);
    shortList[6] = 4; // count 4, room for 3
    EXPECT_FALSE(
        load(loader, modelFile(namedObject("t", triObject({shortList, faceArray(oneFace)})))));
    // A point list too short to hold its own count.
    EXPECT_FALSE(load(loader, modelFile(namedObject(
                                  "t", triObject({chunk(0x4110, Bytes{3}), faceArray(oneFace)})))));
    EXPECT_NE(std::string(loader.failureReason()).find("no count"), std::string::npos);
}

TEST(Loader3dsFormat, FaceListWithSubChunksAndCountsThatLookLikeIds) {
    Loader3ds loader;
    // Two faces followed by a smoothing group: the sub-chunk is ignored.
    const std::vector<Point> quad = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    const Bytes withGroup = modelFile(namedObject(
        "q", triObject({pointArray(quad), faceArray({{0, 1, 2}, {0, 2, 3}}, smoothGroup(2))})));
    ASSERT_TRUE(load(loader, withGroup)) << loader.failureReason();
    EXPECT_EQ(loader.objects[0].faceCount, 2);
    EXPECT_EQ(loader.objects[0].faces[5], 3u);

    // A face list shorter than its count fails.
    Bytes shortFaces = faceArray({{0, 1, 2}, {0, 2, 3}});
    shortFaces[6] = 3;
    EXPECT_FALSE(
        load(loader, modelFile(namedObject("q", triObject({pointArray(quad), shortFaces})))));
    EXPECT_NE(std::string(loader.failureReason()).find("face list"), std::string::npos);

    // 16688 is 0x4130 and 16720 is 0x4150, the ids of face sub-chunks: the
    // face list is skipped before sub-chunks are looked for.
    for (uint16_t count : {uint16_t(16688), uint16_t(16720)}) {
        std::vector<Face> many(count);
        for (uint16_t k = 0; k < count; ++k) {
            many[k] = {static_cast<uint16_t>(k % 4), static_cast<uint16_t>((k + 1) % 4),
                       static_cast<uint16_t>((k + 2) % 4)};
        }
        const Bytes file = modelFile(
            namedObject("m", triObject({pointArray(quad), faceArray(many, smoothGroup(count))})));
        ASSERT_TRUE(load(loader, file)) << count << ": " << loader.failureReason();
        EXPECT_EQ(loader.objects[0].faceCount, count);
        EXPECT_EQ(loader.objects[0].faces[3 * (count - 1)], static_cast<uint32_t>((count - 1) % 4));
    }

    // Sub-chunks after the faces are not read, so a broken one does not fail
    // the file: here a smoothing group of length 110 in a 96-byte file.
    ASSERT_TRUE(loader.load(dataPath("face-subchunk-past-end.3ds").c_str()))
        << loader.failureReason();
    ASSERT_EQ(loader.objectCount, 1);
    EXPECT_EQ(loader.objects[0].vertexCount, 3);
    EXPECT_EQ(loader.objects[0].faceCount, 1);
    EXPECT_EQ(loader.objects[0].faces[2], 2u);
}

// Objects of 19 bytes whose triangle meshes all run to the end of the file,
// each followed by a mesh matrix that reaches over the next object's first
// 13 bytes to the next mesh matrix: every mesh's children are the chain of
// all later mesh matrices, then `tail`'s chunks. Parsed naively that is
// objects^2 / 2 chunks from a file of 19 bytes per object.
Bytes overlappingObjects(int objects, const Bytes& tail) {
    const uint32_t base = 12; // root and MDATA headers
    const uint32_t total =
        base + 19 * static_cast<uint32_t>(objects) + 13 + static_cast<uint32_t>(tail.size());
    Bytes file;
    addU16(file, 0x4D4D);
    addU32(file, total);
    addU16(file, 0x3D3D);
    addU32(file, total - 6);
    for (int i = 0; i < objects; ++i) {
        const uint32_t at = base + 19 * static_cast<uint32_t>(i);
        addU16(file, 0x4000);
        addU32(file, 19);
        file.push_back(0); // empty name
        addU16(file, 0x4100);
        addU32(file, total - (at + 7));
        addU16(file, 0x4160);
        addU32(file, 19);
    }
    file.insert(file.end(), 13, 1);
    append(file, tail);
    return file;
}

TEST(Loader3dsFormat, OverlappingChunksAreRefusedBeforeTheyMultiply) {
    Loader3ds loader;
    // 8000 objects in 152 KB: 32 million chunks if parsed under every
    // parent; refused once the chunks outnumber what the bytes can hold.
    const Bytes chain = overlappingObjects(8000, Bytes());
    ASSERT_EQ(chain.size(), 152025u);
    EXPECT_FALSE(load(loader, chain));
    EXPECT_NE(std::string(loader.failureReason()).find("chunks overlap"), std::string::npos)
        << loader.failureReason();
    EXPECT_EQ(loader.objectCount, 0);

    // 128 objects sharing one point list of 6000 points and one face list
    // through the chain: few enough chunks, but every object would decode
    // its own copy of the same 72 KB.
    std::vector<Point> points(6000, Point{1, 2, 3});
    Bytes tail = pointArray(points);
    append(tail, faceArray(oneFace));
    EXPECT_FALSE(load(loader, overlappingObjects(128, tail)));
    EXPECT_NE(std::string(loader.failureReason()).find("object 1: point and face lists overlap"),
              std::string::npos)
        << loader.failureReason();
    EXPECT_EQ(loader.objectCount, 0);
    // The same lists used once load.
    ASSERT_TRUE(load(loader, overlappingObjects(1, tail))) << loader.failureReason();
    EXPECT_EQ(loader.objects[0].vertexCount, 6000);
}

TEST(Loader3dsFormat, TextureCoordinatesOnlyWhenOnePerPoint) {
    Loader3ds loader;
    const std::vector<Uv> three = {{0.25f, 0.5f}, {1, 0}, {0, 1}};
    // Matching count: every vertex has its pair.
    ASSERT_TRUE(load(
        loader, modelFile(namedObject(
                    "t", triObject({pointArray(triangle), texVerts(three), faceArray(oneFace)})))));
    for (int k = 0; k < 3; ++k) {
        EXPECT_TRUE(loader.objects[0].vertices[k].hasTexCoord);
    }
    EXPECT_EQ(loader.objects[0].vertices[0].u, 0.25f);
    EXPECT_EQ(loader.objects[0].vertices[0].v, 0.5f);
    EXPECT_EQ(loader.objects[0].vertices[2].v, 1.0f);

    // A count differing from the points, or a payload longer than the count
    // says, is ignored: no vertex gets coordinates, and the load succeeds.
    const Bytes variants[] = {texVerts({{0, 0}, {1, 0}}), texVerts(three, 2),
                              texVerts(three, -1, 4), chunk(0x4140, Bytes{})};
    for (const Bytes& tex : variants) {
        ASSERT_TRUE(load(loader, modelFile(namedObject("t", triObject({pointArray(triangle), tex,
                                                                       faceArray(oneFace)})))))
            << loader.failureReason();
        for (int k = 0; k < 3; ++k) {
            EXPECT_FALSE(loader.objects[0].vertices[k].hasTexCoord);
        }
    }
}

TEST(Loader3dsFormat, UnlistedChunksEndARunOfChildren) {
    Loader3ds loader;
    // An ambient light setting (0x2100) in MDATA hides the objects after it.
    Bytes mdata = triangleObject("first");
    append(mdata, chunk(0x2100, Bytes(12, 0)));
    append(mdata, triangleObject("second"));
    ASSERT_TRUE(load(loader, modelFile(mdata))) << loader.failureReason();
    EXPECT_EQ(loader.objectCount, 1);

    // A point-flag list (0x4111) in a triangle object hides the face list
    // behind it: the object is left empty, the file still loads.
    Bytes flags;
    addU16(flags, 3);
    addU16(flags, 0);
    addU16(flags, 0);
    addU16(flags, 0);
    Bytes hidden = namedObject(
        "hidden", triObject({pointArray(triangle), chunk(0x4111, flags), faceArray(oneFace)}));
    append(hidden, triangleObject("after"));
    ASSERT_TRUE(load(loader, modelFile(hidden))) << loader.failureReason();
    ASSERT_EQ(loader.objectCount, 2);
    EXPECT_EQ(loader.objects[0].vertexCount, 0);
    EXPECT_EQ(loader.objects[0].faceCount, 0);
    EXPECT_EQ(loader.objects[0].vertices, nullptr);
    EXPECT_EQ(loader.objects[1].vertexCount, 3);
}

TEST(Loader3dsFormat, LightsCamerasAndEmptyObjectsKeepTheirPlace) {
    Loader3ds loader;
    Bytes mdata = namedObject("lamp", chunk(0x4600, Bytes(12, 0)));
    append(mdata, namedObject("camera", chunk(0x4700, Bytes(32, 0))));
    append(mdata, namedObject("nothing", Bytes()));
    append(mdata, namedObject("points only", triObject({pointArray(triangle)})));
    append(mdata, namedObject("faces only", triObject({faceArray(oneFace)})));
    append(mdata, triangleObject("mesh"));
    ASSERT_TRUE(load(loader, modelFile(mdata))) << loader.failureReason();
    ASSERT_EQ(loader.objectCount, 6);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(loader.objects[i].vertexCount, 0) << i;
        EXPECT_EQ(loader.objects[i].faceCount, 0) << i;
    }
    EXPECT_EQ(loader.objects[5].faceCount, 1);

    // MDATA without objects loads with none.
    ASSERT_TRUE(load(loader, modelFile(Bytes())));
    EXPECT_EQ(loader.objectCount, 0);
}

TEST(Loader3dsFormat, ObjectOrderFollowsTheChunksNotTheNames) {
    Loader3ds loader;
    Bytes mdata = namedObject(
        "b", triObject({pointArray({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}), faceArray(oneFace)}));
    append(mdata, chunk(0xAFFF, Bytes(8, 1))); // a material between objects
    append(mdata, namedObject("a", triObject({pointArray({{5, 0, 0}, {0, 5, 0}, {0, 0, 5}}),
                                              faceArray(oneFace)})));
    ASSERT_TRUE(load(loader, modelFile(mdata)));
    ASSERT_EQ(loader.objectCount, 2);
    EXPECT_EQ(loader.objects[0].vertices[0].x, 1.0f);
    EXPECT_EQ(loader.objects[1].vertices[0].x, 5.0f);
}

TEST(Loader3dsFormat, AtMost128Objects) {
    Loader3ds loader;
    Bytes mdata;
    for (int i = 0; i < 128; ++i) {
        append(mdata, triangleObject("o" + std::to_string(i)));
    }
    ASSERT_TRUE(load(loader, modelFile(mdata))) << loader.failureReason();
    EXPECT_EQ(loader.objectCount, 128);
    EXPECT_EQ(loader.objects[127].vertexCount, 3);
    append(mdata, triangleObject("one too many"));
    EXPECT_FALSE(load(loader, modelFile(mdata)));
    EXPECT_NE(std::string(loader.failureReason()).find("named object 129, more than the limit"),
              std::string::npos)
        << loader.failureReason();
    EXPECT_EQ(loader.objectCount, 0);
}

TEST(Loader3dsFormat, TrailingBytesAndUnknownRootChunksAreIgnored) {
    Loader3ds loader;
    Bytes file = modelFile(triangleObject("t"), chunk(0xB000, Bytes(20, 9)));
    file.insert(file.end(), 37, 0xCD);
    ASSERT_TRUE(load(loader, file)) << loader.failureReason();
    EXPECT_EQ(loader.objectCount, 1);
}

TEST(Loader3dsFormat, FaceIndexBeyondTheVerticesFails) {
    Loader3ds loader;
    Bytes mdata = triangleObject("fine");
    append(mdata, namedObject("bad", triObject({pointArray(triangle),
                                                faceArray({{0, 1, 2}, {2, 1, 0}, {0, 3, 1}})})));
    EXPECT_FALSE(load(loader, modelFile(mdata)));
    const std::string reason = loader.failureReason();
    EXPECT_NE(reason.find("test.3ds: object 1: face 2 uses vertex 3"), std::string::npos) << reason;
    EXPECT_EQ(loader.objectCount, 0);
    EXPECT_EQ(loader.objects[0].vertices, nullptr);
}

TEST(Loader3dsFormat, CountsFarBeyondThePayloadFailWithoutReadingIt) {
    Loader3ds loader;
    Bytes points = pointArray(triangle);
    points[6] = 0xFF;
    points[7] = 0xFF;
    EXPECT_FALSE(
        load(loader, modelFile(namedObject("t", triObject({points, faceArray(oneFace)})))));
    Bytes faces = faceArray(oneFace);
    faces[6] = 0xFF;
    faces[7] = 0xFF;
    EXPECT_FALSE(
        load(loader, modelFile(namedObject("t", triObject({pointArray(triangle), faces})))));
    // A texture list claiming 65535 pairs is only ignored.
    ASSERT_TRUE(load(loader, modelFile(namedObject(
                                 "t", triObject({pointArray(triangle), texVerts({{0, 0}}, 65535),
                                                 faceArray(oneFace)})))));
    EXPECT_FALSE(loader.objects[0].vertices[0].hasTexCoord);
}

TEST(Loader3dsFormat, BrokenChunkHeadersAreRefused) {
    const Bytes good = modelFile(triangleObject("t"));
    // Offsets in `good`: root 0, version 6 (10 bytes), MDATA 16, NAMED_OBJECT 22.
    struct Case {
        const char* what;
        size_t offset;
        uint32_t value; // written as u32 at offset, or as u16 when below 0x10000 and id
        bool isId;
        const char* reasonPart;
    } cases[] = {
        {"root length 5", 2, 5, false, "offset 0: chunk 0x4D4D has length 5, less than its own"},
        {"root length past the end", 2, static_cast<uint32_t>(good.size() + 1), false,
         "offset 0: truncated chunk 0x4D4D"},
        {"root length wraps", 2, 0xFFFFFFFFu, false, "offset 0"},
        {"root id", 0, 0x4D4C, true, "no MDATA"},
        {"MDATA id", 16, 0x3D3C, true, "no MDATA"},
        {"MDATA length 0", 18, 0, false, "offset 16"},
        {"MDATA past the file", 18, static_cast<uint32_t>(good.size()), false, "offset 16"},
        {"object length 3", 24, 3, false, "offset 22"},
        {"version length past the file", 8, 0x10000, false, "offset 6"},
    };
    for (const Case& c : cases) {
        Bytes file = good;
        if (c.isId) {
            file[c.offset] = static_cast<unsigned char>(c.value);
            file[c.offset + 1] = static_cast<unsigned char>(c.value >> 8);
        } else {
            setU32(file, c.offset, c.value);
        }
        Loader3ds loader;
        EXPECT_FALSE(load(loader, file)) << c.what;
        const std::string reason = loader.failureReason();
        EXPECT_NE(reason.find(c.reasonPart), std::string::npos) << c.what << ": " << reason;
        EXPECT_EQ(loader.objectCount, 0);
    }
    // MDATA may reach beyond the root's end as long as it stays in the file.
    Bytes longer = good;
    longer.insert(longer.end(), 8, 0);
    setU32(longer, 18, static_cast<uint32_t>(longer.size() - 16));
    Loader3ds loader;
    EXPECT_TRUE(load(loader, longer)) << loader.failureReason();

    // A name that runs to the chunk's end without its terminator.
    Bytes unterminated = chunk(0x4000, Bytes{'a', 'b', 'c'});
    unterminated.push_back(0); // a zero byte after the chunk does not count
    EXPECT_FALSE(load(loader, modelFile(unterminated)));
    EXPECT_NE(std::string(loader.failureReason()).find("terminator"), std::string::npos);

    EXPECT_FALSE(loader.loadFromMemory(nullptr, 0, "empty.3ds"));
    EXPECT_NE(std::string(loader.failureReason()).find("empty.3ds: offset 0"), std::string::npos);
    EXPECT_FALSE(loader.load((dataPath("lib3ds-cube.3ds") + ".missing").c_str()));
    EXPECT_NE(std::string(loader.failureReason()).find("cannot open: No such file"),
              std::string::npos);
}

TEST(Loader3dsFormat, TruncationSweep) {
    const Bytes file = richFile();
    Loader3ds loader;
    ASSERT_TRUE(load(loader, file)) << loader.failureReason();
    ASSERT_EQ(loader.objectCount, 2);
    EXPECT_TRUE(loader.objects[0].vertices[3].hasTexCoord);
    for (size_t length = 0; length < file.size(); ++length) {
        // An exact-size copy, so that the sanitizers see any read past it.
        const Bytes prefix(file.begin(), file.begin() + length);
        EXPECT_FALSE(load(loader, prefix)) << length;
        EXPECT_STRNE(loader.failureReason(), "") << length;
        EXPECT_EQ(loader.objectCount, 0);
        // With the root's length cut to match, inner chunks run past the end:
        // refused or loaded, never read beyond the bytes given.
        if (length >= 6) {
            Bytes patched = prefix;
            setU32(patched, 2, static_cast<uint32_t>(length));
            if (load(loader, patched)) {
                expectConsistent(loader);
            }
        }
    }
}

TEST(Loader3dsFormat, RandomCorruptionNeverBreaksTheObjects) {
    const Bytes good = richFile();
    std::mt19937 random(3141);
    Loader3ds loader;
    int loaded = 0;
    for (int round = 0; round < 3000; ++round) {
        Bytes file = good;
        const int changes = 1 + static_cast<int>(random() % 4);
        for (int c = 0; c < changes; ++c) {
            file[random() % file.size()] = static_cast<unsigned char>(random());
        }
        if (load(loader, file)) {
            ++loaded;
            expectConsistent(loader);
        } else {
            EXPECT_STRNE(loader.failureReason(), "");
            EXPECT_EQ(loader.objectCount, 0);
        }
    }
    // Most single changes hit floats or names, which still load.
    EXPECT_GT(loaded, 100);
}

TEST(Loader3dsRealFiles, MatchLib3dsDump) {
    struct Case {
        const char* file;
        int objectCount; // named objects, empty ones included
        int firstMesh;   // index of the first triangle mesh
    } cases[] = {{"assimp-cube", 1, 0},
                 {"assimp-tetra", 2, 0},
                 {"lib3ds-cube", 1, 0},
                 {"lib3ds-tetra", 4, 2}};
    for (const Case& c : cases) {
        const std::string path = dataPath((std::string(c.file) + ".3ds").c_str());
        const std::vector<DumpedMesh> dump =
            readDump(dataPath((std::string(c.file) + ".3dsdump.txt").c_str()));
        ASSERT_FALSE(dump.empty()) << c.file;
        Loader3ds loader;
        ASSERT_TRUE(loader.load(path.c_str())) << loader.failureReason();
        ASSERT_EQ(loader.objectCount, c.objectCount) << c.file;
        for (int i = 0; i < c.firstMesh; ++i) {
            EXPECT_EQ(loader.objects[i].vertexCount, 0) << c.file << " object " << i;
        }
        ASSERT_EQ(static_cast<size_t>(loader.objectCount - c.firstMesh), dump.size()) << c.file;
        for (size_t m = 0; m < dump.size(); ++m) {
            const Object3ds& object = loader.objects[c.firstMesh + m];
            const DumpedMesh& expected = dump[m];
            ASSERT_EQ(static_cast<size_t>(object.vertexCount), expected.points.size())
                << c.file << " " << expected.name;
            ASSERT_EQ(static_cast<size_t>(object.faceCount), expected.faces.size());
            for (size_t k = 0; k < expected.points.size(); ++k) {
                EXPECT_FLOAT_EQ(object.vertices[k].x, expected.points[k].x);
                EXPECT_FLOAT_EQ(object.vertices[k].y, expected.points[k].z);
                EXPECT_FLOAT_EQ(object.vertices[k].z, expected.points[k].y);
            }
            for (size_t j = 0; j < expected.faces.size(); ++j) {
                EXPECT_EQ(object.faces[3 * j], expected.faces[j].a) << c.file << " face " << j;
                EXPECT_EQ(object.faces[3 * j + 1], expected.faces[j].b);
                EXPECT_EQ(object.faces[3 * j + 2], expected.faces[j].c);
            }
        }
        // The memory path reads the same.
        const Bytes bytes = readFile(path);
        Loader3ds fromMemory;
        ASSERT_TRUE(load(fromMemory, bytes, c.file));
        EXPECT_EQ(fromMemory.objectCount, loader.objectCount);
    }
}

TEST(Loader3dsRealFiles, TetrahedronTexelsFollowTheirVertices) {
    // tetra.obj gives vertex (x, y, z) the texture coordinate below; both
    // tools reorder or keep vertices, but each keeps its own pair.
    struct Expected {
        Point position;
        Uv uv;
    } expected[] = {
        {{1, 2, 3}, {0, 0}}, {{4, 2, 3}, {1, 0}}, {{1, 5, 3}, {0, 1}}, {{1, 2, 6}, {1, 1}}};
    for (const char* file : {"assimp-tetra.3ds", "lib3ds-tetra.3ds"}) {
        Loader3ds loader;
        ASSERT_TRUE(loader.load(dataPath(file).c_str())) << loader.failureReason();
        const Object3ds& tetra = loader.objects[loader.objectCount - 2];
        const Object3ds& tri = loader.objects[loader.objectCount - 1];
        ASSERT_EQ(tetra.vertexCount, 4) << file;
        for (int k = 0; k < 4; ++k) {
            const Vertex3ds& v = tetra.vertices[k];
            ASSERT_TRUE(v.hasTexCoord) << file;
            bool found = false;
            for (const Expected& e : expected) {
                if (v.x == e.position.x && v.y == e.position.z && v.z == e.position.y) {
                    EXPECT_EQ(v.u, e.uv.u) << file << " vertex " << k;
                    EXPECT_EQ(v.v, e.uv.v) << file << " vertex " << k;
                    found = true;
                }
            }
            EXPECT_TRUE(found) << file << " vertex " << k;
        }
        ASSERT_EQ(tri.vertexCount, 3);
        EXPECT_FALSE(tri.vertices[0].hasTexCoord) << file;
    }
}
