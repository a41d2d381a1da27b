#include "engine/ruin_table.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "core/errors.h"
#include "core/number_format.h"
#include "engine/engine_internal.h"

namespace quorrel {

using engine_detail::Grid;
using engine_detail::QuantileSearch;
using engine_detail::SolveKind;
using engine_detail::SolveRequest;
using engine_detail::WealthBelowCurve;
using engine_detail::WealthModel;

namespace {

constexpr double kLevels[4] = {0, 0.1, 0.25, 0.5};
constexpr double kHorizons[3] = {10, 20, 30};

// Solves the requests in order, one at a time, or all at once in batches.
std::vector<double> solve_all(const AnalysisState& state, const std::vector<SolveRequest>& requests,
                              const EventPump& pump, EngineMode mode) {
    std::vector<double> out;
    if (mode == EngineMode::reference) {
        for (const SolveRequest& rq : requests) out.push_back(engine_detail::reference_solve(state, rq, pump));
        return out;
    }
    engine_detail::solve_batch(WealthModel(state), requests, out, pump);
    return out;
}

}  // namespace

namespace engine_detail {

int quantile_search(double q, bool capped, QuantileSearch& search,
                    const std::function<double(double c)>& probability_below,
                    const std::function<bool(double c)>& saturated) {
    // Far more steps than any level inside the grids needs.
    constexpr int kMaxEvaluations = 100000;
    int evaluations = 0;
    while (search.p < q - 0.03) {
        const double tried = search.c;
        search.p = probability_below(tried);
        ++evaluations;
        if (std::fabs(search.p - q) < 0.1) {
            search.c = search.c + 0.05;
        } else {
            search.c = search.c + 0.1;
        }
        if (capped && search.c > 9) break;
        // Above the top node the probability no longer moves with c; with
        // strong growth it stays below the target and the loop would spin.
        if (search.p < q - 0.03 && saturated && saturated(tried)) break;
        if (evaluations >= kMaxEvaluations) {
            throw SolverError("The projected wealth could not be found for these inputs. "
                              "Please change some of the inputs.");
        }
    }
    return evaluations;
}

double wealth_below_saturation_level(double x0) {
    const Grid wide = make_grid(SolveKind::wealth_below, x0, HUGE_VAL);
    return wide.X[wide.M];
}

}  // namespace engine_detail

double expected_ruin_age_from(double current_age, double p5, double p10, double p15, double p20,
                              double p25, double p30, double p_tail) {
    const double t_tail = 110 - current_age + 20;
    return 5 * (1 - p10) + 5 * (1 - p5) + 5 * (1 - p15) + 5 * (1 - p20) + 5 * (1 - p25) + 5 * (1 - p30) +
           (1 - p_tail) * (t_tail - 30) + current_age;
}

void compute_ruin_table(AnalysisState& state, ResultSink& sink, ResultsRecord& results,
                        const EventPump& pump) {
    compute_ruin_table(state, sink, results, pump, EngineMode::fast);
}

void compute_ruin_table(AnalysisState& state, ResultSink& sink, ResultsRecord& results,
                        const EventPump& pump, EngineMode mode) {
    const double x0 = state.wealth_ratio;
    const double t_life = 110 - state.current_age;
    const double t_tail = t_life + 20;
    const auto& names = ruin_cell_names();

    // The level-0 horizons first (five of them serve the expected ruin age
    // alone), then the other levels by row, then the lifetime column.
    std::vector<SolveRequest> requests;
    for (double T : {5.0, 15.0, 25.0, 10.0, 20.0, 30.0, t_tail}) {
        requests.push_back({SolveKind::ruin_by_horizon, 0, x0, 0, 0, T});
    }
    for (int row = 1; row < 4; ++row) {
        for (double T : kHorizons) requests.push_back({SolveKind::ruin_by_horizon, 0, x0, kLevels[row] * x0, 0, T});
    }
    for (double f : kLevels) requests.push_back({SolveKind::lifetime_ruin, 0, x0, f * x0, 0, t_life});

    std::vector<double> p;
    const bool one_at_a_time = mode == EngineMode::reference;
    if (one_at_a_time) {
        // Each figure is published as soon as it is solved.
        for (std::size_t k = 0; k < 7; ++k) p.push_back(engine_detail::reference_solve(state, requests[k], pump));
    } else {
        p = solve_all(state, requests, pump, mode);
    }
    const double p5 = p[0], p15 = p[1], p25 = p[2], p10 = p[3], p20 = p[4], p30 = p[5], p_tail = p[6];
    state.ruin_probability_10 = p10;
    state.ruin_probability_20 = p20;
    state.ruin_probability_30 = p30;
    state.expected_ruin_age = expected_ruin_age_from(state.current_age, p5, p10, p15, p20, p25, p30, p_tail);
    results.expected_ruin_age = state.expected_ruin_age;

    results.ruin_grid[0][0] = p10;
    results.ruin_grid[0][1] = p20;
    results.ruin_grid[0][2] = p30;
    for (int col = 0; col < 3; ++col) sink.publish_result(names[0][col], format_percent1(results.ruin_grid[0][col]));

    std::size_t next = 7;
    for (int row = 1; row < 4; ++row) {
        for (int col = 0; col < 3; ++col, ++next) {
            const double value = one_at_a_time ? engine_detail::reference_solve(state, requests[next], pump) : p[next];
            results.ruin_grid[row][col] = value;
            sink.publish_result(names[row][col], format_percent1(value));
        }
    }
    for (int row = 0; row < 4; ++row, ++next) {
        const double value = one_at_a_time ? engine_detail::reference_solve(state, requests[next], pump) : p[next];
        results.ruin_grid[row][3] = value;
        sink.publish_result(names[row][3], format_percent1(value));
    }
}

void compute_estate_quantiles(AnalysisState& state, ResultSink& sink, ResultsRecord& results,
                              const EventPump& pump) {
    compute_estate_quantiles(state, sink, results, pump, EngineMode::fast);
}

void compute_estate_quantiles(AnalysisState& state, ResultSink& sink, ResultsRecord& results,
                              const EventPump& pump, EngineMode mode) {
    const double x0 = state.wealth_ratio;
    const double P[3] = {state.ruin_probability_10, state.ruin_probability_20, state.ruin_probability_30};
    const auto& names = estate_cell_names();

    // The fast path sweeps each needed horizon once on the narrow grid; a
    // level more than 100 above x0 needs the wide grid, swept on demand.
    std::vector<WealthBelowCurve> narrow(3), wide(3);
    bool have_wide[3] = {false, false, false};
    const WealthModel model(state);
    const double saturation_level = engine_detail::wealth_below_saturation_level(x0);
    if (mode == EngineMode::fast) {
        std::vector<double> horizons;
        std::vector<int> which;
        for (int h = 0; h < 3; ++h) {
            if (P[h] < 0.75) {
                horizons.push_back(kHorizons[h]);
                which.push_back(h);
            }
        }
        std::vector<WealthBelowCurve> built;
        engine_detail::build_wealth_below_curves(model, 0, x0, 0, false, horizons, built, pump);
        for (std::size_t k = 0; k < which.size(); ++k) narrow[which[k]] = std::move(built[k]);
    }

    for (int h = 0; h < 3; ++h) {
        const double T = kHorizons[h];
        auto probability_below = [&](double c) {
            const double level = c * x0;
            if (mode == EngineMode::reference) {
                return engine_detail::reference_solve(state, {SolveKind::wealth_below, 0, x0, level, 0, T}, pump);
            }
            if (!WealthBelowCurve::uses_wide_grid(x0, level)) return narrow[h].probability(level);
            if (!have_wide[h]) {
                std::vector<WealthBelowCurve> built;
                engine_detail::build_wealth_below_curves(model, 0, x0, 0, true, {T}, built, pump);
                wide[h] = std::move(built[0]);
                have_wide[h] = true;
            }
            return wide[h].probability(level);
        };
        auto publish = [&](int col, double value) {
            results.estate_grid[h][col] = value;
            sink.publish_result(names[h][col], format_plain2(value));
        };
        auto saturated = [&](double c) { return c * x0 > saturation_level; };
        auto search = [&](int col, double q, QuantileSearch& s, bool capped) {
            engine_detail::quantile_search(q, capped, s, probability_below, saturated);
            publish(col, state.wealth_ratio * s.c * state.target_income / state.net_investable_wealth);
        };

        QuantileSearch s;
        const double P_T = P[h];
        if (P_T < 0.25) {
            search(0, 0.25, s, false);
            search(1, 0.5, s, false);
            search(2, 0.75, s, T == 20);
        } else if (P_T < 0.5) {
            publish(0, 0);
            s.c = 0;
            search(1, 0.5, s, false);
            search(2, 0.75, s, false);
        } else if (P_T < 0.75) {
            publish(0, 0);
            publish(1, 0);
            s.c = 0;
            search(2, 0.75, s, false);
        } else {
            publish(0, 0);
            publish(1, 0);
            publish(2, 0);
        }
    }
}

std::array<double, 20> build_expected_income_curve(const AnalysisState& state, const EventPump& pump) {
    return build_expected_income_curve(state, pump, EngineMode::fast);
}

std::array<double, 20> build_expected_income_curve(const AnalysisState& state, const EventPump& pump,
                                                   EngineMode mode) {
    // The age-axis tick step of the charts, in whole years.
    const auto step = static_cast<std::int16_t>(std::floor((110 - state.current_age) / 10) + 1);
    const double tick = step;
    std::vector<SolveRequest> requests;
    for (int i = 1; i <= 20; ++i) {
        requests.push_back({SolveKind::ruin_by_horizon, 0, state.wealth_ratio, 0, 0, i * tick / 2});
    }
    const std::vector<double> p = solve_all(state, requests, pump, mode);

    std::array<double, 20> income{};
    for (int i = 1; i <= 20; ++i) {
        const double T = requests[i - 1].T;
        const double mu = state.later_allocation_years < T ? state.later_expected_return
                                                           : state.current_expected_return;
        const double annuity_income =
            state.nominal_income_ratio * std::exp((state.cola_rate - state.implied_inflation) * T) +
            state.real_income_ratio +
            state.net_investable_wealth * state.variable_income_ratio *
                std::exp((mu - state.air_rate - state.implied_inflation) * T);
        double e = annuity_income * p[i - 1] + (1 - p[i - 1]);
        if (e > 1) e = 1;
        income[i - 1] = e;
    }
    return income;
}

}  // namespace quorrel
