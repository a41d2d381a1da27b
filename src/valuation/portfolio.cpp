#include "valuation/portfolio.h"

#include <cmath>

namespace quorrel {
namespace {

// Cash is the riskless class: it has a return but no deviation, so its
// weight takes no part in the variance.
double portfolio_deviation(const AnalysisState& s, double w_stock, double w_nomi_bond,
                           double w_real_bond, double w_estate) {
    const double s1 = s.dev_stock * w_stock;
    const double s2 = s.dev_nomi_bond * w_nomi_bond;
    const double s3 = s.dev_real_bond * w_real_bond;
    const double s4 = s.dev_estate * w_estate;
    const auto& c = s.asset_correlation;
    double variance = std::pow(s2, 2) + std::pow(s1, 2);
    variance = variance + std::pow(s3, 2);
    variance = variance + std::pow(s4, 2);
    variance = variance + 2 * s1 * s2 * c[0];
    variance = variance + 2 * s1 * s3 * c[1];
    variance = variance + 2 * s1 * s4 * c[2];
    variance = variance + 2 * s2 * s3 * c[3];
    variance = variance + 2 * s2 * s4 * c[4];
    variance = variance + 2 * s3 * s4 * c[5];
    return std::sqrt(variance);
}

}  // namespace

// The advisory fee comes off every class's mean before the weighting, so a
// fee gives to the bit what lowering each mean by it gives (the weights add
// up to 1); a fee of 0 leaves every mean as it is.
void current_portfolio_return(AnalysisState& s) {
    const double f = s.advisory_fee;
    s.current_expected_return =
        (s.mean_stock - f) * s.weight_stock + (s.mean_nomi_bond - f) * s.weight_nomi_bond +
        (s.mean_real_bond - f) * s.weight_real_bond + (s.mean_cash - f) * s.weight_cash +
        (s.mean_estate - f) * s.weight_estate;
}

void later_portfolio_return(AnalysisState& s) {
    const double f = s.advisory_fee;
    s.later_expected_return = (s.mean_stock - f) * s.later_weight_stock +
                              (s.mean_nomi_bond - f) * s.later_weight_nomi_bond +
                              (s.mean_real_bond - f) * s.later_weight_real_bond +
                              (s.mean_cash - f) * s.later_weight_cash +
                              (s.mean_estate - f) * s.later_weight_estate;
}

void current_portfolio_deviation(AnalysisState& s) {
    s.current_standard_deviation = portfolio_deviation(s, s.weight_stock, s.weight_nomi_bond,
                                                       s.weight_real_bond, s.weight_estate);
}

void later_portfolio_deviation(AnalysisState& s) {
    s.later_standard_deviation =
        portfolio_deviation(s, s.later_weight_stock, s.later_weight_nomi_bond,
                            s.later_weight_real_bond, s.later_weight_estate);
}

void compute_portfolio_statistics(AnalysisState& s) {
    current_portfolio_return(s);
    later_portfolio_return(s);
    current_portfolio_deviation(s);
    later_portfolio_deviation(s);
}

}  // namespace quorrel
