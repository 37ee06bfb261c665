// Sky box drawing: one quad per face, texture coordinates kept 0.001 inside
// the texture so the linear filter never wraps to the opposite edge.
#include "scene/SkyBox.h"

#include "math/Mat4.h"
#include "render/Renderer.h"

namespace {
// Unit-cube corners of each face, counter-clockwise seen from the centre.
const float faceCorners[6][4][3] = {
    {{-1, 1, 1}, {1, 1, 1}, {1, -1, 1}, {-1, -1, 1}},     // rt, z = +1
    {{-1, 1, -1}, {-1, 1, 1}, {-1, -1, 1}, {-1, -1, -1}}, // bk, x = -1
    {{1, 1, -1}, {-1, 1, -1}, {-1, -1, -1}, {1, -1, -1}}, // lf, z = -1
    {{1, 1, 1}, {1, 1, -1}, {1, -1, -1}, {1, -1, 1}},     // ft, x = +1
    {{-1, 1, -1}, {1, 1, -1}, {1, 1, 1}, {-1, 1, 1}},     // up, y = +1
    {{-1, -1, 1}, {1, -1, 1}, {1, -1, -1}, {-1, -1, -1}}, // dn, y = -1
};

const float cornerTexCoords[4][2] = {
    {0.001f, 0.001f}, {0.999f, 0.001f}, {0.999f, 0.999f}, {0.001f, 0.999f}};
} // namespace

Vec3 skyBoxCorner(int face, int corner) {
    const float* c = faceCorners[face][corner];
    return Vec3(c[0], c[1], c[2]);
}

void drawSkyBoxPass(Renderer* renderer, const uint32_t* skyTextures, Vec3 eye) {
    Mat4 model;
    model.translate(eye);
    renderer->setModelMatrix(&model);
    renderer->disableDepthTest();
    for (int face = 0; face < 6; ++face) {
        renderer->bindTexture(0, skyTextures[face]);
        renderer->setMaterial(0xFFFFFF, 0x000000, 0x000000, 0.0f);
        Vec3 c[4];
        for (int k = 0; k < 4; ++k) {
            c[k] = skyBoxCorner(face, k) * skyBoxHalfSize;
        }
        const Vec3 first[3] = {c[0], c[1], c[2]};
        const float firstTex[6] = {cornerTexCoords[0][0], cornerTexCoords[0][1],
                                   cornerTexCoords[1][0], cornerTexCoords[1][1],
                                   cornerTexCoords[2][0], cornerTexCoords[2][1]};
        renderer->drawTriangle(first, firstTex, nullptr);
        const Vec3 second[3] = {c[0], c[2], c[3]};
        const float secondTex[6] = {cornerTexCoords[0][0], cornerTexCoords[0][1],
                                    cornerTexCoords[2][0], cornerTexCoords[2][1],
                                    cornerTexCoords[3][0], cornerTexCoords[3][1]};
        renderer->drawTriangle(second, secondTex, nullptr);
    }
    renderer->enableDepthTest();
}
