// Dust particles drawn oldest first, blended, with the dust mesh.
#include "scene/DustView.h"

#include "physics/DustSystem.h"
#include "render/Mesh.h"
#include "render/Renderer.h"
#include "scene/RenderScale.h"

Mat4 dustTransform(const Vec3& shape, float alpha, int slot, const Vec3& position) {
    Mat4 m;
    m.scaleAxes(shape);
    // New particles are drawn four times as large; they shrink as they fade.
    m.scaleLinear(3.0f * alpha + 1.0f);
    // The turn starts at a slot-dependent angle and grows by up to 4 radians.
    const float age = 1.0f - alpha;
    const float angle = age * age * 4.0f + static_cast<float>(slot) * 0.7f;
    // A shape of (0, 0, 0) has no axis to turn about; it is drawn collapsed
    // to a point anyway, so the turn is left out rather than producing NaN.
    if (shape.x != 0.0f || shape.y != 0.0f || shape.z != 0.0f) {
        m.rotateAboutAxis(zeroVec3(), shape, angle);
    }
    m.translate(position * renderScale);
    return m;
}

void drawDustPass(Renderer* renderer, const DustSystem* dust, Mesh* dustMesh, float now) {
    int capacity = 0;
    int start = 0;
    int count = 0;
    const DustParticle* particles = dust->view(capacity, start, count);
    for (int k = 0; k < count; ++k) {
        const int slot = (start + k) % capacity;
        const DustParticle& p = particles[slot];
        if (!p.alive) {
            continue;
        }
        const float alpha = 1.0f - (now - p.birthTime) * 0.2f;
        renderer->enableBlending(alpha);
        dustMesh->transform = dustTransform(p.shape, alpha, slot, p.position);
        dustMesh->draw();
    }
    renderer->disableBlending();
}
