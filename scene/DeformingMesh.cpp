// DeformingMesh: frames of four particles, their binding to the vertices and
// the per-frame rebuild; DeformingBody: the truck's body particles.
#include "scene/DeformingMesh.h"

#include "physics/PhysicsWorld.h"
#include "render/Mesh.h"
#include "scene/RenderScale.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <new>
#include <utility>
#include <vector>

namespace {

// A frame's det(arms) / (product of arm lengths) must reach this at binding:
// 1 for three square arms, 0 for a flat frame. Flatter ones would magnify
// every small move of their particles.
const float minimumRestQuality = 0.3f;
// At run time a frame has come apart when its quality falls below this
// share of its rest quality (or changes sign), or an arm is beyond these
// factors of its rest length.
const float brokenQualityShare = 0.25f;
const float longestArm = 1.5f;
const float shortestArm = 0.5f;
// Largest Frobenius norm of (map^T map - I), the frame's strain, that still
// counts as a dent (a stretch of about 20 % one way) rather than a frame
// torn apart.
const float largestFrameStrain = 0.45f;
// Nearness weight 1 / (d^2 + softening), d in m from the frame's origin.
const float softening = 0.01f;

float length(const Vec3& v) {
    return std::sqrt(dot(v, v));
}

float det3(const float m[9]) {
    return m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
           m[2] * (m[3] * m[7] - m[4] * m[6]);
}

// Cofactor matrix of m (row-major): det(m) times its inverse transposed.
void cofactor(const float m[9], float out[9]) {
    out[0] = m[4] * m[8] - m[5] * m[7];
    out[1] = m[5] * m[6] - m[3] * m[8];
    out[2] = m[3] * m[7] - m[4] * m[6];
    out[3] = m[2] * m[7] - m[1] * m[8];
    out[4] = m[0] * m[8] - m[2] * m[6];
    out[5] = m[1] * m[6] - m[0] * m[7];
    out[6] = m[1] * m[5] - m[2] * m[4];
    out[7] = m[2] * m[3] - m[0] * m[5];
    out[8] = m[0] * m[4] - m[1] * m[3];
}

// Arms of a frame as the columns of a row-major matrix.
void arms(const Vec3& o, const Vec3& a, const Vec3& b, const Vec3& c, float m[9]) {
    const Vec3 e[3] = {a - o, b - o, c - o};
    for (int j = 0; j < 3; ++j) {
        m[0 + j] = e[j].x;
        m[3 + j] = e[j].y;
        m[6 + j] = e[j].z;
    }
}

float quality(const float m[9], float l0, float l1, float l2) {
    const float product = l0 * l1 * l2;
    return product > 0.0f ? det3(m) / product : 0.0f;
}

Vec3 times(const float m[9], const Vec3& v) {
    return Vec3(m[0] * v.x + m[1] * v.y + m[2] * v.z, m[3] * v.x + m[4] * v.y + m[5] * v.z,
                m[6] * v.x + m[7] * v.y + m[8] * v.z);
}

} // namespace

DeformingMesh::~DeformingMesh() {
    release();
}

void DeformingMesh::release() {
    delete copy;
    delete[] restVertices;
    delete[] restNormals;
    delete[] bindings;
    delete[] frames;
    copy = nullptr;
    restVertices = nullptr;
    restNormals = nullptr;
    bindings = nullptr;
    frames = nullptr;
    frameTotal = 0;
    vertexTotal = 0;
    fallbacks = 0;
}

bool DeformingMesh::bind(Renderer* renderer, const Mesh& source, const Mat4& restTransform,
                         const Vec3* rest, const int* candidates, int candidateCount) {
    release();
    const int n = source.vertexCount;
    copy = new (std::nothrow) Mesh(renderer);
    if (!copy || !copy->allocate(n, source.triangleCount, source.arrayFlags | Mesh::hasNormals)) {
        release();
        return false;
    }
    std::memcpy(copy->indices, source.indices, sizeof(uint32_t) * 3 * source.triangleCount);
    if (source.texCoords != nullptr && copy->texCoords != nullptr) {
        std::memcpy(copy->texCoords, source.texCoords, sizeof(float) * 2 * n);
    }
    copy->ambient = source.ambient;
    copy->diffuse = source.diffuse;
    copy->specular = source.specular;
    copy->shininess = source.shininess;
    copy->textureId = source.textureId;
    copy->transparent = source.transparent;
    copy->transform.setIdentity();

    restVertices = new (std::nothrow) Vec3[n > 0 ? n : 1];
    restNormals = new (std::nothrow) Vec3[n > 0 ? n : 1];
    bindings = new (std::nothrow) Binding[n > 0 ? n : 1];
    if (!restVertices || !restNormals || !bindings) {
        release();
        return false;
    }
    vertexTotal = n;
    restInverse = restTransform;
    restInverse.invertAffine();
    for (int v = 0; v < n; ++v) {
        restVertices[v] = restTransform.transformPoint(source.vertices[v]);
        const Vec3 normal = source.normals != nullptr ? source.normals[v] : Vec3(0.0f, 1.0f, 0.0f);
        restNormals[v] = normalized(restTransform.transformVector(normal));
    }

    // Frames, each made once however many vertices share it.
    std::vector<Frame> made;
    std::map<std::pair<std::pair<int, int>, std::pair<int, int>>, int> index;
    std::vector<std::pair<float, int>> near(static_cast<size_t>(candidateCount));
    for (int v = 0; v < n; ++v) {
        Binding& binding = bindings[v];
        for (int k = 0; k < framesPerVertex; ++k) {
            binding.frame[k] = -1;
            binding.weight[k] = 0.0f;
        }
        const Vec3 at = restVertices[v] * (1.0f / renderScale);
        for (int c = 0; c < candidateCount; ++c) {
            const Vec3 d = rest[candidates[c]] - at;
            near[static_cast<size_t>(c)] = std::make_pair(dot(d, d), candidates[c]);
        }
        std::sort(near.begin(), near.end());
        float weightSum = 0.0f;
        int found = 0;
        // Each of the nearest particles in turn as an origin, with the
        // nearest others that make well-shaped arms.
        for (int o = 0; o < candidateCount && found < framesPerVertex; ++o) {
            const int origin = near[static_cast<size_t>(o)].second;
            int chosen[3] = {-1, -1, -1};
            int picked = 0;
            for (int c = 0; c < candidateCount && picked < 3; ++c) {
                const int p = near[static_cast<size_t>(c)].second;
                if (p == origin || p == chosen[0] || p == chosen[1]) {
                    continue;
                }
                const Vec3 e = rest[p] - rest[origin];
                if (length(e) < 1e-3f) {
                    continue;
                }
                if (picked == 1) {
                    // Not along the first arm.
                    const Vec3 e0 = rest[chosen[0]] - rest[origin];
                    if (length(cross(e0, e)) < 0.5f * length(e0) * length(e)) {
                        continue;
                    }
                } else if (picked == 2) {
                    float m[9];
                    arms(rest[origin], rest[chosen[0]], rest[chosen[1]], rest[p], m);
                    const float q = quality(m, length(rest[chosen[0]] - rest[origin]),
                                            length(rest[chosen[1]] - rest[origin]), length(e));
                    if (std::fabs(q) < minimumRestQuality) {
                        continue;
                    }
                }
                chosen[picked++] = p;
            }
            if (picked < 3) {
                continue;
            }
            const auto key = std::make_pair(std::make_pair(origin, chosen[0]),
                                            std::make_pair(chosen[1], chosen[2]));
            auto it = index.find(key);
            int frame;
            if (it != index.end()) {
                frame = it->second;
            } else {
                Frame f;
                f.p[0] = origin;
                f.p[1] = chosen[0];
                f.p[2] = chosen[1];
                f.p[3] = chosen[2];
                float m[9];
                arms(rest[origin], rest[chosen[0]], rest[chosen[1]], rest[chosen[2]], m);
                for (int k = 0; k < 3; ++k) {
                    f.restArm[k] = length(rest[f.p[k + 1]] - rest[origin]);
                }
                f.restQuality = quality(m, f.restArm[0], f.restArm[1], f.restArm[2]);
                float c[9];
                cofactor(m, c);
                const float d = det3(m);
                // inverse = cofactor transposed / det
                for (int i = 0; i < 3; ++i) {
                    for (int j = 0; j < 3; ++j) {
                        f.inverseRest[3 * i + j] = c[3 * j + i] / d;
                    }
                }
                f.restOrigin = rest[origin];
                f.restLow = rest[origin] * renderScale;
                f.restHigh = f.restLow;
                for (int k = 1; k < 4; ++k) {
                    const Vec3 q = rest[f.p[k]] * renderScale;
                    f.restLow = Vec3(std::min(f.restLow.x, q.x), std::min(f.restLow.y, q.y),
                                     std::min(f.restLow.z, q.z));
                    f.restHigh = Vec3(std::max(f.restHigh.x, q.x), std::max(f.restHigh.y, q.y),
                                      std::max(f.restHigh.z, q.z));
                }
                frame = static_cast<int>(made.size());
                made.push_back(f);
                index[key] = frame;
            }
            const Vec3 d = rest[origin] - at;
            const float weight = 1.0f / (dot(d, d) + softening);
            binding.frame[found] = frame;
            binding.weight[found] = weight;
            const Frame& f = made[static_cast<size_t>(frame)];
            const Vec3 r = restVertices[v];
            const Vec3 c(std::min(std::max(r.x, f.restLow.x), f.restHigh.x),
                         std::min(std::max(r.y, f.restLow.y), f.restHigh.y),
                         std::min(std::max(r.z, f.restLow.z), f.restHigh.z));
            binding.inside[found] = c;
            binding.beyond[found] = r - c;
            weightSum += weight;
            ++found;
        }
        for (int k = 0; k < found; ++k) {
            binding.weight[k] /= weightSum;
        }
    }
    frames = new (std::nothrow) Frame[made.empty() ? 1 : made.size()];
    if (!frames) {
        release();
        return false;
    }
    std::copy(made.begin(), made.end(), frames);
    frameTotal = static_cast<int>(made.size());
    for (int v = 0; v < n; ++v) {
        copy->vertices[v] = restVertices[v];
        copy->normals[v] = restNormals[v];
    }
    copy->computeBounds();
    return true;
}

void DeformingMesh::updateFrame(Frame& f, const Vec3* positions, const Mat4& rigid) {
    const Vec3 o = positions[f.p[0]];
    float m[9];
    arms(o, positions[f.p[1]], positions[f.p[2]], positions[f.p[3]], m);
    bool apart = false;
    float armLength[3];
    for (int k = 0; k < 3; ++k) {
        armLength[k] = length(positions[f.p[k + 1]] - o);
        apart = apart || !(armLength[k] <= longestArm * f.restArm[k]) ||
                !(armLength[k] >= shortestArm * f.restArm[k]);
    }
    const float q = quality(m, armLength[0], armLength[1], armLength[2]);
    apart = apart || !(q / f.restQuality >= brokenQualityShare);
    if (apart) {
        // The rigid fit: its rotation and translation, in scene units.
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                f.map[3 * i + j] = rigid.m[4 * j + i];
                f.normalMap[3 * i + j] = rigid.m[4 * j + i];
            }
        }
        f.shift = Vec3(rigid.m[12], rigid.m[13], rigid.m[14]);
        ++fallbacks;
        return;
    }
    // map = arms now * inverse of the rest arms (unitless); the shift puts
    // the rest origin (scene units) on the origin particle now.
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            f.map[3 * i + j] = m[3 * i] * f.inverseRest[j] + m[3 * i + 1] * f.inverseRest[3 + j] +
                               m[3 * i + 2] * f.inverseRest[6 + j];
        }
    }
    // Torn rather than dented: the strain map^T map - I too large.
    float strain = 0.0f;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            float g =
                f.map[i] * f.map[j] + f.map[3 + i] * f.map[3 + j] + f.map[6 + i] * f.map[6 + j];
            g -= i == j ? 1.0f : 0.0f;
            strain += g * g;
        }
    }
    if (!(strain <= largestFrameStrain * largestFrameStrain)) {
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                f.map[3 * i + j] = rigid.m[4 * j + i];
                f.normalMap[3 * i + j] = rigid.m[4 * j + i];
            }
        }
        f.shift = Vec3(rigid.m[12], rigid.m[13], rigid.m[14]);
        ++fallbacks;
        return;
    }
    cofactor(f.map, f.normalMap);
    f.shift = o * renderScale - times(f.map, f.restOrigin * renderScale);
}

void DeformingMesh::update(const Vec3* positions, const Mat4& rigid) {
    if (copy == nullptr) {
        return;
    }
    fallbacks = 0;
    // The rest vertices were placed by the rest fit: the rigid fit now
    // carries them by itself after the inverse of that.
    Mat4 follow = restInverse;
    follow.preMultiply(rigid);
    for (int k = 0; k < frameTotal; ++k) {
        updateFrame(frames[k], positions, follow);
    }
    for (int v = 0; v < vertexTotal; ++v) {
        const Binding& binding = bindings[v];
        const Vec3 r = restVertices[v];
        const Vec3 n = restNormals[v];
        Vec3 point;
        Vec3 normal;
        if (binding.frame[0] < 0) {
            // No well-shaped frame near this vertex: it moves rigidly.
            point = follow.transformPoint(r);
            normal = follow.transformVector(n);
        } else {
            Vec3 beyond;
            for (int k = 0; k < framesPerVertex && binding.frame[k] >= 0; ++k) {
                const Frame& f = frames[binding.frame[k]];
                point = point + (times(f.map, binding.inside[k]) + f.shift) * binding.weight[k];
                beyond = beyond + binding.beyond[k] * binding.weight[k];
                normal = normal + times(f.normalMap, n) * binding.weight[k];
            }
            point = point + follow.transformVector(beyond);
        }
        copy->vertices[v] = point;
        const float l = length(normal);
        copy->normals[v] = l > 0.0f ? normal * (1.0f / l) : n;
    }
}

int DeformingMesh::boundParticles(int v, int out[4 * framesPerVertex]) const {
    int count = 0;
    for (int k = 0; k < framesPerVertex; ++k) {
        const int frame = v >= 0 && v < vertexTotal ? bindings[v].frame[k] : -1;
        for (int j = 0; j < 4; ++j) {
            out[4 * k + j] = frame >= 0 ? frames[frame].p[j] : -1;
            count += frame >= 0 ? 1 : 0;
        }
    }
    return count;
}

bool DeformingBody::bind(Renderer* renderer, PhysicsWorld& world, Mesh* const meshes[meshCount],
                         const Mat4& restBody) {
    const int n = world.particleCount();
    std::vector<bool> onWheel(static_cast<size_t>(n), false);
    for (int w = 0; w < world.wheelCount(); ++w) {
        const Wheel& wheel = world.wheels()[w];
        onWheel[static_cast<size_t>(wheel.hubA)] = true;
        onWheel[static_cast<size_t>(wheel.hubB)] = true;
        for (int r = 0; r < wheel.rimCount; ++r) {
            onWheel[static_cast<size_t>(wheel.rim[r])] = true;
        }
    }
    std::vector<int> ties(static_cast<size_t>(n), 0);
    for (int k = 0; k < world.springCount(); ++k) {
        const Spring& s = world.springs()[k];
        if (!onWheel[static_cast<size_t>(s.a)] && !onWheel[static_cast<size_t>(s.b)]) {
            ++ties[static_cast<size_t>(s.a)];
            ++ties[static_cast<size_t>(s.b)];
        }
    }
    std::vector<int> body;
    for (int i = 0; i < n; ++i) {
        if (!onWheel[static_cast<size_t>(i)] && ties[static_cast<size_t>(i)] >= 4) {
            body.push_back(i);
        }
    }
    for (int k = 0; k < meshCount; ++k) {
        if (meshes[k] == nullptr ||
            !parts[k].bind(renderer, *meshes[k], restBody, world.restShape(), body.data(),
                           static_cast<int>(body.size()))) {
            return false;
        }
    }
    return true;
}

void DeformingBody::update(const Vec3* positions, const Mat4& rigid) {
    for (int k = 0; k < meshCount; ++k) {
        parts[k].update(positions, rigid);
    }
}
