// Timings of the refined engine beside the standard calculation on the same
// cases, and the simulation's paths per second.
#include <benchmark/benchmark.h>

#include <string>

#include "check_cases.h"
#include "record/analysis_state.h"
#include "analysis/defaults.h"
#include "analysis/input_catalogue.h"
#include "record/results.h"
#include "engine/simulation/monte_carlo.h"
#include "engine/refined/household.h"
#include "engine/refined/refined.h"
#include "engine/stages/ruin_table.h"
#include "engine/model/wealth_model.h"
#include "valuation/gompertz.h"

namespace {

using namespace quorrel;

class IgnoringSink : public ResultSink {
public:
    void publish_result(const std::string&, const std::string&) override {}
};

// Defaults, or defaults with a CPI-linked and a nominal pension, a 2% COLA
// and 100,000 on each of the three annuities (AIR 4%): coefficients that
// change every step.
// The timed loops make the engine inputs again, as a calculation does.
AnalysisState bench_state(bool pensions_and_annuities) {
    AnalysisState s;
    apply_input_defaults(s);
    if (pensions_and_annuities) check_cases::pensions_and_annuities(s);
    return prepared_for_engine(s);
}

void BM_WholeCalculationStandard(benchmark::State& bs, bool pensions) {
    const AnalysisState prepared = bench_state(pensions);
    for (auto _ : bs) {
        AnalysisState state = prepared;
        IgnoringSink sink;
        ResultsRecord results;
        prepare_engine_inputs(state);
        select_ruin_parameters(state);
        results.expected_income = build_expected_income_curve(state);
        compute_ruin_table(state, sink, results);
        compute_estate_quantiles(state, sink, results);
        benchmark::DoNotOptimize(results);
    }
}

// Times `compute` (the single life's or the household's refined figures)
// from the prepared state, each iteration on a fresh copy of it.
template <class Compute>
RefinedResults time_refined(benchmark::State& bs, const AnalysisState& prepared, Compute compute) {
    RefinedResults out;
    for (auto _ : bs) {
        AnalysisState state = prepared;
        IgnoringSink sink;
        prepare_engine_inputs(state);
        select_ruin_parameters(state);
        compute(state, sink, out, EventPump{});
        benchmark::DoNotOptimize(out);
    }
    return out;
}

void BM_WholeCalculationRefined(benchmark::State& bs, bool pensions) {
    const AnalysisState prepared = bench_state(pensions);
    const RefinedResults out = time_refined(bs, prepared, compute_refined_results);
    bs.counters["fine_nodes"] = out.fine_nodes;
}

// The default case under the fixed rule and under the percent rule (5% of
// wealth between 75% and 150% of the target), whose drift follows wealth and
// whose level-0 sweeps keep wealth at the income curve's 20 horizons too.
void BM_RefinedSpendingRule(benchmark::State& bs, bool percent) {
    AnalysisState s;
    apply_input_defaults(s);
    if (percent) write_input(s, input_row("spending_rule"), {.index = 1});
    const AnalysisState prepared = prepared_for_engine(s);
    const RefinedResults out = time_refined(bs, prepared, compute_refined_results);
    bs.counters["sweeps"] = out.sweeps;
}

// The default person with a spouse of 62 (the spouse's defaults: female,
// survivor spending 70%, survivor share 60%, no pension): the household's
// three-state sweeps, run beside the single life's in the same binary.
void BM_HouseholdRefined(benchmark::State& bs) {
    AnalysisState inputs;
    apply_input_defaults(inputs);
    inputs.spouse_age = 62;
    const AnalysisState prepared = prepared_for_engine(inputs);
    const RefinedResults out = time_refined(bs, prepared, compute_household_results);
    bs.counters["fine_nodes"] = out.fine_nodes;
    bs.counters["sweeps"] = out.sweeps;
}

void BM_MonteCarlo(benchmark::State& bs, long paths) {
    AnalysisState state = bench_state(false);
    prepare_engine_inputs(state);
    select_ruin_parameters(state);
    MonteCarloOptions options;
    options.paths = paths;
    for (auto _ : bs) {
        const MonteCarloResults r = run_monte_carlo(state, options);
        benchmark::DoNotOptimize(r);
    }
    bs.counters["paths_per_second"] =
        benchmark::Counter(static_cast<double>(paths) * static_cast<double>(bs.iterations()),
                           benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(BM_WholeCalculationStandard, defaults, false)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_WholeCalculationRefined, defaults, false)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_HouseholdRefined)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_WholeCalculationStandard, pensions_and_annuities, true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_WholeCalculationRefined, pensions_and_annuities, true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_RefinedSpendingRule, fixed, false)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_RefinedSpendingRule, percent, true)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_MonteCarlo, paths_100000, 100000L)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(2);
BENCHMARK_CAPTURE(BM_MonteCarlo, paths_1000000, 1000000L)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace
