#include "engine/refined/household.h"

#include <algorithm>
#include <cmath>

#include "engine/refined/calculation_parts.h"

namespace quorrel {

using engine::HouseholdModel;
using engine::kHouseholdStates;
using refined::HouseholdSweepResult;
using refined::SweepSpec;

namespace {

using refined_parts::checked;
using refined_parts::kBaseSpacing;
using refined_parts::kBaseStep;
using refined_parts::kQuantiles;

struct Task {
    SweepSpec sweep;
    HouseholdSweepResult result;
};

void run_tasks(const HouseholdModel& model, std::vector<Task>& tasks, const EventPump& pump) {
    refined_parts::run_costliest_first(
        tasks, [](const Task& t) { return t.sweep.end * t.sweep.refinement * t.sweep.refinement; },
        [&](Task& t, const EventPump& p) {
            t.result = refined::run_household_sweep(model, t.sweep, p);
        },
        pump);
}

// The figures one resolution gives.
struct Figures {
    double ruin[4][3] = {};
    double both[4] = {}, survivor[4] = {};
    double quantile[3][3] = {};
    double income[20] = {};
};

class HouseholdCalculation {
public:
    HouseholdCalculation(AnalysisState& state, ResultSink& sink, RefinedResults& out)
        : state_(state),
          sink_(sink),
          out_(out),
          model_(HouseholdModel::from_state(state)),
          x0_(state.wealth_ratio),
          end_(model_.last_horizon()),
          ruined_now_(!(x0_ > 0) || !std::isfinite(x0_)),
          // No expected ruin age follows wealth beyond the last death.
          top_(ruined_now_ ? 0
                           : refined::household_sweep_top(model_, x0_, kBaseSpacing,
                                                          std::max(end_, 30.0))) {
        for (int h = 0; h < 3; ++h) horizon_[h] = household_reading_time(model_, kGridHorizons[h]);
        for (int i = 1; i <= 20; ++i)
            income_horizon_[i - 1] =
                household_reading_time(model_, expected_income_horizon(state.current_age, i));
    }

    void run(const EventPump& pump) {
        out_ = RefinedResults{};
        if (!ruined_now_) {
            std::vector<Task> tasks;
            for (int level = 0; level < 4; ++level)
                for (int r = 0; r < 2; ++r) tasks.push_back(task(r, level));
            run_tasks(model_, tasks, pump);
            grid_facts(tasks[0].result.conditional, tasks[1].result.conditional, tasks.size());
            for (int level = 0; level < 4; ++level)
                for (int r = 0; r < 2; ++r) read(r, level, tasks[2 * level + r].result);
            run_finest(pump);
        }
        fill();
        out_.record.household = household_survival_figures(state_);
        const HouseholdFigures& split = split_;
        HouseholdFigures& h = out_.record.household;
        h.lifetime_ruin_both = split.lifetime_ruin_both;
        h.lifetime_ruin_survivor = split.lifetime_ruin_survivor;
        h.lifetime_ruin_both_error = split.lifetime_ruin_both_error;
        h.lifetime_ruin_survivor_error = split.lifetime_ruin_survivor_error;
    }

private:
    Task task(int r, int level) const {
        Task t;
        t.sweep.x0 = x0_;
        t.sweep.barrier = kRuinLevels[level] * x0_;
        t.sweep.end = end_;
        t.sweep.dt = kBaseStep;
        t.sweep.base_spacing = refined_parts::base_spacing(x0_, t.sweep.barrier);
        t.sweep.refinement = 1 << r;
        t.sweep.top = top_;
        if (level == 0) t.sweep.snapshot_times = {horizon_[0], horizon_[1], horizon_[2]};
        return t;
    }

    void read(int r, int level, HouseholdSweepResult& res) {
        Figures& f = figures_[r];
        for (int h = 0; h < 3; ++h) f.ruin[level][h] = checked(res.conditional.ruin_by(horizon_[h]));
        f.both[level] = checked(res.ruin_both);
        f.survivor[level] = checked(res.ruin_survivor);
        out_.top_loss = std::max(out_.top_loss, res.conditional.top_loss);
        out_.mass_defect = std::max(out_.mass_defect, res.conditional.mass_defect);
        if (level != 0) return;
        for (int h = 0; h < 3; ++h)
            for (int k = 0; k < 3; ++k)
                f.quantile[h][k] = checked(refined::wealth_quantile(
                    [&](double v) { return res.conditional.wealth_below(h, v); }, x0_, top_,
                    kQuantiles[k]));
        for (int i = 0; i < 20; ++i) f.income[i] = checked(expected_income(res, i));
        sweeps_[r] = std::move(res);
    }

    // The expected income at the i-th horizon as a multiple of the need of
    // the state the household is in: in each state the full need while
    // wealth lasts, the state's incomes (never more than the need) after.
    double expected_income(const HouseholdSweepResult& res, int i) const {
        const double T = income_horizon_[i];
        const auto present = model_.state_probabilities(T);
        double sum = 0, alive = 0;
        for (int k = 0; k < kHouseholdStates; ++k) {
            if (!(present[k] > 0)) continue;
            const engine::Model& m = model_.states[k];
            const double p = std::clamp(res.ruined_by(k, T) / present[k], 0.0, 1.0);
            double multiple = 1;
            if (m.withdrawal > 0)
                multiple = std::min(1.0, m.annuity_income(T) / m.withdrawal * p + (1 - p));
            sum += present[k] * multiple;
            alive += present[k];
        }
        return alive > 0 ? sum / alive : 1;
    }

    void grid_facts(const refined::SweepResult& coarse, const refined::SweepResult& fine,
                    std::size_t sweeps) {
        out_.coarse_nodes = static_cast<int>(coarse.grid.x.size());
        out_.fine_nodes = static_cast<int>(fine.grid.x.size());
        out_.grid_top = coarse.grid.x.back();
        out_.sweeps = static_cast<int>(sweeps);
    }

    bool level_needs_finest(int level) const {
        const Figures &c = figures_[0], &f = figures_[1];
        const auto differ = [](double a, double b, double scale) {
            return needs_finest(richardson(a, b), scale);
        };
        for (int h = 0; h < 3; ++h)
            if (differ(c.ruin[level][h], f.ruin[level][h], 1)) return true;
        if (differ(c.both[level], f.both[level], 1) ||
            differ(c.survivor[level], f.survivor[level], 1))
            return true;
        if (level != 0) return false;
        for (int i = 0; i < 20; ++i)
            if (differ(c.income[i], f.income[i], 1)) return true;
        return refined_parts::any_far_apart(c.quantile, f.quantile);
    }

    // A level whose two resolutions disagree takes all its figures from the
    // fine and a third resolution.
    void run_finest(const EventPump& pump) {
        const std::vector<int> levels =
            refined_parts::levels_where([this](int level) { return level_needs_finest(level); });
        if (levels.empty()) return;
        std::vector<Task> tasks;
        for (int level : levels) tasks.push_back(task(2, level));
        run_tasks(model_, tasks, pump);
        for (std::size_t k = 0; k < levels.size(); ++k) {
            read(2, levels[k], tasks[k].result);
            out_.finest_used[levels[k]] = true;
        }
        out_.sweeps += static_cast<int>(tasks.size());
    }

    // The pair of resolutions a level's figures come from.
    int low(int level) const { return out_.finest_used[level] ? 1 : 0; }

    template <typename Get>
    RefinedValue combine(int level, Get get, double lower = 0, double upper = 1) const {
        const int a = low(level);
        return richardson(get(figures_[a]), get(figures_[a + 1]), lower, upper);
    }

    void fill() {
        ResultsRecord& rec = out_.record;
        for (int level = 0; level < 4; ++level) {
            for (int h = 0; h < 4; ++h) {
                RefinedValue v{1, 0};
                if (!ruined_now_) {
                    v = h < 3 ? combine(level, [&](const Figures& f) { return f.ruin[level][h]; })
                              : combine(level, [&](const Figures& f) {
                                    return f.both[level] + f.survivor[level];
                                });
                }
                rec.ruin_grid[level][h] = v.value;
                out_.ruin_error[level][h] = v.error_estimate;
            }
            RefinedValue both{1, 0}, survivor{0, 0};
            if (!ruined_now_) {
                both = combine(level, [&](const Figures& f) { return f.both[level]; });
                survivor = combine(level, [&](const Figures& f) { return f.survivor[level]; });
            }
            split_.lifetime_ruin_both[level] = both.value;
            split_.lifetime_ruin_survivor[level] = survivor.value;
            split_.lifetime_ruin_both_error[level] = both.error_estimate;
            split_.lifetime_ruin_survivor_error[level] = survivor.error_estimate;
        }
        put_in_level_order(rec.ruin_grid, out_.ruin_error);
        state_.ruin_probability_10 = rec.ruin_grid[0][0];
        state_.ruin_probability_20 = rec.ruin_grid[0][1];
        state_.ruin_probability_30 = rec.ruin_grid[0][2];
        state_.expected_ruin_age = 0;
        rec.expected_ruin_age = 0;
        refined_parts::publish_ruin_cells(out_, sink_);

        for (int h = 0; h < 3; ++h)
            for (int k = 0; k < 3; ++k) {
                double value = 0, error = 0;
                bool at_top = false;
                if (!ruined_now_) {
                    const int a = low(0);
                    const HouseholdSweepResult &lo = sweeps_[a], &hi = sweeps_[a + 1];
                    value = checked(refined::wealth_quantile(
                        [&](double v) {
                            return richardson(lo.conditional.wealth_below(h, v),
                                              hi.conditional.wealth_below(h, v))
                                .value;
                        },
                        x0_, top_, kQuantiles[k], &at_top));
                    error = std::fabs(figures_[a + 1].quantile[h][k] - figures_[a].quantile[h][k]);
                }
                rec.estate_grid[h][k] = value;
                rec.estate_at_grid_limit[h][k] = at_top;
                out_.estate_error[h][k] = error;
                refined_parts::publish(out_, sink_, kEstateFigures, static_cast<std::size_t>(h),
                                       static_cast<std::size_t>(k));
            }

        for (int i = 0; i < 20; ++i) {
            RefinedValue v{0, 0};
            if (ruined_now_) {
                v.value = expected_income_when_ruined(i);
            } else {
                v = combine(0, [&](const Figures& f) { return f.income[i]; }, 0, 1);
            }
            rec.expected_income[i] = v.value;
            out_.expected_income_error[i] = v.error_estimate;
        }
        rec.solver_calls = out_.sweeps;
    }

    double expected_income_when_ruined(int i) const {
        const double T = income_horizon_[i];
        const auto present = model_.state_probabilities(T);
        double sum = 0, alive = 0;
        for (int k = 0; k < kHouseholdStates; ++k) {
            const engine::Model& m = model_.states[k];
            const double multiple =
                m.withdrawal > 0 ? std::min(1.0, m.annuity_income(T) / m.withdrawal) : 1;
            sum += present[k] * multiple;
            alive += present[k];
        }
        return alive > 0 ? sum / alive : 1;
    }

    // Ruin at a higher level includes ruin at a lower one among the same
    // households. (Over the horizons no order holds: the households alive
    // at a later horizon are others.)
    static void put_in_level_order(std::array<std::array<double, 4>, 4>& grid,
                                   std::array<std::array<double, 4>, 4>& error) {
        for (int level = 1; level < 4; ++level)
            for (int h = 0; h < 4; ++h) {
                const double floor = grid[level - 1][h];
                if (!(grid[level][h] < floor)) continue;
                error[level][h] += floor - grid[level][h];
                grid[level][h] = floor;
            }
    }

    AnalysisState& state_;
    ResultSink& sink_;
    RefinedResults& out_;
    const HouseholdModel model_;
    const double x0_, end_;
    const bool ruined_now_;
    const double top_;
    double horizon_[3] = {};
    double income_horizon_[20] = {};
    Figures figures_[3];
    HouseholdSweepResult sweeps_[3];  // the 0% level's, by resolution
    HouseholdFigures split_;
};

}  // namespace

double household_reading_time(const HouseholdModel& model, double T) {
    const double last = std::floor((model.last_horizon() - 0.5) / kBaseStep) * kBaseStep;
    return std::min(T, last);
}

void compute_household_results(AnalysisState& state, ResultSink& sink, RefinedResults& out,
                               const EventPump& pump) {
    HouseholdCalculation(state, sink, out).run(pump);
}

HouseholdFigures household_survival_figures(const AnalysisState& state) {
    HouseholdFigures h;
    h.present = true;
    h.spouse_age = state.spouse_age;
    const HouseholdModel model = HouseholdModel::from_state(state);
    const engine::LifeLaw &p = model.person, &s = model.spouse;
    // As the single life's survival curve: the laws as they are (not
    // truncated), yearly to the younger one's kLifetimeEndAge.
    double years = std::floor(kLifetimeEndAge - std::min(p.age, s.age));
    years = std::clamp(std::isfinite(years) ? years : 0.0, 0.0, 99.0);
    for (int k = 0; k <= static_cast<int>(years); ++k) {
        const double sp = p.survival(k), ss = s.survival(k);
        h.survival_person.push_back(sp);
        h.survival_spouse.push_back(ss);
        h.survival_both.push_back(sp * ss);
        h.survival_either.push_back(sp + ss - sp * ss);
    }
    // The last death: its expectation by Simpson's rule on the survival of
    // at least one (to where it is negligible), its 90th percentile by
    // bisection.
    const auto either = [&](double t) {
        const double sp = p.survival(t), ss = s.survival(t);
        return sp + ss - sp * ss;
    };
    double end = 1;
    while (either(end) > 1e-14 && end < 200) end += 1;
    const int panels = static_cast<int>(end) * 20;
    const double step = end / panels;
    double integral = either(0) + either(end);
    for (int i = 1; i < panels; ++i) integral += (i % 2 == 1 ? 4 : 2) * either(i * step);
    integral *= step / 3;
    h.expected_last_death_age = p.age + integral;
    double lo = 0, hi = end;
    for (int i = 0; i < 200 && hi - lo > 1e-10; ++i) {
        const double mid = 0.5 * (lo + hi);
        (either(mid) > 0.1 ? lo : hi) = mid;
    }
    h.last_death_age_90 = p.age + 0.5 * (lo + hi);
    return h;
}

}  // namespace quorrel
