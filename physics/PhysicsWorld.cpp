// PhysicsWorld: construction, the model-file reader with its validation, and
// the fixed-step driver with its eleven passes.
#include "physics/PhysicsWorld.h"

#include "physics/ModelTokenReader.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace {

// Counts beyond this are taken for corruption, not for a model.
constexpr int largestCount = 1000000;
// Model files beyond this size are refused before reading them whole.
constexpr size_t largestFile = size_t(256) * 1024 * 1024;

const char* displayName(const char* name) {
    return name ? name : "model";
}

// The latest token, made safe to quote in a message.
struct QuotedToken {
    explicit QuotedToken(const ModelTokenReader& reader) { reader.quotedToken(text, sizeof text); }
    char text[128];
};

} // namespace

PhysicsWorld::PhysicsWorld() : PhysicsWorld(nullptr) {}

PhysicsWorld::PhysicsWorld(const Terrain* ground) {
    failureText[0] = '\0';
    if (ground != nullptr) {
        contact.terrain.share(*ground);
    } else {
        contact.terrain.build();
    }
}

PhysicsWorld::~PhysicsWorld() {
    clear();
}

void PhysicsWorld::clear() {
    delete[] positionArray;
    delete[] particleArray;
    delete[] springArray;
    delete[] quadraticSpringArray;
    delete[] wheelArray;
    delete[] rightAngleJointArray;
    delete[] angleJointArray;
    delete[] springDamageArray;
    delete[] quadraticDamageArray;
    delete[] restShapeArray;
    delete[] angleJointDamageArray;
    delete[] rightAngleJointDamageArray;
    angleJointDamageArray = nullptr;
    rightAngleJointDamageArray = nullptr;
    springDamageArray = nullptr;
    quadraticDamageArray = nullptr;
    restShapeArray = nullptr;
    damageOn = false;
    damageLimitsGiven = false;
    coreLength = 0;
    positionArray = nullptr;
    particleArray = nullptr;
    springArray = nullptr;
    quadraticSpringArray = nullptr;
    wheelArray = nullptr;
    rightAngleJointArray = nullptr;
    angleJointArray = nullptr;
    springTotal = 0;
    particleTotal = 0;
    wheelTotal = 0;
    rightAngleJointTotal = 0;
    angleJointTotal = 0;
    quadraticSpringTotal = 0;
    contact.bind(nullptr, nullptr, 0);
    packed.release();
    surface.clear();
    grabSpring = GrabSpring();
}

bool PhysicsWorld::setGrab(int particle, Vec3 target) {
    if (particle < 0 || particle >= particleTotal || !std::isfinite(target.x) ||
        !std::isfinite(target.y) || !std::isfinite(target.z)) {
        return false;
    }
    grabSpring.particle = particle;
    grabSpring.target = target;
    return true;
}

bool PhysicsWorld::loadModel(const char* fileName) {
    const char* name = displayName(fileName);
    clear();
    errno = 0;
    std::FILE* file = fileName ? std::fopen(fileName, "rb") : nullptr;
    if (!file) {
        std::snprintf(failureText, sizeof failureText, "%s: cannot open: %s", name,
                      std::strerror(fileName && errno != 0 ? errno : ENOENT));
        return false;
    }
    std::string text;
    char chunk[65536];
    bool tooLarge = false;
    errno = 0;
    for (;;) {
        const size_t got = std::fread(chunk, 1, sizeof chunk, file);
        if (got == 0) {
            break;
        }
        if (text.size() + got > largestFile) {
            tooLarge = true;
            break;
        }
        text.append(chunk, got);
    }
    const int readError = std::ferror(file) != 0 ? (errno != 0 ? errno : EIO) : 0;
    std::fclose(file);
    if (readError != 0) {
        std::snprintf(failureText, sizeof failureText, "%s: cannot read: %s", name,
                      std::strerror(readError));
        return false;
    }
    if (tooLarge) {
        std::snprintf(failureText, sizeof failureText, "%s: larger than %zu bytes", name,
                      largestFile);
        return false;
    }
    return loadModelFromText(text.data(), text.size(), fileName);
}

bool PhysicsWorld::loadModelFromText(const char* text, size_t length, const char* name) {
    name = displayName(name);
    clear();
    failureText[0] = '\0';
    ModelTokenReader reader(text, length);
    if (!parse(reader, name)) {
        clear();
        diagnoseMissingSection(text, length, name);
        return false;
    }
    // A model that names no surface collides with the hull of its rest
    // shape; one that spans no volume has none.
    if (!surface.authored) {
        surface.buildHull(positionArray, particleTotal);
    }
    // Without memory for the packed copy the step runs element by element.
    packed.prepare(elements());
    return true;
}

void PhysicsWorld::diagnoseMissingSection(const char* text, size_t length, const char* name) {
    // A section left out entirely shifts every later count onto the wrong
    // records, and the reader stumbles far from the mistake. Each section
    // that, read as if the file had it with count 0, makes the whole file
    // fit may be the one missing. Sections of the same record shape (the
    // two kinds of joint) cannot be told apart: all that fit are named.
    static const char* const sections[] = {"spring", "wheel", "right-angle joint", "angle joint",
                                           "quadratic spring"};
    char original[sizeof failureText];
    std::memcpy(original, failureText, sizeof failureText);
    const char* fitting[5];
    int fits = 0;
    for (const char* section : sections) {
        absentSection = section;
        ModelTokenReader again(text, length);
        if (parse(again, name)) {
            fitting[fits++] = section;
        }
        clear();
    }
    absentSection = nullptr;
    std::memcpy(failureText, original, sizeof failureText);
    if (fits == 0) {
        return;
    }
    std::string names = fitting[0];
    for (int k = 1; k < fits; ++k) {
        names += k + 1 == fits ? " or the " : ", the ";
        names += fitting[k];
    }
    const size_t used = std::strlen(failureText);
    std::snprintf(failureText + used, sizeof failureText - used,
                  "; the %s section is missing: without it the counts and records that follow "
                  "fit (an empty section is written as its count, 0)",
                  names.c_str());
}

bool PhysicsWorld::fail(const ModelTokenReader& reader, const char* name, const char* format, ...) {
    int used = std::snprintf(failureText, sizeof failureText, "%s line %d, token %ld: ", name,
                             reader.line(), reader.tokenNumber());
    if (used < 0) {
        used = 0;
    }
    if (static_cast<size_t>(used) < sizeof failureText) {
        va_list arguments;
        va_start(arguments, format);
        std::vsnprintf(failureText + used, sizeof failureText - used, format, arguments);
        va_end(arguments);
    }
    return false;
}

bool PhysicsWorld::tokenFailure(const ModelTokenReader& reader, const char* name,
                                const char* element, int number, const char* field,
                                const char* kind) {
    char where[64];
    if (number >= 0) {
        std::snprintf(where, sizeof where, "%s %d: ", element, number);
    } else {
        where[0] = '\0';
    }
    switch (reader.status()) {
    case ModelTokenReader::endOfText:
        return fail(reader, name, "truncated: %sthe file ends where %s was expected", where, field);
    case ModelTokenReader::outOfRange:
        return fail(reader, name, "%s%s '%s' is out of the integer range", where, field,
                    QuotedToken(reader).text);
    default:
        return fail(reader, name, "%s%s '%s' is not %s", where, field, QuotedToken(reader).text,
                    kind);
    }
}

bool PhysicsWorld::readCount(ModelTokenReader& reader, const char* name, const char* section,
                             int& count, size_t tokensPerRecord) {
    if (absentSection != nullptr && std::strcmp(section, absentSection) == 0) {
        count = 0;
        return true;
    }
    char field[48];
    std::snprintf(field, sizeof field, "the %s count", section);
    if (!reader.readInt(count)) {
        return tokenFailure(reader, name, section, -1, field, "an integer");
    }
    if (count < 0) {
        return fail(reader, name, "%s count %d is negative", section, count);
    }
    if (count > largestCount) {
        return fail(reader, name, "%s count %d is larger than %d", section, count, largestCount);
    }
    // Refuse a count the rest of the text cannot hold before allocating for it.
    const size_t needed = static_cast<size_t>(count) * tokensPerRecord;
    if (needed > reader.remainingTokens()) {
        return fail(reader, name,
                    "truncated: %s section of %d needs at least %zu more tokens, only %zu remain",
                    section, count, needed, reader.remainingTokens());
    }
    return true;
}

bool PhysicsWorld::readIndex(ModelTokenReader& reader, const char* name, const char* element,
                             int number, const char* field, int& index) {
    if (!reader.readInt(index)) {
        return tokenFailure(reader, name, element, number, field, "an integer");
    }
    if (index < 0 || index >= particleTotal) {
        if (particleTotal == 0) {
            return fail(reader, name,
                        "%s %d: particle index %d out of range: there are no particles", element,
                        number, index);
        }
        return fail(reader, name, "%s %d: particle index %d out of range 0..%d", element, number,
                    index, particleTotal - 1);
    }
    return true;
}

bool PhysicsWorld::readReal(ModelTokenReader& reader, const char* name, const char* element,
                            int number, const char* field, float& value) {
    if (!reader.readFloat(value)) {
        return tokenFailure(reader, name, element, number, field, "a number");
    }
    if (!std::isfinite(value)) {
        return fail(reader, name, "%s %d: %s '%s' is not a finite number", element, number, field,
                    QuotedToken(reader).text);
    }
    return true;
}

bool PhysicsWorld::parse(ModelTokenReader& reader, const char* name) {
    // Particles: x y z mass.
    int count = 0;
    if (!readCount(reader, name, "particle", count, 4)) {
        return false;
    }
    if (count > 0) {
        positionArray = new (std::nothrow) Vec3[count];
        particleArray = new (std::nothrow) Particle[count];
        if (!positionArray || !particleArray) {
            return fail(reader, name, "out of memory for %d particles", count);
        }
    }
    particleTotal = count;
    for (int i = 0; i < count; ++i) {
        Vec3& p = positionArray[i];
        float mass = 0.0f;
        if (!readReal(reader, name, "particle", i, "x", p.x) ||
            !readReal(reader, name, "particle", i, "y", p.y) ||
            !readReal(reader, name, "particle", i, "z", p.z) ||
            !readReal(reader, name, "particle", i, "mass", mass)) {
            return false;
        }
        // The integrator divides by the mass once, at load.
        if (!(mass > 0.0f) || !std::isfinite(1.0f / mass)) {
            return fail(reader, name, "particle %d: mass '%s' is not a finite number above zero", i,
                        QuotedToken(reader).text);
        }
        particleArray[i].init(positionArray, i, mass);
    }

    // Springs: a b stiffness damping.
    if (!readCount(reader, name, "spring", count, 4)) {
        return false;
    }
    if (count > 0) {
        springArray = new (std::nothrow) Spring[count];
        if (!springArray) {
            return fail(reader, name, "out of memory for %d springs", count);
        }
    }
    springTotal = count;
    for (int k = 0; k < count; ++k) {
        int a = 0;
        int b = 0;
        float stiffness = 0.0f;
        float damping = 0.0f;
        if (!readIndex(reader, name, "spring", k, "a", a) ||
            !readIndex(reader, name, "spring", k, "b", b) ||
            !readReal(reader, name, "spring", k, "stiffness", stiffness) ||
            !readReal(reader, name, "spring", k, "damping", damping)) {
            return false;
        }
        springArray[k].init(particleArray, positionArray, a, b, stiffness, damping);
    }

    // Wheels: hubA hubB n, then n rim particles.
    if (!readCount(reader, name, "wheel", count, 3)) {
        return false;
    }
    if (count > 0) {
        wheelArray = new (std::nothrow) Wheel[count];
        if (!wheelArray) {
            return fail(reader, name, "out of memory for %d wheels", count);
        }
    }
    wheelTotal = count;
    for (int k = 0; k < count; ++k) {
        int hubA = 0;
        int hubB = 0;
        int rimCount = 0;
        if (!readIndex(reader, name, "wheel", k, "hubA", hubA) ||
            !readIndex(reader, name, "wheel", k, "hubB", hubB)) {
            return false;
        }
        if (!reader.readInt(rimCount)) {
            return tokenFailure(reader, name, "wheel", k, "the rim count", "an integer");
        }
        if (rimCount <= 0) {
            return fail(reader, name,
                        "wheel %d: rim count %d: a wheel needs at least one rim particle", k,
                        rimCount);
        }
        if (rimCount > largestCount) {
            return fail(reader, name, "wheel %d: rim count %d is larger than %d", k, rimCount,
                        largestCount);
        }
        if (static_cast<size_t>(rimCount) > reader.remainingTokens()) {
            return fail(reader, name,
                        "truncated: wheel %d lists %d rim particles, only %zu tokens remain", k,
                        rimCount, reader.remainingTokens());
        }
        int* rim = new (std::nothrow) int[rimCount];
        if (!rim) {
            return fail(reader, name, "wheel %d: out of memory for %d rim particles", k, rimCount);
        }
        bool rimRead = true;
        for (int r = 0; r < rimCount && rimRead; ++r) {
            rimRead = readIndex(reader, name, "wheel", k, "a rim particle", rim[r]);
        }
        const bool filled =
            rimRead && wheelArray[k].init(positionArray, particleArray, hubA, hubB, rimCount, rim);
        delete[] rim;
        if (!rimRead) {
            return false;
        }
        if (!filled) {
            return fail(reader, name, "wheel %d: out of memory for %d rim particles", k, rimCount);
        }
    }

    // Right-angle joints: a b c, b the corner.
    if (!readCount(reader, name, "right-angle joint", count, 3)) {
        return false;
    }
    if (count > 0) {
        rightAngleJointArray = new (std::nothrow) RightAngleJoint[count];
        if (!rightAngleJointArray) {
            return fail(reader, name, "out of memory for %d right-angle joints", count);
        }
    }
    rightAngleJointTotal = count;
    for (int k = 0; k < count; ++k) {
        int a = 0;
        int b = 0;
        int c = 0;
        if (!readIndex(reader, name, "right-angle joint", k, "a", a) ||
            !readIndex(reader, name, "right-angle joint", k, "b", b) ||
            !readIndex(reader, name, "right-angle joint", k, "c", c)) {
            return false;
        }
        rightAngleJointArray[k].init(positionArray, particleArray, a, b, c);
    }

    contact.bind(particleArray, positionArray, particleTotal);

    // Angle joints: a b c, b the corner.
    if (!readCount(reader, name, "angle joint", count, 3)) {
        return false;
    }
    if (count > 0) {
        angleJointArray = new (std::nothrow) AngleJoint[count];
        if (!angleJointArray) {
            return fail(reader, name, "out of memory for %d angle joints", count);
        }
    }
    angleJointTotal = count;
    for (int k = 0; k < count; ++k) {
        int a = 0;
        int b = 0;
        int c = 0;
        if (!readIndex(reader, name, "angle joint", k, "a", a) ||
            !readIndex(reader, name, "angle joint", k, "b", b) ||
            !readIndex(reader, name, "angle joint", k, "c", c)) {
            return false;
        }
        angleJointArray[k].init(positionArray, particleArray, a, b, c);
    }

    // Quadratic springs: a b stiffness.
    if (!readCount(reader, name, "quadratic spring", count, 3)) {
        return false;
    }
    if (count > 0) {
        quadraticSpringArray = new (std::nothrow) QuadraticSpring[count];
        if (!quadraticSpringArray) {
            return fail(reader, name, "out of memory for %d quadratic springs", count);
        }
    }
    quadraticSpringTotal = count;
    for (int k = 0; k < count; ++k) {
        int a = 0;
        int b = 0;
        float stiffness = 0.0f;
        if (!readIndex(reader, name, "quadratic spring", k, "a", a) ||
            !readIndex(reader, name, "quadratic spring", k, "b", b) ||
            !readReal(reader, name, "quadratic spring", k, "stiffness", stiffness)) {
            return false;
        }
        quadraticSpringArray[k].init(particleArray, positionArray, a, b, stiffness);
    }

    if (!prepareDamage(name, reader)) {
        return false;
    }
    return parseNamedSections(reader, name);
}

bool PhysicsWorld::prepareDamage(const char* name, ModelTokenReader& reader) {
    // Every element starts undamaged and without limits; the rest shape is
    // kept for measuring how far the body is bent from it.
    springDamageArray = new (std::nothrow) SpringDamage[springTotal > 0 ? springTotal : 1];
    quadraticDamageArray =
        new (std::nothrow) SpringDamage[quadraticSpringTotal > 0 ? quadraticSpringTotal : 1];
    restShapeArray = new (std::nothrow) Vec3[particleTotal > 0 ? particleTotal : 1];
    angleJointDamageArray =
        new (std::nothrow) JointDamage[angleJointTotal > 0 ? angleJointTotal : 1];
    rightAngleJointDamageArray =
        new (std::nothrow) JointDamage[rightAngleJointTotal > 0 ? rightAngleJointTotal : 1];
    if (!springDamageArray || !quadraticDamageArray || !restShapeArray || !angleJointDamageArray ||
        !rightAngleJointDamageArray) {
        return fail(reader, name, "out of memory for the damage records");
    }
    const DamageLimits none{SpringDamage::inf(), SpringDamage::inf(), SpringDamage::inf()};
    for (int k = 0; k < springTotal; ++k) {
        springDamageArray[k].init(springArray[k].restLength, none);
    }
    for (int k = 0; k < quadraticSpringTotal; ++k) {
        quadraticDamageArray[k].init(quadraticSpringArray[k].restLength, none);
    }
    for (int i = 0; i < particleTotal; ++i) {
        restShapeArray[i] = positionArray[i];
    }
    repairJoints();
    return true;
}

void PhysicsWorld::repairJoints() {
    for (int k = 0; k < angleJointTotal; ++k) {
        const AngleJoint& j = angleJointArray[k];
        angleJointDamageArray[k].init(restShapeArray[j.a], restShapeArray[j.b],
                                      restShapeArray[j.c]);
    }
    for (int k = 0; k < rightAngleJointTotal; ++k) {
        const RightAngleJoint& j = rightAngleJointArray[k];
        rightAngleJointDamageArray[k].init(restShapeArray[j.a], restShapeArray[j.b],
                                           restShapeArray[j.c]);
    }
}

bool PhysicsWorld::parseNamedSections(ModelTokenReader& reader, const char* name) {
    // After the six sections: named sections in any order, each at most once.
    coreLength = reader.textLength();
    bool damageSeen = false;
    bool surfaceSeen = false;
    bool first = true;
    while (reader.remainingTokens() > 0) {
        reader.readWord();
        if (first) {
            coreLength = reader.tokenOffset();
            first = false;
        }
        if (reader.tokenIs("damage")) {
            if (damageSeen) {
                return fail(reader, name, "the damage section is given twice");
            }
            damageSeen = true;
            if (!parseDamage(reader, name)) {
                return false;
            }
        } else if (reader.tokenIs("surface")) {
            if (surfaceSeen) {
                return fail(reader, name, "the surface section is given twice");
            }
            surfaceSeen = true;
            if (!parseSurface(reader, name)) {
                return false;
            }
        } else {
            // Not a section this reader knows: the counts and the records
            // disagree somewhere, or the file is for a newer program.
            return fail(reader, name, "unexpected token '%s' after the last section",
                        QuotedToken(reader).text);
        }
    }
    return true;
}

bool PhysicsWorld::parseDamage(ModelTokenReader& reader, const char* name) {
    // damage COUNT, then COUNT records: KIND FIRST LAST YIELD PLASTIC BREAK,
    // KIND spring or quadratic, the limits strains; a later record
    // overrides an earlier one on the elements both name.
    int count = 0;
    if (!readCount(reader, name, "damage", count, 6)) {
        return false;
    }
    for (int k = 0; k < count; ++k) {
        if (!reader.readWord()) {
            return tokenFailure(reader, name, "damage record", k, "the kind", "a word");
        }
        const bool quadratic = reader.tokenIs("quadratic");
        if (!quadratic && !reader.tokenIs("spring")) {
            return fail(reader, name, "damage record %d: kind '%s' is not spring or quadratic", k,
                        QuotedToken(reader).text);
        }
        const int total = quadratic ? quadraticSpringTotal : springTotal;
        const char* kind = quadratic ? "quadratic spring" : "spring";
        int range[2] = {0, 0};
        for (int end = 0; end < 2; ++end) {
            const char* field = end == 0 ? "first" : "last";
            if (!reader.readInt(range[end])) {
                return tokenFailure(reader, name, "damage record", k, field, "an integer");
            }
            if (range[end] < 0 || range[end] >= total) {
                return fail(reader, name, "damage record %d: %s %d out of range: there are %d %ss",
                            k, kind, range[end], total, kind);
            }
        }
        if (range[1] < range[0]) {
            return fail(reader, name, "damage record %d: last %d is before first %d", k, range[1],
                        range[0]);
        }
        DamageLimits limits;
        if (!readReal(reader, name, "damage record", k, "the yield strain", limits.yieldStrain) ||
            !readReal(reader, name, "damage record", k, "the plastic strain",
                      limits.plasticStrain) ||
            !readReal(reader, name, "damage record", k, "the break strain", limits.breakStrain)) {
            return false;
        }
        if (limits.yieldStrain < 0.0f || limits.plasticStrain < 0.0f ||
            !(limits.breakStrain > 0.0f)) {
            return fail(reader, name,
                        "damage record %d: strains must not be negative and the break strain "
                        "must be above zero",
                        k);
        }
        SpringDamage* records = quadratic ? quadraticDamageArray : springDamageArray;
        for (int e = range[0]; e <= range[1]; ++e) {
            records[e].init(records[e].originalLength, limits);
        }
    }
    damageLimitsGiven = true;
    return true;
}

void PhysicsWorld::repairDamage() {
    repairJoints();
    for (int k = 0; k < springTotal; ++k) {
        springDamageArray[k].repair(springArray[k].restLength);
    }
    for (int k = 0; k < quadraticSpringTotal; ++k) {
        quadraticDamageArray[k].repair(quadraticSpringArray[k].restLength);
    }
}

int PhysicsWorld::yieldedCount() const {
    int total = 0;
    for (int k = 0; k < springTotal; ++k) {
        total += springArray[k].restLength != springDamageArray[k].originalLength ? 1 : 0;
    }
    for (int k = 0; k < quadraticSpringTotal; ++k) {
        total += quadraticSpringArray[k].restLength != quadraticDamageArray[k].originalLength;
    }
    return total;
}

int PhysicsWorld::brokenCount() const {
    int total = 0;
    for (int k = 0; k < springTotal; ++k) {
        total += springDamageArray[k].broken;
    }
    for (int k = 0; k < quadraticSpringTotal; ++k) {
        total += quadraticDamageArray[k].broken;
    }
    for (int k = 0; k < angleJointTotal; ++k) {
        total += angleJointDamageArray[k].torn;
    }
    for (int k = 0; k < rightAngleJointTotal; ++k) {
        total += rightAngleJointDamageArray[k].torn;
    }
    return total;
}

bool PhysicsWorld::parseSurface(ModelTokenReader& reader, const char* name) {
    int count = 0;
    if (!readCount(reader, name, "surface triangle", count, 3)) {
        return false;
    }
    SurfaceTriangle* triangles = nullptr;
    if (count > 0) {
        triangles = new (std::nothrow) SurfaceTriangle[count];
        if (!triangles) {
            return fail(reader, name, "out of memory for %d surface triangles", count);
        }
    }
    bool read = true;
    for (int k = 0; k < count && read; ++k) {
        SurfaceTriangle& t = triangles[k];
        read = readIndex(reader, name, "surface triangle", k, "a", t.a) &&
               readIndex(reader, name, "surface triangle", k, "b", t.b) &&
               readIndex(reader, name, "surface triangle", k, "c", t.c);
    }
    const bool stored = read && surface.assign(triangles, count);
    delete[] triangles;
    if (!read) {
        return false;
    }
    if (!stored) {
        return fail(reader, name, "out of memory for %d surface triangles", count);
    }
    surface.authored = true;
    return true;
}

float PhysicsWorld::step(int milliseconds) {
    return advance(milliseconds, true);
}

float PhysicsWorld::stepElementByElement(int milliseconds) {
    return advance(milliseconds, false);
}

float PhysicsWorld::advance(int milliseconds, bool packedAllowed) {
    contact.peakImpulse = 0.0f;
    if (milliseconds <= 0) {
        return static_cast<float>(milliseconds);
    }
    // In 64 bits: twice the largest int still fits.
    const long long subSteps = 2LL * milliseconds;
    const StepElements world = elements();
    if (packedAllowed && packed.fits(world)) {
        packed.run(world, subSteps);
    } else {
        for (long long k = 0; k < subSteps; ++k) {
            subStep();
        }
    }
    return static_cast<float>(subSteps) * 0.5f;
}

StepElements PhysicsWorld::elements() {
    StepElements world;
    world.positions = positionArray;
    world.particles = particleArray;
    world.particleCount = particleTotal;
    world.springs = springArray;
    world.springCount = springTotal;
    world.quadraticSprings = quadraticSpringArray;
    world.quadraticSpringCount = quadraticSpringTotal;
    world.wheels = wheelArray;
    world.wheelCount = wheelTotal;
    world.rightAngleJoints = rightAngleJointArray;
    world.rightAngleJointCount = rightAngleJointTotal;
    world.angleJoints = angleJointArray;
    world.angleJointCount = angleJointTotal;
    world.contact = &contact;
    world.grab = &grabSpring;
    if (damageOn) {
        world.springDamage = springDamageArray;
        world.quadraticDamage = quadraticDamageArray;
        world.angleJointDamage = angleJointDamageArray;
        world.rightAngleJointDamage = rightAngleJointDamageArray;
    }
    return world;
}

void PhysicsWorld::subStep() {
    for (int i = 0; i < particleTotal; ++i) {
        particleArray[i].predict();
    }
    contact.resolvePenetration();
    // The grab pulls after the penetration pass, where the particle's
    // position and velocity are final for this sub-step, and before the
    // springs and the friction: like gravity it is a force from outside, so
    // friction weighs it (a node pulled up lifts off, one dragged along the
    // ground is held back) and the corrector integrates it with the rest.
    if (grabSpring.active()) {
        Particle& held = particleArray[grabSpring.particle];
        held.force = held.force + GrabSpring::force(positionArray[grabSpring.particle],
                                                    held.velocity, grabSpring.target);
    }
    if (damageOn) {
        // The damage law inside the spring passes, as the packed step has it.
        for (int k = 0; k < springTotal; ++k) {
            applyDamaged(springArray[k], springDamageArray[k]);
        }
        for (int k = 0; k < quadraticSpringTotal; ++k) {
            applyDamaged(quadraticSpringArray[k], quadraticDamageArray[k]);
        }
    } else {
        for (int k = 0; k < springTotal; ++k) {
            springArray[k].apply();
        }
        for (int k = 0; k < quadraticSpringTotal; ++k) {
            quadraticSpringArray[k].apply();
        }
    }
    contact.applyFriction();
    if (damageOn) {
        // Torn joints act no more, as in the packed step.
        for (int k = 0; k < angleJointTotal; ++k) {
            const AngleJoint& j = angleJointArray[k];
            if (angleJointDamageArray[k].holds(positionArray[j.a], positionArray[j.b],
                                               positionArray[j.c])) {
                angleJointArray[k].apply();
            }
        }
        for (int k = 0; k < rightAngleJointTotal; ++k) {
            const RightAngleJoint& j = rightAngleJointArray[k];
            if (rightAngleJointDamageArray[k].holds(positionArray[j.a], positionArray[j.b],
                                                    positionArray[j.c])) {
                rightAngleJointArray[k].apply();
            }
        }
    } else {
        for (int k = 0; k < angleJointTotal; ++k) {
            angleJointArray[k].apply();
        }
        for (int k = 0; k < rightAngleJointTotal; ++k) {
            rightAngleJointArray[k].apply();
        }
    }
    for (int k = 0; k < wheelTotal; ++k) {
        wheelArray[k].applyTorque();
    }
    for (int i = 0; i < particleTotal; ++i) {
        particleArray[i].correct();
    }
    for (int k = 0; k < wheelTotal; ++k) {
        wheelArray[k].measureSpin();
    }
    // These forces stay in the accumulators and enter the next sub-step.
    for (int k = 0; k < wheelTotal; ++k) {
        wheelArray[k].applyTorque();
    }
}
