// The sky box: six textured faces of a 6000-unit cube centred on the eye,
// drawn first and without depth testing so that everything covers it.
#pragma once

#include "math/Vec3.h"

#include <cstdint>

class Renderer;

// Half the edge of the sky cube, scene units.
const float skyBoxHalfSize = 3000.0f;

// Corner c (0..3) of face i (0..5, in the order rt, bk, lf, ft, up, dn) of the
// unit cube, seen from inside: every face winds counter-clockwise.
Vec3 skyBoxCorner(int face, int corner);

// Draws the box around eye with the six face textures.
void drawSkyBoxPass(Renderer* renderer, const uint32_t* skyTextures, Vec3 eye);
