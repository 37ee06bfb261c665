// A strut: two crossed flat ribbons between two points, each drawn with both
// windings so that back-face culling never hides it.
#pragma once

#include "math/Vec3.h"

class Renderer;

// from and to in scene units; width of each ribbon in scene units. Draws with
// whatever material and model matrix the caller set.
void drawStrutPass(Renderer* renderer, Vec3 from, Vec3 to, float width);
