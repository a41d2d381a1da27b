// Timings of the decision tools on the default case: one sustainable
// spending solve of each kind and one 21-point annuitization sweep; and the
// same on the default person with a spouse of 62, whose every trial is the
// household's whole refined calculation.
#include <benchmark/benchmark.h>

#include "analysis/decision_tools.h"
#include "analysis/defaults.h"

namespace {

using namespace quorrel;

AnalysisState bench_inputs(double spouse_age) {
    AnalysisState inputs;
    apply_input_defaults(inputs);
    inputs.spouse_age = spouse_age;
    return inputs;
}

void BM_SpendingSolve(benchmark::State& bs, SolveFor mode, double spouse_age) {
    const AnalysisState inputs = bench_inputs(spouse_age);
    int iterations = 0;
    for (auto _ : bs) {
        const SpendingSolution s = solve_sustainable_spending(inputs, mode, 0.05);
        iterations = s.iterations;
        benchmark::DoNotOptimize(s);
    }
    bs.counters["evaluations"] = iterations;
}

void BM_AnnuitySweep(benchmark::State& bs, AnnuityKind kind, double spouse_age) {
    const AnalysisState inputs = bench_inputs(spouse_age);
    for (auto _ : bs) {
        const AnnuitySweep s = sweep_annuitization(inputs, kind);
        benchmark::DoNotOptimize(s);
    }
}

BENCHMARK_CAPTURE(BM_SpendingSolve, income, SolveFor::income, 0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_SpendingSolve, wealth, SolveFor::wealth, 0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_AnnuitySweep, cpi, AnnuityKind::cpi, 0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_AnnuitySweep, variable, AnnuityKind::variable, 0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_SpendingSolve, household_income, SolveFor::income, 62)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_AnnuitySweep, household_cpi, AnnuityKind::cpi, 62)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
