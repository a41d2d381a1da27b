// Wealth and spending over the paths kept as histograms, so that memory does
// not grow with the paths: bin 0 holds ruin and anything below kLowest, the
// last bin anything from kHighest, and kBins bins of equal width in the
// logarithm lie between (a relative width of 0.45%). Paths go to kBatches
// groups (path i to group i mod kBatches): the percentiles come from every
// path, their standard errors from the spread of the groups' percentiles.
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/simulation/monte_carlo.h"

namespace quorrel::simulation_detail {

inline constexpr int kBatches = 32;
inline constexpr int kBins = 4096;
inline constexpr int kAllBins = kBins + 2;
inline constexpr double kLowest = 1e-4, kHighest = 1e4;
inline const double kLogWidth = std::log(kHighest / kLowest) / kBins;

inline int histogram_bin(double v) {
    if (!(v > kLowest)) return 0;
    if (v >= kHighest) return kBins + 1;
    return 1 + std::min(kBins - 1, static_cast<int>(std::log(v / kLowest) / kLogWidth));
}

// Widens a bin's range, kept as the bits of its least and greatest value
// (which order non-negative doubles as they are ordered), to take in v.
inline void widen_bin_range(std::atomic<std::uint64_t>& least, std::atomic<std::uint64_t>& greatest,
                            double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    std::uint64_t low = least.load(std::memory_order_relaxed);
    while (bits < low && !least.compare_exchange_weak(low, bits)) {
    }
    std::uint64_t high = greatest.load(std::memory_order_relaxed);
    while (bits > high && !greatest.compare_exchange_weak(high, bits)) {
    }
}

// The quartiles and median of a histogram slot: counts(g, into) fills group
// g's counts, quantile(counts, q) reads a q-quantile from counts; `paths`
// caps the groups the standard errors are taken over.
template <class Counts, class Quantile>
void batched_quartiles(long paths, Counts counts, Quantile quantile, McEstimate out[3]) {
    constexpr double q[3] = {0.25, 0.5, 0.75};
    const int batches = static_cast<int>(std::min<long>(kBatches, paths));
    std::vector<std::uint64_t> all(kAllBins), group(kAllBins);
    for (int g = 0; g < kBatches; ++g) {
        counts(g, group);
        for (std::size_t b = 0; b < kAllBins; ++b) all[b] += group[b];
    }
    double sum[3] = {}, sum2[3] = {};
    for (int g = 0; g < batches; ++g) {
        counts(g, group);
        for (int k = 0; k < 3; ++k) {
            const double v = quantile(group, q[k]);
            sum[k] += v;
            sum2[k] += v * v;
        }
    }
    for (int k = 0; k < 3; ++k) {
        out[k].value = quantile(all, q[k]);
        const double m = sum[k] / batches;
        const double var = std::max(0.0, (sum2[k] - batches * m * m) / (batches - 1));
        out[k].standard_error =
            batches < 2 ? std::numeric_limits<double>::quiet_NaN() : std::sqrt(var / batches);
    }
}

}  // namespace quorrel::simulation_detail
