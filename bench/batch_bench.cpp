// A batch of 1,000 default-like cases through `quorrel-cli --batch`, on all
// cores: ages 50 to 90, wealth 500,000 to 1,400,000, both markets.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "cli/cli_cases.h"

namespace {

std::string batch_file(int cases) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("quorrel_batch_bench_" + std::to_string(::getpid()) + ".csv");
    std::ofstream out(path);
    out << "name,age,wealth,market\n";
    for (int i = 0; i < cases; ++i)
        out << "case " << i << ',' << 50 + i % 41 << ',' << 500000 + (i % 10) * 100000 << ','
            << (i % 2 == 0 ? "usa" : "canada") << '\n';
    return path.string();
}

void BM_Batch(benchmark::State& state) {
    const int cases = static_cast<int>(state.range(0));
    const std::string path = batch_file(cases);
    int status = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::ostringstream out, err;
        status = quorrel::run_batch(path, out, err, false);
        bytes = out.str().size();
        benchmark::DoNotOptimize(bytes);
    }
    std::filesystem::remove(path);
    if (status != 0) state.SkipWithError("a case was refused");
    state.counters["cases"] = cases;
    state.counters["output_MB"] = static_cast<double>(bytes) / 1e6;
}

}  // namespace

BENCHMARK(BM_Batch)
    ->Arg(1000)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
