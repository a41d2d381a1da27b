#include "analysis/pipeline.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "record/errors.h"
#include "record/number_format.h"
#include "engine/model/spending.h"
#include "engine/refined/household.h"
#include "engine/refined/refined.h"
#include "engine/simulation/monte_carlo.h"
#include "record/published_figures.h"
#include "engine/stages/ruin_table.h"
#include "engine/standard/solver.h"
#include "engine/model/wealth_model.h"
#include "valuation/acquired_income.h"
#include "valuation/gompertz.h"
#include "valuation/portfolio.h"

namespace quorrel {

bool CalculationHooks::run_go_step(AnalysisState& state) {
    try {
        compute_acquired_income(state);
        return true;
    } catch (const CalculationFailure& failure) {
        show_message(failure.what(), failure.title());
        return false;
    }
}

bool allocation_is_complete(double weight_sum) {
    // The weights are whole percents, so a complete allocation differs from 1
    // by a few units in the last place at most; 1e-9 is far below 1%.
    return std::isfinite(weight_sum) && std::fabs(weight_sum - 1.0) < 1e-9;
}

namespace {

// Keeps every published figure in the record and passes it on to the screen.
class RecordingSink final : public ResultSink {
public:
    RecordingSink(ResultsRecord& results, CalculationHooks& hooks)
        : results_(results), hooks_(hooks) {}
    void publish_result(const std::string& cell, const std::string& text) override {
        results_.cells[cell] = text;
        hooks_.result_published(cell, text);
    }

private:
    ResultsRecord& results_;
    CalculationHooks& hooks_;
};

CalculationOutcome refuse(CalculationHooks& hooks, const char* message) {
    hooks.show_message(message, kInputTitle);
    return CalculationOutcome::refused;
}

// Turns the progress display and the busy pointer off again, also when a
// stage fails part-way.
class RunningDisplay {
public:
    RunningDisplay(AnalysisState& state, CalculationHooks& hooks) : state_(state), hooks_(hooks) {
        state_.progress_frame = 0;
        hooks_.progress_start();
    }
    void busy() {
        hooks_.set_busy(true);
        busy_ = true;
    }
    void stop() {
        if (stopped_) return;
        stopped_ = true;
        if (busy_) hooks_.set_busy(false);
        state_.progress_frame = 0;
        hooks_.progress_stop();
    }
    ~RunningDisplay() {
        try {
            stop();
        } catch (...) {
            // Already unwinding from a failed stage; that failure is the one to report.
        }
    }

private:
    AnalysisState& state_;
    CalculationHooks& hooks_;
    bool busy_ = false;
    bool stopped_ = false;
};

// The guardrails rule's figures from the simulation, each standard error
// where the refined scheme puts its error estimate.
void fill_simulated(AnalysisState& state, const MonteCarloResults& mc, const SimulationRun& run,
                    ResultSink& sink, ResultsRecord& out) {
    const auto publish = [&](const auto& grid, std::size_t row, std::size_t col) {
        const char* cell = grid.cells[row][col];
        out.cells[cell] = format_figure(grid.format, (out.*grid.values)[row][col]);
        sink.publish_result(cell, out.cells[cell]);
    };
    for (std::size_t r = 0; r < 4; ++r)
        for (std::size_t c = 0; c < 4; ++c) {
            out.ruin_grid[r][c] = mc.ruin[r][c].value;
            out.ruin_error[r][c] = mc.ruin[r][c].standard_error;
        }
    for (std::size_t r = 0; r < 4; ++r)
        for (std::size_t c = 0; c < 3; ++c) publish(kRuinFigures, r, c);
    for (std::size_t r = 0; r < 4; ++r) publish(kRuinFigures, r, 3);
    for (std::size_t h = 0; h < 3; ++h)
        for (std::size_t k = 0; k < 3; ++k) {
            out.estate_grid[h][k] = mc.estate[h][k].value;
            out.estate_error[h][k] = mc.estate[h][k].standard_error;
            publish(kEstateFigures, h, k);
            out.spending_grid[h][k] = mc.spending[h][k].value;
            out.spending_error[h][k] = mc.spending[h][k].standard_error;
        }
    for (std::size_t h = 0; h < 3; ++h) {
        out.spending_at_floor[h] = mc.spending_at_floor[h].value;
        out.spending_at_floor_error[h] = mc.spending_at_floor[h].standard_error;
    }
    for (std::size_t i = 0; i < 20; ++i) {
        out.expected_income[i] = mc.expected_income[i].value;
        out.expected_income_error[i] = mc.expected_income[i].standard_error;
        out.expected_spending[i] = mc.expected_spending[i].value;
        out.expected_spending_error[i] = mc.expected_spending[i].standard_error;
    }
    state.expected_ruin_age = mc.expected_ruin_age.value;
    out.expected_ruin_age = mc.expected_ruin_age.value;
    out.expected_ruin_age_error = mc.expected_ruin_age.standard_error;
    out.refined = true;
    out.simulated = true;
    char tail[300];
    std::snprintf(tail, sizeof tail,
                  " simulated wealth paths (seed %llu, time steps of %.2f years, spending "
                  "reviewed at each whole year), each with its standard error in place of an "
                  "error estimate.",
                  static_cast<unsigned long long>(run.seed), mc.dt);
    out.scheme_line = "Simulated: the guardrails rule's spending depends on each path, so every "
                      "figure comes from " +
                      format_grouped0(static_cast<double>(mc.paths)) + tail;
}

// The refined figures (a household's or one life's) with their error
// estimates, into `fresh`.
void compute_refined_figures(AnalysisState& state, RecordingSink& sink, const EventPump& pump,
                             ResultsRecord& fresh) {
    RefinedResults refined;
    if (has_spouse(state)) {
        compute_household_results(state, sink, refined, pump);
        fresh.household = refined.record.household;
    } else {
        compute_refined_results(state, sink, refined, pump);
    }
    fresh.ruin_grid = refined.record.ruin_grid;
    fresh.estate_grid = refined.record.estate_grid;
    // Its grid puts the barrier at the level itself with today's wealth on a
    // node above it, so no row is decided by the grid; only an estate beyond
    // its top can be.
    fresh.estate_at_grid_limit = refined.record.estate_at_grid_limit;
    fresh.expected_ruin_age = refined.record.expected_ruin_age;
    fresh.expected_income = refined.record.expected_income;
    fresh.refined = true;
    fresh.scheme_line = refined_scheme_line(refined);
    if (has_spouse(state))
        fresh.scheme_line +=
            " A household: one density per state (both alive, the person alone, the spouse "
            "alone), moved between them at the two deaths; the figures at 10, 20 and 30 years "
            "are among the households with someone alive then.";
    fresh.ruin_error = refined.ruin_error;
    fresh.estate_error = refined.estate_error;
    fresh.expected_ruin_age_error = refined.expected_ruin_age_error;
    fresh.expected_income_error = refined.expected_income_error;
    fresh.spending_grid = refined.record.spending_grid;
    fresh.spending_at_floor = refined.record.spending_at_floor;
    fresh.expected_spending = refined.record.expected_spending;
    fresh.spending_error = refined.spending_error;
    fresh.spending_at_floor_error = refined.spending_at_floor_error;
    fresh.expected_spending_error = refined.expected_spending_error;
}

}  // namespace

void compute_allocation_sums(AnalysisState& state) {
    state.weight_sum = state.weight_copy_stock + state.weight_copy_nomi_bond +
                       state.weight_copy_real_bond + state.weight_copy_cash +
                       state.weight_copy_estate;
    state.later_weight_sum = state.later_weight_copy_stock + state.later_weight_copy_nomi_bond +
                             state.later_weight_copy_real_bond + state.later_weight_copy_cash +
                             state.later_weight_copy_estate;
}

CalculationOutcome run_calculation(AnalysisState& state, CalculationHooks& hooks,
                                   ResultsRecord& results) {
    return run_calculation(state, hooks, results, Accuracy::standard);
}

CalculationOutcome run_calculation(AnalysisState& state, CalculationHooks& hooks,
                                   ResultsRecord& results, Accuracy accuracy) {
    return run_calculation(state, hooks, results, accuracy, SimulationRun{});
}

CalculationOutcome run_calculation(AnalysisState& state, CalculationHooks& hooks,
                                   ResultsRecord& results, Accuracy accuracy,
                                   const SimulationRun& simulation) {
    compute_allocation_sums(state);
    if (!allocation_is_complete(state.weight_sum) ||
        !allocation_is_complete(state.later_weight_sum))
        return refuse(hooks, kAllocationMessage);

    if (!(state.target_income > 0)) return refuse(hooks, kTargetIncomeMessage);
    if (has_spouse(state) && state.spending_rule != 0)
        return refuse(hooks, kHouseholdSpendingMessage);
    // Spending that follows wealth has no standard-scheme solution: it is
    // computed at refined accuracy whatever was asked.
    if (state.spending_rule != 0) accuracy = Accuracy::refined;
    if (has_spouse(state) && accuracy != Accuracy::refined)
        return refuse(hooks, kHouseholdStandardMessage);

    if (!hooks.run_go_step(state)) return CalculationOutcome::failed;

    // Checked on the wealth this calculation's own Go step just computed: a
    // figure left by an earlier Go step says nothing about these inputs.
    // Zero passes (the engine starts from a tiny positive wealth then).
    if (!(state.net_investable_wealth >= 0)) return refuse(hooks, kNegativeWealthMessage);

    const double ratio = state.net_investable_wealth / state.target_income;
    if (ratio >= 60) return refuse(hooks, kRatioMessage);

    // Figures go into a fresh record; the caller's record (an earlier
    // calculation's results) is replaced only by a completed calculation.
    ResultsRecord fresh;
    RecordingSink sink(fresh, hooks);
    const EventPump pump = [&hooks] { hooks.process_pending_events(); };
    const long calls_before = solver_call_count();

    RunningDisplay display(state, hooks);
    try {
        compute_portfolio_statistics(state);

        display.busy();
        // The ratios, and the ruin mortality parameters that the results
        // screen's load selects before the first solve that reads them.
        prepare_engine_stages(state);
        fresh.survival_curve = build_survival_curve(state);
        fresh.ninetieth_percentile_index = find_ninetieth_percentile(fresh.survival_curve, 0);
        if (state.spending_rule == kGuardrailsRule) {
            MonteCarloOptions options;
            options.paths = simulation.paths;
            options.seed = simulation.seed;
            options.threads = simulation.threads;
            options.progress = [&hooks](double) { hooks.process_pending_events(); };
            fill_simulated(state, run_monte_carlo(state, options), simulation, sink, fresh);
        } else if (accuracy == Accuracy::refined) {
            compute_refined_figures(state, sink, pump, fresh);
        } else {
            run_result_stages(state, sink, fresh, pump);
            fill_fixed_spending(state, fresh);
        }
    } catch (const CalculationFailure& failure) {
        display.stop();
        hooks.show_message(failure.what(), failure.title());
        return CalculationOutcome::failed;
    }
    fresh.solver_calls = static_cast<int>(solver_call_count() - calls_before);
    display.stop();

    results = std::move(fresh);
    hooks.close_input_and_open_results(results);
    return CalculationOutcome::completed;
}

}  // namespace quorrel
