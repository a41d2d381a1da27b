// The simulation as it was before the path lanes (one path at a time, a
// Mersenne Twister per block of paths, a drawn death per path), kept for the
// benchmark to time beside the current one until the comparison is recorded.
#include "old_simulation.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include <boost/random/mersenne_twister.hpp>
#include <boost/random/normal_distribution.hpp>
#include <boost/random/uniform_01.hpp>

#include "record/results.h"
#include "engine/model/wealth_model.h"

namespace quorrel::old_simulation {

using engine::Model;

namespace {

// Paths are simulated in blocks with their own generator, seeded from the
// seed and the block number, so the figures do not depend on the threads.
constexpr long kBlockPaths = 1024;
constexpr int kBatches = 32;  // groups of blocks for the percentiles' standard errors
constexpr double kNever = std::numeric_limits<double>::infinity();

std::uint64_t splitmix64(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

// Per time step, the same for every path: log growth and its volatility of
// the growth factor, and half the net income of the step.
struct StepCoefficients {
    double log_drift;
    double vol;
    double vol2;
    double half_income;
};

// Time of death for a life certain to die before `horizon`, by inverting the
// cumulative hazard lambda t + e^((age - m)/b) (e^(t/b) - 1) with Newton's
// method from the right (it is convex, so the iterates fall monotonically).
double death_time(const Model& m, double u, double horizon) {
    const double s_end = m.survival(horizon);
    const double target = -std::log1p(-u * (1 - s_end));
    const double g = std::exp((m.current_age - m.modal_age) / m.dispersion);
    double t = horizon;
    for (int k = 0; k < 60; ++k) {
        const double e = std::exp(t / m.dispersion);
        const double H = m.lambda * t + g * (e - 1);
        const double dH = m.lambda + g * e / m.dispersion;
        const double next = t - (H - target) / dH;
        if (!(next < t)) break;
        t = std::max(next, 0.0);
        if (std::fabs(H - target) < 1e-13 * std::max(1.0, target)) break;
    }
    return std::min(t, horizon);
}

struct BlockTally {
    long paths = 0;
    long ruined[4][3] = {};
    long lifetime[4] = {};
    long income[20] = {};
    double unruined_time = 0, unruined_time2 = 0;
};

struct Simulation {
    const Model& model;
    double x0;
    SimulationHorizons horizons;
    double dt;
    long steps;
    std::vector<StepCoefficients> coefficients;
    long horizon_step[3];
    std::vector<double> wealth[3];  // X_T / x0 per path, 0 when exhausted before T

    Simulation(const Model& m, double x0_, const SimulationHorizons& h, double dt_,
               long paths)
        : model(m), x0(x0_), horizons(h), dt(dt_) {
        const double end = std::max({h.tail, h.lifetime, 30.0});
        steps = std::max(1L, std::lround(end / dt));
        coefficients.resize(static_cast<std::size_t>(steps));
        for (long k = 0; k < steps; ++k) {
            const double t_mid = (static_cast<double>(k) + 0.5) * dt;
            const double mu = m.mu(t_mid), sigma = m.sigma(t_mid), e = m.exposure(t_mid);
            StepCoefficients& c = coefficients[static_cast<std::size_t>(k)];
            c.log_drift = (mu * e - 0.5 * sigma * sigma * e) * dt;
            c.vol2 = sigma * sigma * e * dt;
            c.vol = std::sqrt(c.vol2);
            c.half_income = 0.5 * m.net_income(t_mid) * dt;
        }
        for (int i = 0; i < 3; ++i) {
            horizon_step[i] = std::lround(kGridHorizons[i] / dt);
            wealth[i].assign(static_cast<std::size_t>(paths), 0.0);
        }
    }

    using Rng = boost::random::mt19937_64;

    // Where one path stands: the levels it has reached, by descending level,
    // and when.
    struct PathLevels {
        double level[4];
        double tau[4] = {kNever, kNever, kNever, kNever};
        int next = 0;  // the highest level not reached yet
    };

    // Marks the levels the step from x to xn (from t0 on) reached: those at or
    // above xn at the linear crossing time, those both ends lie above by the
    // Brownian bridge's chance of a dip below, at mid-step.
    void cross_levels(const StepCoefficients& c, double x, double xn, double t0, PathLevels& path,
                      Rng& rng, boost::random::uniform_01<double>& uniform) const {
        while (path.next < 4) {
            const double l = path.level[path.next];
            if (xn <= l) {
                path.tau[path.next++] = t0 + dt * (x - l) / (x - xn);
                continue;
            }
            double exponent;
            if (l > 0) {
                // ln(x/l) ln(xn/l) is at least (x - l)(xn - l)/(x xn): a cheap screen.
                if (2 * (x - l) * (xn - l) > 40 * c.vol2 * x * xn) return;
                exponent = -2 * std::log(x / l) * std::log(xn / l) / c.vol2;
            } else {
                if (2 * xn > 40 * x * c.vol2) return;
                exponent = -2 * xn / (x * c.vol2);
            }
            if (!(uniform(rng) < std::exp(exponent))) return;
            path.tau[path.next++] = t0 + 0.5 * dt;
        }
    }

    // Steps path p until it has reached every level or the last step, noting
    // its wealth at the estate horizons.
    void follow_path(long p, PathLevels& path, Rng& rng,
                     boost::random::normal_distribution<double>& normal,
                     boost::random::uniform_01<double>& uniform) {
        double x = x0;
        while (path.next < 4 && x <= path.level[path.next]) path.tau[path.next++] = 0;
        for (long k = 0; k < steps && path.next < 4; ++k) {
            const StepCoefficients& c = coefficients[static_cast<std::size_t>(k)];
            const double g = std::exp(c.log_drift + c.vol * normal(rng));
            const double xn = g * x + c.half_income * (1 + g);
            cross_levels(c, x, xn, static_cast<double>(k) * dt, path, rng, uniform);
            x = path.next == 4 ? 0 : xn;
            for (int i = 0; i < 3; ++i) {
                if (k + 1 == horizon_step[i]) wealth[i][static_cast<std::size_t>(p)] = x / x0;
            }
        }
    }

    void count_path(const PathLevels& path, double death, BlockTally& tally) const {
        // tau by grid row: row r is level kRuinLevels[r] = index 3 - r here.
        for (int r = 0; r < 4; ++r) {
            const double t = path.tau[3 - r];
            for (int h = 0; h < 3; ++h) tally.ruined[r][h] += t <= kGridHorizons[h];
            tally.lifetime[r] += t < death;
        }
        for (int i = 0; i < 20; ++i) tally.income[i] += path.tau[3] <= horizons.income[i];
        const double alive = std::min(path.tau[3], horizons.tail);
        tally.unruined_time += alive;
        tally.unruined_time2 += alive * alive;
        ++tally.paths;
    }

    void run_block(long block, long first, long count, BlockTally& tally) {
        Rng rng(splitmix64(splitmix64(block) ^ seed_mix));
        boost::random::normal_distribution<double> normal;
        boost::random::uniform_01<double> uniform;
        for (long p = first; p < first + count; ++p) {
            if (stop && stop->load(std::memory_order_relaxed)) return;
            const double death = death_time(model, uniform(rng), horizons.lifetime);
            PathLevels path{{kRuinLevels[3] * x0, kRuinLevels[2] * x0, kRuinLevels[1] * x0,
                             kRuinLevels[0] * x0}};
            follow_path(p, path, rng, normal, uniform);
            count_path(path, death, tally);
        }
    }

    std::uint64_t seed_mix = 0;
    const std::atomic<bool>* stop = nullptr;
};

McEstimate proportion(long hits, long n) {
    const double p = static_cast<double>(hits) / static_cast<double>(n);
    return {p, std::sqrt(std::max(0.0, p * (1 - p)) / static_cast<double>(n))};
}

// The q-quantile of the sample (the smallest value with at least q of the
// sample at or below it).
double sample_quantile(std::vector<double>& v, double q) {
    const std::size_t n = v.size();
    std::size_t k = static_cast<std::size_t>(std::ceil(q * static_cast<double>(n)));
    k = std::clamp<std::size_t>(k, 1, n) - 1;
    std::nth_element(v.begin(), v.begin() + static_cast<long>(k), v.end());
    return v[k];
}

// The shared counters of the threads running the blocks of one simulation.
struct BlockQueue {
    long paths, blocks;
    std::atomic<long>& next_block;
    std::atomic<long>& done_paths;
    const std::atomic<bool>& stop;
};

// Runs blocks, taking the next one not yet taken, until none is left or the
// run stops.
void take_blocks(Simulation& sim, const BlockQueue& queue, std::vector<BlockTally>& tallies) {
    for (;;) {
        const long b = queue.next_block.fetch_add(1);
        if (b >= queue.blocks || queue.stop.load()) break;
        const long first = b * kBlockPaths;
        const long count = std::min(kBlockPaths, queue.paths - first);
        sim.run_block(b, first, count, tallies[static_cast<std::size_t>(b)]);
        queue.done_paths.fetch_add(count);
    }
}

// Runs every block over the threads, reporting progress and watching for a
// cancel every 50 ms. False when cancelled; a failure on a thread stops the
// others and is rethrown here.
bool run_blocks(Simulation& sim, long paths, long blocks, const MonteCarloOptions& options,
                std::vector<BlockTally>& tallies) {
    std::atomic<bool> stop{false};
    sim.stop = &stop;
    std::atomic<long> next_block{0};
    std::atomic<long> done_paths{0};
    std::mutex mutex;
    std::condition_variable finished;
    unsigned running = 0;
    std::exception_ptr failure;

    unsigned threads =
        options.threads ? options.threads : std::max(1u, std::thread::hardware_concurrency());
    threads = static_cast<unsigned>(std::min<long>(threads, blocks));
    auto work = [&] {
        try {
            take_blocks(sim, {paths, blocks, next_block, done_paths, stop}, tallies);
        } catch (...) {
            std::lock_guard<std::mutex> lock(mutex);
            if (!failure) failure = std::current_exception();
            stop = true;
        }
        std::lock_guard<std::mutex> lock(mutex);
        --running;
        finished.notify_all();
    };
    std::vector<std::thread> pool;
    running = threads;
    for (unsigned k = 0; k < threads; ++k) pool.emplace_back(work);
    const auto cancelled = [&] { return options.cancel && options.cancel->load(); };
    const auto report = [&] {
        if (options.progress)
            options.progress(static_cast<double>(done_paths.load()) / static_cast<double>(paths));
    };
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (running > 0) {
            finished.wait_for(lock, std::chrono::milliseconds(50));
            if (cancelled()) stop = true;
            if (running == 0) break;
            lock.unlock();
            report();
            if (cancelled()) stop = true;
            lock.lock();
        }
    }
    for (std::thread& t : pool) t.join();
    sim.stop = nullptr;
    if (failure) std::rethrow_exception(failure);
    return !stop.load() && done_paths.load() >= paths;
}

BlockTally sum_of(const std::vector<BlockTally>& tallies) {
    BlockTally total;
    for (const BlockTally& t : tallies) {
        total.paths += t.paths;
        for (int r = 0; r < 4; ++r) {
            for (int h = 0; h < 3; ++h) total.ruined[r][h] += t.ruined[r][h];
            total.lifetime[r] += t.lifetime[r];
        }
        for (int i = 0; i < 20; ++i) total.income[i] += t.income[i];
        total.unruined_time += t.unruined_time;
        total.unruined_time2 += t.unruined_time2;
    }
    return total;
}

// The ruin probabilities, the income horizons' ruin and the expected ruin age.
void fill_proportions(const BlockTally& total, double current_age, MonteCarloResults& out) {
    const long n = total.paths;
    out.paths = n;
    for (int r = 0; r < 4; ++r) {
        for (int h = 0; h < 3; ++h) out.ruin[r][h] = proportion(total.ruined[r][h], n);
        out.ruin[r][3] = proportion(total.lifetime[r], n);
    }
    for (int i = 0; i < 20; ++i) out.income_ruin[i] = proportion(total.income[i], n);
    const double mean = total.unruined_time / static_cast<double>(n);
    const double var = std::max(0.0, total.unruined_time2 / static_cast<double>(n) - mean * mean);
    out.expected_ruin_age = {current_age + mean, std::sqrt(var / static_cast<double>(n))};
}

// The standard error of the q-quantile from the spread of the groups' own
// q-quantiles.
double batch_standard_error(std::vector<std::vector<double>>& groups, double q) {
    const int batches = static_cast<int>(groups.size());
    if (batches < 2) return std::numeric_limits<double>::quiet_NaN();
    double sum = 0, sum2 = 0;
    for (auto& g : groups) {
        const double v = sample_quantile(g, q);
        sum += v;
        sum2 += v * v;
    }
    const double m = sum / batches;
    const double var_b = std::max(0.0, (sum2 - batches * m * m) / (batches - 1));
    return std::sqrt(var_b / batches);
}

// Percentiles from all n paths; standard errors from the spread of the
// percentiles of kBatches groups: of blocks when there are that many, else
// of runs of consecutive paths (every path is drawn independently), so that
// a run of one or a few blocks still has enough groups to estimate a spread.
void fill_estates(Simulation& sim, long n, long blocks, MonteCarloResults& out) {
    const bool by_block = blocks >= kBatches;
    const int batches = static_cast<int>(std::min<long>(kBatches, n));
    const auto group_of = [&](long p) {
        return static_cast<std::size_t>(by_block ? (p / kBlockPaths) % batches
                                                 : p * batches / n);
    };
    const double q[3] = {0.25, 0.5, 0.75};
    for (int h = 0; h < 3; ++h) {
        std::vector<std::vector<double>> groups(static_cast<std::size_t>(batches));
        for (long p = 0; p < n; ++p)
            groups[group_of(p)].push_back(sim.wealth[h][static_cast<std::size_t>(p)]);
        for (int k = 0; k < 3; ++k) {
            out.estate[h][k].value = sample_quantile(sim.wealth[h], q[k]);
            out.estate[h][k].standard_error = batch_standard_error(groups, q[k]);
        }
    }
}

}  // namespace

MonteCarloResults simulate_wealth_paths(const Model& model, double x0,
                                        const SimulationHorizons& horizons,
                                        const MonteCarloOptions& options) {
    MonteCarloResults out;
    out.seed = options.seed;
    // The step the old simulation always took unless told one.
    const double dt = options.dt > 0 ? options.dt : 0.02;
    out.dt = dt;
    const long paths = std::max(1L, options.paths);
    const long blocks = (paths + kBlockPaths - 1) / kBlockPaths;
    Simulation sim(model, x0, horizons, dt, paths);
    sim.seed_mix = splitmix64(options.seed);
    std::vector<BlockTally> tallies(static_cast<std::size_t>(blocks));
    if (!run_blocks(sim, paths, blocks, options, tallies)) {
        out.cancelled = true;
        return out;
    }
    const BlockTally total = sum_of(tallies);
    fill_proportions(total, model.current_age, out);
    fill_estates(sim, total.paths, blocks, out);
    return out;
}

MonteCarloResults run_monte_carlo(const AnalysisState& state, const MonteCarloOptions& options) {
    const Model model = Model::from_state(state);
    SimulationHorizons h;
    h.lifetime = 110 - state.current_age;
    h.tail = h.lifetime + 20;
    for (int i = 1; i <= 20; ++i) h.income[i - 1] = expected_income_horizon(state.current_age, i);
    MonteCarloResults out = old_simulation::simulate_wealth_paths(model, state.wealth_ratio, h, options);
    if (out.cancelled) return out;
    for (int i = 0; i < 20; ++i) {
        const double annuity_income = annuity_income_ratio(state, h.income[i]);
        const McEstimate p = out.income_ruin[i];
        out.expected_income[i] = {expected_income_ratio(annuity_income, p.value),
                                  std::fabs(1 - annuity_income) * p.standard_error};
    }
    return out;
}

}  // namespace quorrel::old_simulation
