// Helpers shared by the valuation tests: CSV reading, an independent
// quadrature of the survival integral, and the original 100-term series of
// the upper incomplete gamma function.
#pragma once

#include <cmath>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "record/analysis_state.h"
#include "valuation/gompertz.h"

namespace quorrel::test {

// Rows of a comma-separated file without its header line, fields as text.
inline std::vector<std::vector<std::string>> read_csv(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::vector<std::string>> rows;
    std::string line;
    if (!std::getline(in, line)) return rows;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        std::vector<std::string> fields;
        std::stringstream ss(line);
        std::string field;
        while (std::getline(ss, field, ',')) fields.push_back(field);
        rows.push_back(fields);
    }
    return rows;
}

// Composite Simpson rule with n (even) panels.
inline double simpson(const std::function<double(double)>& f, double lo, double hi, int n) {
    const double h = (hi - lo) / n;
    double sum = f(lo) + f(hi);
    for (int i = 1; i < n; ++i) sum += f(lo + i * h) * (i % 2 == 1 ? 4 : 2);
    return sum * h / 3;
}

// Integral from t0 to t1 of exp(-r s) survival_probability(age, s, ...) ds by
// Simpson's rule on a 0.005-year grid; t1 < 0 means on to age 160, past
// which no table leaves anything to integrate. Independent of the
// incomplete gamma function that the closed forms use.
inline double survival_integral(double t0, double t1, double r, double age, double lambda, double m,
                                double b) {
    if (t1 < 0) t1 = 160 - age;
    const int panels = 2 * static_cast<int>(std::ceil((t1 - t0) / 0.01));
    return simpson(
        [&](double s) { return std::exp(-r * s) * survival_probability(age, s, lambda, m, b); }, t0,
        t1, panels);
}

// Flat yield curves on the state: every real bucket at `real`, every
// nominal bucket at `nominal`.
inline void set_flat_curves(AnalysisState& s, double real, double nominal) {
    s.real_rate_1 = s.real_rate_2 = s.real_rate_3 = s.real_rate_4 = s.real_rate_5 = s.real_rate_6 =
        real;
    s.nominal_rate_1 = s.nominal_rate_2 = s.nominal_rate_3 = s.nominal_rate_4 = s.nominal_rate_5 =
        s.nominal_rate_6 = nominal;
}

// The original method: Gamma(a) less the lower incomplete gamma function by
// its power series with exactly 100 terms after the first. Accurate while z
// is below about 30; the values the product has always been quoted with
// came from it.
inline double hundred_term_series(double a, double z) {
    if (a >= 0 && a < 1e-10) a = 1e-9;
    double sum = 1 / a;
    const double za = std::exp(a * std::log(z));
    double numerator = 1;
    double denominator = a;
    for (int n = 1; n <= 100; ++n) {
        numerator = numerator * z;
        denominator = denominator * (n + a);
        sum = sum + numerator / denominator;
    }
    return gamma_function(a) - sum * (std::exp(-z) * za);
}

}  // namespace quorrel::test
