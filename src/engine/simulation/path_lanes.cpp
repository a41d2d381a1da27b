#include "engine/simulation/path_lanes.h"

#include <cmath>

#include <Random123/philox.h>

#include "engine/model/model.h"

namespace quorrel::simulation_detail {

const std::vector<const PathKernels*>& supported_path_kernels() {
    static const std::vector<const PathKernels*> sets =
        engine::runnable_sets(sse2_path_kernels(), &avx2_path_kernels, &avx512_path_kernels);
    return sets;
}

const PathKernels& chosen_path_kernels() {
    const PathKernels* set = PathKernelOverride::forced();
    return set ? *set : *supported_path_kernels().back();
}

void philox_block(const std::uint32_t key[2], const std::uint32_t counter[4],
                  std::uint32_t out[4]) {
    const r123::Philox4x32::ctr_type c = {{counter[0], counter[1], counter[2], counter[3]}};
    const r123::Philox4x32::key_type k = {{key[0], key[1]}};
    const r123::Philox4x32::ctr_type r = r123::Philox4x32()(c, k);
    for (int j = 0; j < 4; ++j) out[j] = r[static_cast<std::size_t>(j)];
}

std::vector<StepCoefficients> step_coefficients(const engine::Model& m, double dt, long steps,
                                                double tail_dt, long tail_steps) {
    std::vector<StepCoefficients> table(static_cast<std::size_t>(steps + tail_steps));
    const long per_year = std::max(1L, std::lround(1 / dt));
    const long tail_per_year = tail_steps > 0 ? std::max(1L, std::lround(1 / tail_dt)) : 1;
    for (long k = 0; k < steps + tail_steps; ++k) {
        StepCoefficients& c = table[static_cast<std::size_t>(k)];
        const bool tail = k >= steps;
        c.dt = tail ? tail_dt : dt;
        c.t0 = tail ? static_cast<double>(steps) * dt + static_cast<double>(k - steps) * tail_dt
                    : static_cast<double>(k) * dt;
        c.half_dt = 0.5 * c.dt;
        c.review = tail ? (k - steps + 1) % tail_per_year == 0 : (k + 1) % per_year == 0;
        const double t_mid = tail ? c.t0 + 0.5 * tail_dt : (static_cast<double>(k) + 0.5) * dt;
        const double mu = m.mu(t_mid), sigma = m.sigma(t_mid), e = m.exposure(t_mid);
        c.log_drift = (mu * e - 0.5 * sigma * sigma * e) * c.dt;
        c.vol2 = sigma * sigma * e * c.dt;
        c.vol = std::sqrt(c.vol2);
        c.half_income = 0.5 * m.net_income(t_mid) * c.dt;
    }
    return table;
}

}  // namespace quorrel::simulation_detail
