#include "valuation/joint_annuity.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>

#include "record/errors.h"
#include "valuation/annuity.h"
#include "valuation/gompertz.h"

namespace quorrel {
namespace {

constexpr double kForever = std::numeric_limits<double>::infinity();

std::array<double, 6> discount_rates(const AnalysisState& s, AnnuityKind kind) {
    switch (kind) {
        case AnnuityKind::cpi_linked:
            return {s.real_rate_1, s.real_rate_2, s.real_rate_3,
                    s.real_rate_4, s.real_rate_5, s.real_rate_6};
        case AnnuityKind::nominal_cola:
            return {s.nominal_rate_1 - s.cola_rate, s.nominal_rate_2 - s.cola_rate,
                    s.nominal_rate_3 - s.cola_rate, s.nominal_rate_4 - s.cola_rate,
                    s.nominal_rate_5 - s.cola_rate, s.nominal_rate_6 - s.cola_rate};
        case AnnuityKind::variable: break;
    }
    return {s.air_rate, s.air_rate, s.air_rate, s.air_rate, s.air_rate, s.air_rate};
}

// Years of payments the single-life factor counts for a life of this age;
// the same tests on H = 100 - age as the curve-based factor makes.
double payment_horizon(AnnuityKind kind, double age) {
    if (kind == AnnuityKind::variable) return kForever;
    const double H = 100 - age;
    if (H < 20) return 20;
    if (30 < H) return H;
    return kForever;
}

// The 10-point Gauss-Legendre rule on [-1, 1], nodes by Newton's method on
// the Legendre polynomial.
struct GaussLegendreRule {
    static constexpr int n = 10;
    std::array<double, n> node{};
    std::array<double, n> weight{};
};

const GaussLegendreRule& gauss_legendre_10() {
    static const GaussLegendreRule rule = [] {
        GaussLegendreRule r;
        constexpr int n = GaussLegendreRule::n;
        for (int i = 0; i < n / 2; ++i) {
            double z = std::cos(std::numbers::pi * (i + 0.75) / (n + 0.5));
            double derivative = 1;
            for (int iteration = 0; iteration < 100; ++iteration) {
                double p1 = 1, p2 = 0;
                for (int j = 1; j <= n; ++j) {
                    const double p3 = p2;
                    p2 = p1;
                    p1 = ((2 * j - 1) * z * p2 - (j - 1) * p3) / j;
                }
                derivative = n * (z * p1 - p2) / (z * z - 1);
                const double step = p1 / derivative;
                z -= step;
                if (std::fabs(step) < 1e-16) break;
            }
            r.node[i] = -z;
            r.node[n - 1 - i] = z;
            r.weight[i] = r.weight[n - 1 - i] = 2 / ((1 - z * z) * derivative * derivative);
        }
        return r;
    }();
    return rule;
}

// Two (or more) independent lives seen as one: the logarithm of their joint
// survival discounted at `rate`, -rate t + sum of (-lambda t - e^((age -
// m)/b) (e^(t/b) - 1)), and their joint force of mortality, sum of lambda +
// e^((age + t - m)/b) / b.
struct JointLaw {
    std::span<const AnnuityLife> lives;

    double log_discounted_survival(double t, double rate) const {
        double sum = -rate * t;
        for (const AnnuityLife& life : lives) {
            const GompertzMakehamParams& p = life.law;
            sum -= p.lambda * t +
                   std::exp((life.age - p.modal_age) / p.dispersion) * std::expm1(t / p.dispersion);
        }
        return sum;
    }
    double hazard(double t) const {
        double sum = 0;
        for (const AnnuityLife& life : lives) {
            const GompertzMakehamParams& p = life.law;
            sum += p.lambda + gompertz_hazard(life.age + t, p.modal_age, p.dispersion);
        }
        return sum;
    }
    double narrowest_dispersion() const {
        double b = kForever;
        for (const AnnuityLife& life : lives) b = std::min(b, life.law.dispersion);
        return b;
    }
};

// The integral from lo to hi of exp(-rate t) x the joint survival, by
// Gauss-Legendre panels. Inside one maturity band the integrand is smooth
// (an entire function of t); its only kinks are at the band edges and the
// horizon, which are panel edges, so a fixed rule converges geometrically
// and needs no adaptive bookkeeping, as long as each panel is short against
// the scales the integrand varies on: the dispersion b (the Gompertz term
// grows by e over b years) and 1/mu, mu the joint force of mortality at the
// panel's start. Panels no wider than b/2, 1/mu and 2 years make every
// derivative of the exponent on a panel small, so 10 nodes leave an error
// near rounding: about 1e-14 of the value for every table row against the
// closed form. Integration stops where the discounted survival has fallen
// below e^-60 and is still falling; its logarithm is concave in t, so it
// falls from there on. `panels` counts the panels of the whole factor.
double band_value(const JointLaw& law, double rate, double lo, double hi, int& panels) {
    const GaussLegendreRule& rule = gauss_legendre_10();
    const double widest = std::min(2.0, law.narrowest_dispersion() / 2);
    double value = 0;
    for (double a = lo; a < hi;) {
        const double mu = law.hazard(a);
        const double log_f = law.log_discounted_survival(a, rate);
        // A law that never dies, or one whose panels would not end.
        if (!std::isfinite(mu) || !std::isfinite(log_f) || a > 1000 || ++panels > 100000) {
            throw ValuationError();
        }
        if (log_f < -60 && mu + rate > 0) break;
        const double z = std::min(hi, a + (mu > 0 ? std::min(widest, 1 / mu) : widest));
        const double half = 0.5 * (z - a), mid = 0.5 * (a + z);
        double sum = 0;
        for (int i = 0; i < GaussLegendreRule::n; ++i) {
            sum += rule.weight[i] *
                   std::exp(law.log_discounted_survival(mid + half * rule.node[i], rate));
        }
        value += half * sum;
        a = z;
    }
    return value;
}

}  // namespace

AnnuityLife annuity_table_life(const AnalysisState& state, int gender_code, double age) {
    return {age,
            select_mortality_parameters(state, annuity_table_for_code(state.annuity_table_code),
                                        gender_code, age, state.annuity_projection_years)};
}

double single_life_annuity_factor(const AnalysisState& state, AnnuityKind kind,
                                  const AnnuityLife& life) {
    const GompertzMakehamParams& p = life.law;
    switch (kind) {
        case AnnuityKind::cpi_linked:
            return real_annuity_factor(state, life.age, p.lambda, p.modal_age, p.dispersion);
        case AnnuityKind::nominal_cola:
            return cola_annuity_factor(state, life.age, p.lambda, p.modal_age, p.dispersion);
        case AnnuityKind::variable: break;
    }
    return annuity_tail_value(0, state.air_rate, life.age, p.lambda, p.modal_age, p.dispersion);
}

double all_alive_annuity_factor(const AnalysisState& state, AnnuityKind kind,
                                std::span<const AnnuityLife> lives) {
    if (lives.empty()) throw ValuationError();
    const JointLaw law{lives};
    double horizon = kForever;
    for (const AnnuityLife& life : lives) {
        const GompertzMakehamParams& p = life.law;
        if (!std::isfinite(life.age) || !std::isfinite(p.lambda) || !std::isfinite(p.modal_age) ||
            !std::isfinite(p.dispersion) || !(p.dispersion > 0)) {
            throw ValuationError();
        }
        horizon = std::min(horizon, payment_horizon(kind, life.age));
    }
    const std::array<double, 6> rate = discount_rates(state, kind);
    double value = 0;
    int panels = 0;
    for (int k = 0; k < 6; ++k) {
        const double hi = std::min(k == 5 ? kForever : 5.0 * (k + 1), horizon);
        value += band_value(law, rate[k], 5.0 * k, hi, panels);
    }
    if (!std::isfinite(value)) throw ValuationError();
    return value;
}

double joint_survivor_factor(const AnalysisState& state, AnnuityKind kind,
                             const AnnuityLife& person, const AnnuityLife& spouse,
                             double survivor_share) {
    const double s = survivor_share;
    if (!(s >= 0 && s <= 1)) throw ValuationError();
    const double a_person = single_life_annuity_factor(state, kind, person);
    const double a_spouse = single_life_annuity_factor(state, kind, spouse);
    const AnnuityLife both[] = {person, spouse};
    const double a_joint = all_alive_annuity_factor(state, kind, both);
    const double factor = s * (a_person + a_spouse) + (1 - 2 * s) * a_joint;
    if (!std::isfinite(factor)) throw ValuationError();
    return factor;
}

}  // namespace quorrel
