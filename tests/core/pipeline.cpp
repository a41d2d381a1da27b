#include "analysis/pipeline.h"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "analysis/defaults.h"
#include "record/errors.h"
#include "engine/standard/solver.h"

namespace quorrel {
namespace {

// Records every hook call; the Go step can be made to fail and the event
// pump to throw.
class RecordingHooks : public CalculationHooks {
public:
    struct Message {
        std::string text, title;
    };
    std::vector<std::string> calls;
    std::vector<Message> messages;
    std::vector<std::string> published;
    int go_steps = 0;
    int pending_events = 0;
    bool fail_go_step = false;
    int throw_at_pending_event = -1;  // throw SolverError at this call (0-based)
    const ResultsRecord* opened = nullptr;

    void show_message(const std::string& text, const std::string& title) override {
        calls.push_back("message");
        messages.push_back({text, title});
    }
    bool run_go_step(AnalysisState& state) override {
        calls.push_back("go");
        ++go_steps;
        if (fail_go_step) {
            show_message("go failed", "VELD WARNING");
            return false;
        }
        return CalculationHooks::run_go_step(state);
    }
    void progress_start() override { calls.push_back("progress_start"); }
    void progress_stop() override { calls.push_back("progress_stop"); }
    void set_busy(bool on) override { calls.push_back(on ? "busy_on" : "busy_off"); }
    void process_pending_events() override {
        if (pending_events++ == throw_at_pending_event)
            throw SolverError("solver stopped for the test");
        if (calls.empty() || calls.back() != "pending") calls.push_back("pending");
    }
    void result_published(const std::string& cell, const std::string& text) override {
        published.push_back(cell + "=" + text);
        if (calls.empty() || calls.back() != "publish") calls.push_back("publish");
    }
    void close_input_and_open_results(const ResultsRecord& results) override {
        calls.push_back("open_results");
        opened = &results;
    }
};

AnalysisState defaults() {
    AnalysisState s;
    apply_input_defaults(s);
    return s;
}

void set_today(AnalysisState& s, int a, int b, int c, int d, int e) {
    s.weight_copy_stock = a / 100.0;
    s.weight_copy_nomi_bond = b / 100.0;
    s.weight_copy_real_bond = c / 100.0;
    s.weight_copy_cash = d / 100.0;
    s.weight_copy_estate = e / 100.0;
}

// The inputs of the analysis, for checking that a failed run left them alone.
std::vector<double> inputs_of(const AnalysisState& s) {
    return {s.current_age,
            static_cast<double>(s.gender_code),
            s.target_income,
            s.liquid_wealth,
            s.pension_nominal_income,
            s.pension_cpi_income,
            s.pension_variable_income,
            s.purchase_nominal,
            s.purchase_cpi,
            s.purchase_variable,
            s.cola_rate,
            s.air_rate,
            s.weight_stock,
            s.weight_copy_stock,
            s.later_weight_estate,
            s.later_weight_copy_estate,
            s.mean_stock,
            s.dev_stock,
            s.nominal_rate_1,
            s.real_rate_6,
            static_cast<double>(s.later_allocation_years),
            static_cast<double>(s.ruin_table_code)};
}

TEST(AllocationCheck, EveryWholePercentAllocationOfOneHundredPasses) {
    // All 4,598,126 ways of five whole percents adding to 100, summed left
    // to right as the pipeline sums the list fractions; 99 and 101 fail.
    long checked = 0, refused = 0;
    for (int a = 0; a <= 100; ++a)
        for (int b = 0; a + b <= 100; ++b)
            for (int c = 0; a + b + c <= 100; ++c)
                for (int d = 0; a + b + c + d <= 100; ++d) {
                    const int e = 100 - a - b - c - d;
                    const double sum = a / 100.0 + b / 100.0 + c / 100.0 + d / 100.0 + e / 100.0;
                    ++checked;
                    if (!allocation_is_complete(sum)) ++refused;
                    if (e > 0 && allocation_is_complete(sum - e / 100.0 + (e - 1) / 100.0))
                        ++refused;
                    if (allocation_is_complete(sum - e / 100.0 + (e + 1) / 100.0)) ++refused;
                }
    EXPECT_EQ(checked, 4598126);
    EXPECT_EQ(refused, 0);
    EXPECT_FALSE(allocation_is_complete(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(allocation_is_complete(0.995));
    EXPECT_FALSE(allocation_is_complete(1.005));
}

TEST(RunCalculation, SixtyThirtyTenPassesTheAllocationCheck) {
    AnalysisState s = defaults();
    set_today(s, 60, 30, 10, 0, 0);
    RecordingHooks hooks;
    hooks.fail_go_step = true;  // stop right after the checks that precede it
    ResultsRecord results;
    EXPECT_EQ(run_calculation(s, hooks, results), CalculationOutcome::failed);
    EXPECT_EQ(hooks.go_steps, 1);
    EXPECT_EQ(s.weight_sum, 0.6 + 0.3 + 0.1 + 0.0 + 0.0);  // the double sum is kept
    EXPECT_NE(s.weight_sum, 1.0);
}

TEST(RunCalculation, AllocationOffByOnePercentIsRefused) {
    for (bool later : {false, true}) {
        for (int last : {19, 21}) {
            AnalysisState s = defaults();
            (later ? s.later_weight_copy_estate : s.weight_copy_estate) = last / 100.0;
            RecordingHooks hooks;
            ResultsRecord results;
            EXPECT_EQ(run_calculation(s, hooks, results), CalculationOutcome::refused);
            ASSERT_EQ(hooks.messages.size(), 1u);
            EXPECT_EQ(hooks.messages[0].text,
                      "ERROR: The assest allocation must sum to 100%, Please try again!!!");
            EXPECT_EQ(hooks.messages[0].title, "Input Individual Information");
            EXPECT_EQ(hooks.go_steps, 0);
            EXPECT_NEAR(later ? s.later_weight_sum : s.weight_sum, 0.8 + last / 100.0, 1e-12);
        }
    }
}

TEST(RunCalculation, AllocationIsCheckedBeforeTheTargetIncome) {
    AnalysisState s = defaults();
    set_today(s, 50, 50, 50, 0, 0);
    s.target_income = 0;
    RecordingHooks hooks;
    ResultsRecord results;
    EXPECT_EQ(run_calculation(s, hooks, results), CalculationOutcome::refused);
    ASSERT_EQ(hooks.messages.size(), 1u);
    EXPECT_EQ(hooks.messages[0].text, kAllocationMessage);
}

TEST(RunCalculation, ZeroTargetIsRefusedBeforeTheGoStep) {
    for (double target : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN()}) {
        AnalysisState s = defaults();
        s.target_income = target;
        s.net_investable_wealth = 12345;  // as an earlier Go step left it
        RecordingHooks hooks;
        ResultsRecord results;
        EXPECT_EQ(run_calculation(s, hooks, results), CalculationOutcome::refused);
        ASSERT_EQ(hooks.messages.size(), 1u);
        EXPECT_EQ(hooks.messages[0].text,
                  "ERROR: Real target income should be greater than zero. Please try again!!!");
        EXPECT_EQ(hooks.messages[0].title, kInputTitle);
        EXPECT_EQ(hooks.go_steps, 0);
        EXPECT_EQ(s.net_investable_wealth, 12345);  // the Go step did not run
    }
}

TEST(RunCalculation, PurchasesAboveTheWealthAreRefusedAfterTheGoStep) {
    AnalysisState s = defaults();
    s.liquid_wealth = 100000;
    s.purchase_cpi = 150000;
    s.net_investable_wealth = 0;  // a stale zero no longer lets this through
    RecordingHooks hooks;
    ResultsRecord results;
    EXPECT_EQ(run_calculation(s, hooks, results), CalculationOutcome::refused);
    EXPECT_EQ(hooks.go_steps, 1);
    ASSERT_EQ(hooks.messages.size(), 1u);
    EXPECT_EQ(hooks.messages[0].text,
              "ERROR: Net investable wealth should be greater than zero. Please try again!!!");
    EXPECT_EQ(hooks.messages[0].title, kInputTitle);
    EXPECT_EQ(s.net_investable_wealth, -50000);  // the Go step's figures stay in place
    EXPECT_EQ((std::vector<std::string>{"go", "message"}), hooks.calls);
}

TEST(RunCalculation, WealthSpentEntirelyOnAnnuitiesRuns) {
    AnalysisState s = defaults();
    s.liquid_wealth = 100000;
    s.purchase_cpi = 100000;
    RecordingHooks hooks;
    ResultsRecord results;
    EXPECT_EQ(run_calculation(s, hooks, results), CalculationOutcome::completed);
    EXPECT_TRUE(hooks.messages.empty());
    EXPECT_EQ(s.net_investable_wealth, 1e-7);  // the engine's stand-in for zero
    EXPECT_EQ(results.cells.size(), 25u);
}

TEST(RunCalculation, RatioOfSixtyOrMoreIsRefused) {
    for (double wealth : {2400000.0, 3200000.0}) {  // ratios exactly 60 and 80
        AnalysisState s = defaults();
        s.liquid_wealth = wealth;
        RecordingHooks hooks;
        ResultsRecord results;
        EXPECT_EQ(run_calculation(s, hooks, results), CalculationOutcome::refused);
        ASSERT_EQ(hooks.messages.size(), 1u);
        EXPECT_EQ(
            hooks.messages[0].text,
            "ERROR: Ruin Probability is Zero...Please Reduce Initial Wealth or Increase Target "
            "Consumption!!!");
        EXPECT_EQ(hooks.go_steps, 1);
        EXPECT_EQ(s.net_investable_wealth, wealth);
    }
}

TEST(RunCalculation, GoStepFailureStops) {
    AnalysisState s = defaults();
    RecordingHooks hooks;
    hooks.fail_go_step = true;
    ResultsRecord results;
    EXPECT_EQ(run_calculation(s, hooks, results), CalculationOutcome::failed);
    EXPECT_EQ((std::vector<std::string>{"go", "message"}), hooks.calls);
}

TEST(RunCalculation, DefaultGoStepShowsTheValuationFailure) {
    AnalysisState s = defaults();
    s.air_rate = std::numeric_limits<double>::quiet_NaN();
    RecordingHooks hooks;
    ResultsRecord results;
    EXPECT_EQ(run_calculation(s, hooks, results), CalculationOutcome::failed);
    ASSERT_EQ(hooks.messages.size(), 1u);
    EXPECT_EQ(hooks.messages[0].title, "VELD WARNING");
    EXPECT_EQ(hooks.messages[0].text,
              "The variable does not make sense, please change some of them!");
    EXPECT_EQ(hooks.calls.back(), "message");
}

TEST(RunCalculation, DefaultRunCallsTheHooksInOrderAndFillsEveryCell) {
    AnalysisState s = defaults();
    s.progress_frame = 7;  // left over from an animation
    RecordingHooks hooks;
    ResultsRecord results;
    const long before = solver_call_count();
    ASSERT_EQ(run_calculation(s, hooks, results), CalculationOutcome::completed);
    EXPECT_TRUE(hooks.messages.empty());

    // go, progress, busy, then solves (yielding) with publications between,
    // then busy off, progress off and the results.
    ASSERT_GE(hooks.calls.size(), 7u);
    EXPECT_EQ(hooks.calls[0], "go");
    EXPECT_EQ(hooks.calls[1], "progress_start");
    EXPECT_EQ(hooks.calls[2], "busy_on");
    EXPECT_EQ(hooks.calls[3], "pending");  // the income curve solves come first
    const size_t n = hooks.calls.size();
    EXPECT_EQ(hooks.calls[n - 3], "busy_off");
    EXPECT_EQ(hooks.calls[n - 2], "progress_stop");
    EXPECT_EQ(hooks.calls[n - 1], "open_results");
    for (size_t i = 3; i < n - 3; ++i)
        EXPECT_TRUE(hooks.calls[i] == "pending" || hooks.calls[i] == "publish") << hooks.calls[i];
    EXPECT_EQ(hooks.opened, &results);
    EXPECT_EQ(s.progress_frame, 0);

    // All 25 cells, once each, in the stages' order, kept in the record.
    ASSERT_EQ(hooks.published.size(), 25u);
    ASSERT_EQ(results.cells.size(), 25u);
    EXPECT_EQ(hooks.published[0].rfind("Text2=", 0), 0u);
    EXPECT_EQ(hooks.published[16].rfind("Text54(0)=", 0), 0u);
    for (size_t row = 0; row < 4; ++row)
        for (size_t col = 0; col < 4; ++col) {
            const char* name = ruin_cell_names()[row][col];
            ASSERT_EQ(results.cells.count(name), 1u) << name;
            EXPECT_EQ(results.cells.at(name).back(), '%');
            EXPECT_GE(results.ruin_grid[row][col], 0.0);
            EXPECT_LE(results.ruin_grid[row][col], 1.0);
        }
    for (size_t row = 0; row < 3; ++row)
        for (size_t col = 0; col < 3; ++col)
            ASSERT_EQ(results.cells.count(estate_cell_names()[row][col]), 1u);

    // The load-time figures: ruin mortality, survival curve, 90th percentile.
    EXPECT_GT(s.ruin_dispersion, 0);
    EXPECT_GT(s.expected_death_age, 65);
    EXPECT_EQ(s.survival_years, 45);
    ASSERT_EQ(results.survival_curve.size(), 46u);
    EXPECT_EQ(results.survival_curve[0], 1.0);
    EXPECT_GT(results.ninetieth_percentile_index, 0);
    EXPECT_NEAR(results.survival_curve[static_cast<size_t>(results.ninetieth_percentile_index - 1)],
                0.1, 0.05);
    for (double income : results.expected_income) {
        EXPECT_GE(income, 0.0);
        EXPECT_LE(income, 1.0);
    }
    // Ratio 20: the expected ruin age lies between today and 130.
    EXPECT_EQ(results.expected_ruin_age, s.expected_ruin_age);
    EXPECT_GT(results.expected_ruin_age, 65);
    EXPECT_LT(results.expected_ruin_age, 130);
    EXPECT_EQ(results.solver_calls, solver_call_count() - before);
    EXPECT_GE(results.solver_calls, 40);  // 20 income-curve and 20 ruin-table solves at least
}

TEST(RunCalculation, StaleNegativeWealthNoLongerRefusesValidInputs) {
    AnalysisState s = defaults();
    s.net_investable_wealth = -1;  // left by an earlier Go step with other inputs
    RecordingHooks hooks;
    ResultsRecord results;
    EXPECT_EQ(run_calculation(s, hooks, results), CalculationOutcome::completed);
    EXPECT_TRUE(hooks.messages.empty());
    EXPECT_EQ(s.net_investable_wealth, 800000);
}

TEST(RunCalculation, EngineFailureStopsCleanlyAndLeavesEverythingUsable) {
    AnalysisState s = defaults();
    ResultsRecord results;
    {
        RecordingHooks first;
        ASSERT_EQ(run_calculation(s, first, results), CalculationOutcome::completed);
    }
    const ResultsRecord earlier = results;
    const auto inputs = inputs_of(s);

    RecordingHooks hooks;
    hooks.throw_at_pending_event = 10;  // within the first solves
    EXPECT_EQ(run_calculation(s, hooks, results), CalculationOutcome::failed);
    ASSERT_EQ(hooks.messages.size(), 1u);
    EXPECT_EQ(hooks.messages[0].text, "solver stopped for the test");
    EXPECT_EQ(hooks.messages[0].title, "Quorrel");
    const size_t n = hooks.calls.size();
    ASSERT_GE(n, 4u);
    EXPECT_EQ(hooks.calls[n - 3], "busy_off");
    EXPECT_EQ(hooks.calls[n - 2], "progress_stop");
    EXPECT_EQ(hooks.calls[n - 1], "message");
    EXPECT_EQ(hooks.opened, nullptr);
    EXPECT_EQ(s.progress_frame, 0);
    EXPECT_EQ(inputs_of(s), inputs);
    // The earlier results are still there.
    EXPECT_EQ(results.cells, earlier.cells);
    EXPECT_EQ(results.expected_income, earlier.expected_income);

    // And the next calculation runs as before.
    RecordingHooks again;
    ResultsRecord next;
    ASSERT_EQ(run_calculation(s, again, next), CalculationOutcome::completed);
    EXPECT_EQ(next.cells, earlier.cells);
    EXPECT_EQ(next.ruin_grid, earlier.ruin_grid);
}

TEST(RunCalculation, NonFiniteSolverResultStopsWithAMessage) {
    AnalysisState s = defaults();
    s.mean_stock = std::numeric_limits<double>::quiet_NaN();
    auto inputs = inputs_of(s);
    RecordingHooks hooks;
    ResultsRecord results;
    EXPECT_EQ(run_calculation(s, hooks, results), CalculationOutcome::failed);
    ASSERT_EQ(hooks.messages.size(), 1u);
    EXPECT_FALSE(hooks.messages[0].text.empty());
    EXPECT_EQ(hooks.calls.back(), "message");
    EXPECT_EQ(hooks.opened, nullptr);
    EXPECT_TRUE(results.cells.empty());
    const size_t n = hooks.calls.size();
    EXPECT_EQ(hooks.calls[n - 3], "busy_off");
    EXPECT_EQ(hooks.calls[n - 2], "progress_stop");
    // NaN compares unequal to itself, so compare the rest of the inputs.
    auto after = inputs_of(s);
    EXPECT_TRUE(std::isnan(after[16]));
    after[16] = inputs[16] = 0;
    EXPECT_EQ(after, inputs);
}

}  // namespace
}  // namespace quorrel
