#include "engine/stages/cross_check.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace quorrel {

Agreement compare_with_simulation(double figure, double error_estimate, const McEstimate& simulated,
                                  double standard_error_floor) {
    if (!std::isfinite(figure) || !std::isfinite(error_estimate) ||
        !std::isfinite(simulated.value) || !std::isfinite(simulated.standard_error))
        return Agreement::unknown;
    const double se = std::max(simulated.standard_error, standard_error_floor);
    const double allowed = 3 * se + std::fabs(error_estimate);
    return std::fabs(figure - simulated.value) <= allowed ? Agreement::agrees
                                                          : Agreement::disagrees;
}

bool CrossCheck::any_disagreement() const {
    const auto disagrees = [](Agreement a) { return a == Agreement::disagrees; };
    for (const auto& row : ruin)
        if (std::any_of(row.begin(), row.end(), disagrees)) return true;
    for (const auto& row : estate)
        if (std::any_of(row.begin(), row.end(), disagrees)) return true;
    for (const auto& row : spending)
        if (std::any_of(row.begin(), row.end(), disagrees)) return true;
    return disagrees(expected_ruin_age) ||
           std::any_of(expected_income.begin(), expected_income.end(), disagrees) ||
           std::any_of(spending_at_floor.begin(), spending_at_floor.end(), disagrees);
}

CrossCheck cross_check(const ResultsRecord& r, const MonteCarloResults& mc) {
    CrossCheck check;
    const auto unknown = [](auto& grid) {
        for (auto& row : grid) row.fill(Agreement::unknown);
    };
    unknown(check.ruin);
    unknown(check.estate);
    unknown(check.spending);
    check.expected_income.fill(Agreement::unknown);
    check.spending_at_floor.fill(Agreement::unknown);
    if (!r.refined || mc.cancelled || mc.paths <= 0) return check;

    // One path in n is the finest step a simulated proportion takes. The
    // expected income moves with its ruin probability by |1 - annuity
    // income| <= 1 target per unit, so the same floor bounds it.
    const double floor = 1.0 / static_cast<double>(mc.paths);
    for (std::size_t row = 0; row < 4; ++row)
        for (std::size_t col = 0; col < 4; ++col)
            check.ruin[row][col] = compare_with_simulation(
                r.ruin_grid[row][col], r.ruin_error[row][col], mc.ruin[row][col], floor);
    for (std::size_t row = 0; row < 3; ++row)
        for (std::size_t col = 0; col < 3; ++col)
            check.estate[row][col] = compare_with_simulation(
                r.estate_grid[row][col], r.estate_error[row][col], mc.estate[row][col]);
    check.expected_ruin_age = compare_with_simulation(
        r.expected_ruin_age, r.expected_ruin_age_error, mc.expected_ruin_age);
    for (std::size_t i = 0; i < 20; ++i)
        check.expected_income[i] = compare_with_simulation(
            r.expected_income[i], r.expected_income_error[i], mc.expected_income[i], floor);
    for (std::size_t row = 0; row < 3; ++row) {
        for (std::size_t col = 0; col < 3; ++col)
            check.spending[row][col] = compare_with_simulation(
                r.spending_grid[row][col], r.spending_error[row][col], mc.spending[row][col]);
        check.spending_at_floor[row] = compare_with_simulation(
            r.spending_at_floor[row], r.spending_at_floor_error[row], mc.spending_at_floor[row],
            floor);
    }
    return check;
}

}  // namespace quorrel
