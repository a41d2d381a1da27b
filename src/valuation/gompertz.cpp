#include "valuation/gompertz.h"

#include <cmath>
#include <limits>

#include "record/errors.h"
#include "record/results.h"
#include "valuation/mortality_tables.h"

namespace quorrel {
namespace {

constexpr double kEulerGamma = 0.5772156649015329;

// zeta(k) - 1 for k = 2 .. 15 (computed to 30 digits with mpmath and
// rounded to double); higher k are summed directly, see zeta_minus_one.
constexpr double kZetaMinusOne[] = {
    0.6449340668482264,    0.2020569031595943,    0.08232323371113819,   0.03692775514336993,
    0.01734306198444914,   0.008349277381922827,  0.00407735619794434,   0.0020083928260822143,
    0.0009945751278180853, 0.0004941886041194645, 0.0002460865533080483, 0.00012271334757848915,
    6.124813505870483e-05, 3.058823630702049e-05,
};

double zeta_minus_one(int k) {
    if (k <= 15) return kZetaMinusOne[k - 2];
    // For k >= 16 the terms n^-k with n > 20 are below 1e-16 of the sum.
    double sum = 0;
    for (int n = 20; n >= 2; --n) sum += std::pow(static_cast<double>(n), -k);
    return sum;
}

// (Gamma(1 + a) - 1) / a, which tends to -Euler's gamma as a -> 0. Near 0
// the plain difference would cancel, so there it comes from
// ln Gamma(1 + a) = -ln(1 + a) + a (1 - gamma) + sum_k (-1)^k (zeta(k) - 1) a^k / k.
double gamma1p_minus_one_over_a(double a) {
    if (a == 0) return -kEulerGamma;
    if (std::fabs(a) >= 0.5) return (std::tgamma(1 + a) - 1) / a;
    double series = 0;
    double power = a;
    for (int k = 2; k < 100; ++k) {
        power *= a;
        const double term = zeta_minus_one(k) * power / k;
        series += (k % 2 == 0) ? term : -term;
        if (std::fabs(term) <= 1e-17 * std::fabs(series)) break;
    }
    const double ln_gamma1p = -std::log1p(a) + a * (1 - kEulerGamma) + series;
    return std::expm1(ln_gamma1p) / a;
}

// Gamma(a, z) for a in about (-0.5, 1.5) and z up to about 2 by
// Gamma(a, z) = [(Gamma(1+a) - 1) - (z^a - 1)] / a + z^a sum_{n>=1} (-1)^(n+1) z^n / (n! (a + n)),
// which stays accurate as a -> 0, where the answer tends to E1(z).
double incomplete_gamma_small_z(double a, double z) {
    const double ln_z = std::log(z);
    const double z_power_term = (a == 0) ? ln_z : std::expm1(a * ln_z) / a;
    double sum = 0;
    double power = 1;  // z^n / n!
    for (int n = 1; n < 500; ++n) {
        power *= z / n;
        const double term = power / (a + n);
        sum += (n % 2 == 1) ? term : -term;
        if (term <= 1e-17 * std::fabs(sum)) break;
    }
    return gamma1p_minus_one_over_a(a) - z_power_term + std::exp(a * ln_z) * sum;
}

// Gamma(a, z) = e^-z z^a / (z + 1 - a - 1 (1 - a) / (z + 3 - a - 2 (2 - a) / ...)),
// evaluated by the modified Lentz method; converges well for z above ~1.5.
double incomplete_gamma_continued_fraction(double a, double z) {
    constexpr double tiny = 1e-300;
    constexpr double eps = 4 * std::numeric_limits<double>::epsilon();
    double b = z + 1 - a;
    double c = 1 / tiny;
    double d = 1 / b;
    double h = d;
    for (int i = 1; i < 100000; ++i) {
        const double an = -i * (i - a);
        b += 2;
        d = an * d + b;
        if (std::fabs(d) < tiny) d = tiny;
        c = b + an / c;
        if (std::fabs(c) < tiny) c = tiny;
        d = 1 / d;
        const double step = d * c;
        h *= step;
        if (std::fabs(step - 1) < eps) return std::exp(a * std::log(z) - z) * h;
    }
    throw ValuationError();
}

// z below which the series (with the recurrence in a) is used.
constexpr double kSeriesLimit = 1.5;

double incomplete_gamma(double a, double z) {
    if (z > kSeriesLimit) return incomplete_gamma_continued_fraction(a, z);
    const double ln_z = std::log(z);
    if (a <= -0.5) {
        // Downward from a0 = a + n in (-0.5, 0.5]: Gamma(c, z) =
        // (Gamma(c + 1, z) - z^c e^-z) / c, every c at least 0.5 from 0.
        // a + k is exact for these k.
        const int n = static_cast<int>(std::floor(0.5 - a));
        double g = incomplete_gamma_small_z(a + n, z);
        for (int k = n - 1; k >= 0; --k) {
            const double c = a + k;
            g = (g - std::exp(c * ln_z - z)) / c;
        }
        return g;
    }
    if (a < 1.5) return incomplete_gamma_small_z(a, z);
    // Upward from a0 = a - n in [0.5, 1.5): Gamma(c + 1, z) = c Gamma(c, z) + z^c e^-z.
    const int n = static_cast<int>(std::floor(a - 0.5));
    const double a0 = a - n;  // exact
    double g = incomplete_gamma_small_z(a0, z);
    for (int k = 0; k < n; ++k) {
        const double c = a0 + k;
        g = c * g + std::exp(c * ln_z - z);
    }
    return g;
}

}  // namespace

double log_gamma(double x) {
    static constexpr double coefficients[6] = {76.1800917294715,    -86.5053203294168,
                                               24.0140982408309,    -1.23173957245015,
                                               0.00120865097386618, -5.395239384953E-06};
    if (!(x > 0) || !std::isfinite(x)) throw ValuationError();
    double y = x;
    double tmp = x + 5.5;
    tmp = tmp - (x + 0.5) * std::log(tmp);
    double ser = 1.00000000019001;
    for (double c : coefficients) {
        y = y + 1;
        ser = ser + c / y;
    }
    const double result = -tmp + std::log(2.506628274631 * ser / x);
    if (!std::isfinite(result)) throw ValuationError();
    return result;
}

double gamma_function(double x) {
    if (!std::isfinite(x)) throw ValuationError();
    if (x > 0) {
        const double result = std::exp(log_gamma(x));
        if (!std::isfinite(result)) throw ValuationError();
        return result;
    }
    if (x == std::floor(x)) throw ValuationError();  // 0 and the negative whole numbers
    // Below -190 the product has underflowed to zero long before the loop
    // ends; stop early instead of counting up from a huge |x|.
    if (x < -190) return 0.0;
    double product = 1;
    while (x < 0) {
        product = product / x;
        x = x + 1;
    }
    const double result = std::exp(log_gamma(x)) * product;
    if (!std::isfinite(result)) throw ValuationError();
    return result;
}

double upper_incomplete_gamma(double a, double z) {
    if (!std::isfinite(a) || !std::isfinite(z) || !(z > 0)) throw ValuationError();
    // Beyond this the system never goes; the recurrence would take |a| steps.
    if (std::fabs(a) > 1000) throw ValuationError();
    if (a >= 0 && a < 1e-10) a = 1e-9;
    const double result = incomplete_gamma(a, z);
    if (!std::isfinite(result)) throw ValuationError();
    return result;
}

double gompertz_hazard(double age, double m, double b) { return std::exp((age - m) / b) / b; }

double survival_probability(double age, double t, double lambda, double m, double b) {
    return std::exp(-lambda * t + std::exp((age - m) / b) - std::exp((age + t - m) / b));
}

double mean_death_age(double age, double m, double b, double lambda) {
    const double eta = std::exp((age - m) / b);
    const double factor = std::exp(eta) * b * std::exp((age - m) * lambda);
    const double result = factor * upper_incomplete_gamma(-lambda * b, eta) + age;
    if (!std::isfinite(result)) throw ValuationError();
    return result;
}

void select_ruin_parameters(AnalysisState& state) {
    const GompertzMakehamParams p = select_mortality_parameters(
        state, ruin_table_for_code(state.ruin_table_code), state.gender_code, state.current_age,
        state.ruin_projection_years);
    state.ruin_lambda = p.lambda;
    state.ruin_modal_age = p.modal_age;
    state.ruin_dispersion = p.dispersion;
    state.expected_death_age = mean_death_age(state.current_age, state.ruin_modal_age,
                                              state.ruin_dispersion, state.ruin_lambda);
    if (!has_spouse(state)) return;
    const GompertzMakehamParams q = select_mortality_parameters(
        state, ruin_table_for_code(state.ruin_table_code), state.spouse_gender_code,
        state.spouse_age, state.ruin_projection_years);
    state.spouse_ruin_lambda = q.lambda;
    state.spouse_ruin_modal_age = q.modal_age;
    state.spouse_ruin_dispersion = q.dispersion;
}

std::vector<double> build_survival_curve(AnalysisState& state) {
    // Int(110 - age). The results screen holds at most 100 points, so the
    // last offset is kept within 0..99 for ages the input screen never
    // offers (and NaN).
    double years = std::floor(kLifetimeEndAge - state.current_age);
    if (!(years >= 0)) years = 0;
    if (years > 99) years = 99;
    state.survival_years = static_cast<std::int16_t>(years);
    std::vector<double> curve;
    curve.reserve(static_cast<std::size_t>(state.survival_years) + 1);
    for (int k = 0; k <= state.survival_years; ++k) {
        curve.push_back(survival_probability(state.current_age, k, state.ruin_lambda,
                                             state.ruin_modal_age, state.ruin_dispersion));
    }
    return curve;
}

std::int16_t find_ninetieth_percentile(const std::vector<double>& survival_curve,
                                       std::int16_t previous) {
    for (std::size_t k = 0; k < survival_curve.size(); ++k) {
        if (std::fabs(survival_curve[k] - 0.1) < 0.05) return static_cast<std::int16_t>(k + 1);
    }
    return previous;
}

}  // namespace quorrel
