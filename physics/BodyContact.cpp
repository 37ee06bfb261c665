// BodyContact: swept boxes, the per-body triangle grid, the particle against
// triangle test with its spring-damper and friction, and the merge of the
// reactions.
#include "physics/BodyContact.h"

#include "physics/StepConstants.h"

#include <algorithm>
#include <cmath>
#include <new>

#include <xmmintrin.h>

namespace {

// m: grid cells are about this size (a truck's triangles span a few).
constexpr float cellTarget = 0.75f;
constexpr int largestCells = 16; // per axis
// Grid entries a body may use per triangle before its grid gets coarser.
constexpr int entriesPerTriangle = 64;
// m^2: the skin's square, with a slack of 1 in 1000 on the height for the
// rounding of the test on the unnormalised normal.
constexpr float skinSquared = bodyContactSkin * bodyContactSkin * 1.002f;
// Barycentric slack: a particle on an edge belongs to both triangles.
constexpr float edgeSlack = 1e-4f;
// m: how far a box reaches out around what it holds: triangles meet
// particles up to the depth behind them.
constexpr float reach = bodyContactDepth > bodyContactSkin ? bodyContactDepth : bodyContactSkin;
// m: how much nearer than the reach two bodies' boxes of the sub-step before
// may be for a body to build its grid.
constexpr float recentMargin = 0.1f;
// m: how far any particle may move (on any axis) from where it was when its
// body's grid was built before the grid is built again. The grid's boxes
// are grown by it, so a grid that is kept finds every triangle a new one
// would.
constexpr float motionMargin = 0.1f;

inline const Vec3& at(const Vec3* base, int stride, int i) {
    return *reinterpret_cast<const Vec3*>(reinterpret_cast<const char*>(base) +
                                          static_cast<long>(i) * stride);
}
inline Vec3& at(Vec3* base, int stride, int i) {
    return *reinterpret_cast<Vec3*>(reinterpret_cast<char*>(base) + static_cast<long>(i) * stride);
}

[[gnu::always_inline]] inline void grow(BodyContact::Box& box, const Vec3& p) {
    box.low.x = p.x < box.low.x ? p.x : box.low.x;
    box.low.y = p.y < box.low.y ? p.y : box.low.y;
    box.low.z = p.z < box.low.z ? p.z : box.low.z;
    box.high.x = p.x > box.high.x ? p.x : box.high.x;
    box.high.y = p.y > box.high.y ? p.y : box.high.y;
    box.high.z = p.z > box.high.z ? p.z : box.high.z;
}

// Three floats in four lanes (the last a copy of z, so the lane's min and
// max stay those of z).
[[gnu::always_inline]] inline __m128 lanes(const Vec3& p) {
    return _mm_setr_ps(p.x, p.y, p.z, p.z);
}

BodyContact::Box boxOfLanes(__m128 low, __m128 high) {
    alignas(16) float l[4];
    alignas(16) float h[4];
    _mm_store_ps(l, low);
    _mm_store_ps(h, high);
    BodyContact::Box box;
    box.low = Vec3(l[0], l[1], l[2]);
    box.high = Vec3(h[0], h[1], h[2]);
    return box;
}

BodyContact::Box emptyBox() {
    BodyContact::Box box;
    box.low = Vec3(INFINITY, INFINITY, INFINITY);
    box.high = Vec3(-INFINITY, -INFINITY, -INFINITY);
    return box;
}

bool overlap(const BodyContact::Box& a, const BodyContact::Box& b) {
    return a.low.x <= b.high.x && b.low.x <= a.high.x && a.low.y <= b.high.y &&
           b.low.y <= a.high.y && a.low.z <= b.high.z && b.low.z <= a.high.z;
}

int clampCell(float value, int cells) {
    // NaN and values beyond the grid land in its edge cells.
    if (!(value > 0.0f)) {
        return 0;
    }
    const int cell = static_cast<int>(value);
    return cell < cells ? cell : cells - 1;
}

} // namespace

BodyContact::~BodyContact() {
    release();
}

void BodyContact::release() {
    for (int b = 0; b < bodyTotal; ++b) {
        delete[] scratch[b].cellStart;
        delete[] scratch[b].cellEntries;
        delete[] scratch[b].list;
        delete[] scratch[b].held;
        delete[] scratch[b].ranges;
        delete[] scratch[b].tested;
        delete[] scratch[b].built;
    }
    delete[] scratch;
    scratch = nullptr;
    bodyTotal = 0;
}

bool BodyContact::prepare(const ContactBody* bodies, int bodyCount) {
    release();
    if (bodyCount <= 0) {
        return true;
    }
    scratch = new (std::nothrow) BodyScratch[bodyCount];
    if (!scratch) {
        return false;
    }
    bodyTotal = bodyCount;
    const int cellTotal = largestCells * largestCells * largestCells;
    for (int b = 0; b < bodyCount; ++b) {
        BodyScratch& s = scratch[b];
        s.cellCapacity = cellTotal;
        s.entryCapacity = std::max(1, bodies[b].triangleCount * entriesPerTriangle);
        // Each particle meets each other body at most once per sub-step.
        s.listCapacity = std::max(1, bodies[b].particleCount * (bodyCount - 1));
        s.cellStart = new (std::nothrow) int[cellTotal + 1];
        s.cellEntries = new (std::nothrow) int[s.entryCapacity];
        s.list = new (std::nothrow) Contact[s.listCapacity];
        s.held = new (std::nothrow) Box[std::max(1, bodies[b].triangleCount)];
        s.ranges = new (std::nothrow) int[6 * std::max(1, bodies[b].triangleCount)];
        s.built = new (std::nothrow) Vec3[std::max(1, bodies[b].particleCount)];
        int mostTriangles = 1;
        for (int o = 0; o < bodyCount; ++o) {
            mostTriangles = std::max(mostTriangles, bodies[o].triangleCount);
        }
        s.tested = new (std::nothrow) unsigned[mostTriangles]();
        s.testedCapacity = mostTriangles;
        // Before the first sub-step every body may be near every other.
        for (Box& recent : s.recent) {
            recent.low = Vec3(-INFINITY, -INFINITY, -INFINITY);
            recent.high = Vec3(INFINITY, INFINITY, INFINITY);
        }
        if (!s.cellStart || !s.cellEntries || !s.list || !s.held || !s.ranges || !s.tested ||
            !s.built) {
            release();
            return false;
        }
    }
    return true;
}

void BodyContact::forget() {
    for (int b = 0; b < bodyTotal; ++b) {
        BodyScratch& s = scratch[b];
        for (Box& recent : s.recent) {
            recent.low = Vec3(-INFINITY, -INFINITY, -INFINITY);
            recent.high = Vec3(INFINITY, INFINITY, INFINITY);
        }
        s.gridReady = false;
        s.gridBuilt = false;
    }
}

int BodyContact::contacts(int body) const {
    return scratch[body].listCount;
}

float BodyContact::deepest(int body) const {
    return scratch[body].deepest;
}

void BodyContact::buildBody(int body, const ContactBody* bodies) {
    const ContactBody& self = bodies[body];
    BodyScratch& s = scratch[body];
    // _mm_min_ps and _mm_max_ps keep the box's lane when a position is NaN,
    // as a blown-up particle is left out of the box.
    __m128 low = _mm_set1_ps(INFINITY);
    __m128 high = _mm_set1_ps(-INFINITY);
    for (int i = 0; i < self.particleCount; ++i) {
        const __m128 now = lanes(at(self.positions, self.positionStride, i));
        const __m128 before = lanes(self.previous[i]);
        low = _mm_min_ps(now, _mm_min_ps(before, low));
        high = _mm_max_ps(now, _mm_max_ps(before, high));
    }
    s.box = boxOfLanes(low, high);
    // The grid is built only when another body came near in the sub-step
    // before: its box then is final (this phase writes the other half), and
    // no body moves by the margin in one sub-step below 200 m/s.
    const int parity = s.subSteps & 1;
    s.recent[parity] = s.box;
    ++s.subSteps;
    if (self.triangleCount <= 0) {
        s.gridReady = false;
        return;
    }
    Box near = s.box;
    const Vec3 nearMargin(reach + recentMargin, reach + recentMargin, reach + recentMargin);
    near.low = near.low - nearMargin;
    near.high = near.high + nearMargin;
    bool wanted = false;
    for (int other = 0; other < bodyTotal && !wanted; ++other) {
        wanted = other != body && overlap(near, scratch[other].recent[1 - parity]);
    }
    s.gridReady = false;
    if (!wanted) {
        return;
    }
    // A grid is kept while no particle is further than the margin (on any
    // axis) from where it was at the build: every triangle's box now lies
    // within its box then grown by the margin, which the grid holds and the
    // queries reach out by. Each candidate is tested on the triangle as it
    // is now, and the best one is chosen by a rule that does not depend on
    // the order of the visit, so which sub-step built the grid never
    // changes a result.
    if (s.gridBuilt) {
        const __m128 limit = _mm_set1_ps(motionMargin);
        const __m128 sign = _mm_set1_ps(-0.0f);
        __m128 beyond = _mm_setzero_ps();
        for (int i = 0; i < self.particleCount; ++i) {
            const __m128 moved =
                _mm_andnot_ps(sign, _mm_sub_ps(lanes(at(self.positions, self.positionStride, i)),
                                               lanes(s.built[i])));
            // Not-less-or-equal: NaN counts as beyond.
            beyond = _mm_or_ps(beyond, _mm_cmpnle_ps(moved, limit));
        }
        if (_mm_movemask_ps(beyond) == 0) {
            s.gridReady = true;
            return;
        }
    }
    s.gridBuilt = false;
    for (int i = 0; i < self.particleCount; ++i) {
        s.built[i] = at(self.positions, self.positionStride, i);
    }
    s.triangleBox = emptyBox();
    const Vec3 margin(reach + motionMargin, reach + motionMargin, reach + motionMargin);
    for (int k = 0; k < self.triangleCount; ++k) {
        const SurfaceTriangle& t = self.triangles[k];
        const int corners[3] = {t.a, t.b, t.c};
        Box box = emptyBox();
        for (int corner : corners) {
            grow(box, s.built[corner]);
        }
        grow(s.triangleBox, box.low);
        grow(s.triangleBox, box.high);
        s.held[k].low = box.low - margin;
        s.held[k].high = box.high + margin;
    }
    s.triangleBox.low = s.triangleBox.low - margin;
    s.triangleBox.high = s.triangleBox.high + margin;
    const Vec3 extent = s.triangleBox.high - s.triangleBox.low;
    if (!std::isfinite(extent.x) || !std::isfinite(extent.y) || !std::isfinite(extent.z)) {
        return; // a body that blew up collides with nothing
    }
    const float extents[3] = {extent.x, extent.y, extent.z};
    int cells[3];
    for (int axis = 0; axis < 3; ++axis) {
        cells[axis] = std::clamp(static_cast<int>(extents[axis] / cellTarget) + 1, 1, largestCells);
    }
    for (;;) {
        s.cells[0] = cells[0];
        s.cells[1] = cells[1];
        s.cells[2] = cells[2];
        s.cellSize = Vec3(extent.x / cells[0], extent.y / cells[1], extent.z / cells[2]);
        s.inverseCell =
            Vec3(cells[0] / std::max(extent.x, 1e-6f), cells[1] / std::max(extent.y, 1e-6f),
                 cells[2] / std::max(extent.z, 1e-6f));
        const int cellCount = cells[0] * cells[1] * cells[2];
        std::fill(s.cellStart, s.cellStart + cellCount + 1, 0);
        // Each triangle's cell range, from its box grown by the reach and the
        // margin: a particle's query then looks only in the cells its own
        // path touches, mostly one.
        long total = 0;
        const float inverse[3] = {s.inverseCell.x, s.inverseCell.y, s.inverseCell.z};
        const float origin[3] = {s.triangleBox.low.x, s.triangleBox.low.y, s.triangleBox.low.z};
        for (int k = 0; k < self.triangleCount; ++k) {
            const Box& box = s.held[k];
            const float lows[3] = {box.low.x, box.low.y, box.low.z};
            const float highs[3] = {box.high.x, box.high.y, box.high.z};
            int* range = s.ranges + 6 * k;
            for (int axis = 0; axis < 3; ++axis) {
                range[axis] = clampCell((lows[axis] - origin[axis]) * inverse[axis], cells[axis]);
                range[3 + axis] =
                    clampCell((highs[axis] - origin[axis]) * inverse[axis], cells[axis]);
            }
            total += static_cast<long>(range[3] - range[0] + 1) * (range[4] - range[1] + 1) *
                     (range[5] - range[2] + 1);
        }
        if (total <= s.entryCapacity) {
            // Counting pass, prefix sums, then the fill.
            std::fill(s.cellStart, s.cellStart + cellCount + 1, 0);
            for (int k = 0; k < self.triangleCount; ++k) {
                const int* range = s.ranges + 6 * k;
                for (int z = range[2]; z <= range[5]; ++z) {
                    for (int y = range[1]; y <= range[4]; ++y) {
                        int* row = s.cellStart + 1 + (z * cells[1] + y) * cells[0];
                        for (int x = range[0]; x <= range[3]; ++x) {
                            ++row[x];
                        }
                    }
                }
            }
            for (int c = 0; c < cellCount; ++c) {
                s.cellStart[c + 1] += s.cellStart[c];
            }
            for (int k = 0; k < self.triangleCount; ++k) {
                const int* range = s.ranges + 6 * k;
                for (int z = range[2]; z <= range[5]; ++z) {
                    for (int y = range[1]; y <= range[4]; ++y) {
                        int* row = s.cellStart + (z * cells[1] + y) * cells[0];
                        for (int x = range[0]; x <= range[3]; ++x) {
                            s.cellEntries[row[x]++] = k;
                        }
                    }
                }
            }
            // The fill moved every start to the next cell's; shift back.
            for (int c = cellCount; c > 0; --c) {
                s.cellStart[c] = s.cellStart[c - 1];
            }
            s.cellStart[0] = 0;
            s.gridReady = true;
            s.gridBuilt = true;
            return;
        }
        // Too many entries for the capacity: a coarser grid.
        for (int axis = 0; axis < 3; ++axis) {
            cells[axis] = std::max(1, cells[axis] / 2);
        }
    }
}

bool BodyContact::testParticle(const ContactBody& self, int particle, const ContactBody& other,
                               int otherBody, const BodyScratch& grid, BodyScratch& mine,
                               Contact& best, float& bestDepth) const {
    const Vec3& x = at(self.positions, self.positionStride, particle);
    const Vec3& xp = self.previous[particle];
    Box path;
    path.low = Vec3(std::min(x.x, xp.x), std::min(x.y, xp.y), std::min(x.z, xp.z));
    path.high = Vec3(std::max(x.x, xp.x), std::max(x.y, xp.y), std::max(x.z, xp.z));
    // Against the other body as it is now: its particles' box, grown by the
    // reach, is tighter than the grid's.
    const Box& now = grid.box;
    if (path.high.x < now.low.x - reach || path.low.x > now.high.x + reach ||
        path.high.y < now.low.y - reach || path.low.y > now.high.y + reach ||
        path.high.z < now.low.z - reach || path.low.z > now.high.z + reach ||
        !overlap(path, grid.triangleBox)) {
        return false;
    }
    // The cells of the path itself: the grid's boxes hold the reach and
    // what the triangles may have moved since the build.
    const float lows[3] = {path.low.x - grid.triangleBox.low.x, path.low.y - grid.triangleBox.low.y,
                           path.low.z - grid.triangleBox.low.z};
    const float highs[3] = {path.high.x - grid.triangleBox.low.x,
                            path.high.y - grid.triangleBox.low.y,
                            path.high.z - grid.triangleBox.low.z};
    const float inverse[3] = {grid.inverseCell.x, grid.inverseCell.y, grid.inverseCell.z};
    int low[3];
    int high[3];
    for (int axis = 0; axis < 3; ++axis) {
        low[axis] = clampCell(lows[axis] * inverse[axis], grid.cells[axis]);
        high[axis] = clampCell(highs[axis] * inverse[axis], grid.cells[axis]);
    }
    // A path in one cell meets each triangle once; over several cells the
    // triangles are stamped with a new query number (at its wrap every stamp
    // starts again).
    const bool stamped = low[0] != high[0] || low[1] != high[1] || low[2] != high[2];
    if (stamped && ++mine.query == 0) {
        std::fill(mine.tested, mine.tested + mine.testedCapacity, 0u);
        mine.query = 1;
    }
    bool found = false;
    bool bestCrossed = false;
    float bestHeight = 0.0f;
    int bestIndex = 0;
    for (int cz = low[2]; cz <= high[2]; ++cz) {
        for (int cy = low[1]; cy <= high[1]; ++cy) {
            for (int cx = low[0]; cx <= high[0]; ++cx) {
                const int cell = (cz * grid.cells[1] + cy) * grid.cells[0] + cx;
                for (int e = grid.cellStart[cell]; e < grid.cellStart[cell + 1]; ++e) {
                    const int index = grid.cellEntries[e];
                    // The box the triangle had at the build, grown by the
                    // reach and the margin, holds its box now grown by the
                    // reach: a cheap first look.
                    const Box& held = grid.held[index];
                    if (path.high.x < held.low.x || path.low.x > held.high.x ||
                        path.high.y < held.low.y || path.low.y > held.high.y ||
                        path.high.z < held.low.z || path.low.z > held.high.z) {
                        continue;
                    }
                    if (stamped) {
                        if (mine.tested[index] == mine.query) {
                            continue;
                        }
                        mine.tested[index] = mine.query;
                    }
                    const SurfaceTriangle& t = other.triangles[index];
                    const Vec3& q0 = at(other.positions, other.positionStride, t.a);
                    const Vec3& q1 = at(other.positions, other.positionStride, t.b);
                    const Vec3& q2 = at(other.positions, other.positionStride, t.c);
                    // The triangle's box now, grown by the reach, against the
                    // particle's path.
                    if (path.high.x < std::min({q0.x, q1.x, q2.x}) - reach ||
                        path.low.x > std::max({q0.x, q1.x, q2.x}) + reach ||
                        path.high.y < std::min({q0.y, q1.y, q2.y}) - reach ||
                        path.low.y > std::max({q0.y, q1.y, q2.y}) + reach ||
                        path.high.z < std::min({q0.z, q1.z, q2.z}) - reach ||
                        path.low.z > std::max({q0.z, q1.z, q2.z}) + reach) {
                        continue;
                    }
                    Vec3 n = cross(q1 - q0, q2 - q0);
                    const float area2 = dot(n, n);
                    // Degenerate triangles have no direction to push in.
                    if (!(area2 > 1e-12f)) {
                        continue;
                    }
                    // Before the root: a particle clearly in front of the
                    // skin (the height's square against the skin's, scaled
                    // by the unnormalised normal's, with a slack far above
                    // the rounding) is out of contact.
                    const float raw = dot(n, x - q0);
                    if (raw > 0.0f && raw * raw > skinSquared * area2) {
                        continue;
                    }
                    n = n * (1.0f / std::sqrt(area2));
                    const float height = dot(n, x - q0);
                    if (!(height < bodyContactSkin)) {
                        continue;
                    }
                    const Vec3& p0 = q0;
                    const Vec3 e1 = q1 - q0;
                    const Vec3 e2 = q2 - q0;
                    // Behind the plane: did the particle come through it in
                    // this sub-step? Judged against the triangle where it was.
                    bool crossed = false;
                    Vec3 through = x;
                    if (height < 0.0f) {
                        const Vec3& w0 = other.previous[t.a];
                        const Vec3 nq = cross(other.previous[t.b] - w0, other.previous[t.c] - w0);
                        crossed = dot(nq, xp - w0) >= 0.0f;
                        const float before = dot(n, xp - p0);
                        if (crossed && before > height) {
                            // Where its path meets the plane now.
                            through = xp + (x - xp) * (before / (before - height));
                        }
                    }
                    if (!crossed && height < -bodyContactDepth) {
                        continue;
                    }
                    if (found && (bestCrossed && !crossed)) {
                        continue;
                    }
                    // Of two as high, the lower index: the choice does not
                    // depend on the order the grid visits them in.
                    if (found && bestCrossed == crossed &&
                        (height < bestHeight || (height == bestHeight && index > bestIndex))) {
                        continue;
                    }
                    // Barycentric weights of the point's foot on the plane.
                    const Vec3 r = through - p0;
                    const float d00 = dot(e1, e1);
                    const float d01 = dot(e1, e2);
                    const float d11 = dot(e2, e2);
                    const float d20 = dot(r, e1);
                    const float d21 = dot(r, e2);
                    const float denominator = d00 * d11 - d01 * d01;
                    if (!(denominator > 0.0f)) {
                        continue;
                    }
                    const float wb = (d11 * d20 - d01 * d21) / denominator;
                    const float wc = (d00 * d21 - d01 * d20) / denominator;
                    const float wa = 1.0f - wb - wc;
                    if (wa < -edgeSlack || wb < -edgeSlack || wc < -edgeSlack) {
                        continue;
                    }
                    found = true;
                    bestIndex = index;
                    bestCrossed = crossed;
                    bestHeight = height;
                    best.body = otherBody;
                    best.a = t.a;
                    best.b = t.b;
                    best.c = t.c;
                    // Weights that sum to one, so the reaction is the whole
                    // opposite of the force.
                    const float ca = std::clamp(wa, 0.0f, 1.0f);
                    const float cb = std::clamp(wb, 0.0f, 1.0f);
                    const float cc = std::clamp(wc, 0.0f, 1.0f);
                    const float sum = ca + cb + cc;
                    best.wa = ca / sum;
                    best.wb = cb / sum;
                    best.wc = cc / sum;
                    best.force = n; // the normal, until the force is known
                }
            }
        }
    }
    bestDepth = -bestHeight;
    return found;
}

void BodyContact::collide(int body, const ContactBody* bodies) {
    BodyScratch& s = scratch[body];
    s.listCount = 0;
    s.deepest = 0.0f;
    const ContactBody& self = bodies[body];
    for (int other = 0; other < bodyTotal; ++other) {
        if (other == body || !scratch[other].gridReady ||
            !overlap(s.box, scratch[other].triangleBox)) {
            continue;
        }
        const ContactBody& them = bodies[other];
        for (int i = 0; i < self.particleCount; ++i) {
            Contact c;
            float depth = 0.0f;
            if (!testParticle(self, i, them, other, scratch[other], s, c, depth)) {
                continue;
            }
            const Vec3 n = c.force;
            // Pushed out by the depth below the skin, at most the skin and the
            // depth limit: a particle that went far through is pushed as hard
            // as one at the limit, not harder.
            const float penetration =
                std::min(bodyContactSkin + depth, bodyContactSkin + bodyContactDepth);
            const Vec3 v = at(self.velocities, self.velocityStride, i);
            const Vec3 surfaceVelocity = at(them.velocities, them.velocityStride, c.a) * c.wa +
                                         at(them.velocities, them.velocityStride, c.b) * c.wb +
                                         at(them.velocities, them.velocityStride, c.c) * c.wc;
            const Vec3 relative = v - surfaceVelocity;
            const float closing = dot(relative, n);
            // The triangle's mass at the contact point, weighted as the force
            // is spread, and the pair's reduced mass.
            const float triangleInverse = c.wa * c.wa / them.masses[c.a] +
                                          c.wb * c.wb / them.masses[c.b] +
                                          c.wc * c.wc / them.masses[c.c];
            const float reduced = 1.0f / (1.0f / self.masses[i] + triangleInverse);
            const float stiffness = reduced * bodyContactRate * bodyContactRate;
            const float damping = reduced * 2.0f * bodyContactDampingRatio * bodyContactRate;
            const float stiffening =
                1.0f + std::min(penetration, bodyContactProgressionCap) / bodyContactProgression;
            const float normal = stiffness * penetration * stiffening - damping * closing;
            if (!(normal > 0.0f)) {
                continue; // parting faster than the spring pushes
            }
            Vec3 force = n * normal;
            const Vec3 sliding = relative - n * closing;
            const float speed = std::sqrt(dot(sliding, sliding));
            if (speed > 1e-6f) {
                // At most what stops the sliding within two sub-steps.
                const float stop = reduced * speed / (2.0f * stepconst::timeStep);
                const float friction = std::min(bodyContactFriction * normal, stop);
                force = force - sliding * (friction / speed);
            }
            if (!std::isfinite(force.x) || !std::isfinite(force.y) || !std::isfinite(force.z)) {
                continue;
            }
            Vec3& f = at(self.forces, self.forceStride, i);
            f = f + force;
            c.force = force;
            if (s.listCount < s.listCapacity) {
                s.list[s.listCount++] = c;
            }
            s.deepest = std::max(s.deepest, depth);
        }
    }
}

void BodyContact::merge(int body, const ContactBody* bodies) {
    const ContactBody& self = bodies[body];
    for (int other = 0; other < bodyTotal; ++other) {
        const BodyScratch& s = scratch[other];
        for (int k = 0; k < s.listCount; ++k) {
            const Contact& c = s.list[k];
            if (c.body != body) {
                continue;
            }
            Vec3& fa = at(self.forces, self.forceStride, c.a);
            fa = fa - c.force * c.wa;
            Vec3& fb = at(self.forces, self.forceStride, c.b);
            fb = fb - c.force * c.wb;
            Vec3& fc = at(self.forces, self.forceStride, c.c);
            fc = fc - c.force * c.wc;
        }
    }
}
