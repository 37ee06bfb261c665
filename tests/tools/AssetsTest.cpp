// The generated assets as the program and outside tools see them: the
// generator is deterministic; real 3DS readers nobody here wrote agree with
// ours; the body and wheel meshes sit exactly on the particles the fits use;
// the soft body honours the index conventions, is stable at the 0.5 ms step
// and drives the right way; the sky faces meet without seams.
#include "physics/DriveController.h"
#include "physics/DustSystem.h"
#include "physics/PhysicsWorld.h"
#include "render/Bitmap.h"
#include "render/Loader3ds.h"
#include "render/Mesh.h"
#include "scene/RigidFit.h"
#include "tools/assets/SkyBox.h"
#include "tools/assets/TruckModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const char* const assetFiles[] = {"Modell.txt",     "chevy_nowheels_3c.3ds", "wheel.3ds",
                                  "isampler48.bmp", "gray_structure.bmp",    "leather.bmp",
                                  "desert_rt.bmp",  "desert_bk.bmp",         "desert_lf.bmp",
                                  "desert_ft.bmp",  "desert_up.bmp",         "desert_dn.bmp"};
const char* const bodyNames[] = {"glass", "interior", "body", "trim", "steerwheel"};
const char* const wheelNames[] = {"rim", "tyre"};

std::string asset(const char* name) {
    return std::string(DRAVONEL_ASSET_DIR) + "/" + name;
}

// Runs a shell command; returns its exit status and fills out with stdout.
int run(const std::string& command, std::string& out) {
    out.clear();
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return -1;
    }
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        out.append(buffer, got);
    }
    return pclose(pipe);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string makeTempDir() {
    char path[] = "/tmp/dravonel-assets-XXXXXX";
    return mkdtemp(path) != nullptr ? std::string(path) : std::string();
}

void removeDir(const std::string& dir) {
    for (const char* name : assetFiles) {
        std::remove((dir + "/" + name).c_str());
    }
    rmdir(dir.c_str());
}

struct Counts {
    int vertices;
    int faces;
};

// Vertex and face counts per object as our reader sees them, by name.
std::map<std::string, Counts> ourCounts(const char* file, const char* const* names, int count) {
    std::map<std::string, Counts> result;
    Loader3ds loader;
    if (!loader.load(asset(file).c_str()) || loader.objectCount != count) {
        return result;
    }
    for (int i = 0; i < count; ++i) {
        result[names[i]] = Counts{loader.objects[i].vertexCount, loader.objects[i].faceCount};
    }
    return result;
}

std::unique_ptr<PhysicsWorld> loadWorld() {
    std::unique_ptr<PhysicsWorld> world(new PhysicsWorld());
    EXPECT_TRUE(world->loadModel(asset("Modell.txt").c_str())) << world->failureReason();
    return world;
}

Vec3 scaled(const Vec3& v, float s) {
    return v * s;
}
float length(const Vec3& v) {
    return std::sqrt(dot(v, v));
}

// The two generated 3DS files with their objects' names in file order.
struct ModelFile {
    const char* file;
    const char* const* names;
    int count;
};
const ModelFile generatedModels[] = {{"chevy_nowheels_3c.3ds", bodyNames, 5},
                                     {"wheel.3ds", wheelNames, 2}};

} // namespace

TEST(Assets, GeneratorWritesTheSameBytesOnEveryRun) {
    const std::string generator = std::string(DRAVONEL_BINARY_DIR) + "/dravonel-assets";
    std::string first = makeTempDir();
    std::string second = makeTempDir();
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    std::string out;
    ASSERT_EQ(run(generator + " " + first, out), 0) << out;
    ASSERT_EQ(run(generator + " " + second, out), 0) << out;
    for (const char* name : assetFiles) {
        std::string a = readFile(first + "/" + name);
        EXPECT_FALSE(a.empty()) << name;
        EXPECT_TRUE(a == readFile(second + "/" + name)) << name << " differs between runs";
        EXPECT_TRUE(a == readFile(asset(name))) << name << " differs from the build's copy";
    }
    // The documented example model is the generator's, as it writes it now.
    ASSERT_EQ(run(generator + " --example " + first + "/example.txt", out), 0) << out;
    EXPECT_TRUE(readFile(first + "/example.txt") ==
                readFile(std::string(DRAVONEL_SOURCE_DIR) + "/docs/example-model.txt"))
        << "docs/example-model.txt is stale: rewrite it with dravonel-assets --example";
    removeDir(first);
    removeDir(second);
    EXPECT_NE(run(generator + " 2>/dev/null", out), 0) << "no folder given";
    EXPECT_NE(run(generator + " /nonexistent-folder/x 2>/dev/null", out), 0);
    // --help is the usage, not a folder to write into; so is any option.
    std::string here = makeTempDir();
    ASSERT_EQ(run("cd " + here + " && " + generator + " --help", out), 0) << out;
    EXPECT_EQ(out.rfind("usage: dravonel-assets", 0), 0u) << out;
    EXPECT_EQ(WEXITSTATUS(run("cd " + here + " && " + generator + " --verbose 2>&1", out)), 2)
        << out;
    struct stat made;
    EXPECT_NE(stat((here + "/--help").c_str(), &made), 0) << "wrote into a folder named --help";
    EXPECT_NE(stat((here + "/--verbose").c_str(), &made), 0);
    rmdir(here.c_str());
}

TEST(Assets, Lib3dsListsTheSameObjectsAsOurReader) {
    const char* tool = "/usr/bin/3dsdump";
    if (access(tool, X_OK) != 0) {
        GTEST_SKIP() << "3dsdump is not installed (Debian package lib3ds-dev)";
    }
    for (const ModelFile& model : generatedModels) {
        std::map<std::string, Counts> ours = ourCounts(model.file, model.names, model.count);
        ASSERT_EQ(static_cast<int>(ours.size()), model.count) << model.file;
        std::string out;
        ASSERT_EQ(run(std::string(tool) + " -t " + asset(model.file), out), 0) << out;
        // Lines like "  body vertices=3030 faces=4702".
        std::map<std::string, Counts> theirs;
        std::istringstream lines(out);
        std::string line;
        while (std::getline(lines, line)) {
            char name[64];
            int vertices;
            int faces;
            if (std::sscanf(line.c_str(), " %63s vertices=%d faces=%d", name, &vertices, &faces) ==
                3) {
                theirs[name] = Counts{vertices, faces};
            }
        }
        ASSERT_EQ(theirs.size(), ours.size()) << model.file << "\n" << out.substr(0, 2000);
        for (const auto& entry : ours) {
            ASSERT_TRUE(theirs.count(entry.first)) << model.file << ": " << entry.first;
            EXPECT_EQ(theirs[entry.first].vertices, entry.second.vertices) << entry.first;
            EXPECT_EQ(theirs[entry.first].faces, entry.second.faces) << entry.first;
        }
    }
}

TEST(Assets, AssimpLoadsBothModelsAsPlainTriangles) {
    const char* tool = "/usr/bin/assimp";
    if (access(tool, X_OK) != 0) {
        GTEST_SKIP() << "assimp is not installed (Debian package assimp-utils)";
    }
    for (const ModelFile& model : generatedModels) {
        std::map<std::string, Counts> ours = ourCounts(model.file, model.names, model.count);
        ASSERT_EQ(static_cast<int>(ours.size()), model.count);
        std::string out;
        ASSERT_EQ(run(std::string(tool) + " info " + asset(model.file) + " 2>&1", out), 0) << out;
        EXPECT_EQ(out.find("rror"), std::string::npos) << out;
        // Mesh lines "    2 (2): [2990 / 0 / 4702 | triangle]": one per object,
        // in file order, with our face count and nothing but triangles (a
        // degenerate triangle would come out as a line).
        std::istringstream lines(out);
        std::string line;
        int meshes = 0;
        while (std::getline(lines, line)) {
            int index;
            int source;
            int vertices;
            int bones;
            int faces;
            char type[32];
            if (std::sscanf(line.c_str(), " %d (%d): [%d / %d / %d | %31[a-z]", &index, &source,
                            &vertices, &bones, &faces, type) == 6) {
                ASSERT_LT(source, model.count) << line;
                EXPECT_EQ(faces, ours[model.names[source]].faces) << model.file << ": " << line;
                EXPECT_STREQ(type, "triangle") << model.file << ": " << line;
                ++meshes;
            }
        }
        EXPECT_EQ(meshes, model.count) << model.file << "\n" << out;
    }
}

TEST(Assets, BodyMountingVerticesSitExactlyOnTheirParticles) {
    Mesh body(nullptr);
    ASSERT_TRUE(body.load3ds(asset("chevy_nowheels_3c.3ds").c_str(), 2, 20.0f));
    EXPECT_GT(body.vertexCount, 1244);
    EXPECT_LE(body.vertexCount, 4000);
    std::unique_ptr<PhysicsWorld> world = loadWorld();
    ASSERT_GE(world->particleCount(), 140);
    const Vec3* p = world->positions();
    const Vec3 start = TruckModel::startPosition();
    const int vertices[4] = {1244, 884, 1099, 738};
    const int particles[4] = {137, 138, 139, 136};
    Vec3 sources[4];
    Vec3 targets[4];
    for (int i = 0; i < 4; ++i) {
        sources[i] = body.vertices[vertices[i]];
        targets[i] = scaled(p[particles[i]], 60.0f);
        Vec3 expected = scaled(p[particles[i]] - start, 60.0f);
        EXPECT_EQ(sources[i].x, expected.x) << "vertex " << vertices[i];
        EXPECT_EQ(sources[i].y, expected.y) << "vertex " << vertices[i];
        EXPECT_EQ(sources[i].z, expected.z) << "vertex " << vertices[i];
    }
    // Well spread: the tetrahedron of the four points has a real volume.
    Vec3 a = sources[1] - sources[0];
    Vec3 b = sources[2] - sources[0];
    Vec3 c = sources[3] - sources[0];
    float volume = std::fabs(dot(a, cross(b, c))) / 6.0f;
    float spread = length(a) + length(b) + length(c);
    EXPECT_GT(volume, 0.002f * spread * spread * spread);
    // At rest the fit is the translation to the start, nothing else.
    Mat4 fit;
    fitRigidTransform(fit, targets, sources, 4);
    for (int col = 0; col < 3; ++col) {
        for (int row = 0; row < 3; ++row) {
            EXPECT_NEAR(fit.m[4 * col + row], row == col ? 1.0f : 0.0f, 1e-5f);
        }
    }
    EXPECT_NEAR(fit.m[12], 60.0f * start.x, 1e-3f);
    EXPECT_NEAR(fit.m[13], 60.0f * start.y, 1e-3f);
    EXPECT_NEAR(fit.m[14], 60.0f * start.z, 1e-2f);
    // The driver's eye (-20, 40, 40) is inside the cab: under the roof and
    // above the seats, within the body's bounds.
    EXPECT_LT(body.boundsMin.x, -20.0f);
    EXPECT_GT(body.boundsMax.y, 40.0f);
}

TEST(Assets, WheelMeshFitsEveryWheelGroupAtRest) {
    Mesh tyre(nullptr);
    ASSERT_TRUE(tyre.load3ds(asset("wheel.3ds").c_str(), 1, 3.0f));
    Mesh rim(nullptr);
    ASSERT_TRUE(rim.load3ds(asset("wheel.3ds").c_str(), 0, 3.0f));
    EXPECT_NEAR(length(tyre.centroid), 0.0f, 1e-3f);
    std::unique_ptr<PhysicsWorld> world = loadWorld();
    const Vec3* p = world->positions();
    const int groups[4][3] = {{1, 0, 2}, {35, 34, 36}, {68, 69, 70}, {102, 103, 104}};
    const float side[4] = {-1.0f, -1.0f, 1.0f, 1.0f};
    const Vec3 m = tyre.centroid;
    const Vec3 e = tyre.extent;
    for (int k = 0; k < 4; ++k) {
        Vec3 targets[3];
        for (int i = 0; i < 3; ++i) {
            targets[i] = scaled(p[groups[k][i]], 60.0f);
        }
        Vec3 sources[3] = {m + Vec3(0, 0, e.z / 2), m - Vec3(0, 0, e.z / 2),
                           m + Vec3(e.x / 2, 0, side[k] * e.z / 2)};
        // Same distances on the mesh as between the particles.
        EXPECT_NEAR(length(targets[0] - targets[1]), e.z, 1e-3f) << "wheel " << k;
        EXPECT_NEAR(length(targets[2] - targets[1 - (side[k] > 0 ? 1 : 0)]), e.x / 2, 1e-3f)
            << "wheel " << k << ": rim particle not on its face at the mesh radius";
        Mat4 fit;
        fitRigidTransform(fit, targets, sources, 3);
        for (int i = 0; i < 3; ++i) {
            EXPECT_LT(length(fit.transformPoint(sources[i]) - targets[i]), 0.01f)
                << "wheel " << k << " point " << i;
        }
        // The rim object's dished face (the -z side of the model) lands on
        // the outside of the truck.
        Vec3 outerFace = fit.transformPoint(Vec3(0, 0, rim.boundsMin.z));
        Vec3 centre = fit.transformPoint(m);
        EXPECT_GT(std::fabs(outerFace.x), std::fabs(centre.x)) << "wheel " << k;
    }
}

TEST(Assets, SoftBodyHonoursTheIndexConventionsAndIsStable) {
    std::unique_ptr<PhysicsWorld> world = loadWorld();
    const int n = world->particleCount();
    ASSERT_GE(n, 140);
    const Vec3* p = world->positions();
    ASSERT_GE(world->wheelCount(), 4);
    for (int k = 0; k < 4; ++k) {
        const Wheel& wheel = world->wheels()[k];
        const int first = 34 * k;
        // The hubs are the group's first two particles, hubA the one further
        // to the left, so a positive drive rolls the truck towards -z.
        EXPECT_TRUE((wheel.hubA == first && wheel.hubB == first + 1) ||
                    (wheel.hubA == first + 1 && wheel.hubB == first))
            << "wheel " << k;
        EXPECT_LT(p[wheel.hubA].x, p[wheel.hubB].x) << "wheel " << k;
        ASSERT_EQ(wheel.rimCount, 32);
        for (int i = 0; i < wheel.rimCount; ++i) {
            EXPECT_GE(wheel.rim[i], first + 2);
            EXPECT_LT(wheel.rim[i], first + 34);
        }
        // The third particle lies on the first's face.
        EXPECT_EQ(p[first + 2].x, p[first].x) << "wheel " << k;
    }
    // Steering joints: corner an inner front hub, arm the outer hub.
    ASSERT_GE(world->angleJointCount(), 2);
    for (int j = 0; j < 2; ++j) {
        const AngleJoint& joint = world->angleJoints()[j];
        EXPECT_EQ(joint.a / 34, j);
        EXPECT_EQ(joint.b / 34, j);
        EXPECT_LT(std::fabs(p[joint.b].x), std::fabs(p[joint.a].x));
    }
    // Every element kind is in use, and those that are not springs act only
    // away from the rest shape: a quadratic spring is at its rest length and
    // a right-angle joint's corner is square.
    ASSERT_GT(world->quadraticSpringCount(), 0);
    ASSERT_GT(world->rightAngleJointCount(), 0);
    for (int j = 0; j < world->rightAngleJointCount(); ++j) {
        const RightAngleJoint& joint = world->rightAngleJoints()[j];
        const Vec3 u = p[joint.a] - p[joint.b];
        const Vec3 w = p[joint.c] - p[joint.b];
        EXPECT_LT(std::fabs(dot(u, w)) / std::sqrt(dot(u, u) * dot(w, w)), 1e-5f)
            << "right-angle joint " << j;
    }
    // Stability at the 0.5 ms step, and a mass light enough for the drive
    // law's 163 N at a standstill to pull it up 18 degrees (54 kg).
    std::vector<double> stiffness(n, 0.0);
    for (int i = 0; i < world->springCount(); ++i) {
        const Spring& s = world->springs()[i];
        stiffness[s.a] += s.stiffness;
        stiffness[s.b] += s.stiffness;
        EXPECT_GT(s.restLength, 0.05f) << "spring " << i << " too short to act";
    }
    double mass = 0.0;
    for (int i = 0; i < n; ++i) {
        const Particle& particle = world->particles()[i];
        mass += particle.mass;
        EXPECT_LE(std::sqrt(stiffness[i] / particle.mass) * 0.0005, 0.45) << "particle " << i;
    }
    EXPECT_GE(mass, 20.0);
    EXPECT_LE(mass, 54.0);
}

TEST(Assets, TruckSettlesDrivesForwardAndSteersRight) {
    std::unique_ptr<PhysicsWorld> world = loadWorld();
    DustSystem dust(1024, world->terrain());
    world->setDustSystem(&dust);
    DriveController drive;
    drive.bindWheels(world->wheels());
    const Vec3* p = world->positions();
    auto centre = [&]() { return scaled(p[136] + p[137] + p[138] + p[139], 0.25f); };
    auto run = [&](float seconds, float throttle, float steering) {
        for (int frame = 0; frame < static_cast<int>(seconds * 100.0f); ++frame) {
            world->angleJoints()[0].setTarget(steering);
            world->angleJoints()[1].setTarget(-steering);
            drive.update(throttle);
            world->step(10);
        }
    };
    const Vec3 start = centre();
    run(2.0f, 0.0f, 0.0f);
    Vec3 rest = centre();
    EXPECT_LT(length(rest - start), 0.1f) << "the truck moves while left alone";
    for (int i = 0; i < world->particleCount(); ++i) {
        EXPECT_GT(p[i].y, -0.05f) << "particle " << i << " sank into the ground";
    }
    run(3.0f, 1.0f, 0.0f);
    Vec3 ahead = centre();
    EXPECT_LT(ahead.z, rest.z - 5.0f) << "forward is -z";
    EXPECT_LT(std::fabs(ahead.x - rest.x), 0.5f);
    run(1.5f, 1.0f, 0.6f);
    Vec3 turned = centre();
    EXPECT_GT(turned.x, ahead.x + 0.5f) << "positive steering turns to the right (+x)";
}

TEST(Assets, SkyFacesMeetWithoutSeams) {
    const int faces = SkyBox::faceCount;
    std::vector<std::vector<unsigned char>> pixels(faces);
    int size = 0;
    for (int f = 0; f < faces; ++f) {
        Bitmap bitmap;
        ASSERT_TRUE(bitmap.load(asset(SkyBox::fileName(f)).c_str())) << SkyBox::fileName(f);
        ASSERT_EQ(bitmap.width(), bitmap.height());
        size = bitmap.width();
        const unsigned char* data = reinterpret_cast<const unsigned char*>(bitmap.pixels());
        pixels[f].assign(data, data + 4 * size * size);
    }
    auto at = [&](int f, int column, int row, int c) {
        return static_cast<int>(pixels[f][4 * (row * size + column) + c]);
    };
    // Face plane of each face: the axis and sign of its constant coordinate.
    auto faceOf = [](const Vec3& d) {
        float ax = std::fabs(d.x), ay = std::fabs(d.y), az = std::fabs(d.z);
        if (ax >= ay && ax >= az) {
            return d.x > 0 ? 3 : 1;
        }
        if (ay >= az) {
            return d.y > 0 ? 4 : 5;
        }
        return d.z > 0 ? 0 : 2;
    };
    double seam = 0.0;
    double inside = 0.0;
    int samples = 0;
    for (int f = 0; f < faces; ++f) {
        for (int i = 0; i < size; ++i) {
            // The four border pixels at position i, and one step outwards.
            const int border[4][4] = {
                {i, 0, 0, -1}, {i, size - 1, 0, 1}, {0, i, -1, 0}, {size - 1, i, 1, 0}};
            for (const auto& b : border) {
                float s = (b[0] + 0.5f + b[2]) / size;
                float t = (b[1] + 0.5f + b[3]) / size;
                Vec3 d = SkyBox::direction(f, s, t);
                int g = faceOf(d);
                EXPECT_NE(g, f);
                // Where the neighbour face draws that direction.
                Vec3 q = d * (1.0f /
                              std::fmax(std::fabs(d.x), std::fmax(std::fabs(d.y), std::fabs(d.z))));
                Vec3 c0 = SkyBox::direction(g, 0.001f, 0.001f);
                Vec3 c1 = SkyBox::direction(g, 0.999f, 0.001f);
                Vec3 c3 = SkyBox::direction(g, 0.001f, 0.999f);
                float a = dot(q - c0, c1 - c0) / dot(c1 - c0, c1 - c0);
                float bb = dot(q - c0, c3 - c0) / dot(c3 - c0, c3 - c0);
                int column =
                    std::min(size - 1, std::max(0, static_cast<int>((0.001f + 0.998f * a) * size)));
                int row = std::min(size - 1,
                                   std::max(0, static_cast<int>((0.001f + 0.998f * bb) * size)));
                int innerColumn = b[0] - b[2];
                int innerRow = b[1] - b[3];
                for (int c = 0; c < 3; ++c) {
                    seam += std::abs(at(f, b[0], b[1], c) - at(g, column, row, c));
                    inside += std::abs(at(f, b[0], b[1], c) - at(f, innerColumn, innerRow, c));
                }
                ++samples;
            }
        }
    }
    seam /= 3.0 * samples;
    inside /= 3.0 * samples;
    // Across an edge the colour changes no more than between neighbouring
    // pixels of one face.
    EXPECT_LT(seam, 2.0 * inside + 1.0) << "seam " << seam << ", inside " << inside;
}

TEST(Assets, MaterialTexturesTileAndTheGroundHasContrast) {
    for (const char* name : {"isampler48.bmp", "gray_structure.bmp", "leather.bmp"}) {
        Bitmap bitmap;
        ASSERT_TRUE(bitmap.load(asset(name).c_str())) << name;
        const int w = bitmap.width();
        const int h = bitmap.height();
        ASSERT_GE(w, 48);
        ASSERT_GE(h, 48);
        const unsigned char* data = reinterpret_cast<const unsigned char*>(bitmap.pixels());
        auto luma = [&](int x, int y) {
            const unsigned char* q = data + 4 * (y * w + x);
            return 0.3 * q[0] + 0.59 * q[1] + 0.11 * q[2];
        };
        // Wrapping from the last column to the first is no rougher than any
        // step inside the image.
        double wrap = 0.0;
        double step = 0.0;
        for (int y = 0; y < h; ++y) {
            wrap += std::fabs(luma(w - 1, y) - luma(0, y));
            for (int x = 0; x + 1 < w; ++x) {
                step += std::fabs(luma(x, y) - luma(x + 1, y));
            }
        }
        wrap /= h;
        step /= h * (w - 1.0);
        EXPECT_LT(wrap, 2.5 * step + 2.0) << name;
        if (std::string(name) == "isampler48.bmp") {
            double sum = 0.0;
            double squares = 0.0;
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    sum += luma(x, y);
                    squares += luma(x, y) * luma(x, y);
                }
            }
            double mean = sum / (w * h);
            EXPECT_GT(std::sqrt(squares / (w * h) - mean * mean), 20.0)
                << "too little contrast to see motion over the ground";
        }
    }
}
