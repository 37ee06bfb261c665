// WheelMesh: the two wheel objects in scene units about the wheel centre,
// the axle along z and the outer face towards -z.
//   object 0 "rim": steel rim with a dished face, hub cap and wheel nuts
//   object 1 "tyre": lugged tyre whose vertices reach exactly the rim
//       particles' radius (x extent / 2) and the distance between the two
//       hub particles (z extent), with a vertex at angle 0 on both faces and
//       its centroid on the centre, which is what the wheel fit relies on.
#pragma once

#include "tools/assets/MeshBuilder.h"

class WheelMesh {
  public:
    static constexpr int objectCount = 2;
    // File units are scene units divided by this (the loader multiplies).
    static constexpr float fileScale = 3.0f;

    WheelMesh();

    const MeshBuilder& object(int index) const { return parts[index]; }
    static const char* objectName(int index);

  private:
    void buildRim();
    void buildTyre();

    MeshBuilder parts[objectCount];
};
