// TruckApp per-frame work: advancing the simulation from the clock and the
// held keys, drawing the scene in its fixed order, and key handling.
#include "app/TruckApp.h"

#include "app/Truck.h"
#include "physics/MultiBodyStep.h"

#include "physics/BlowUp.h"
#include "physics/DustSystem.h"
#include "physics/PhysicsWorld.h"
#include "render/Mesh.h"
#include "render/Renderer.h"
#include "scene/GroundPatch.h"
#include "scene/RenderScale.h"

#include <chrono>

namespace {
// Key codes: characters as themselves, GLUT special keys at 256 + value.
const int keyTab = 9;
const int keyEscape = 27;
const int keyLookLeft = 'q';
const int keyLookRight = 'e';
const int keyF1 = 257;
const int keyF4 = 260;
const int keyF5 = 261;
const int keyF6 = 262;
const int keyF7 = 263;
const int keyF8 = 264;
const int keyF10 = 266;
const int keyF12 = 268;
const int keyRecover = 'r';

// The most real time one frame may simulate, seconds.
const float maxFrameStep = 0.25f;

// Particle index and body-shell vertex index at the two ends of each strut.
const int strutPairs[4][2] = {{35, 1244}, {68, 884}, {1, 1099}, {102, 738}};
} // namespace

void TruckApp::advance(float frameTime) {
    if (rewindControl.held()) {
        rewindControl.frame(*this, frameTime);
        return;
    }
    // Exactly frameTime until time has been moved.
    const float local = static_cast<float>(static_cast<double>(frameTime) - timelineOffset);
    history.frameStarting(frameTime, local, timelineOffset);
    advanceClock(local);
    history.frameDone(*this);
}

void TruckApp::advanceClock(float frameTime) {
    // The simulation's clock: the frame's own time unless paused or slowed.
    const float time = timeControl.clock(frameTime);
    clockTime = time;
    float dt = time - simTime;
    if (dt > maxFrameStep) {
        dt = maxFrameStep;
    }
    // A clock that runs backwards would ramp the controls the wrong way and
    // move the dust back in time; such a frame simulates nothing.
    if (dt < 0.0f) {
        dt = 0.0f;
    }

    for (int k = 0; k < trucks; ++k) {
        applyTruckControls(fleet[k]->controls(), *fleet[k]->world, dt);
    }
    for (int k = 0; k < trucks; ++k) {
        fleet[k]->dust->update(time, dt);
        fleet[k]->dust->setClock(time);
    }

    // Only whole milliseconds are simulated; the remainder stays in the
    // difference between time and simTime for a later frame.
    const int milliseconds = static_cast<int>(static_cast<double>(dt) * 1000.0);
    const float simulated = trucks > 1 ? multiStep->step(milliseconds) : world->step(milliseconds);
    simTime += simulated * 0.001f;
    if (time - simTime > maxFrameStep) {
        simTime = time;
    }

    // A body that has blown up is no longer a truck: it comes back to its
    // start. Tested first, since NaN heights would look like a fall.
    for (int k = 1; k < trucks; ++k) {
        watchTruck(k, simulated);
    }
    if (blownUpParticle(world->positions(), world->particles(), world->particleCount()) >= 0) {
        if (resetFirstTruck()) {
            ++unstableResets;
            bindTrucks();
        }
        return;
    }
    // Beyond the grid there is no ground: a truck that drove off the map
    // would fall for ever until its numbers break down. Once all of it has
    // been beyond the edge for a while, or is far below the ground, it comes
    // back to its start, as Escape brings it.
    offGridSeconds = isOffTheGrid() ? offGridSeconds + simulated * 0.001f : 0.0f;
    // Whether the truck that falls now is the one the last fall brought back
    // (the reset forgets it).
    const bool afterFall = lastResetWasFallOut;
    if ((offGridSeconds >= offGridDelay || hasFallenOut()) && resetFirstTruck()) {
        const bool straight =
            afterFall && fallOutResets > 0 && simTime - lastFallOutTime < straightFallSeconds;
        straightFalls = straight ? straightFalls + 1 : 0;
        ++fallOutResets;
        lastFallOutTime = simTime;
        lastResetWasFallOut = true;
        bindTrucks();
        return;
    }
    notePath();
}

bool TruckApp::isOffTheGrid() const {
    return isOffTheGrid(*world);
}

bool TruckApp::isOffTheGrid(const PhysicsWorld& truck) const {
    PhysicsWorld& w = const_cast<PhysicsWorld&>(truck);
    const Vec3* positions = w.positions();
    const int count = w.particleCount();
    const Terrain& terrain = w.terrain();
    for (int i = 0; i < count; ++i) {
        if (terrain.query(positions[i], nullptr, nullptr) < Terrain::outside) {
            return false;
        }
    }
    return count > 0;
}

bool TruckApp::hasFallenOut() const {
    return hasFallenOut(*world);
}

bool TruckApp::hasFallenOut(const PhysicsWorld& truck) const {
    PhysicsWorld& w = const_cast<PhysicsWorld&>(truck);
    const Vec3* positions = w.positions();
    const int count = w.particleCount();
    for (int i = 0; i < count; ++i) {
        if (positions[i].y >= fallOutHeight) {
            return false;
        }
    }
    return count > 0;
}

bool TruckApp::frame(float time) {
    const std::chrono::steady_clock::time_point physicsStart = std::chrono::steady_clock::now();
    advance(time);
    const std::chrono::duration<double> physics = std::chrono::steady_clock::now() - physicsStart;
    hud.countFrame(*this, time, physics.count());
    return draw(time);
}

bool TruckApp::draw(float time) {
    renderer->beginFrame(0x505070, false);
    const Vec3 eye = setupCamera(time);
    drawSkyBox(eye);
    if (groundPatch != nullptr) {
        groundPatch->draw(eye, viewTarget, drawFloorWireframe);
    } else {
        terrainMesh->draw();
        if (drawFloorWireframe) {
            terrainMesh->wireframe = true;
            terrainMesh->draw();
            terrainMesh->wireframe = false;
        }
    }
    edgeMesh->draw();
    if (drawSoftBody) {
        drawMassSpring();
    }
    // Every truck, each with the transforms fitted to its own particles.
    for (int t = 0; t < trucks && drawCarModel; ++t) {
        const PhysicsWorld* truck = truckWorld(t);
        const float steering = fleet[t]->steeringRamp.value();
        for (int k = 0; k < 4; ++k) {
            const Mat4 wheel = wheelTransformOf(truck, k);
            wheelMesh1->transform = wheel;
            wheelMesh1->draw();
            wheelMesh0->transform = wheel;
            wheelMesh0->draw();
        }
        const Mat4 body = bodyTransformOf(truck);
        drawBodyMeshes(*truck, body);

        // The steering wheel turns about its own column, which is tilted back
        // and set into the cab before the body carries it along.
        Mat4& steeringWheel = steeringWheelMesh->transform;
        steeringWheel.setIdentity();
        steeringWheel.rotateAboutAxis(Vec3(0.0f, -10.0f, 0.0f), Vec3(0.0f, 0.0f, 1.0f),
                                      -4.0f * steering);
        steeringWheel.rotateAboutAxis(zeroVec3(), Vec3(1.0f, 0.0f, 0.0f), -0.3f);
        steeringWheel.translate(Vec3(-20.0f, -20.0f, -130.0f));
        steeringWheel.preMultiply(body);
        steeringWheelMesh->draw();

        const Vec3* positions = const_cast<PhysicsWorld*>(truck)->positions();
        const Mat4 identity;
        renderer->setModelMatrix(&identity);
        const Vec3 anchor = body.transformPoint(bodyMesh->centroid) - Vec3(0.0f, 35.0f, 0.0f);
        renderer->setMaterial(0, 0, 0, 0.0f);
        for (const int* pair : strutPairs) {
            Vec3 v = bodyMesh->vertices[pair[1]];
            v.z *= 0.95f;
            const Vec3 a = body.transformPoint(v);
            const Vec3 h = positions[pair[0]] * renderScale;
            drawStrut(a, h, 5.0f);
            drawStrut(anchor, h, 5.0f);
        }

        drawWindows(body);
    }
    drawGrab();
    if (drawDustParticles) {
        drawDust(clockTime);
    }
    hud.draw(renderer, *this, time, viewWidth, viewHeight);
    renderer->endFrame();
    return true;
}

void TruckApp::key(int code, bool down) {
    if (code < 0 || code > 511) {
        return;
    }
    // Held keys belong to the driven truck; a truck left keeps its own.
    unsigned char* held = drivenKeys();
    const bool repeated = down && held[code] != 0;
    held[code] = down ? 1 : 0;
    // Runs of the history again leave files and the rewind key alone.
    const bool rerun = history.replaying();
    if (!rerun && rewindControl.key(*this, code, down)) {
        return;
    }
    if (down && code == keyF10 && !rerun && !repeated) {
        saveState();
    }
    if (down) {
        if (code == keyTab && trucks > 1) {
            selectTruck((selected + 1) % trucks);
        } else if (code == keyEscape) {
            reset();
        } else if (code >= keyF1 && code <= keyF4) {
            camera = code - keyF1;
        } else if (code == keyF5) {
            drawCarModel = !drawCarModel;
        } else if (code == keyF6) {
            drawSoftBody = !drawSoftBody;
        } else if (code == keyF7) {
            drawDustParticles = !drawDustParticles;
        } else if (code == keyF8) {
            drawFloorWireframe = !drawFloorWireframe;
        } else if (code == keyRecover) {
            recover();
        } else if (code == keyF12) {
            camera = 4;
        }
        // The orbit camera turns a quarter at each press of a look key.
        if (camera == 4 && !repeated && (code == keyLookLeft || code == keyLookRight)) {
            orbitCamera.quarterTurn(code == keyLookLeft ? 1 : -1);
        }
    }
    // Their own keys: pause and slow motion, the overlay and its help.
    timeControl.key(code, down);
    hud.key(code, down);

    bool leftHeld = lookMode == 1 || lookMode == 2;
    bool rightHeld = lookMode == 3 || lookMode == 2;
    if (code == keyLookLeft) {
        leftHeld = down;
    } else if (code == keyLookRight) {
        rightHeld = down;
    }
    if (leftHeld && rightHeld) {
        lookMode = 2;
    } else if (leftHeld) {
        lookMode = 1;
    } else if (rightHeld) {
        lookMode = 3;
    } else {
        lookMode = 0;
    }
}
