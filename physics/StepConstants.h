// Constants of the fixed-step soft-body simulation, all 32-bit floats. The
// rate constants are the float results of the divisions they stand for, so
// that the step reproduces the same roundings on every build.
#pragma once

namespace stepconst {

constexpr float timeStep = 0.0005f;                       // s, one sub-step
constexpr float timeStepSquared = 2.500000277905201e-07f; // s², timeStep * timeStep in float
constexpr float gravity = 9.81f;                          // m/s², towards -y
constexpr float negInverseStep = -1999.9998779296875f;    // 1/s, -1 / timeStep in float
constexpr float negThreeOverStep = -5999.99951171875f;    // 1/s, -3 / timeStep in float
constexpr float contactSkin = 0.05f;                      // m, friction acts below this height
constexpr float frictionCoefficient = 0.9f;               // sliding friction and stick limit
constexpr float stickSpeed = 0.0001f;      // m/s, below this a contact counts as at rest
constexpr float dustSpeed = 5.0f;          // m/s, tangential speed that kicks up dust
constexpr float jointGain = 2000.0f;       // N per unit of cosine error and metre of arm
constexpr float spinScale = 0.15915495f;   // 1/(2 pi): rad/s to rev/s
constexpr float shortSpringLength = 0.05f; // m, shorter springs exert no force
// A sub-step of ordinary contact sinks a particle by millimetres; anything
// deeper than this came from outside the grid or through a steep face and is
// put back on the surface instead of being mirrored by its full depth.
constexpr float deepPenetration = 0.25f; // m

static_assert(timeStep * timeStep == timeStepSquared, "squared step must be the float product");
static_assert(-1.0f / timeStep == negInverseStep, "damping rate must be the float quotient");
static_assert(-3.0f / timeStep == negThreeOverStep, "quadratic damping must be the float quotient");

} // namespace stepconst
