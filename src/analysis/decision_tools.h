// Decision tools over the refined engine: the sustainable spending solver
// (the largest target income, or the smallest liquid wealth, at a chosen
// lifetime ruin probability) and the annuitization sweep (the share of
// liquid wealth spent on one annuity, 0% to 100% in steps of 5%). Every
// trial reruns the Go step, the portfolio statistics and the engine inputs
// on a copy of the inputs; the inputs themselves are never changed. For a
// household the lifetime ruin is the household's (before the last death) and
// every figure comes from its refined calculation.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "record/analysis_state.h"
#include "engine/stages/ruin_table.h"  // prepared_for_engine, which every trial runs

namespace quorrel {

enum class SolveFor { income, wealth };

inline constexpr double kSolveLowestProbability = 0.005;
inline constexpr double kSolveHighestProbability = 0.5;
inline constexpr double kSolveDefaultProbability = 0.05;
// The solve stops once the lifetime ruin probability is within this of the
// target, or the bracket is narrower than kSolveMoneyTolerance.
inline constexpr double kSolveProbabilityTolerance = 1e-4;
inline constexpr double kSolveMoneyTolerance = 1;

struct SpendingSolution {
    bool found = false;
    bool cancelled = false;
    SolveFor solved_for = SolveFor::income;
    double value = 0;          // target income or liquid wealth, whole currency units
    double lifetime_ruin = 0;  // at the value, refined
    int iterations = 0;        // lifetime ruin evaluations
    std::string message;       // why there is no answer
};

// Optional hooks of a long run: a cancel flag read before every trial and
// the share of the work done after each.
struct ToolControl {
    const std::atomic<bool>* cancel = nullptr;
    std::function<void(double)> progress;
};

// The inputs as the input screen holds them (before any Go step of this
// solve); `probability` a fraction between 0.005 and 0.5. Valuation and
// engine failures are thrown as CalculationFailure.
SpendingSolution solve_sustainable_spending(const AnalysisState& inputs, SolveFor mode,
                                            double probability, const ToolControl& control = {});

enum class AnnuityKind { cpi, nominal, variable };

struct SweepPoint {
    double share = 0;     // of liquid wealth, 0 .. 1
    double purchase = 0;  // money spent on the annuity
    double lifetime_ruin = 0;
    double ruin_10 = 0, ruin_20 = 0, ruin_30 = 0;
    // Median wealth at 10, 20 and 30 years in money (exhaustion counting as 0).
    double median_estate_10 = 0, median_estate_20 = 0, median_estate_30 = 0;
    // Expected income at 20 and 30 years as a fraction of the target income.
    double expected_income_20 = 0, expected_income_30 = 0;
    // The analysis's refusal of this point (wealth below the purchases, say);
    // its figures are then not computed and it is never the best.
    std::string refused;
};

struct AnnuitySweep {
    bool cancelled = false;
    std::string refused;  // the analysis refuses the inputs themselves: no points
    AnnuityKind kind = AnnuityKind::cpi;
    std::vector<SweepPoint> points;  // 21, shares 0, 0.05, .., 1
    int best = -1;                   // lowest lifetime ruin (the smallest such share)
    double threshold = kSolveDefaultProbability;
    std::optional<int> first_below;  // smallest share with lifetime ruin below threshold
};

AnnuitySweep sweep_annuitization(const AnalysisState& inputs, AnnuityKind kind,
                                 double threshold = kSolveDefaultProbability,
                                 const ToolControl& control = {});

// The message with which the analysis would refuse the inputs before it
// computes anything (the allocation, the target income, the wealth the
// purchases leave and its ratio to the target), or an empty string. Every
// tool applies it to its inputs and to each point it evaluates, so that no
// point runs the engine where the analysis would not. Go step failures are
// thrown as CalculationFailure.
std::string analysis_refusal(const AnalysisState& inputs);

const char* annuity_kind_name(AnnuityKind kind);  // "cpi", "nominal", "variable"
std::optional<AnnuityKind> annuity_kind_from_name(const std::string& name);

}  // namespace quorrel
