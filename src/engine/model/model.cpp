#include "engine/model/model.h"

#include <algorithm>
#include <cmath>

#include "valuation/gompertz.h"

namespace quorrel {

double makeham_hazard(double r, double lambda, double age, double m, double b) {
    return (gompertz_hazard(age, m, b) + lambda) * (1 + r);
}

double makeham_survival(double r, double t, double age, double lambda, double m, double b) {
    const double shifted_modal_age = m - b * std::log(1 + r);
    const double G = gompertz_hazard(age, shifted_modal_age, b);
    return std::exp(G * b * (1 - std::exp(t / b)) - t * lambda);
}

namespace engine {

Model Model::from_state(const AnalysisState& s) {
    Model m;
    m.current_mu = s.current_expected_return;
    m.later_mu = s.later_expected_return;
    m.current_sigma = s.current_standard_deviation;
    m.later_sigma = s.later_standard_deviation;
    m.later_years = static_cast<double>(s.later_allocation_years);
    m.real_income_ratio = s.real_income_ratio;
    m.nominal_income_ratio = s.nominal_income_ratio;
    m.variable_income_ratio = s.variable_income_ratio;
    m.cola_rate = s.cola_rate;
    m.air_rate = s.air_rate;
    m.implied_inflation = s.implied_inflation;
    m.advisory_fee = s.advisory_fee;
    m.investable_wealth = s.net_investable_wealth;
    m.current_age = s.current_age;
    m.lambda = s.ruin_lambda;
    m.modal_age = s.ruin_modal_age;
    m.dispersion = s.ruin_dispersion;
    const bool percent = s.spending_rule == static_cast<std::int16_t>(SpendingRule::percent);
    const bool guardrails = s.spending_rule == static_cast<std::int16_t>(SpendingRule::guardrails);
    if (percent || guardrails) {
        m.spending_rule = percent ? SpendingRule::percent : SpendingRule::guardrails;
        if (percent) m.spending_rate = s.spending_rate;
        const bool target = s.target_income > 0;
        m.spending_floor = s.spending_floor > 0 && target ? s.spending_floor / s.target_income
                                                          : kDefaultFloorShare;
        m.spending_ceiling = s.spending_ceiling > 0 && target
                                 ? s.spending_ceiling / s.target_income
                                 : kDefaultCeilingShare;
        if (guardrails) {
            m.guardrail_upper = s.guardrail_upper;
            m.guardrail_lower = s.guardrail_lower;
            m.spending_cut = s.spending_cut;
            m.spending_raise = s.spending_raise;
        }
    }
    return m;
}

double Model::exposure(double t) const {
    return 1 + variable_income_ratio * std::exp(-(implied_inflation + air_rate) * t);
}

double Model::inflation_factor(double t) const {
    return std::exp((cola_rate - implied_inflation) * t);
}

double Model::net_income(double t) const {
    return -withdrawal + real_income_ratio + nominal_income_ratio * inflation_factor(t);
}

double Model::drift(double g, double t, double x) const {
    return mu(t) * x * exposure(t) - std::exp(g * t) + real_income_ratio +
           nominal_income_ratio * inflation_factor(t);
}

double Model::diffusion(double t, double x) const {
    const double s = sigma(t);
    return 0.5 * (s * s) * (x * x) * exposure(t);
}

bool Model::coefficients_constant_in_time() const {
    const bool exposure_fixed = variable_income_ratio == 0 || implied_inflation + air_rate == 0;
    const bool income_fixed = nominal_income_ratio == 0 || cola_rate == implied_inflation;
    return exposure_fixed && income_fixed;
}

double Model::annuity_income(double T) const {
    return nominal_income_ratio * inflation_factor(T) + real_income_ratio +
           investable_wealth * variable_income_ratio *
               std::exp((mu(T) + advisory_fee - air_rate - implied_inflation) * T);
}

double Model::survival(double t) const {
    const double b = dispersion;
    return std::exp(-lambda * t + std::exp((current_age - modal_age) / b) * (1 - std::exp(t / b)));
}

double LifeLaw::survival(double t) const {
    const double b = dispersion;
    return std::exp(-lambda * t + std::exp((age - modal_age) / b) * (1 - std::exp(t / b)));
}

double LifeLaw::truncated_survival(double t) const {
    const double H = horizon();
    if (t >= H) return 0;
    const double s_end = survival(H);
    return (survival(t) - s_end) / (1 - s_end);
}

// Newton's method on the cumulative hazard lambda t + e^((age - m)/b)
// (e^(t/b) - 1) from the right: it is convex, so the iterates fall
// monotonically to the root.
double LifeLaw::death_time(double u, double end) const {
    if (!(end > 0)) return 0;
    const double s_end = survival(end);
    const double target = -std::log1p(-u * (1 - s_end));
    const double b = dispersion;
    const double g = std::exp((age - modal_age) / b);
    double t = end;
    for (int k = 0; k < 80; ++k) {
        const double e = std::exp(t / b);
        const double H = lambda * t + g * (e - 1);
        const double dH = lambda + g * e / b;
        const double next = t - (H - target) / dH;
        if (!(next < t)) break;
        t = std::max(next, 0.0);
        if (std::fabs(H - target) < 1e-13 * std::max(1.0, target)) break;
    }
    return std::min(t, end);
}

double Model::conditional_survival(double t, double horizon) const {
    if (t >= horizon) return 0;
    if (last_survivor_with) {
        const double p = life().truncated_survival(t);
        const double s = last_survivor_with->truncated_survival(t);
        return p + s - p * s;
    }
    const double s_end = survival(horizon);
    return (survival(t) - s_end) / (1 - s_end);
}

double Model::hazard(double t) const {
    return makeham_hazard(0, lambda, current_age + t, modal_age, dispersion);
}

double Model::solver_survival(double t) const {
    return makeham_survival(0, t, current_age, lambda, modal_age, dispersion);
}

double Model::truncated_death_rate(double t, double horizon_survival) const {
    const double h = hazard(t);
    const double S_t = solver_survival(t);
    return (S_t * h) / (S_t - horizon_survival);
}

}  // namespace engine
}  // namespace quorrel
