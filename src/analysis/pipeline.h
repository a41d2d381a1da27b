// The calculation that "Calculate" runs: input checks, the Go step, the
// portfolio statistics, the engine stages, and the hand-over to a screen.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "record/analysis_state.h"
#include "record/results.h"

namespace quorrel {

inline constexpr const char* kInputTitle = "Input Individual Information";
inline constexpr const char* kAllocationMessage =
    "ERROR: The assest allocation must sum to 100%, Please try again!!!";
inline constexpr const char* kNegativeWealthMessage =
    "ERROR: Net investable wealth should be greater than zero. Please try again!!!";
inline constexpr const char* kTargetIncomeMessage =
    "ERROR: Real target income should be greater than zero. Please try again!!!";
inline constexpr const char* kRatioMessage =
    "ERROR: Ruin Probability is Zero...Please Reduce Initial Wealth or Increase Target "
    "Consumption!!!";
inline constexpr const char* kHouseholdStandardMessage =
    "A household (a spouse) is computed at refined accuracy only; the standard scheme has one "
    "life.";

// The spending rule that only a simulation computes.
inline constexpr std::int16_t kGuardrailsRule = 2;
// The solve and the annuity sweep run the refined engine, which has no
// guardrails: each path's spending is the simulation's alone.
inline constexpr const char* kGuardrailsToolMessage =
    "The guardrails rule is computed by simulation only; the solve and the annuity sweep need "
    "the fixed or the percent rule.";
inline constexpr const char* kHouseholdSpendingMessage =
    "ERROR: A household is computed with the fixed spending rule only. Please choose the fixed "
    "rule.";

// What the pipeline needs from a screen. The defaults do nothing, so a
// screen-free caller overrides only show_message.
class CalculationHooks {
public:
    virtual ~CalculationHooks() = default;
    virtual void show_message(const std::string& text, const std::string& title) = 0;
    // Runs the Go step on the state (compute_acquired_income and, on a screen,
    // the refresh of its derived boxes). Returns false when it failed; the
    // hook has then shown the failure itself.
    virtual bool run_go_step(AnalysisState& state);
    virtual void progress_start() {}
    virtual void progress_stop() {}
    virtual void set_busy(bool /*on*/) {}
    // Lets the event loop run once. Called from the calculating thread only.
    virtual void process_pending_events() {}
    // Each figure as it is published, for a screen that fills progressively.
    virtual void result_published(const std::string& /*cell*/, const std::string& /*text*/) {}
    virtual void close_input_and_open_results(const ResultsRecord& /*results*/) {}
};

enum class CalculationOutcome {
    completed,  // results handed to close_input_and_open_results
    refused,    // one of the input messages was shown
    failed,     // a numeric failure of the Go step or the engine was shown
};

// True when the allocation adds up to 100% (the double sum within 1e-9 of 1, so
// 60% + 30% + 10% passes although its double sum is 0.9999999999999999).
bool allocation_is_complete(double weight_sum);

// weight_sum and later_weight_sum from the check copies, added stocks first.
void compute_allocation_sums(AnalysisState& state);

[[nodiscard]] CalculationOutcome run_calculation(AnalysisState& state, CalculationHooks& hooks,
                                                 ResultsRecord& results);

// standard: the figures of the finite-difference stages as they have always
// been; refined: every figure from the refined engine, with error estimates.
enum class Accuracy { standard, refined };

[[nodiscard]] CalculationOutcome run_calculation(AnalysisState& state, CalculationHooks& hooks,
                                                 ResultsRecord& results, Accuracy accuracy);

// The simulation that computes the guardrails rule, whatever the accuracy:
// 100,000 paths give the ruin probabilities a standard error of 0.16 points
// at most, in about a second.
inline constexpr long kGuardrailsPaths = 100000;
struct SimulationRun {
    long paths = kGuardrailsPaths;
    std::uint64_t seed = 1;
    unsigned threads = 0;  // 0: every core
};

[[nodiscard]] CalculationOutcome run_calculation(AnalysisState& state, CalculationHooks& hooks,
                                                 ResultsRecord& results, Accuracy accuracy,
                                                 const SimulationRun& simulation);

}  // namespace quorrel
