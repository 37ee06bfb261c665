// EdgeSkirt: the cliff face around the ground grid's edge, drawn so that the
// end of the world is seen before the truck drives off it. Beyond the edge
// there is no ground; the ground contact already treats the edge as a
// vertical face, and the skirt shows that face, from every edge sample's
// height down to well below the lowest ground.
#pragma once

class Mesh;
class Terrain;

// The band along the top of the edge, one grid cell wide, lies this far
// above the ground so that it is seen from the ground inside (m).
const float edgeBandLift = 0.05f;
// How far below the lowest ground the skirt reaches, m.
const float edgeSkirtDepth = 15.0f;
// Rust red, far from the sand and sky colours: it reads as an edge.
const int edgeSkirtAmbient = 0x5A2418;
const int edgeSkirtDiffuse = 0xB04A28;

// Fills an empty mesh with the four faces of the skirt (scene units), each
// facing outwards, and the band along their top, facing up, with normals
// and the skirt's material. False when the
// mesh's arrays cannot be had.
bool buildEdgeSkirt(Mesh* mesh, const Terrain& terrain);
