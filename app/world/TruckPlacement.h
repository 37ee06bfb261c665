// TruckPlacement: moving a freshly loaded truck rigidly to a place on the
// ground, as the start of a loaded map needs it.
#pragma once

#include "math/Vec3.h"

#include <string>

class MapFile;
class PhysicsWorld;

// Turns the whole truck about the vertical through the mean of its particles
// by headingRadians (clockwise seen from above, so a truck in the model's
// start pose, facing -z, ends up facing headingRadians clockwise from -z),
// carries that mean to (x, z) and lifts or lowers it so that the particle
// lowest above the ground beneath it is `clearance` m above it. Velocities and
// accelerations turn with it. False, with nothing moved, when the world has
// no particles or none of them would lie over the ground.
// Mean position of the world's particles, m; at least one particle.
Vec3 meanPosition(PhysicsWorld& world);

bool placeTruck(PhysicsWorld& world, float x, float z, float headingRadians, float clearance);

// How much ground a start must leave all round the truck, m: the reach of a
// wheel that leaves the edge before the truck has moved.
constexpr float startEdgeMargin = 3.0f;

// Whether every particle of a truck set down at a start lies over the
// ground at least `margin` m inside the grid's edge; *nearest gets the least
// distance of any particle from the edge (m; negative beyond it).
bool clearOfEdge(PhysicsWorld& world, float margin, float* nearest);

// The check of one start for the truck in `world`, which has just been put
// down there: `where` names the start's line ("FILE: line N"), and right
// and down are its metres from the map's top-left corner as the file gives
// them. False with *why saying where the start is given and how far it
// falls short.
bool checkStart(PhysicsWorld& world, const std::string& where, float right, float down,
                std::string* why);

// Puts a fresh truck at the map's start, 0.2 m above its ground, and
// returns through fixedEye where the fixed camera (F1) then stands, in scene
// units: where it stands behind a truck at the default world's start, turned
// and carried with the truck, at the same height above the ground.
bool placeAtMapStart(PhysicsWorld& world, const MapFile& map, Vec3* fixedEye);
