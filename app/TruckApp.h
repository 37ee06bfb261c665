// TruckApp: the driving application. It owns the scene's textures and meshes,
// the soft-body world with its dust, the driver's three ramped controls and
// the camera state; it turns key events and frame times into physics steps
// and draws the scene through the Renderer.
#pragma once

#include "app/Application.h"
#include "app/CameraHistory.h"
#include "app/InputRamp.h"
#include "math/Mat4.h"
#include "math/Vec3.h"
#include "physics/DriveController.h"

#include <cstdint>
#include <string>

class DustSystem;
class GroundPatch;
class MapFile;
class Mesh;
class PhysicsWorld;

class TruckApp : public Application {
  public:
    TruckApp();
    ~TruckApp() override;

    // Loads the nine textures and seven meshes, builds the ground and dust
    // meshes and performs the first reset. Needs renderer and a GL context.
    // On failure returns false and failureReason() names the file and why.
    bool init() override;
    // Advances the simulation to `time` (seconds since start) and draws.
    bool frame(float time) override;
    // Records key state; acts on Escape, F1-F8 and 'q'/'e'.
    void key(int code, bool down) override;

    // Throws the world away and loads a new one from Modell.txt. When the
    // model cannot be loaded the previous world, dust system and controls
    // stay in use and failureReason() says why.
    bool reset();
    // Steps the world to `time`: ramps, drive, brakes, dust, physics.
    void advance(float time);

    // Loads only what the simulation needs without GL: the body shell and
    // tyre meshes (for the fits) and the first reset. Used by the headless
    // simulator and the tests.
    bool initSimulation();

    // Rigid transforms fitted to the particles (scene units).
    Mat4 bodyTransform() const;
    Mat4 wheelTransform(int wheel) const;

    // Camera set-up for this frame; returns the eye used (scene units).
    Vec3 setupCamera(float time);

    void drawSkyBox(Vec3 eye);
    void drawMassSpring();
    void drawStrut(Vec3 from, Vec3 to, float width);
    void drawDust(float now);

    // Folder prefix for every asset file name ("" = working directory,
    // otherwise ends with '/').
    void setAssetDirectory(const char* directory);
    const char* failureReason() const { return reason.c_str(); }
    // Drives on a loaded map instead of the default world (not owned; it
    // must outlive the app). Set before init.
    void setMap(const MapFile* loaded) { map = loaded; }

    uint32_t isamplerTexture = 0;
    uint32_t grayStructureTexture = 0;
    uint32_t leatherTexture = 0;
    // Sky box faces in the order rt, bk, lf, ft, up, dn.
    uint32_t skyTextures[6] = {0, 0, 0, 0, 0, 0};

    Mesh* bodyMesh = nullptr;
    Mesh* wheelMesh1 = nullptr;
    Mesh* wheelMesh0 = nullptr;
    Mesh* terrainMesh = nullptr;
    Mesh* dustMesh = nullptr;
    Mesh* bodyMesh3 = nullptr;
    Mesh* bodyMesh1 = nullptr;
    Mesh* steeringWheelMesh = nullptr;
    Mesh* translucentMesh = nullptr;

    PhysicsWorld* world = nullptr;
    DustSystem* dust = nullptr;
    // A loaded map and the part of its ground drawn around the eye; null
    // in the default world.
    const MapFile* map = nullptr;
    GroundPatch* groundPatch = nullptr;
    // Where the fixed camera (F1) stands, scene units.
    Vec3 fixedCameraEye = Vec3(0.0f, 200.0f, 300.0f);
    // The point the latest camera set-up looked at, scene units.
    Vec3 viewTarget;

    // Key state by key code 0..511, nonzero while held.
    unsigned char keys[512];

    InputRamp steeringRamp;
    InputRamp throttleRamp;
    InputRamp brakeRamp;
    DriveController driveController;

    // Active camera 0..3 (F1..F4).
    int camera = 0;
    // 0 ahead, 1 left ('q'), 2 rear (both), 3 right ('e').
    int lookMode = 0;
    // Seconds of simulated time.
    float simTime = 0.0f;
    // Resets made because the truck left the grid and fell far below it.
    int fallOutResets = 0;

    CameraHistory eyeHistory;
    CameraHistory eyeLocalHistory;
    CameraHistory targetHistory;
    CameraHistory targetLocalHistory;
    CameraHistory upHistory;
    CameraHistory upLocalHistory;

    bool drawCarModel = true;
    bool drawSoftBody = false;
    bool drawFloorWireframe = false;
    bool drawDustParticles = true;

  private:
    std::string assetPath(const char* fileName) const;
    bool loadTexture(const char* fileName, uint32_t* name);
    bool loadMesh(Mesh** field, const char* fileName, int object, float scale, int ambient,
                  int diffuse, int specular, float shininess);
    // The body shell (object 2, with the fit's vertices) and the tyre
    // (wheel object 1, whose bounds place the wheels): the meshes the fits
    // need, loaded the same way with or without GL.
    bool loadBodyShell();
    bool loadTyre();
    bool buildDustMesh();
    bool buildTerrainMesh();
    bool buildGroundPatch();
    bool fail(const std::string& what);
    // True when every particle lies below fallOutHeight.
    bool hasFallenOut() const;

    std::string assetDirectory;
    std::string reason;
    // Height (m) below which a particle can no longer be over the ground;
    // set by every reset from the world's terrain.
    float fallOutHeight = -1.0e30f;
};
