// Mat4: column-major layout (also as GL reads it), composition order,
// rotation about off-origin axes with its auxiliary-axis choice, and the
// affine inverse on seeded random rigid transforms.
#include "math/Mat4.h"

#include "tests/support/GlContext.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace {

const float pi = 3.14159265358979f;

void expectNearVec(const Vec3& actual, const Vec3& expected, float tolerance) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

void expectSameBits(const Mat4& actual, const Mat4& expected) {
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(actual.m[i], expected.m[i]) << "element " << i;
    }
}

Vec3 randomVec3(std::mt19937& rng, float range) {
    std::uniform_real_distribution<float> dist(-range, range);
    const float x = dist(rng);
    const float y = dist(rng);
    const float z = dist(rng);
    return Vec3(x, y, z);
}

Vec3 randomAxis(std::mt19937& rng) {
    Vec3 axis;
    do {
        axis = randomVec3(rng, 1.0f);
    } while (dot(axis, axis) < 0.01f);
    return axis;
}

// A random rotation about a random line, followed by a random translation.
Mat4 randomRigid(std::mt19937& rng) {
    std::uniform_real_distribution<float> angle(-pi, pi);
    Mat4 m;
    m.rotateAboutAxis(randomVec3(rng, 50.0f), randomAxis(rng), angle(rng));
    m.translate(randomVec3(rng, 100.0f));
    return m;
}

// Rotation by angle about the line through point along unit axis n,
// by Rodrigues' formula: an oracle independent of the frame construction.
Vec3 rodrigues(const Vec3& p, const Vec3& point, const Vec3& n, float angle) {
    const Vec3 r = p - point;
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    return point + r * c + cross(n, r) * s + n * (dot(n, r) * (1.0f - c));
}

// The rotation built from an explicit auxiliary axis h, step by step, to tell
// which auxiliary axis rotateAboutAxis picked: different frames round
// differently, so the bits reveal the choice.
Mat4 rotationWithAuxiliary(const Vec3& point, const Vec3& axis, float angle, const Vec3& h) {
    const Vec3 n = normalized(axis);
    const Vec3 u = normalized(cross(h, n));
    const Vec3 w = cross(n, u);
    Mat4 toFrame;
    const Vec3 rows[3] = {u, w, n};
    Mat4 fromFrame;
    for (int r = 0; r < 3; ++r) {
        toFrame.m[r] = rows[r].x;
        toFrame.m[4 + r] = rows[r].y;
        toFrame.m[8 + r] = rows[r].z;
        toFrame.m[12 + r] = -dot(rows[r], point);
        fromFrame.m[4 * r + 0] = rows[r].x;
        fromFrame.m[4 * r + 1] = rows[r].y;
        fromFrame.m[4 * r + 2] = rows[r].z;
    }
    fromFrame.m[12] = point.x;
    fromFrame.m[13] = point.y;
    fromFrame.m[14] = point.z;
    Mat4 spin;
    spin.m[0] = std::cos(angle);
    spin.m[1] = std::sin(angle);
    spin.m[4] = -std::sin(angle);
    spin.m[5] = std::cos(angle);
    Mat4 result;
    result.preMultiply(toFrame);
    result.preMultiply(spin);
    result.preMultiply(fromFrame);
    return result;
}

} // namespace

TEST(Mat4, NewMatrixIsIdentityInColumnMajorLayout) {
    const Mat4 m;
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(m.data()[i], (i == 0 || i == 5 || i == 10 || i == 15) ? 1.0f : 0.0f);
    }
    std::mt19937 rng(1);
    for (int i = 0; i < 20; ++i) {
        const Vec3 p = randomVec3(rng, 1000.0f);
        const Vec3 q = m.transformPoint(p);
        EXPECT_EQ(q.x, p.x);
        EXPECT_EQ(q.y, p.y);
        EXPECT_EQ(q.z, p.z);
    }

    Mat4 dirty;
    for (int i = 0; i < 16; ++i) {
        dirty.m[i] = 7.0f + i;
    }
    dirty.setIdentity();
    expectSameBits(dirty, m);
}

TEST(Mat4, ElementRowIColumnJLivesAtFourJPlusI) {
    Mat4 m;
    for (int i = 0; i < 16; ++i) {
        m.m[i] = 0.0f;
    }
    // Row 0, column 1: x picks up y.  Row 2, column 0: z picks up x.
    m.m[4 * 1 + 0] = 2.0f;
    m.m[4 * 0 + 2] = 3.0f;
    // The bottom row is ignored and nothing is divided.
    m.m[3] = 100.0f;
    m.m[15] = 0.0f;
    const Vec3 q = m.transformPoint(Vec3(5.0f, 7.0f, 11.0f));
    EXPECT_EQ(q.x, 14.0f);
    EXPECT_EQ(q.y, 0.0f);
    EXPECT_EQ(q.z, 15.0f);
}

TEST(Mat4, TranslateMovesPointsButNotVectors) {
    Mat4 m;
    m.translate(Vec3(1.0f, 2.0f, 3.0f));
    EXPECT_EQ(m.m[12], 1.0f);
    EXPECT_EQ(m.m[13], 2.0f);
    EXPECT_EQ(m.m[14], 3.0f);
    const Vec3 p = m.transformPoint(Vec3(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(p.x, 1.0f);
    EXPECT_EQ(p.y, 2.0f);
    EXPECT_EQ(p.z, 3.0f);
    const Vec3 v = m.transformVector(Vec3(4.0f, -5.0f, 6.0f));
    EXPECT_EQ(v.x, 4.0f);
    EXPECT_EQ(v.y, -5.0f);
    EXPECT_EQ(v.z, 6.0f);

    // A translation is applied after: it adds to whatever the matrix did.
    std::mt19937 rng(3);
    Mat4 r = randomRigid(rng);
    const Vec3 point = randomVec3(rng, 10.0f);
    const Vec3 before = r.transformPoint(point);
    r.translate(Vec3(-1.0f, 0.5f, 2.0f));
    expectNearVec(r.transformPoint(point), before + Vec3(-1.0f, 0.5f, 2.0f), 1e-4f);
}

TEST(Mat4, ScalesAreAppliedBeforeTheTransform) {
    Mat4 m;
    m.scaleAxes(Vec3(1.0f, 2.0f, 3.0f));
    const float diagonal[16] = {1, 0, 0, 0, 0, 2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 1};
    EXPECT_EQ(std::memcmp(m.m, diagonal, sizeof(diagonal)), 0);

    std::mt19937 rng(5);
    for (int trial = 0; trial < 50; ++trial) {
        const Mat4 base = randomRigid(rng);
        const Vec3 p = randomVec3(rng, 10.0f);
        const Vec3 s(1.5f, -0.5f, 3.0f);

        Mat4 axes = base;
        axes.scaleAxes(s);
        expectNearVec(axes.transformPoint(p),
                      base.transformPoint(Vec3(p.x * s.x, p.y * s.y, p.z * s.z)), 1e-3f);

        Mat4 uniform = base;
        uniform.scaleLinear(2.0f);
        // The translation is unchanged; only the linear part scales.
        EXPECT_EQ(uniform.m[12], base.m[12]);
        EXPECT_EQ(uniform.m[13], base.m[13]);
        EXPECT_EQ(uniform.m[14], base.m[14]);
        EXPECT_EQ(uniform.m[3], base.m[3]);
        EXPECT_EQ(uniform.m[15], base.m[15]);
        expectNearVec(uniform.transformPoint(p), base.transformPoint(p * 2.0f), 1e-3f);
    }
}

TEST(Mat4, PreMultiplyAppliesTheArgumentAfter) {
    Mat4 shift;
    shift.translate(Vec3(1.0f, 0.0f, 0.0f));
    Mat4 quarterTurn;
    quarterTurn.rotateAboutAxis(zeroVec3(), Vec3(0.0f, 0.0f, 1.0f), pi / 2.0f);

    // shift then turn: the origin goes to (1, 0, 0) and then to (0, 1, 0).
    Mat4 shiftThenTurn = shift;
    shiftThenTurn.preMultiply(quarterTurn);
    expectNearVec(shiftThenTurn.transformPoint(zeroVec3()), Vec3(0.0f, 1.0f, 0.0f), 1e-6f);

    // turn then shift: the origin stays put and then moves to (1, 0, 0).
    Mat4 turnThenShift = quarterTurn;
    turnThenShift.preMultiply(shift);
    expectNearVec(turnThenShift.transformPoint(zeroVec3()), Vec3(1.0f, 0.0f, 0.0f), 1e-6f);

    // In general the product acts like the two transforms in sequence.
    std::mt19937 rng(11);
    for (int trial = 0; trial < 100; ++trial) {
        const Mat4 first = randomRigid(rng);
        const Mat4 second = randomRigid(rng);
        Mat4 both = first;
        both.preMultiply(second);
        const Vec3 p = randomVec3(rng, 20.0f);
        expectNearVec(both.transformPoint(p), second.transformPoint(first.transformPoint(p)),
                      2e-3f);
        const Vec3 v = randomVec3(rng, 1.0f);
        expectNearVec(both.transformVector(v), second.transformVector(first.transformVector(v)),
                      1e-5f);
    }
}

TEST(Mat4, SetAndCopyTakeAllSixteenElements) {
    Mat4 source;
    for (int i = 0; i < 16; ++i) {
        source.m[i] = 0.25f * i - 1.0f;
    }
    Mat4 target;
    target.set(source);
    expectSameBits(target, source);
    const Mat4 copy = source;
    expectSameBits(copy, source);
}

TEST(Mat4, RotationAboutOriginAxes) {
    Mat4 m;
    m.rotateAboutAxis(zeroVec3(), Vec3(0.0f, 0.0f, 1.0f), pi / 2.0f);
    expectNearVec(m.transformPoint(Vec3(1.0f, 0.0f, 0.0f)), Vec3(0.0f, 1.0f, 0.0f), 1e-6f);
    // The axis need not be of unit length: the same matrix, bit for bit.
    Mat4 longAxis;
    longAxis.rotateAboutAxis(zeroVec3(), Vec3(0.0f, 0.0f, 5.0f), pi / 2.0f);
    expectSameBits(longAxis, m);

    // Right-handed about each coordinate axis: x -> y, y -> z, z -> x.
    Mat4 aboutX;
    aboutX.rotateAboutAxis(zeroVec3(), Vec3(1.0f, 0.0f, 0.0f), pi / 2.0f);
    expectNearVec(aboutX.transformPoint(Vec3(0.0f, 1.0f, 0.0f)), Vec3(0.0f, 0.0f, 1.0f), 1e-6f);
    Mat4 aboutY;
    aboutY.rotateAboutAxis(zeroVec3(), Vec3(0.0f, 1.0f, 0.0f), pi / 2.0f);
    expectNearVec(aboutY.transformPoint(Vec3(0.0f, 0.0f, 1.0f)), Vec3(1.0f, 0.0f, 0.0f), 1e-6f);
    // The bottom row is left as the identity's.
    EXPECT_EQ(aboutY.m[3], 0.0f);
    EXPECT_EQ(aboutY.m[7], 0.0f);
    EXPECT_EQ(aboutY.m[11], 0.0f);
    EXPECT_EQ(aboutY.m[15], 1.0f);
}

TEST(Mat4, RotationAboutOffOriginAxis) {
    Mat4 m;
    m.rotateAboutAxis(Vec3(1.0f, 0.0f, 0.0f), Vec3(0.0f, 0.0f, 1.0f), pi / 2.0f);
    expectNearVec(m.transformPoint(Vec3(1.0f, 0.0f, 0.0f)), Vec3(1.0f, 0.0f, 0.0f), 1e-6f);
    expectNearVec(m.transformPoint(Vec3(2.0f, 0.0f, 0.0f)), Vec3(1.0f, 1.0f, 0.0f), 1e-6f);

    // Random lines, angles and points against Rodrigues' formula, applied
    // after an existing transform.
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> angle(-2.0f * pi, 2.0f * pi);
    for (int trial = 0; trial < 200; ++trial) {
        const Vec3 point = randomVec3(rng, 100.0f);
        const Vec3 axis = randomAxis(rng);
        const float theta = angle(rng);
        const Mat4 base = randomRigid(rng);
        Mat4 rotated = base;
        rotated.rotateAboutAxis(point, axis, theta);
        const Vec3 p = randomVec3(rng, 100.0f);
        const Vec3 expected = rodrigues(base.transformPoint(p), point, normalized(axis), theta);
        expectNearVec(rotated.transformPoint(p), expected, 2e-2f);

        // Points on the axis stay where they are.
        Mat4 pure;
        pure.rotateAboutAxis(point, axis, theta);
        const Vec3 onAxis = point + normalized(axis) * 7.0f;
        expectNearVec(pure.transformPoint(onAxis), onAxis, 1e-3f);
    }
}

TEST(Mat4, RotationPicksTheLessAlignedAuxiliaryAxis) {
    const Vec3 unitX(1.0f, 0.0f, 0.0f);
    const Vec3 unitY(0.0f, 1.0f, 0.0f);
    const Vec3 point(0.3f, -1.2f, 2.5f);
    const float theta = 1.0f;

    // Along X only Y works and along Y only X: the other would give NaN.
    Mat4 alongX;
    alongX.rotateAboutAxis(point, unitX, theta);
    expectSameBits(alongX, rotationWithAuxiliary(point, unitX, theta, unitY));
    Mat4 alongY;
    alongY.rotateAboutAxis(point, unitY, theta);
    expectSameBits(alongY, rotationWithAuxiliary(point, unitY, theta, unitX));
    for (int i = 0; i < 16; ++i) {
        EXPECT_FALSE(std::isnan(alongX.m[i]));
        EXPECT_FALSE(std::isnan(alongY.m[i]));
    }

    // Mostly along Y: X is less aligned.  Mostly along X: Y is.
    const Vec3 mostlyY(0.3f, -1.0f, 0.2f);
    Mat4 m1;
    m1.rotateAboutAxis(point, mostlyY, theta);
    expectSameBits(m1, rotationWithAuxiliary(point, mostlyY, theta, unitX));
    const Vec3 mostlyX(-1.0f, 0.3f, 0.2f);
    Mat4 m2;
    m2.rotateAboutAxis(point, mostlyX, theta);
    expectSameBits(m2, rotationWithAuxiliary(point, mostlyX, theta, unitY));

    // Ties take Y. For (1, 1, 0) both frames differ only by sign and give the
    // same bits, so ties with a z component show the choice.
    const Vec3 ties[] = {Vec3(1.0f, 1.0f, 0.0f), Vec3(1.0f, 1.0f, 1.0f), Vec3(1.0f, -1.0f, 0.3f),
                         Vec3(-2.0f, 2.0f, 1.0f)};
    for (const Vec3& tie : ties) {
        Mat4 m;
        m.rotateAboutAxis(point, tie, theta);
        expectSameBits(m, rotationWithAuxiliary(point, tie, theta, unitY));
    }
    // The bit comparison can tell the two choices apart for these ties.
    const Mat4 withX = rotationWithAuxiliary(point, ties[1], theta, unitX);
    const Mat4 withY = rotationWithAuxiliary(point, ties[1], theta, unitY);
    EXPECT_NE(std::memcmp(withX.m, withY.m, sizeof(withX.m)), 0);
}

TEST(Mat4, InvertAffineUndoesRigidTransforms) {
    std::mt19937 rng(2026);
    for (int trial = 0; trial < 500; ++trial) {
        Mat4 original = randomRigid(rng);
        // The bottom row is carried through untouched, whatever it holds.
        original.m[3] = 0.125f;
        original.m[7] = -2.0f;
        original.m[11] = 3.0f;
        original.m[15] = 4.0f;
        Mat4 inverse = original;
        inverse.invertAffine();
        EXPECT_EQ(inverse.m[3], 0.125f);
        EXPECT_EQ(inverse.m[7], -2.0f);
        EXPECT_EQ(inverse.m[11], 3.0f);
        EXPECT_EQ(inverse.m[15], 4.0f);

        // inverse, then the original: the identity. Both bottom rows go back
        // to (0, 0, 0, 1) so that they do not mix into the product.
        Mat4 product = inverse;
        product.m[3] = product.m[7] = product.m[11] = 0.0f;
        product.m[15] = 1.0f;
        original.m[3] = original.m[7] = original.m[11] = 0.0f;
        original.m[15] = 1.0f;
        product.preMultiply(original);
        const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        for (int i : {0, 1, 2, 4, 5, 6, 8, 9, 10}) {
            EXPECT_NEAR(product.m[i], identity[i], 1e-5f) << "trial " << trial << " element " << i;
        }
        for (int i : {12, 13, 14}) {
            EXPECT_NEAR(product.m[i], 0.0f, 1e-3f) << "trial " << trial << " element " << i;
        }
    }
}

TEST(Mat4, InvertAffineHandlesScaleAndShear) {
    // A general affine map: the inverse must use the full adjugate, not the
    // transpose that only works for rotations.
    std::mt19937 rng(31);
    std::uniform_real_distribution<float> entry(-2.0f, 2.0f);
    int tested = 0;
    while (tested < 200) {
        Mat4 m;
        for (int i : {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14}) {
            m.m[i] = entry(rng);
        }
        const float linear[9] = {m.m[0], m.m[4], m.m[8], m.m[1], m.m[5],
                                 m.m[9], m.m[2], m.m[6], m.m[10]};
        const float det = linear[0] * (linear[4] * linear[8] - linear[7] * linear[5]) -
                          linear[1] * (linear[3] * linear[8] - linear[5] * linear[6]) +
                          linear[2] * (linear[3] * linear[7] - linear[4] * linear[6]);
        if (std::fabs(det) < 0.5f) {
            continue;
        }
        ++tested;
        Mat4 inverse = m;
        inverse.invertAffine();
        const Vec3 p = randomVec3(rng, 10.0f);
        expectNearVec(inverse.transformPoint(m.transformPoint(p)), p, 1e-3f);
        expectNearVec(m.transformPoint(inverse.transformPoint(p)), p, 1e-3f);
    }
}

// GL must read Mat4::data exactly as the matrix means it: loading it with
// glMultMatrixf gives back the same sixteen floats, and GL's own translate,
// rotate and scale build the same matrices as ours.
TEST(Mat4, GlReadsTheSameLayout) {
    if (!requireGlContext()) {
        return;
    }
    std::mt19937 rng(8);
    const Mat4 rigid = randomRigid(rng);
    float fromGl[16];
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glMultMatrixf(rigid.data());
    glGetFloatv(GL_MODELVIEW_MATRIX, fromGl);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(fromGl[i], rigid.m[i]) << "element " << i;
    }

    Mat4 ours;
    ours.translate(Vec3(1.0f, 2.0f, 3.0f));
    glLoadIdentity();
    glTranslatef(1.0f, 2.0f, 3.0f);
    glGetFloatv(GL_MODELVIEW_MATRIX, fromGl);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(fromGl[i], ours.m[i]) << "translate, element " << i;
    }

    // GL's rotate is a rotation about the origin, applied before: on the
    // identity that is the same as ours.
    Mat4 turn;
    turn.rotateAboutAxis(zeroVec3(), Vec3(1.0f, 2.0f, -0.5f), 0.7f);
    glLoadIdentity();
    glRotatef(0.7f * 180.0f / pi, 1.0f, 2.0f, -0.5f);
    glGetFloatv(GL_MODELVIEW_MATRIX, fromGl);
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(fromGl[i], turn.m[i], 1e-5f) << "rotate, element " << i;
    }

    // glScalef multiplies on the right, as scaleAxes does.
    Mat4 scaled = rigid;
    scaled.scaleAxes(Vec3(2.0f, 3.0f, 4.0f));
    glLoadIdentity();
    glMultMatrixf(rigid.data());
    glScalef(2.0f, 3.0f, 4.0f);
    glGetFloatv(GL_MODELVIEW_MATRIX, fromGl);
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(fromGl[i], scaled.m[i], 1e-5f) << "scale, element " << i;
    }
    glPopMatrix();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
