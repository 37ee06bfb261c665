// TextureGenerator: the three material textures, all tileable (the ground
// and the tyres repeat them) and made from seeded noise only.
//   ground: sand with pebbles and ripples, contrasted enough that motion
//       over it shows (isampler48.bmp, also on the tyres and the dust)
//   paint: painted sheet metal with seams and rivets (gray_structure.bmp)
//   leather: grained leather with a stitched seam (leather.bmp)
#pragma once

#include "tools/assets/BmpWriter.h"

class TextureGenerator {
  public:
    static constexpr int groundSize = 128;
    static constexpr int paintSize = 256;
    static constexpr int leatherSize = 128;

    static BmpWriter ground();
    static BmpWriter paint();
    static BmpWriter leather();
};
