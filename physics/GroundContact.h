// GroundContact: the ground's part of the step. It keeps particles above the
// terrain (mirroring shallow penetrations, placing deep ones on the surface
// or, at the grid's edge, back out through its cliff face), applies
// stick/slide friction within a thin skin and offers dust where contacts
// slide fast.
#pragma once

#include "math/Vec3.h"
#include "physics/Terrain.h"

class DustSystem;
class Particle;

class GroundContact {
  public:
    // Stores the particle arrays and their count, and forgets the dust system.
    void bind(Particle* particleArray, Vec3* positionArray, int particleCount);
    void setDustSystem(DustSystem* system) { dust = system; }

    // Pushes every particle below its ground triangle back above it.
    void resolvePenetration();
    // Friction for every particle within the skin whose accumulated force
    // presses it into the ground.
    void applyFriction();

    // One particle's share of the two passes. penetrate: the response to a
    // height d < 0 above the plane with this normal (foot: the query's foot
    // point); returns the speed it took out of the velocity along the
    // normal, m/s (0 when the particle left through the grid's edge).
    // friction: the friction of a particle within the skin above the plane
    // with this normal; offers dust through dust when it is not null.
    static float penetrate(const Terrain& ground, Vec3& position, Vec3& velocity, float d,
                           const Vec3& normal, const Vec3& foot);
    static void friction(const Vec3& position, const Vec3& normal, Vec3& velocity, Vec3& force,
                         float inverseMass, DustSystem* dust);
    // A particle under the ground that was beyond the grid's edge a sub-step
    // ago, or that is deep under it right at the edge, has come in through
    // the edge's cliff face: moves it back out and stops its motion into the
    // face. False (nothing changed) otherwise. The edges are those of ground.
    static bool leaveThroughEdge(const Terrain& ground, Vec3& position, Vec3& velocity, bool deep);

    Particle* particles = nullptr; // the world's particle array (not owned)
    Vec3* positions = nullptr;     // the world's position array (not owned)
    int count = 0;                 // particles in both arrays
    Terrain terrain;               // the ground, built by the world
    DustSystem* dust = nullptr;    // not owned; null means no dust is emitted
    // The largest impulse one penetration response gave one particle since
    // the world's last step began (mass times the speed penetrate took out),
    // N s. Only read after the step: it feeds nothing back into it.
    float peakImpulse = 0.0f;
    // The larger of `peak` and the impulse of a response that took
    // `speedChange` (m/s) out of a particle of `mass` (kg). The sweeps keep
    // their peak in a local and store it once, after the sweep.
    static float largerImpulse(float peak, float speedChange, float mass) {
        const float impulse = speedChange * mass;
        return impulse > peak ? impulse : peak;
    }
};
