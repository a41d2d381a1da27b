#include "analysis/decision_tools.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <sstream>

#include <boost/math/tools/toms748_solve.hpp>

#include "record/number_format.h"
#include "analysis/pipeline.h"
#include "engine/refined/household.h"
#include "engine/refined/refined.h"
#include "engine/model/wealth_model.h"
#include "valuation/acquired_income.h"

namespace quorrel {

namespace {

struct Cancelled {};
// A trial the analysis would refuse; the solve ends with its message.
struct TrialRefused {
    double value;
    std::string message;
};

// Money amounts the pipeline admits: the net investable wealth below 60 times
// the target income.
constexpr double kRatioLimit = 60;

std::string percent(double p) { return format_percent2(p); }

// Takes the published cells of a calculation whose figures are read from
// its record instead.
class DiscardingSink final : public ResultSink {
public:
    void publish_result(const std::string&, const std::string&) override {}
};

// A household's figures, as the results screen shows them, of the prepared
// state: its refined calculation entire, since every level's sweeps share
// the one model and the figures must be the ones a calculation gives.
RefinedResults household_figures(AnalysisState prepared) {
    DiscardingSink sink;
    RefinedResults out;
    compute_household_results(prepared, sink, out);
    return out;
}

// The lifetime ruin (0% level) the tools solve for and rank by: the single
// life's, or the household's before the last death.
double tool_lifetime_ruin(const AnalysisState& prepared) {
    if (has_spouse(prepared)) return household_figures(prepared).record.ruin_grid[0][3];
    return refined_lifetime_ruin(prepared).value;
}

// The household's expected income at `years` as a multiple of the need, from
// its expected-income curve: linear between the curve's two horizons either
// side (its horizons are those of the income chart; at age 65 every fourth
// one falls on a whole ten years, so the figure is then the curve's own).
double household_income_at(const AnalysisState& s, const ResultsRecord& r, double years) {
    double before_t = 0, before_v = 1;  // today the whole need is met
    for (int i = 1; i <= 20; ++i) {
        const double t = expected_income_horizon(s.current_age, i);
        const double v = r.expected_income[static_cast<std::size_t>(i - 1)];
        if (t >= years) {
            if (t == years || !(t > before_t)) return v;
            return before_v + (v - before_v) * (years - before_t) / (t - before_t);
        }
        before_t = t;
        before_v = v;
    }
    return before_v;
}

// Two values of the solved-for amount and their gaps f (lifetime ruin less
// the target), of opposite signs once bracketed.
struct Bracket {
    double lo = 0, hi = 0, f_lo = 0, f_hi = 0;
};

// One solve: bracket the amount, then narrow the bracket with TOMS 748. A
// step that finds no answer sets the message and returns false.
class SpendingSolver {
public:
    SpendingSolver(const AnalysisState& inputs, SolveFor mode, double probability,
                   const ToolControl& control, SpendingSolution& out)
        : inputs_(inputs), mode_(mode), probability_(probability), control_(control), out_(out) {}

    void run() {
        Bracket b;
        if (mode_ == SolveFor::income ? bracket_income(b) : bracket_wealth(b)) narrow(b);
    }

private:
    // One refined lifetime ruin probability at `value` of the amount.
    double lifetime_at(double value) {
        if (control_.cancel && control_.cancel->load()) throw Cancelled{};
        AnalysisState trial = inputs_;
        (mode_ == SolveFor::income ? trial.target_income : trial.liquid_wealth) = value;
        if (std::string refusal = analysis_refusal(trial); !refusal.empty())
            throw TrialRefused{value, std::move(refusal)};
        const double p = tool_lifetime_ruin(prepared_for_engine(trial));
        ++out_.iterations;
        if (control_.progress) control_.progress(std::min(0.95, out_.iterations / 20.0));
        return p;
    }
    double gap_at(double value) { return lifetime_at(value) - probability_; }

    bool refuse(std::string message) {
        out_.message = std::move(message);
        return false;
    }

    // Net investable wealth does not move with the target income: from the
    // smallest income the calculation admits, larger ones by doubling.
    bool bracket_income(Bracket& b) {
        const double niw = prepared_for_engine(inputs_).net_investable_wealth;
        if (!(niw > 0)) {
            return refuse(
                "No target income can be solved for: the annuity purchases leave no investable "
                "wealth.");
        }
        b.lo = std::ceil(niw / kRatioLimit * (1 + 1e-9));
        b.f_lo = gap_at(b.lo);
        if (b.f_lo >= 0) {
            return refuse(
                "No target income gives a lifetime ruin probability as low as " +
                percent(probability_) + ": even the smallest income the calculation allows (" +
                format_grouped0(b.lo) + ") gives " + percent(b.f_lo + probability_) + ".");
        }
        b.hi = std::max(2 * b.lo, inputs_.target_income);
        b.f_hi = gap_at(b.hi);
        while (b.f_hi <= 0) {
            b.lo = b.hi;
            b.f_lo = b.f_hi;
            b.hi *= 2;
            if (b.hi > 1e13) {
                return refuse("No target income reaches a lifetime ruin probability of " +
                              percent(probability_) + ".");
            }
            b.f_hi = gap_at(b.hi);
        }
        return true;
    }

    // The bracket grows by doubling from today's wealth, within the wealth
    // the calculation admits (the wealth the purchases leave does not move
    // with the target).
    bool bracket_wealth(Bracket& b) {
        // Evaluated for its Go step's failures, as the income side does.
        static_cast<void>(prepared_for_engine(inputs_));
        if (!(inputs_.target_income > 0))
            return refuse("No wealth can be solved for without a positive target income.");
        least_ = inputs_.purchase_nominal + inputs_.purchase_cpi + inputs_.purchase_variable;
        most_ = std::floor(least_ + kRatioLimit * inputs_.target_income * (1 - 1e-9));
        const double v = std::clamp(inputs_.liquid_wealth, least_ + 1, most_);
        const double f_v = gap_at(v);
        b = {v, v, f_v, f_v};
        return f_v > 0 ? grow_wealth(b) : shrink_wealth(b);
    }

    bool grow_wealth(Bracket& b) {
        while (b.f_hi > 0) {
            if (b.hi >= most_) {
                return refuse(
                    "No wealth the calculation allows (up to 60 times the target income beside the "
                    "purchases) brings the lifetime ruin probability down to " +
                    percent(probability_) + "; at that wealth it is " +
                    percent(b.f_hi + probability_) + ".");
            }
            b.lo = b.hi;
            b.f_lo = b.f_hi;
            b.hi = std::min(most_, least_ + 2 * (b.hi - least_));
            b.f_hi = gap_at(b.hi);
        }
        return true;
    }

    bool shrink_wealth(Bracket& b) {
        while (b.f_lo <= 0) {
            if (b.lo <= least_) {
                const std::string kept = "keep the lifetime ruin probability at " +
                                         percent(b.f_lo + probability_) + ", at or below " +
                                         percent(probability_) + ".";
                // The purchases themselves are paid from the wealth: that much
                // is always needed.
                if (least_ > 0)
                    return refuse("The annuity purchases alone need $" + format_grouped0(least_) +
                                  "; no wealth beyond them is needed: the pensions and annuities " +
                                  kept);
                return refuse("No wealth is needed: the pensions and annuities alone " + kept);
            }
            b.hi = b.lo;
            b.f_hi = b.f_lo;
            const double next = least_ + (b.lo - least_) / 2;
            b.lo = next - least_ < 1 ? least_ : next;
            b.f_lo = gap_at(b.lo);
        }
        return true;
    }

    // Narrows the bracket, keeping the best amount seen; the published
    // amount is whole, the income side rounded down and the wealth side up,
    // so the figure errs towards safety.
    void narrow(const Bracket& b) {
        const bool lo_better = std::fabs(b.f_lo) < std::fabs(b.f_hi);
        double best_value = lo_better ? b.lo : b.hi;
        double best_gap = std::min(std::fabs(b.f_lo), std::fabs(b.f_hi));
        double best_p = (lo_better ? b.f_lo : b.f_hi) + probability_;
        auto f = [&](double v) {
            const double p = lifetime_at(v);
            if (std::fabs(p - probability_) < best_gap) {
                best_gap = std::fabs(p - probability_);
                best_value = v;
                best_p = p;
            }
            return p - probability_;
        };
        // Half the probability tolerance, so that the published whole amount
        // computed again still lies within it.
        auto tol = [&](double lo, double hi) {
            return best_gap <= kSolveProbabilityTolerance / 2 ||
                   std::fabs(hi - lo) <= kSolveMoneyTolerance;
        };
        std::uintmax_t max_iterations = 60;
        boost::math::tools::toms748_solve(f, b.lo, b.hi, b.f_lo, b.f_hi, tol, max_iterations);
        const double value =
            mode_ == SolveFor::income ? std::floor(best_value) : std::ceil(best_value);
        out_.value = value;
        out_.lifetime_ruin = value == best_value ? best_p : lifetime_at(value);
        // Where the probability jumps across the target (wealth nil beside
        // the annuities) the search ends at the jump; that amount is no answer.
        if (!(std::fabs(out_.lifetime_ruin - probability_) <= kSolveProbabilityTolerance)) {
            refuse(std::string(mode_ == SolveFor::income ? "No target income" : "No wealth") +
                   " gives a lifetime ruin probability of " + format_percent2(probability_) +
                   ": it jumps past it at $" + format_grouped0(value) + ", where it is " +
                   format_percent2(out_.lifetime_ruin) + ".");
            return;
        }
        out_.found = true;
    }

    const AnalysisState& inputs_;
    const SolveFor mode_;
    const double probability_;
    const ToolControl& control_;
    SpendingSolution& out_;
    double least_ = 0, most_ = 0;
};

// One share's figures of a household: its calculation's 0% level, each
// among the households with someone alive at the horizon.
void household_point(const AnalysisState& s, double niw, SweepPoint& point) {
    const ResultsRecord r = household_figures(s).record;
    point.lifetime_ruin = r.ruin_grid[0][3];
    point.ruin_10 = r.ruin_grid[0][0];
    point.ruin_20 = r.ruin_grid[0][1];
    point.ruin_30 = r.ruin_grid[0][2];
    point.median_estate_10 = r.estate_grid[0][1] * niw;
    point.median_estate_20 = r.estate_grid[1][1] * niw;
    point.median_estate_30 = r.estate_grid[2][1] * niw;
    point.expected_income_20 = household_income_at(s, r, 20);
    point.expected_income_30 = household_income_at(s, r, 30);
}

}  // namespace

SpendingSolution solve_sustainable_spending(const AnalysisState& inputs, SolveFor mode,
                                            double probability, const ToolControl& control) {
    SpendingSolution out;
    out.solved_for = mode;
    if (!(probability >= kSolveLowestProbability && probability <= kSolveHighestProbability)) {
        out.message = "The lifetime ruin probability to solve for must be between 0.5% and 50%.";
        return out;
    }
    // The inputs the solve does not change must pass the analysis's checks:
    // the allocation always, a positive target income when wealth is solved.
    AnalysisState start = inputs;
    compute_allocation_sums(start);
    if (!allocation_is_complete(start.weight_sum) ||
        !allocation_is_complete(start.later_weight_sum)) {
        out.message = kAllocationMessage;
        return out;
    }
    if (mode == SolveFor::wealth && !(inputs.target_income > 0)) {
        out.message = kTargetIncomeMessage;
        return out;
    }
    if (inputs.spending_rule == kGuardrailsRule) {
        out.message = kGuardrailsToolMessage;
        return out;
    }
    try {
        SpendingSolver(inputs, mode, probability, control, out).run();
    } catch (const Cancelled&) {
        out.cancelled = true;
        out.message = "Cancelled.";
    } catch (const TrialRefused& refused) {
        out.found = false;
        out.message = "The analysis refuses the trial at $" + format_grouped0(refused.value) +
                      ": " + refused.message;
    }
    if (control.progress) control.progress(1);
    return out;
}

std::string analysis_refusal(const AnalysisState& inputs) {
    // The order and the messages of run_calculation's own checks.
    AnalysisState s = inputs;
    compute_allocation_sums(s);
    if (!allocation_is_complete(s.weight_sum) || !allocation_is_complete(s.later_weight_sum))
        return kAllocationMessage;
    if (!(s.target_income > 0)) return kTargetIncomeMessage;
    if (has_spouse(s) && s.spending_rule != 0) return kHouseholdSpendingMessage;
    compute_acquired_income(s);
    if (!(s.net_investable_wealth >= 0)) return kNegativeWealthMessage;
    if (s.net_investable_wealth / s.target_income >= 60) return kRatioMessage;
    return {};
}

const char* annuity_kind_name(AnnuityKind kind) {
    switch (kind) {
        case AnnuityKind::cpi: return "cpi";
        case AnnuityKind::nominal: return "nominal";
        case AnnuityKind::variable: return "variable";
    }
    return "cpi";
}

std::optional<AnnuityKind> annuity_kind_from_name(const std::string& name) {
    for (AnnuityKind k : {AnnuityKind::cpi, AnnuityKind::nominal, AnnuityKind::variable}) {
        if (name == annuity_kind_name(k)) return k;
    }
    return std::nullopt;
}

AnnuitySweep sweep_annuitization(const AnalysisState& inputs, AnnuityKind kind, double threshold,
                                 const ToolControl& control) {
    AnnuitySweep out;
    out.kind = kind;
    out.threshold = threshold;
    // Refused as the analysis of the same inputs is, rather than run where
    // the engine's work has no bound (a wealth thousands of times the target).
    out.refused = analysis_refusal(inputs);
    if (out.refused.empty() && inputs.spending_rule == kGuardrailsRule)
        out.refused = kGuardrailsToolMessage;
    if (!out.refused.empty()) return out;
    for (int k = 0; k <= 20; ++k) {
        if (control.cancel && control.cancel->load()) {
            out.cancelled = true;
            return out;
        }
        SweepPoint point;
        point.share = k / 20.0;
        point.purchase = inputs.liquid_wealth * k / 20;
        AnalysisState trial = inputs;
        (kind == AnnuityKind::cpi       ? trial.purchase_cpi
         : kind == AnnuityKind::nominal ? trial.purchase_nominal
                                        : trial.purchase_variable) = point.purchase;
        point.refused = analysis_refusal(trial);
        if (!point.refused.empty()) {
            out.points.push_back(point);
            if (control.progress) control.progress((k + 1) / 21.0);
            continue;
        }
        const AnalysisState s = prepared_for_engine(trial);
        // The multiples are of today's net investable wealth.
        const double niw = std::max(0.0, s.net_investable_wealth);
        if (has_spouse(s)) {
            household_point(s, niw, point);
            out.points.push_back(point);
            if (control.progress) control.progress((k + 1) / 21.0);
            continue;
        }
        const RefinedLevelZero f = refined_level_zero(s);
        point.lifetime_ruin = f.lifetime.value;
        point.ruin_10 = f.ruin[0].value;
        point.ruin_20 = f.ruin[1].value;
        point.ruin_30 = f.ruin[2].value;
        point.median_estate_10 = f.median[0].value * niw;
        point.median_estate_20 = f.median[1].value * niw;
        point.median_estate_30 = f.median[2].value * niw;
        for (int h = 1; h <= 2; ++h) {
            const double T = 10.0 * (h + 1);
            (h == 1 ? point.expected_income_20 : point.expected_income_30) =
                expected_income_ratio(annuity_income_ratio(s, T), f.ruin[h].value);
        }
        out.points.push_back(point);
        if (control.progress) control.progress((k + 1) / 21.0);
    }
    for (int k = 0; k < static_cast<int>(out.points.size()); ++k) {
        if (!out.points[k].refused.empty()) continue;
        if (out.best < 0 || out.points[k].lifetime_ruin < out.points[out.best].lifetime_ruin)
            out.best = k;
        if (!out.first_below && out.points[k].lifetime_ruin < threshold) out.first_below = k;
    }
    return out;
}

}  // namespace quorrel
