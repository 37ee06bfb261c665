// Tests of Mesh without GL: allocation, loading 3DS objects from the assimp
// and lib3ds fixtures (axis mapping, scale, texture coordinates, winding),
// smooth normals and bounds. Meshes here have no renderer, as in the
// headless simulator.
#include "render/Mesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

std::string dataPath(const char* name) {
    return std::string(DRAVONEL_TEST_DATA) + "/" + name;
}

void expectVec3Near(const Vec3& actual, float x, float y, float z, float tolerance = 1e-5f) {
    EXPECT_NEAR(actual.x, x, tolerance);
    EXPECT_NEAR(actual.y, y, tolerance);
    EXPECT_NEAR(actual.z, z, tolerance);
}

float length(const Vec3& v) {
    return std::sqrt(dot(v, v));
}

// A mesh of the given positions and triangles, with normals.
void build(Mesh& mesh, const std::vector<Vec3>& positions, const std::vector<uint32_t>& triangles) {
    ASSERT_TRUE(mesh.allocate(static_cast<int>(positions.size()),
                              static_cast<int>(triangles.size() / 3), Mesh::hasNormals));
    for (size_t k = 0; k < positions.size(); ++k) {
        mesh.vertices[k] = positions[k];
    }
    for (size_t k = 0; k < triangles.size(); ++k) {
        mesh.indices[k] = triangles[k];
    }
}

} // namespace

TEST(MeshState, ConstructionAndAllocation) {
    Mesh mesh(nullptr);
    EXPECT_EQ(mesh.vertices, nullptr);
    EXPECT_EQ(mesh.texCoords, nullptr);
    EXPECT_EQ(mesh.normals, nullptr);
    EXPECT_EQ(mesh.indices, nullptr);
    EXPECT_EQ(mesh.vertexCount, 0);
    EXPECT_EQ(mesh.triangleCount, 0);
    EXPECT_EQ(mesh.textureId, -1);
    EXPECT_EQ(mesh.arrayFlags, 0);
    EXPECT_FALSE(mesh.transparent);
    EXPECT_FALSE(mesh.wireframe);
    EXPECT_EQ(mesh.transform.m[0], 1.0f);
    EXPECT_EQ(mesh.transform.m[12], 0.0f);
    // Nothing to draw, and no renderer to draw with.
    EXPECT_FALSE(mesh.draw());

    for (int flags = 0; flags < 4; ++flags) {
        ASSERT_TRUE(mesh.allocate(4225, 8192, flags));
        EXPECT_EQ(mesh.vertexCount, 4225);
        EXPECT_EQ(mesh.triangleCount, 8192);
        EXPECT_EQ(mesh.arrayFlags, flags);
        EXPECT_NE(mesh.vertices, nullptr);
        EXPECT_NE(mesh.indices, nullptr);
        EXPECT_EQ(mesh.texCoords != nullptr, (flags & Mesh::hasTexCoords) != 0) << flags;
        EXPECT_EQ(mesh.normals != nullptr, (flags & Mesh::hasNormals) != 0) << flags;
        // The arrays are usable to their ends (the sanitizers watch this).
        mesh.vertices[4224] = Vec3(1, 2, 3);
        mesh.indices[3 * 8192 - 1] = 4224;
    }
    // The dust shape: texture coordinates, no normals.
    ASSERT_TRUE(mesh.allocate(4, 4, 1));
    EXPECT_FALSE(mesh.computeNormals());

    EXPECT_FALSE(mesh.allocate(-1, 4, 3));
    EXPECT_EQ(mesh.vertexCount, 0);
    EXPECT_EQ(mesh.vertices, nullptr);
    EXPECT_FALSE(mesh.allocate(3, -2, 3));
    EXPECT_EQ(mesh.triangleCount, 0);

    mesh.setMaterial(0x102030, 0x405060, 0x708090, 0.25f);
    EXPECT_EQ(mesh.ambient, 0x102030);
    EXPECT_EQ(mesh.diffuse, 0x405060);
    EXPECT_EQ(mesh.specular, 0x708090);
    EXPECT_EQ(mesh.shininess, 0.25f);
}

TEST(MeshNormals, SpecCasesAndZeroSums) {
    Mesh mesh(nullptr);
    // One triangle in the xy plane, counter-clockwise seen from +z.
    build(mesh, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2});
    ASSERT_TRUE(mesh.computeNormals());
    for (int k = 0; k < 3; ++k) {
        expectVec3Near(mesh.normals[k], 0, 0, 1);
    }

    // Two triangles of equal area at a right angle sharing the edge 0-1: the
    // shared corners get the normalised sum of +z and +y.
    build(mesh, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {0, 1, 2, 0, 3, 1});
    ASSERT_TRUE(mesh.computeNormals());
    const float half = std::sqrt(0.5f);
    expectVec3Near(mesh.normals[0], 0, half, half);
    expectVec3Near(mesh.normals[1], 0, half, half);
    expectVec3Near(mesh.normals[2], 0, 0, 1);
    expectVec3Near(mesh.normals[3], 0, 1, 0);

    // A larger face weighs more: the shared corner leans towards it.
    build(mesh, {{0, 0, 0}, {4, 0, 0}, {0, 4, 0}, {0, 0, 1}}, {0, 1, 2, 0, 3, 1});
    ASSERT_TRUE(mesh.computeNormals());
    EXPECT_GT(mesh.normals[0].z, mesh.normals[0].y);
    EXPECT_NEAR(length(mesh.normals[0]), 1.0f, 1e-6f);

    // A vertex in no triangle, and the corners of a degenerate triangle, have
    // a zero sum: they get straight up. A bad index in a hand-filled mesh is
    // skipped.
    build(mesh, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}, {2, 2, 2}, {3, 3, 3}, {4, 4, 4}},
          {0, 1, 2, 4, 5, 6, 0, 1, 99});
    ASSERT_TRUE(mesh.computeNormals());
    expectVec3Near(mesh.normals[0], 0, 0, 1);
    for (int k = 3; k < 7; ++k) {
        expectVec3Near(mesh.normals[k], 0, 1, 0);
        EXPECT_FALSE(std::isnan(mesh.normals[k].x));
    }
}

TEST(MeshNormals, RandomMeshesGiveUnitNormals) {
    std::mt19937 random(77);
    std::uniform_real_distribution<float> coordinate(-50.0f, 50.0f);
    Mesh mesh(nullptr);
    for (int round = 0; round < 20; ++round) {
        const int vertexCount = 3 + static_cast<int>(random() % 60);
        const int triangleCount = 1 + static_cast<int>(random() % 80);
        ASSERT_TRUE(mesh.allocate(vertexCount, triangleCount, 3));
        for (int k = 0; k < vertexCount; ++k) {
            mesh.vertices[k] = Vec3(coordinate(random), coordinate(random), coordinate(random));
        }
        for (int k = 0; k < 3 * triangleCount; ++k) {
            mesh.indices[k] = random() % vertexCount;
        }
        ASSERT_TRUE(mesh.computeNormals());
        for (int k = 0; k < vertexCount; ++k) {
            ASSERT_NEAR(length(mesh.normals[k]), 1.0f, 1e-5f) << round << " " << k;
        }
    }
}

TEST(MeshBounds, BoxCentroidAndExtent) {
    std::mt19937 random(5);
    std::uniform_real_distribution<float> coordinate(-1000.0f, 1000.0f);
    Mesh mesh(nullptr);
    ASSERT_TRUE(mesh.allocate(257, 0, 0));
    double sum[3] = {0, 0, 0};
    for (int k = 0; k < 257; ++k) {
        mesh.vertices[k] = Vec3(coordinate(random), coordinate(random), coordinate(random));
        sum[0] += mesh.vertices[k].x;
        sum[1] += mesh.vertices[k].y;
        sum[2] += mesh.vertices[k].z;
    }
    mesh.computeBounds();
    bool reachedMin[3] = {false, false, false}, reachedMax[3] = {false, false, false};
    for (int k = 0; k < 257; ++k) {
        const Vec3& v = mesh.vertices[k];
        const float values[3] = {v.x, v.y, v.z};
        const float mins[3] = {mesh.boundsMin.x, mesh.boundsMin.y, mesh.boundsMin.z};
        const float maxs[3] = {mesh.boundsMax.x, mesh.boundsMax.y, mesh.boundsMax.z};
        for (int axis = 0; axis < 3; ++axis) {
            ASSERT_GE(values[axis], mins[axis]);
            ASSERT_LE(values[axis], maxs[axis]);
            reachedMin[axis] = reachedMin[axis] || values[axis] == mins[axis];
            reachedMax[axis] = reachedMax[axis] || values[axis] == maxs[axis];
        }
    }
    for (int axis = 0; axis < 3; ++axis) {
        EXPECT_TRUE(reachedMin[axis] && reachedMax[axis]) << axis;
    }
    // The centroid is the mean of the vertices, not the middle of the box.
    expectVec3Near(mesh.centroid, static_cast<float>(sum[0] / 257),
                   static_cast<float>(sum[1] / 257), static_cast<float>(sum[2] / 257), 0.05f);
    expectVec3Near(mesh.extent, mesh.boundsMax.x - mesh.boundsMin.x,
                   mesh.boundsMax.y - mesh.boundsMin.y, mesh.boundsMax.z - mesh.boundsMin.z, 0.0f);

    // A lopsided set: mean and box centre differ.
    ASSERT_TRUE(mesh.allocate(4, 0, 0));
    mesh.vertices[0] = Vec3(0, 0, 0);
    mesh.vertices[1] = Vec3(0, 0, 0);
    mesh.vertices[2] = Vec3(0, 0, 0);
    mesh.vertices[3] = Vec3(8, -4, 2);
    mesh.computeBounds();
    expectVec3Near(mesh.centroid, 2, -1, 0.5f);
    expectVec3Near(mesh.boundsMin, 0, -4, 0);
    expectVec3Near(mesh.boundsMax, 8, 0, 2);

    // Without vertices everything is zero rather than a division by zero.
    Mesh empty(nullptr);
    empty.computeBounds();
    expectVec3Near(empty.centroid, 0, 0, 0, 0.0f);
    expectVec3Near(empty.extent, 0, 0, 0, 0.0f);
}

TEST(MeshLoad3ds, MappingScaleAndTextureCoordinates) {
    const std::string path = dataPath("lib3ds-tetra.3ds");
    Mesh tri(nullptr);
    // Object 3 is the triangle without texture coordinates; file point
    // (1, 2, 3) at scale 20 becomes (-20, 60, 40).
    ASSERT_TRUE(tri.load3ds(path.c_str(), 3, 20.0f)) << tri.failureReason();
    ASSERT_EQ(tri.vertexCount, 3);
    ASSERT_EQ(tri.triangleCount, 1);
    EXPECT_EQ(tri.arrayFlags, 3);
    ASSERT_NE(tri.texCoords, nullptr);
    ASSERT_NE(tri.normals, nullptr);
    expectVec3Near(tri.vertices[0], -20, 60, 40);
    expectVec3Near(tri.vertices[1], -100, 60, 40); // file (5, 2, 3)
    expectVec3Near(tri.vertices[2], -20, 60, 120); // file (1, 6, 3)
    // Planar coordinates from the mapped x and z.
    EXPECT_FLOAT_EQ(tri.texCoords[0], -0.2f);
    EXPECT_FLOAT_EQ(tri.texCoords[1], 0.4f);
    EXPECT_FLOAT_EQ(tri.texCoords[2], -1.0f);
    EXPECT_FLOAT_EQ(tri.texCoords[5], 1.2f);
    // The file's triangle faces +z (its normal is (0, 0, 1) in file space);
    // (x, y, z) -> (-x, z, y) carries that to +y.
    for (int k = 0; k < 3; ++k) {
        expectVec3Near(tri.normals[k], 0, 1, 0);
    }
    expectVec3Near(tri.boundsMin, -100, 60, 40);
    expectVec3Near(tri.boundsMax, -20, 60, 120);
    expectVec3Near(tri.extent, 80, 0, 80);

    // The tetrahedron keeps its file texture coordinates.
    Mesh tetra(nullptr);
    ASSERT_TRUE(tetra.load3ds(path.c_str(), 2, 1.0f)) << tetra.failureReason();
    ASSERT_EQ(tetra.vertexCount, 4);
    expectVec3Near(tetra.vertices[1], -4, 3, 2); // file (4, 2, 3), texel (1, 0)
    EXPECT_EQ(tetra.texCoords[2], 1.0f);
    EXPECT_EQ(tetra.texCoords[3], 0.0f);
    expectVec3Near(tetra.vertices[3], -1, 6, 2); // file (1, 2, 6), texel (1, 1)
    EXPECT_EQ(tetra.texCoords[6], 1.0f);
    EXPECT_EQ(tetra.texCoords[7], 1.0f);
}

TEST(MeshLoad3ds, ClosedMeshesKeepOutwardWinding) {
    for (const char* file : {"assimp-cube.3ds", "lib3ds-cube.3ds", "assimp-tetra.3ds"}) {
        Mesh mesh(nullptr);
        ASSERT_TRUE(mesh.load3ds(dataPath(file).c_str(), 0, 3.0f)) << mesh.failureReason();
        // Every face's own normal and every vertex normal point away from the
        // centre: the mapping is a rotation, not a mirror.
        for (int t = 0; t < mesh.triangleCount; ++t) {
            const Vec3& a = mesh.vertices[mesh.indices[3 * t]];
            const Vec3& b = mesh.vertices[mesh.indices[3 * t + 1]];
            const Vec3& c = mesh.vertices[mesh.indices[3 * t + 2]];
            const Vec3 faceCentre = (a + b + c) * (1.0f / 3.0f);
            EXPECT_GT(dot(cross(b - a, c - a), faceCentre - mesh.centroid), 0.0f)
                << file << " face " << t;
        }
        for (int k = 0; k < mesh.vertexCount; ++k) {
            EXPECT_GT(dot(mesh.normals[k], mesh.vertices[k] - mesh.centroid), 0.0f)
                << file << " vertex " << k;
            EXPECT_NEAR(length(mesh.normals[k]), 1.0f, 1e-5f);
        }
    }
    // The unit cube at scale 3: x mirrored into [-3, 0], y and z from the
    // file's z and y.
    Mesh cube(nullptr);
    ASSERT_TRUE(cube.load3ds(dataPath("lib3ds-cube.3ds").c_str(), 0, 3.0f));
    expectVec3Near(cube.boundsMin, -3, 0, 0);
    expectVec3Near(cube.boundsMax, 0, 3, 3);
    expectVec3Near(cube.centroid, -1.5f, 1.5f, 1.5f);
    expectVec3Near(cube.extent, 3, 3, 3);
    EXPECT_EQ(cube.transform.m[0], 1.0f);
    EXPECT_EQ(cube.transform.m[13], 0.0f);
}

TEST(MeshLoad3ds, FailuresLeaveTheMeshUnchanged) {
    const std::string path = dataPath("lib3ds-tetra.3ds");
    Mesh mesh(nullptr);
    struct Case {
        const char* file;
        int objectIndex;
        const char* reasonPart;
    } cases[] = {{"lib3ds-tetra.3ds", 4, "object 4 wanted, the file has only objects 0 to 3"},
                 {"lib3ds-tetra.3ds", -1, "object -1"},
                 {"lib3ds-tetra.3ds", 0, "object 0 has no triangle mesh"},
                 {"lib3ds-tetra.3ds", 1, "object 1 has no triangle mesh"},
                 {"no-such-file.3ds", 0, "cannot open: No such file or directory"},
                 {"im-4x3-bmp3.bmp", 0, "no MDATA"}};
    for (const Case& c : cases) {
        EXPECT_FALSE(mesh.load3ds(dataPath(c.file).c_str(), c.objectIndex, 20.0f)) << c.file;
        const std::string reason = mesh.failureReason();
        EXPECT_NE(reason.find(c.file), std::string::npos) << reason;
        EXPECT_NE(reason.find(c.reasonPart), std::string::npos) << reason;
        EXPECT_EQ(mesh.vertices, nullptr);
        EXPECT_EQ(mesh.vertexCount, 0);
        EXPECT_EQ(mesh.arrayFlags, 0);
    }
    // A loaded mesh keeps its arrays through a failed load.
    ASSERT_TRUE(mesh.load3ds(path.c_str(), 3, 1.0f));
    const Vec3* kept = mesh.vertices;
    EXPECT_FALSE(mesh.load3ds(path.c_str(), 9, 1.0f));
    EXPECT_EQ(mesh.vertices, kept);
    EXPECT_EQ(mesh.vertexCount, 3);
}

// An object with points and an empty face list loads and has nothing to
// draw; its bounds still come from the points.
TEST(MeshLoad3ds, PointsWithoutFacesLoad) {
    auto chunk = [](uint16_t id, std::vector<unsigned char> body) {
        const uint32_t length = static_cast<uint32_t>(body.size() + 6);
        std::vector<unsigned char> out = {static_cast<unsigned char>(id),
                                          static_cast<unsigned char>(id >> 8)};
        for (int k = 0; k < 4; ++k) {
            out.push_back(static_cast<unsigned char>(length >> (8 * k)));
        }
        out.insert(out.end(), body.begin(), body.end());
        return out;
    };
    std::vector<unsigned char> points = {2, 0};
    for (float value : {1.0f, 2.0f, 3.0f, -1.0f, 0.0f, 5.0f}) {
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&value);
        points.insert(points.end(), bytes, bytes + 4);
    }
    std::vector<unsigned char> tri = chunk(0x4110, points);
    const std::vector<unsigned char> faces = chunk(0x4120, {0, 0});
    tri.insert(tri.end(), faces.begin(), faces.end());
    std::vector<unsigned char> named = {'p', 0};
    const std::vector<unsigned char> mesh3ds = chunk(0x4100, tri);
    named.insert(named.end(), mesh3ds.begin(), mesh3ds.end());
    const std::vector<unsigned char> file = chunk(0x4D4D, chunk(0x3D3D, chunk(0x4000, named)));

    Mesh mesh(nullptr);
    ASSERT_TRUE(mesh.load3dsFromMemory(file.data(), file.size(), "points.3ds", 0, 2.0f))
        << mesh.failureReason();
    EXPECT_EQ(mesh.vertexCount, 2);
    EXPECT_EQ(mesh.triangleCount, 0);
    EXPECT_NE(mesh.indices, nullptr);
    expectVec3Near(mesh.boundsMin, -2, 6, 0);
    expectVec3Near(mesh.boundsMax, 2, 10, 4);
}

TEST(MeshLoad3ds, MemoryAndFilePathsAgree) {
    const std::string path = dataPath("assimp-tetra.3ds");
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                           std::istreambuf_iterator<char>());
    for (int object = 0; object < 2; ++object) {
        Mesh fromFile(nullptr), fromMemory(nullptr);
        ASSERT_TRUE(fromFile.load3ds(path.c_str(), object, 20.0f));
        ASSERT_TRUE(
            fromMemory.load3dsFromMemory(bytes.data(), bytes.size(), "tetra", object, 20.0f));
        ASSERT_EQ(fromFile.vertexCount, fromMemory.vertexCount);
        for (int k = 0; k < fromFile.vertexCount; ++k) {
            EXPECT_EQ(fromFile.vertices[k].x, fromMemory.vertices[k].x);
            EXPECT_EQ(fromFile.texCoords[2 * k + 1], fromMemory.texCoords[2 * k + 1]);
        }
        // A loaded mesh without a renderer cannot draw but is otherwise whole.
        EXPECT_FALSE(fromMemory.draw());
    }
    Mesh mesh(nullptr);
    EXPECT_FALSE(mesh.load3dsFromMemory(bytes.data(), 10, "cut", 0, 1.0f));
    EXPECT_NE(std::string(mesh.failureReason()).find("cut: offset 0"), std::string::npos)
        << mesh.failureReason();
}
