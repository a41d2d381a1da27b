#include "engine/simulation/household_simulation.h"

#include <algorithm>
#include <cfenv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/parallel.h"
#include "engine/refined/household.h"
#include "engine/simulation/lane_math.h"
#include "engine/simulation/path_blocks.h"
#include "engine/simulation/path_crossing.h"
#include "engine/simulation/path_histograms.h"
#include "engine/simulation/path_lanes.h"
#include "record/results.h"

namespace quorrel {

using engine::HouseholdModel;
using engine::kHouseholdStates;
using engine::LifeLaw;
using namespace simulation_detail;

namespace {

constexpr long kBlockPaths = 512;

// The estates' histograms as the single life's; here each path adds its
// weight (the chance that someone is alive), in fixed point so that the sums
// do not depend on the order of the threads.
constexpr int kWeightBits = 32;

__extension__ typedef unsigned __int128 Wide;

// A sum and a sum of squares kept exactly in fixed point, the squares with
// as many fractional bits as the values: the chance that a survivor is
// alive near the end of the law is tiny, and so are its squares.
struct FixedSum {
    Wide sum = 0, sum2 = 0;
    static constexpr int kBits = 56;  // values in [0, 1]
    void add(double v) {
        sum += static_cast<std::uint64_t>(std::llround(std::ldexp(v, kBits)));
        sum2 += static_cast<std::uint64_t>(std::llround(std::ldexp(v * v, kBits)));
    }
    void merge(const FixedSum& o) {
        sum += o.sum;
        sum2 += o.sum2;
    }
    McEstimate estimate(long n) const {
        const double count = static_cast<double>(n);
        const double mean = std::ldexp(static_cast<double>(sum), -kBits) / count;
        const double mean2 = std::ldexp(static_cast<double>(sum2), -kBits) / count;
        return {mean, std::sqrt(std::max(0.0, mean2 - mean * mean) / count)};
    }
};

// A ratio of two means, sum a / sum b, kept as FixedSum is, with the
// cross sum its standard error needs (the delta method: the spread of
// a - R b over the mean of b).
struct RatioSum {
    Wide a = 0, b = 0, aa = 0, bb = 0, ab = 0;
    static constexpr int kBits = 56;  // values in [0, 1]
    static std::uint64_t fixed(double v, int bits) {
        return static_cast<std::uint64_t>(std::llround(std::ldexp(v, bits)));
    }
    void add(double va, double vb) {
        a += fixed(va, kBits);
        b += fixed(vb, kBits);
        aa += fixed(va * va, kBits);
        bb += fixed(vb * vb, kBits);
        ab += fixed(va * vb, kBits);
    }
    void merge(const RatioSum& o) {
        a += o.a;
        b += o.b;
        aa += o.aa;
        bb += o.bb;
        ab += o.ab;
    }
    McEstimate estimate(long n) const {
        const double count = static_cast<double>(n);
        const auto mean = [&](Wide v, int bits) {
            return std::ldexp(static_cast<double>(v), -bits) / count;
        };
        const double ma = mean(a, kBits), mb = mean(b, kBits);
        if (!(mb > 0)) return {std::numeric_limits<double>::quiet_NaN(), 0};
        const double r = ma / mb;
        const double spread = mean(aa, kBits) - 2 * r * mean(ab, kBits) + r * r * mean(bb, kBits);
        return {r, std::sqrt(std::max(0.0, spread) / count) / mb};
    }
};

// The four normals of steps 4q .. 4q + 3 of a path: the vector kernels'
// Box-Muller on the same Philox block, one lane.
void draw_normals(const std::uint32_t key[2], std::uint64_t path, std::uint64_t quad, double z[4]) {
    const std::uint32_t counter[4] = {static_cast<std::uint32_t>(quad),
                                      static_cast<std::uint32_t>(path),
                                      static_cast<std::uint32_t>(path >> 32), kNormalStream};
    std::uint32_t w[4];
    philox_block(key, counter, w);
    for (int pair = 0; pair < 2; ++pair) {
        const Scalar radius2 =
            -2.0 * lane_log(Scalar{(static_cast<double>(w[2 * pair]) + 0.5) * 0x1p-32});
        const double radius = __builtin_sqrt(radius2[0]);
        Scalar cosine, sine;
        lane_sincos_turn(Scalar{static_cast<double>(w[2 * pair + 1]) * 0x1p-32}, cosine, sine);
        z[2 * pair] = radius * cosine[0];
        z[2 * pair + 1] = radius * sine[0];
    }
}

struct Tables {
    std::array<std::vector<StepCoefficients>, kHouseholdStates> steps;
    double x0 = 0, dt = 0;
    double levels[4] = {};  // highest first
    long grid_step[3] = {};
    std::uint32_t key[2] = {};
};

// Where a path ended: as the single life's, with its first death.
struct HouseholdPathEnd {
    double tau[4];
    double wealth[3];
    double first_death;
    int survivor;  // the state after the first death
};

struct Tally {
    long paths = 0;
    // Grid rows: among the chance that someone is alive at T, the share
    // ruined by T; at the income horizons, the share of the need lost.
    RatioSum ruin[4][3];
    FixedSum both[4], survivor[4], lifetime[4];
    RatioSum income[20];
    void merge(const Tally& o) {
        paths += o.paths;
        for (int r = 0; r < 4; ++r) {
            for (int h = 0; h < 3; ++h) ruin[r][h].merge(o.ruin[r][h]);
            both[r].merge(o.both[r]);
            survivor[r].merge(o.survivor[r]);
            lifetime[r].merge(o.lifetime[r]);
        }
        for (int i = 0; i < 20; ++i) income[i].merge(o.income[i]);
    }
};

class Simulation {
public:
    Simulation(const HouseholdModel& m, double x0, const HouseholdHorizons& h,
               const MonteCarloOptions& options)
        : model_(m), horizons_(h) {
        paths_ = std::max(1L, options.paths);
        const double dt = options.dt > 0 ? options.dt : kFirstOrderStep;
        const double end = std::max(m.last_horizon(), 30.0);
        const long steps = std::max(1L, std::lround(end / dt));
        for (int s = 0; s < kHouseholdStates; ++s)
            t_.steps[static_cast<std::size_t>(s)] =
                step_coefficients(m.states[static_cast<std::size_t>(s)], dt, steps);
        t_.x0 = x0;
        t_.dt = dt;
        for (int j = 0; j < 4; ++j)
            t_.levels[j] = kRuinLevels[static_cast<std::size_t>(3 - j)] * x0;
        for (int i = 0; i < 3; ++i) t_.grid_step[i] = std::lround(h.grid[i] / dt);
        t_.key[0] = static_cast<std::uint32_t>(options.seed);
        t_.key[1] = static_cast<std::uint32_t>(options.seed >> 32);
        // What a state's ruin takes off the expected income: the need less
        // the state's incomes, as a multiple of the need (none when the
        // incomes cover it).
        for (int i = 0; i < 20; ++i)
            for (int s = 0; s < kHouseholdStates; ++s) {
                const engine::Model& sm = m.states[static_cast<std::size_t>(s)];
                shortfall_[i][s] =
                    sm.withdrawal > 0
                        ? std::max(0.0, 1 - sm.annuity_income(h.income[i]) / sm.withdrawal)
                        : 0.0;
            }
        const std::size_t cells = static_cast<std::size_t>(kBatches) * 3 * kAllBins;
        histogram_.reset(new std::atomic<std::uint64_t>[cells]);
        for (std::size_t b = 0; b < cells; ++b) histogram_[b] = 0;
        least_.reset(new std::atomic<std::uint64_t>[3 * kAllBins]);
        greatest_.reset(new std::atomic<std::uint64_t>[3 * kAllBins]);
        for (std::size_t b = 0; b < 3 * kAllBins; ++b) {
            least_[b] = std::numeric_limits<std::uint64_t>::max();
            greatest_[b] = 0;
        }
    }

    long paths() const { return paths_; }

    void run_block(long first, long count, Tally& tally) {
        for (long i = 0; i < count; ++i) {
            const std::uint64_t p = static_cast<std::uint64_t>(first + i);
            count_path(p, follow(p), tally);
        }
    }

    void fill(const Tally& total, HouseholdSimulationResults& out) const {
        const long n = total.paths;
        MonteCarloResults& f = out.figures;
        f.paths = n;
        for (int r = 0; r < 4; ++r) {
            for (int h = 0; h < 3; ++h) f.ruin[r][h] = total.ruin[r][h].estimate(n);
            f.ruin[r][3] = total.lifetime[r].estimate(n);
            out.lifetime_ruin_both[r] = total.both[r].estimate(n);
            out.lifetime_ruin_survivor[r] = total.survivor[r].estimate(n);
        }
        for (int i = 0; i < 20; ++i) {
            const McEstimate lost = total.income[i].estimate(n);
            f.expected_income[i] = {1 - lost.value, lost.standard_error};
        }
        f.expected_ruin_age = {std::numeric_limits<double>::quiet_NaN(),
                               std::numeric_limits<double>::quiet_NaN()};
        fill_estates(f);
    }

private:
    const LifeLaw& life_of(int state) const {
        return state == engine::kPersonOnly ? model_.person : model_.spouse;
    }

    // The chance that someone of the path's household is alive at t, given
    // its first death.
    double weight(const HouseholdPathEnd& e, double t) const {
        if (t < e.first_death) return 1;
        const LifeLaw& life = life_of(e.survivor);
        return life.truncated_survival(t) / life.truncated_survival(e.first_death);
    }

    // The levels the step from x to xn reached, as the vector kernels mark them.
    void cross_levels(const StepCoefficients& c, double x, double xn, std::uint64_t path, long k,
                      int& next, double* tau) const {
        const auto step = static_cast<std::uint32_t>(k);
        simulation_detail::cross_levels(
            t_.levels, static_cast<double>(k) * t_.dt, t_.dt, c.vol2, x, xn, next, tau,
            [&](int j) { return bridge_uniform(t_.key, path, step, j); });
    }

    HouseholdPathEnd follow(std::uint64_t path) const {
        HouseholdPathEnd e;
        for (double& tau : e.tau) tau = std::numeric_limits<double>::infinity();
        for (double& w : e.wealth) w = 0;
        // The two deaths from one Philox block, 53 bits each.
        const std::uint32_t counter[4] = {0, static_cast<std::uint32_t>(path),
                                          static_cast<std::uint32_t>(path >> 32), kDeathStream};
        std::uint32_t w[4];
        philox_block(t_.key, counter, w);
        const double u_person =
            std::ldexp(static_cast<double>((std::uint64_t{w[0]} << 21) ^ w[1]), -53);
        const double u_spouse =
            std::ldexp(static_cast<double>((std::uint64_t{w[2]} << 21) ^ w[3]), -53);
        const double d_person = model_.person.death_time(u_person, model_.person.horizon());
        const double d_spouse = model_.spouse.death_time(u_spouse, model_.spouse.horizon());
        e.survivor = d_person <= d_spouse ? engine::kSpouseOnly : engine::kPersonOnly;
        e.first_death = std::min(d_person, d_spouse);

        int next = 0;
        while (next < 4 && t_.x0 <= t_.levels[next]) e.tau[next++] = 0;
        if (next == 4) return e;
        // The state changes at the step boundary nearest the first death;
        // nothing is read after the survivor's horizon.
        const long switch_step = std::lround(e.first_death / t_.dt);
        const long steps =
            std::min(static_cast<long>(t_.steps[0].size()),
                     static_cast<long>(std::ceil(life_of(e.survivor).horizon() / t_.dt)));
        double x = t_.x0;
        double z[4];
        int estate = 0;
        for (long k = 0; k < steps; ++k) {
            if ((k & 3) == 0) draw_normals(t_.key, path, static_cast<std::uint64_t>(k >> 2), z);
            const int state = k < switch_step ? engine::kBoth : e.survivor;
            const StepCoefficients& c =
                t_.steps[static_cast<std::size_t>(state)][static_cast<std::size_t>(k)];
            const double g = scalar_exp(c.log_drift + c.vol * z[k & 3]);
            double xn = g * x + c.half_income * (1.0 + g);
            const double l = t_.levels[next];
            const bool near = xn <= l || (l > 0 ? 2 * (x - l) * (xn - l) <= 40 * c.vol2 * x * xn
                                                : 2 * xn <= 40 * x * c.vol2);
            if (near) {
                cross_levels(c, x, xn, path, k, next, e.tau);
                if (next == 4) return e;
            }
            x = xn;
            while (estate < 3 && k + 1 == t_.grid_step[estate]) e.wealth[estate++] = x / t_.x0;
        }
        return e;
    }

    void count_path(std::uint64_t p, const HouseholdPathEnd& e, Tally& tally) {
        const LifeLaw& survivor = life_of(e.survivor);
        const double survivor_at_first = survivor.truncated_survival(e.first_death);
        for (int r = 0; r < 4; ++r) {
            const double tau = e.tau[3 - r];
            for (int h = 0; h < 3; ++h) {
                const double T = horizons_.grid[h];
                const double w = weight(e, T);
                tally.ruin[r][h].add(tau <= T ? w : 0.0, w);
            }
            const double both = tau < e.first_death ? 1.0 : 0.0;
            const double after = !(tau < e.first_death) && tau < survivor.horizon()
                                     ? survivor.truncated_survival(tau) / survivor_at_first
                                     : 0.0;
            tally.both[r].add(both);
            tally.survivor[r].add(after);
            tally.lifetime[r].add(both + after);
        }
        for (int i = 0; i < 20; ++i) {
            const double T = horizons_.income[i];
            const int state = T < e.first_death ? engine::kBoth : e.survivor;
            const double w = weight(e, T);
            tally.income[i].add(e.tau[3] <= T ? w * shortfall_[i][state] : 0.0, w);
        }
        ++tally.paths;
        const std::size_t batch = static_cast<std::size_t>(p % kBatches);
        for (int h = 0; h < 3; ++h) {
            const double w = weight(e, horizons_.grid[h]);
            if (!(w > 0)) continue;
            const double v = std::max(0.0, e.wealth[h]);
            const std::size_t bin = static_cast<std::size_t>(histogram_bin(v));
            histogram_[(batch * 3 + static_cast<std::size_t>(h)) * kAllBins + bin].fetch_add(
                static_cast<std::uint64_t>(std::llround(std::ldexp(w, kWeightBits))),
                std::memory_order_relaxed);
            const std::size_t at = static_cast<std::size_t>(h) * kAllBins + bin;
            widen_bin_range(least_[at], greatest_[at], v);
        }
    }

    // The q-quantile of the weighted sample a histogram holds, interpolated
    // by weight between the least and greatest value its bin received.
    double quantile(int h, const std::vector<std::uint64_t>& weights, double q) const {
        std::uint64_t total = 0;
        for (std::uint64_t w : weights) total += w;
        if (total == 0) return std::numeric_limits<double>::quiet_NaN();
        const double rank = q * static_cast<double>(total);
        double below = 0;
        for (int b = 0; b < kAllBins; ++b) {
            const double w = static_cast<double>(weights[static_cast<std::size_t>(b)]);
            if (w == 0 || below + w < rank) {
                below += w;
                continue;
            }
            if (b == 0) return 0;
            const std::size_t at =
                static_cast<std::size_t>(h) * kAllBins + static_cast<std::size_t>(b);
            const std::uint64_t bits[2] = {least_[at].load(), greatest_[at].load()};
            double range[2];
            std::memcpy(range, bits, sizeof range);
            const double within = std::clamp((rank - below) / w, 0.0, 1.0);
            return range[0] + (range[1] - range[0]) * within;
        }
        return std::numeric_limits<double>::quiet_NaN();
    }

    void fill_estates(MonteCarloResults& out) const {
        for (int h = 0; h < 3; ++h) {
            const auto counts = [&](int g, std::vector<std::uint64_t>& into) {
                const std::size_t base =
                    (static_cast<std::size_t>(g) * 3 + static_cast<std::size_t>(h)) * kAllBins;
                for (std::size_t b = 0; b < kAllBins; ++b)
                    into[b] = histogram_[base + b].load(std::memory_order_relaxed);
            };
            batched_quartiles(
                paths_, counts,
                [&](const std::vector<std::uint64_t>& w, double q) { return quantile(h, w, q); },
                out.estate[static_cast<std::size_t>(h)].data());
        }
    }

    const HouseholdModel& model_;
    HouseholdHorizons horizons_;
    Tables t_;
    long paths_ = 0;
    double shortfall_[20][kHouseholdStates] = {};
    std::unique_ptr<std::atomic<std::uint64_t>[]> histogram_;         // [batch][horizon][bin]
    std::unique_ptr<std::atomic<std::uint64_t>[]> least_, greatest_;  // [horizon][bin]
};

}  // namespace

HouseholdSimulationResults simulate_household_paths(const HouseholdModel& model, double x0,
                                                    const HouseholdHorizons& horizons,
                                                    const MonteCarloOptions& options) {
    HouseholdSimulationResults out;
    out.figures.seed = options.seed;
    out.figures.dt = options.dt > 0 ? options.dt : kFirstOrderStep;
    Simulation sim(model, x0, horizons, options);
    Tally total;
    if (!run_path_blocks(
            sim.paths(), kBlockPaths, options, total,
            [&sim](long first, long count, Tally& tally) { sim.run_block(first, count, tally); })) {
        out.figures.cancelled = true;
        return out;
    }
    sim.fill(total, out);
    return out;
}

HouseholdSimulationResults run_household_monte_carlo(const AnalysisState& state,
                                                     const MonteCarloOptions& options) {
    const HouseholdModel model = HouseholdModel::from_state(state);
    HouseholdHorizons h;
    for (int i = 0; i < 3; ++i) h.grid[i] = household_reading_time(model, kGridHorizons[i]);
    for (int i = 1; i <= 20; ++i)
        h.income[i - 1] =
            household_reading_time(model, expected_income_horizon(state.current_age, i));
    return simulate_household_paths(model, state.wealth_ratio, h, options);
}

}  // namespace quorrel
