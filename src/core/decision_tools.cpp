#include "core/decision_tools.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <sstream>

#include <boost/math/tools/toms748_solve.hpp>

#include "core/number_format.h"
#include "engine/refined.h"
#include "engine/wealth_model.h"

namespace quorrel {

namespace {

struct Cancelled {};

// Money amounts the pipeline admits: the net investable wealth below 60 times
// the target income.
constexpr double kRatioLimit = 60;

std::string percent(double p) { return format_percent2(p); }

}  // namespace

SpendingSolution solve_sustainable_spending(const AnalysisState& inputs, SolveFor mode, double probability,
                                            const ToolControl& control) {
    SpendingSolution out;
    out.solved_for = mode;
    if (!(probability >= kSolveLowestProbability && probability <= kSolveHighestProbability)) {
        out.message = "The lifetime ruin probability to solve for must be between 0.5% and 50%.";
        return out;
    }
    auto lifetime_at = [&](double value) {
        if (control.cancel && control.cancel->load()) throw Cancelled{};
        AnalysisState trial = inputs;
        (mode == SolveFor::income ? trial.target_income : trial.liquid_wealth) = value;
        const double p = refined_lifetime_ruin(prepared_for_engine(trial)).value;
        ++out.iterations;
        if (control.progress) control.progress(std::min(0.95, out.iterations / 20.0));
        return p;
    };

    try {
        // Net investable wealth does not move with the target income; the
        // wealth that the purchases leave does not move with the target.
        const AnalysisState base = prepared_for_engine(inputs);
        const double purchases = inputs.purchase_nominal + inputs.purchase_cpi + inputs.purchase_variable;
        double lo = 0, hi = 0, f_lo = 0, f_hi = 0;
        if (mode == SolveFor::income) {
            const double niw = base.net_investable_wealth;
            if (!(niw > 0)) {
                out.message = "No target income can be solved for: the annuity purchases leave no investable wealth.";
                return out;
            }
            // The smallest income the calculation admits, and larger ones by doubling.
            lo = std::ceil(niw / kRatioLimit * (1 + 1e-9));
            f_lo = lifetime_at(lo) - probability;
            if (f_lo >= 0) {
                out.message = "No target income gives a lifetime ruin probability as low as " + percent(probability) +
                              ": even the smallest income the calculation allows (" + format_grouped0(lo) + ") gives " +
                              percent(f_lo + probability) + ".";
                return out;
            }
            hi = std::max(2 * lo, inputs.target_income);
            f_hi = lifetime_at(hi) - probability;
            while (f_hi <= 0) {
                lo = hi;
                f_lo = f_hi;
                hi *= 2;
                if (hi > 1e13) {
                    out.message = "No target income reaches a lifetime ruin probability of " + percent(probability) + ".";
                    return out;
                }
                f_hi = lifetime_at(hi) - probability;
            }
        } else {
            if (!(inputs.target_income > 0)) {
                out.message = "No wealth can be solved for without a positive target income.";
                return out;
            }
            // The bracket grows by doubling from today's wealth, within the
            // wealth the calculation admits.
            const double least = purchases;
            const double most = std::floor(purchases + kRatioLimit * inputs.target_income * (1 - 1e-9));
            double v = std::clamp(inputs.liquid_wealth, least + 1, most);
            double f_v = lifetime_at(v) - probability;
            if (f_v > 0) {
                lo = v;
                f_lo = f_v;
                hi = v;
                f_hi = f_v;
                while (f_hi > 0) {
                    if (hi >= most) {
                        out.message = "No wealth the calculation allows (up to 60 times the target income beside the "
                                      "purchases) brings the lifetime ruin probability down to " + percent(probability) +
                                      "; at that wealth it is " + percent(f_hi + probability) + ".";
                        return out;
                    }
                    lo = hi;
                    f_lo = f_hi;
                    hi = std::min(most, least + 2 * (hi - least));
                    f_hi = lifetime_at(hi) - probability;
                }
            } else {
                hi = v;
                f_hi = f_v;
                lo = v;
                f_lo = f_v;
                while (f_lo <= 0) {
                    if (lo <= least) {
                        out.message = "No wealth is needed: the pensions and annuities alone keep the lifetime ruin "
                                      "probability at " + percent(f_lo + probability) + ", at or below " +
                                      percent(probability) + ".";
                        return out;
                    }
                    hi = lo;
                    f_hi = f_lo;
                    const double next = least + (lo - least) / 2;
                    lo = next - least < 1 ? least : next;
                    f_lo = lifetime_at(lo) - probability;
                }
            }
        }

        double best_value = std::fabs(f_lo) < std::fabs(f_hi) ? lo : hi;
        double best_gap = std::min(std::fabs(f_lo), std::fabs(f_hi));
        double best_p = (std::fabs(f_lo) < std::fabs(f_hi) ? f_lo : f_hi) + probability;
        auto f = [&](double v) {
            const double p = lifetime_at(v);
            if (std::fabs(p - probability) < best_gap) {
                best_gap = std::fabs(p - probability);
                best_value = v;
                best_p = p;
            }
            return p - probability;
        };
        // Half the probability tolerance, so that the published whole amount
        // computed again still lies within it.
        auto tol = [&](double a, double b) {
            return best_gap <= kSolveProbabilityTolerance / 2 || std::fabs(b - a) <= kSolveMoneyTolerance;
        };
        std::uintmax_t max_iterations = 60;
        boost::math::tools::toms748_solve(f, lo, hi, f_lo, f_hi, tol, max_iterations);
        // The published amount is whole; the income side rounds down and the
        // wealth side up, so the figure errs towards safety.
        const double value = mode == SolveFor::income ? std::floor(best_value) : std::ceil(best_value);
        out.value = value;
        out.lifetime_ruin = value == best_value ? best_p : lifetime_at(value);
        out.found = true;
    } catch (const Cancelled&) {
        out.cancelled = true;
        out.message = "Cancelled.";
    }
    if (control.progress) control.progress(1);
    return out;
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
    for (int k = 0; k <= 20; ++k) {
        if (control.cancel && control.cancel->load()) {
            out.cancelled = true;
            return out;
        }
        SweepPoint point;
        point.share = k / 20.0;
        point.purchase = inputs.liquid_wealth * k / 20;
        AnalysisState trial = inputs;
        (kind == AnnuityKind::cpi ? trial.purchase_cpi
                                  : kind == AnnuityKind::nominal ? trial.purchase_nominal : trial.purchase_variable) =
            point.purchase;
        const AnalysisState s = prepared_for_engine(trial);
        const RefinedLevelZero f = refined_level_zero(s);
        point.lifetime_ruin = f.lifetime.value;
        point.ruin_10 = f.ruin[0].value;
        point.ruin_20 = f.ruin[1].value;
        point.ruin_30 = f.ruin[2].value;
        // The multiples are of today's net investable wealth.
        const double niw = std::max(0.0, s.net_investable_wealth);
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
        if (out.best < 0 || out.points[k].lifetime_ruin < out.points[out.best].lifetime_ruin) out.best = k;
        if (!out.first_below && out.points[k].lifetime_ruin < threshold) out.first_below = k;
    }
    return out;
}

}  // namespace quorrel
