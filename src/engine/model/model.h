// The wealth process and the death law, as the standard scheme's
// coefficients, the refined scheme and the simulation all read them: one
// frozen copy of the prepared record's coefficients, so that worker threads
// never touch the analysis state.
#pragma once

#include <algorithm>
#include <optional>

#include "record/analysis_state.h"
#include "record/results.h"

namespace quorrel::engine {

struct AllocationRegime {
    double mu = 0;     // expected real return
    double sigma = 0;  // standard deviation
};

enum class SpendingRule { fixed, percent, guardrails };

// The floor and ceiling a record of 0 stands for, as fractions of the target.
inline constexpr double kDefaultFloorShare = 0.75;
inline constexpr double kDefaultCeilingShare = 1.5;

// One life's Gompertz-Makeham law from its current age.
struct LifeLaw {
    double age = 65;
    double lambda = 0, modal_age = 0, dispersion = 1;
    // Probability of being alive t years from today.
    double survival(double t) const;
    // Years from today to kLifetimeEndAge, where the lifetime figures end.
    double horizon() const { return kLifetimeEndAge - age; }
    // survival(t) of the life certain to die before horizon(): the lifetime
    // figures' law. 0 from the horizon on.
    double truncated_survival(double t) const;
    // Time of death, for a uniform u, of the life certain to die before
    // `end`: the inverse of the law truncated there.
    double death_time(double u, double end) const;
};

struct Model {
    // The invested portfolio's expected real return, after the advisory fee
    // (the portfolio statistics take it off every class's mean), so that every
    // scheme's drift has it from here.
    double current_mu = 0, later_mu = 0;
    double current_sigma = 0, later_sigma = 0;
    double later_years = 0;  // today's allocation while t <= later_years
    double real_income_ratio = 0, nominal_income_ratio = 0, variable_income_ratio = 0;
    double cola_rate = 0, air_rate = 0, implied_inflation = 0;
    // Charged on the invested portfolio only: the variable annuity's income
    // follows the return before it.
    double advisory_fee = 0;
    // Net investable wealth in money: the variable annuity's income scales with it.
    double investable_wealth = 0;
    // The spending rule, in years of target income: fixed spends 1 a year;
    // percent spends min(max(rate x, floor), ceiling) at wealth x.
    SpendingRule spending_rule = SpendingRule::fixed;
    double spending_rate = 0;
    double spending_floor = 1, spending_ceiling = 1;
    // Guardrails, as fractions: at each yearly review spending is cut by
    // spending_cut when the withdrawal rate is above the first year's by more
    // than guardrail_upper of it, raised by spending_raise when below it by
    // more than guardrail_lower of it; between the floor and the ceiling.
    double guardrail_upper = 0, guardrail_lower = 0;
    double spending_cut = 0, spending_raise = 0;
    // Gompertz-Makeham law of the remaining lifetime from current_age.
    double current_age = 65;
    double lambda = 0, modal_age = 0, dispersion = 1;
    // The spending a year in years of target income: 1, or a survivor's
    // share of it in a household.
    double withdrawal = 1;
    // Test hook: when set, the lifetime figures' death law is the last
    // survivor's of this life and `last_survivor_with`, each truncated at its
    // own kLifetimeEndAge: S_p + S_s - S_p S_s.
    std::optional<LifeLaw> last_survivor_with;

    // The coefficients of the prepared state (prepare_engine_inputs and
    // select_ruin_parameters have run).
    static Model from_state(const AnalysisState& state);

    // --- The wealth process, in years of real target income.
    bool later_regime(double t) const { return t > later_years; }
    double mu(double t) const { return later_regime(t) ? later_mu : current_mu; }
    double sigma(double t) const { return later_regime(t) ? later_sigma : current_sigma; }
    AllocationRegime regime(double t) const { return {mu(t), sigma(t)}; }
    // Exposure multiplier m(t) of the variable annuity.
    double exposure(double t) const;
    // What the nominal income keeps of its real value at t: inflation less COLA.
    double inflation_factor(double t) const;
    // The part of the drift that does not grow with wealth: pensions and
    // annuities less the withdrawal of 1 a year.
    double net_income(double t) const;
    // --- The spending rule.
    // True when spending depends on wealth (the percent rule); the fixed
    // rule's drift is net_income as it has always been.
    bool spending_follows_wealth() const { return spending_rule == SpendingRule::percent; }
    // Spending at wealth x, in years of target income.
    double spending(double x) const {
        if (!spending_follows_wealth()) return withdrawal;
        return std::min(std::max(spending_rate * x, spending_floor), spending_ceiling);
    }
    // What the rule adds to net_income at wealth x: withdrawal - spending(x),
    // exactly 0 where it spends the withdrawal, so that a rule spending the
    // target leaves every drift as the fixed rule's to the bit.
    double spending_relief(double x) const { return withdrawal - spending(x); }
    // d spending / dx at x (0 at and beyond the floor and the ceiling).
    double spending_slope(double x) const {
        if (!spending_follows_wealth()) return 0;
        const double r = spending_rate * x;
        return r > spending_floor && r < spending_ceiling ? spending_rate : 0;
    }
    // Spending at the start of the grid's cells as wealth falls to 0.
    double spending_at_zero() const {
        return spending_follows_wealth() ? std::min(spending_floor, spending_ceiling) : withdrawal;
    }

    // Drift and half the variance rate at wealth x when the withdrawal grows
    // at g, in the operation order of the standard scheme (its figures are
    // kept bit for bit, and the lane kernel repeats this order node by node).
    double drift(double g, double t, double x) const;
    double diffusion(double t, double x) const;
    // True when exposure and net income are the same at every time, so the
    // scheme's matrices change only with the allocation.
    bool coefficients_constant_in_time() const;
    // The pensions' and annuities' income at horizon T as a fraction of the
    // target: the nominal part eroded by inflation beyond its COLA, the CPI
    // part as it is, the variable part grown at the horizon's return (before
    // the advisory fee) above its AIR.
    double annuity_income(double T) const;

    // --- The death law.
    // Probability of being alive t years from today.
    double survival(double t) const;
    // Probability of being alive at t for a life certain to die before
    // horizon (the lifetime figures' death law, truncated at kLifetimeEndAge).
    double conditional_survival(double t, double horizon) const;
    // Force of mortality t years from today.
    double hazard(double t) const;
    // survival(t) as the standard scheme's lifetime solve has always rounded
    // it (through the Gompertz hazard times the dispersion); equal to
    // survival(t) but for the last bits, kept so that its figures stay
    // bit for bit.
    double solver_survival(double t) const;
    // Death rate at t of a life certain to die before the horizon whose
    // solver_survival is `horizon_survival`: the lifetime solve's killing term.
    double truncated_death_rate(double t, double horizon_survival) const;

    // Years from today to kLifetimeEndAge: the lifetime figures' horizon.
    double lifetime_horizon() const {
        const double own = kLifetimeEndAge - current_age;
        return last_survivor_with ? std::max(own, last_survivor_with->horizon()) : own;
    }
    // This life's law.
    LifeLaw life() const { return {current_age, lambda, modal_age, dispersion}; }
    // kTailYears beyond it: where the expected ruin age stops following wealth.
    double tail_horizon() const { return lifetime_horizon() + kTailYears; }
};

}  // namespace quorrel::engine

namespace quorrel {

// The Gompertz-Makeham law with the force of interest r folded in: the
// hazard (its Gompertz part and lambda, times 1 + r) and the survival.
double makeham_hazard(double r, double lambda, double age, double m, double b);
double makeham_survival(double r, double t, double age, double lambda, double m, double b);

}  // namespace quorrel
