// SkyBox: the six desert sky faces, each made by sampling one function of the
// view direction (sky gradient, haze, sun, thin clouds, dunes on the horizon,
// the desert floor) through the sky box's own corner table, so that
// neighbouring faces agree along their shared edges.
#pragma once

#include "math/Vec3.h"
#include "tools/assets/BmpWriter.h"

class SkyBox {
  public:
    static constexpr int faceCount = 6;
    static constexpr int faceSize = 512;

    // File name of face i, in the order rt, bk, lf, ft, up, dn.
    static const char* fileName(int face);
    // Direction (not normalised) of texture coordinates (s, t) on face i: the
    // point of the unit cube that the drawn quad maps (s, t) to. Texture row
    // t = 0 is the image's top row.
    static Vec3 direction(int face, float s, float t);
    // Colour seen along a direction, 0..255 per component.
    static void colour(const Vec3& direction, float rgb[3]);
    static BmpWriter face(int face, int size = faceSize);
};
