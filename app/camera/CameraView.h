// CameraView: the camera a frame was drawn with (eye, target and up in scene
// units, under the renderer's fixed projection: 60 degrees vertical, aspect
// 4/3, near plane 5) and the mapping it gives between window pixels and the
// scene: where a point shows, and which point lies under a pixel at a given
// depth. The window shows the scene in the centred 4:3 rectangle of
// fitViewport, so both go through that rectangle.
#pragma once

#include "math/Vec3.h"

struct CameraView {
    Vec3 eye;           // scene units
    Vec3 target;        // scene units
    Vec3 up;            // direction
    bool valid = false; // false until a frame has set it
};

// A point as the window shows it: pixels from the window's left and top
// edges (as the window system reports the mouse; the pixel under the mouse
// at (x, y) covers x..x+1, y..y+1), and its depth along the view axis in
// scene units.
struct WindowPoint {
    float x = 0.0f;
    float y = 0.0f;
    float depth = 0.0f;
};

// Where `point` (scene units) shows in a window of width x height pixels;
// false when it lies before the near plane or the view is degenerate.
bool projectToWindow(const CameraView& view, int width, int height, Vec3 point, WindowPoint* shown);
// The scene point that shows at window position (x, y) (pixels, as in
// WindowPoint) at `depth` scene units along the view axis: a point of the
// plane through that depth facing the camera.
Vec3 pointUnderWindow(const CameraView& view, int width, int height, float x, float y, float depth);
