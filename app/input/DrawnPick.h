// DrawnPick: what the cursor points at on the truck as it is drawn. The ray
// from the eye through the cursor's pixel is cast against the truck's meshes
// (body, cab, seats, glass and the four wheels, each under the transform it
// is drawn with); where it first meets one, the particle nearest that point
// is the one picked. Ground between the eye and the truck hides it, so a
// press on the sky or the ground picks nothing.
#pragma once

#include "app/camera/CameraView.h"
#include "math/Mat4.h"
#include "math/Vec3.h"

class Mesh;
class TruckApp;

// The first crossing of the ray origin + t * direction (t > 0) with a
// triangle of `mesh` placed by `transform` (both faces count); false when it
// misses. `t` is in units of `direction`'s length.
bool rayHitsMesh(const Mesh& mesh, const Mat4& transform, Vec3 origin, Vec3 direction, float* t);

// The particle nearest the point where the ray under window pixel (x, y)
// (as MouseInput takes it) first meets the drawn truck of `app` in `view`;
// -1 when it meets none, or meets the ground first. `hit` (scene units) is
// the point met.
int pickOnDrawnTruck(const TruckApp& app, const CameraView& view, int width, int height, float x,
                     float y, Vec3* hit);
