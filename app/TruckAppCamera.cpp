// TruckApp cameras: five raw cameras derived from the body transform,
// smoothed over the last 0.4 s in the body's or the scene's frame.
#include "app/TruckApp.h"

#include "physics/PhysicsWorld.h"
#include "render/Mesh.h"
#include "render/Renderer.h"
#include "scene/RenderScale.h"

#include <cmath>

namespace {
// Seconds of camera history averaged into the view.
const float smoothingWindow = 0.4f;
// The least height of the eye above the ground under it, m: below it the
// near plane (5 scene units, 0.08 m) would cut into the ground or the eye
// would sit inside a slope and show its inside.
const float eyeClearance = 0.3f;
// Points of the line of sight checked against the ground, and the share of
// the way to the target they cover.
const int sightSamples = 24;
const float sightReach = 0.85f;
// The orbit camera's line of sight: checked every orbitSightStep (m), up to
// orbitSightSkip (m, about half the truck's length with its wheels) from the
// target, kept orbitSightClearance (m) above the ground: a little more than
// the follow camera's, so that the truck's lower half shows over a ridge too.
const float orbitSightStep = 0.1f;
const float orbitSightSkip = 3.0f;
const float orbitSightClearance = 0.5f;
// How far inside the grid's edge an eye that would be beyond it is put, m.
const float eyeEdgeMargin = 0.5f;

// Camera 1 (F2): eye and target in body coordinates by look mode.
const float driverEye[4][3] = {{-20, 40, 40}, {20, 40, 0}, {-20, 40, 0}, {-20, 40, 0}};
const float driverTarget[4][3] = {{-20, 0, -200}, {-200, 0, 38}, {-21, 0, 200}, {200, 0, 38}};
// Camera 3 (F4): offset of the eye from the body, by look mode.
const float followOffset[4][3] = {{0, 0, 600}, {600, 0, 0}, {0, 0, -600}, {-600, 0, 0}};

Vec3 fromTable(const float row[3]) {
    return Vec3(row[0], row[1], row[2]);
}
} // namespace

float TruckApp::eyeHeight(Vec3 eye) const {
    const Terrain& terrain = world->terrain();
    // Beyond the grid's edge the ground ends in the edge's cliff face: the
    // ground under an eye out there is taken at the nearest edge.
    const float inside = 0.001f;
    Vec3 p = eye * (1.0f / renderScale);
    p.x = std::fmin(std::fmax(p.x, terrain.minX() + inside), terrain.maxX() - inside);
    p.z = std::fmin(std::fmax(p.z, terrain.minZ() + inside), terrain.maxZ() - inside);
    Vec3 normal;
    const float along = terrain.query(p, &normal, nullptr);
    // The query measures along the ground's normal; straight up, the height
    // above the ground is that over the normal's y.
    return along >= Terrain::outside ? along : along / normal.y;
}

Vec3 TruckApp::keepEyeAboveGround(Vec3 eye, Vec3 target) const {
    if (world == nullptr) {
        return eye;
    }
    // An eye beyond the grid's edge would look at the truck through the
    // edge's cliff face: it comes in along its line of sight to just inside.
    const Terrain& terrain = world->terrain();
    const float low = (terrain.minX() + eyeEdgeMargin) * renderScale;
    const float high = (terrain.maxX() - eyeEdgeMargin) * renderScale;
    const float lowZ = (terrain.minZ() + eyeEdgeMargin) * renderScale;
    const float highZ = (terrain.maxZ() - eyeEdgeMargin) * renderScale;
    const bool targetInside =
        target.x > low && target.x < high && target.z > lowZ && target.z < highZ;
    if (targetInside && (eye.x < low || eye.x > high || eye.z < lowZ || eye.z > highZ)) {
        // The largest share of the way from the target to the eye that stays
        // inside on both axes.
        float share = 1.0f;
        const Vec3 way = eye - target;
        if (eye.x < low || eye.x > high) {
            share = std::fmin(share, ((eye.x < low ? low : high) - target.x) / way.x);
        }
        if (eye.z < lowZ || eye.z > highZ) {
            share = std::fmin(share, ((eye.z < lowZ ? lowZ : highZ) - target.z) / way.z);
        }
        eye = target + way * share;
    }
    const float height = eyeHeight(eye);
    if (height < eyeClearance) {
        eye.y += (eyeClearance - height) * renderScale;
    }
    return eye;
}

namespace {
// The lift of the eye (m) that keeps its line of sight to the target
// `clearance` above the ground at `samples` points spread over the share
// `reach` of the way.
float sightLift(const TruckApp& app, Vec3 eye, Vec3 target, int samples, float reach,
                float clearance) {
    // Raising the eye by `lift` raises the point at share t of the way from
    // the eye to the target by (1 - t) lift; the lift needed is the largest
    // over the points sampled. The last stretch next to the target is left
    // out: the truck stands on the ground there.
    float lift = 0.0f;
    for (int k = 1; k <= samples; ++k) {
        const float t = reach * static_cast<float>(k) / static_cast<float>(samples);
        const Vec3 point = eye + (target - eye) * t;
        const float below = clearance - app.eyeHeight(point);
        if (below > 0.0f) {
            lift = std::fmax(lift, below / (1.0f - t));
        }
    }
    return lift;
}
} // namespace

Vec3 TruckApp::keepOrbitSightAboveGround(Vec3 eye, Vec3 target) const {
    if (world == nullptr) {
        return eye;
    }
    // The orbit camera reaches 40 m: its line of sight is checked every
    // orbitSightStep up to the truck's own length from the target, so that
    // no ridge between two checks hides it, near or far.
    const Vec3 way = (target - eye) * (1.0f / renderScale);
    const float length = std::sqrt(dot(way, way));
    if (!(length > orbitSightSkip + orbitSightStep)) {
        return eye;
    }
    const float reach = 1.0f - orbitSightSkip / length;
    const int samples = static_cast<int>(std::ceil(reach * length / orbitSightStep));
    // A lift moves the line, so a second pass checks the lifted line.
    for (int pass = 0; pass < 2; ++pass) {
        eye.y += sightLift(*this, eye, target, samples, reach, orbitSightClearance) * renderScale;
    }
    return eye;
}

Vec3 TruckApp::keepSightAboveGround(Vec3 eye, Vec3 target) const {
    if (world == nullptr) {
        return eye;
    }
    // Raising the eye by `lift` raises the point at share t of the way from
    // the eye to the target by (1 - t) lift; the lift needed is the largest
    // over the points sampled. The last stretch next to the target is left
    // out: the truck stands on the ground there.
    float lift = 0.0f;
    for (int k = 1; k <= sightSamples; ++k) {
        const float t = sightReach * static_cast<float>(k) / static_cast<float>(sightSamples);
        const Vec3 point = eye + (target - eye) * t;
        const float below = eyeClearance - eyeHeight(point);
        if (below > 0.0f) {
            lift = std::fmax(lift, below / (1.0f - t));
        }
    }
    eye.y += lift * renderScale;
    return eye;
}

void TruckApp::standFixedCameraAhead(const Vec3& target, const Mat4& body) {
    const Vec3 away = target - fixedCameraEye;
    const float range = fixedCameraRange * renderScale;
    if (dot(away, away) <= range * range) {
        return;
    }
    // Ahead along the way the truck goes (the way it faces when it barely
    // moves), a little to the side, at the default fixed eye's height above
    // the ground there: the truck drives towards it and past it.
    Vec3 ahead = chassisVelocity();
    ahead.y = 0.0f;
    if (!(dot(ahead, ahead) >= 1.0f)) {
        ahead = body.transformVector(Vec3(0.0f, 0.0f, -1.0f));
        ahead.y = 0.0f;
    }
    const float length = std::sqrt(dot(ahead, ahead));
    ahead = length > 1e-6f ? ahead * (1.0f / length) : Vec3(0.0f, 0.0f, -1.0f);
    const Vec3 side(-ahead.z, 0.0f, ahead.x);
    // m ahead and to the side, and the eye's height above the ground.
    const float forward = 45.0f;
    const float across = 8.0f;
    const float height = 200.0f / renderScale;
    Vec3 eye = target + (ahead * forward + side * across) * renderScale;
    eye.y = 0.0f;
    const float ground = eyeHeight(eye);
    eye.y = (ground >= Terrain::outside ? target.y : -ground * renderScale) + height * renderScale;
    // No dune between it and the truck as it stands there.
    fixedCameraEye = keepSightAboveGround(eye, target);
}

Vec3 TruckApp::setupCamera(float time) {
    const Mat4 body = bodyTransform();
    Vec3 eye;
    Vec3 target;
    Vec3 up(0.0f, 1.0f, 0.0f);
    bool attached = false;
    const int look = lookMode & 3;

    switch (camera) {
    case 1:
        eye = body.transformPoint(fromTable(driverEye[look]));
        target = body.transformPoint(fromTable(driverTarget[look]));
        up = body.transformVector(Vec3(0.0f, 1.0f, 0.0f));
        attached = true;
        break;
    case 2:
        eye = body.transformPoint(Vec3(-100.0f, 0.0f, 180.0f));
        target = body.transformPoint(Vec3(-100.0f, 0.0f, -200.0f));
        up = body.transformVector(Vec3(0.0f, 1.0f, 0.0f));
        attached = true;
        break;
    case 3:
        target = body.transformPoint(bodyMesh->centroid);
        eye = body.transformPoint(fromTable(followOffset[look]));
        // The follow camera stays a fixed height above the truck whatever
        // its pitch or roll.
        eye.y = target.y + 140.0f;
        break;
    case 4:
        // The orbit camera swings round to look the way the truck travels.
        orbitCamera.followTravel(
            time,
            dot(chassisVelocity(), normalized(body.transformVector(Vec3(0.0f, 0.0f, -1.0f)))));
        orbitCamera.place(body, bodyMesh->centroid, &eye, &target);
        break;
    default:
        target = body.transformPoint(bodyMesh->centroid);
        if (map != nullptr) {
            standFixedCameraAhead(target, body);
        }
        eye = fixedCameraEye;
        break;
    }

    Mat4 bodyInverse = body;
    bodyInverse.invertAffine();
    eyeLocalHistory.push(bodyInverse.transformPoint(eye), time);
    eyeHistory.push(eye, time);
    targetLocalHistory.push(bodyInverse.transformPoint(target), time);
    targetHistory.push(target, time);
    upLocalHistory.push(bodyInverse.transformVector(up), time);
    upHistory.push(up, time);

    if (attached) {
        eye = body.transformPoint(eyeLocalHistory.average(time, smoothingWindow));
        target = body.transformPoint(targetLocalHistory.average(time, smoothingWindow));
        up = body.transformVector(upLocalHistory.average(time, smoothingWindow));
    } else {
        eye = eyeHistory.average(time, smoothingWindow);
        target = targetHistory.average(time, smoothingWindow);
        up = upHistory.average(time, smoothingWindow);
    }
    eye = keepEyeAboveGround(eye, target);
    // The cameras that are there to show the truck also look over what
    // stands between it and them.
    if (camera == 3) {
        eye = keepSightAboveGround(eye, target);
    } else if (camera == 4) {
        eye = keepOrbitSightAboveGround(eye, target);
    }
    lastView = CameraView{eye, target, up, true};
    if (renderer != nullptr) {
        renderer->setCamera(&eye, &target, &up);
    }
    viewTarget = target;
    return eye;
}
