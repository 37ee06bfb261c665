// MultiBodyStep: several worlds (one body each, on the same ground) stepped
// in lockstep sub-steps, with the contact pass between them at a fixed place
// in every sub-step, and the bodies' passes spread over threads (OpenMP).
//
// Each sub-step: every body predicts, meets the ground and takes its grab
// (PackedStep::predictPart); then the contact pass (BodyContact) adds the
// forces between bodies; then every body runs its force passes, corrector
// and spin (PackedStep::finishPart). The contact pass sits where the grab
// is: the positions are final for the sub-step and the same for every body,
// and like the grab its forces come from outside the body, so the ground
// friction weighs them and the corrector integrates them with the springs.
//
// A body's passes touch only its own arrays; the contact pass writes each
// body's forces only from that body's task and adds reactions in body order,
// so the results are the same to the bit on any number of threads. With one
// world the step is that world's own step.
#pragma once

#include "physics/BodyContact.h"
#include "physics/PackedStep.h"

class PhysicsWorld;

class MultiBodyStep {
  public:
    MultiBodyStep() = default;
    ~MultiBodyStep();
    MultiBodyStep(const MultiBodyStep&) = delete;
    MultiBodyStep& operator=(const MultiBodyStep&) = delete;

    // Takes the worlds (not owned; loaded, and loaded again only with a new
    // bind). False when memory runs out; step then runs each world on its own.
    bool bind(PhysicsWorld* const* worlds, int count);
    void release();
    // The contact pass forgets its recent boxes and grids (BodyContact::
    // forget): call it when the bodies were moved between steps.
    void forget() { contact.forget(); }

    // Threads for the bodies' passes (at least 1); the results never depend
    // on it.
    void setThreads(int threads);
    int threads() const { return threadCount; }
    // Off: the bodies pass through each other (for measuring the pass).
    void setContacts(bool on) { contactsOn = on; }

    // Runs two 0.5 ms sub-steps per millisecond of every world and returns
    // the milliseconds simulated, as PhysicsWorld::step does.
    float step(int milliseconds);

    // Deepest any particle lay behind another body's triangle in any
    // sub-step since the last clear (m), and contacts counted since then.
    float deepestPenetration() const { return deepest; }
    long long contactCount() const { return contactTotal; }
    void clearFigures() {
        deepest = 0.0f;
        contactTotal = 0;
        contactTime = 0.0;
        stepTime = 0.0;
    }
    // On: each body's task clocks its part of the contact pass (its box and
    // grid, its collide and its merge), and step clocks itself; for the
    // benchmark, off by default (the clock reads cost about 1 % of a step).
    // Seconds since the last clear: the contact pass summed over the bodies'
    // tasks (thread time), and the steps' wall time.
    void setTiming(bool on) { timing = on; }
    double contactSeconds() const { return contactTime; }
    double stepSeconds() const { return stepTime; }

  private:
    // Remembers where the body's particles start the sub-step, predicts
    // them and builds its triangle grid.
    void predictBody(int body, const StepElements& elements);

    PhysicsWorld** worldList = nullptr;
    ContactBody* bodies = nullptr;
    StepElements* elementList = nullptr;
    // On a cache line of its own: each is written by its body's task, and
    // neighbouring bodies' tasks run on other threads.
    struct alignas(64) Figures {
        float deepest = 0.0f; // m
        long long contacts = 0;
        double contactSeconds = 0.0; // s, with timing on
    };
    Figures* figures = nullptr; // per body, of the latest step
    Vec3** previous = nullptr;  // per body, positions at the sub-step's start
    int bodyCount = 0;
    int threadCount = 1;
    bool contactsOn = true;
    bool timing = false;
    double contactTime = 0.0; // s
    double stepTime = 0.0;    // s
    bool ready = false;
    BodyContact contact;
    float deepest = 0.0f;
    long long contactTotal = 0;
};
