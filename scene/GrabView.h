// What the hand holds: the grabbed particle marked, and a line from it to
// the target it is pulled to, drawn over everything else (scene units).
#pragma once

#include "math/Vec3.h"

class Renderer;

void drawGrabPass(Renderer* renderer, Vec3 particle, Vec3 target);
