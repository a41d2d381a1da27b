// Timings of the decision tools on the default case: one sustainable
// spending solve of each kind and one 21-point annuitization sweep.
#include <benchmark/benchmark.h>

#include "analysis/decision_tools.h"
#include "analysis/defaults.h"

namespace {

using namespace quorrel;

void BM_SpendingSolve(benchmark::State& bs, SolveFor mode) {
    AnalysisState inputs;
    apply_input_defaults(inputs);
    int iterations = 0;
    for (auto _ : bs) {
        const SpendingSolution s = solve_sustainable_spending(inputs, mode, 0.05);
        iterations = s.iterations;
        benchmark::DoNotOptimize(s);
    }
    bs.counters["evaluations"] = iterations;
}

void BM_AnnuitySweep(benchmark::State& bs, AnnuityKind kind) {
    AnalysisState inputs;
    apply_input_defaults(inputs);
    for (auto _ : bs) {
        const AnnuitySweep s = sweep_annuitization(inputs, kind);
        benchmark::DoNotOptimize(s);
    }
}

BENCHMARK_CAPTURE(BM_SpendingSolve, income, SolveFor::income)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_SpendingSolve, wealth, SolveFor::wealth)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_AnnuitySweep, cpi, AnnuityKind::cpi)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_AnnuitySweep, variable, AnnuityKind::variable)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
