// The path kernel for one GCC vector type of doubles. Included only by the
// path_lanes_<instruction set>.cpp files, after path_lanes_prelude.h, so that
// everything here is built for that file's instruction set; all of it has
// internal linkage, so no copy built for one set can stand in for another's
// at link time.

#include "engine/simulation/lane_math.h"
#include "engine/simulation/path_crossing.h"

namespace quorrel::simulation_detail {
namespace {

template <int Bytes>
struct LaneTypes {
    typedef double V __attribute__((vector_size(Bytes)));
    typedef unsigned long long U __attribute__((vector_size(Bytes)));
    typedef long long M __attribute__((vector_size(Bytes)));
    static constexpr int kLanes = Bytes / 8;
};

// Philox 4x32-10 on lanes: each 64-bit lane holds one 32-bit word, so a
// 32 x 32-bit product fits in a lane whole.
template <class U>
[[gnu::always_inline]] inline void philox_lanes(U c[4], std::uint32_t k0, std::uint32_t k1) {
    const U low = U{} + 0xffffffffULL;
    for (int round = 0; round < 10; ++round) {
        // The words are below 2^32; the masks tell the compiler so, and it
        // multiplies 32 by 32 bits, one instruction, rather than 64 by 64.
        const U p0 = (c[0] & low) * 0xD2511F53ULL;
        const U p1 = (c[2] & low) * 0xCD9E8D57ULL;
        const U n0 = (p1 >> 32) ^ c[1] ^ k0;
        const U n2 = (p0 >> 32) ^ c[3] ^ k1;
        c[0] = n0;
        c[1] = p1 & low;
        c[2] = n2;
        c[3] = p0 & low;
        k0 += 0x9E3779B9U;
        k1 += 0xBB67AE85U;
    }
}

// Four standard normals per lane, for the steps 4q .. 4q + 3, by Box-Muller
// on the four 32-bit words of one Philox block taken in pairs: the first of
// a pair gives the radius (a uniform in (0, 1), so its logarithm is finite),
// the second the angle (in [0, 1)). 32-bit uniforms cut the normals off
// beyond 6.66, which a path meets about once in 10^10 draws.
template <int Bytes>
[[gnu::always_inline]] inline void draw_normals(const PathTables& t,
                                                typename LaneTypes<Bytes>::U path,
                                                typename LaneTypes<Bytes>::U quad,
                                                typename LaneTypes<Bytes>::V z[4]) {
    using T = LaneTypes<Bytes>;
    using U = typename T::U;
    using V = typename T::V;
    U c[4] = {quad, path & 0xffffffffULL, path >> 32,
              U{} + static_cast<unsigned long long>(kNormalStream)};
    philox_lanes(c, t.key[0], t.key[1]);
    // A word w below 2^32 put in the low bits of 2^52 gives 2^52 + w exactly.
    const U two52 = U{} + 0x4330000000000000ULL;
    for (int pair = 0; pair < 2; ++pair) {
        const V w_radius = reinterpret_cast<V>(two52 | c[2 * pair]) - 0x1p52;
        const V w_angle = reinterpret_cast<V>(two52 | c[2 * pair + 1]) - 0x1p52;
        const V radius2 = -2.0 * lane_log((w_radius + 0.5) * 0x1p-32);
        V radius;
        for (int l = 0; l < T::kLanes; ++l) radius[l] = __builtin_sqrt(radius2[l]);
        V cosine, sine;
        lane_sincos_turn(w_angle * 0x1p-32, cosine, sine);
        z[2 * pair] = radius * cosine;
        z[2 * pair + 1] = radius * sine;
    }
}

// Whether any lane of a mask is set: the halves ORed together down to one
// lane, a few instructions rather than one extraction per lane.
template <class M, std::size_t... I>
[[gnu::always_inline]] inline auto low_half(M m, std::index_sequence<I...>) {
    return __builtin_shufflevector(m, m, I...);
}
template <class M, std::size_t... I>
[[gnu::always_inline]] inline auto high_half(M m, std::index_sequence<I...>) {
    return __builtin_shufflevector(m, m, (I + sizeof...(I))...);
}
template <class M>
[[gnu::always_inline]] inline bool any_lane(M m) {
    constexpr std::size_t lanes = sizeof(M) / sizeof(long long);
    if constexpr (lanes == 1) {
        return m[0] != 0;
    } else {
        constexpr auto half = std::make_index_sequence<lanes / 2>{};
        return any_lane(low_half(m, half) | high_half(m, half));
    }
}

// Follows paths first .. first + count - 1 together, step by step, in
// groups of kGroup: the paths of a group that still have a level to reach
// sit in a list whose entries are taken `lanes` at a time, and the list
// drops the paths that have ended every fourth step (before each Philox
// block's normals are drawn), so the lanes follow live paths only and every
// path of a step shares that step's coefficients.
constexpr int kGroup = 256;

// The list of a group's live paths, by entry: the path (its index in the
// block), wealth, next level, spending and the normals of the four steps of
// the current Philox block. `Room` leaves space for a last partial vector,
// which reads past the list.
template <int Room>
struct PathList {
    alignas(64) double x[Room], level[Room], spend[Room], control[Room], z[4][Room];
    alignas(64) std::uint64_t path[Room];
    int entry_of[Room];
    int next[kGroup];
    int live = 0;

    // Every path of the group at today's wealth; those already at or below
    // every level end at once.
    void start(const PathTables& t, std::uint64_t first, int count, PathEnd* end) {
        for (int i = 0; i < count; ++i) {
            PathEnd& e = end[i];
            for (int j = 0; j < 4; ++j) e.tau[j] = __builtin_inf();
            for (int h = 0; h < 3; ++h) e.wealth[h] = e.spending[h] = 0;
            e.control = 0;
            if (t.guardrails)
                for (double& v : e.curve) v = 0;
            int n = 0;
            while (n < 4 && t.x0 <= t.levels[n]) e.tau[n++] = 0;
            next[i] = n;
            if (n == 4) continue;
            entry_of[live] = i;
            path[live] = first + static_cast<std::uint64_t>(i);
            x[live] = t.x0;
            spend[live] = t.start;
            control[live] = 0;
            level[live] = t.levels[n];
            ++live;
        }
        for (int r = live; r < Room; ++r) {
            entry_of[r] = 0;
            path[r] = first;
            x[r] = level[r] = spend[r] = control[r] = 0;
        }
    }

    // The paths that have reached all four levels leave the list.
    void drop_ended(PathEnd* end) {
        int kept = 0;
        for (int r = 0; r < live; ++r) {
            if (next[entry_of[r]] == 4) {
                end[entry_of[r]].control = control[r];
                continue;
            }
            entry_of[kept] = entry_of[r];
            path[kept] = path[r];
            x[kept] = x[r];
            level[kept] = level[r];
            spend[kept] = spend[r];
            control[kept] = control[r];
            ++kept;
        }
        for (int r = kept; r < live; ++r) x[r] = level[r] = spend[r] = control[r] = 0;
        live = kept;
    }

    // Wealth and spending at the horizons and the income curve's points.
    void record(const PathTables& t, long k, int& estate, int& curve, PathEnd* end) const {
        if (estate < 3 && k + 1 == t.horizon_step[estate]) {
            for (int r = 0; r < live; ++r) {
                end[entry_of[r]].wealth[estate] = x[r] / t.x0;
                end[entry_of[r]].spending[estate] = spend[r];
            }
            ++estate;
        }
        if (k + 1 == t.control_steps)
            for (int r = 0; r < live; ++r) end[entry_of[r]].control = control[r];
        while (t.guardrails && curve < 20 && k + 1 == t.income_step[curve]) {
            for (int r = 0; r < live; ++r) end[entry_of[r]].curve[curve] = spend[r];
            ++curve;
        }
    }
};

// Wealth at the step's end for the lanes' paths at xv, under the rule's
// spending (`sv`: each path's own under guardrails).
template <int Bytes, class V, class M>
[[gnu::always_inline]] inline V wealth_after_step(const PathTables& t, const StepCoefficients& c,
                                                  V xv, V sv, V g, M gone) {
    if (t.percent) {
        V spend = xv * t.rate;
        spend = spend < t.floor ? V{} + t.floor : spend;
        spend = spend > t.ceiling ? V{} + t.ceiling : spend;
        return gone ? V{} : g * xv + (c.half_income + c.half_dt * (1.0 - spend)) * (1.0 + g);
    }
    if (t.guardrails)
        return gone ? V{} : g * xv + (c.half_income + c.half_dt * (1.0 - sv)) * (1.0 + g);
    return gone ? V{} : g * xv + c.half_income * (1.0 + g);
}

// The yearly review of guardrails spending at wealth xn. A path that has
// run out (wealth 0) is cut, which nothing reads.
template <class V>
[[gnu::always_inline]] inline V reviewed_spending(const PathTables& t, V sv, V xn) {
    const V rate = sv / xn;
    sv = rate > t.rail_high ? sv * t.cut : rate < t.rail_low ? sv * t.raise : sv;
    sv = sv < t.floor ? V{} + t.floor : sv;
    sv = sv > t.ceiling ? V{} + t.ceiling : sv;
    return sv;
}

// The normals of the next four steps (Philox block `quad`) of every live path.
template <int Bytes, class List>
[[gnu::always_inline]] inline void draw_block_normals(const PathTables& t, long quad, List& list) {
    using T = LaneTypes<Bytes>;
    using U = typename T::U;
    using V = typename T::V;
    const U q = U{} + static_cast<unsigned long long>(quad);
    for (int v = 0; v < list.live; v += T::kLanes) {
        U p;
        __builtin_memcpy(&p, list.path + v, sizeof p);
        V zv[4];
        draw_normals<Bytes>(t, p, q, zv);
        for (int j = 0; j < 4; ++j) __builtin_memcpy(list.z[j] + v, &zv[j], sizeof(V));
    }
}

template <int Bytes>
void follow_group(const PathTables& t, std::uint64_t first, int count, PathEnd* end) {
    using T = LaneTypes<Bytes>;
    using V = typename T::V;
    using M = typename T::M;
    constexpr int L = T::kLanes;
    PathList<kGroup + L> list;
    list.start(t, first, count, end);
    double* const x = list.x;
    double* const level = list.level;
    double* const spend = list.spend;

    M lane_index;
    for (int l = 0; l < L; ++l) lane_index[l] = l;
    const long steps = static_cast<long>(t.steps.size());
    int estate = 0, curve = 0;
    for (long k = 0; k < steps && list.live > 0; ++k) {
        const int live = list.live;
        const int phase = static_cast<int>(k & 3);
        if (phase == 0) draw_block_normals<Bytes>(t, k >> 2, list);
        const StepCoefficients& c = t.steps[static_cast<std::size_t>(k)];
        const bool review = t.guardrails && c.review;
        // A path in the list at step k was there before its normal was
        // drawn, so the sum stops at a stopping time and keeps mean 0.
        const bool control = k < t.control_steps;
        bool any_ended = false;
        for (int v = 0; v < live; v += L) {
            V xv, lv, zv, sv;
            __builtin_memcpy(&xv, x + v, sizeof xv);
            __builtin_memcpy(&lv, level + v, sizeof lv);
            __builtin_memcpy(&zv, list.z[phase] + v, sizeof zv);
            __builtin_memcpy(&sv, spend + v, sizeof sv);
            const V g = lane_exp(c.log_drift + c.vol * zv);
            if (control) {
                V cv;
                __builtin_memcpy(&cv, list.control + v, sizeof cv);
                cv += c.vol * zv;
                __builtin_memcpy(list.control + v, &cv, sizeof cv);
            }
            // A path that reached its last level this Philox block stays in
            // the list until the block ends, at wealth 0 and level -1.
            const M gone = lv < 0.0;
            V xn = wealth_after_step<Bytes>(t, c, xv, sv, g, gone);
            // A path needs a closer look only when the step ends at or below
            // its next level or the bridge screen lets the level through.
            const M hit = xn <= lv;
            const M above = lv > 0.0;
            // ln a ln b >= 4 (a - 1)(b - 1) / ((a + 1)(b + 1)) for a, b > 1 also
            // screens out the chances too small for any uniform (the scalar
            // test would compute them and stop), so the figures are the same.
            const M near_above =
                (2.0 * (xv - lv) * (xn - lv) <= 40.0 * c.vol2 * xv * xn) &
                (8.0 * (xv - lv) * (xn - lv) <= -kNoUniformBelow * c.vol2 * (xv + lv) * (xn + lv));
            const M near_zero = 2.0 * xn <= -kNoUniformBelow * xv * c.vol2;
            const M in_list = lane_index < static_cast<long long>(live - v);
            const M need = in_list & ~gone & (hit | (above & near_above) | (~above & near_zero));
            if (any_lane(need)) {
                for (int l = 0; l < L; ++l) {
                    if (!need[l]) continue;
                    const int i = list.entry_of[v + l];
                    const std::uint64_t path = list.path[v + l];
                    const auto step = static_cast<std::uint32_t>(k);
                    cross_levels(t.levels, c.t0, c.dt, c.vol2, xv[l], xn[l], list.next[i],
                                 end[i].tau,
                                 [&](int j) { return bridge_uniform(t.key, path, step, j); });
                    if (list.next[i] < 4) {
                        lv[l] = t.levels[list.next[i]];
                    } else {
                        xn[l] = 0;
                        lv[l] = -1;
                        any_ended = true;
                    }
                }
                __builtin_memcpy(level + v, &lv, sizeof lv);
            }
            __builtin_memcpy(x + v, &xn, sizeof xn);
            if (review) {
                sv = reviewed_spending(t, sv, xn);
                __builtin_memcpy(spend + v, &sv, sizeof sv);
            }
        }
        list.record(t, k, estate, curve, end);
        if (phase == 3 && any_ended) list.drop_ended(end);
    }
}

template <int Bytes>
void follow_paths(const PathTables& t, std::uint64_t first, int count, PathEnd* end) {
    for (int done = 0; done < count; done += kGroup)
        follow_group<Bytes>(t, first + static_cast<std::uint64_t>(done),
                            std::min(kGroup, count - done), end + done);
}

template <int Bytes>
const PathKernels& path_kernels_of(const char* name) {
    static const PathKernels kernels{name, Bytes / 8, &follow_paths<Bytes>};
    return kernels;
}

}  // namespace
}  // namespace quorrel::simulation_detail
