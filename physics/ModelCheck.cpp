// ModelCheck: the findings of the model report, in the order the report
// gives them: counts, stability at the step, idle elements, what the program
// relies on, and the settle test.
#include "physics/ModelCheck.h"

#include "physics/CollisionSurface.h"

#include "physics/BlowUp.h"
#include "physics/DriveController.h"
#include "physics/PackedStep.h"
#include "physics/PhysicsWorld.h"
#include "physics/StepConstants.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <vector>

using namespace stepconst;

namespace {

// Two particles closer than this give no direction for a force, m.
constexpr float degenerateLength = 0.001f;
// Findings of one kind listed one by one before the rest are only counted.
constexpr int listedPerKind = 8;

std::string formatted(const char* format, va_list arguments) {
    char buffer[512];
    std::vsnprintf(buffer, sizeof buffer, format, arguments);
    return buffer;
}

float distance(const Vec3& a, const Vec3& b) {
    const Vec3 d = b - a;
    return std::sqrt(dot(d, d));
}

// Distance of p from the line through a and b (from a when they coincide).
float distanceFromLine(const Vec3& p, const Vec3& a, const Vec3& b) {
    const Vec3 axis = b - a;
    const float axisLength = std::sqrt(dot(axis, axis));
    if (!(axisLength >= degenerateLength)) {
        return distance(a, p);
    }
    const Vec3 t = cross(axis, p - a);
    return std::sqrt(dot(t, t)) / axisLength;
}

// Counts findings of one kind and says how many were not listed.
struct KindCounter {
    int seen = 0;
    bool list() { return ++seen <= listedPerKind; }
    int unlisted() const { return seen > listedPerKind ? seen - listedPerKind : 0; }
};

// The world's elements for a step of its own, without the hand's grab.
StepElements stepElements(PhysicsWorld& world) {
    StepElements elements = world.stepElements();
    elements.grab = nullptr;
    return elements;
}

// The drive test's programme: from `start` s on, the controls move towards
// these values at the keys' rates.
struct DriveStretch {
    float start; // s
    float steering;
    float throttle;
    float brake;
    const char* what;
};
const DriveStretch driveProgramme[] = {
    {0.0f, 0.0f, 1.0f, 0.0f, "full throttle"},
    {4.0f, 0.6f, 1.0f, 0.0f, "full throttle, full lock right"},
    {8.0f, -0.6f, 1.0f, 0.0f, "full throttle, full lock left"},
    {12.0f, 0.0f, 0.0f, 1.0f, "hard braking"},
    {14.0f, 0.6f, -1.0f, 0.0f, "backing up on full lock"},
    {17.5f, 0.0f, 0.0f, 1.0f, "hard braking"},
};
// The keys' rates, per second: steering, and throttle and brake.
constexpr float steeringRate = 1.5f;
constexpr float pedalRate = 2.0f;
// Milliseconds a frame of the drive test simulates, as a frame at 60 Hz.
constexpr int frameMilliseconds = 16;

// `value` moved towards `target` by at most `step`.
float towards(float value, float target, float step) {
    return value < target ? std::fmin(value + step, target) : std::fmax(value - step, target);
}

} // namespace

void ModelCheck::line(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    text += formatted(format, arguments);
    va_end(arguments);
    text += '\n';
}

void ModelCheck::error(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const std::string finding = formatted(format, arguments);
    va_end(arguments);
    text += "  error: " + finding + '\n';
    if (errorCount++ == 0) {
        firstError = finding;
    }
}

void ModelCheck::warning(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const std::string finding = formatted(format, arguments);
    va_end(arguments);
    text += "  warning: " + finding + '\n';
    if (warningCount++ == 0) {
        firstWarning = finding;
    }
}

bool ModelCheck::run(PhysicsWorld& world, const Needs& needs, PhysicsWorld* driveWorld) {
    text.clear();
    firstError.clear();
    firstWarning.clear();
    errorCount = 0;
    warningCount = 0;
    blowUpWhileDriving = false;
    driveDistance = 0.0f;
    counts(world);
    surface(world);
    stability(world);
    idleElements(world);
    reliedOn(world, needs);
    damageLimits(world);
    const int beforeSettle = errorCount;
    settle(world);
    // A body that cannot stand, or lacks what the drive works, is not driven.
    if (driveWorld != nullptr && errorCount == beforeSettle) {
        drive(*driveWorld, needs);
    }
    verdict();
    return usable();
}

void ModelCheck::surface(PhysicsWorld& world) {
    const CollisionSurface& surface = world.collisionSurface();
    if (!surface.authored) {
        line("surface: none given; other bodies meet the hull of the rest shape (%d triangles)",
             surface.triangleCount());
        return;
    }
    line("surface: %d triangles", surface.triangleCount());
    const SurfaceFindings f = inspectSurface(surface, world.positions(), world.particleCount());
    if (f.facesInwards) {
        error("surface: it encloses a negative volume: its triangles are wound clockwise seen "
              "from outside; list each as a c b instead of a b c");
    }
    if (f.degenerate > 0) {
        warning("surface: %d triangles have no area (the first: triangle %d); they push nothing",
                f.degenerate, f.firstDegenerate);
    }
    if (f.insideOut > 0 && !f.facesInwards) {
        warning("surface: %d triangles face towards the middle of the body (the first: triangle "
                "%d); a particle meeting one is pushed in, not out",
                f.insideOut, f.firstInsideOut);
    }
    if (f.uncovered > 0) {
        warning("surface: %d particles on the outside of the body are on no triangle (the "
                "first: particle %d); other bodies pass through there",
                f.uncovered, f.firstUncovered);
    }
}

void ModelCheck::counts(PhysicsWorld& world) {
    const Particle* particles = world.particles();
    const int n = world.particleCount();
    double total = 0.0;
    int lightest = -1;
    int heaviest = -1;
    for (int i = 0; i < n; ++i) {
        total += particles[i].mass;
        if (lightest < 0 || particles[i].mass < particles[lightest].mass) {
            lightest = i;
        }
        if (heaviest < 0 || particles[i].mass > particles[heaviest].mass) {
            heaviest = i;
        }
    }
    line("counts: %d particles, %d springs, %d wheels, %d right-angle joints, %d angle joints, "
         "%d quadratic springs",
         n, world.springCount(), world.wheelCount(), world.rightAngleJointCount(),
         world.angleJointCount(), world.quadraticSpringCount());
    if (n > 0) {
        line("mass: %.3f kg in all; lightest particle %d (%g kg), heaviest particle %d (%g kg)",
             total, lightest, particles[lightest].mass, heaviest, particles[heaviest].mass);
    }
}

void ModelCheck::stability(PhysicsWorld& world) {
    const int n = world.particleCount();
    const Particle* particles = world.particles();
    const Spring* springs = world.springs();
    std::vector<double> stiffness(n, 0.0);
    std::vector<double> damping(n, 0.0);
    std::vector<int> stiffest(n, -1);
    for (int k = 0; k < world.springCount(); ++k) {
        const Spring& s = springs[k];
        if (s.stiffness < 0.0f) {
            warning("spring %d (particles %d and %d) has a negative stiffness, %g N/m: it pushes "
                    "its ends apart",
                    k, s.a, s.b, s.stiffness);
        }
        if (s.damping < 0.0f) {
            warning("spring %d (particles %d and %d) has a negative damping, %g N s/m: it feeds "
                    "its own motion",
                    k, s.a, s.b, s.damping);
        }
        for (const int p : {s.a, s.b}) {
            stiffness[p] += std::fabs(s.stiffness);
            damping[p] += std::fabs(s.damping);
            if (stiffest[p] < 0 ||
                std::fabs(s.stiffness) > std::fabs(springs[stiffest[p]].stiffness)) {
                stiffest[p] = k;
            }
        }
    }
    std::vector<double> figure(n);
    std::vector<int> order(n);
    int dampest = -1;
    double dampestFigure = 0.0;
    for (int i = 0; i < n; ++i) {
        figure[i] = std::sqrt(stiffness[i] * particles[i].inverseMass) * timeStep;
        order[i] = i;
        const double d = damping[i] * particles[i].inverseMass * timeStep;
        if (d > dampestFigure) {
            dampestFigure = d;
            dampest = i;
        }
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](int x, int y) { return figure[x] > figure[y]; });

    line("stability at the 0.5 ms step: sqrt(sum k / m) * dt per particle, over the stiffness k "
         "of its springs and its mass m");
    line("  limit %.2f: the step carries a mass on a spring up to omega * dt = 1.73, and two "
         "masses swing against each other at 1.41 times one mass's rate; above %.2f a spring "
         "stretched or squeezed by more than 20 %% (five times as stiff) can go unstable",
         stabilityLimit, stiffRangeLimit);
    worstParticle = n > 0 ? order[0] : -1;
    worstStability = n > 0 ? static_cast<float>(figure[order[0]]) : 0.0f;
    const int shown = std::min(n, 5);
    for (int r = 0; r < shown; ++r) {
        const int i = order[r];
        if (stiffest[i] < 0) {
            line("  particle %d: 0 (no springs)", i);
            continue;
        }
        const Spring& s = springs[stiffest[i]];
        line("  particle %d: %.3f (%g kg; its stiffest spring %d, to particle %d, %g N/m, "
             "%.0f %% of its stiffness)",
             i, figure[i], particles[i].mass, stiffest[i], s.a == i ? s.b : s.a, s.stiffness,
             100.0 * std::fabs(s.stiffness) / stiffness[i]);
    }
    if (n > 0 && !(figure[order[0]] <= stabilityLimit)) {
        const int i = order[0];
        int unstable = 0;
        while (unstable < n && !(figure[order[unstable]] <= stabilityLimit)) {
            ++unstable;
        }
        error("unstable at the 0.5 ms step: particle %d has sqrt(sum k / m) * dt = %.3g, above the "
              "limit %.2f (%d particles above it); its stiffest spring is spring %d: lower its "
              "stiffness or make the particle heavier",
              i, figure[i], stabilityLimit, unstable, stiffest[i]);
    } else if (n > 0 && figure[order[0]] > stiffRangeLimit) {
        warning("particle %d has sqrt(sum k / m) * dt = %.3f, above %.2f: hard knocks that squeeze "
                "its springs by more than 20 %% can make it unstable",
                order[0], figure[order[0]], stiffRangeLimit);
    } else if (n > 0) {
        line("  ok: every particle is below %.2f", stiffRangeLimit);
    }
    if (dampest >= 0) {
        line("damping: the highest sum c * dt / m is %.3f (particle %d); limit %.1f", dampestFigure,
             dampest, dampingLimit);
        if (dampestFigure > dampingLimit) {
            warning("particle %d has sum c * dt / m = %.3g, above %.1f: its springs' damping "
                    "overshoots and can shake it apart",
                    dampest, dampestFigure, dampingLimit);
        }
    }
}

void ModelCheck::idleElements(PhysicsWorld& world) {
    const int n = world.particleCount();
    const Vec3* positions = world.positions();
    std::vector<bool> touched(n, false);
    line("elements that never act or cannot work:");
    const int before = warningCount;

    KindCounter self;
    KindCounter shortOnes;
    const Spring* springs = world.springs();
    for (int k = 0; k < world.springCount(); ++k) {
        const Spring& s = springs[k];
        touched[s.a] = true;
        touched[s.b] = true;
        if (s.a == s.b) {
            if (self.list()) {
                warning("spring %d joins particle %d to itself: it never acts", k, s.a);
            }
        } else if (s.restLength < shortSpringLength && shortOnes.list()) {
            warning("spring %d (particles %d and %d) is %.4f m long, shorter than 0.05 m: it "
                    "acts only once stretched past 0.05 m",
                    k, s.a, s.b, s.restLength);
        }
    }
    const QuadraticSpring* quadratic = world.quadraticSprings();
    for (int k = 0; k < world.quadraticSpringCount(); ++k) {
        const QuadraticSpring& s = quadratic[k];
        touched[s.a] = true;
        touched[s.b] = true;
        if (s.a == s.b) {
            if (self.list()) {
                warning("quadratic spring %d joins particle %d to itself: it never acts", k, s.a);
            }
        } else if (s.restLength < shortSpringLength && shortOnes.list()) {
            warning("quadratic spring %d (particles %d and %d) is %.4f m long, shorter than "
                    "0.05 m: it acts only once stretched past 0.05 m",
                    k, s.a, s.b, s.restLength);
        }
    }

    KindCounter onAxle;
    const Wheel* wheels = world.wheels();
    for (int w = 0; w < world.wheelCount(); ++w) {
        const Wheel& wheel = wheels[w];
        touched[wheel.hubA] = true;
        touched[wheel.hubB] = true;
        const bool noAxle =
            !(distance(positions[wheel.hubA], positions[wheel.hubB]) >= degenerateLength);
        if (noAxle) {
            warning("wheel %d: its hubs (particles %d and %d) coincide: it has no axle to turn "
                    "about",
                    w, wheel.hubA, wheel.hubB);
        }
        for (int r = 0; r < wheel.rimCount; ++r) {
            const int p = wheel.rim[r];
            touched[p] = true;
            if (!noAxle &&
                !(distanceFromLine(positions[p], positions[wheel.hubA], positions[wheel.hubB]) >=
                  degenerateLength) &&
                onAxle.list()) {
                warning("wheel %d: rim particle %d lies on the axle through particles %d and %d: "
                        "the wheel cannot turn it",
                        w, p, wheel.hubA, wheel.hubB);
            }
        }
    }

    KindCounter zeroArm;
    const auto joint = [&](const char* kind, int k, int a, int b, int c) {
        touched[a] = true;
        touched[b] = true;
        touched[c] = true;
        if (!(distance(positions[a], positions[b]) >= degenerateLength) ||
            !(distance(positions[c], positions[b]) >= degenerateLength)) {
            if (zeroArm.list()) {
                warning("%s %d (particles %d, %d, %d; corner %d) has a zero-length arm: it has no "
                        "angle and exerts no force",
                        kind, k, a, b, c, b);
            }
        }
    };
    const RightAngleJoint* rightAngles = world.rightAngleJoints();
    for (int k = 0; k < world.rightAngleJointCount(); ++k) {
        joint("right-angle joint", k, rightAngles[k].a, rightAngles[k].b, rightAngles[k].c);
    }
    const AngleJoint* angles = world.angleJoints();
    for (int k = 0; k < world.angleJointCount(); ++k) {
        joint("angle joint", k, angles[k].a, angles[k].b, angles[k].c);
    }

    KindCounter loose;
    for (int i = 0; i < n; ++i) {
        if (!touched[i] && loose.list()) {
            warning("particle %d is joined to nothing: no element touches it", i);
        }
    }
    for (const KindCounter* kind : {&self, &shortOnes, &onAxle, &zeroArm, &loose}) {
        if (kind->unlisted() > 0) {
            line("  ... and %d more of the kind above", kind->unlisted());
        }
    }
    if (warningCount == before) {
        line("  none");
    }
}

void ModelCheck::reliedOn(PhysicsWorld& world, const Needs& needs) {
    line("what the program relies on:");
    const int before = errorCount;
    const int n = world.particleCount();
    const Vec3* positions = world.positions();
    if (n < needs.particles) {
        error("the program needs at least %d particles; the model has %d", needs.particles, n);
    }
    if (world.wheelCount() < needs.wheels) {
        error("the program drives %d wheels; the model has %d", needs.wheels, world.wheelCount());
    }
    if (world.angleJointCount() < needs.angleJoints) {
        error("the program steers with %d angle joints; the model has %d", needs.angleJoints,
              world.angleJointCount());
    }
    for (int k = 0; k < needs.namedCount; ++k) {
        const NamedParticle& named = needs.named[k];
        if (named.index >= n) {
            error("particle %d (%s) is missing", named.index, named.role);
        }
    }
    const Wheel* wheels = world.wheels();
    for (int w = 0; w < std::min(needs.wheels, world.wheelCount()); ++w) {
        const Wheel& wheel = wheels[w];
        const Vec3& a = positions[wheel.hubA];
        const Vec3& b = positions[wheel.hubB];
        // The spin that the drive reads comes from the first rim particle.
        if (!(distance(a, b) >= degenerateLength) ||
            !(distanceFromLine(positions[wheel.rim[0]], a, b) >= degenerateLength)) {
            error("wheel %d is driven, but its first rim particle %d is on its axle or it has no "
                  "axle: its spin cannot be measured",
                  w, wheel.rim[0]);
        }
    }
    const AngleJoint* angles = world.angleJoints();
    for (int k = 0; k < std::min(needs.angleJoints, world.angleJointCount()); ++k) {
        const AngleJoint& j = angles[k];
        if (!(distance(positions[j.a], positions[j.b]) >= degenerateLength) ||
            !(distance(positions[j.c], positions[j.b]) >= degenerateLength)) {
            error("angle joint %d steers, but it has a zero-length arm", k);
        }
    }
    if (errorCount == before) {
        if (needs.particles > 0) {
            line("  ok: %d particles (at least %d)", n, needs.particles);
        }
        if (needs.wheels > 0) {
            line("  ok: %d wheels (wheels 0 to %d driven, each with an axle and its first rim "
                 "particle off it)",
                 world.wheelCount(), needs.wheels - 1);
        }
        if (needs.angleJoints > 0) {
            line("  ok: %d angle joints (0 to %d steer, with arms of some length)",
                 world.angleJointCount(), needs.angleJoints - 1);
        }
        if (needs.particles + needs.wheels + needs.angleJoints + needs.namedCount == 0) {
            line("  nothing asked for");
        }
        // One line per role, with its particles in the order given.
        for (int k = 0; k < needs.namedCount;) {
            std::string numbers;
            const std::string role = needs.named[k].role;
            for (; k < needs.namedCount && role == needs.named[k].role; ++k) {
                numbers += (numbers.empty() ? "" : ", ") + std::to_string(needs.named[k].index);
            }
            line("  ok: particles %s (%s)", numbers.c_str(), role.c_str());
        }
    }
}

void ModelCheck::springsAt(PhysicsWorld& world, int particle) {
    const Spring* springs = world.springs();
    const Vec3* positions = world.positions();
    std::vector<int> attached;
    for (int k = 0; k < world.springCount(); ++k) {
        if (springs[k].a == particle || springs[k].b == particle) {
            attached.push_back(k);
        }
    }
    std::stable_sort(attached.begin(), attached.end(), [&](int x, int y) {
        return std::fabs(springs[x].stiffness) > std::fabs(springs[y].stiffness);
    });
    line("  springs attached to particle %d, stiffest first: %zu", particle, attached.size());
    const size_t shown = std::min<size_t>(attached.size(), listedPerKind);
    for (size_t r = 0; r < shown; ++r) {
        const Spring& s = springs[attached[r]];
        line("    spring %d, to particle %d: %g N/m, %g N s/m, rest %.4f m, now %.4g m",
             attached[r], s.a == particle ? s.b : s.a, s.stiffness, s.damping, s.restLength,
             distance(positions[s.a], positions[s.b]));
    }
    if (attached.size() > shown) {
        line("    ... and %zu more", attached.size() - shown);
    }
}

void ModelCheck::damageLimits(PhysicsWorld& world) {
    weakestSpring = -1;
    if (!world.hasDamageLimits()) {
        line("damage limits: none (with --damage the body never yields or breaks)");
        return;
    }
    const int springCount = world.springCount();
    const int quadraticCount = world.quadraticSpringCount();
    const SpringDamage* springDamage = world.springDamage();
    const SpringDamage* quadraticDamage = world.quadraticDamage();
    int limited = 0;
    int limitedQuadratic = 0;
    for (int k = 0; k < springCount; ++k) {
        limited += std::isfinite(springDamage[k].limits.yieldStrain) ||
                   std::isfinite(springDamage[k].limits.breakStrain);
    }
    for (int k = 0; k < quadraticCount; ++k) {
        limitedQuadratic += std::isfinite(quadraticDamage[k].limits.yieldStrain) ||
                            std::isfinite(quadraticDamage[k].limits.breakStrain);
    }
    line("damage limits: %d of %d springs and %d of %d quadratic springs (strains of the length "
         "at load)",
         limited, springCount, limitedQuadratic, quadraticCount);
    // The five lowest yield strains, lowest first (ties by number).
    std::vector<int> order;
    for (int k = 0; k < springCount; ++k) {
        if (std::isfinite(springDamage[k].limits.yieldStrain)) {
            order.push_back(k);
        }
    }
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return springDamage[a].limits.yieldStrain < springDamage[b].limits.yieldStrain;
    });
    if (!order.empty()) {
        weakestSpring = order[0];
        line("  weakest springs (first to yield):");
    }
    for (size_t r = 0; r < order.size() && r < 5; ++r) {
        const int k = order[r];
        const DamageLimits& l = springDamage[k].limits;
        line("    spring %d (particles %d and %d, %.3f m): yield %.4g, plastic %.4g, break %.4g", k,
             world.springs()[k].a, world.springs()[k].b, springDamage[k].originalLength,
             l.yieldStrain, l.plasticStrain, l.breakStrain);
    }
    // A break strain below the yield strain breaks the spring before it
    // can bend: allowed (a brittle part), but more often a slip.
    int brittle = 0;
    for (int kind = 0; kind < 2; ++kind) {
        const SpringDamage* records = kind == 0 ? springDamage : quadraticDamage;
        const int count = kind == 0 ? springCount : quadraticCount;
        for (int k = 0; k < count; ++k) {
            const DamageLimits& l = records[k].limits;
            if (l.breakStrain < l.yieldStrain) {
                if (brittle < 5) {
                    warning("%s %d breaks before it yields: break strain %.4g below its yield "
                            "strain %.4g",
                            kind == 0 ? "spring" : "quadratic spring", k, l.breakStrain,
                            l.yieldStrain);
                }
                ++brittle;
            }
        }
    }
    if (brittle > 5) {
        line("  ... %d elements in all break before they yield", brittle);
    }
}

void ModelCheck::settle(PhysicsWorld& world) {
    line("settle test: %.0f s at rest on flat ground (the plane y = 0, the height of the strip "
         "the truck starts on)",
         settleSeconds);
    // The plane y = 0 over the whole grid, whatever the terrain was.
    Terrain& ground = world.terrain();
    const std::vector<float> flat(static_cast<size_t>(ground.samplesX) * ground.samplesZ, 0.0f);
    ground.build(flat.data(), ground.samplesX, ground.samplesZ, ground.spacing, ground.origin.x,
                 ground.origin.z);
    world.setDustSystem(nullptr);

    // Sub-step by sub-step, through the same packed step as the world's own.
    StepElements elements = stepElements(world);
    // With damage limits the body settles with damage on: a truck must not
    // sag for good under its own weight.
    if (world.hasDamageLimits()) {
        elements.springDamage = world.springDamage();
        elements.quadraticDamage = world.quadraticDamage();
        elements.angleJointDamage = world.angleJointDamage();
        elements.rightAngleJointDamage = world.rightAngleJointDamage();
    }
    settleYielded = 0;
    settleBroken = 0;
    PackedStep step;
    if (!step.prepare(elements)) {
        error("out of memory for the settle test");
        return;
    }

    const int n = world.particleCount();
    const Vec3* positions = world.positions();
    const Particle* particles = world.particles();
    const Spring* springs = world.springs();
    const int subSteps = static_cast<int>(settleSeconds / timeStep + 0.5f);
    float fastestTime = 0.0f;
    float stretchTime = 0.0f;
    fastestSpeed = 0.0f;
    fastestParticle = -1;
    largestStretch = 0.0f;
    mostStretchedSpring = -1;
    blowUpSubStep = 0;
    blowUpParticle = -1;
    float endSpeed = 0.0f;
    int endParticle = -1;
    for (int s = 1; s <= subSteps; ++s) {
        step.run(elements, 1);
        const float now = static_cast<float>(s) * timeStep;
        const int bad = blownUpParticle(positions, particles, n);
        if (bad >= 0) {
            blewUp(world, "", s, bad);
            return;
        }
        for (int i = 0; i < n; ++i) {
            const Vec3& v = particles[i].velocity;
            const float speed = std::sqrt(dot(v, v));
            if (speed > fastestSpeed) {
                fastestSpeed = speed;
                fastestParticle = i;
                fastestTime = now;
            }
            if (s == subSteps && speed >= endSpeed) {
                endSpeed = speed;
                endParticle = i;
            }
        }
        for (int k = 0; k < world.springCount(); ++k) {
            const Spring& spring = springs[k];
            if (spring.restLength < shortSpringLength) {
                continue;
            }
            const float stretch =
                distance(positions[spring.a], positions[spring.b]) / spring.restLength;
            if (stretch > largestStretch) {
                largestStretch = stretch;
                mostStretchedSpring = k;
                stretchTime = now;
            }
        }
    }
    if (fastestParticle >= 0) {
        line("  fastest particle: %d at %.3f m/s (%.3f s)", fastestParticle, fastestSpeed,
             fastestTime);
    }
    if (mostStretchedSpring >= 0) {
        const Spring& spring = springs[mostStretchedSpring];
        line("  most-stretched spring: %d (particles %d and %d) at %.3f times its rest length "
             "(%.3f s)",
             mostStretchedSpring, spring.a, spring.b, largestStretch, stretchTime);
    }
    if (endParticle >= 0) {
        // Contacts buzz by fractions of a m/s; the body as a whole should
        // have stopped.
        Vec3 momentum;
        double mass = 0.0;
        for (int i = 0; i < n; ++i) {
            momentum = momentum + particles[i].velocity * particles[i].mass;
            mass += particles[i].mass;
        }
        const Vec3 centre = momentum * static_cast<float>(1.0 / mass);
        const float centreSpeed = std::sqrt(dot(centre, centre));
        line("  after %.0f s: the centre of mass moves at %.3f m/s, the fastest particle (%d) at "
             "%.3f m/s",
             settleSeconds, centreSpeed, endParticle, endSpeed);
        if (centreSpeed > restSpeed) {
            warning("the body has not come to rest after %.0f s: its centre of mass still moves "
                    "at %.2f m/s",
                    settleSeconds, centreSpeed);
        }
    }
    line("  no blow-up: every value finite, no particle faster than 100 m/s");
    if (world.hasDamageLimits()) {
        settleYielded = world.yieldedCount();
        settleBroken = world.brokenCount();
        if (settleYielded == 0 && settleBroken == 0) {
            line("  with damage on nothing yielded or broke");
        } else {
            warning("with damage on the body bends for good under its own weight: %d springs "
                    "yielded and %d broke in the settle test",
                    settleYielded, settleBroken);
        }
    }
}

void ModelCheck::blewUp(PhysicsWorld& world, const char* during, int subStep, int particle) {
    blowUpSubStep = subStep;
    blowUpParticle = particle;
    const Vec3& p = world.positions()[particle];
    const Vec3& v = world.particles()[particle].velocity;
    const float speed = std::sqrt(dot(v, v));
    char what[96];
    if (std::isfinite(speed) && std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) {
        std::snprintf(what, sizeof what, "moves at %.4g m/s, faster than %.0f m/s", speed,
                      blowUpSpeed);
    } else {
        std::snprintf(what, sizeof what, "has a position or velocity that is not a finite number");
    }
    const float now = static_cast<float>(subStep) * timeStep;
    if (during[0] == '\0') {
        error("unstable%s: the body blew up in sub-step %d (%.1f ms): particle %d %s", during,
              subStep, now * 1000.0f, particle, what);
    } else {
        error("unstable%s: the body blew up in sub-step %d (%.2f s): particle %d %s", during,
              subStep, now, particle, what);
    }
    springsAt(world, particle);
}

void ModelCheck::drive(PhysicsWorld& world, const Needs& needs) {
    line("drive test: %.0f s on the ground the program starts on: full throttle, then full lock "
         "right and left, hard braking, backing up on full lock, hard braking",
         driveSeconds);
    // The drive works four wheels and steers with two joints, as the
    // program does.
    if (needs.wheels < 4 || needs.angleJoints < 2 || world.wheelCount() < 4 ||
        world.angleJointCount() < 2) {
        line("  not driven: the model has no four driven wheels and two steering joints");
        return;
    }
    world.setDustSystem(nullptr);
    StepElements elements = stepElements(world);
    PackedStep step;
    if (!step.prepare(elements)) {
        error("out of memory for the drive test");
        return;
    }
    DriveController controller;
    controller.bindWheels(world.wheels());
    const int n = world.particleCount();
    const Vec3* positions = world.positions();
    const Particle* particles = world.particles();
    Vec3 startMean;
    for (int i = 0; i < n; ++i) {
        startMean = startMean + positions[i];
    }
    float steering = 0.0f;
    float throttle = 0.0f;
    float brake = 0.0f;
    const float dt = static_cast<float>(frameMilliseconds) * 0.001f;
    const int frames = static_cast<int>(driveSeconds / dt + 0.5f);
    const int stretches = static_cast<int>(sizeof driveProgramme / sizeof driveProgramme[0]);
    int subStep = 0;
    for (int frame = 0; frame < frames; ++frame) {
        const float now = static_cast<float>(frame) * dt;
        int stretch = 0;
        while (stretch + 1 < stretches && driveProgramme[stretch + 1].start <= now) {
            ++stretch;
        }
        const DriveStretch& want = driveProgramme[stretch];
        steering = towards(steering, want.steering, steeringRate * dt);
        throttle = towards(throttle, want.throttle, pedalRate * dt);
        brake = towards(brake, want.brake, pedalRate * dt);
        AngleJoint* joints = world.angleJoints();
        joints[0].setTarget(steering);
        joints[1].setTarget(-steering);
        controller.update(throttle);
        Wheel* wheels = world.wheels();
        for (int w = 0; w < world.wheelCount(); ++w) {
            wheels[w].setBrake(brake);
        }
        for (int k = 0; k < 2 * frameMilliseconds; ++k) {
            step.run(elements, 1);
            ++subStep;
            const int bad = blownUpParticle(positions, particles, n);
            if (bad >= 0) {
                blowUpWhileDriving = true;
                char during[96];
                std::snprintf(during, sizeof during, " while driving (%s)", want.what);
                blewUp(world, during, subStep, bad);
                return;
            }
        }
    }
    Vec3 endMean;
    for (int i = 0; i < n; ++i) {
        endMean = endMean + positions[i];
    }
    const Vec3 moved = (endMean - startMean) * (1.0f / static_cast<float>(n));
    driveDistance = std::sqrt(moved.x * moved.x + moved.z * moved.z);
    line("  no blow-up: every value finite, no particle faster than 100 m/s; the body ends "
         "%.1f m from where it started",
         driveDistance);
}

void ModelCheck::verdict() {
    if (errorCount > 0) {
        line("not usable: %s", firstError.c_str());
    } else if (warningCount > 0) {
        line("usable, with %d warning%s; the first: %s", warningCount, warningCount == 1 ? "" : "s",
             firstWarning.c_str());
    } else {
        line("usable");
    }
}
