// Fitting of the rigid transform (rotation plus translation, no scale) that
// carries a few model-space points onto their counterparts among the
// simulated particles, so that rigid meshes follow the soft body.
#pragma once

#include "math/Mat4.h"
#include "math/Vec3.h"

// Largest number of point pairs one fit takes.
const int kMaxFitPairs = 16;

// Sets out to the rigid transform p -> R * (p - sources[0]) + targets[0] whose
// rotation R best aligns the differences sources[k] - sources[0] with
// targets[k] - targets[0] in the least-squares sense. The first pair is the
// anchor and maps exactly. Note the order: targets before sources. A count
// outside 1..kMaxFitPairs sets out to the identity without reading either
// array.
void fitRigidTransform(Mat4& out, const Vec3* targets, const Vec3* sources, int count);
