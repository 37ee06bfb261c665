// MapFile: a world loaded with --map. A small text file names a grayscale
// PNG heightmap and says how far apart its samples are, how high white is
// and where the truck starts:
//
//   dravonel map 1
//   heightmap dunes.png     # relative to the map file's folder
//   spacing 2               # metres between samples
//   height 24               # metres from black (0) to white
//   start 512 980 0         # x and z in metres from the image's top-left
//                           # corner, heading in degrees clockwise from -z
//
// A value in double quotes may hold spaces or '#' (heightmap "my map.png").
// Further start lines place further trucks (--trucks), the k-th truck at the
// k-th start.
//
// Image column i lies along x and row j along z, the top row at the
// smallest z. The world is centred on the origin (halving the largest
// coordinate the single-precision step works with). Loading checks every
// number and size and prints nothing; a refused map gives one line, the
// file and what was wrong.
#pragma once

#include "physics/Terrain.h"

#include <cstddef>
#include <string>
#include <vector>

class MapFile {
  public:
    // The largest map file read, bytes.
    static constexpr size_t largestFile = 64 * 1024;

    // Reads the map file and its heightmap and builds the terrain.
    bool load(const char* path);
    // Reads map text (the heightmap path not yet opened); folder is where
    // relative paths start ("" for the working directory).
    bool parse(const char* text, size_t size, const char* name, const std::string& folder);
    // Builds the terrain from heightmap levels 0..1 (width x height, rows
    // from the top) with the parsed spacing and height; checks the start.
    bool buildTerrain(const float* levels, int width, int height, const char* imageName);
    const char* failureReason() const { return reason.c_str(); }
    // Where the start is given: "FILE: line N", for messages about it.
    std::string startPlace() const;

    // The ground, built once; every world of the run shares it.
    Terrain terrain;
    // Path of the heightmap as the map file names it, resolved.
    std::string heightmapPath;
    float spacing = 0.0f;      // m between samples
    float heightRange = 0.0f;  // m from black to white
    float startRight = 0.0f;   // m from the image's left edge (+x)
    float startDown = 0.0f;    // m from the image's top edge (+z)
    float startHeading = 0.0f; // degrees clockwise from -z
    // The start in world coordinates: x and z (m) and heading (radians).
    float startX = 0.0f;
    float startZ = 0.0f;
    float startHeadingRadians = 0.0f;
    // The map file as parse() was given it, and the line of its start.
    std::string mapName;
    int startLine = 0;
    // Every start in world coordinates, the first one above included: x, z
    // (m) and heading (radians), in the order of the file.
    struct Start {
        float x;
        float z;
        float headingRadians;
    };
    std::vector<Start> starts;

  private:
    // Further starts as the file gives them (right, down, heading degrees).
    std::vector<Start> furtherStarts;
    bool fail(const std::string& what);
    std::string reason;
    // Whether buildTerrain refused the start rather than the image.
    bool startOffMap = false;
};
