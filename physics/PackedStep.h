// PackedStep: the simulation step on a packed working copy of the world.
// The world's element records stay the state that everyone reads and writes
// between steps; a step copies what its sub-steps change into 16-byte
// aligned arrays, runs the eleven passes there (springs four at a time with
// SSE2, whose square roots and divisions are exact IEEE operations like the
// scalar ones) and copies the results back. Every formula is evaluated in
// the same order as by the element operations, and forces are added to the
// particles in element order, so the results are the same to the bit.
#pragma once

#include "math/Vec3.h"

class AngleJoint;
class GroundContact;
struct GrabSpring;
class Particle;
class QuadraticSpring;
class RightAngleJoint;
class Spring;
struct JointDamage;
struct SpringDamage;
class Wheel;

// The world's arrays and counts as the step sees them (nothing owned).
struct StepElements {
    Vec3* positions = nullptr;
    Particle* particles = nullptr;
    int particleCount = 0;
    Spring* springs = nullptr;
    int springCount = 0;
    QuadraticSpring* quadraticSprings = nullptr;
    int quadraticSpringCount = 0;
    Wheel* wheels = nullptr;
    int wheelCount = 0;
    RightAngleJoint* rightAngleJoints = nullptr;
    int rightAngleJointCount = 0;
    AngleJoint* angleJoints = nullptr;
    int angleJointCount = 0;
    GroundContact* contact = nullptr;
    const GrabSpring* grab = nullptr; // may be null: nothing grabbed
    // Damage records parallel to the springs and the quadratic springs;
    // null when damage is off (then the step is the undamaged one).
    SpringDamage* springDamage = nullptr;
    SpringDamage* quadraticDamage = nullptr;
    // Parallel to the angle joints and the right-angle joints (damage on).
    JointDamage* angleJointDamage = nullptr;
    JointDamage* rightAngleJointDamage = nullptr;
};

class PackedStep {
  public:
    PackedStep() = default;
    ~PackedStep();
    PackedStep(const PackedStep&) = delete;
    PackedStep& operator=(const PackedStep&) = delete;

    // Sizes the working arrays for a loaded world (once per load). False when
    // memory runs out; the step then is not ready.
    bool prepare(const StepElements& world);
    void release();
    // True when the arrays fit the world's counts and rim lists as they are.
    bool fits(const StepElements& world) const;

    // Runs subSteps sub-steps of the world (which fits()).
    void run(const StepElements& world, long long subSteps);

    // The same sub-steps in pieces, for a stepper that runs several worlds
    // in lockstep and adds forces between them in the middle of each
    // sub-step: begin copies the world in, then each sub-step is
    // predictPart (prediction, penetration and grab: the positions are
    // final for the sub-step) followed by finishPart (every force pass, the
    // corrector and the spin), and end copies the results back. run() is
    // exactly begin, the sub-steps and end.
    void begin(const StepElements& world) { copyIn(world); }
    void predictPart(const StepElements& world);
    void finishPart(const StepElements& world);
    void end(const StepElements& world) { copyOut(world); }

    // Position and force of one particle, and its motion, each padded to 16
    // bytes so that a particle's vector is one SSE register.
    struct alignas(16) Point {
        Vec3 position; // m
        float pad0;
        Vec3 force; // N
        float pad1;
    };
    struct alignas(16) Motion {
        Vec3 velocity; // m/s
        float pad0;
        Vec3 acceleration; // m/s²
        float pad1;
        Vec3 previousAcceleration; // m/s²
        float pad2;
    };
    // The ground under a particle after the penetration pass, for friction.
    struct alignas(16) Contact {
        Vec3 normal;
        float height; // m above the plane; 1e6 off the grid
    };
    // One batch of four two-particle springs, one lane each. The ends are
    // byte offsets into the point array (index * sizeof(Point)).
    struct alignas(16) SpringBatch {
        unsigned a[4];
        unsigned b[4];
        float stiffness[4];
        float damping[4];
        float restLength[4];
        float previousLength[4];
    };
    // The damage of the four springs of a batch, lane by lane as their
    // SpringDamage records (lengths in m); broken is 0 or all bits set.
    // The padding lanes past the last spring never act and never flow.
    struct alignas(16) DamageBatch {
        float originalLength[4];
        float yieldLength[4];
        float plasticLength[4];
        float breakLength[4];
        float safeLow[4];
        float safeHigh[4];
        int broken[4];
        int brokenLanes; // the broken lanes as bits
    };
    // The tangent axis x (rim - hubB) of one rim entry, as the first torque
    // pass of a sub-step finds it; the second pass reuses it (positions do
    // not move between the two).
    struct alignas(16) Tangent {
        Vec3 tangent;
        float pad;
    };

    // The working arrays between begin and end.
    Point* pointData() { return points; }
    const Motion* motionData() const { return motions; }
    const float* massData() const { return masses; }
    int particles() const { return particleCount; }

  private:
    void copyIn(const StepElements& world);
    void copyOut(const StepElements& world);
    void subStep(const StepElements& world);
    void predictAndPenetrate(const StepElements& world);
    void applySprings();
    void applyQuadraticSprings();
    // The same with the damage law before each force (damage on).
    void applyDamagedSprings();
    void applyDamagedQuadraticSprings();
    void applyFriction(const StepElements& world);
    void applyJoints(const StepElements& world);
    void applyWheelTorques(const StepElements& world, bool firstPass);
    void findTangents(const Wheel& wheel, Tangent* tangents, float* denominators);
    void correct();

    int particleCount = 0;
    int springBatchCount = 0;
    int quadraticBatchCount = 0;
    int rimTotal = 0;
    Point* points = nullptr;
    Motion* motions = nullptr;
    float* masses = nullptr;        // kg
    float* inverseMasses = nullptr; // 1/kg
    Contact* contacts = nullptr;
    SpringBatch* springBatches = nullptr;
    SpringBatch* quadraticBatches = nullptr; // damping unused
    DamageBatch* springDamageBatches = nullptr;
    DamageBatch* quadraticDamageBatches = nullptr;
    // Rim entries of every wheel, in order: tangents, and rimCount * |tangent|
    // (NaN for a rim particle on the axle line, so that it gets no force).
    Tangent* rimTangents = nullptr;
    float* rimDenominators = nullptr;
    bool ready = false;
};
