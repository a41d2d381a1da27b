// Every refined figure, and the program's own simulation, against eight cases
// simulated independently with 2,000,000 paths (tests/data/simulated.json; its
// README gives the tolerances). The refined engine has no sampling error of its
// own, so its rows use the reference's standard error alone; the simulation's
// rows combine both standard errors. Rows whose names start with "Slow" run
// enough paths to take minutes; ctest labels them "slow".
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "record/analysis_state.h"
#include "analysis/defaults.h"
#include "record/results.h"
#include "engine/simulation/monte_carlo.h"
#include "engine/refined/refined.h"
#include "engine/stages/ruin_table.h"
#include "reference_inputs.h"
#include "test_doubles.h"

namespace quorrel {
namespace {

using nlohmann::json;

const json& simulated_cases() {
    static const json cases = [] {
        std::ifstream in(std::string(QUORREL_TEST_DATA_DIR) + "/simulated.json");
        return in ? json::parse(in)["cases"] : json::object();
    }();
    return cases;
}

std::vector<std::string> case_names() {
    std::vector<std::string> names;
    for (const auto& [name, c] : simulated_cases().items()) names.push_back(name);
    return names;
}

AnalysisState prepared_case(const json& c) {
    AnalysisState s;
    apply_input_defaults(s);
    for (const std::string& field : reference::apply_overrides(s, c["inputs_overriding_defaults"]))
        ADD_FAILURE() << "no setter for the input field " << field;
    return prepared_for_engine(s);
}

// One figure of the program beside the reference's.
struct Compared {
    std::string key;
    double value;
    double standard_error;  // the program's own; 0 for the refined engine
};

enum class Kind { probability, income, estate, ruin_age };

Kind kind_of(const std::string& key) {
    if (key.rfind("ruin|", 0) == 0) return Kind::probability;
    if (key.rfind("estate|", 0) == 0) return Kind::estate;
    if (key == "expected_ruin_age") return Kind::ruin_age;
    return Kind::income;
}

const char* const kSimulatedLevelKeys[4] = {"0", "0.1", "0.25", "0.5"};
const char* const kSimulatedHorizonKeys[4] = {"years_10", "years_20", "years_30", "lifetime"};
const char* const kSimulatedQuantileKeys[3] = {"bad", "median", "good"};

// The 46 figures of a record under the reference's keys.
template <class Value>
std::vector<Compared> keyed(const std::array<std::array<Value, 4>, 4>& ruin,
                            const std::array<std::array<Value, 3>, 3>& estate, const Value& age,
                            const std::array<Value, 20>& income) {
    const auto pair = [](const Value& v) -> std::pair<double, double> {
        if constexpr (std::is_same_v<Value, McEstimate>) return {v.value, v.standard_error};
        else return {v, 0.0};
    };
    std::vector<Compared> out;
    const auto add = [&](std::string key, const Value& v) {
        const auto [value, se] = pair(v);
        out.push_back({std::move(key), value, se});
    };
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            add(std::string("ruin|") + kSimulatedLevelKeys[r] + "|" + kSimulatedHorizonKeys[c], ruin[r][c]);
    for (int h = 0; h < 3; ++h)
        for (int q = 0; q < 3; ++q)
            add("estate|" + std::to_string(10 * (h + 1)) + "|" + kSimulatedQuantileKeys[q], estate[h][q]);
    add("expected_ruin_age", age);
    for (int i = 0; i < 20; ++i) add("expected_income|" + std::to_string(i + 1), income[i]);
    return out;
}

// The refined engine: probabilities within max(3 SE, 0.0005), estate
// multiples within max(4 SE + 2e-4 max(1, x), 0.01); expected incomes and the
// expected ruin age within the reference's own 4 SE plus its time-step
// allowance (0.0005; 0.001 years). S1's expected_income|14 lies 3.1 SE out.
double refined_tolerance(Kind kind, double value, double se) {
    switch (kind) {
        case Kind::probability: return std::max(3 * se, 5e-4);
        case Kind::income: return 4 * se + 5e-4;
        case Kind::estate: return std::max(4 * se + 2e-4 * std::max(1.0, value), 0.01);
        case Kind::ruin_age: return 4 * se + 0.001;
    }
    return 0;
}

// Another simulation: 4 combined standard errors, the reference's time-step
// allowance, and as much again for this simulation's own (nearly equal) step.
double simulation_tolerance(Kind kind, double value, double se) {
    switch (kind) {
        case Kind::probability:
        case Kind::income: return 4 * se + 2 * 5e-4;
        case Kind::estate: return 4 * se + 2 * 2e-4 * std::max(1.0, value);
        case Kind::ruin_age: return 4 * se + 2 * 0.001;
    }
    return 0;
}

void expect_all_within(const json& c, const std::vector<Compared>& figures, bool refined) {
    ASSERT_EQ(figures.size(), c["figures"].size());
    double farthest = 0;  // in combined standard errors, where there is one
    std::string farthest_key;
    for (const Compared& f : figures) {
        ASSERT_TRUE(c["figures"].contains(f.key)) << f.key;
        const json& ref = c["figures"][f.key];
        const double value = ref["value"].get<double>();
        const double ref_se = ref["standard_error"].get<double>();
        const Kind kind = kind_of(f.key);
        const double tol =
            refined ? refined_tolerance(kind, value, ref_se)
                    : simulation_tolerance(kind, value, std::hypot(ref_se, f.standard_error));
        EXPECT_NEAR(f.value, value, tol)
            << f.key << ": reference SE " << ref_se << ", own SE " << f.standard_error;
        const double combined = std::hypot(ref_se, f.standard_error);
        if (!refined && combined > 0 && std::fabs(f.value - value) / combined > farthest) {
            farthest = std::fabs(f.value - value) / combined;
            farthest_key = f.key;
        }
    }
    if (!refined) {
        ::testing::Test::RecordProperty("farthest_in_standard_errors", std::to_string(farthest));
        ::testing::Test::RecordProperty("farthest_figure", farthest_key);
    }
}

class RefinedAgainstSimulatedCases : public ::testing::TestWithParam<std::string> {};

TEST_P(RefinedAgainstSimulatedCases, EveryFigureWithinTheReferenceTolerance) {
    const json& c = simulated_cases()[GetParam()];
    AnalysisState state = prepared_case(c);
    IgnoringSink sink;
    RefinedResults out;
    compute_refined_results(state, sink, out);
    const ResultsRecord& r = out.record;
    expect_all_within(c, keyed(r.ruin_grid, r.estate_grid, r.expected_ruin_age, r.expected_income),
                      true);
}

// The program's simulation at `paths` paths, seeded apart from the reference.
void expect_simulation_agrees(const std::string& name, long paths) {
    const json& c = simulated_cases()[name];
    const AnalysisState state = prepared_case(c);
    MonteCarloOptions options;
    options.paths = paths;
    options.seed = 20261210;
    const MonteCarloResults mc = run_monte_carlo(state, options);
    ASSERT_FALSE(mc.cancelled);
    ASSERT_EQ(mc.paths, paths);
    expect_all_within(c, keyed(mc.ruin, mc.estate, mc.expected_ruin_age, mc.expected_income),
                      false);
}

class SimulationAgainstSimulatedCases : public ::testing::TestWithParam<std::string> {};
TEST_P(SimulationAgainstSimulatedCases, EveryFigureWithinCombinedStandardErrors) {
    expect_simulation_agrees(GetParam(), 10000);
}

// A hundred times the paths: several seconds a case.
class SimulationAgainstSimulatedCasesAtLength : public ::testing::TestWithParam<std::string> {};
TEST_P(SimulationAgainstSimulatedCasesAtLength, EveryFigureWithinCombinedStandardErrors) {
    expect_simulation_agrees(GetParam(), 1000000);
}

const auto kCaseName = [](const auto& info) { return info.param; };

INSTANTIATE_TEST_SUITE_P(Cases, RefinedAgainstSimulatedCases, ::testing::ValuesIn(case_names()),
                         kCaseName);
INSTANTIATE_TEST_SUITE_P(Cases, SimulationAgainstSimulatedCases,
                         ::testing::ValuesIn(case_names()), kCaseName);
INSTANTIATE_TEST_SUITE_P(Slow, SimulationAgainstSimulatedCasesAtLength,
                         ::testing::ValuesIn(case_names()), kCaseName);

TEST(SimulatedCases, AllEightAreRead) {
    EXPECT_EQ(case_names(), (std::vector<std::string>{"P7", "P8", "S1", "S2", "S3", "S4", "S5",
                                                      "S6"}));
}

}  // namespace
}  // namespace quorrel
