// The path kernel for one GCC vector type of doubles. Included only by the
// path_lanes_<instruction set>.cpp files, after path_lanes_prelude.h, so that
// everything here is built for that file's instruction set; all of it has
// internal linkage, so no copy built for one set can stand in for another's
// at link time.

#include "engine/simulation/lane_math.h"

namespace quorrel::simulation_detail {
namespace {

template <int Bytes>
struct LaneTypes {
    typedef double V __attribute__((vector_size(Bytes)));
    typedef unsigned long long U __attribute__((vector_size(Bytes)));
    typedef long long M __attribute__((vector_size(Bytes)));
    static constexpr int kLanes = Bytes / 8;
};

// A single lane, for the rare per-path parts: the same functions as the
// vectors, so a lane's figures are the same whichever way they are computed.
typedef double Scalar __attribute__((vector_size(8)));

[[gnu::always_inline]] inline double scalar_exp(double x) { return lane_exp(Scalar{x})[0]; }
[[gnu::always_inline]] inline double scalar_log(double x) { return lane_log(Scalar{x})[0]; }

// Philox 4x32-10 on lanes: each 64-bit lane holds one 32-bit word, so a
// 32 x 32-bit product fits in a lane whole.
template <class U>
[[gnu::always_inline]] inline void philox_lanes(U c[4], std::uint32_t k0, std::uint32_t k1) {
    const U low = U{} + 0xffffffffULL;
    for (int round = 0; round < 10; ++round) {
        const U p0 = c[0] * 0xD2511F53ULL;
        const U p1 = c[2] * 0xCD9E8D57ULL;
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

// Two standard normals per lane for the steps 2j and 2j + 1, by Box-Muller
// from the 52-bit uniforms of one Philox block.
template <int Bytes>
[[gnu::always_inline]] inline void draw_normals(const PathTables& t, typename LaneTypes<Bytes>::U path,
                                                std::uint32_t pair, typename LaneTypes<Bytes>::V& z0,
                                                typename LaneTypes<Bytes>::V& z1) {
    using T = LaneTypes<Bytes>;
    using U = typename T::U;
    using V = typename T::V;
    U c[4] = {U{} + static_cast<unsigned long long>(pair), path & 0xffffffffULL, path >> 32, U{} + static_cast<unsigned long long>(kNormalStream)};
    philox_lanes(c, t.key[0], t.key[1]);
    const U one = U{} + 0x3ff0000000000000ULL;
    const V d1 = reinterpret_cast<V>(one | (c[0] << 20) | (c[1] >> 12));  // [1, 2)
    const V d2 = reinterpret_cast<V>(one | (c[2] << 20) | (c[3] >> 12));
    const V u1 = 2.0 - d1;  // (0, 1]: its logarithm is finite
    const V u2 = d2 - 1.0;  // [0, 1)
    const V radius2 = -2.0 * lane_log(u1);
    V radius;
    for (int l = 0; l < T::kLanes; ++l) radius[l] = __builtin_sqrt(radius2[l]);
    V cosine, sine;
    lane_sincos_turn(u2, cosine, sine);
    z0 = radius * cosine;
    z1 = radius * sine;
}

// The uniform of the bridge test of level j at step k of a path.
inline double bridge_uniform(const PathTables& t, std::uint64_t path, std::uint32_t k, int j) {
    const std::uint32_t counter[4] = {k, static_cast<std::uint32_t>(path),
                                      static_cast<std::uint32_t>(path >> 32), kBridgeStream};
    std::uint32_t out[4];
    philox_block(t.key, counter, out);
    return (static_cast<double>(out[j]) + 0.5) * 0x1p-32;
}

// Marks the levels the step from x to xn (from t0 on) reached: those at or
// above xn at the linear crossing time, those both ends lie above by the
// Brownian bridge's chance of a dip below, at mid-step.
inline void cross_levels(const PathTables& t, const StepCoefficients& c, double x, double xn,
                         std::uint64_t path, std::uint32_t k, int& next, double* tau) {
    const double t0 = static_cast<double>(k) * t.dt;
    while (next < 4) {
        const double l = t.levels[next];
        if (xn <= l) {
            tau[next++] = t0 + t.dt * (x - l) / (x - xn);
            continue;
        }
        double exponent;
        if (l > 0) {
            // ln(x/l) ln(xn/l) is at least (x - l)(xn - l)/(x xn): a cheap screen.
            if (2 * (x - l) * (xn - l) > 40 * c.vol2 * x * xn) return;
            exponent = -2 * scalar_log(x / l) * scalar_log(xn / l) / c.vol2;
        } else {
            if (2 * xn > 40 * x * c.vol2) return;
            exponent = -2 * xn / (x * c.vol2);
        }
        if (!(bridge_uniform(t, path, k, next) < scalar_exp(exponent))) return;
        tau[next++] = t0 + 0.5 * t.dt;
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

template <int Bytes>
void follow_paths(const PathTables& t, std::uint64_t first, int count, PathEnd* end) {
    using T = LaneTypes<Bytes>;
    using V = typename T::V;
    using U = typename T::U;
    using M = typename T::M;
    constexpr int L = T::kLanes;

    U path;
    int next[L];
    V x = V{} + t.x0, level = V{};
    M active = M{};
    for (int l = 0; l < L; ++l) {
        path[l] = first + static_cast<std::uint64_t>(l);
        next[l] = 4;
        if (l >= count) continue;
        PathEnd& e = end[l];
        for (int j = 0; j < 4; ++j) e.tau[j] = __builtin_inf();
        for (int i = 0; i < 3; ++i) e.wealth[i] = 0;
        next[l] = 0;
        while (next[l] < 4 && t.x0 <= t.levels[next[l]]) e.tau[next[l]++] = 0;
        level[l] = next[l] < 4 ? t.levels[next[l]] : 0;
        active[l] = next[l] < 4 ? -1 : 0;
    }
    if (!any_lane(active)) return;

    const long steps = static_cast<long>(t.steps.size());
    int horizon = 0;
    V z_even = V{}, z_odd = V{};
    for (long k = 0; k < steps; ++k) {
        if ((k & 1) == 0) draw_normals<Bytes>(t, path, static_cast<std::uint32_t>(k >> 1), z_even, z_odd);
        const V z = (k & 1) ? z_odd : z_even;
        const StepCoefficients& c = t.steps[static_cast<std::size_t>(k)];
        const V g = lane_exp(c.log_drift + c.vol * z);
        const V xn = g * x + c.half_income * (1.0 + g);
        // A lane needs a closer look only when the step ends at or below its
        // next level or the bridge screen lets the level through.
        const M hit = xn <= level;
        const M above = level > 0.0;
        const M near_above = 2.0 * (x - level) * (xn - level) <= 40.0 * c.vol2 * x * xn;
        const M near_zero = 2.0 * xn <= 40.0 * x * c.vol2;
        const M need = active & (hit | (above & near_above) | (~above & near_zero));
        if (any_lane(need)) {
            for (int l = 0; l < count; ++l) {
                if (!need[l]) continue;
                cross_levels(t, c, x[l], xn[l], path[l], static_cast<std::uint32_t>(k), next[l],
                             end[l].tau);
                level[l] = next[l] < 4 ? t.levels[next[l]] : 0;
                active[l] = next[l] < 4 ? -1 : 0;
            }
        }
        x = active ? xn : V{};
        while (horizon < 3 && k + 1 == t.horizon_step[horizon]) {
            for (int l = 0; l < count; ++l) end[l].wealth[horizon] = x[l] / t.x0;
            ++horizon;
        }
        // Paths that have reached every level ride along at no cost but
        // their lanes' arithmetic; a vector stops once all have.
        if ((k & 31) == 31 && !any_lane(active)) break;
    }
}

template <int Bytes>
const PathKernels& path_kernels_of(const char* name) {
    static const PathKernels kernels{name, Bytes / 8, &follow_paths<Bytes>};
    return kernels;
}

}  // namespace
}  // namespace quorrel::simulation_detail
