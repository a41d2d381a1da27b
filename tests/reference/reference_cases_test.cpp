// Whole calculations against figures computed by an independent
// implementation (tests/data/reference_cases.json): every text a person sees
// exactly, every raw figure to the reference's own accuracy.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "record/analysis_state.h"
#include "analysis/defaults.h"
#include "record/number_format.h"
#include "analysis/pipeline.h"
#include "record/results.h"
#include "reference_inputs.h"
#include "test_doubles.h"

namespace quorrel {
namespace {

using nlohmann::json;
using reference::field_setters;

// The reference's tridiagonal solver rounds in another order; its
// incomplete gamma series is good to about 1e-5.
constexpr double kRawTolerance = 1e-9;
constexpr double kDeathAgeTolerance = 1e-4;

const json& reference_cases() {
    static const json cases = [] {
        std::ifstream in(std::string(QUORREL_TEST_DATA_DIR) + "/reference_cases.json");
        return in ? json::parse(in)["cases"] : json::object();
    }();
    return cases;
}

struct CaseRun {
    AnalysisState state;
    ResultsRecord results;
    CalculationOutcome outcome = CalculationOutcome::failed;
    std::vector<std::string> messages;
};

CaseRun run_case(const json& inputs) {
    CaseRun run;
    apply_input_defaults(run.state);
    for (const auto& [field, value] : inputs.items()) {
        const auto setter = field_setters().find(field);
        if (setter == field_setters().end()) {
            ADD_FAILURE() << "no setter for the input field " << field;
            continue;
        }
        setter->second(run.state, value);
    }
    QuietHooks hooks;
    run.outcome = run_calculation(run.state, hooks, run.results);
    run.messages = hooks.titled;
    return run;
}

const char* const kLevelKeys[4] = {"0", "0.1", "0.25", "0.5"};
const char* const kHorizonKeys[4] = {"10", "20", "30", "life"};
const char* const kQuantileKeys[3] = {"0.25", "0.5", "0.75"};

void expect_displayed(const CaseRun& run, const json& displayed) {
    const AnalysisState& s = run.state;
    for (const auto& [cell, text] : displayed["cells"].items()) {
        const auto found = run.results.cells.find(cell);
        ASSERT_NE(found, run.results.cells.end()) << cell;
        EXPECT_EQ(found->second, text.get<std::string>()) << cell;
    }
    EXPECT_EQ(run.results.cells.size(), displayed["cells"].size());
    const json& acquired = displayed["acquired_incomes"];
    EXPECT_EQ(format_grouped0(s.acquired_nominal_income), acquired["acquired_nominal_income"]);
    EXPECT_EQ(format_grouped0(s.acquired_cpi_income), acquired["acquired_cpi_income"]);
    EXPECT_EQ(format_grouped0(s.acquired_variable_income), acquired["acquired_variable_income"]);
    EXPECT_EQ(format_grouped0(s.net_investable_wealth), displayed["net_investable_wealth"]);
    EXPECT_EQ(format_grouped0(s.consumption_deficit), displayed["consumption_deficit"]);
    // The mortality tab shows Int(expected death age) + 1.
    EXPECT_EQ(format_grouped0(std::floor(s.expected_death_age) + 1), displayed["life_expectancy"]);
    EXPECT_EQ(run.results.ninetieth_percentile_index + s.current_age,
              displayed["ninetieth_percentile_age"].get<double>());
}

void expect_raw(const CaseRun& run, const json& raw) {
    const AnalysisState& s = run.state;
    const ResultsRecord& r = run.results;
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) {
            const std::string key = std::string(kLevelKeys[row]) + "|" + kHorizonKeys[col];
            EXPECT_NEAR(r.ruin_grid[row][col], raw["ruin_grid"][key].get<double>(), kRawTolerance)
                << key;
        }
    }
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const std::string key = std::to_string(10 * (row + 1)) + "|" + kQuantileKeys[col];
            EXPECT_NEAR(r.estate_grid[row][col], raw["estate_grid"][key].get<double>(),
                        kRawTolerance)
                << key;
        }
    }
    EXPECT_NEAR(r.expected_ruin_age, raw["expected_ruin_age"].get<double>(), kRawTolerance);
    EXPECT_NEAR(s.expected_death_age, raw["expected_death_age"].get<double>(), kDeathAgeTolerance);
    ASSERT_EQ(raw["expected_income"].size(), r.expected_income.size());
    for (std::size_t i = 0; i < r.expected_income.size(); ++i) {
        EXPECT_NEAR(r.expected_income[i], raw["expected_income"][i].get<double>(), kRawTolerance)
            << "point " << i + 1;
    }
    // The record keeps the variable factor; the other two show in the
    // incomes they buy.
    const json& factors = raw["annuity_factors"];
    EXPECT_NEAR(s.variable_annuity_factor, factors["variable"].get<double>(), kRawTolerance);
    EXPECT_NEAR(s.acquired_cpi_income * factors["real"].get<double>(), s.purchase_cpi,
                1e-9 * (1 + s.purchase_cpi));
    EXPECT_NEAR(s.acquired_nominal_income * factors["cola"].get<double>(), s.purchase_nominal,
                1e-9 * (1 + s.purchase_nominal));
}

class ReferenceCase : public testing::TestWithParam<const char*> {};

TEST_P(ReferenceCase, WholeCalculationMatchesTheIndependentFigures) {
    const json& cases = reference_cases();
    ASSERT_TRUE(cases.contains(GetParam()))
        << "tests/data/reference_cases.json lacks case " << GetParam();
    const json& c = cases[GetParam()];
    SCOPED_TRACE(std::string(GetParam()) + " (" + c["description"].get<std::string>() +
                 "), inputs over the defaults: " + c["inputs_overriding_defaults"].dump());
    const CaseRun run = run_case(c["inputs_overriding_defaults"]);
    ASSERT_EQ(run.outcome, CalculationOutcome::completed)
        << (run.messages.empty() ? std::string("no message") : run.messages.front());
    expect_displayed(run, c["displayed"]);
    expect_raw(run, c["raw"]);
}

constexpr const char* kCaseNames[] = {"S1", "S2", "S3", "S4", "S5", "S6"};

INSTANTIATE_TEST_SUITE_P(Cases, ReferenceCase, testing::ValuesIn(kCaseNames),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param);
                         });

TEST(ReferenceCaseFile, HoldsExactlyTheTabulatedCases) {
    std::vector<std::string> names;
    for (const auto& [name, c] : reference_cases().items()) names.push_back(name);
    EXPECT_EQ(names, std::vector<std::string>(std::begin(kCaseNames), std::end(kCaseNames)));
}

}  // namespace
}  // namespace quorrel
