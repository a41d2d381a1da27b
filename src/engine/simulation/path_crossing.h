// One path's ruin-level crossings within a step, shared by the vector
// kernels' rare per-path part and the household's scalar paths, so that a
// path crosses a level at the same moment whichever runs it. Internal to the
// including file, as lane_math.h is, since the kernels build it for their
// own instruction set.
#pragma once

#include <cstdint>

#include "engine/simulation/lane_math.h"
#include "engine/simulation/path_lanes.h"

namespace quorrel::simulation_detail {
namespace {

// A single lane: the same functions as the vectors, so a lane's figures are
// the same whichever way they are computed.
typedef double Scalar __attribute__((vector_size(8)));

[[gnu::always_inline]] inline double scalar_exp(double x) { return lane_exp(Scalar{x})[0]; }
[[gnu::always_inline]] inline double scalar_log(double x) { return lane_log(Scalar{x})[0]; }

// The bridge's exponent below which no uniform can be under its chance.
constexpr double kNoUniformBelow = -23.0;

// The uniform of the bridge test of level j at step k of a path.
inline double bridge_uniform(const std::uint32_t key[2], std::uint64_t path, std::uint32_t k,
                             int j) {
    const std::uint32_t counter[4] = {k, static_cast<std::uint32_t>(path),
                                      static_cast<std::uint32_t>(path >> 32), kBridgeStream};
    std::uint32_t out[4];
    philox_block(key, counter, out);
    return (static_cast<double>(out[j]) + 0.5) * 0x1p-32;
}

// Marks the levels (highest first) the step of dt years from t0, from x to
// xn reached: those at or above xn at the linear crossing time, those both
// ends lie above by the Brownian bridge's chance of a dip below, at mid-step.
// uniform(j) is the path's uniform for level j's test at this step.
template <class Uniform>
[[gnu::always_inline]] inline void cross_levels(const double levels[4], double t0, double dt,
                                                double vol2, double x, double xn, int& next,
                                                double* tau, Uniform uniform) {
    while (next < 4) {
        const double l = levels[next];
        if (xn <= l) {
            tau[next++] = t0 + dt * (x - l) / (x - xn);
            continue;
        }
        double exponent;
        if (l > 0) {
            // ln(x/l) ln(xn/l) is at least (x - l)(xn - l)/(x xn): a cheap screen.
            if (2 * (x - l) * (xn - l) > 40 * vol2 * x * xn) return;
            exponent = -2 * scalar_log(x / l) * scalar_log(xn / l) / vol2;
        } else {
            if (2 * xn > 40 * x * vol2) return;
            exponent = -2 * xn / (x * vol2);
        }
        // A bridge uniform is at least 2^-33: below e^-23 (1.03e-10) no
        // uniform is under the chance, so none need be drawn.
        if (exponent < kNoUniformBelow) return;
        if (!(uniform(next) < scalar_exp(exponent))) return;
        tau[next++] = t0 + 0.5 * dt;
    }
}

}  // namespace
}  // namespace quorrel::simulation_detail
