// ModelCheck: a report for the author of a soft-body model. It reads a
// loaded world and says whether the fixed 0.5 ms step can carry it (each
// particle's spring stiffness against its mass), which elements can never
// act, whether what a program relies on is there, how the body behaves
// when it is left to settle for 3 s on flat ground, and whether it holds
// together when driven hard for 20 s: if it blows up, the first sub-step,
// the particle and the springs attached to it. With damage limits it also
// names the weakest springs and limits that contradict each other, and the
// settle test runs with damage on: nothing may yield.
#pragma once

#include <string>

class PhysicsWorld;

class ModelCheck {
  public:
    // A particle that a program reads by number, and what for.
    struct NamedParticle {
        int index;
        const char* role;
    };
    // What a program relies on in a model; zeros ask for nothing.
    struct Needs {
        int particles = 0;   // at least this many particles
        int wheels = 0;      // wheels 0 .. wheels-1 are driven: each needs an axle and a rim
        int angleJoints = 0; // angle joints 0 .. angleJoints-1 steer: each needs two arms
        const NamedParticle* named = nullptr;
        int namedCount = 0;
    };

    // The highest sqrt(sum k / m) * dt a particle may have. The integrator
    // runs a lone mass on a spring stably up to omega * dt = sqrt(3) (1.73);
    // two equal masses on one spring swing at sqrt(2) times a single mass's
    // rate, and a particle's stiffest mode is at most that, so
    // sqrt(3) / sqrt(2) = 1.22 is where the step can no longer carry it.
    static constexpr float stabilityLimit = 1.22f;
    // Beyond 20 % stretch or compression a spring is five times as stiff, so
    // above sqrt(3 / 10) = 0.55 a hard knock can go unstable.
    static constexpr float stiffRangeLimit = 0.55f;
    // sum c * dt / m above which a particle's damping alone overshoots: the
    // damping force is the length change of the last sub-step over dt, which
    // the step carries stably up to 1.5 for a lone mass.
    static constexpr float dampingLimit = 1.5f;
    // Settle test: seconds on flat ground, and the speed of the centre of
    // mass (m/s) that counts as still moving at its end.
    static constexpr float settleSeconds = 3.0f;
    static constexpr float restSpeed = 0.25f;

    // Drive test: seconds of driving on the world's own ground, and the
    // stretches of its programme: full throttle, full lock right, full lock
    // left, hard braking, back up on full lock, hard braking.
    static constexpr float driveSeconds = 20.0f;

    // Checks a freshly loaded world. The settle test flattens the world's
    // ground to y = 0, takes its dust away and steps it 3 s: use a world
    // loaded for the check. When driveWorld is given (the same model freshly
    // loaded on the ground it is to drive on) and the model has the wheels
    // and steering joints `needs` asks for, the drive test then drives it
    // for 20 s and names the first blow-up as the settle test does. True
    // when the model is usable.
    bool run(PhysicsWorld& world, const Needs& needs, PhysicsWorld* driveWorld = nullptr);

    // The whole report, one finding per line, each ending in '\n'. Its last
    // line is the verdict: "not usable: " and the first error, or "usable",
    // with the first warning when there is one.
    const std::string& report() const { return text; }
    bool usable() const { return errorCount == 0; }
    int errors() const { return errorCount; }
    int warnings() const { return warningCount; }

    // Figures behind the report.
    int worstParticle = -1;          // highest sqrt(sum k / m) * dt
    float worstStability = 0.0f;     // its value
    int blowUpSubStep = 0;           // first sub-step (from 1) of a blow-up; 0: none
    bool blowUpWhileDriving = false; // the blow-up came in the drive test
    float driveDistance = 0.0f;      // m the body's mean moved over the ground, x and z
    int blowUpParticle = -1;         // the particle that blew up first
    float fastestSpeed = 0.0f;       // m/s, over the settle test
    int fastestParticle = -1;        //
    float largestStretch = 0.0f;     // length / rest length, over the settle test
    int mostStretchedSpring = -1;    //
    int weakestSpring = -1;          // lowest yield strain of the damage limits; -1: none
    int settleYielded = 0;           // springs yielded in the settle test (damage limits given)
    int settleBroken = 0;            // springs broken in it

  private:
    void line(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void error(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void warning(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void counts(PhysicsWorld& world);
    void surface(PhysicsWorld& world);
    void stability(PhysicsWorld& world);
    void idleElements(PhysicsWorld& world);
    void reliedOn(PhysicsWorld& world, const Needs& needs);
    void damageLimits(PhysicsWorld& world);
    void settle(PhysicsWorld& world);
    void drive(PhysicsWorld& world, const Needs& needs);
    // The blow-up of `particle` in sub-step `subStep`, with its springs.
    void blewUp(PhysicsWorld& world, const char* during, int subStep, int particle);
    void springsAt(PhysicsWorld& world, int particle);
    void verdict();

    std::string text;
    std::string firstError;
    std::string firstWarning;
    int errorCount = 0;
    int warningCount = 0;
};
