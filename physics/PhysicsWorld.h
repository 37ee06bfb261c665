// PhysicsWorld: the whole soft-body state of the truck (particles and the
// five kinds of elements between them) with the ground it drives on. It fills
// itself from a model file and advances in fixed 0.5 ms sub-steps.
#pragma once

#include "math/Vec3.h"
#include "physics/AngleJoint.h"
#include "physics/CollisionSurface.h"
#include "physics/GrabSpring.h"
#include "physics/GroundContact.h"
#include "physics/PackedStep.h"
#include "physics/Particle.h"
#include "physics/QuadraticSpring.h"
#include "physics/RightAngleJoint.h"
#include "physics/Spring.h"
#include "physics/SpringDamage.h"
#include "physics/Terrain.h"
#include "physics/Wheel.h"

#include <cstddef>

class DustSystem;
class ModelTokenReader;

class PhysicsWorld {
  public:
    // Builds the default terrain; the world starts empty.
    PhysicsWorld();
    // Drives on `ground` (shared, not copied; it must outlive the world), or
    // on the default terrain when ground is null.
    explicit PhysicsWorld(const Terrain* ground);
    ~PhysicsWorld();
    PhysicsWorld(const PhysicsWorld&) = delete;
    PhysicsWorld& operator=(const PhysicsWorld&) = delete;

    // Reads a model file: six sections (particles, springs, wheels,
    // right-angle joints, angle joints, quadratic springs), each a count and
    // its records, then optional named sections, each a keyword, a count and
    // its records, in any order and each at most once: `damage` (strain
    // limits) and `surface` (COUNT triangles `a b c`). A model without a
    // surface section gets the convex hull of its rest shape. False when the
    // file cannot be opened or read or its content is invalid; the world is
    // then empty and failureReason says why.
    bool loadModel(const char* fileName);
    // The same from text in memory; name is used in messages only.
    bool loadModelFromText(const char* text, size_t length, const char* name);
    // One line: what was wrong and where; empty after a successful load.
    const char* failureReason() const { return failureText; }

    // Runs two 0.5 ms sub-steps per millisecond and returns the milliseconds
    // simulated (milliseconds itself when it is not positive).
    float step(int milliseconds);
    // The same sub-steps element by element through the records' own
    // operations: the reference that the packed step is checked against, and
    // the path of a world whose packed copy could not be allocated.
    float stepElementByElement(int milliseconds);

    Vec3* positions() { return positionArray; }
    const Vec3* positions() const { return positionArray; }
    int particleCount() const { return particleTotal; }
    Particle* particles() { return particleArray; }
    Spring* springs() { return springArray; }
    int springCount() const { return springTotal; }
    QuadraticSpring* quadraticSprings() { return quadraticSpringArray; }
    int quadraticSpringCount() const { return quadraticSpringTotal; }
    Wheel* wheels() { return wheelArray; }
    int wheelCount() const { return wheelTotal; }
    RightAngleJoint* rightAngleJoints() { return rightAngleJointArray; }
    int rightAngleJointCount() const { return rightAngleJointTotal; }
    AngleJoint* angleJoints() { return angleJointArray; }
    int angleJointCount() const { return angleJointTotal; }
    Terrain& terrain() { return contact.terrain; }
    // The largest impulse the ground gave one particle during the last
    // step() (0 after a step of no sub-steps), N s.
    float peakContactImpulse() const { return contact.peakImpulse; }
    GroundContact& groundContact() { return contact; }
    // The triangles other bodies collide with (see CollisionSurface).
    const CollisionSurface& collisionSurface() const { return surface; }

    // The dust system the friction pass emits into (not owned; may be null).
    // Loading a model forgets it, so set it after loadModel.
    void setDustSystem(DustSystem* dust) { contact.setDustSystem(dust); }

    // Damage: off after every load, so the step is the undamaged one. On,
    // springs and quadratic springs yield and break by their limits
    // (SpringDamage); off again, what was damaged stays so but nothing more
    // happens to it.
    void setDamage(bool on) { damageOn = on; }
    bool damageEnabled() const { return damageOn; }
    // The damage records, parallel to springs() and quadraticSprings().
    SpringDamage* springDamage() { return springDamageArray; }
    const SpringDamage* springDamage() const { return springDamageArray; }
    SpringDamage* quadraticDamage() { return quadraticDamageArray; }
    const SpringDamage* quadraticDamage() const { return quadraticDamageArray; }
    // Parallel to angleJoints() and rightAngleJoints(): joints tear when an
    // arm runs away (damage on).
    JointDamage* angleJointDamage() { return angleJointDamageArray; }
    JointDamage* rightAngleJointDamage() { return rightAngleJointDamageArray; }
    // True when the model gave damage limits (a `damage` section).
    bool hasDamageLimits() const { return damageLimitsGiven; }
    // Every rest length back to its length at load and every break mended.
    void repairDamage();
    // Springs and quadratic springs whose rest length has flowed, and the
    // elements broken (springs, quadratic springs and torn joints).
    int yieldedCount() const;
    int brokenCount() const;
    // The particle positions as loaded: the body's rest shape (m).
    const Vec3* restShape() const { return restShapeArray; }
    // Bytes of the loaded text up to the first named section (all of it when
    // there is none): the six sections that every reader understands.
    // Recordings stamp the model with a hash over these bytes, so a damage or
    // surface section added to a model leaves its older recordings valid.
    size_t coreTextLength() const { return coreLength; }

    // Pulls `particle` towards `target` (m) in every sub-step until
    // clearGrab; a later call moves the target or grabs another particle.
    // False, and nothing changes, for a particle outside the world or a
    // target that is not finite. Loading a model lets go.
    bool setGrab(int particle, Vec3 target);
    void clearGrab() { grabSpring = GrabSpring(); }
    const GrabSpring& grab() const { return grabSpring; }

    // The arrays as the step sees them, and the packed working copy, for a
    // stepper that runs several worlds in lockstep (MultiBodyStep).
    StepElements stepElements() { return elements(); }
    PackedStep& packedStep() { return packed; }

  private:
    void clear();
    // The element-by-element sub-step, for a world whose packed copy could
    // not be prepared; PackedStep gives the same results faster.
    void subStep();
    float advance(int milliseconds, bool packedAllowed);
    StepElements elements();
    bool parse(ModelTokenReader& reader, const char* name);
    // After a failed parse: names the section whose count is missing, when
    // leaving out exactly one makes the file fit.
    void diagnoseMissingSection(const char* text, size_t length, const char* name);
    bool parseNamedSections(ModelTokenReader& reader, const char* name);
    bool parseDamage(ModelTokenReader& reader, const char* name);
    bool parseSurface(ModelTokenReader& reader, const char* name);
    bool prepareDamage(const char* name, ModelTokenReader& reader);
    void repairJoints();
    bool fail(const ModelTokenReader& reader, const char* name, const char* format, ...)
        __attribute__((format(printf, 4, 5)));
    bool readCount(ModelTokenReader& reader, const char* name, const char* section, int& count,
                   size_t tokensPerRecord);
    bool readIndex(ModelTokenReader& reader, const char* name, const char* element, int number,
                   const char* field, int& index);
    bool readReal(ModelTokenReader& reader, const char* name, const char* element, int number,
                  const char* field, float& value);
    bool tokenFailure(const ModelTokenReader& reader, const char* name, const char* element,
                      int number, const char* field, const char* kind);

    GroundContact contact;
    GrabSpring grabSpring;
    CollisionSurface surface;

    int springTotal = 0;
    int particleTotal = 0;
    int wheelTotal = 0;
    int rightAngleJointTotal = 0;
    int angleJointTotal = 0;
    int quadraticSpringTotal = 0;

    Vec3* positionArray = nullptr;
    Particle* particleArray = nullptr;
    Spring* springArray = nullptr;
    QuadraticSpring* quadraticSpringArray = nullptr;
    Wheel* wheelArray = nullptr;
    RightAngleJoint* rightAngleJointArray = nullptr;
    AngleJoint* angleJointArray = nullptr;
    SpringDamage* springDamageArray = nullptr;
    SpringDamage* quadraticDamageArray = nullptr;
    JointDamage* angleJointDamageArray = nullptr;
    JointDamage* rightAngleJointDamageArray = nullptr;
    Vec3* restShapeArray = nullptr;
    bool damageOn = false;
    bool damageLimitsGiven = false;
    size_t coreLength = 0;

    // The step's packed working arrays, sized at every load.
    PackedStep packed;

    // While a failed load is diagnosed: the section read as if the file
    // had it with count 0 (nullptr: none).
    const char* absentSection = nullptr;

    char failureText[384];
};
