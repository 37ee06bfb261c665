// TruckApp construction, asset loading and reset.
#include "app/TruckApp.h"

#include "app/Truck.h"
#include "physics/MultiBodyStep.h"

#include "app/world/MapFile.h"
#include "app/world/TruckPlacement.h"
#include "physics/DustSystem.h"
#include "physics/PhysicsWorld.h"
#include "physics/PositionHash.h"
#include "render/Bitmap.h"
#include "render/Mesh.h"
#include "render/Renderer.h"
#include "scene/DeformingMesh.h"
#include "scene/EdgeSkirt.h"
#include "scene/GroundPatch.h"
#include "scene/RenderScale.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <new>

namespace {
// Particles, wheels and angle joints that the frame, the fits and the
// steering read by fixed index.
const int requiredParticles = 140;
const int requiredWheels = 4;
const int requiredAngleJoints = 2;
// The body fit and the struts read body-shell vertex 1244.
const int requiredBodyVertices = 1245;

const char* const modelFileName = "Modell.txt";
const char* const bodyFileName = "chevy_nowheels_3c.3ds";
const char* const wheelFileName = "wheel.3ds";
const float bodyScale = 20.0f;
const float wheelScale = 3.0f;

// How far below the lowest ground sample the whole truck must be before it
// counts as fallen off the map, m. Inside the grid the ground contact keeps
// every particle above its triangle, so only a truck that has left the grid
// can get there; 50 m is about 3 s of free fall, long enough that a jump off
// a high edge never triggers it, and far short of the heights (around
// 1e5 m) where single precision can no longer hold 0.1 m springs together.
const float fallOutDepth = 50.0f;
} // namespace

TruckApp::TruckApp() {
    std::memset(keys, 0, sizeof(keys));
}

TruckApp::~TruckApp() {
    delete bodyMesh;
    delete wheelMesh1;
    delete wheelMesh0;
    delete terrainMesh;
    delete dustMesh;
    delete bodyMesh3;
    delete bodyMesh1;
    delete steeringWheelMesh;
    delete translucentMesh;
    delete edgeMesh;
    delete groundPatch;
    delete deformingBody;
    delete multiStep;
    // Truck 0 (first) lets its own world and dust go.
    for (int k = 1; k < maxTrucks; ++k) {
        delete fleet[k];
    }
}

void TruckApp::setAssetDirectory(const char* directory) {
    assetDirectory = directory != nullptr ? directory : "";
    if (!assetDirectory.empty() && assetDirectory.back() != '/') {
        assetDirectory += '/';
    }
}

std::string TruckApp::assetPath(const char* fileName) const {
    return assetDirectory + fileName;
}

bool TruckApp::fail(const std::string& what) {
    reason = what;
    return false;
}

bool TruckApp::loadTexture(const char* fileName, uint32_t* name) {
    Bitmap bitmap;
    const std::string path = assetPath(fileName);
    if (!bitmap.load(path.c_str())) {
        return fail(bitmap.failureReason());
    }
    bitmap.resizeToPowerOfTwo();
    *name = renderer->createTexture(bitmap.pixels(), bitmap.width(), bitmap.height());
    if (*name == 0) {
        return fail(path + ": the GL texture could not be created");
    }
    return true;
}

bool TruckApp::loadMesh(Mesh** field, const char* fileName, int object, float scale, int ambient,
                        int diffuse, int specular, float shininess) {
    Mesh* mesh = new Mesh(renderer);
    *field = mesh;
    const std::string path = assetPath(fileName);
    if (!mesh->load3ds(path.c_str(), object, scale)) {
        return fail(mesh->failureReason());
    }
    mesh->setMaterial(ambient, diffuse, specular, shininess);
    return true;
}

bool TruckApp::loadBodyShell() {
    if (!loadMesh(&bodyMesh, bodyFileName, 2, bodyScale, 0xA07070, 0xA04040, 0xFFFFFF, 0.8f)) {
        return false;
    }
    if (bodyMesh->vertexCount < requiredBodyVertices) {
        return fail(assetPath(bodyFileName) + ": object 2 has fewer than 1245 vertices");
    }
    return true;
}

bool TruckApp::loadTyre() {
    return loadMesh(&wheelMesh1, wheelFileName, 1, wheelScale, 0x303030, 0x707070, 0x0A0A0A, 0.3f);
}

bool TruckApp::init() {
    reason.clear();
    static const char* const skyFiles[6] = {"desert_rt.bmp", "desert_bk.bmp", "desert_lf.bmp",
                                            "desert_ft.bmp", "desert_up.bmp", "desert_dn.bmp"};
    if (!loadTexture("isampler48.bmp", &isamplerTexture) ||
        !loadTexture("gray_structure.bmp", &grayStructureTexture) ||
        !loadTexture("leather.bmp", &leatherTexture)) {
        return false;
    }
    for (int i = 0; i < 6; ++i) {
        if (!loadTexture(skyFiles[i], &skyTextures[i])) {
            return false;
        }
    }

    if (!loadBodyShell()) {
        return false;
    }
    bodyMesh->textureId = static_cast<int>(grayStructureTexture);
    if (!loadMesh(&bodyMesh3, bodyFileName, 3, bodyScale, 0x606060, 0x707070, 0xF0F0F0, 1.0f)) {
        return false;
    }
    bodyMesh3->textureId = static_cast<int>(grayStructureTexture);
    if (!loadMesh(&bodyMesh1, bodyFileName, 1, bodyScale, 0xA0A0A0, 0x707070, 0x202020, 0.2f)) {
        return false;
    }
    bodyMesh1->textureId = static_cast<int>(leatherTexture);
    if (!loadMesh(&steeringWheelMesh, bodyFileName, 4, bodyScale, 0x909090, 0xA0A0A0, 0xF0F0F0,
                  0.5f)) {
        return false;
    }
    if (!loadMesh(&translucentMesh, bodyFileName, 0, bodyScale, 0x5050A0, 0x5050E0, 0xE0E0E0,
                  0.8f)) {
        return false;
    }
    translucentMesh->transparent = true;

    if (!reset()) {
        return false;
    }

    if (!loadTyre()) {
        return false;
    }
    wheelMesh1->textureId = static_cast<int>(isamplerTexture);
    if (!loadMesh(&wheelMesh0, wheelFileName, 0, wheelScale, 0x404040, 0x606060, 0xFFFFFF, 0.9f)) {
        return false;
    }
    if (!buildDustMesh() || !(map == nullptr ? buildTerrainMesh() : buildGroundPatch()) ||
        !buildEdgeMesh()) {
        return false;
    }
    if (damage && !bindDeformingBody()) {
        return fail("out of memory for the deforming body");
    }
    std::memset(keys, 0, sizeof(keys));
    // Without memory for it nothing can go back; the drive itself goes on.
    history.allocate(*this, historySeconds);
    return true;
}

bool TruckApp::initSimulation() {
    reason.clear();
    if (!loadBodyShell() || !reset() || !loadTyre()) {
        return false;
    }
    std::memset(keys, 0, sizeof(keys));
    // Without memory for it nothing can go back; the drive itself goes on.
    history.allocate(*this, historySeconds);
    return true;
}

bool TruckApp::buildDustMesh() {
    dustMesh = new Mesh(renderer);
    if (!dustMesh->allocate(4, 4, 1)) {
        return fail("out of memory for the dust mesh");
    }
    dustMesh->setMaterial(0x707070, 0xE0E0E0, 0, 0.2f);
    dustMesh->textureId = static_cast<int>(isamplerTexture);
    const Vec3 corners[4] = {Vec3(0, 0, 0), Vec3(4, 0, 0), Vec3(2, 4, 0), Vec3(2, 2, 4)};
    const float texCoords[8] = {0.0f, 0.0f, 0.05f, 0.0f, 0.0f, 0.06f, 0.07f, 0.04f};
    const uint32_t triangles[12] = {0, 1, 2, 1, 3, 2, 3, 0, 2, 3, 1, 0};
    for (int k = 0; k < 4; ++k) {
        dustMesh->vertices[k] = corners[k];
    }
    std::memcpy(dustMesh->texCoords, texCoords, sizeof(texCoords));
    std::memcpy(dustMesh->indices, triangles, sizeof(triangles));
    return true;
}

bool TruckApp::buildEdgeMesh() {
    edgeMesh = new Mesh(renderer);
    if (!buildEdgeSkirt(edgeMesh, world->terrain())) {
        return fail("out of memory for the edge of the ground");
    }
    return true;
}

bool TruckApp::buildTerrainMesh() {
    const int samples = 65;
    const int cells = 64;
    terrainMesh = new Mesh(renderer);
    if (!terrainMesh->allocate(samples * samples, cells * cells * 2, 3)) {
        return fail("out of memory for the ground mesh");
    }
    terrainMesh->setMaterial(0x707070, 0xF0F0F0, 0, 0.4f);
    terrainMesh->textureId = static_cast<int>(isamplerTexture);
    const Terrain& terrain = world->terrain();
    for (int j = 0; j < samples; ++j) {
        for (int i = 0; i < samples; ++i) {
            const int k = i + samples * j;
            terrainMesh->vertices[k] = terrain.gridPoint(i, j) * renderScale;
            // The ground texture repeats every 10/3 cells.
            terrainMesh->texCoords[2 * k] = 0.3f * static_cast<float>(i);
            terrainMesh->texCoords[2 * k + 1] = 0.3f * static_cast<float>(j);
        }
    }
    for (int j = 0; j < cells; ++j) {
        for (int i = 0; i < cells; ++i) {
            const uint32_t k = static_cast<uint32_t>(i + samples * j);
            uint32_t* pair = terrainMesh->indices + 6 * (i + cells * j);
            pair[0] = k;
            pair[1] = k + 66;
            pair[2] = k + 1;
            pair[3] = k;
            pair[4] = k + 65;
            pair[5] = k + 66;
        }
    }
    terrainMesh->computeNormals();
    return true;
}

bool TruckApp::buildGroundPatch() {
    // The map's own cells are drawn within this of the eye, m; beyond it
    // cells 4 and then 16 samples wide.
    const float reach = 80.0f;
    groundPatch = new GroundPatch();
    if (!groundPatch->init(renderer, &map->terrain, reach, static_cast<int>(isamplerTexture))) {
        return fail("out of memory for the ground mesh");
    }
    // The whole map is drawn, coarser with distance: the view reaches across
    // it, corner to corner, from anywhere on it.
    const Terrain& ground = map->terrain;
    const float across = std::hypot(ground.maxX() - ground.minX(), ground.maxZ() - ground.minZ());
    renderer->farPlane = std::fmax(5000.0, static_cast<double>(across + 100.0f) * renderScale);
    return true;
}

bool TruckApp::reset() {
    bool done = resetFirstTruck();
    for (int k = 1; k < trucks && done; ++k) {
        done = resetTruck(k);
    }
    // Whatever was replaced, the step runs on the worlds there are now.
    bindTrucks();
    return done;
}

bool TruckApp::resetFirstTruck() {
    // The new world is built beside the old one: if the model cannot be
    // loaded, the truck that is driving now stays in use.
    PhysicsWorld* fresh = new PhysicsWorld(map != nullptr ? &map->terrain : nullptr);
    const std::string path = assetPath(modelFileName);
    if (!fresh->loadModel(path.c_str())) {
        reason = fresh->failureReason();
        delete fresh;
        return false;
    }
    if (fresh->particleCount() < requiredParticles || fresh->wheelCount() < requiredWheels ||
        fresh->angleJointCount() < requiredAngleJoints) {
        reason = path + ": the truck needs at least 140 particles, 4 wheels and 2 angle joints";
        delete fresh;
        return false;
    }
    if (map != nullptr && !placeAtMapStart(*fresh, *map, &fixedCameraEye)) {
        reason = map->startPlace() + ": the start has no ground under the truck";
        delete fresh;
        return false;
    }
    // A start the truck would fall from at once is the map's mistake.
    if (map != nullptr &&
        !checkStart(*fresh, map->startPlace(), map->startRight, map->startDown, &reason)) {
        delete fresh;
        return false;
    }

    // The file's bytes, not only the positions they give: a truck with
    // other masses or springs drives another drive from the same start.
    std::ifstream modelFile(path, std::ios::binary);
    const std::string modelBytes((std::istreambuf_iterator<char>(modelFile)),
                                 std::istreambuf_iterator<char>());
    // Only the six sections every reader understands: a model that gains a
    // named section (its damage limits) keeps its stamp, and the drives
    // recorded with it still replay.
    modelHash = bytesHash(modelBytes.data(), std::min(modelBytes.size(), fresh->coreTextLength()));
    modelText = modelBytes;
    const Terrain& ground = fresh->terrain();
    const float layout[5] = {static_cast<float>(ground.samplesX),
                             static_cast<float>(ground.samplesZ), ground.spacing, ground.origin.x,
                             ground.origin.z};
    groundHash = bytesHash(layout, sizeof(layout)) ^
                 bytesHash(ground.heights, sizeof(float) * static_cast<size_t>(ground.samplesX) *
                                               static_cast<size_t>(ground.samplesZ));

    initTruckRamps(steeringRamp, throttleRamp, brakeRamp);
    driveController.bindWheels(fresh->wheels());

    fresh->setDamage(damage);
    delete world;
    world = fresh;
    offGridSeconds = 0.0f;
    // Set again by the frame when this reset was a fall's.
    lastResetWasFallOut = false;
    travelPath.clear();
    // A new world lets go: the hand's target was near the truck that is
    // gone, and would fling the new one across the map.
    grabbedParticle = -1;
    fallOutHeight = world->terrain().lowestHeight() - fallOutDepth;
    if (dust != nullptr) {
        dust->release();
        delete dust;
    }
    dust = new DustSystem(1024, world->terrain());
    world->setDustSystem(dust);
    return true;
}
