// Dust drawing: every live dust particle as the small dust mesh, fading,
// shrinking and turning over its five-second life.
#pragma once

#include "math/Mat4.h"

class DustSystem;
class Mesh;
class Renderer;

// The model transform of a dust particle in ring slot `slot`, with the given
// shape vector, at the given age fraction alpha (1 new .. 0 at five seconds)
// and world position.
Mat4 dustTransform(const Vec3& shape, float alpha, int slot, const Vec3& position);

void drawDustPass(Renderer* renderer, const DustSystem* dust, Mesh* dustMesh, float now);
