// BodyMesh: the truck's five body objects, modelled around the body origin
// (the truck's start position) in scene units: 60 per metre, x to the right,
// y up, z backwards (the truck faces -z). A lifted pickup on big off-road
// tyres under wide flares: a long bonnet, the cab between the axles, an
// open bed, bull bar and roll bar.
//   object 0 "glass": windscreen, side and rear windows, lamp lenses
//   object 1 "interior": seats, dashboard, floor, door and roof linings
//   object 2 "body": the painted shell, with four mounting points at
//       vertices 738, 884, 1099 and 1244 that lie exactly at 60 x the rest
//       positions (relative to the start) of chassis particles 136, 138, 139
//       and 137, so that the body fit is a pure translation at rest
//   object 3 "trim": bumpers, frame, steps, flares, grille, mirrors, roll bar
//   object 4 "steerwheel": the steering wheel and column, modelled about the
//       axis through (0, -10, 0) along z so that the frame's steering turn,
//       tilt and offset put it in front of the left seat
#pragma once

#include "tools/assets/MeshBuilder.h"
#include "tools/assets/TruckModel.h"

class BodyMesh {
  public:
    static constexpr int objectCount = 5;
    // Body-shell vertices that carry the body fit, and the particles they
    // belong to (the pairs the body transform is fitted with).
    static constexpr int fitVertices[4] = {1244, 884, 1099, 738};
    static constexpr int fitParticles[4] = {137, 138, 139, 136};

    explicit BodyMesh(const TruckModel& truck);

    const MeshBuilder& object(int index) const { return parts[index]; }
    static const char* objectName(int index);
    // False when the fit vertices could not be placed (too few vertices).
    bool valid() const { return placed; }

  private:
    void buildShell(const TruckModel& truck);
    void buildTrim();
    void buildGlass();
    void buildInterior();
    void buildSteeringWheel();

    MeshBuilder parts[objectCount];
    bool placed = false;
};
