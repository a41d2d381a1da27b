#include "engine/stages/ruin_table.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <exception>
#include <vector>

#include "record/errors.h"
#include "record/number_format.h"
#include "record/published_figures.h"
#include "engine/standard/engine_internal.h"
#include "engine/model/wealth_model.h"
#include "valuation/acquired_income.h"
#include "valuation/gompertz.h"
#include "valuation/portfolio.h"

namespace quorrel {

using engine_detail::QuantileSearch;
using engine_detail::SolveKind;
using engine_detail::SolveRequest;
using engine_detail::WealthBelowCurve;
using engine::Model;

namespace {

// The requests of the probability table: the level-0 horizons 5, 15, 25,
// 10, 20, 30 and 130 - age first (five of them serve the expected ruin age
// alone), then the other levels by row, then the lifetime column.
constexpr std::size_t kLevelZeroRequests = 7;

std::vector<SolveRequest> ruin_table_requests(const AnalysisState& state) {
    const double x0 = state.wealth_ratio;
    const double t_life = kLifetimeEndAge - state.current_age;
    const double t_tail = t_life + kTailYears;
    std::vector<SolveRequest> requests;
    for (double T : {5.0, 15.0, 25.0, 10.0, 20.0, 30.0, t_tail}) {
        requests.push_back({.kind = SolveKind::ruin_by_horizon, .x0 = x0, .level = 0, .T = T});
    }
    for (std::size_t row = 1; row < kRuinLevels.size(); ++row) {
        for (double T : kGridHorizons) {
            requests.push_back({.kind = SolveKind::ruin_by_horizon,
                                .x0 = x0,
                                .level = kRuinLevels[row] * x0,
                                .T = T});
        }
    }
    for (double f : kRuinLevels) {
        requests.push_back(
            {.kind = SolveKind::lifetime_ruin, .x0 = x0, .level = f * x0, .T = t_life});
    }
    return requests;
}

std::vector<SolveRequest> income_curve_requests(const AnalysisState& state) {
    std::vector<SolveRequest> requests;
    for (int i = 1; i <= 20; ++i) {
        requests.push_back({.kind = SolveKind::ruin_by_horizon,
                            .x0 = state.wealth_ratio,
                            .level = 0,
                            .T = expected_income_horizon(state.current_age, i)});
    }
    return requests;
}

bool same_request(const SolveRequest& a, const SolveRequest& b) {
    const auto bits = [](double v) { return std::bit_cast<std::uint64_t>(v); };
    return a.kind == b.kind && bits(a.g) == bits(b.g) && bits(a.x0) == bits(b.x0) &&
           bits(a.level) == bits(b.level) && bits(a.t0) == bits(b.t0) && bits(a.T) == bits(b.T);
}

// Solves the requests in order, one at a time, or all at once in batches, a
// request asked for twice (bit for bit the same) solved once.
std::vector<double> solve_all(const AnalysisState& state, const std::vector<SolveRequest>& requests,
                              const EventPump& pump, EngineMode mode,
                              const engine_detail::SideTask& side = {}) {
    std::vector<double> out;
    if (mode == EngineMode::reference) {
        for (const SolveRequest& rq : requests)
            out.push_back(engine_detail::reference_solve(state, rq, pump));
        return out;
    }
    std::vector<SolveRequest> distinct;
    std::vector<std::size_t> slot(requests.size());
    for (std::size_t k = 0; k < requests.size(); ++k) {
        std::size_t d = 0;
        while (d < distinct.size() && !same_request(distinct[d], requests[k])) ++d;
        if (d == distinct.size()) distinct.push_back(requests[k]);
        slot[k] = d;
    }
    // The count is of solves asked for: a shared one counts for each asker.
    engine_detail::count_solves(static_cast<long>(requests.size() - distinct.size()));
    std::vector<double> values;
    engine_detail::solve_batch(Model::from_state(state), distinct, values, pump, side);
    for (std::size_t k = 0; k < requests.size(); ++k) out.push_back(values[slot[k]]);
    return out;
}

std::array<double, 20> expected_income_from(const AnalysisState& state,
                                            const std::vector<SolveRequest>& requests,
                                            const double* p) {
    std::array<double, 20> income{};
    for (int i = 1; i <= 20; ++i) {
        income[i - 1] =
            expected_income_ratio(annuity_income_ratio(state, requests[i - 1].T), p[i - 1]);
    }
    return income;
}

// Writes the figures of the table and publishes them in their fixed order.
// value(k) is the probability of request k of ruin_table_requests; the
// reference path solves it only when asked, so that each figure is
// published as soon as it is known.
void publish_ruin_table(AnalysisState& state, ResultSink& sink, ResultsRecord& results,
                        const std::function<double(std::size_t)>& value) {
    LevelZeroRuin p{};
    const std::size_t order[kLevelZeroRequests] = {0, 3, 1, 4, 2, 5, 6};  // request of each horizon
    double solved[kLevelZeroRequests];
    for (std::size_t k = 0; k < kLevelZeroRequests; ++k) solved[k] = value(k);
    for (std::size_t h = 0; h < kLevelZeroRequests; ++h) p[h] = solved[order[h]];
    state.ruin_probability_10 = p[1];
    state.ruin_probability_20 = p[3];
    state.ruin_probability_30 = p[5];
    state.expected_ruin_age = expected_ruin_age_from(state.current_age, p);
    results.expected_ruin_age = state.expected_ruin_age;

    const double x0 = state.wealth_ratio;
    for (std::size_t row = 0; row < kRuinLevels.size(); ++row) {
        results.barrier_at_start[row].fill(
            engine_detail::ruin_barrier_at_start(x0, kRuinLevels[row] * x0));
    }

    results.ruin_grid[0][3] = 0;
    for (std::size_t col = 0; col < 3; ++col)
        publish_figure(sink, results, kRuinFigures, 0, col, p[2 * col + 1]);
    std::size_t next = kLevelZeroRequests;
    for (std::size_t row = 1; row < 4; ++row)
        for (std::size_t col = 0; col < 3; ++col, ++next)
            publish_figure(sink, results, kRuinFigures, row, col, value(next));
    for (std::size_t row = 0; row < 4; ++row, ++next)
        publish_figure(sink, results, kRuinFigures, row, 3, value(next));
    results.ruin_out_of_order = ruin_order_breaks(results.ruin_grid);
}

void publish_ruin_table(AnalysisState& state, ResultSink& sink, ResultsRecord& results,
                        const std::vector<double>& p) {
    publish_ruin_table(state, sink, results, [&p](std::size_t k) { return p[k]; });
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
        search.tried = tried;
        ++evaluations;
        if (std::fabs(search.p - q) < 0.1) {
            search.c = search.c + 0.05;
        } else {
            search.c = search.c + 0.1;
        }
        if (capped && search.c > 9) break;
        // Above the top node the probability no longer moves with c; with
        // strong growth it stays below the target and an uncapped loop would
        // spin. A capped one ends by itself once c passes 9, so it keeps
        // stepping through levels above the top node to that bound.
        if (!capped && search.p < q - 0.03 && saturated && saturated(tried)) break;
        if (evaluations >= kMaxEvaluations) {
            throw SolverError(
                "The projected wealth could not be found for these inputs. "
                "Please change some of the inputs.");
        }
    }
    return evaluations;
}

}  // namespace engine_detail

double expected_ruin_age_from(double current_age, const LevelZeroRuin& p) {
    const double t_tail = kLifetimeEndAge - current_age + kTailYears;
    // The blocks in the order of the defined sum: 10, 5, 15, 20, 25, 30 years, then the tail.
    return 5 * (1 - p[1]) + 5 * (1 - p[0]) + 5 * (1 - p[2]) + 5 * (1 - p[3]) + 5 * (1 - p[4]) +
           5 * (1 - p[5]) + (1 - p[6]) * (t_tail - 30) + current_age;
}

void compute_ruin_table(AnalysisState& state, ResultSink& sink, ResultsRecord& results,
                        const EventPump& pump) {
    compute_ruin_table(state, sink, results, pump, EngineMode::fast);
}

void compute_ruin_table(AnalysisState& state, ResultSink& sink, ResultsRecord& results,
                        const EventPump& pump, EngineMode mode) {
    const std::vector<SolveRequest> requests = ruin_table_requests(state);
    if (mode == EngineMode::reference) {
        publish_ruin_table(state, sink, results, [&](std::size_t k) {
            return engine_detail::reference_solve(state, requests[k], pump);
        });
        return;
    }
    publish_ruin_table(state, sink, results, solve_all(state, requests, pump, mode));
}

namespace {

// The wealth-below probability of one estate horizon as a function of the
// level: the fast path reads the horizon's adjoint curves, built on the wide
// grid only when a level needs it.
class EstateProbability final {
public:
    EstateProbability(const AnalysisState& state, const Model& model, const EventPump& pump,
                      EngineMode mode, double T, WealthBelowCurve narrow)
        : state_(state),
          model_(model),
          pump_(pump),
          mode_(mode),
          T_(T),
          narrow_(std::move(narrow)) {}

    double operator()(double c) {
        const double x0 = state_.wealth_ratio;
        const double level = c * x0;
        if (mode_ == EngineMode::reference) {
            return engine_detail::reference_solve(
                state_, {.kind = SolveKind::wealth_below, .x0 = x0, .level = level, .T = T_},
                pump_);
        }
        if (!engine_detail::uses_wide_grid(x0, level)) return narrow_.probability(level);
        if (!have_wide_) {
            std::vector<WealthBelowCurve> built;
            engine_detail::build_wealth_below_curves(model_, 0, x0, 0, true, {T_}, built, pump_);
            wide_ = std::move(built[0]);
            have_wide_ = true;
        }
        return wide_.probability(level);
    }

private:
    const AnalysisState& state_;
    const Model& model_;
    const EventPump& pump_;
    EngineMode mode_;
    double T_;
    WealthBelowCurve narrow_, wide_;
    bool have_wide_ = false;
};

// The three searches of one horizon by its level-0 ruin probability P_T,
// published Bad, Median, Good; to show zero is to publish 0.
void estate_horizon(const AnalysisState& state, int h, double P_T, EstateProbability& probability,
                    ResultSink& sink, ResultsRecord& results) {
    const double x0 = state.wealth_ratio;
    const double saturation_level = engine_detail::wealth_below_saturation_level(x0);
    const auto saturated = [&](double c) { return c * x0 > saturation_level; };
    // A search whose last trial level lay above the top node shows where the
    // grid ends, not a quantile.
    const auto publish = [&](int col, double value, bool at_limit) {
        results.estate_at_grid_limit[h][col] = at_limit;
        publish_figure(sink, results, kEstateFigures, static_cast<std::size_t>(h),
                       static_cast<std::size_t>(col), value);
    };
    const std::function<double(double)> below = [&probability](double c) { return probability(c); };
    QuantileSearch s;
    const auto search = [&](int col, double q, bool capped) {
        engine_detail::quantile_search(q, capped, s, below, saturated);
        publish(col, state.wealth_ratio * s.c * state.target_income / state.net_investable_wealth,
                s.tried >= 0 && saturated(s.tried));
    };
    const int zeros = P_T < 0.25 ? 0 : P_T < 0.5 ? 1 : P_T < 0.75 ? 2 : 3;
    for (int col = 0; col < zeros; ++col) publish(col, 0, false);
    s.c = 0;
    const double targets[3] = {0.25, 0.5, 0.75};
    for (int col = zeros; col < 3; ++col)
        search(col, targets[col], zeros == 0 && col == 2 && kGridHorizons[h] == 20);
}

}  // namespace

void compute_estate_quantiles(const AnalysisState& state, ResultSink& sink, ResultsRecord& results,
                              const EventPump& pump) {
    compute_estate_quantiles(state, sink, results, pump, EngineMode::fast);
}

namespace {

// The estate searches; `prebuilt`, when given, holds the narrow curves of
// all three horizons.
void estate_quantiles(const AnalysisState& state, ResultSink& sink, ResultsRecord& results,
                      const EventPump& pump, EngineMode mode,
                      std::vector<WealthBelowCurve>* prebuilt) {
    const double P[3] = {state.ruin_probability_10, state.ruin_probability_20,
                         state.ruin_probability_30};
    const Model model = Model::from_state(state);
    // The fast path sweeps each needed horizon once on the narrow grid.
    std::vector<WealthBelowCurve> narrow(3);
    if (mode == EngineMode::fast && prebuilt) {
        for (int h = 0; h < 3; ++h) {
            if (P[h] < 0.75) {
                engine_detail::count_curve((*prebuilt)[h]);
                narrow[h] = std::move((*prebuilt)[h]);
            }
        }
    } else if (mode == EngineMode::fast) {
        std::vector<double> horizons;
        std::vector<int> which;
        for (int h = 0; h < 3; ++h) {
            if (P[h] < 0.75) {
                horizons.push_back(kGridHorizons[h]);
                which.push_back(h);
            }
        }
        std::vector<WealthBelowCurve> built;
        engine_detail::build_wealth_below_curves(model, 0, state.wealth_ratio, 0, false, horizons,
                                                 built, pump);
        for (std::size_t k = 0; k < which.size(); ++k) narrow[which[k]] = std::move(built[k]);
    }
    for (int h = 0; h < 3; ++h) {
        EstateProbability probability(state, model, pump, mode, kGridHorizons[h],
                                      std::move(narrow[h]));
        estate_horizon(state, h, P[h], probability, sink, results);
    }
}

// The narrow curves of the three estate horizons, swept beside the solves
// of the table: which of them the searches need is known only from the
// table's figures, and one sweep of four lanes costs the same for one
// horizon as for three. A failure is kept, not raised: the searches then
// build the curves they need as they would without this.
struct SpeculativeCurves {
    std::vector<WealthBelowCurve> curves;
    std::exception_ptr failure;

    engine_detail::SideTask task(const Model& model, double x0) {
        const auto run = [this, &model, x0] {
            try {
                engine_detail::build_wealth_below_curves(
                    model, 0, x0, 0, false, {kGridHorizons.begin(), kGridHorizons.end()}, curves,
                    {}, true);
            } catch (...) {
                failure = std::current_exception();
            }
        };
        return {.run = run,
                .vectors = engine_detail::adjoint_sweep_vectors(engine_detail::kGridShapes[1].M)};
    }
    // Null when the curves were not built or their sweep failed.
    std::vector<WealthBelowCurve>* usable() {
        return failure || curves.size() != 3 ? nullptr : &curves;
    }
};

}  // namespace

void compute_estate_quantiles(const AnalysisState& state, ResultSink& sink, ResultsRecord& results,
                              const EventPump& pump, EngineMode mode) {
    estate_quantiles(state, sink, results, pump, mode, nullptr);
}

std::array<double, 20> build_expected_income_curve(const AnalysisState& state,
                                                   const EventPump& pump) {
    return build_expected_income_curve(state, pump, EngineMode::fast);
}

std::array<double, 20> build_expected_income_curve(const AnalysisState& state,
                                                   const EventPump& pump, EngineMode mode) {
    const std::vector<SolveRequest> requests = income_curve_requests(state);
    const std::vector<double> p = solve_all(state, requests, pump, mode);
    return expected_income_from(state, requests, p.data());
}

void prepare_engine_stages(AnalysisState& state) {
    prepare_engine_inputs(state);
    select_ruin_parameters(state);
}

AnalysisState prepared_for_engine(const AnalysisState& inputs) {
    AnalysisState s = inputs;
    compute_acquired_income(s);
    compute_portfolio_statistics(s);
    prepare_engine_stages(s);
    return s;
}

void run_result_stages(AnalysisState& state, ResultSink& sink, ResultsRecord& results,
                       const EventPump& pump, EngineMode mode) {
    // The standard scheme spends the target every year; a rule whose spending
    // follows wealth would get the fixed rule's figures from it.
    if (state.spending_rule != 0)
        throw SolverError(
            "The standard accuracy computes the fixed spending rule only. Please choose refined "
            "accuracy for this spending rule.");
    if (mode == EngineMode::reference) {
        results.expected_income = build_expected_income_curve(state, pump, mode);
        compute_ruin_table(state, sink, results, pump, mode);
    } else {
        std::vector<SolveRequest> requests = income_curve_requests(state);
        const std::vector<SolveRequest> table = ruin_table_requests(state);
        requests.insert(requests.end(), table.begin(), table.end());
        // Where every step must be factored, the forward solves leave room
        // for the estate sweep beside them; where the kernel factors once,
        // the latency-bound sweep would hold up a worker, and it runs after.
        const Model model = Model::from_state(state);
        SpeculativeCurves narrow;
        const bool beside = !engine_detail::matrices_repeat(model, requests.front());
        const std::vector<double> p =
            solve_all(state, requests, pump, mode,
                      beside ? narrow.task(model, state.wealth_ratio) : engine_detail::SideTask{});
        results.expected_income = expected_income_from(state, requests, p.data());
        publish_ruin_table(state, sink, results, std::vector<double>(p.begin() + 20, p.end()));
        estate_quantiles(state, sink, results, pump, mode, narrow.usable());
        return;
    }
    compute_estate_quantiles(state, sink, results, pump, mode);
}

}  // namespace quorrel
