#include "engine/simulation/monte_carlo.h"

#include <algorithm>
#include <cfenv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "engine/model/spending.h"
#include "engine/model/wealth_model.h"
#include "engine/parallel.h"
#include "engine/simulation/path_blocks.h"
#include "engine/simulation/path_histograms.h"
#include "engine/simulation/path_lanes.h"
#include "record/results.h"

namespace quorrel {

using engine::Model;
using namespace simulation_detail;

namespace {

// Years of returns whose sum is the lifetime figures' control variate (half
// the lifetime horizon where that is less): a path's ruin in life is decided
// mostly by its early returns. Over 15 years it took the default case's
// standard errors down 1.8-fold, more than over 10, 20 or 30.
constexpr double kControlYears = 15;
constexpr long kBlockPaths = 2048;  // paths a worker takes at a time: a few milliseconds

// A percentile is read by interpolating between the least and greatest value
// its bin received, so that wealth the same on every path (all in cash)
// comes out exact.

// Sums kept exactly in fixed point, so that they do not depend on the order
// in which the threads add their paths.
__extension__ typedef unsigned __int128 Wide;

// llround(ldexp(v, bits)) for |v| 2^bits below 2^63, inline: each path adds
// a score of values, and the library calls cost more than its steps' ends.
// Scaling by a power of two is exact; so is y - trunc(y) below 2^53 (and 0
// above, where y is whole); halves round away from zero as llround's do.
[[gnu::always_inline]] inline std::int64_t fixed_point(double v, int bits) {
    const double y = v * std::ldexp(1.0, bits);
    const auto whole = static_cast<std::int64_t>(y);
    const double part = y - static_cast<double>(whole);
    return whole + (part >= 0.5) - (part <= -0.5);
}

struct FixedSum {
    Wide sum = 0, sum2 = 0;
    // v in [0, 2^(64 - bits)); v^2 kept with half the fractional bits.
    void add(double v, int bits) {
        sum += static_cast<std::uint64_t>(fixed_point(v, bits));
        sum2 += static_cast<std::uint64_t>(fixed_point(v * v, bits / 2));
    }
    void merge(const FixedSum& o) {
        sum += o.sum;
        sum2 += o.sum2;
    }
    // Mean and its standard error over n values.
    McEstimate estimate(long n, int bits) const {
        const double count = static_cast<double>(n);
        const double mean = std::ldexp(static_cast<double>(sum), -bits) / count;
        const double mean2 = std::ldexp(static_cast<double>(sum2), -bits / 2) / count;
        return {mean, std::sqrt(std::max(0.0, mean2 - mean * mean) / count)};
    }
};

constexpr int kProbabilityBits = 56;  // values in [0, 1]
constexpr int kYearsBits = 36;        // up to 2^14 years

__extension__ typedef __int128 SignedWide;

// The mean of a figure y in [0, 1] of each path with a control variate c of
// mean 0 taken out: y - beta c, with beta = cov(y, c) / var(c) from the same
// paths; its standard error is that of the residual. (beta read from the
// sample biases the mean by O(1/n), far inside the standard error.)
struct ControlledSum {
    FixedSum y;
    SignedWide c = 0, cc = 0, yc = 0;
    static constexpr int kBits = 40;  // c of a few units; c^2 below 2^23
    static std::int64_t fixed(double v) { return fixed_point(v, kBits); }
    void add(double yv, double cv) {
        y.add(yv, kProbabilityBits);
        c += fixed(cv);
        cc += fixed(cv * cv);
        yc += fixed(yv * cv);
    }
    void merge(const ControlledSum& o) {
        y.merge(o.y);
        c += o.c;
        cc += o.cc;
        yc += o.yc;
    }
    McEstimate estimate(long n) const {
        const McEstimate plain = y.estimate(n, kProbabilityBits);
        const double count = static_cast<double>(n);
        const auto mean = [&](SignedWide v) {
            return std::ldexp(static_cast<double>(v), -kBits) / count;
        };
        const double mc = mean(c), var_c = mean(cc) - mc * mc;
        if (!(var_c > 0) || n < 2) return plain;
        const double cov = mean(yc) - plain.value * mc;
        const double var_y = plain.standard_error * plain.standard_error * count;
        const double residual = std::max(0.0, var_y - cov * cov / var_c);
        return {std::clamp(plain.value - cov / var_c * mc, 0.0, 1.0), std::sqrt(residual / count)};
    }
};

struct Tally {
    long paths = 0;
    long ruined[4][3] = {};
    long income[20] = {};
    long drawn[4] = {};
    long at_floor[3] = {};
    ControlledSum lifetime[4];
    FixedSum alive;
    FixedSum curve[20];  // guardrails: spending at the income curve's horizons

    void merge(const Tally& o) {
        paths += o.paths;
        for (int r = 0; r < 4; ++r) {
            for (int h = 0; h < 3; ++h) ruined[r][h] += o.ruined[r][h];
            drawn[r] += o.drawn[r];
            lifetime[r].merge(o.lifetime[r]);
        }
        for (int i = 0; i < 20; ++i) income[i] += o.income[i];
        for (int h = 0; h < 3; ++h) at_floor[h] += o.at_floor[h];
        alive.merge(o.alive);
        for (int i = 0; i < 20; ++i) curve[i].merge(o.curve[i]);
    }
};

struct Simulation {
    const Model& model;
    SimulationHorizons horizons;
    PathTables tables;
    const PathKernels& kernels = chosen_path_kernels();
    bool drawn_death = false;
    long paths = 0;
    // Histograms per batch: wealth over today's at the three horizons, then
    // under guardrails spending (years of target income) at them.
    int slots = 3;
    std::array<double, 3> spending_after_ruin{};  // at the horizons, years of target income
    std::array<double, 20> curve_after_ruin{};    // at the income curve's horizons
    // [batch][slot][bin], added to by every thread.
    std::unique_ptr<std::atomic<std::uint32_t>[]> histogram;
    // [slot][bin]: the least and greatest value in the bin, as the bits of
    // a double (which order positive doubles as they are ordered).
    std::unique_ptr<std::atomic<std::uint64_t>[]> bin_least, bin_greatest;

    Simulation(const Model& m, double x0, const SimulationHorizons& h,
               const MonteCarloOptions& options)
        : model(m), horizons(h), drawn_death(options.drawn_death) {
        paths = std::max(1L, options.paths);
        const double dt = simulation_step(m, options);
        const double end = std::max({h.tail, h.lifetime, 30.0});
        // Beyond the last horizon of the lifetime figures, the grid and the
        // income curve only the expected ruin age follows a path: there the
        // steps are twice as long.
        const double fine_end = std::ceil(
            std::max({h.lifetime, 30.0, *std::max_element(h.income.begin(), h.income.end())}));
        const long steps = std::max(1L, std::lround(std::min(end, fine_end) / dt));
        const long tail_steps = end > fine_end ? std::lround((end - fine_end) / (2 * dt)) : 0;
        tables.steps = step_coefficients(m, dt, steps, 2 * dt, tail_steps);
        tables.x0 = x0;
        if (m.spending_follows_wealth()) {
            tables.percent = true;
            tables.rate = m.spending_rate;
            tables.floor = m.spending_floor;
            tables.ceiling = m.spending_ceiling;
        }
        if (m.spending_rule == engine::SpendingRule::guardrails) {
            // The first year's withdrawal rate is the target over today's wealth.
            const double initial = 1 / x0;
            tables.guardrails = true;
            tables.floor = m.spending_floor;
            tables.ceiling = m.spending_ceiling;
            tables.start = std::min(std::max(1.0, m.spending_floor), m.spending_ceiling);
            tables.rail_high = initial * (1 + m.guardrail_upper);
            tables.rail_low = initial * (1 - m.guardrail_lower);
            tables.cut = 1 - m.spending_cut;
            tables.raise = 1 + m.spending_raise;
            slots = 6;
            for (std::size_t h = 0; h < 3; ++h)
                spending_after_ruin[h] = m.annuity_income(kGridHorizons[h]);
            // The curve's horizons fall on the step nearest them, at least the
            // first, so that each is noted once the step is taken.
            for (std::size_t i = 0; i < 20; ++i) {
                tables.income_step[i] = std::max(1L, std::lround(h.income[i] / dt));
                curve_after_ruin[i] = m.annuity_income(h.income[i]);
            }
        }
        for (int j = 0; j < 4; ++j)
            tables.levels[j] = kRuinLevels[static_cast<std::size_t>(3 - j)] * x0;
        for (int i = 0; i < 3; ++i) tables.horizon_step[i] = std::lround(kGridHorizons[i] / dt);
        tables.control_steps = std::lround(std::min(kControlYears, h.lifetime / 2) / dt);
        tables.key[0] = static_cast<std::uint32_t>(options.seed);
        tables.key[1] = static_cast<std::uint32_t>(options.seed >> 32);
        const std::size_t cells = static_cast<std::size_t>(slots) * kAllBins;
        histogram.reset(new std::atomic<std::uint32_t>[kBatches * cells]);
        for (std::size_t b = 0; b < kBatches * cells; ++b) histogram[b] = 0;
        bin_least.reset(new std::atomic<std::uint64_t>[cells]);
        bin_greatest.reset(new std::atomic<std::uint64_t>[cells]);
        for (std::size_t b = 0; b < cells; ++b) {
            bin_least[b] = std::numeric_limits<std::uint64_t>::max();
            bin_greatest[b] = 0;
        }
    }

    double drawn_death_time(std::uint64_t path) const {
        const std::uint32_t counter[4] = {0, static_cast<std::uint32_t>(path),
                                          static_cast<std::uint32_t>(path >> 32), kDeathStream};
        std::uint32_t w[4];
        philox_block(tables.key, counter, w);
        const double u = std::ldexp(static_cast<double>((std::uint64_t{w[0]} << 21) ^ w[1]), -53);
        return model.life().death_time(u, horizons.lifetime);
    }

    // Group g's counts in histogram slot `slot`.
    void group_counts(int slot, int g, std::vector<std::uint64_t>& into) const {
        const std::size_t base =
            (static_cast<std::size_t>(g * slots) + static_cast<std::size_t>(slot)) * kAllBins;
        for (std::size_t b = 0; b < kAllBins; ++b)
            into[b] = histogram[base + b].load(std::memory_order_relaxed);
    }

    void count_path(std::uint64_t p, const PathEnd& end, Tally& tally) {
        const double death = drawn_death ? drawn_death_time(p) : 0;
        // tau by grid row: row r is level kRuinLevels[r], index 3 - r of the path's.
        for (int r = 0; r < 4; ++r) {
            const double t = end.tau[3 - r];
            for (int h = 0; h < 3; ++h) tally.ruined[r][h] += t <= kGridHorizons[h];
            // The chance that the owner outlives the path's first reaching of
            // the level: the lifetime figure given the path.
            tally.lifetime[r].add(
                t < horizons.lifetime ? model.conditional_survival(t, horizons.lifetime) : 0.0,
                end.control);
            if (drawn_death) tally.drawn[r] += t < death;
        }
        for (int i = 0; i < 20; ++i) tally.income[i] += end.tau[3] <= horizons.income[i];
        tally.alive.add(std::min(end.tau[3], horizons.tail), kYearsBits);
        ++tally.paths;
        const std::size_t batch = static_cast<std::size_t>(p % kBatches);
        if (model.spending_follows_wealth() && model.spending_rate > 0) {
            const double floor_wealth = model.spending_floor / model.spending_rate;
            for (int h = 0; h < 3; ++h)
                tally.at_floor[h] += std::max(0.0, end.wealth[h]) * tables.x0 < floor_wealth;
        }
        for (int h = 0; h < 3; ++h) note(batch, h, std::max(0.0, end.wealth[h]));
        if (tables.guardrails) {
            for (int h = 0; h < 3; ++h) {
                // A path that has run out spends its pensions' and annuities'
                // income, and counts as at the floor as under the percent rule.
                const bool ruined = end.tau[3] <= kGridHorizons[static_cast<std::size_t>(h)];
                const double spent = ruined ? spending_after_ruin[h] : end.spending[h];
                tally.at_floor[h] += ruined || spent <= tables.floor;
                note(batch, 3 + h, std::max(0.0, spent));
            }
            for (std::size_t i = 0; i < 20; ++i) {
                const bool ruined = end.tau[3] <= horizons.income[i];
                tally.curve[i].add(std::max(0.0, ruined ? curve_after_ruin[i] : end.curve[i]),
                                   kYearsBits);
            }
        }
    }

    // Adds v to slot `slot`'s histogram of batch `batch`.
    void note(std::size_t batch, int slot, double v) {
        const std::size_t bin = static_cast<std::size_t>(histogram_bin(v));
        histogram[(batch * static_cast<std::size_t>(slots) + static_cast<std::size_t>(slot)) *
                      kAllBins +
                  bin]
            .fetch_add(1, std::memory_order_relaxed);
        const std::size_t at = static_cast<std::size_t>(slot) * kAllBins + bin;
        widen_bin_range(bin_least[at], bin_greatest[at], v);
    }

    // The least and greatest value slot h's bin b received.
    std::pair<double, double> bin_range(int h, int b) const {
        const std::size_t at = static_cast<std::size_t>(h) * kAllBins + static_cast<std::size_t>(b);
        const std::uint64_t bits[2] = {bin_least[at].load(), bin_greatest[at].load()};
        double v[2];
        std::memcpy(v, bits, sizeof v);
        return {v[0], v[1]};
    }

    void run_block(long first, long count, Tally& tally) {
        std::vector<PathEnd> ends(static_cast<std::size_t>(count));
        kernels.follow(tables, static_cast<std::uint64_t>(first), static_cast<int>(count),
                       ends.data());
        for (long i = 0; i < count; ++i)
            count_path(static_cast<std::uint64_t>(first + i), ends[static_cast<std::size_t>(i)],
                       tally);
    }
};

McEstimate proportion(long hits, long n) {
    const double p = static_cast<double>(hits) / static_cast<double>(n);
    return {p, std::sqrt(std::max(0.0, p * (1 - p)) / static_cast<double>(n))};
}

// The ruin probabilities, the income horizons' ruin and the expected ruin age.
void fill_proportions(const Tally& total, double current_age, bool drawn_death,
                      MonteCarloResults& out) {
    const long n = total.paths;
    out.paths = n;
    for (int r = 0; r < 4; ++r) {
        for (int h = 0; h < 3; ++h) out.ruin[r][h] = proportion(total.ruined[r][h], n);
        out.ruin[r][3] = total.lifetime[r].estimate(n);
        if (drawn_death) out.lifetime_drawn_death[r] = proportion(total.drawn[r], n);
    }
    for (int i = 0; i < 20; ++i) out.income_ruin[i] = proportion(total.income[i], n);
    const McEstimate alive = total.alive.estimate(n, kYearsBits);
    out.expected_ruin_age = {current_age + alive.value, alive.standard_error};
}

// The q-quantile (the smallest value with at least q of the sample at or
// below it) of the sample a histogram holds, interpolated
// between the least and greatest value of its bin.
template <class Range>
double histogram_quantile(const std::vector<std::uint64_t>& counts, double q, const Range& range) {
    std::uint64_t n = 0;
    for (std::uint64_t c : counts) n += c;
    if (n == 0) return std::numeric_limits<double>::quiet_NaN();
    const auto rank = static_cast<std::uint64_t>(
        std::clamp<double>(std::ceil(q * static_cast<double>(n)), 1, static_cast<double>(n)));
    std::uint64_t below = 0;
    for (int b = 0; b < kAllBins; ++b) {
        const std::uint64_t c = counts[static_cast<std::size_t>(b)];
        if (below + c < rank) {
            below += c;
            continue;
        }
        const auto [least, greatest] = range(b);
        if (b == 0) return 0;
        const double within = (static_cast<double>(rank - below) - 0.5) / static_cast<double>(c);
        return least + (greatest - least) * within;
    }
    return std::numeric_limits<double>::quiet_NaN();
}

void fill_estates(const Simulation& sim, MonteCarloResults& out) {
    for (int h = 0; h < 3; ++h) {
        const auto range = [&sim, h](int b) { return sim.bin_range(h, b); };
        const auto counts = [&sim, h](int g, std::vector<std::uint64_t>& into) {
            sim.group_counts(h, g, into);
        };
        batched_quartiles(
            sim.paths, counts,
            [&](const std::vector<std::uint64_t>& c, double q) {
                return histogram_quantile(c, q, range);
            },
            out.estate[static_cast<std::size_t>(h)].data());
    }
}

// P(wealth multiple <= v) of the sample a histogram holds, linear between
// the least and greatest value of v's bin; bin 0 (ruin, and wealth below
// kLowest) counts as wealth 0.
template <class Range>
double histogram_below(const std::vector<std::uint64_t>& counts, double v, const Range& range) {
    std::uint64_t n = 0;
    for (std::uint64_t c : counts) n += c;
    if (n == 0) return std::numeric_limits<double>::quiet_NaN();
    double below = static_cast<double>(counts[0]);
    if (v > 0) {
        for (int b = 1; b < kAllBins; ++b) {
            const std::uint64_t c = counts[static_cast<std::size_t>(b)];
            if (c == 0) continue;
            const auto [least, greatest] = range(b);
            if (v >= greatest) {
                below += static_cast<double>(c);
                continue;
            }
            if (v > least) below += static_cast<double>(c) * (v - least) / (greatest - least);
            break;
        }
    }
    return below / static_cast<double>(n);
}

// The spending percentiles (years of target income) by the rule applied to
// the wealth histograms, with standard errors from the groups' spread as
// for the estates, and the share of paths at the floor.
void fill_spending(const Simulation& sim, const Tally& total, MonteCarloResults& out) {
    const Model& m = sim.model;
    const double x0 = sim.tables.x0;
    const bool own = sim.tables.guardrails;  // spending's own histograms
    for (int h = 0; h < 3; ++h) {
        const int slot = own ? 3 + h : h;
        const auto range = [&sim, slot](int b) { return sim.bin_range(slot, b); };
        const auto counts = [&sim, slot](int g, std::vector<std::uint64_t>& into) {
            sim.group_counts(slot, g, into);
        };
        const double income = m.annuity_income(kGridHorizons[static_cast<std::size_t>(h)]);
        const auto quantile = [&](const std::vector<std::uint64_t>& c, double level) {
            if (own) return histogram_quantile(c, level, range);
            const WealthBelow below = [&](double wealth) {
                return histogram_below(c, wealth / x0, range);
            };
            return spending_quantile(m, below, income, level, kHighest * x0);
        };
        batched_quartiles(sim.paths, counts, quantile,
                          out.spending[static_cast<std::size_t>(h)].data());
        out.spending_at_floor[h] = proportion(total.at_floor[h], total.paths);
    }
}

}  // namespace

double simulation_step(const Model& model, const MonteCarloOptions& options) {
    if (options.dt > 0) return options.dt;
    return model.spending_follows_wealth() ? kFirstOrderStep : kFixedSpendingStep;
}

MonteCarloResults simulate_wealth_paths(const Model& model, double x0,
                                        const SimulationHorizons& horizons,
                                        const MonteCarloOptions& options) {
    MonteCarloResults out;
    out.seed = options.seed;
    out.dt = simulation_step(model, options);
    Simulation sim(model, x0, horizons, options);
    Tally total;
    if (!run_path_blocks(
            sim.paths, kBlockPaths, options, total,
            [&sim](long first, long count, Tally& tally) { sim.run_block(first, count, tally); })) {
        out.cancelled = true;
        return out;
    }
    fill_proportions(total, model.current_age, options.drawn_death, out);
    fill_estates(sim, out);
    fill_spending(sim, total, out);
    if (sim.tables.guardrails)
        for (int i = 0; i < 20; ++i)
            out.expected_spending[i] = total.curve[i].estimate(total.paths, kYearsBits);
    return out;
}

MonteCarloResults run_monte_carlo(const AnalysisState& state, const MonteCarloOptions& options) {
    const Model model = Model::from_state(state);
    SimulationHorizons h;
    h.lifetime = model.lifetime_horizon();
    h.tail = model.tail_horizon();
    for (int i = 1; i <= 20; ++i) h.income[i - 1] = expected_income_horizon(state.current_age, i);
    MonteCarloResults out = simulate_wealth_paths(model, state.wealth_ratio, h, options);
    if (out.cancelled) return out;
    for (int i = 0; i < 20; ++i) {
        const double annuity_income = annuity_income_ratio(state, h.income[i]);
        const McEstimate p = out.income_ruin[i];
        out.expected_income[i] = {expected_income_ratio(annuity_income, p.value),
                                  std::fabs(1 - annuity_income) * p.standard_error};
    }
    for (auto& row : out.spending)
        for (McEstimate& e : row) {
            e.value *= state.target_income;
            e.standard_error *= state.target_income;
        }
    return out;
}

}  // namespace quorrel
