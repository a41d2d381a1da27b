// Prints, for the check cases, every refined figure beside a simulation of the
// same process: each ruin probability with its error estimate, the simulated
// figure with its standard error, and whether they agree within two standard
// errors or 0.0005 (whichever is larger); each estate multiple within 0.02.
// Usage: refined_check [PATHS [SEED]]  (default 1000000 paths, seed 1)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "check_cases.h"
#include "analysis/defaults.h"
#include "engine/simulation/monte_carlo.h"
#include "engine/refined/refined.h"
#include "engine/stages/ruin_table.h"

using namespace quorrel;

namespace {

class IgnoringSink : public ResultSink {
public:
    void publish_result(const std::string&, const std::string&) override {}
};

struct Case {
    const char* name;
    std::function<void(AnalysisState&)> change;
};

const char* kRows[4] = {"0%", "10%", "25%", "50%"};
const char* kCols[4] = {"10y", "20y", "30y", "life"};
const char* kQuantiles[3] = {"25%", "50%", "75%"};

}  // namespace

int main(int argc, char** argv) {
    const long paths = argc > 1 ? std::atol(argv[1]) : 1000000;
    const unsigned long seed = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1;
    const std::vector<Case> cases = {
        {"default case (S1)", [](AnalysisState&) {}},
        {"S3: age 80, wealth 500,000, target 50,000",
         [](AnalysisState& s) {
             s.current_age = 80;
             s.liquid_wealth = 500000;
             s.target_income = 50000;
         }},
        {"S6: 100% cash, 60/40 stocks/nominal bonds after 10 years",
         check_cases::cash_then_sixty_forty},
        {"pensions and all three annuities (CPI 10,000, nominal 8,000, COLA 2%, 100,000 on each "
         "annuity, "
         "AIR 4%, target 60,000)",
         check_cases::pensions_and_annuities},
    };
    int failures = 0;
    for (const Case& c : cases) {
        AnalysisState inputs;
        apply_input_defaults(inputs);
        c.change(inputs);
        const AnalysisState s = prepared_for_engine(inputs);

        AnalysisState standard_state = s;
        IgnoringSink sink;
        ResultsRecord standard;
        compute_ruin_table(standard_state, sink, standard);
        compute_estate_quantiles(standard_state, sink, standard);

        RefinedResults refined;
        AnalysisState refined_state = s;
        compute_refined_results(refined_state, sink, refined);

        MonteCarloOptions options;
        options.paths = paths;
        options.seed = seed;
        const auto start = std::chrono::steady_clock::now();
        const MonteCarloResults mc = run_monte_carlo(s, options);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

        std::printf(
            "\n### %s\n\nwealth ratio %.4f; simulation %ld paths, seed %lu, step %.2f years, %.1f "
            "s; "
            "refined grid %d / %d nodes to %.0f\n\n",
            c.name, s.wealth_ratio, mc.paths, seed, mc.dt, seconds, refined.coarse_nodes,
            refined.fine_nodes, refined.grid_top);
        std::printf(
            "| level | horizon | standard | refined | error est. | simulated | SE | refined - sim "
            "| tolerance | ok |\n");
        std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
        for (int r = 0; r < 4; ++r) {
            for (int k = 0; k < 4; ++k) {
                const double p = refined.record.ruin_grid[r][k];
                const McEstimate m = mc.ruin[r][k];
                const double tol = std::max(2 * m.standard_error, 0.0005);
                const bool ok = std::fabs(p - m.value) <= tol;
                failures += !ok;
                std::printf("| %s | %s | %.4f | %.5f | %.1e | %.5f | %.5f | %+.5f | %.5f | %s |\n",
                            kRows[r], kCols[k], standard.ruin_grid[r][k], p,
                            refined.ruin_error[r][k], m.value, m.standard_error, p - m.value, tol,
                            ok ? "yes" : "NO");
            }
        }
        std::printf(
            "\n| years | percentile | standard | refined | error est. | simulated | SE | refined - "
            "sim | ok (0.02) |\n");
        std::printf("|---|---|---|---|---|---|---|---|---|\n");
        for (int h = 0; h < 3; ++h) {
            for (int k = 0; k < 3; ++k) {
                const double v = refined.record.estate_grid[h][k];
                const McEstimate m = mc.estate[h][k];
                const bool ok = std::fabs(v - m.value) <= 0.02;
                failures += !ok;
                std::printf("| %d | %s | %.2f | %.4f | %.1e | %.4f | %.4f | %+.4f | %s |\n",
                            10 * (h + 1), kQuantiles[k], standard.estate_grid[h][k], v,
                            refined.estate_error[h][k], m.value, m.standard_error, v - m.value,
                            ok ? "yes" : "NO");
            }
        }
        std::printf(
            "\nexpected ruin age: standard %.3f, refined %.3f (error est. %.1e), simulated %.3f "
            "(SE %.3f)\n",
            standard.expected_ruin_age, refined.record.expected_ruin_age,
            refined.expected_ruin_age_error, mc.expected_ruin_age.value,
            mc.expected_ruin_age.standard_error);
    }
    std::printf("\n%d figures outside their tolerance\n", failures);
    return failures == 0 ? 0 : 1;
}
