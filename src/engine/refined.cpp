#include "engine/refined.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <exception>
#include <mutex>
#include <locale>
#include <sstream>
#include <thread>
#include <vector>

#include <boost/math/tools/toms748_solve.hpp>

#include "core/errors.h"
#include "core/number_format.h"
#include "engine/wealth_model.h"

namespace quorrel {

using refined::RefinedModel;
using refined::SweepResult;
using refined::SweepSpec;

namespace {

constexpr double kQuantiles[3] = {0.25, 0.5, 0.75};
constexpr double kBaseSpacing = 0.1;
constexpr double kBaseStep = 0.02;

struct SweepTask {
    SweepSpec sweep;
    SweepResult result;
};

// Runs the sweeps on every core, the largest first; the calling thread takes
// part and alone runs the pump. Rethrows the first failure.
void run_sweeps(const RefinedModel& model, std::vector<SweepTask>& tasks, const EventPump& pump) {
    std::vector<std::size_t> order(tasks.size());
    for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
    auto cost = [&](std::size_t k) {
        return tasks[k].sweep.end * tasks[k].sweep.refinement * tasks[k].sweep.refinement;
    };
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return cost(a) > cost(b); });

    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::mutex failure_mutex;
    auto work = [&](bool caller) {
        for (;;) {
            const std::size_t k = next.fetch_add(1);
            if (k >= order.size()) return;
            try {
                SweepTask& task = tasks[order[k]];
                task.result =
                    refined::run_sweep(model, task.sweep, caller ? pump : refined::Pump{});
            } catch (...) {
                std::lock_guard<std::mutex> lock(failure_mutex);
                if (!failure) failure = std::current_exception();
            }
        }
    };
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t helpers = std::min<std::size_t>(cores, tasks.size()) - 1;
    std::vector<std::thread> threads;
    for (std::size_t k = 0; k < helpers; ++k) threads.emplace_back(work, false);
    work(true);
    for (std::thread& t : threads) t.join();
    if (failure) std::rethrow_exception(failure);
}

[[noreturn]] void scheme_failed() {
    throw SolverError(
        "The refined figures could not be computed for these inputs. "
        "Please change some of the inputs.");
}

double checked(double value) {
    if (!std::isfinite(value)) scheme_failed();
    return value;
}

// The wealth multiple below which wealth at snapshot k lies with probability
// q (exhaustion counting as below); 0 when exhaustion alone reaches q. When
// even the top of the grid is not enough, the top's multiple, and *at_top
// (when given) says so.
double quantile_of(const std::function<double(double level)>& below, double x0, double top,
                   double q, bool* at_top = nullptr) {
    auto f = [&](double level) { return below(level) - q; };
    if (at_top != nullptr) *at_top = false;
    const double f0 = f(0);
    if (f0 >= 0) return 0;
    double hi = top;
    double fhi = f(hi);
    if (fhi <= 0) {
        if (at_top != nullptr) *at_top = true;
        return hi / x0;
    }
    std::uintmax_t iterations = 200;
    const auto tol = [x0](double a, double b) {
        return std::fabs(b - a) <= 1e-10 * std::max(1.0, x0);
    };
    const auto root = boost::math::tools::toms748_solve(f, 0.0, hi, f0, fhi, tol, iterations);
    return 0.5 * (root.first + root.second) / x0;
}

}  // namespace

namespace refined {

LevelSweeps sweep_level(const RefinedModel& model, double x0, double barrier, double end,
                        double top, const std::vector<double>& snapshot_times) {
    std::vector<SweepTask> tasks(2);
    for (int r = 0; r < 2; ++r) {
        SweepSpec& sweep = tasks[r].sweep;
        sweep.x0 = x0;
        sweep.barrier = barrier;
        sweep.end = end;
        sweep.dt = kBaseStep;
        sweep.base_spacing = kBaseSpacing;
        sweep.refinement = r + 1;
        sweep.top = top;
        sweep.snapshot_times = snapshot_times;
    }
    run_sweeps(model, tasks, {});
    return {std::move(tasks[0].result), std::move(tasks[1].result)};
}

}  // namespace refined

RefinedValue richardson(double coarse, double fine, double lower, double upper) {
    RefinedValue v;
    v.error_estimate = std::fabs(fine - coarse);
    const double correction = (fine - coarse) / 3;
    double value = fine + correction;
    if (!(value > lower && value < upper) && fine > lower && fine < upper) {
        // The extrapolation would reach a bound: the coarse figure is too far
        // from the limit for the second-order correction to hold.
        value = fine;
    }
    v.value = std::clamp(value, lower, upper);
    return v;
}

std::string refined_scheme_line(const RefinedResults& r) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << "Refined accuracy: Crank-Nicolson forward sweeps at spacings 0.1 and 0.05 and time "
            "steps "
            "0.02 and 0.01 years, Richardson extrapolated; grid to "
         << format_grouped0(r.grid_top) << " years of target income.";
    return text.str();
}

namespace {

// One refined calculation in its steps: the level sweeps at both
// resolutions, their raw figures, and the figures combined and published.
class RefinedCalculation {
public:
    RefinedCalculation(AnalysisState& state, ResultSink& sink, RefinedResults& out)
        : state_(state),
          sink_(sink),
          out_(out),
          model_(RefinedModel::from_state(state)),
          x0_(state.wealth_ratio),
          t_life_(110 - state.current_age),
          t_tail_(t_life_ + 20),
          ruined_now_(!(x0_ > 0) || !std::isfinite(x0_)),
          top_(ruined_now_ ? 0 : refined::sweep_top(model_, x0_, kBaseSpacing, 30)) {
        for (int i = 1; i <= 20; ++i)
            income_horizon_[i - 1] = expected_income_horizon(state.current_age, i);
    }

    void run(const EventPump& pump) {
        out_ = RefinedResults{};
        if (!ruined_now_) {
            make_tasks();
            run_sweeps(model_, tasks_, pump);
            read_sweeps();
        }
        fill_ruin_grid();
        fill_expected_ruin_age();
        publish_ruin_cells();
        fill_estates();
        fill_expected_income();
        out_.record.solver_calls = out_.sweeps;
    }

private:
    // Per resolution, each ruin level; the 0% level also keeps the wealth at
    // the estate horizons and runs to the expected ruin age's horizon.
    void make_tasks() {
        for (int r = 0; r < 2; ++r) {
            for (int level = 0; level < 4; ++level) {
                SweepTask task;
                task.sweep.x0 = x0_;
                task.sweep.barrier = kRuinLevels[level] * x0_;
                task.sweep.end = level == 0 ? std::max(t_tail_, 30.0) : std::max(t_life_, 30.0);
                task.sweep.dt = kBaseStep;
                task.sweep.base_spacing = kBaseSpacing;
                task.sweep.refinement = r + 1;
                task.sweep.top = top_;
                if (level == 0) task.sweep.snapshot_times = {10, 20, 30};
                tasks_.push_back(std::move(task));
            }
        }
    }

    const SweepResult& sweep(int resolution, int level) const {
        return tasks_[resolution * 4 + level].result;
    }

    void read_sweeps() {
        for (int r = 0; r < 2; ++r) {
            for (int level = 0; level < 4; ++level) {
                const SweepResult& res = sweep(r, level);
                for (int h = 0; h < 3; ++h)
                    ruin_[r][level][h] = checked(res.ruin_by(kGridHorizons[h]));
                life_[r][level] = checked(res.lifetime_ruin(model_, t_life_));
                out_.top_loss = std::max(out_.top_loss, res.top_loss_at_last_snapshot);
            }
            const SweepResult& zero = sweep(r, 0);
            unruined_[r] = checked(zero.mean_unruined_time(t_tail_));
            for (int i = 0; i < 20; ++i)
                income_p_[r][i] = checked(zero.ruin_by(income_horizon_[i]));
        }
        out_.coarse_nodes = static_cast<int>(sweep(0, 0).grid.x.size());
        out_.fine_nodes = static_cast<int>(sweep(1, 0).grid.x.size());
        out_.grid_top = sweep(0, 0).grid.x.back();
        out_.sweeps = static_cast<int>(tasks_.size());
    }

    void fill_ruin_grid() {
        ResultsRecord& rec = out_.record;
        for (int level = 0; level < 4; ++level) {
            for (int h = 0; h < 4; ++h) {
                RefinedValue v{1, 0};
                if (!ruined_now_) {
                    v = h < 3 ? richardson(ruin_[0][level][h], ruin_[1][level][h])
                              : richardson(life_[0][level], life_[1][level]);
                }
                rec.ruin_grid[level][h] = v.value;
                out_.ruin_error[level][h] = v.error_estimate;
            }
        }
        state_.ruin_probability_10 = rec.ruin_grid[0][0];
        state_.ruin_probability_20 = rec.ruin_grid[0][1];
        state_.ruin_probability_30 = rec.ruin_grid[0][2];
    }

    void fill_expected_ruin_age() {
        RefinedValue mean{0, 0};
        if (!ruined_now_) mean = richardson(unruined_[0], unruined_[1], 0, t_tail_);
        state_.expected_ruin_age = state_.current_age + mean.value;
        out_.record.expected_ruin_age = state_.expected_ruin_age;
        out_.expected_ruin_age_error = mean.error_estimate;
    }

    void publish(const std::string& cell, const std::string& text) {
        out_.record.cells[cell] = text;
        sink_.publish_result(cell, text);
    }

    // The table's order: the horizons row by row, then the lifetime column.
    void publish_ruin_cells() {
        const auto& names = ruin_cell_names();
        const auto& grid = out_.record.ruin_grid;
        for (int level = 0; level < 4; ++level) {
            for (int h = 0; h < 3; ++h) publish(names[level][h], format_percent1(grid[level][h]));
        }
        for (int level = 0; level < 4; ++level)
            publish(names[level][3], format_percent1(grid[level][3]));
    }

    // The true percentiles of the 0% sweeps' wealth at 10, 20 and 30 years.
    void fill_estates() {
        const auto& names = estate_cell_names();
        for (int h = 0; h < 3; ++h) {
            for (int k = 0; k < 3; ++k) {
                double c = 0, err = 0;
                bool at_top = false;
                if (!ruined_now_) {
                    const SweepResult& coarse = sweep(0, 0);
                    const SweepResult& fine = sweep(1, 0);
                    auto below_coarse = [&](double level) { return coarse.wealth_below(h, level); };
                    auto below_fine = [&](double level) { return fine.wealth_below(h, level); };
                    auto below_combined = [&](double level) {
                        return richardson(coarse.wealth_below(h, level),
                                          fine.wealth_below(h, level))
                            .value;
                    };
                    c = checked(quantile_of(below_combined, x0_, top_, kQuantiles[k], &at_top));
                    err = std::fabs(quantile_of(below_fine, x0_, top_, kQuantiles[k]) -
                                    quantile_of(below_coarse, x0_, top_, kQuantiles[k]));
                }
                out_.record.estate_grid[h][k] = c;
                out_.record.estate_at_grid_limit[h][k] = at_top;
                out_.estate_error[h][k] = err;
                publish(names[h][k], format_plain2(c));
            }
        }
    }

    void fill_expected_income() {
        for (int i = 0; i < 20; ++i) {
            const RefinedValue p =
                ruined_now_ ? RefinedValue{1, 0} : richardson(income_p_[0][i], income_p_[1][i]);
            const double annuity_income = annuity_income_ratio(state_, income_horizon_[i]);
            out_.record.expected_income[i] = expected_income_ratio(annuity_income, p.value);
            out_.expected_income_error[i] = std::fabs(1 - annuity_income) * p.error_estimate;
        }
    }

    AnalysisState& state_;
    ResultSink& sink_;
    RefinedResults& out_;
    const RefinedModel model_;
    const double x0_, t_life_, t_tail_;
    const bool ruined_now_;
    const double top_;
    std::array<double, 20> income_horizon_{};
    std::vector<SweepTask> tasks_;
    // [r][...]: the figures of resolution r (0 coarse, 1 fine).
    double ruin_[2][4][3] = {};
    double life_[2][4] = {};
    double unruined_[2] = {};
    double income_p_[2][20] = {};
};

}  // namespace

void compute_refined_results(AnalysisState& state, ResultSink& sink, RefinedResults& out,
                             const EventPump& pump) {
    RefinedCalculation(state, sink, out).run(pump);
}

RefinedValue refined_lifetime_ruin(const AnalysisState& state) {
    const RefinedModel model = RefinedModel::from_state(state);
    const double x0 = state.wealth_ratio;
    if (!(x0 > 0) || !std::isfinite(x0)) return {1, 0};
    const double t_life = 110 - state.current_age;
    const refined::LevelSweeps sweeps =
        refined::sweep_level(model, x0, 0, t_life, refined::sweep_top(model, x0, kBaseSpacing, 30));
    return richardson(checked(sweeps.coarse.lifetime_ruin(model, t_life)),
                      checked(sweeps.fine.lifetime_ruin(model, t_life)));
}

RefinedLevelZero refined_level_zero(const AnalysisState& state) {
    RefinedLevelZero out;
    const RefinedModel model = RefinedModel::from_state(state);
    const double x0 = state.wealth_ratio;
    if (!(x0 > 0) || !std::isfinite(x0)) {
        out.lifetime = {1, 0};
        for (int h = 0; h < 3; ++h) out.ruin[h] = {1, 0};
        return out;
    }
    const double t_life = 110 - state.current_age;
    const double top = refined::sweep_top(model, x0, kBaseSpacing, 30);
    const refined::LevelSweeps s =
        refined::sweep_level(model, x0, 0, std::max(t_life, 30.0), top, {10, 20, 30});
    out.lifetime = richardson(checked(s.coarse.lifetime_ruin(model, t_life)),
                              checked(s.fine.lifetime_ruin(model, t_life)));
    for (int h = 0; h < 3; ++h) {
        out.ruin[h] = richardson(checked(s.coarse.ruin_by(kGridHorizons[h])),
                                 checked(s.fine.ruin_by(kGridHorizons[h])));
        auto below = [&](const SweepResult& r) {
            return [&r, h](double level) { return r.wealth_below(h, level); };
        };
        auto combined = [&](double level) {
            return richardson(s.coarse.wealth_below(h, level), s.fine.wealth_below(h, level)).value;
        };
        out.median[h].value = checked(quantile_of(combined, x0, top, 0.5));
        out.median[h].error_estimate = std::fabs(quantile_of(below(s.fine), x0, top, 0.5) -
                                                 quantile_of(below(s.coarse), x0, top, 0.5));
    }
    return out;
}

}  // namespace quorrel
