#include "engine/refined/refined.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <locale>
#include <sstream>
#include <vector>

#include <boost/math/tools/toms748_solve.hpp>

#include "engine/model/spending.h"
#include "engine/model/wealth_model.h"
#include "engine/refined/calculation_parts.h"

namespace quorrel {

using engine::Model;
using refined::SweepResult;
using refined::SweepSpec;

namespace {

using refined_parts::checked;
using refined_parts::kBaseSpacing;
using refined_parts::kBaseStep;
using refined_parts::kQuantiles;
// Ages in years scale the threshold of the expected ruin age: 0.05 years.
constexpr double kAgeScale = 25;

struct SweepTask {
    SweepSpec sweep;
    SweepResult result;
};

void run_sweeps(const Model& model, std::vector<SweepTask>& tasks, const EventPump& pump) {
    refined_parts::run_costliest_first(
        tasks,
        [](const SweepTask& t) { return t.sweep.end * t.sweep.refinement * t.sweep.refinement; },
        [&](SweepTask& t, const EventPump& p) { t.result = refined::run_sweep(model, t.sweep, p); },
        pump);
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

LevelSweeps sweep_level(const Model& model, double x0, double barrier, double end,
                        double top, const std::vector<double>& snapshot_times, bool finest) {
    std::vector<SweepTask> tasks(finest ? 3 : 2);
    for (std::size_t r = 0; r < tasks.size(); ++r) {
        SweepSpec& sweep = tasks[r].sweep;
        sweep.x0 = x0;
        sweep.barrier = barrier;
        sweep.end = end;
        sweep.dt = kBaseStep;
        sweep.base_spacing = refined_parts::base_spacing(x0, barrier);
        sweep.refinement = 1 << r;
        sweep.top = top;
        sweep.snapshot_times = snapshot_times;
    }
    run_sweeps(model, tasks, {});
    LevelSweeps out{std::move(tasks[0].result), std::move(tasks[1].result), {}};
    if (finest) out.finest = std::move(tasks[2].result);
    return out;
}

double wealth_quantile(const std::function<double(double level)>& below, double x0, double top,
                       double q, bool* at_top) {
    return quantile_of(below, x0, top, q, at_top);
}

double level_top(const Model& model, double x0) {
    return sweep_top(model, x0, kBaseSpacing, std::max(model.tail_horizon(), 30.0));
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

bool needs_finest(const RefinedValue& v, double scale) {
    return !(v.error_estimate <= kFinestThreshold * std::max(1.0, std::fabs(scale)));
}

bool ruin_needs_finest(const std::array<double, 4>& coarse, const std::array<double, 4>& fine) {
    for (int h = 0; h < 4; ++h)
        if (needs_finest(richardson(coarse[h], fine[h]), 1)) return true;
    return false;
}

std::string refined_scheme_line(const RefinedResults& r) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << "Refined accuracy: Crank-Nicolson forward sweeps at spacings 0.1 and 0.05 (or a "
            "40th and an 80th of the distance from today's wealth to a ruin level, where "
            "smaller, down to 0.0025) and time steps 0.02 and 0.01 years, Richardson extrapolated; grid to "
         << format_grouped0(r.grid_top) << " years of target income.";
    static const char* const kLevels[4] = {"0%", "10%", "25%", "50%"};
    std::string further;
    for (int level = 0; level < 4; ++level) {
        if (!r.finest_used[level]) continue;
        further += further.empty() ? "" : ", ";
        further += kLevels[level];
    }
    if (!further.empty()) {
        text << " Figures of the " << further
             << " level" << (further.find(',') == std::string::npos ? "" : "s")
             << " needed a third resolution (a quarter of the coarse spacing and time step).";
    }
    return text.str();
}

namespace {

// One refined calculation in its steps: the level sweeps at two resolutions,
// a third for the levels where a figure's two resolutions disagree by more
// than the threshold, the figures combined, put in order and published.
class RefinedCalculation {
public:
    RefinedCalculation(AnalysisState& state, ResultSink& sink, RefinedResults& out)
        : state_(state),
          sink_(sink),
          out_(out),
          model_(Model::from_state(state)),
          x0_(state.wealth_ratio),
          t_life_(model_.lifetime_horizon()),
          t_tail_(model_.tail_horizon()),
          ruined_now_(!(x0_ > 0) || !std::isfinite(x0_)),
          top_(ruined_now_ ? 0 : refined::level_top(model_, x0_)) {
        for (int i = 1; i <= 20; ++i) {
            income_horizon_[i - 1] = expected_income_horizon(state.current_age, i);
            annuity_income_[i - 1] = annuity_income_ratio(state, income_horizon_[i - 1]);
        }
        for (int h = 0; h < 3; ++h) grid_income_[h] = annuity_income_ratio(state, kGridHorizons[h]);
    }

    void run(const EventPump& pump) {
        out_ = RefinedResults{};
        if (!ruined_now_) {
            for (int level = 0; level < 4; ++level) {
                add_task(0, level);
                add_task(1, level);
            }
            run_sweeps(model_, tasks_, pump);
            for (int r = 0; r < 2; ++r)
                for (int level = 0; level < 4; ++level) read_level(r, level);
            run_finest(pump);
            read_grid_facts();
        }
        fill_ruin_grid();
        fill_expected_ruin_age();
        refined_parts::publish_ruin_cells(out_, sink_);
        fill_estates();
        fill_expected_income();
        fill_spending();
        out_.record.solver_calls = out_.sweeps;
    }

private:
    static constexpr int kNone = -1;

    // Each level runs to the lifetime horizon; the 0% level also keeps the
    // wealth at the estate horizons and runs to the expected ruin age's.
    void add_task(int r, int level) {
        SweepTask task;
        task.sweep.x0 = x0_;
        task.sweep.barrier = kRuinLevels[level] * x0_;
        task.sweep.end = level == 0 ? std::max(t_tail_, 30.0) : std::max(t_life_, 30.0);
        task.sweep.dt = kBaseStep;
        task.sweep.base_spacing = refined_parts::base_spacing(x0_, task.sweep.barrier);
        task.sweep.refinement = 1 << r;
        task.sweep.top = top_;
        if (level == 0) {
            task.sweep.snapshot_times = {10, 20, 30};
            // The percent rule's expected spending needs wealth at the
            // income curve's horizons too.
            if (model_.spending_follows_wealth())
                for (double T : income_horizon_) task.sweep.snapshot_times.push_back(T);
        }
        index_[r][level] = static_cast<int>(tasks_.size());
        tasks_.push_back(std::move(task));
    }

    bool has(int r, int level) const { return index_[r][level] != kNone; }
    const SweepResult& sweep(int r, int level) const { return tasks_[index_[r][level]].result; }

    void read_level(int r, int level) {
        const SweepResult& res = sweep(r, level);
        for (int h = 0; h < 3; ++h) ruin_[r][level][h] = checked(res.ruin_by(kGridHorizons[h]));
        life_[r][level] = checked(res.lifetime_ruin(model_, t_life_));
        out_.top_loss = std::max(out_.top_loss, res.top_loss);
        out_.mass_defect = std::max(out_.mass_defect, res.mass_defect);
        if (level != 0) return;
        unruined_[r] = checked(res.mean_unruined_time(t_tail_));
        for (int i = 0; i < 20; ++i) income_p_[r][i] = checked(res.ruin_by(income_horizon_[i]));
        for (int h = 0; h < 3; ++h)
            for (int k = 0; k < 3; ++k) quantile_[r][h][k] = quantile(r, r, h, k);
        read_spending(r);
    }

    // Resolution r's spending figures (years of target income).
    void read_spending(int r) {
        const SweepResult& res = sweep(r, 0);
        for (int h = 0; h < 3; ++h) {
            const WealthBelow below = [&res, h](double level) { return res.wealth_below(h, level); };
            for (int k = 0; k < 3; ++k)
                spend_q_[r][h][k] =
                    checked(spending_quantile(model_, below, grid_income_[h], kQuantiles[k], top_));
            at_floor_[r][h] = checked(spending_at_floor(model_, below));
        }
        const auto spending = [this](double x) { return model_.spending(x); };
        for (int i = 0; i < 20; ++i) {
            const double p = income_p_[r][i], A = annuity_income_[i];
            exp_spend_[r][i] =
                model_.spending_follows_wealth()
                    ? checked(p * A + res.expectation_unruined(3 + i, spending))
                    : expected_income_ratio(A, p);
        }
    }

    // The quantile k of wealth at horizon h from resolution a's distribution
    // (a == b) or the extrapolation of a and b's.
    double quantile(int a, int b, int h, int k, bool* at_top = nullptr) const {
        const SweepResult& ra = sweep(a, 0);
        const SweepResult& rb = sweep(b, 0);
        if (a == b)
            return quantile_of([&](double level) { return ra.wealth_below(h, level); }, x0_,
                               top_, kQuantiles[k], at_top);
        auto combined = [&](double level) {
            return richardson(ra.wealth_below(h, level), rb.wealth_below(h, level)).value;
        };
        return quantile_of(combined, x0_, top_, kQuantiles[k], at_top);
    }

    // A level needs the third resolution when any figure read from it does.
    bool level_needs_finest(int level) const {
        for (int h = 0; h < 3; ++h)
            if (needs_finest(richardson(ruin_[0][level][h], ruin_[1][level][h]), 1)) return true;
        if (needs_finest(richardson(life_[0][level], life_[1][level]), 1)) return true;
        if (level != 0) return false;
        if (needs_finest(richardson(unruined_[0], unruined_[1], 0, t_tail_), kAgeScale))
            return true;
        for (int i = 0; i < 20; ++i)
            if (needs_finest(richardson(income_p_[0][i], income_p_[1][i]), 1)) return true;
        if (refined_parts::any_far_apart(quantile_[0], quantile_[1])) return true;
        // The fixed rule's spending follows from the figures above.
        if (!model_.spending_follows_wealth()) return false;
        for (int h = 0; h < 3; ++h)
            if (needs_finest(richardson(at_floor_[0][h], at_floor_[1][h]), 1)) return true;
        if (refined_parts::any_far_apart(spend_q_[0], spend_q_[1])) return true;
        for (int i = 0; i < 20; ++i)
            if (refined_parts::far_apart(exp_spend_[0][i], exp_spend_[1][i])) return true;
        return false;
    }

    void run_finest(const EventPump& pump) {
        const std::vector<int> levels =
            refined_parts::levels_where([this](int level) { return level_needs_finest(level); });
        if (levels.empty()) return;
        const std::size_t first = tasks_.size();
        for (int level : levels) add_task(2, level);
        std::vector<SweepTask> extra(std::make_move_iterator(tasks_.begin() + first),
                                     std::make_move_iterator(tasks_.end()));
        run_sweeps(model_, extra, pump);
        std::move(extra.begin(), extra.end(), tasks_.begin() + first);
        for (int level : levels) read_level(2, level);
    }

    void read_grid_facts() {
        out_.coarse_nodes = static_cast<int>(sweep(0, 0).grid.x.size());
        out_.fine_nodes = static_cast<int>(sweep(1, 0).grid.x.size());
        out_.grid_top = sweep(0, 0).grid.x.back();
        out_.sweeps = static_cast<int>(tasks_.size());
    }

    // A figure from the coarse and fine resolutions, or from the fine and
    // finest where those two disagree by more than the threshold.
    RefinedValue combine(int level, const double (&figure)[3], double lower = 0,
                         double upper = 1, double scale = 1, bool force = false) {
        RefinedValue v = richardson(figure[0], figure[1], lower, upper);
        if (!has(2, level) || !(force || needs_finest(v, scale))) return v;
        out_.finest_used[level] = true;
        return richardson(figure[1], figure[2], lower, upper);
    }

    std::array<double, 4> ruin_figures(int r, int level) const {
        return {ruin_[r][level][0], ruin_[r][level][1], ruin_[r][level][2], life_[r][level]};
    }

    void fill_ruin_grid() {
        ResultsRecord& rec = out_.record;
        for (int level = 0; level < 4; ++level) {
            const bool group = !ruined_now_ && ruin_needs_finest(ruin_figures(0, level),
                                                                 ruin_figures(1, level));
            for (int h = 0; h < 4; ++h) {
                RefinedValue v{1, 0};
                if (!ruined_now_) {
                    double f[3];
                    for (int r = 0; r < 3; ++r)
                        f[r] = h < 3 ? ruin_[r][level][h] : life_[r][level];
                    v = combine(level, f, 0, 1, 1, group);
                }
                rec.ruin_grid[level][h] = v.value;
                out_.ruin_error[level][h] = v.error_estimate;
            }
        }
        put_in_order(rec.ruin_grid, out_.ruin_error);
        state_.ruin_probability_10 = rec.ruin_grid[0][0];
        state_.ruin_probability_20 = rec.ruin_grid[0][1];
        state_.ruin_probability_30 = rec.ruin_grid[0][2];
    }

    void fill_expected_ruin_age() {
        RefinedValue mean{0, 0};
        if (!ruined_now_) mean = combine(0, unruined_, 0, t_tail_, kAgeScale);
        state_.expected_ruin_age = state_.current_age + mean.value;
        out_.record.expected_ruin_age = state_.expected_ruin_age;
        out_.expected_ruin_age_error = mean.error_estimate;
    }

    // The true percentiles of the 0% sweeps' wealth at 10, 20 and 30 years.
    void fill_estates() {
        for (int h = 0; h < 3; ++h) {
            for (int k = 0; k < 3; ++k) {
                double c = 0, err = 0;
                bool at_top = false;
                if (!ruined_now_) {
                    int a = 0;
                    const double f = quantile_[1][h][k];
                    if (has(2, 0) && refined_parts::far_apart(quantile_[0][h][k], f)) {
                        a = 1;
                        out_.finest_used[0] = true;
                    }
                    c = checked(quantile(a, a + 1, h, k, &at_top));
                    err = std::fabs(quantile_[a + 1][h][k] - quantile_[a][h][k]);
                }
                out_.record.estate_grid[h][k] = c;
                out_.record.estate_at_grid_limit[h][k] = at_top;
                out_.estate_error[h][k] = err;
                refined_parts::publish(out_, sink_, kEstateFigures, static_cast<std::size_t>(h),
                                       static_cast<std::size_t>(k));
            }
        }
    }

    void fill_expected_income() {
        for (int i = 0; i < 20; ++i) {
            RefinedValue p{1, 0};
            if (!ruined_now_) {
                const double f[3] = {income_p_[0][i], income_p_[1][i], income_p_[2][i]};
                p = combine(0, f);
            }
            const double annuity_income = annuity_income_ratio(state_, income_horizon_[i]);
            out_.record.expected_income[i] = expected_income_ratio(annuity_income, p.value);
            out_.expected_income_error[i] = std::fabs(1 - annuity_income) * p.error_estimate;
        }
    }

    // Spending percentiles in today's money from the 0% sweeps' wealth, the
    // chance of spending the floor, and the expected spending.
    void fill_spending() {
        ResultsRecord& rec = out_.record;
        const double target = state_.target_income;
        for (int h = 0; h < 3; ++h) {
            RefinedValue floor{0, 0};
            for (int k = 0; k < 3; ++k) {
                double value = 0, err = 0;
                if (ruined_now_) {
                    value = grid_income_[h];
                } else {
                    int a = 0;
                    const double f = spend_q_[1][h][k];
                    if (has(2, 0) && refined_parts::far_apart(spend_q_[0][h][k], f)) {
                        a = 1;
                        out_.finest_used[0] = true;
                    }
                    const SweepResult& ra = sweep(a, 0);
                    const SweepResult& rb = sweep(a + 1, 0);
                    const WealthBelow combined = [&ra, &rb, h](double level) {
                        return richardson(ra.wealth_below(h, level), rb.wealth_below(h, level))
                            .value;
                    };
                    value = checked(
                        spending_quantile(model_, combined, grid_income_[h], kQuantiles[k], top_));
                    err = std::fabs(spend_q_[a + 1][h][k] - spend_q_[a][h][k]);
                }
                rec.spending_grid[h][k] = target * value;
                out_.spending_error[h][k] = target * err;
            }
            if (!ruined_now_ && model_.spending_follows_wealth()) {
                const double f[3] = {at_floor_[0][h], at_floor_[1][h], at_floor_[2][h]};
                floor = combine(0, f);
            } else if (ruined_now_ && model_.spending_follows_wealth()) {
                floor = {1, 0};
            }
            rec.spending_at_floor[h] = floor.value;
            out_.spending_at_floor_error[h] = floor.error_estimate;
        }
        for (int i = 0; i < 20; ++i) {
            if (!model_.spending_follows_wealth()) {
                rec.expected_spending[i] = rec.expected_income[i];
                out_.expected_spending_error[i] = out_.expected_income_error[i];
                continue;
            }
            RefinedValue v{annuity_income_[i], 0};
            if (!ruined_now_) {
                const double f[3] = {exp_spend_[0][i], exp_spend_[1][i], exp_spend_[2][i]};
                // Spending lies between what wealth run out and wealth at the
                // grid's top give.
                const double A = annuity_income_[i];
                const double lower = std::min(A, model_.spending_at_zero());
                const double upper = std::max(A, model_.spending(top_));
                v = combine(0, f, lower, upper, f[1]);
            }
            rec.expected_spending[i] = v.value;
            out_.expected_spending_error[i] = v.error_estimate;
        }
    }

    AnalysisState& state_;
    ResultSink& sink_;
    RefinedResults& out_;
    const Model model_;
    const double x0_, t_life_, t_tail_;
    const bool ruined_now_;
    const double top_;
    std::array<double, 20> income_horizon_{};
    std::vector<SweepTask> tasks_;
    int index_[3][4] = {{kNone, kNone, kNone, kNone},
                        {kNone, kNone, kNone, kNone},
                        {kNone, kNone, kNone, kNone}};
    // [r][...]: the figures of resolution r (0 coarse, 1 fine, 2 finest).
    double ruin_[3][4][3] = {};
    double life_[3][4] = {};
    double unruined_[3] = {};
    double income_p_[3][20] = {};
    double quantile_[3][3][3] = {};
    double spend_q_[3][3][3] = {};
    double at_floor_[3][3] = {};
    double exp_spend_[3][20] = {};
    // Pensions' and annuities' income at the grid's horizons and the income
    // curve's, as a fraction of the target.
    std::array<double, 3> grid_income_{};
    std::array<double, 20> annuity_income_{};
};

}  // namespace

namespace {

// As put_in_order does to the 0% row.
void put_in_horizon_order(std::array<RefinedValue, 3>& ruin) {
    for (int h = 1; h < 3; ++h) {
        if (!(ruin[h].value < ruin[h - 1].value)) continue;
        ruin[h].error_estimate += ruin[h - 1].value - ruin[h].value;
        ruin[h].value = ruin[h - 1].value;
    }
}

}  // namespace

void put_in_order(std::array<std::array<double, 4>, 4>& grid,
                  std::array<std::array<double, 4>, 4>& error) {
    // Ruin by a later horizon includes ruin by an earlier one; ruin at a
    // level includes ruin at every level below it. A figure that breaks
    // either is raised to its neighbour and its estimate widened by as much.
    auto raise = [&](int level, int h, double floor) {
        if (!(grid[level][h] < floor)) return;
        error[level][h] += floor - grid[level][h];
        grid[level][h] = floor;
    };
    for (int level = 0; level < 4; ++level)
        for (int h = 1; h < 3; ++h) raise(level, h, grid[level][h - 1]);
    for (int level = 1; level < 4; ++level)
        for (int h = 0; h < 4; ++h) raise(level, h, grid[level - 1][h]);
}

void compute_refined_results(AnalysisState& state, ResultSink& sink, RefinedResults& out,
                             const EventPump& pump) {
    RefinedCalculation(state, sink, out).run(pump);
}

RefinedValue refined_lifetime_ruin(const AnalysisState& state) {
    return refined_lifetime_ruin(Model::from_state(state), state.wealth_ratio);
}

RefinedValue refined_lifetime_ruin(const Model& model, double x0) {
    if (!(x0 > 0) || !std::isfinite(x0)) return {1, 0};
    const double t_life = model.lifetime_horizon();
    const double top = refined::level_top(model, x0);
    // To 30 years at least: the horizons' figures decide, with the lifetime
    // one, whether the level needs the third resolution.
    const double end = std::max(t_life, 30.0);
    auto figures = [&](const SweepResult& r) {
        return std::array<double, 4>{checked(r.ruin_by(10)), checked(r.ruin_by(20)),
                                     checked(r.ruin_by(30)),
                                     checked(r.lifetime_ruin(model, t_life))};
    };
    refined::LevelSweeps s = refined::sweep_level(model, x0, 0, end, top);
    const std::array<double, 4> coarse = figures(s.coarse), fine = figures(s.fine);
    if (!ruin_needs_finest(coarse, fine)) return richardson(coarse[3], fine[3]);
    s = refined::sweep_level(model, x0, 0, end, top, {}, true);
    return richardson(fine[3], figures(s.finest)[3]);
}

RefinedLevelZero refined_level_zero(const AnalysisState& state) {
    RefinedLevelZero out;
    const Model model = Model::from_state(state);
    const double x0 = state.wealth_ratio;
    if (!(x0 > 0) || !std::isfinite(x0)) {
        out.lifetime = {1, 0};
        for (int h = 0; h < 3; ++h) out.ruin[h] = {1, 0};
        return out;
    }
    const double t_life = model.lifetime_horizon();
    const double top = refined::level_top(model, x0);
    const double end = std::max(t_life, 30.0);
    // The median's threshold scales with the fine resolution's median, as
    // the whole calculation's does.
    struct Figures {
        RefinedLevelZero value;
        std::array<double, 3> fine_median{};
    };
    auto figures = [&](const refined::LevelSweeps& s, bool finest) {
        auto below = [](const SweepResult& r, int h) {
            return [&r, h](double level) { return r.wealth_below(h, level); };
        };
        auto median_of = [&](const SweepResult& a, const SweepResult& b, int h) {
            return checked(quantile_of(
                [&](double level) {
                    return richardson(a.wealth_below(h, level), b.wealth_below(h, level)).value;
                },
                x0, top, 0.5));
        };
        Figures f;
        const SweepResult& lo = finest ? s.fine : s.coarse;
        const SweepResult& hi = finest ? s.finest : s.fine;
        f.value.lifetime = richardson(checked(lo.lifetime_ruin(model, t_life)),
                                      checked(hi.lifetime_ruin(model, t_life)));
        for (int h = 0; h < 3; ++h) {
            f.value.ruin[h] = richardson(checked(lo.ruin_by(kGridHorizons[h])),
                                         checked(hi.ruin_by(kGridHorizons[h])));
            f.value.median[h].value = median_of(lo, hi, h);
            f.fine_median[h] = quantile_of(below(hi, h), x0, top, 0.5);
            f.value.median[h].error_estimate =
                std::fabs(f.fine_median[h] - quantile_of(below(lo, h), x0, top, 0.5));
        }
        return f;
    };
    refined::LevelSweeps s = refined::sweep_level(model, x0, 0, end, top, {10, 20, 30});
    const Figures first = figures(s, false);
    out = first.value;
    // The ruin figures go to the third resolution together, as the whole
    // calculation's do; the medians each on their own.
    bool ruin_group = needs_finest(out.lifetime, 1);
    for (int h = 0; h < 3; ++h) ruin_group = ruin_group || needs_finest(out.ruin[h], 1);
    bool more = ruin_group;
    for (int h = 0; h < 3; ++h) more = more || needs_finest(out.median[h], first.fine_median[h]);
    if (!more) {
        put_in_horizon_order(out.ruin);
        return out;
    }
    s = refined::sweep_level(model, x0, 0, end, top, {10, 20, 30}, true);
    const RefinedLevelZero further = figures(s, true).value;
    if (ruin_group) out.lifetime = further.lifetime;
    for (int h = 0; h < 3; ++h) {
        if (ruin_group) out.ruin[h] = further.ruin[h];
        if (needs_finest(out.median[h], first.fine_median[h])) out.median[h] = further.median[h];
    }
    put_in_horizon_order(out.ruin);
    return out;
}

}  // namespace quorrel
