// Timings of the ruin engine: one solve of each kind and whole calculations,
// on the fast path and on the straightforward one-solve-at-a-time path.
#include <benchmark/benchmark.h>

#include <ctime>
#include <string>
#include <vector>

#include "record/analysis_state.h"
#include "analysis/defaults.h"
#include "record/results.h"
#include "engine/standard/engine_internal.h"
#include "engine/standard/lane_kernel.h"
#include "engine/stages/ruin_table.h"
#include "engine/standard/scheme_common.h"
#include "engine/standard/solver.h"
#include "engine/model/wealth_model.h"
#include "valuation/gompertz.h"

namespace {

using namespace quorrel;

class NullSink final : public ResultSink {
public:
    void publish_result(const std::string&, const std::string&) override {}
};

enum Scenario { defaults, age50, wealth59, volatile_market, purchases, kScenarioCount };

const char* scenario_name(int s) {
    static const char* names[] = {"defaults", "age50", "wealth_ratio_59", "high_volatility",
                                  "purchases"};
    return names[s];
}

// The state as a calculation hands it to the result stages: defaults, the
// scenario's changes, the Go step, the portfolio statistics and the engine's
// inputs. The timed calculations make the engine's inputs again.
AnalysisState scenario_state(int scenario) {
    AnalysisState s;
    apply_input_defaults(s);
    switch (scenario) {
        case age50: s.current_age = 50; break;
        case wealth59: s.liquid_wealth = 2360000; break;
        case volatile_market:
            s.dev_stock = 0.35;
            s.dev_estate = 0.30;
            s.dev_nomi_bond = 0.15;
            s.mean_stock = 0.09;
            break;
        case purchases:
            s.purchase_nominal = 100000;
            s.purchase_cpi = 100000;
            s.purchase_variable = 100000;
            s.pension_cpi_income = 6000;
            s.pension_nominal_income = 4000;
            s.cola_rate = 0.02;
            break;
        default: break;
    }
    return prepared_for_engine(s);
}

void whole_calculation(AnalysisState& state, EngineMode mode) {
    NullSink sink;
    ResultsRecord results;
    prepare_engine_stages(state);
    run_result_stages(state, sink, results, {}, mode);
    benchmark::DoNotOptimize(results);
}

double process_cpu_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

void BM_WholeCalculation(benchmark::State& bs, int scenario, EngineMode mode) {
    const AnalysisState prepared = scenario_state(scenario);
    long calls = 0;
    double cpu = 0;
    for (auto _ : bs) {
        AnalysisState state = prepared;
        const long before = solver_call_count();
        const double cpu_before = process_cpu_seconds();
        whole_calculation(state, mode);
        cpu += process_cpu_seconds() - cpu_before;
        calls = solver_call_count() - before;
    }
    bs.counters["solver_calls"] = static_cast<double>(calls);
    // CPU time of every thread of the process, per calculation.
    bs.counters["cpu_ms_all_threads"] = 1e3 * cpu / static_cast<double>(bs.iterations());
}

// A whole calculation on one instruction set of the lane kernel.
void BM_KernelSet(benchmark::State& bs, int scenario, const engine_detail::KernelSet* set) {
    const engine_detail::KernelOverride chosen(*set);
    const AnalysisState prepared = scenario_state(scenario);
    for (auto _ : bs) {
        AnalysisState state = prepared;
        whole_calculation(state, EngineMode::fast);
    }
}

// One kernel call of `lanes` ruin solves (horizons 5 to 30 at four levels)
// on one instruction set, on one thread: the kernel's own throughput.
void BM_KernelCall(benchmark::State& bs, int scenario, const engine_detail::KernelSet* set,
                   int lanes) {
    const AnalysisState state = scenario_state(scenario);
    const engine::Model model = engine::Model::from_state(state);
    const double x0 = state.wealth_ratio;
    std::vector<engine_detail::SolveRequest> requests;
    std::vector<int> barriers;
    const engine_detail::Grid grid =
        engine_detail::make_grid(engine_detail::SolveKind::ruin_by_horizon, x0, 0.0);
    const std::vector<double> X2 = engine_detail::squares(grid);
    for (int l = 0; l < lanes; ++l) {
        requests.push_back({.kind = engine_detail::SolveKind::ruin_by_horizon,
                            .x0 = x0,
                            .level = 0.1 * (l % 4) * x0,
                            .T = 5.0 + 25.0 * l / lanes});
        barriers.push_back(engine_detail::barrier_index(grid, requests.back().level));
    }
    std::vector<double> out(requests.size());
    for (auto _ : bs) {
        set->solve(
            model,
            {.grid = &grid, .X2 = X2, .requests = requests, .barriers = barriers, .out = out});
        benchmark::DoNotOptimize(out.data());
    }
    bs.counters["ns_per_lane_row"] = benchmark::Counter(
        static_cast<double>(lanes) * engine_detail::kSteps * grid.M,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_SingleSolve(benchmark::State& bs, engine_detail::SolveKind kind, bool reference) {
    const AnalysisState state = scenario_state(defaults);
    const engine::Model model = engine::Model::from_state(state);
    const double x0 = state.wealth_ratio;
    const double T = kind == engine_detail::SolveKind::lifetime_ruin ? 110 - state.current_age : 20;
    const double level = kind == engine_detail::SolveKind::wealth_below ? x0 : 0;
    const engine_detail::SolveRequest rq{.kind = kind, .x0 = x0, .level = level, .T = T};
    const long before = solver_call_count();
    for (auto _ : bs) {
        const double p = reference ? engine_detail::reference_solve(state, rq)
                                   : engine_detail::fast_solve(model, rq);
        benchmark::DoNotOptimize(p);
    }
    bs.counters["solver_calls_per_iter"] =
        static_cast<double>(solver_call_count() - before) / static_cast<double>(bs.iterations());
}

// Twenty 1201-node solves as the ruin table makes them, batched on two cores.
void BM_TwentySolvesBatched(benchmark::State& bs) {
    const AnalysisState state = scenario_state(defaults);
    const engine::Model model = engine::Model::from_state(state);
    std::vector<engine_detail::SolveRequest> requests;
    for (int i = 1; i <= 20; ++i) {
        requests.push_back({.kind = engine_detail::SolveKind::ruin_by_horizon,
                            .x0 = state.wealth_ratio,
                            .T = i * 2.5});
    }
    std::vector<double> out;
    for (auto _ : bs) {
        engine_detail::solve_batch(model, requests, out);
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_EstateAdjoint(benchmark::State& bs) {
    const AnalysisState state = scenario_state(defaults);
    const engine::Model model = engine::Model::from_state(state);
    std::vector<engine_detail::WealthBelowCurve> curves;
    for (auto _ : bs) {
        engine_detail::build_wealth_below_curves(model, 0, state.wealth_ratio, 0, false,
                                                 {10, 20, 30}, curves);
        benchmark::DoNotOptimize(curves.data());
    }
}

void register_all() {
    using engine_detail::SolveKind;
    const std::pair<const char*, SolveKind> kinds[] = {
        {"ruin_by_horizon", SolveKind::ruin_by_horizon},
        {"wealth_below", SolveKind::wealth_below},
        {"lifetime_ruin", SolveKind::lifetime_ruin}};
    for (const auto& [name, kind] : kinds) {
        benchmark::RegisterBenchmark((std::string("SingleSolve/reference/") + name).c_str(),
                                     BM_SingleSolve, kind, true)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("SingleSolve/fast/") + name).c_str(),
                                     BM_SingleSolve, kind, false)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("TwentySolvesBatched", BM_TwentySolvesBatched)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("EstateAdjoint/10-20-30", BM_EstateAdjoint)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    for (int s = 0; s < kScenarioCount; ++s) {
        benchmark::RegisterBenchmark(
            (std::string("WholeCalculation/fast/") + scenario_name(s)).c_str(), BM_WholeCalculation,
            s, EngineMode::fast)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    for (const engine_detail::KernelSet* set : engine_detail::supported_kernel_sets()) {
        for (int lanes = set->vector_lanes; lanes <= set->max_forward_lanes;
             lanes += set->vector_lanes) {
            benchmark::RegisterBenchmark(
                (std::string("KernelCall/") + set->name + "/purchases/" + std::to_string(lanes))
                    .c_str(),
                BM_KernelCall, purchases, set, lanes)
                ->Unit(benchmark::kMillisecond);
        }
        for (int s : {defaults, purchases}) {
            benchmark::RegisterBenchmark(
                (std::string("KernelSet/") + set->name + "/" + scenario_name(s)).c_str(),
                BM_KernelSet, s, set)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
    }
    for (int s = 0; s < kScenarioCount; ++s) {
        benchmark::RegisterBenchmark(
            (std::string("WholeCalculation/reference/") + scenario_name(s)).c_str(),
            BM_WholeCalculation, s, EngineMode::reference)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(3);
    }
}

}  // namespace

int main(int argc, char** argv) {
    register_all();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
