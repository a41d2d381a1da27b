// The guardrails rule's simulation of 10^5 paths of the default case beside
// the fixed rule's in the same run: wall time and the process's processor
// time per calculation.
#include <benchmark/benchmark.h>

#include <ctime>

#include "analysis/defaults.h"
#include "engine/simulation/monte_carlo.h"
#include "engine/stages/ruin_table.h"

namespace {

using namespace quorrel;

double process_cpu_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

void BM_SpendingRuleSimulation(benchmark::State& st, bool guardrails) {
    AnalysisState s;
    apply_input_defaults(s);
    if (guardrails) s.spending_rule = 2;  // the default guardrails: 20%, 20%, cut 10%, raise 10%
    const AnalysisState state = prepared_for_engine(s);
    MonteCarloOptions options;
    options.paths = 100000;
    double cpu = 0;
    for (auto _ : st) {
        const double c0 = process_cpu_seconds();
        const MonteCarloResults r = run_monte_carlo(state, options);
        cpu += process_cpu_seconds() - c0;
        benchmark::DoNotOptimize(r);
    }
    st.counters["cpu_s"] = cpu / static_cast<double>(st.iterations());
}
BENCHMARK_CAPTURE(BM_SpendingRuleSimulation, fixed_1e5, false)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_SpendingRuleSimulation, guardrails_1e5, true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace
