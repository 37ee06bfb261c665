// TruckPlacement: the rigid turn and move, and the ground beneath the truck.
#include "app/world/TruckPlacement.h"

#include "app/world/MapFile.h"
#include "physics/PhysicsWorld.h"
#include "scene/RenderScale.h"

#include <cmath>
#include <cstdio>

namespace {

// Height of the ground under (x, z), m; false outside the grid.
bool groundHeight(const Terrain& terrain, float x, float z, float* height) {
    Vec3 normal(0.0f, 1.0f, 0.0f);
    const float above = terrain.query(Vec3(x, 0.0f, z), &normal, nullptr);
    if (above >= Terrain::outside) {
        return false;
    }
    // The query measures along the normal; the vertical distance is that
    // over the normal's y.
    *height = -above / normal.y;
    return true;
}

} // namespace

Vec3 meanPosition(PhysicsWorld& world) {
    const Vec3* positions = world.positions();
    Vec3 sum;
    for (int i = 0; i < world.particleCount(); ++i) {
        sum = sum + positions[i];
    }
    return sum * (1.0f / static_cast<float>(world.particleCount()));
}

namespace {

// (x, z) turned clockwise seen from above (y up) by the angle whose cosine
// and sine are c and s: -z turns towards +x.
Vec3 turned(const Vec3& v, float c, float s) {
    return Vec3(c * v.x - s * v.z, v.y, s * v.x + c * v.z);
}

// The fixed camera's eye in the default world, scene units.
const Vec3 defaultFixedEye(0.0f, 200.0f, 300.0f);

} // namespace

bool placeTruck(PhysicsWorld& world, float x, float z, float headingRadians, float clearance) {
    const int count = world.particleCount();
    if (count <= 0) {
        return false;
    }
    const Terrain& terrain = world.terrain();
    const Vec3 centre = meanPosition(world);
    const float c = std::cos(headingRadians);
    const float s = std::sin(headingRadians);
    const Vec3 target(x, 0.0f, z);
    Vec3* positions = world.positions();
    // The lowest height above the ground of the turned and carried truck.
    bool over = false;
    float lowest = 0.0f;
    for (int i = 0; i < count; ++i) {
        const Vec3 p = turned(positions[i] - centre, c, s) + target;
        float ground = 0.0f;
        if (groundHeight(terrain, p.x, p.z, &ground)) {
            const float above = positions[i].y - ground;
            lowest = over ? std::fmin(lowest, above) : above;
            over = true;
        }
    }
    if (!over) {
        return false;
    }
    const float lift = clearance - lowest;
    Particle* particles = world.particles();
    for (int i = 0; i < count; ++i) {
        const Vec3 p = turned(positions[i] - centre, c, s) + target;
        positions[i] = Vec3(p.x, positions[i].y + lift, p.z);
        Particle& particle = particles[i];
        particle.velocity = turned(particle.velocity, c, s);
        particle.acceleration = turned(particle.acceleration, c, s);
        particle.previousAcceleration = turned(particle.previousAcceleration, c, s);
        particle.force = turned(particle.force, c, s);
    }
    return true;
}

bool clearOfEdge(PhysicsWorld& world, float margin, float* nearest) {
    const Terrain& terrain = world.terrain();
    const Vec3* positions = world.positions();
    float least = 1.0e30f;
    for (int i = 0; i < world.particleCount(); ++i) {
        const Vec3& p = positions[i];
        least = std::fmin(least, std::fmin(std::fmin(p.x - terrain.minX(), terrain.maxX() - p.x),
                                           std::fmin(p.z - terrain.minZ(), terrain.maxZ() - p.z)));
    }
    *nearest = least;
    // Written so that a NaN position fails too.
    return world.particleCount() > 0 && least >= margin;
}

bool checkStart(PhysicsWorld& world, const std::string& where, float right, float down,
                std::string* why) {
    float nearest = 0.0f;
    if (clearOfEdge(world, startEdgeMargin, &nearest)) {
        return true;
    }
    char text[256];
    std::snprintf(text, sizeof text,
                  ": start (%g, %g) m puts the truck %s %.1f m %s the map's edge; a start must "
                  "leave %g m of ground all round it",
                  static_cast<double>(right), static_cast<double>(down),
                  nearest < 0.0f ? "partly" : "within", static_cast<double>(std::fabs(nearest)),
                  nearest < 0.0f ? "beyond" : "of", static_cast<double>(startEdgeMargin));
    *why = where + text;
    return false;
}

bool placeAtMapStart(PhysicsWorld& world, const MapFile& map, Vec3* fixedEye) {
    if (world.particleCount() <= 0) {
        return false;
    }
    // The default camera's place relative to the truck's start, m.
    const Vec3 offset = defaultFixedEye * (1.0f / renderScale) - meanPosition(world);
    if (!placeTruck(world, map.startX, map.startZ, map.startHeadingRadians, 0.2f)) {
        return false;
    }
    const Vec3 centre = meanPosition(world);
    const float c = std::cos(map.startHeadingRadians);
    const float s = std::sin(map.startHeadingRadians);
    Vec3 eye = turned(Vec3(offset.x, 0.0f, offset.z), c, s) + Vec3(centre.x, 0.0f, centre.z);
    float ground = 0.0f;
    float under = 0.0f;
    groundHeight(world.terrain(), centre.x, centre.z, &ground);
    if (groundHeight(world.terrain(), eye.x, eye.z, &under)) {
        ground = std::fmax(ground, under);
    }
    eye.y = ground + defaultFixedEye.y / renderScale;
    *fixedEye = eye * renderScale;
    return true;
}
