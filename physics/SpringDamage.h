// SpringDamage: what a spring or quadratic spring remembers of being bent
// for good or broken, and the law that changes it. Limits are strains of the
// length at load, so one material yields at the same strain whatever a
// spring's length: beyond the yield strain the rest length flows towards the
// current length (never further than the plastic limit from where it
// started), and beyond the break strain the spring stops acting for good.
// The records are one flat array per spring kind, parallel to the element
// arrays and owned by the world, so that a copy of them is a copy of the
// damage.
#pragma once

#include "math/Vec3.h"

#include <cmath>

class QuadraticSpring;
class Spring;

// Damage limits of one element, as strains (dimensionless). A strain that is
// infinite never comes: such an element never yields or breaks.
struct DamageLimits {
    float yieldStrain;   // elastic strain beyond which the rest length flows
    float plasticStrain; // largest strain of the rest length from its length at load
    float breakStrain;   // strain from the length at load beyond which it breaks
};

struct SpringDamage {
    // Sets the limits for an element whose rest length at load is `length`
    // (m): the strains become lengths once here, not in every sub-step.
    void init(float length, const DamageLimits& limits);
    // Undamaged again: back to its length at load, acting.
    void repair(float& restLength) {
        restLength = originalLength;
        broken = 0;
        updateBounds(restLength);
    }

    // The law for one sub-step, before the element's force is formed from
    // `length`: a break when the length is further than breakLength from the
    // length at load, otherwise the flow of restLength. Moving the rest
    // length towards the current length lowers the element's stored energy
    // and adds none. Nothing changes for an element already broken, nor
    // (the common case, one test) for a length within the bounds where
    // neither a flow nor a break can happen.
    void flow(float& restLength, float length) {
        if (broken != 0 || (!(length < safeLow) && !(length > safeHigh))) {
            return;
        }
        if (std::fabs(length - originalLength) > breakLength) {
            broken = 1;
            return;
        }
        const float x = length - restLength;
        if (x > yieldLength) {
            restLength = length - yieldLength;
        } else if (x < -yieldLength) {
            restLength = length + yieldLength;
        }
        const float shortest = originalLength - plasticLength;
        const float longest = originalLength + plasticLength;
        if (restLength < shortest) {
            restLength = shortest;
        }
        if (restLength > longest) {
            restLength = longest;
        }
        updateBounds(restLength);
    }
    // The lengths within which nothing happens, for a rest length.
    void updateBounds(float restLength) {
        const float yieldLow = restLength - yieldLength;
        const float breakLow = originalLength - breakLength;
        safeLow = yieldLow < breakLow ? breakLow : yieldLow;
        const float yieldHigh = restLength + yieldLength;
        const float breakHigh = originalLength + breakLength;
        safeHigh = breakHigh < yieldHigh ? breakHigh : yieldHigh;
    }

    DamageLimits limits{inf(), inf(), inf()};
    float originalLength = 0.0f; // m, rest length at load
    float yieldLength = inf();   // m, yieldStrain * originalLength
    float plasticLength = inf(); // m, plasticStrain * originalLength
    float breakLength = inf();   // m, breakStrain * originalLength
    int broken = 0;              // 1 once broken, until repaired
    float safeLow = -inf();      // m: lengths from safeLow to safeHigh neither
    float safeHigh = inf();      // flow nor break the element

    static float inf() { return __builtin_inff(); }
};

// What a joint remembers with damage on: its two arms' lengths at load, and
// whether it has torn. A joint pulls with a force that grows with its arms,
// so once the springs around it have broken and an arm runs away (a wheel
// torn off), it would fling its particles apart; an arm longer than
// tearFactor times its length at load tears the joint for good instead.
struct JointDamage {
    static constexpr float tearFactor = 2.0f;

    // The arms from the corner b to a and to c.
    void init(const Vec3& a, const Vec3& b, const Vec3& c);
    // True while the joint acts: false once an arm from the corner is too
    // long (it stays torn until repaired).
    bool holds(const Vec3& a, const Vec3& b, const Vec3& c) {
        if (torn == 0) {
            const Vec3 u = a - b;
            const Vec3 w = c - b;
            if (dot(u, u) > longestArmSquared[0] || dot(w, w) > longestArmSquared[1]) {
                torn = 1;
            }
        }
        return torn == 0;
    }

    float longestArmSquared[2] = {inf(), inf()}; // m², (tearFactor * arm at load)²
    int torn = 0;

    static float inf() { return __builtin_inff(); }
};

// The damaged counterparts of Spring::apply and QuadraticSpring::apply: the
// law first, on the length the force is formed from, then the force as
// ever, or only the length remembered for damping when the element is
// broken.
void applyDamaged(Spring& spring, SpringDamage& damage);
void applyDamaged(QuadraticSpring& spring, SpringDamage& damage);
