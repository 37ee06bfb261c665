// SpringDamage: limits from strains, and the element passes with damage on.
#include "physics/SpringDamage.h"

#include "physics/QuadraticSpring.h"
#include "physics/Spring.h"

#include <cmath>

void SpringDamage::init(float length, const DamageLimits& given) {
    limits = given;
    originalLength = length;
    yieldLength = given.yieldStrain * length;
    plasticLength = given.plasticStrain * length;
    breakLength = given.breakStrain * length;
    broken = 0;
    updateBounds(length);
}

void JointDamage::init(const Vec3& a, const Vec3& b, const Vec3& c) {
    const Vec3 u = (a - b) * tearFactor;
    const Vec3 w = (c - b) * tearFactor;
    longestArmSquared[0] = dot(u, u);
    longestArmSquared[1] = dot(w, w);
    torn = 0;
}

namespace {
template <typename Element> float currentLength(const Element& spring) {
    const Vec3 d = spring.positions[spring.b] - spring.positions[spring.a];
    return std::sqrt(dot(d, d));
}
} // namespace

void applyDamaged(Spring& spring, SpringDamage& damage) {
    const float length = currentLength(spring);
    damage.flow(spring.restLength, length);
    if (damage.broken != 0) {
        spring.previousLength = length;
        return;
    }
    spring.apply();
}

void applyDamaged(QuadraticSpring& spring, SpringDamage& damage) {
    const float length = currentLength(spring);
    damage.flow(spring.restLength, length);
    if (damage.broken != 0) {
        spring.previousLength = length;
        return;
    }
    spring.apply();
}
