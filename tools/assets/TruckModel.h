// TruckModel: the soft-body truck written to Modell.txt, designed in code from
// named dimensions, masses and stiffnesses. Four wheels of two hubs and two
// staggered rings of rim particles each, on a braced chassis box of twenty
// nodes; the front wheels pivot about kingpin lines through their inner hubs
// and are steered by two angle joints.
//
// Particle numbering that the rest of the program relies on:
//   0-33, 34-67, 68-101, 102-135  wheel groups 0 (front left), 1 (front
//       right), 2 (rear left), 3 (rear right). In each group: the hub on the
//       outer face (wheels 0, 1) or inner face (wheels 2, 3), then the other
//       hub, then 16 rim particles on the first hub's face, then 16 on the
//       second's, staggered by half a step.
//   136-139  chassis nodes the body mesh is fitted to, beside the hubs of
//       wheels 3, 1, 2 and 0 respectively.
//   140-155  the other chassis nodes.
//   156, 157  the steering arms of wheels 0 and 1, joined by the tie rod.
// Angle joints 0 and 1 steer wheels 0 and 1; a positive target on joint 0
// (and its negation on joint 1) turns the truck to the right.
#pragma once

#include "math/Vec3.h"

#include <string>
#include <vector>

class TruckModel {
  public:
    struct ParticleRecord {
        Vec3 position; // m, world coordinates at rest
        float mass;    // kg
    };
    // What a spring belongs to, which decides how it takes damage.
    enum class Part { tyre, axle, frame, body, bumper };
    struct SpringRecord {
        int a, b;
        float stiffness; // N/m
        float damping;   // N s/m
        Part part;
    };
    // Damage limits of a part, as strains of a spring's length at load.
    struct PartLimits {
        float yieldStrain;
        float plasticStrain;
        float breakStrain;
    };
    static PartLimits limitsOf(Part part);
    struct WheelRecord {
        int hubA, hubB; // hubA has the smaller x, so a positive drive rolls towards -z
        std::vector<int> rim;
    };
    struct JointRecord {
        int a, b, c; // b is the corner
    };
    struct QuadraticSpringRecord {
        int a, b;
        float stiffness; // N/m^2
    };

    // Dimensions, in metres. The truck is laid out in a frame whose y is the
    // height above the flat ground and whose z is measured from startZ.
    static constexpr float wheelRadius = 0.6f; // hub axis to rim particles
    static constexpr float wheelWidth = 0.3f;  // between the two hubs of a wheel
    static constexpr float innerHubX = 1.0f;   // |x| of the inner hubs and the chassis sides
    static constexpr float frontAxleZ = -1.1f;
    static constexpr float rearAxleZ = 1.525f;
    static constexpr float hubHeight = 0.63f;     // rim particles start 3 cm above the ground
    static constexpr float chassisLowY = 0.4625f; // lower level of the chassis box
    static constexpr float chassisHighY = 1.15f;  // upper level of the chassis box
    static constexpr int rimPerRing = 16;
    static constexpr int particlesPerWheel = 2 + 2 * rimPerRing;
    static constexpr int stationCount = 5;
    static constexpr int bodyFitFirst = 136; // first of the four body-fit particles

    // Where the truck starts: the body's origin in the world, the point that
    // body coordinates (x60) are measured from. On the flat strip 6.4 m in
    // front of the fixed camera F1, which sees it from behind; facing -z, it
    // drives away from that camera with 62 m of flat ground ahead.
    static Vec3 startPosition() { return Vec3(0.0f, 1.15f, -1.4f); }

    // Builds the whole model. Deterministic.
    TruckModel();

    const std::vector<ParticleRecord>& particles() const { return particleList; }
    const std::vector<SpringRecord>& springs() const { return springList; }
    const std::vector<WheelRecord>& wheels() const { return wheelList; }
    const std::vector<JointRecord>& rightAngleJoints() const { return rightAngleList; }
    const std::vector<JointRecord>& angleJoints() const { return angleList; }
    const std::vector<QuadraticSpringRecord>& quadraticSprings() const { return quadraticList; }

    // The collision surface: triangles over the chassis box that carries the
    // body, cab and bed, and over each wheel (tread and both faces), each
    // counter-clockwise seen from outside.
    const std::vector<JointRecord>& surface() const { return surfaceList; }

    // The model file's text: six sections, each a count and its records,
    // then the damage section with every spring's limits by its part and the
    // collision surface.
    std::string toText() const;

    float totalMass() const;
    // Largest sqrt(sum of spring stiffnesses / mass) * 0.5 ms over all
    // particles: well below 1 keeps the explicit sub-step stable.
    float worstStiffnessRatio() const;
    // Largest sum of spring dampings * 0.5 ms / mass over all particles.
    float worstDampingRatio() const;
    // False with a reason when an index, mass or count breaks the model file's
    // rules (indices in range, masses above zero, wheels with rim particles).
    bool validate(std::string& reason) const;

  private:
    int addParticle(const Vec3& position, float mass);
    void addSpring(int a, int b, float stiffness, float damping, Part part);
    void buildWheel(int wheel);
    void buildChassis();
    void buildSteeringArms();
    void mountWheels();
    void buildSurface();
    // Adds a triangle turned so that its normal points away from `inside`.
    void addSurfaceTriangle(int a, int b, int c, const Vec3& inside);

    // Particle index of chassis node (station, side 0 = left / 1 = right,
    // level 0 = low / 1 = high).
    int chassisNode[stationCount][2][2];
    // Hub particle indices per wheel: [0] inner, [1] outer.
    int hubs[4][2];
    // Particle index of the steering arm of front wheels 0 and 1.
    int steeringArm[2];

    std::vector<ParticleRecord> particleList;
    std::vector<SpringRecord> springList;
    std::vector<WheelRecord> wheelList;
    std::vector<JointRecord> rightAngleList;
    std::vector<JointRecord> angleList;
    std::vector<QuadraticSpringRecord> quadraticList;
    std::vector<JointRecord> surfaceList;
};
