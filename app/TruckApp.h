// TruckApp: the driving application. It owns the scene's textures and meshes,
// the soft-body world with its dust, the driver's three ramped controls and
// the camera state; it turns key events and frame times into physics steps
// and draws the scene through the Renderer.
#pragma once

#include "app/Application.h"
#include "app/Truck.h"
#include "app/camera/CameraHistory.h"
#include "app/camera/CameraView.h"
#include "app/camera/OrbitCamera.h"
#include "app/history/History.h"
#include "app/history/RewindControl.h"
#include "app/input/InputEvent.h"
#include "app/input/InputRamp.h"
#include "app/overlay/Hud.h"
#include "app/overlay/TimeControl.h"
#include "app/world/TravelPath.h"
#include "math/Mat4.h"
#include "math/Vec3.h"
#include "physics/DriveController.h"

#include <cstdint>
#include <string>

class DeformingBody;
class DustSystem;
class GroundPatch;
class MultiBodyStep;
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
    // Draws the scene as it stands, at real time `time`, without moving
    // the simulation (the second half of frame).
    bool draw(float time);
    // Records key state; acts on Escape, F1-F8 and 'q'/'e'.
    void key(int code, bool down) override;
    // Consumes one input event: keys go to key(), grabs and releases to
    // grabParticle() and releaseParticle(), analog values to setAnalog().
    void input(const InputEvent& event);
    // Pulls particle `particle` towards `target` (m) until released or until
    // a reset builds a new world, which starts with nothing grabbed; a later
    // grab moves the target (or takes another particle).
    void grabParticle(int particle, Vec3 target);
    void releaseParticle();
    // An analog control's value, -1..1 (the brake 0..1), from a pad or a
    // script: the target its ramp moves to.
    void setAnalog(AnalogControl control, float value);

    // Throws the world away and loads a new one from Modell.txt. When the
    // model cannot be loaded the previous world, dust system and controls
    // stay in use and failureReason() says why. With several trucks every
    // truck goes back to its start.
    bool reset();

    // Several trucks in one world, all of the same model: set before init,
    // 1 to maxTrucks. Each is a Truck in `fleet`; the one-truck fields
    // (world, keys, the ramps, ...) name truck 0's parts. The others stand
    // ahead of it in the default
    // world (8 m apart towards -z, then in a second column) or at the map's
    // further starts, and the rest in rows behind the last start.
    static constexpr int maxTrucks = 16;
    void setTruckCount(int count);
    int truckCount() const { return trucks; }
    // Threads for the step of several trucks (the results never depend on it).
    void setThreads(int threads);
    // The truck the keys, the pad and the grab act on, that the cameras and
    // the overlay follow (0 .. truckCount() - 1); others are ignored.
    void selectTruck(int k);
    int selectedTruck() const { return selected; }
    // The world of truck k (null beyond the trucks there are).
    PhysicsWorld* truckWorld(int k) const;
    // The selected truck, and its held keys.
    Truck& drivenTruck() { return *fleet[selected]; }
    PhysicsWorld* drivenWorld() const { return fleet[selected]->world; }
    unsigned char* drivenKeys();
    // The particle the selected truck's grab holds (-1: none).
    int heldParticle() const;
    // One fingerprint of every truck's positions: with one truck the
    // positions hash of `world`; with several, FNV-1a over the trucks' hashes
    // in order.
    uint64_t positionsHash() const;
    // The several-body step's deepest contact and contact count since the
    // last reset (0 with one truck).
    float deepestContact() const;
    long long contactCount() const;
    // The step of several trucks (null with one), for measuring it.
    MultiBodyStep* severalTruckStep() { return multiStep; }
    // Steps the world to `time` on the frames' clock: ramps, drive, brakes,
    // dust, physics (advanceClock), noted in the history; while Backspace
    // is held it goes back in time instead.
    void advance(float time);
    // Goes back `seconds` of simulated time through the history, to the
    // exact frame, and drives on from there with the keys held now. False
    // when there is no history.
    bool rewind(double seconds);
    // Writes the current moment to a new file in the working folder and
    // names it on the overlay; false with failureReason().
    bool saveState();
    // Starts from the moment saved in `path` instead of the start, the
    // frames' clock at 0 taken as the moment's time; false with
    // failureReason() and nothing changed. Needs a loaded truck.
    bool loadState(const char* path);
    // Recover: a fresh truck, as reset() loads it, put down at rest where
    // the truck last stood on all its wheels with little tilt, at least 4 m
    // back along its path (else the oldest such spot kept), facing as it
    // faced there, its lowest particle 0.2 m above the ground. With no such
    // spot it is put down where it is, facing as it faces. Off the grid it
    // is reset().
    bool recover();

    // Loads only what the simulation needs without GL: the body shell and
    // tyre meshes (for the fits) and the first reset. Used by the headless
    // simulator and the tests.
    bool initSimulation();

    // Mean velocity of the four body-fit particles (136 to 139), m/s: the
    // truck's speed as the simulator's speed column and the overlay give it.
    Vec3 chassisVelocity() const;

    // Rigid transforms fitted to the particles of the selected truck (scene
    // units), and of any world.
    Mat4 bodyTransform() const;
    Mat4 wheelTransform(int wheel) const;
    // The body fit to the model's rest shape, as loaded (scene units).
    Mat4 restBodyTransform() const;
    Mat4 bodyTransformOf(const PhysicsWorld* truck) const;
    Mat4 wheelTransformOf(const PhysicsWorld* truck, int wheel) const;

    // Camera set-up for this frame; returns the eye used (scene units).
    Vec3 setupCamera(float time);
    // The eye brought in along its line of sight where it is beyond the
    // grid's edge (and the target is not), then lifted to 0.3 m above the
    // ground under it where it is lower; unchanged everywhere else (scene
    // units).
    Vec3 keepEyeAboveGround(Vec3 eye, Vec3 target) const;
    // The eye lifted just enough that its line of sight to the target stays
    // 0.3 m above the ground; unchanged when nothing is in the way.
    Vec3 keepSightAboveGround(Vec3 eye, Vec3 target) const;
    // The same for the orbit camera, checked densely over its whole reach
    // (up to 40 m) to the truck's length from the target, 0.5 m clear.
    Vec3 keepOrbitSightAboveGround(Vec3 eye, Vec3 target) const;
    // Height of an eye (scene units) above the ground under it, m; beyond
    // the grid's edge, above the nearest edge.
    float eyeHeight(Vec3 eye) const;

    void drawSkyBox(Vec3 eye);
    void drawMassSpring();
    void drawStrut(Vec3 from, Vec3 to, float width);
    void drawDust(float now);
    // The grabbed particle marked and its line to the target.
    void drawGrab();

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
    // The cliff face around the grid's edge, drawn after the ground.
    Mesh* edgeMesh = nullptr;

    // Every truck (fleet[0] is `first`, the others are owned, null beyond
    // truckCount()).
    Truck first;
    Truck* fleet[maxTrucks] = {&first};
    // Truck 0's world and dust (owned by it).
    PhysicsWorld*& world = first.world;
    DustSystem*& dust = first.dust;
    // A loaded map and the part of its ground drawn around the eye; null
    // in the default world.
    const MapFile* map = nullptr;
    GroundPatch* groundPatch = nullptr;
    // Where the fixed camera (F1) stands, scene units.
    Vec3 fixedCameraEye = Vec3(0.0f, 200.0f, 300.0f);
    // On a map: once the truck at `target` (scene units) is farther than
    // fixedCameraRange from the fixed camera, the camera stands anew ahead
    // of it. The default world keeps its one fixed eye.
    void standFixedCameraAhead(const Vec3& target, const Mat4& body);
    static constexpr float fixedCameraRange = 70.0f; // m
    // The point the latest camera set-up looked at, scene units.
    Vec3 viewTarget;

    // Truck 0's key state by key code 0..511, nonzero while held, and its
    // controls.
    unsigned char (&keys)[512] = first.keys;
    InputRamp& steeringRamp = first.steeringRamp;
    InputRamp& throttleRamp = first.throttleRamp;
    InputRamp& brakeRamp = first.brakeRamp;
    DriveController& driveController = first.driveController;

    // Active camera 0..3 (F1..F4), 4 the orbit camera (F12).
    int camera = 0;
    // Camera 4's yaw, pitch and distance.
    OrbitCamera orbitCamera;
    // The camera the last frame was drawn with, for picking with the mouse.
    CameraView lastView;
    // 0 ahead, 1 left ('q'), 2 rear (both), 3 right ('e').
    int lookMode = 0;
    // Seconds of simulated time.
    float simTime = 0.0f;
    // Resets made because the truck left the grid and fell far below it.
    int fallOutResets = 0;
    // Falls in a row that each came straight after the reset of the one
    // before (within straightFallSeconds of simulated time, no other reset
    // between): 0 for a fall of its own. The overlay and the simulator say
    // the first such repeat once instead of every fall.
    int straightFalls = 0;
    static constexpr float straightFallSeconds = 6.0f;
    float lastFallOutTime = 0.0f; // simTime of the latest fall-out reset, s
    bool lastResetWasFallOut = false;
    // Resets made because the soft body blew up: a position or velocity
    // became non-finite or a particle faster than blowUpSpeed (100 m/s).
    int unstableResets = 0;
    // Recoveries ('r').
    int recoveries = 0;
    // Where truck 0 stood well lately, for recover; cleared by reset.
    TravelPath& travelPath = first.travelPath;
    // Pause, slow motion and single frames; the clock the last advance ran
    // to (s), which the dust is drawn at.
    TimeControl timeControl;
    float clockTime = 0.0f;
    // The overlay (drawn when its flags are set) and the size in pixels of
    // the viewport it is drawn over.
    Hud hud;
    int viewWidth = 640;
    int viewHeight = 480;
    // Hash (FNV-1a) of the bytes of the Modell.txt loaded by the last
    // reset. Recordings are stamped with it.
    uint64_t modelHash = 0;
    // The bytes of that Modell.txt: the further trucks are built from them,
    // so every truck is the same model, read from the disk once.
    std::string modelText;
    // Hash of the ground the world was built on: its size, spacing, place
    // and every height. Recordings are stamped with it too.
    uint64_t groundHash = 0;

    // Truck 0's grabbed particle (-1: none) and the world point it is
    // pulled to, m; its analog values by AnalogControl, and whether each
    // has been given.
    int& grabbedParticle = first.grabbedParticle;
    Vec3& grabTarget = first.grabTarget;
    float (&analogValue)[analogControlCount] = first.analogValue;
    bool (&analogGiven)[analogControlCount] = first.analogGiven;

    // The past for rewinds and seeks: `historySeconds` of it (set before
    // init; 0 keeps none).
    History history;
    double historySeconds = History::defaultSeconds;
    RewindControl rewindControl;
    // Seconds the frames' clock (the timer, a script, a recording) runs
    // ahead of the clock the simulation was lived on: 0 until a rewind or a
    // loaded moment moves the simulation back or forward.
    double timelineOffset = 0.0;
    // States saved with F10, and the latest one's file name.
    int statesSaved = 0;
    std::string savedStateName;

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
    // Damage on: every world a reset builds bends for good and breaks by
    // its model's limits (a fresh truck is whole again).
    bool damage = false;
    // With damage on and GL, the body and cab meshes deforming with the
    // particles; null otherwise.
    DeformingBody* deformingBody = nullptr;

  private:
    friend class AppMoment;
    friend class History;
    // The frame's work at `time` on the simulation's own clock.
    void advanceClock(float time);
    // The first truck alone back to its start (what reset did for one truck).
    bool resetFirstTruck();
    // Truck k (from 1) loaded afresh and put at its start.
    bool resetTruck(int k);
    bool placeFurtherTruck(PhysicsWorld& fresh, int k);
    void bindTrucks();
    // Truck k alone back to its start (truck 0 as reset() puts it).
    bool resetOne(int k);
    // Off the grid, fallen out or blown up: truck k (from 1) back to its start.
    void watchTruck(int k, float simulated);
    // Recover (as recover() describes it) for truck k.
    bool recoverTruck(int k);
    // Notes truck k on its travel path when a look is due.
    void notePath(int k);
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
    // Binds the body and cab meshes to the body particles (damage on).
    bool bindDeformingBody();
    // The shell, structure and interior meshes carried by `body`, or
    // deformed with the particles when damage is on.
    void drawBodyMeshes(const PhysicsWorld& truck, const Mat4& body);
    void drawWindows(const Mat4& body);
    bool buildTerrainMesh();
    bool buildEdgeMesh();
    bool buildGroundPatch();
    bool fail(const std::string& what);
    // Notes the truck on its travel path when a look is due.
    void notePath();
    // True when every particle lies below fallOutHeight.
    bool hasFallenOut() const;
    bool hasFallenOut(const PhysicsWorld& truck) const;
    // True when every particle is beyond the grid's edge, seen from above.
    bool isOffTheGrid() const;
    bool isOffTheGrid(const PhysicsWorld& truck) const;

    std::string assetDirectory;
    std::string reason;
    // The overlay's line for the latest saved state.
    std::string savedStateText;
    // Height (m) below which a particle can no longer be over the ground;
    // set by every reset from the world's terrain.
    float fallOutHeight = -1.0e30f;
    // Seconds of simulated time a truck wholly beyond the grid's edge falls
    // before it is put back at its start: long enough to see it go over,
    // short enough that the reset comes within 2 s of leaving the ground.
    static constexpr float offGridDelay = 1.5f;
    // Simulated seconds truck 0 has been wholly beyond the grid's edge.
    float& offGridSeconds = first.offGridSeconds;

    int trucks = 1;
    int selected = 0;
    int threadCount = 1;
    // The step that runs several trucks together.
    MultiBodyStep* multiStep = nullptr;
};
