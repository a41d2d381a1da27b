// States for the engine tests: a bare one whose coefficients a test sets by
// hand, and realistic ones built the way a calculation builds them.
#pragma once

#include <cmath>
#include <map>
#include <string>

#include "record/analysis_state.h"
#include "analysis/defaults.h"
#include "record/results.h"
#include "engine/stages/ruin_table.h"
#include "engine/model/wealth_model.h"
#include "valuation/acquired_income.h"
#include "valuation/gompertz.h"
#include "valuation/portfolio.h"

#include <boost/math/distributions/normal.hpp>

namespace quorrel::test {

// P(min of x0 exp(nu t + sigma W_t) over [0, T] <= b), nu = mu - sigma^2/2:
// first passage of geometric Brownian motion, by the reflection principle.
inline double gbm_first_passage(double mu, double sigma, double x0, double b, double T) {
    const boost::math::normal n;
    const double nu = mu - 0.5 * sigma * sigma;
    const double a = std::log(b / x0);
    const double s = sigma * std::sqrt(T);
    return boost::math::cdf(n, (a - nu * T) / s) +
           std::exp(2 * nu * a / (sigma * sigma)) * boost::math::cdf(n, (a + nu * T) / s);
}

// No incomes, no variable annuity, zero return and volatility in both
// allocations: scaled wealth falls by exactly 1 a year.
inline AnalysisState linear_decline_state(double x0 = 20) {
    AnalysisState s;
    s.current_age = 65;
    s.later_allocation_years = 5;
    s.target_income = 40000;
    s.net_investable_wealth = x0 * s.target_income;
    s.wealth_ratio = x0;
    s.variable_annuity_factor = 10;
    s.ruin_lambda = 0.0005;
    s.ruin_modal_age = 88;
    s.ruin_dispersion = 9.5;
    return s;
}

// Defaults plus `change`, then the Go step, the portfolio statistics, the
// engine's ratios and the ruin mortality parameters.
template <class Change>
AnalysisState prepared_state(Change change) {
    AnalysisState s;
    apply_input_defaults(s);
    change(s);
    return prepared_for_engine(s);
}

inline AnalysisState default_state() {
    return prepared_state([](AnalysisState&) {});
}

class RecordingSink final : public ResultSink {
public:
    void publish_result(const std::string& cell, const std::string& text) override {
        order.push_back(cell);
        cells[cell] = text;
    }
    std::vector<std::string> order;
    std::map<std::string, std::string> cells;
};

}  // namespace quorrel::test
