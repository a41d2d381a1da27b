#include "valuation/annuity.h"

#include <array>
#include <cmath>

#include "record/errors.h"
#include "valuation/gompertz.h"

namespace quorrel {
namespace {

void require_finite(double value) {
    if (!std::isfinite(value)) throw ValuationError();
}

// The curve-based factor: bucket k's rate discounts the payments of its
// maturity band. Payments are counted to age 100 below 70, for life from 70
// to 80 and for 20 years above 80.
double curve_annuity_factor(const std::array<double, 6>& rate, double age, double lambda, double m,
                            double b) {
    auto T = [&](double t, double r) { return annuity_tail_value(t, r, age, lambda, m, b); };
    const double H = 100 - age;
    double V = (T(0, rate[0]) - T(5, rate[0])) + (T(5, rate[1]) - T(10, rate[1]));
    V = V + (T(10, rate[2]) - T(15, rate[2]));
    V = V + (T(15, rate[3]) - T(20, rate[3]));
    if (H < 20) {
        require_finite(V);
        return V;
    }
    V = V + (T(20, rate[4]) - T(25, rate[4]));
    V = V + (T(25, rate[5]) - T(30, rate[5]));
    const double U = (30 < H) ? T(H, rate[5]) : 0.0;
    V = V + T(30, rate[5]) - U;
    require_finite(V);
    return V;
}

}  // namespace

double annuity_tail_value(double t, double r, double age, double lambda, double m, double b) {
    const double h_t = gompertz_hazard(age + t, m, b);
    const double h_0 = gompertz_hazard(age, m, b);
    require_finite(h_t);
    require_finite(h_0);
    const double G = upper_incomplete_gamma(-(r + lambda) * b, h_t * b);
    const double E = std::exp((r + lambda) * (m - age) - h_0 * b);
    if (!std::isfinite(E) || E == 0) throw ValuationError();
    const double result = G * b / E;
    require_finite(result);
    return result;
}

double real_annuity_factor(const AnalysisState& s, double age, double lambda, double m, double b) {
    const std::array<double, 6> rate = {s.real_rate_1, s.real_rate_2, s.real_rate_3,
                                        s.real_rate_4, s.real_rate_5, s.real_rate_6};
    return curve_annuity_factor(rate, age, lambda, m, b);
}

double cola_annuity_factor(const AnalysisState& s, double age, double lambda, double m, double b) {
    const std::array<double, 6> rate = {
        s.nominal_rate_1 - s.cola_rate, s.nominal_rate_2 - s.cola_rate,
        s.nominal_rate_3 - s.cola_rate, s.nominal_rate_4 - s.cola_rate,
        s.nominal_rate_5 - s.cola_rate, s.nominal_rate_6 - s.cola_rate};
    return curve_annuity_factor(rate, age, lambda, m, b);
}

}  // namespace quorrel
