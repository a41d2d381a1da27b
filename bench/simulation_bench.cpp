// The simulation's pace: paths per second and nanoseconds of processor time
// per path-step for the default case and pensions with annuities, the
// simulation before the path lanes beside the current one; 10^6 paths of the
// default case (wall time, three repetitions); and the current simulation run
// from a worker thread of a QApplication process, as "Check by simulation"
// runs it, beside a plain process's.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <ctime>
#include <thread>

#include "analysis/defaults.h"
#include "engine/simulation/monte_carlo.h"
#include "engine/simulation/path_lanes.h"
#include "engine/stages/ruin_table.h"
#include "old_simulation.h"

namespace {

using namespace quorrel;

AnalysisState case_state(bool pensions_and_annuities) {
    AnalysisState s;
    apply_input_defaults(s);
    if (pensions_and_annuities) {
        s.target_income = 60000;
        s.pension_nominal_income = 8000;
        s.pension_cpi_income = 5000;
        s.purchase_nominal = 50000;
        s.purchase_cpi = 50000;
        s.purchase_variable = 50000;
        s.air_rate = 0.04;
    }
    return prepared_for_engine(s);
}

double process_cpu_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// Time steps of dt years of a path that is never ruined: to the later of 130
// and the lifetime horizon.
double steps_of(const AnalysisState& s, double dt) { return std::round((130 - s.current_age) / dt); }

void run_simulation(benchmark::State& st, bool old, bool pensions, long paths) {
    const AnalysisState state = case_state(pensions);
    MonteCarloOptions options;
    options.paths = paths;
    double cpu = 0, dt = 0;
    for (auto _ : st) {
        const double c0 = process_cpu_seconds();
        const MonteCarloResults r = old ? old_simulation::run_monte_carlo(state, options)
                                        : run_monte_carlo(state, options);
        cpu += process_cpu_seconds() - c0;
        dt = r.dt;
        benchmark::DoNotOptimize(r);
    }
    const double done = static_cast<double>(paths) * static_cast<double>(st.iterations());
    st.counters["paths_per_s"] = benchmark::Counter(done, benchmark::Counter::kIsRate);
    st.counters["cpu_ns_per_path_step"] = cpu * 1e9 / (done * steps_of(state, dt));
}

void BM_Simulation(benchmark::State& st, bool old, bool pensions) {
    run_simulation(st, old, pensions, 20000);
}
BENCHMARK_CAPTURE(BM_Simulation, old_defaults, true, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Simulation, new_defaults, false, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Simulation, old_pensions_and_annuities, true, true)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Simulation, new_pensions_and_annuities, false, true)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

// The current simulation on each instruction set this processor runs, one
// thread: the same figures, at each set's pace.
void BM_SimulationOnSet(benchmark::State& st) {
    const auto& sets = simulation_detail::supported_path_kernels();
    const auto index = static_cast<std::size_t>(st.range(0));
    if (index >= sets.size()) {
        st.SkipWithError("not run by this processor");
        return;
    }
    const simulation_detail::PathKernelOverride chosen(*sets[index]);
    st.SetLabel(sets[index]->name);
    const AnalysisState state = case_state(false);
    MonteCarloOptions options;
    options.paths = 20000;
    options.threads = 1;
    double cpu = 0, dt = 0;
    for (auto _ : st) {
        const double c0 = process_cpu_seconds();
        const MonteCarloResults r = run_monte_carlo(state, options);
        cpu += process_cpu_seconds() - c0;
        dt = r.dt;
        benchmark::DoNotOptimize(r);
    }
    const double done = static_cast<double>(options.paths) * static_cast<double>(st.iterations());
    st.counters["cpu_ns_per_path_step"] = cpu * 1e9 / (done * steps_of(state, dt));
}
BENCHMARK(BM_SimulationOnSet)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_MillionPaths(benchmark::State& st, bool old) { run_simulation(st, old, false, 1000000); }
BENCHMARK_CAPTURE(BM_MillionPaths, old_defaults, true)
    ->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1)->Repetitions(3);
BENCHMARK_CAPTURE(BM_MillionPaths, new_defaults, false)
    ->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1)->Repetitions(3);

// The simulation on a thread of its own, as the results screen starts it;
// with a QApplication made first (offscreen) in the second case. The
// application lives to the end of the process, so that case runs last.
void BM_SimulationFromWorker(benchmark::State& st, bool in_application, bool old) {
    if (in_application) {
        static int argc = 1;
        static char name[] = "quorrel_bench";
        static char* argv[] = {name, nullptr};
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static QApplication* app = new QApplication(argc, argv);
        benchmark::DoNotOptimize(app);
    }
    const AnalysisState state = case_state(false);
    MonteCarloOptions options;
    options.paths = 50000;
    for (auto _ : st) {
        MonteCarloResults r;
        std::thread worker([&] {
            r = old ? old_simulation::run_monte_carlo(state, options) : run_monte_carlo(state, options);
        });
        worker.join();
        benchmark::DoNotOptimize(r);
    }
    st.counters["paths_per_s"] = benchmark::Counter(
        static_cast<double>(options.paths) * static_cast<double>(st.iterations()),
        benchmark::Counter::kIsRate);
}
BENCHMARK_CAPTURE(BM_SimulationFromWorker, old_plain, false, true)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_SimulationFromWorker, new_plain, false, false)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_SimulationFromWorker, old_qapplication, true, true)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_SimulationFromWorker, new_qapplication, true, false)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
