// The household simulation's pace on one thread: processor seconds for
// 10^5 paths of the default person with a wife of 62, beside the
// single-life simulation of the default person alone from the same run.
#include <benchmark/benchmark.h>

#include <ctime>

#include "analysis/defaults.h"
#include "engine/simulation/household_simulation.h"
#include "engine/simulation/monte_carlo.h"
#include "engine/stages/ruin_table.h"

namespace {

using namespace quorrel;

double cpu_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

void BM_HouseholdSimulation(benchmark::State& st, bool household) {
    AnalysisState s;
    apply_input_defaults(s);
    if (household) {
        s.spouse_age = 62;
        s.spouse_gender_code = 1;
    }
    const AnalysisState state = prepared_for_engine(s);
    MonteCarloOptions options;
    options.paths = 100000;
    options.threads = 1;
    double cpu = 0;
    for (auto _ : st) {
        const double c0 = cpu_seconds();
        if (household) {
            benchmark::DoNotOptimize(run_household_monte_carlo(state, options));
        } else {
            benchmark::DoNotOptimize(run_monte_carlo(state, options));
        }
        cpu += cpu_seconds() - c0;
    }
    st.counters["cpu_s_per_1e5_paths"] = cpu / static_cast<double>(st.iterations());
}
BENCHMARK_CAPTURE(BM_HouseholdSimulation, single_life, false)
    ->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1)->Repetitions(3);
BENCHMARK_CAPTURE(BM_HouseholdSimulation, household_spouse_62, true)
    ->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1)->Repetitions(3);

}  // namespace
