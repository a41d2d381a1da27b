// The decision tools refuse what the analysis refuses: their inputs and each
// point they evaluate, never running the engine where the analysis would not.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "analysis/decision_tools.h"
#include "analysis/defaults.h"
#include "analysis/pipeline.h"
#include "test_doubles.h"

namespace quorrel {
namespace {

AnalysisState default_case() {
    AnalysisState s;
    apply_input_defaults(s);
    return s;
}

struct InputCase {
    const char* label;
    std::function<void(AnalysisState&)> change;
};

const std::vector<InputCase>& input_cases() {
    static const std::vector<InputCase> cases = {
        {"the defaults", [](AnalysisState&) {}},
        {"no target income", [](AnalysisState& s) { s.target_income = 0; }},
        {"a target of 1 (wealth 800,000 times it)", [](AnalysisState& s) { s.target_income = 1; }},
        {"wealth 60 times the target", [](AnalysisState& s) { s.target_income = 800000.0 / 60; }},
        {"purchases beyond the wealth", [](AnalysisState& s) { s.purchase_nominal = 900000; }},
        {"an allocation of 90%", [](AnalysisState& s) { s.weight_copy_stock -= 0.1; }},
        {"a later allocation of 110%", [](AnalysisState& s) { s.later_weight_copy_cash += 0.1; }},
    };
    return cases;
}

// The tools' check gives the message the calculation itself shows, on
// every kind of refused input and on inputs it computes.
TEST(ToolRefusal, AgreesWithTheCalculation) {
    for (const InputCase& c : input_cases()) {
        SCOPED_TRACE(c.label);
        AnalysisState inputs = default_case();
        c.change(inputs);
        AnalysisState calculated = inputs;
        QuietHooks hooks;
        ResultsRecord results;
        const CalculationOutcome outcome = run_calculation(calculated, hooks, results);
        EXPECT_EQ(analysis_refusal(inputs),
                  outcome == CalculationOutcome::completed ? std::string() : hooks.message);
    }
}

// A sweep from refused inputs gives the refusal and no point, at once.
TEST(ToolRefusal, SweepOfRefusedInputsComputesNothing) {
    for (const InputCase& c : input_cases()) {
        AnalysisState inputs = default_case();
        c.change(inputs);
        const std::string refusal = analysis_refusal(inputs);
        if (refusal.empty()) continue;
        SCOPED_TRACE(c.label);
        int progress_calls = 0;
        const ToolControl control{nullptr, [&](double) { ++progress_calls; }};
        const AnnuitySweep sweep = sweep_annuitization(inputs, AnnuityKind::cpi, 0.05, control);
        EXPECT_EQ(sweep.refused, refusal);
        EXPECT_TRUE(sweep.points.empty());
        EXPECT_EQ(sweep.best, -1);
        EXPECT_EQ(progress_calls, 0);
    }
}

// Points the analysis would refuse (purchases beyond the wealth) are marked,
// left uncomputed and never the best; the rest are computed.
TEST(ToolRefusal, SweepMarksRefusedPoints) {
    AnalysisState inputs = default_case();
    inputs.purchase_nominal = 600000;  // of 800,000: CPI shares above 25% leave less than nothing
    const AnnuitySweep sweep = sweep_annuitization(inputs, AnnuityKind::cpi);
    ASSERT_EQ(sweep.points.size(), 21u);
    for (std::size_t k = 0; k < sweep.points.size(); ++k) {
        const SweepPoint& p = sweep.points[k];
        SCOPED_TRACE(k);
        AnalysisState trial = inputs;
        trial.purchase_cpi = p.purchase;
        EXPECT_EQ(p.refused, analysis_refusal(trial));
        EXPECT_EQ(p.refused.empty(), k <= 5);
        if (!p.refused.empty()) {
            EXPECT_EQ(p.refused, kNegativeWealthMessage);
            EXPECT_EQ(p.lifetime_ruin, 0);
            EXPECT_EQ(p.median_estate_30, 0);
        }
    }
    ASSERT_GE(sweep.best, 0);
    EXPECT_LE(sweep.best, 5);
}

// A solve from inputs it does not change refuses with the analysis's message
// before its first trial.
TEST(ToolRefusal, SolveRefusesItsFixedInputs) {
    struct Case {
        const char* label;
        SolveFor mode;
        std::function<void(AnalysisState&)> change;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"income, allocation 90%", SolveFor::income,
         [](AnalysisState& s) { s.weight_copy_stock -= 0.1; }, kAllocationMessage},
        {"wealth, later allocation 110%", SolveFor::wealth,
         [](AnalysisState& s) { s.later_weight_copy_cash += 0.1; }, kAllocationMessage},
        {"wealth, no target income", SolveFor::wealth,
         [](AnalysisState& s) { s.target_income = 0; }, kTargetIncomeMessage},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        AnalysisState inputs = default_case();
        c.change(inputs);
        const SpendingSolution s = solve_sustainable_spending(inputs, c.mode, 0.05);
        EXPECT_FALSE(s.found);
        EXPECT_EQ(s.message, c.message);
        EXPECT_EQ(s.iterations, 0);
    }
}

}  // namespace
}  // namespace quorrel
