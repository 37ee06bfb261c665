// Mesh: allocation, loading from a 3DS object, smooth normals, bounds and
// drawing through the Renderer.
#include "render/Mesh.h"

#include "render/Loader3ds.h"
#include "render/Renderer.h"

#include <cmath>
#include <cstdio>
#include <new>

namespace {

// Planar texture coordinates for vertices without file coordinates: one
// texture repeat per 100 scene units over the ground plane (x, z).
const float planarTexScale = 0.01f;

// Material of the wireframe: a yellow ambient, black diffuse and specular.
const int wireframeAmbient = 0xFFFF00;

// Alpha of a transparent mesh.
const float transparentAlpha = 0.5f;

const char* nameOr(const char* name) {
    return name != nullptr ? name : "(3ds)";
}

} // namespace

Mesh::Mesh(Renderer* rendererIn)
    : vertices(nullptr), texCoords(nullptr), normals(nullptr), indices(nullptr), vertexCount(0),
      triangleCount(0), ambient(0), diffuse(0), specular(0), shininess(0.0f), textureId(-1),
      transparent(false), wireframe(false), arrayFlags(0), renderer(rendererIn) {
    reason[0] = '\0';
}

Mesh::~Mesh() {
    freeArrays();
}

void Mesh::freeArrays() {
    delete[] vertices;
    delete[] texCoords;
    delete[] normals;
    delete[] indices;
    vertices = nullptr;
    texCoords = nullptr;
    normals = nullptr;
    indices = nullptr;
}

bool Mesh::allocate(int newVertexCount, int newTriangleCount, int flags) {
    arrayFlags = flags;
    freeArrays();
    vertexCount = newVertexCount;
    triangleCount = newTriangleCount;
    if (newVertexCount < 0) {
        vertexCount = 0;
        return false;
    }
    if (newTriangleCount < 0) {
        triangleCount = 0;
        return false;
    }
    const size_t vertexTotal = static_cast<size_t>(newVertexCount);
    vertices = new (std::nothrow) Vec3[vertexTotal];
    if (vertices == nullptr) {
        vertexCount = 0;
        return false;
    }
    if ((flags & hasTexCoords) != 0) {
        texCoords = new (std::nothrow) float[2 * vertexTotal];
        if (texCoords == nullptr) {
            vertexCount = 0;
            return false;
        }
    }
    if ((flags & hasNormals) != 0) {
        normals = new (std::nothrow) Vec3[vertexTotal];
        if (normals == nullptr) {
            vertexCount = 0;
            return false;
        }
    }
    indices = new (std::nothrow) uint32_t[3 * static_cast<size_t>(newTriangleCount)];
    if (indices == nullptr) {
        triangleCount = 0;
        return false;
    }
    return true;
}

bool Mesh::takeObject(const Loader3ds& loader, const char* name, int objectIndex, float scale) {
    if (objectIndex < 0 || objectIndex >= loader.objectCount) {
        if (loader.objectCount == 0) {
            std::snprintf(reason, sizeof(reason), "%s: object %d wanted, the file has no objects",
                          nameOr(name), objectIndex);
        } else {
            std::snprintf(reason, sizeof(reason),
                          "%s: object %d wanted, the file has only objects 0 to %d", nameOr(name),
                          objectIndex, static_cast<int>(loader.objectCount) - 1);
        }
        return false;
    }
    const Object3ds& object = loader.objects[objectIndex];
    // An object with points but no faces loads and draws nothing; one without
    // points (a light, a camera) has no shape to stand for a mesh.
    if (object.vertexCount <= 0) {
        std::snprintf(reason, sizeof(reason),
                      "%s: object %d has no triangle mesh (a light or a camera?)", nameOr(name),
                      objectIndex);
        return false;
    }
    if (!allocate(object.vertexCount, object.faceCount, hasTexCoords | hasNormals)) {
        std::snprintf(reason, sizeof(reason), "%s: object %d: out of memory", nameOr(name),
                      objectIndex);
        freeArrays();
        vertexCount = 0;
        triangleCount = 0;
        arrayFlags = 0;
        return false;
    }
    for (int k = 0; k < vertexCount; ++k) {
        const Vertex3ds& source = object.vertices[k];
        // The loader already exchanged y and z; mirroring x makes the file's
        // (x, y, z) into (-x, z, y): two reflections, so windings stay.
        Vec3& position = vertices[k];
        position = Vec3(-scale * source.x, scale * source.y, scale * source.z);
        if (source.hasTexCoord) {
            texCoords[2 * k] = source.u;
            texCoords[2 * k + 1] = source.v;
        } else {
            texCoords[2 * k] = position.x * planarTexScale;
            texCoords[2 * k + 1] = position.z * planarTexScale;
        }
    }
    // The loader has checked every index against the vertex count.
    for (int i = 0; i < 3 * triangleCount; ++i) {
        indices[i] = object.faces[i];
    }
    transform.setIdentity();
    computeNormals();
    computeBounds();
    return true;
}

bool Mesh::load3ds(const char* fileName, int objectIndex, float scale) {
    Loader3ds loader;
    if (!loader.load(fileName)) {
        std::snprintf(reason, sizeof(reason), "%s", loader.failureReason());
        return false;
    }
    return takeObject(loader, fileName, objectIndex, scale);
}

bool Mesh::load3dsFromMemory(const unsigned char* data, size_t size, const char* name,
                             int objectIndex, float scale) {
    Loader3ds loader;
    if (!loader.loadFromMemory(data, size, name)) {
        std::snprintf(reason, sizeof(reason), "%s", loader.failureReason());
        return false;
    }
    return takeObject(loader, name, objectIndex, scale);
}

void Mesh::setMaterial(int ambientIn, int diffuseIn, int specularIn, float shininessIn) {
    ambient = ambientIn;
    diffuse = diffuseIn;
    specular = specularIn;
    shininess = shininessIn;
}

bool Mesh::computeNormals() {
    if (normals == nullptr) {
        return false;
    }
    for (int k = 0; k < vertexCount; ++k) {
        normals[k] = zeroVec3();
    }
    for (int t = 0; t < triangleCount; ++t) {
        const uint32_t a = indices[3 * t];
        const uint32_t b = indices[3 * t + 1];
        const uint32_t c = indices[3 * t + 2];
        // Meshes filled by hand could hold a bad index; such a triangle adds
        // nothing rather than writing outside the arrays.
        if (a >= static_cast<uint32_t>(vertexCount) || b >= static_cast<uint32_t>(vertexCount) ||
            c >= static_cast<uint32_t>(vertexCount)) {
            continue;
        }
        // Not normalised: its length is twice the triangle's area, which
        // weights each face by its area in the sum.
        const Vec3 n = cross(vertices[b] - vertices[a], vertices[c] - vertices[a]);
        normals[a] = normals[a] + n;
        normals[b] = normals[b] + n;
        normals[c] = normals[c] + n;
    }
    for (int k = 0; k < vertexCount; ++k) {
        const Vec3 n = normals[k];
        const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
        if (length > 0.0f && std::isfinite(length)) {
            normals[k] = Vec3(n.x / length, n.y / length, n.z / length);
        } else {
            // Unused or only in degenerate triangles: no direction to average.
            normals[k] = Vec3(0.0f, 1.0f, 0.0f);
        }
    }
    return true;
}

void Mesh::computeBounds() {
    if (vertexCount <= 0 || vertices == nullptr) {
        boundsMin = zeroVec3();
        boundsMax = zeroVec3();
        centroid = zeroVec3();
        extent = zeroVec3();
        return;
    }
    boundsMin = Vec3(1e9f, 1e9f, 1e9f);
    boundsMax = Vec3(-1e9f, -1e9f, -1e9f);
    Vec3 sum = zeroVec3();
    for (int k = 0; k < vertexCount; ++k) {
        const Vec3& v = vertices[k];
        sum = sum + v;
        if (v.x > boundsMax.x) {
            boundsMax.x = v.x;
        }
        if (v.y > boundsMax.y) {
            boundsMax.y = v.y;
        }
        if (v.z > boundsMax.z) {
            boundsMax.z = v.z;
        }
        if (v.x < boundsMin.x) {
            boundsMin.x = v.x;
        }
        if (v.y < boundsMin.y) {
            boundsMin.y = v.y;
        }
        if (v.z < boundsMin.z) {
            boundsMin.z = v.z;
        }
    }
    const float reciprocal = 1.0f / static_cast<float>(vertexCount);
    centroid = sum * reciprocal;
    extent = boundsMax - boundsMin;
}

bool Mesh::draw() {
    if (renderer == nullptr || vertices == nullptr || indices == nullptr) {
        return false;
    }
    renderer->setModelMatrix(&transform);
    if (transparent) {
        // Before the material, so that the material carries this alpha.
        renderer->enableBlending(transparentAlpha);
    }
    if (wireframe) {
        renderer->disableTexture(0);
        renderer->setMaterial(wireframeAmbient, 0, 0, 0.0f);
        renderer->drawWireframe(vertices, indices, triangleCount);
    } else {
        // All three colours 0: draw with whatever material is current.
        if (ambient != 0 || diffuse != 0 || specular != 0) {
            renderer->setMaterial(ambient, diffuse, specular, shininess);
        }
        if (textureId < 0) {
            renderer->disableTexture(0);
        } else {
            renderer->bindTexture(0, static_cast<uint32_t>(textureId));
        }
        renderer->drawTriangles(vertices, texCoords, normals, indices, triangleCount);
    }
    if (transparent) {
        renderer->disableBlending();
    }
    return true;
}
