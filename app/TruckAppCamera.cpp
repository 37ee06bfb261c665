// TruckApp cameras: four raw cameras derived from the body transform,
// smoothed over the last 0.4 s in the body's or the scene's frame.
#include "app/TruckApp.h"

#include "render/Mesh.h"
#include "render/Renderer.h"

namespace {
// Seconds of camera history averaged into the view.
const float smoothingWindow = 0.4f;

// Camera 1 (F2): eye and target in body coordinates by look mode.
const float driverEye[4][3] = {{-20, 40, 40}, {20, 40, 0}, {-20, 40, 0}, {-20, 40, 0}};
const float driverTarget[4][3] = {{-20, 0, -200}, {-200, 0, 38}, {-21, 0, 200}, {200, 0, 38}};
// Camera 3 (F4): offset of the eye from the body, by look mode.
const float followOffset[4][3] = {{0, 0, 600}, {600, 0, 0}, {0, 0, -600}, {-600, 0, 0}};

Vec3 fromTable(const float row[3]) {
    return Vec3(row[0], row[1], row[2]);
}
} // namespace

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
    default:
        eye = fixedCameraEye;
        target = body.transformPoint(bodyMesh->centroid);
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
    if (renderer != nullptr) {
        renderer->setCamera(&eye, &target, &up);
    }
    viewTarget = target;
    return eye;
}
