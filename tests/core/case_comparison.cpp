// Cases side by side: which inputs differ, every figure with its difference
// to the current case, and the CSV form of the table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/case_comparison.h"
#include "analysis/defaults.h"
#include "record/number_format.h"
#include "analysis/pipeline.h"
#include "test_doubles.h"

namespace quorrel {
namespace {

struct DifferenceCase {
    const char* a;
    const char* b;
    const char* difference;
};

void PrintTo(const DifferenceCase& c, std::ostream* os) { *os << c.a << " -> " << c.b; }

class FigureDifferenceTest : public ::testing::TestWithParam<DifferenceCase> {};

TEST_P(FigureDifferenceTest, InTheFiguresOwnFormat) {
    EXPECT_EQ(figure_difference(GetParam().a, GetParam().b), GetParam().difference);
}

INSTANTIATE_TEST_SUITE_P(
    Figures, FigureDifferenceTest,
    ::testing::Values(DifferenceCase{"12.3%", "14.5%", "+2.2%"},  // probabilities
                      DifferenceCase{"43.6%", "9.3%", "-34.3%"},
                      DifferenceCase{"0.0%", "0.0%", "0.0%"},
                      DifferenceCase{"0.5%", "10.25%", "+9.75%"},  // the finer of the two
                      DifferenceCase{"$800,000", "$750,000", "-$50,000"},
                      DifferenceCase{"$1,234,567", "$1,234,568", "+$1"},
                      DifferenceCase{"$0", "$-1,000", "-$1,000"},
                      DifferenceCase{"0.85", "0.85", "0.00"},  // estate multiples
                      DifferenceCase{"1.00", "0.90", "-0.10"},
                      DifferenceCase{"0.10", "0.30", "+0.20"},   // no binary residue
                      DifferenceCase{"94", "96", "+2"},          // ages
                      DifferenceCase{"5 years", "0 years", ""},  // not figures
                      DifferenceCase{"Male", "Female", ""},
                      DifferenceCase{"5.00%", "$5", ""},  // different units
                      DifferenceCase{"-", "94", ""}, DifferenceCase{"", "1", ""}));

ComparedCase calculated(const std::string& name, double age, double wealth) {
    ComparedCase c{name, {}, {}};
    apply_input_defaults(c.state);
    c.state.current_age = age;
    c.state.liquid_wealth = wealth;
    QuietHooks hooks;
    EXPECT_EQ(run_calculation(c.state, hooks, c.results), CalculationOutcome::completed);
    return c;
}

std::vector<const ComparisonRow*> section(const CaseComparison& c, const std::string& name) {
    std::vector<const ComparisonRow*> rows;
    for (const ComparisonRow& r : c.rows)
        if (r.section == name) rows.push_back(&r);
    return rows;
}

// Two calculated cases: the default and an older person with more money.
class CaseComparisonTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        cases_ = new std::vector<ComparedCase>{calculated("Today", 65, 800000),
                                               calculated("Later, richer", 70, 1000000)};
    }
    static void TearDownTestSuite() { delete cases_; }
    static std::vector<ComparedCase>* cases_;
};
std::vector<ComparedCase>* CaseComparisonTest::cases_ = nullptr;

TEST_F(CaseComparisonTest, TheDifferingInputsAndEveryFigure) {
    const CaseComparison c = compare_cases(*cases_);
    ASSERT_EQ(c.case_names, (std::vector<std::string>{"Today", "Later, richer"}));

    // The age, the wealth and what the wealth buys: nothing else differs.
    std::vector<std::string> inputs;
    for (const ComparisonRow* r : section(c, kDifferingInputs)) inputs.push_back(r->caption);
    EXPECT_EQ(inputs, (std::vector<std::string>{
                          "Individual Information: Current Age",
                          "Individual Information: Liquid Retirement Wealth",
                          "Acquired Annuity Income (Annual): Net Investable Wealth"}));
    const ComparisonRow& age = *section(c, kDifferingInputs)[0];
    EXPECT_EQ(age.values, (std::vector<std::string>{"65", "70"}));
    EXPECT_EQ(age.differences, (std::vector<std::string>{"", "+5"}));
    EXPECT_EQ(section(c, kDifferingInputs)[1]->differences[1], "+$200,000");

    // Every published cell of both records appears, in grid order.
    const auto probabilities = section(c, "Probability Results");
    ASSERT_EQ(probabilities.size(), 2u + 16u);
    EXPECT_EQ(probabilities[0]->values[1], "$1,000,000");
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col) {
            const ComparisonRow& r = *probabilities[static_cast<size_t>(2 + 4 * row + col)];
            for (size_t k = 0; k < 2; ++k)
                EXPECT_EQ(r.values[k], (*cases_)[k].results.cells.at(ruin_cell_names()[row][col]))
                    << r.caption;
        }
    EXPECT_EQ(probabilities[2 + 3]->caption, "0% of initial NIW, Lifetime");

    const auto wealth = section(c, "Projected Wealth");
    ASSERT_EQ(wealth.size(), 18u);
    EXPECT_EQ(wealth[2]->caption, "Median, 10 years (multiple of NIW)");
    EXPECT_EQ(wealth[3]->caption, "Median, 10 years (amount)");
    for (size_t k = 0; k < 2; ++k) {
        const std::string median = (*cases_)[k].results.cells.at(estate_cell_names()[0][1]);
        EXPECT_EQ(wealth[2]->values[k], median);
        EXPECT_EQ(
            wealth[3]->values[k],
            "$" + format_grouped0(std::stod(median) * (*cases_)[k].state.net_investable_wealth));
    }

    const auto mortality = section(c, "Mortality Parameters");
    ASSERT_EQ(mortality.size(), 3u);
    EXPECT_EQ(mortality[0]->caption, "Life Expectancy");
    // Five years older: a later expected death age.
    EXPECT_EQ(mortality[0]->differences[1].front(), '+');
    EXPECT_EQ(c.rows.size(), 3u + 18u + 18u + 3u + 1u);
}

// The scheme of each case's figures is named; a mix of schemes is called so.
TEST_F(CaseComparisonTest, TheAccuracyOfEveryCaseIsNamed) {
    struct Case {
        std::vector<bool> refined;
        const char* accuracy;
        std::vector<std::string> shown;
    };
    for (const Case& k : {Case{{false, false}, "standard", {"Standard", "Standard"}},
                          Case{{true, true, true}, "refined", {"Refined", "Refined", "Refined"}},
                          Case{{true, false}, "mixed", {"Refined", "Standard"}}}) {
        std::vector<ComparedCase> cases;
        for (bool refined : k.refined) {
            cases.push_back((*cases_)[cases.size() % 2]);
            cases.back().results.refined = refined;
        }
        const CaseComparison c = compare_cases(cases);
        EXPECT_EQ(c.accuracy, k.accuracy);
        const auto rows = section(c, kCalculationSection);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0]->caption, "Accuracy");
        EXPECT_EQ(rows[0]->values, k.shown);
        for (std::size_t i = 1; i < k.shown.size(); ++i)
            EXPECT_EQ(rows[0]->differences[i], k.shown[i] == k.shown[0] ? "same" : "differs");
        EXPECT_NE(comparison_accuracy_sentence(c).find(
                      k.accuracy == std::string("mixed") ? "different accuracies" : k.accuracy),
                  std::string::npos);
    }
}

TEST_F(CaseComparisonTest, ACaseAgainstItselfDiffersNowhere) {
    const CaseComparison c = compare_cases({(*cases_)[0], (*cases_)[0], (*cases_)[1]});
    EXPECT_EQ(comparison_columns(c),
              (std::vector<std::string>{"Section", "Item", "Today", "Today", "Difference",
                                        "Later, richer", "Difference"}));
    for (const ComparisonRow& r : c.rows) {
        ASSERT_EQ(r.values.size(), 3u);
        EXPECT_EQ(r.values[0], r.values[1]);
        if (r.section == kCalculationSection) continue;  // a word, not a figure
        const std::string& d = r.differences[1];
        EXPECT_TRUE(d == "0" || d == "$0" || d == "0.0%" || d == "0.00") << r.caption << ": " << d;
    }
    // The inputs listed are those in which any case differs from the first.
    EXPECT_EQ(section(c, kDifferingInputs).size(), 3u);
}

TEST_F(CaseComparisonTest, CsvQuotesWhereNeededAndEndsLinesWithCrLf) {
    const CaseComparison c = compare_cases(*cases_);
    const std::string csv = comparison_csv(c);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = csv.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(csv.substr(start, end - start));
    EXPECT_EQ(start, csv.size());  // the last line ends too
    ASSERT_EQ(lines.size(), c.rows.size() + 1);
    EXPECT_EQ(lines[0], "Section,Item,Today,\"Later, richer\",Difference");
    EXPECT_EQ(lines[1], "Inputs that differ,Individual Information: Current Age,65,70,+5");
    EXPECT_EQ(lines[2],
              "Inputs that differ,Individual Information: Liquid Retirement Wealth,\"$800,000\","
              "\"$1,000,000\",\"+$200,000\"");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), static_cast<long>(lines.size()));

    ComparedCase odd = (*cases_)[0];
    odd.name = "Say \"hi\"";
    EXPECT_EQ(comparison_csv(compare_cases({odd})).substr(0, 27),
              "Section,Item,\"Say \"\"hi\"\"\"\r\n");
}

// A case of the percent rule beside the fixed one: the rule and its terms
// where they differ, then a Spending section of the records' figures.
TEST_F(CaseComparisonTest, SpendingRowsWhereARuleFollowsWealth) {
    ComparedCase percent = (*cases_)[0];
    percent.name = "Percent";
    percent.state.spending_rule = 1;
    percent.state.spending_rate = 0.046;
    percent.results.spending_grid = {{{31234.4, 38765.6, 47000.5}, {30500, 35010, 44999}, {1, 2, 3}}};
    percent.results.spending_at_floor = {0.125, 0.25, 0.5};
    const CaseComparison c = compare_cases({(*cases_)[0], percent});

    std::vector<std::string> inputs;
    for (const ComparisonRow* r : section(c, kDifferingInputs)) inputs.push_back(r->caption);
    EXPECT_EQ(inputs, (std::vector<std::string>{"Spending: Spending Rule",
                                                "Spending: Spending Rate"}));
    EXPECT_EQ(section(c, kDifferingInputs)[1]->values,
              (std::vector<std::string>{"5.0% of wealth", "4.6% of wealth"}));

    const auto spending = section(c, kSpendingSection);
    ASSERT_EQ(spending.size(), 1u + 3u * 4u);
    EXPECT_EQ(spending[0]->values,
              (std::vector<std::string>{"Fixed real income", "Percent of wealth"}));
    EXPECT_EQ(spending[0]->differences[1], "differs");
    for (std::size_t h = 0; h < 3; ++h) {
        for (std::size_t k = 0; k < 3; ++k) {
            const ComparisonRow& r = *spending[1 + 4 * h + k];
            for (std::size_t i = 0; i < 2; ++i) {
                const ResultsRecord& record = i == 0 ? (*cases_)[0].results : percent.results;
                EXPECT_EQ(r.values[i], "$" + format_grouped0(record.spending_grid[h][k]))
                    << r.caption;
            }
        }
        const ComparisonRow& floor = *spending[4 + 4 * h];
        EXPECT_EQ(floor.values[1], format_percent1(percent.results.spending_at_floor[h]));
        EXPECT_EQ(floor.values[0], "0.0%");  // the fixed rule has no floor
    }
    EXPECT_EQ(spending[2]->caption, "Median, 10 years");
    EXPECT_EQ(spending[2]->values[1], "$38,766");
    EXPECT_EQ(spending[4]->caption, "At the floor, 10 years");
    // The difference in dollars, of the figures as shown.
    const double d = 38766 - std::round((*cases_)[0].results.spending_grid[0][1]);
    EXPECT_EQ(spending[2]->differences[1],
              (d < 0 ? "-$" : d > 0 ? "+$" : "$") + format_grouped0(std::fabs(d)));
}

}  // namespace
}  // namespace quorrel
