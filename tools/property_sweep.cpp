// A property sweep over random valid cases: each is calculated at standard
// and refined accuracy and simulated, then checked for
//   conservation  the refined sweeps lose (almost) no probability through the
//                 top, and account for the rest (ruined + on the grid + lost = 1);
//   order         ruin never falls with the horizon (10, 20, 30 years) and
//                 never rises as the level lowers (50%, 25%, 10%, 0%), per scheme;
//   agreement     each refined figure within 3 standard errors of the simulated
//                 one plus its own error estimate and the simulation's
//                 time-step allowance (5e-4 on probabilities and incomes,
//                 2e-4 max(1, x) on estate multiples, 0.001 years on the
//                 expected ruin age).
// With --percent every case spends by the percent rule (a random rate, floor
// and ceiling); the standard scheme, which has no such rule, is left out,
// and the spending percentiles are checked too, against the rule applied to
// the simulated wealth percentiles.
// With --household every case is a household (a random spouse, survivor
// spending and share and spouse's pension), computed by the refined
// household engine against the household simulation; the split lifetime
// figures are checked too, the expected ruin age (which a household has not)
// is not.
// Prints one line per case with a problem, then one summary line. A
// developer tool, not a test: a few hundred cases take many minutes.
// Usage: property_sweep [--cases N] [--paths P] [--seed S] [--threads T] [--percent | --household]
//        [--verbose]
//        [--case K] (case K alone; with --verbose every figure outside its tolerance)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "analysis/defaults.h"
#include "record/errors.h"
#include "analysis/input_catalogue.h"
#include "engine/refined/household.h"
#include "engine/simulation/household_simulation.h"
#include "engine/simulation/monte_carlo.h"
#include "engine/refined/refined.h"
#include "engine/stages/ruin_table.h"

using namespace quorrel;

namespace {

class IgnoringSink : public ResultSink {
public:
    void publish_result(const std::string&, const std::string&) override {}
};

struct Options {
    int cases = 300;
    long paths = 100000;
    unsigned long seed = 1;
    unsigned threads = 0;
    bool percent = false;
    bool household = false;
    bool verbose = false;
    int only = -1;  // run this case alone
};

using Rng = std::mt19937_64;

int uniform_int(Rng& rng, int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
double uniform(Rng& rng, double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng);
}

// Five whole percentages adding up to 100.
std::vector<int> random_allocation(Rng& rng) {
    std::vector<int> cuts = {0, 100};
    for (int k = 0; k < 4; ++k) cuts.push_back(uniform_int(rng, 0, 100));
    std::sort(cuts.begin(), cuts.end());
    std::vector<int> w;
    for (int k = 0; k < 5; ++k) w.push_back(cuts[k + 1] - cuts[k]);
    return w;
}

void set_list(InputValues& values, const char* key, int index) {
    const InputRow& row = input_row(key);
    values[input_index(key)].index = std::clamp(index, 0, item_count(row) - 1);
}

// Inputs drawn from the catalogue's lists and sensible amounts; the caller
// keeps only those the calculation accepts.
AnalysisState random_inputs(Rng& rng, bool percent, bool household) {
    InputValues v = default_input_values();
    set_list(v, "current_age", uniform_int(rng, 0, item_count(input_row("current_age")) - 1));
    set_list(v, "gender", uniform_int(rng, 0, 2));
    set_list(v, "ruin_table", uniform_int(rng, 0, 2));
    set_list(v, "annuity_table", uniform_int(rng, 0, 1));
    set_list(v, "later_allocation_years", uniform_int(rng, 0, 5));
    set_list(v, "cola_percent", uniform_int(rng, 0, 4));
    set_list(v, "air_percent", uniform_int(rng, 0, 3));
    const char* today[5] = {"weight_stock_percent", "weight_nomi_bond_percent",
                            "weight_real_bond_percent", "weight_cash_percent",
                            "weight_estate_percent"};
    const char* later[5] = {"later_weight_stock_percent", "later_weight_nomi_bond_percent",
                            "later_weight_real_bond_percent", "later_weight_cash_percent",
                            "later_weight_estate_percent"};
    const std::vector<int> a = random_allocation(rng), b = random_allocation(rng);
    for (int k = 0; k < 5; ++k) {
        set_list(v, today[k], a[static_cast<std::size_t>(k)]);
        set_list(v, later[k], b[static_cast<std::size_t>(k)]);
    }
    // Real returns 0% to 10%, deviations 0% to 35% (tenths of a percent).
    for (const char* key : {"mean_stock_percent", "mean_nomi_bond_percent",
                            "mean_real_bond_percent", "mean_cash_percent", "mean_estate_percent"})
        set_list(v, key, uniform_int(rng, 0, 100));
    for (const char* key : {"dev_stock_percent", "dev_nomi_bond_percent", "dev_real_bond_percent",
                            "dev_estate_percent"})
        set_list(v, key, uniform_int(rng, 0, 350));

    const double target = std::round(uniform(rng, 15000, 120000));
    const auto maybe = [&](double hi) { return uniform(rng, 0, 1) < 0.4 ? std::round(uniform(rng, 0, hi)) : 0.0; };
    const double pension_nominal = maybe(0.3 * target), pension_cpi = maybe(0.3 * target),
                 pension_variable = maybe(0.2 * target);
    const double purchase_nominal = maybe(10 * target), purchase_cpi = maybe(10 * target),
                 purchase_variable = maybe(10 * target);
    // Net investable wealth 2 to 58 times the target.
    const double niw = uniform(rng, 2, 58) * target;
    const double wealth = std::round(niw + purchase_nominal + purchase_cpi + purchase_variable);
    const std::pair<const char*, double> amounts[] = {
        {"target_income", target},          {"liquid_wealth", wealth},
        {"pension_nominal_income", pension_nominal}, {"pension_cpi_income", pension_cpi},
        {"pension_variable_income", pension_variable}, {"purchase_nominal", purchase_nominal},
        {"purchase_cpi", purchase_cpi},     {"purchase_variable", purchase_variable}};
    for (const auto& [key, amount] : amounts) v[input_index(key)].amount = amount;
    if (percent) {
        // Floor and ceiling at their defaults (0) or drawn: floor 20% to 110%,
        // ceiling 100% to 300% of the target.
        set_list(v, "spending_rule", 1);
        set_list(v, "spending_rate_percent", uniform_int(rng, 0, 80));
        const double floor = uniform(rng, 0, 1) < 0.5 ? 0.0 : std::round(uniform(rng, 0.2, 1.1) * target);
        const double ceiling = uniform(rng, 0, 1) < 0.5 ? 0.0 : std::round(uniform(rng, 1.1, 3) * target);
        v[input_index("spending_floor")].amount = floor;
        v[input_index("spending_ceiling")].amount = ceiling;
    }

    if (household) {
        // Any spouse 50 to 90 (item 0 is "none"), survivor terms anywhere in
        // 0% to 100%, and a spouse's pension up to half the target.
        set_list(v, "spouse_age", uniform_int(rng, 1, item_count(input_row("spouse_age")) - 1));
        set_list(v, "spouse_gender", uniform_int(rng, 0, 2));
        set_list(v, "survivor_spending_percent",
                 uniform_int(rng, 0, item_count(input_row("survivor_spending_percent")) - 1));
        set_list(v, "survivor_share_percent",
                 uniform_int(rng, 0, item_count(input_row("survivor_share_percent")) - 1));
        v[input_index("spouse_pension_cpi_income")].amount =
            uniform(rng, 0, 1) < 0.5 ? 0.0 : std::round(uniform(rng, 0, 0.5) * target);
    }

    AnalysisState s;
    apply_input_defaults(s);
    write_inputs(s, v);
    return s;
}

struct CaseOutcome {
    bool computed = false;
    std::string failure;
    int figures = 0, agree = 0;
    int order_standard = 0, order_refined = 0;
    double lost_mass = 0;
    double mass_defect = 0;
    double worst_z = 0;  // |refined - simulated| / tolerance, largest
    std::string worst;
    std::string description;
};

// Ruin falling with the horizon (unless `horizons` is false: a household's
// figures at a later horizon are among other households, those with someone
// alive then), or rising as the level lowers.
int order_violations(const std::array<std::array<double, 4>, 4>& g, bool horizons = true) {
    constexpr double slack = 1e-12;
    int n = 0;
    for (int r = 0; r < 4; ++r) {
        for (int c = 1; c < 3 && horizons; ++c) n += g[r][c] < g[r][c - 1] - slack;
        if (r > 0) {
            for (int c = 0; c < 4; ++c) n += g[r][c] < g[r - 1][c] - slack;
        }
    }
    return n;
}

const char* kLevels[4] = {"0%", "10%", "25%", "50%"};
const char* kHorizons[4] = {"10y", "20y", "30y", "life"};

CaseOutcome run_case(int index, const Options& opt) {
    CaseOutcome out;
    Rng rng(opt.seed * 1000003ULL + static_cast<unsigned long>(index));
    AnalysisState s;
    for (int attempt = 0;; ++attempt) {
        if (attempt == 100) {
            out.failure = "no valid case drawn in 100 attempts";
            return out;
        }
        try {
            s = prepared_for_engine(random_inputs(rng, opt.percent, opt.household));
        } catch (const CalculationFailure&) {
            continue;
        }
        if (s.wealth_ratio > 0 && s.wealth_ratio < 60) break;
    }
    char text[256];
    std::snprintf(text, sizeof text,
                  "age %.0f, ratio %.2f, mu %.3f/%.3f, sigma %.3f/%.3f, switch %d y, income %.2f "
                  "real %.2f nominal %.2f variable",
                  s.current_age, s.wealth_ratio, s.current_expected_return,
                  s.later_expected_return, s.current_standard_deviation,
                  s.later_standard_deviation, s.later_allocation_years, s.real_income_ratio,
                  s.nominal_income_ratio, s.variable_income_ratio);
    out.description = text;
    try {
        IgnoringSink sink;
        if (!opt.percent && !opt.household) {
            AnalysisState standard_state = s;
            ResultsRecord standard;
            compute_ruin_table(standard_state, sink, standard);
            compute_estate_quantiles(standard_state, sink, standard);
            out.order_standard = order_violations(standard.ruin_grid);
        }

        AnalysisState refined_state = s;
        RefinedResults refined;
        if (opt.household)
            compute_household_results(refined_state, sink, refined);
        else
            compute_refined_results(refined_state, sink, refined);
        out.order_refined = order_violations(refined.record.ruin_grid, !opt.household);
        out.lost_mass = refined.top_loss;
        out.mass_defect = refined.mass_defect;

        MonteCarloOptions mc_options;
        mc_options.paths = opt.paths;
        mc_options.seed = opt.seed + 7919ULL * static_cast<unsigned long>(index);
        mc_options.threads = 1;
        HouseholdSimulationResults household_mc;
        if (opt.household) household_mc = run_household_monte_carlo(s, mc_options);
        const MonteCarloResults mc =
            opt.household ? household_mc.figures : run_monte_carlo(s, mc_options);

        const auto check = [&](const std::string& name, double value, double error,
                               const McEstimate& sim, double allowance) {
            const double se = std::isfinite(sim.standard_error) ? sim.standard_error : 0;
            const double tol = 3 * se + error + allowance;
            const double z = std::fabs(value - sim.value) / tol;
            ++out.figures;
            out.agree += z <= 1;
            if ((z > 1 || opt.only >= 0) && opt.verbose)
                std::printf("    %s %.2f x: %s refined %.5f (est. %.1e) simulated %.5f (SE %.1e)\n",
                            z > 1 ? "outside" : "within", z, name.c_str(), value, error, sim.value,
                            se);
            if (z > out.worst_z) {
                out.worst_z = z;
                char w[160];
                std::snprintf(w, sizeof w, "%s refined %.5f (est. %.1e) simulated %.5f (SE %.1e)",
                              name.c_str(), value, error, sim.value, se);
                out.worst = w;
            }
        };
        const ResultsRecord& r = refined.record;
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                check(std::string("ruin ") + kLevels[i] + " " + kHorizons[j], r.ruin_grid[i][j],
                      refined.ruin_error[i][j], mc.ruin[i][j], 5e-4);
        for (int h = 0; h < 3; ++h)
            for (int q = 0; q < 3; ++q)
                check("estate " + std::to_string(10 * (h + 1)) + "y q" + std::to_string(q),
                      r.estate_grid[h][q], refined.estate_error[h][q], mc.estate[h][q],
                      2e-4 * std::max(1.0, r.estate_grid[h][q]));
        if (opt.household) {
            for (int i = 0; i < 4; ++i) {
                check(std::string("ruin ") + kLevels[i] + " while both alive",
                      r.household.lifetime_ruin_both[i], r.household.lifetime_ruin_both_error[i],
                      household_mc.lifetime_ruin_both[i], 5e-4);
                check(std::string("ruin ") + kLevels[i] + " while a survivor lived",
                      r.household.lifetime_ruin_survivor[i],
                      r.household.lifetime_ruin_survivor_error[i],
                      household_mc.lifetime_ruin_survivor[i], 5e-4);
            }
        } else {
            check("expected ruin age", r.expected_ruin_age, refined.expected_ruin_age_error,
                  mc.expected_ruin_age, 0.001);
        }
        for (int i = 0; i < 20; ++i)
            check("income " + std::to_string(i + 1), r.expected_income[i],
                  refined.expected_income_error[i], mc.expected_income[i], 5e-4);
        if (opt.percent) {
            // Spending in years of target income: the rule at the simulated
            // wealth percentile, its standard error through the rule's slope.
            // That holds where spending never falls as wealth rises, ruin
            // included: where the annuities pay more than the floor, a
            // ruined path spends more than one just above ruin.
            const engine::Model m = engine::Model::from_state(s);
            for (int h = 0; h < 3; ++h)
                for (int q = 0; q < 3; ++q) {
                    const McEstimate& w = mc.estate[h][q];
                    if (!(w.value > 0)) continue;
                    if (m.annuity_income(kGridHorizons[h]) > m.spending_at_zero()) continue;
                    const double x = w.value * s.wealth_ratio;
                    // The rule's steepest slope: a percentile near the floor's
                    // or the ceiling's kink moves spending at most that much.
                    const double slope = m.spending_rate * s.wealth_ratio;
                    const McEstimate spend{m.spending(x), slope * w.standard_error};
                    check("spending " + std::to_string(10 * (h + 1)) + "y q" + std::to_string(q),
                          r.spending_grid[h][q] / s.target_income,
                          refined.spending_error[h][q] / s.target_income +
                              slope * refined.estate_error[h][q],
                          spend, 2e-4 * std::max(1.0, spend.value));
                }
        }
        out.computed = true;
    } catch (const std::exception& e) {
        out.failure = e.what();
    }
    return out;
}

bool parse(int argc, char** argv, Options& opt) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool has_value = i + 1 < argc;
        if (a == "--verbose") opt.verbose = true;
        else if (a == "--percent") opt.percent = true;
        else if (a == "--household") opt.household = true;
        else if (a == "--case" && has_value) opt.only = std::atoi(argv[++i]);
        else if (a == "--cases" && has_value) opt.cases = std::atoi(argv[++i]);
        else if (a == "--paths" && has_value) opt.paths = std::atol(argv[++i]);
        else if (a == "--seed" && has_value) opt.seed = std::strtoul(argv[++i], nullptr, 10);
        else if (a == "--threads" && has_value) opt.threads = static_cast<unsigned>(std::atoi(argv[++i]));
        else return false;
    }
    return opt.cases > 0 && opt.paths >= 2048 && !(opt.percent && opt.household);
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    if (!parse(argc, argv, opt)) {
        std::fprintf(stderr,
                     "usage: property_sweep [--cases N] [--paths P>=2048] [--seed S] [--threads T] "
                     "[--percent | --household] [--verbose] [--case K]\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    std::vector<CaseOutcome> outcomes(static_cast<std::size_t>(opt.cases));
    std::atomic<int> next{0};
    std::mutex print;
    const unsigned threads =
        opt.threads ? opt.threads : std::max(1u, std::thread::hardware_concurrency());
    auto work = [&] {
        for (int k; (k = next.fetch_add(1)) < opt.cases;) {
            if (opt.only >= 0 && k != opt.only) continue;
            CaseOutcome o = run_case(k, opt);
            {
                std::lock_guard<std::mutex> lock(print);
                const bool problem = !o.computed || o.agree < o.figures || o.order_refined ||
                                     o.order_standard || o.lost_mass > 1e-10 ||
                                     o.mass_defect > 1e-10;
                if (problem || opt.verbose) {
                    std::printf("case %d: %s\n", k, o.description.c_str());
                    if (!o.computed) std::printf("  not computed: %s\n", o.failure.c_str());
                    else
                        std::printf(
                            "  %d/%d agree; order violations standard %d refined %d; lost mass "
                            "%.1e, mass defect %.1e; worst %.2f x tolerance: %s\n",
                            o.agree, o.figures, o.order_standard, o.order_refined, o.lost_mass,
                            o.mass_defect, o.worst_z, o.worst.c_str());
                    std::fflush(stdout);
                }
            }
            outcomes[static_cast<std::size_t>(k)] = std::move(o);
        }
    };
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < threads; ++t) pool.emplace_back(work);
    for (std::thread& t : pool) t.join();

    int computed = 0, figures = 0, agree = 0, order_standard = 0, order_refined = 0, leaky = 0;
    double lost = 0, defect = 0;
    for (const CaseOutcome& o : outcomes) {
        if (!o.computed) continue;
        ++computed;
        figures += o.figures;
        agree += o.agree;
        order_standard += o.order_standard;
        order_refined += o.order_refined;
        lost = std::max(lost, o.lost_mass);
        defect = std::max(defect, o.mass_defect);
        leaky += o.lost_mass > 1e-10 || o.mass_defect > 1e-10;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf(
        "property sweep: %d cases (%d computed), %d figures, agreement %.2f%% (%d outside), "
        "order violations standard %d refined %d, max lost mass %.1e, max mass defect %.1e (%d "
        "cases above 1e-10), %ld paths, seed %lu, %.0f s\n",
        opt.cases, computed, figures, figures ? 100.0 * agree / figures : 0.0, figures - agree,
        order_standard, order_refined, lost, defect, leaky, opt.paths, opt.seed, seconds);
    const bool ok = computed == (opt.only >= 0 ? 1 : opt.cases) && order_refined == 0 && order_standard == 0 &&
                    leaky == 0 && agree >= 0.99 * figures;
    return ok ? 0 : 1;
}
