// Prints, for the household check cases, every refined household figure
// beside the simulation of the same household: the ruin grid, the split
// lifetime ruin, the estates and the expected income, each with the refined
// error estimate, the simulated standard error, the distance in standard
// errors and whether the cross-check finds them in agreement; then each
// case's farthest figure.
// Usage: household_check [PATHS [SEED [THREADS]]]  (default 1000000 paths, seed 1)
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "household_cases.h"
#include "analysis/defaults.h"
#include "engine/refined/household.h"
#include "engine/simulation/household_simulation.h"
#include "engine/stages/household_cross_check.h"
#include "engine/stages/ruin_table.h"

using namespace quorrel;

namespace {

class IgnoringSink : public ResultSink {
public:
    void publish_result(const std::string&, const std::string&) override {}
};

struct Farthest {
    double z = 0;  // |refined - simulated| / standard error
    std::string what;
    int disagreements = 0;  // figures not found to agree
};

void row(const std::string& what, double refined, double error, const McEstimate& m, Agreement a,
         Farthest& far) {
    const double z = m.standard_error > 0 ? std::fabs(refined - m.value) / m.standard_error : 0;
    if (std::isfinite(z) && z > far.z) {
        far.z = z;
        far.what = what;
    }
    far.disagreements += a != Agreement::agrees;
    std::printf("| %s | %.5f | %.1e | %.5f | %.5f | %+.5f | %.2f | %s |\n", what.c_str(), refined,
                error, m.value, m.standard_error, refined - m.value, z,
                a == Agreement::agrees ? "yes" : a == Agreement::disagrees ? "NO" : "-");
}

}  // namespace

int main(int argc, char** argv) {
    const long paths = argc > 1 ? std::atol(argv[1]) : 1000000;
    const unsigned long seed = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1;
    const unsigned threads = argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : 0;
    const char* levels[4] = {"0%", "10%", "25%", "50%"};
    const char* quantiles[3] = {"25%", "50%", "75%"};
    int disagreements = 0;
    for (const auto& c : check_cases::household_check_cases()) {
        AnalysisState inputs;
        apply_input_defaults(inputs);
        c.change(inputs);
        const AnalysisState s = prepared_for_engine(inputs);
        AnalysisState refined_state = s;
        IgnoringSink sink;
        RefinedResults refined;
        compute_household_results(refined_state, sink, refined);
        refined.record.refined = true;  // as the pipeline marks it
        const ResultsRecord& r = refined.record;

        MonteCarloOptions options;
        options.paths = paths;
        options.seed = seed;
        options.threads = threads;
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t cpu_start = std::clock();
        const HouseholdSimulationResults mc = run_household_monte_carlo(s, options);
        const double cpu = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const HouseholdCrossCheck check = cross_check_household(r, mc);

        std::printf("\n### %s\n\nages %.0f and %.0f, wealth ratio %.4f; %ld paths, seed %lu, simulation %.1f s wall, %.1f s "
                    "processor\n\n",
                    c.name, s.current_age, s.spouse_age, s.wealth_ratio, mc.figures.paths, seed,
                    seconds, cpu);
        std::printf("| figure | refined | error est. | simulated | SE | refined - sim | SEs | agrees |\n");
        std::printf("|---|---|---|---|---|---|---|---|\n");
        Farthest far;
        const char* cols[4] = {"10y", "20y", "30y", "life"};
        for (int l = 0; l < 4; ++l)
            for (int h = 0; h < 4; ++h)
                row(std::string("ruin ") + levels[l] + " " + cols[h], r.ruin_grid[l][h],
                    refined.ruin_error[l][h], mc.figures.ruin[l][h], check.figures.ruin[l][h], far);
        for (int l = 0; l < 4; ++l) {
            row(std::string("ruin ") + levels[l] + " while both alive",
                r.household.lifetime_ruin_both[l], r.household.lifetime_ruin_both_error[l],
                mc.lifetime_ruin_both[l], check.lifetime_ruin_both[l], far);
            row(std::string("ruin ") + levels[l] + " while a survivor lived",
                r.household.lifetime_ruin_survivor[l], r.household.lifetime_ruin_survivor_error[l],
                mc.lifetime_ruin_survivor[l], check.lifetime_ruin_survivor[l], far);
        }
        for (int h = 0; h < 3; ++h)
            for (int k = 0; k < 3; ++k)
                row(std::string("estate ") + cols[h] + " " + quantiles[k], r.estate_grid[h][k],
                    refined.estate_error[h][k], mc.figures.estate[h][k], check.figures.estate[h][k],
                    far);
        for (int i = 0; i < 20; ++i)
            row("expected income " + std::to_string(i + 1), r.expected_income[i],
                refined.expected_income_error[i], mc.figures.expected_income[i],
                check.figures.expected_income[i], far);
        std::printf("\nfarthest: %s at %.2f standard errors; %d figures not in agreement\n",
                    far.what.c_str(), far.z, far.disagreements);
        disagreements += far.disagreements;
    }
    return disagreements == 0 ? 0 : 1;
}
