// Strut ribbons: one ribbon widened along z, one along x.
#include "scene/Strut.h"

#include "render/Renderer.h"

namespace {
void drawRibbon(Renderer* renderer, const Vec3& from, const Vec3& to, const Vec3& side) {
    const Vec3 fromSide = from + side;
    const Vec3 toSide = to + side;
    const Vec3 t1[3] = {from, fromSide, to};
    const Vec3 t2[3] = {to, fromSide, from};
    const Vec3 t3[3] = {fromSide, toSide, to};
    const Vec3 t4[3] = {to, toSide, fromSide};
    renderer->drawTriangle(t1, nullptr, nullptr);
    renderer->drawTriangle(t2, nullptr, nullptr);
    renderer->drawTriangle(t3, nullptr, nullptr);
    renderer->drawTriangle(t4, nullptr, nullptr);
}
} // namespace

void drawStrutPass(Renderer* renderer, Vec3 from, Vec3 to, float width) {
    drawRibbon(renderer, from, to, Vec3(0.0f, 0.0f, width));
    drawRibbon(renderer, from, to, Vec3(width, 0.0f, 0.0f));
}
