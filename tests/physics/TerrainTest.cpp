// Terrain: sample heights of the formula and its overrides, the query's grid
// edges, foot point and skin, the triangle choice on the cell diagonal, and
// the grid points the ground mesh is built from.
#include "physics/Terrain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace {

std::unique_ptr<Terrain> builtTerrain() {
    std::unique_ptr<Terrain> terrain(new Terrain());
    terrain->build();
    return terrain;
}

Vec3 cornerPoint(const Terrain& t, int i, int j) {
    return t.gridPoint(i, j);
}

} // namespace

TEST(Terrain, SampleHeightsOfTheOverrides) {
    auto t = builtTerrain();
    // Wall: 5 cos((i - 32) * 0.0490625) in the last three columns.
    EXPECT_NEAR(t->height(0, 62), 0.004f, 0.0005f);
    EXPECT_GT(t->height(0, 62), 0.0f);
    EXPECT_FLOAT_EQ(t->height(32, 64), 5.0f);
    EXPECT_FLOAT_EQ(t->height(32, 62), 5.0f);
    // Every wall sample exactly as the formula gives it in double precision.
    for (int i = 0; i < 65; ++i) {
        const float wall = static_cast<float>(5.0 * std::cos((i - 32) * 0.0490625));
        for (int j = 62; j < 65; ++j) {
            EXPECT_EQ(t->height(i, j), wall) << i << "," << j;
        }
    }
    // Ramps: -2.5 .. -0.5 before column 5, then two saw teeth up to 9.5.
    EXPECT_FLOAT_EQ(t->height(20, 0), -2.5f);
    EXPECT_FLOAT_EQ(t->height(20, 4), -0.5f);
    EXPECT_FLOAT_EQ(t->height(20, 5), 0.0f);
    EXPECT_FLOAT_EQ(t->height(20, 24), 9.5f);
    EXPECT_FLOAT_EQ(t->height(20, 25), 0.0f);
    EXPECT_FLOAT_EQ(t->height(25, 44), 9.5f);
    EXPECT_FLOAT_EQ(t->height(23, 30), 2.5f);
    // Flat strip in rows 29..35 except under the wall.
    for (int i = 29; i <= 35; ++i) {
        for (int j = 0; j < 62; ++j) {
            EXPECT_EQ(t->height(i, j), 0.0f) << i << "," << j;
        }
    }
    // Rows just outside the strip and the ramps carry the rolling formula.
    EXPECT_NE(t->height(28, 10), 0.0f);
    EXPECT_NE(t->height(36, 10), 0.0f);
    EXPECT_NE(t->height(20, 45), t->height(20, 44));
}

TEST(Terrain, HeightsOfTheRollingFormula) {
    auto t = builtTerrain();
    // Sample (0, 0): n = 63, q = 3 * 3969 / 4096 + 1 = 3, base = 1.5 (0.5 + 0.3),
    // u = v = -1 for the three hills.
    const float hills = 1.0f / (10.0f * (0.36f + 2.56f) + 0.2f) +
                        1.0f / (10.0f * (2.56f + 2.25f) + 0.2f) +
                        1.0f / (10.0f * (1.69f + 2.89f) + 0.2f);
    EXPECT_NEAR(t->height(0, 0), 1.2f + hills, 1e-5f);
    // Worked samples away from the axes and the overrides, where the two
    // cosines, the whole-step amplitude and each hill centre all count: one
    // at every hill top, one on the flanks, and the far corner row.
    struct Sample {
        int i, j;
        float height;
    };
    const Sample samples[] = {
        {51, 19, 5.573232f}, // first hill, u = 0.6, v = -0.4
        {48, 51, 6.073885f}, // second hill, u = 0.5, v = 0.6
        {54, 42, 5.509874f}, // third hill, u = 0.7, v = 0.3
        {10, 40, 0.028912f}, {3, 57, -1.133483f}, {64, 0, 0.482001f},
    };
    for (const Sample& s : samples) {
        EXPECT_NEAR(t->height(s.i, s.j), s.height, 1e-5f) << s.i << "," << s.j;
    }
    // Every height is finite and within a few metres.
    for (int k = 0; k < Terrain::sampleCount * Terrain::sampleCount; ++k) {
        ASSERT_TRUE(std::isfinite(t->heights[k]));
        EXPECT_LT(std::fabs(t->heights[k]), 20.0f);
    }
    // Every build gives exactly the same tables.
    auto again = builtTerrain();
    EXPECT_EQ(0, std::memcmp(t->heights, again->heights, sizeof(float) * 65 * 65));
    EXPECT_EQ(0, std::memcmp(t->planes, again->planes, sizeof(float) * 4 * Terrain::planeCount));
}

TEST(Terrain, QueryEdgesOfTheGrid) {
    auto t = builtTerrain();
    Vec3 normal(7.0f, 7.0f, 7.0f);
    Vec3 foot(7.0f, 7.0f, 7.0f);
    // x = -64, z = -64 lies in cell (0, 0).
    const float inside = t->query(Vec3(-64.0f, 10.0f, -64.0f), &normal, &foot);
    // The distance along the normal of the sloped corner triangle.
    EXPECT_GT(normal.y, 0.0f);
    EXPECT_NEAR(inside, (10.0f - t->height(0, 0)) * normal.y, 1e-4f);
    const Vec3 untouched(7.0f, 7.0f, 7.0f);
    const Vec3 outsidePoints[] = {
        Vec3(64.0f, 0.0f, 0.0f),
        Vec3(0.0f, 0.0f, 64.0f),
        Vec3(-64.001f, 0.0f, 0.0f),
        Vec3(0.0f, 0.0f, -64.001f),
        Vec3(1.0e30f, 0.0f, 0.0f),
        Vec3(-1.0e30f, 0.0f, 1.0e30f),
        Vec3(std::numeric_limits<float>::quiet_NaN(), 0.0f, 0.0f),
        Vec3(0.0f, 0.0f, std::numeric_limits<float>::quiet_NaN()),
        Vec3(std::numeric_limits<float>::infinity(), 0.0f, 0.0f),
    };
    for (const Vec3& p : outsidePoints) {
        normal = untouched;
        foot = untouched;
        EXPECT_EQ(t->query(p, &normal, &foot), 1000000.0f) << p.x << "," << p.z;
        EXPECT_EQ(normal.x, 7.0f);
        EXPECT_EQ(foot.y, 7.0f);
    }
    // Just inside the far edges.
    EXPECT_LT(t->query(Vec3(63.999f, 50.0f, 63.999f), nullptr, nullptr), 100.0f);
}

TEST(Terrain, FootPointWithinTheSkinOnly) {
    auto t = builtTerrain();
    Vec3 normal;
    Vec3 foot(9.0f, 9.0f, 9.0f);
    EXPECT_FLOAT_EQ(t->query(Vec3(0.0f, 0.03f, 0.0f), &normal, &foot), 0.03f);
    EXPECT_EQ(normal.x, 0.0f);
    EXPECT_EQ(normal.y, 1.0f);
    EXPECT_EQ(normal.z, 0.0f);
    EXPECT_FLOAT_EQ(foot.x, 0.0f);
    EXPECT_FLOAT_EQ(foot.y, 0.0f);
    EXPECT_FLOAT_EQ(foot.z, 0.0f);

    foot = Vec3(9.0f, 9.0f, 9.0f);
    EXPECT_FLOAT_EQ(t->query(Vec3(0.0f, 0.06f, 0.0f), &normal, &foot), 0.06f);
    EXPECT_EQ(foot.y, 9.0f);

    // Below the ground the foot is still written and lies on the surface.
    EXPECT_FLOAT_EQ(t->query(Vec3(1.0f, -2.0f, 3.0f), nullptr, &foot), -2.0f);
    EXPECT_FLOAT_EQ(foot.y, 0.0f);
    EXPECT_FLOAT_EQ(foot.x, 1.0f);
    // Both outputs may be absent.
    EXPECT_FLOAT_EQ(t->query(Vec3(0.0f, 0.01f, 0.0f), nullptr, nullptr), 0.01f);
}

TEST(Terrain, NormalsAreUnitAndUpEverywhere) {
    auto t = builtTerrain();
    for (int k = 0; k < Terrain::planeCount; ++k) {
        const float* plane = &t->planes[4 * k];
        const float length =
            std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]);
        ASSERT_NEAR(length, 1.0f, 1e-5f) << "plane " << k;
        ASSERT_GT(plane[1], 0.0f) << "plane " << k;
    }
    // Every sample lies on the planes of the triangles that share it.
    for (int i = 0; i < Terrain::cellCount; ++i) {
        for (int j = 0; j < Terrain::cellCount; ++j) {
            const Vec3 p00 = cornerPoint(*t, i, j);
            const Vec3 p11 = cornerPoint(*t, i + 1, j + 1);
            for (int side = 0; side < 2; ++side) {
                const float* plane = &t->planes[4 * (2 * (64 * i + j) + side)];
                const Vec3 n(plane[0], plane[1], plane[2]);
                ASSERT_NEAR(dot(n, p00) - plane[3], 0.0f, 1e-4f);
                ASSERT_NEAR(dot(n, p11) - plane[3], 0.0f, 2e-4f);
            }
        }
    }
}

TEST(Terrain, QueryPicksTheTriangleUnderThePoint) {
    auto t = builtTerrain();
    std::mt19937 random(20240611u);
    std::uniform_int_distribution<int> cell(0, 63);
    std::uniform_real_distribution<float> fraction(0.01f, 0.99f);
    for (int trial = 0; trial < 2000; ++trial) {
        const int i = cell(random);
        const int j = cell(random);
        const float fu = fraction(random);
        const float fw = fraction(random);
        const Vec3 p00 = cornerPoint(*t, i, j);
        const Vec3 p10 = cornerPoint(*t, i + 1, j);
        const Vec3 p01 = cornerPoint(*t, i, j + 1);
        const Vec3 p11 = cornerPoint(*t, i + 1, j + 1);
        // The surface point of the triangle that holds (fu, fw): P00, P11, P01
        // above the diagonal, P00, P10, P11 below it.
        const Vec3 surface = fw >= fu ? p00 + (p11 - p00) * fu + (p01 - p00) * (fw - fu)
                                      : p00 + (p11 - p00) * fw + (p10 - p00) * (fu - fw);
        const float lift = 0.5f;
        Vec3 normal;
        const float d = t->query(surface + Vec3(0.0f, lift, 0.0f), &normal, nullptr);
        ASSERT_NEAR(d, lift * normal.y, 2e-3f)
            << "cell " << i << "," << j << " at " << fu << "," << fw;
    }
}

TEST(Terrain, DiagonalPointsUseTheSecondTriangle) {
    auto t = builtTerrain();
    // Cell (10, 10) is not planar, so its two triangles differ.
    const int i = 10, j = 10;
    const float* first = &t->planes[4 * (2 * (64 * i + j))];
    const float* second = &t->planes[4 * (2 * (64 * i + j) + 1)];
    ASSERT_NE(first[0], second[0]);
    const float x0 = -64.0f + 2.0f * i;
    const float z0 = -64.0f + 2.0f * j;
    Vec3 normal;
    t->query(Vec3(x0 + 1.0f, 0.0f, z0 + 1.0f), &normal, nullptr); // fu == fw
    EXPECT_EQ(normal.x, second[0]);
    t->query(Vec3(x0 + 0.5f, 0.0f, z0 + 1.5f), &normal, nullptr); // fw > fu
    EXPECT_EQ(normal.x, second[0]);
    t->query(Vec3(x0 + 1.5f, 0.0f, z0 + 0.5f), &normal, nullptr); // fu > fw
    EXPECT_EQ(normal.x, first[0]);
    t->query(Vec3(x0, 0.0f, z0), &normal, nullptr); // the corner itself: fu == fw == 0
    EXPECT_EQ(normal.x, second[0]);
}

TEST(Terrain, GridPoints) {
    auto t = builtTerrain();
    const Vec3 first = t->gridPoint(0, 0);
    EXPECT_EQ(first.x, -64.0f);
    EXPECT_EQ(first.y, t->height(0, 0));
    EXPECT_EQ(first.z, -64.0f);
    const Vec3 last = t->gridPoint(64, 64);
    EXPECT_EQ(last.x, 64.0f);
    EXPECT_EQ(last.y, t->height(64, 64));
    EXPECT_EQ(last.z, 64.0f);
    const Vec3 middle = t->gridPoint(20, 24);
    EXPECT_EQ(middle.x, -24.0f);
    EXPECT_EQ(middle.y, 9.5f);
    EXPECT_EQ(middle.z, -16.0f);
    // Out-of-range indices never read outside the table.
    EXPECT_EQ(t->gridPoint(-5, 70).y, t->height(0, 64));
}

// A loaded grid of any size: built from the same heights, the default
// grid's tables come out bit for bit as the default build makes them; a
// small uneven grid answers at its own extent and spacing; a shared terrain
// answers from the same tables.
TEST(Terrain, LoadedGridsOfAnySize) {
    auto t = builtTerrain();
    Terrain same;
    ASSERT_TRUE(same.build(t->heights, 65, 65, 2.0f, -64.0f, -64.0f));
    EXPECT_EQ(0, std::memcmp(t->planes, same.planes, sizeof(float) * 4 * Terrain::planeCount));
    EXPECT_EQ(t->lowestHeight(), same.lowestHeight());
    EXPECT_EQ(t->maxX(), 64.0f);

    // 5 x 3 samples 1.5 m apart from (10, -3): x in [10, 16), z in [-3, 0).
    const float heights[15] = {0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, -0.5f};
    Terrain small;
    ASSERT_TRUE(small.build(heights, 5, 3, 1.5f, 10.0f, -3.0f));
    EXPECT_EQ(small.maxX(), 16.0f);
    EXPECT_EQ(small.maxZ(), 0.0f);
    EXPECT_EQ(small.lowestHeight(), -0.5f);
    EXPECT_EQ(small.height(4, 2), -0.5f);
    EXPECT_EQ(small.gridPoint(4, 2).x, 16.0f);
    // A slope rising 1 m per 1.5 m along x, flat along z.
    Vec3 normal;
    const float d = small.query(Vec3(11.5f + 0.75f, 10.0f, -2.0f), &normal, nullptr);
    EXPECT_NEAR(normal.x, -1.0f / std::sqrt(1.0f + 2.25f), 1e-5f);
    EXPECT_NEAR(d, (10.0f - 1.5f) * normal.y, 1e-4f);
    EXPECT_EQ(small.query(Vec3(15.99f, 0.0f, -2.0f), nullptr, nullptr) < Terrain::outside, true);
    EXPECT_EQ(small.query(Vec3(16.0f, 0.0f, -2.0f), nullptr, nullptr), Terrain::outside);
    EXPECT_EQ(small.query(Vec3(12.0f, 0.0f, 0.0f), nullptr, nullptr), Terrain::outside);
    EXPECT_EQ(small.query(Vec3(9.99f, 0.0f, -2.0f), nullptr, nullptr), Terrain::outside);
    Terrain shared;
    shared.share(small);
    EXPECT_EQ(shared.planes, small.planes);
    EXPECT_EQ(shared.query(Vec3(12.3f, 2.0f, -1.1f), nullptr, nullptr),
              small.query(Vec3(12.3f, 2.0f, -1.1f), nullptr, nullptr));

    // Sizes out of range and bad spacings are refused, leaving no grid.
    EXPECT_FALSE(small.build(heights, 1, 15, 1.0f, 0.0f, 0.0f));
    EXPECT_EQ(small.query(Vec3(0.1f, 0.0f, 0.1f), nullptr, nullptr), Terrain::outside);
    EXPECT_FALSE(small.build(heights, 1026, 2, 1.0f, 0.0f, 0.0f));
    EXPECT_FALSE(small.build(heights, 5, 3, 0.0f, 0.0f, 0.0f));
    EXPECT_FALSE(small.build(heights, 5, 3, std::numeric_limits<float>::quiet_NaN(), 0.0f, 0.0f));
    // The largest map's tables: its heights and two planes per cell.
    std::vector<float> flat(1025 * 1025, 0.0f);
    Terrain largest;
    ASSERT_TRUE(largest.build(flat.data(), 1025, 1025, 2.0f, -1024.0f, -1024.0f));
    EXPECT_EQ(largest.tableBytes(), 4u * 1025 * 1025 + 32u * 1024 * 1024);
    std::printf("terrain tables of a 1025 x 1025 map: %zu bytes\n", largest.tableBytes());
}
