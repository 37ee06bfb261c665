// ThreeDsWriter: what it writes is what our reader reads back, every prefix of
// a written file is refused cleanly, and input it cannot express is refused.
#include "tools/assets/ThreeDsWriter.h"
#include "render/Loader3ds.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

struct Shape {
    std::vector<Vec3> points;
    std::vector<float> uvs;
    std::vector<unsigned> indices;
};

Shape randomShape(int pointCount, int faceCount, bool withUv, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> coordinate(-50.0f, 50.0f);
    Shape s;
    for (int i = 0; i < pointCount; ++i) {
        s.points.push_back(Vec3(coordinate(random), coordinate(random), coordinate(random)));
        if (withUv) {
            s.uvs.push_back(coordinate(random) * 0.01f);
            s.uvs.push_back(coordinate(random) * 0.01f);
        }
    }
    for (int i = 0; i < 3 * faceCount; ++i) {
        s.indices.push_back(random() % pointCount);
    }
    return s;
}

} // namespace

TEST(ThreeDsWriter, ObjectsReadBackInOrderWithSwappedAxes) {
    ThreeDsWriter writer;
    Shape a = randomShape(7, 5, true, 1);
    Shape b = randomShape(300, 401, false, 2);
    ASSERT_TRUE(writer.addObject("first", a.points, a.uvs, a.indices));
    ASSERT_TRUE(writer.addObject("second", b.points, b.uvs, b.indices));
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(writer.encode(bytes));

    Loader3ds loader;
    ASSERT_TRUE(loader.loadFromMemory(bytes.data(), bytes.size(), "written.3ds"))
        << loader.failureReason();
    ASSERT_EQ(loader.objectCount, 2);
    const Shape* shapes[2] = {&a, &b};
    for (int o = 0; o < 2; ++o) {
        const Object3ds& object = loader.objects[o];
        const Shape& s = *shapes[o];
        ASSERT_EQ(object.vertexCount, static_cast<int>(s.points.size()));
        ASSERT_EQ(object.faceCount, static_cast<int>(s.indices.size() / 3));
        for (int k = 0; k < object.vertexCount; ++k) {
            // The reader stores the file's z in y and its y in z.
            EXPECT_EQ(object.vertices[k].x, s.points[k].x);
            EXPECT_EQ(object.vertices[k].y, s.points[k].z);
            EXPECT_EQ(object.vertices[k].z, s.points[k].y);
            EXPECT_EQ(object.vertices[k].hasTexCoord, !s.uvs.empty());
            if (!s.uvs.empty()) {
                EXPECT_EQ(object.vertices[k].u, s.uvs[2 * k]);
                EXPECT_EQ(object.vertices[k].v, s.uvs[2 * k + 1]);
            }
        }
        for (size_t i = 0; i < s.indices.size(); ++i) {
            EXPECT_EQ(object.faces[i], s.indices[i]);
        }
    }
}

TEST(ThreeDsWriter, EveryTruncationOfAWrittenFileIsRefused) {
    ThreeDsWriter writer;
    Shape a = randomShape(5, 3, true, 3);
    Shape b = randomShape(4, 2, false, 4);
    ASSERT_TRUE(writer.addObject("a", a.points, a.uvs, a.indices));
    ASSERT_TRUE(writer.addObject("b", b.points, b.uvs, b.indices));
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(writer.encode(bytes));
    // Every chunk length is exact, so any missing byte leaves a chunk that
    // reaches past the end of the file.
    for (size_t length = 0; length < bytes.size(); ++length) {
        Loader3ds loader;
        std::vector<unsigned char> prefix(bytes.begin(), bytes.begin() + length);
        EXPECT_FALSE(loader.loadFromMemory(prefix.data(), prefix.size(), "cut.3ds"))
            << "prefix of " << length << " bytes loaded";
    }
}

TEST(ThreeDsWriter, RefusesWhatTheFormatOrOurReaderCannotHold) {
    ThreeDsWriter writer;
    Shape ok = randomShape(4, 2, true, 5);
    EXPECT_FALSE(writer.addObject("", ok.points, ok.uvs, ok.indices));
    EXPECT_FALSE(writer.addObject("elevenchars", ok.points, ok.uvs, ok.indices));
    Shape badIndex = ok;
    badIndex.indices[4] = 4;
    EXPECT_FALSE(writer.addObject("bad", badIndex.points, badIndex.uvs, badIndex.indices));
    Shape badUv = ok;
    badUv.uvs.pop_back();
    EXPECT_FALSE(writer.addObject("uv", badUv.points, badUv.uvs, badUv.indices));
    Shape partial = ok;
    partial.indices.pop_back();
    EXPECT_FALSE(writer.addObject("partial", partial.points, partial.uvs, partial.indices));
    std::vector<Vec3> tooMany(ThreeDsWriter::maxVertices + 1);
    EXPECT_FALSE(writer.addObject("big", tooMany, {}, {0, 1, 2}));
    // Face counts that read as a sub-chunk id at the start of a face list.
    for (int count : {ThreeDsWriter::ambiguousFaceCountA, ThreeDsWriter::ambiguousFaceCountB}) {
        std::vector<unsigned> faces(3 * count, 0);
        EXPECT_FALSE(writer.addObject("ambiguous", ok.points, {}, faces)) << count;
    }
    std::vector<unsigned char> bytes;
    EXPECT_FALSE(writer.encode(bytes)) << "nothing was added, nothing to write";
    EXPECT_TRUE(writer.addObject("good", ok.points, ok.uvs, ok.indices));
    EXPECT_EQ(writer.objectCount(), 1);
    EXPECT_TRUE(writer.encode(bytes));
}
