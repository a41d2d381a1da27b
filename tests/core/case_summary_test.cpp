// The case summary behind the PDF report and the comparison of cases, read
// back: on a case where every input differs from the defaults and from every
// other input, each text of the summary parses to the input it captions, so
// two columns or two rows exchanged cannot pass.
#include "analysis/case_summary.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "analysis/defaults.h"
#include "record/number_format.h"
#include "engine/stages/ruin_table.h"

namespace quorrel {
namespace {

AnalysisState every_input_distinct() {
    AnalysisState s;
    apply_input_defaults(s);
    s.current_age = 67;
    s.target_income = 47000;
    s.liquid_wealth = 910000;
    s.pension_nominal_income = 7000;
    s.pension_cpi_income = 11000;
    s.pension_variable_income = 3000;
    s.purchase_nominal = 60000;
    s.purchase_cpi = 90000;
    s.purchase_variable = 45000;
    s.cola_rate = s.cola_rate_mirror = 0.03;
    s.air_rate = s.air_rate_mirror = 0.05;
    const double today[5] = {0.31, 0.17, 0.23, 0.09, 0.20};
    const double later[5] = {0.12, 0.28, 0.35, 0.15, 0.10};
    double* w[5] = {&s.weight_stock, &s.weight_nomi_bond, &s.weight_real_bond, &s.weight_cash,
                    &s.weight_estate};
    double* wc[5] = {&s.weight_copy_stock, &s.weight_copy_nomi_bond, &s.weight_copy_real_bond,
                     &s.weight_copy_cash, &s.weight_copy_estate};
    double* l[5] = {&s.later_weight_stock, &s.later_weight_nomi_bond, &s.later_weight_real_bond,
                    &s.later_weight_cash, &s.later_weight_estate};
    double* lc[5] = {&s.later_weight_copy_stock, &s.later_weight_copy_nomi_bond,
                     &s.later_weight_copy_real_bond, &s.later_weight_copy_cash,
                     &s.later_weight_copy_estate};
    for (int k = 0; k < 5; ++k) {
        *w[k] = *wc[k] = today[k];
        *l[k] = *lc[k] = later[k];
    }
    s.later_allocation_years = 15;
    s.mean_stock = 0.065;
    s.mean_nomi_bond = 0.025;
    s.mean_real_bond = 0.021;
    s.mean_cash = 0.011;
    s.mean_estate = 0.045;
    s.dev_stock = 0.19;
    s.dev_nomi_bond = 0.07;
    s.dev_real_bond = 0.06;
    s.dev_estate = 0.13;
    double* nominal[6] = {&s.nominal_rate_1, &s.nominal_rate_2, &s.nominal_rate_3,
                          &s.nominal_rate_4, &s.nominal_rate_5, &s.nominal_rate_6};
    double* real[6] = {&s.real_rate_1, &s.real_rate_2, &s.real_rate_3,
                       &s.real_rate_4, &s.real_rate_5, &s.real_rate_6};
    for (int k = 0; k < 6; ++k) {
        *nominal[k] = 0.041 + 0.001 * k;
        *real[k] = 0.0112 + 0.0011 * k;
    }
    return prepared_for_engine(s);
}

// The row captioned `caption` in the table titled `table` of section `section`.
const std::vector<std::string>* find_row(const std::vector<SummarySection>& sections,
                                         const std::string& section, const std::string& table,
                                         const std::string& caption) {
    for (const SummarySection& s : sections) {
        if (s.title != section) continue;
        for (const SummaryTable& t : s.tables) {
            if (t.title != table) continue;
            for (const auto& row : t.rows)
                if (!row.empty() && row[0] == caption) return &row;
        }
    }
    return nullptr;
}

enum class Unit { percent, money, plain };

std::optional<double> read_back(const std::string& text, Unit unit) {
    switch (unit) {
        case Unit::money: return parse_money(text);
        case Unit::plain: return parse_amount(text);
        case Unit::percent:
            if (text.empty() || text.back() != '%') return std::nullopt;
            if (auto v = parse_amount(text.substr(0, text.size() - 1))) return *v / 100;
            return std::nullopt;
    }
    return std::nullopt;
}

struct Cell {
    std::string section, table, caption;
    std::size_t column;
    double expected;
    Unit unit;
    double resolution;  // of the format
};

TEST(CaseSummary, EveryInputReadsBackFromItsCaptionedCell) {
    const AnalysisState s = every_input_distinct();
    const std::vector<SummarySection> sections = input_summary(s);
    const std::string person = "Individual Information", invest =
                                                             "Investment and Portfolio Asset "
                                                             "Allocation";
    const std::string market = "Financial Economic Assumptions", rates = "Annuity Valuation Rates";
    const char* classes[5] = {
        "1.) Equity / Stocks:", "2.) Nominal Return Bonds:", "3.) Real Return Bonds:",
        "4.) Cash / Money Market :", "5.) Real Estate:"};
    const double today[5] = {s.weight_stock, s.weight_nomi_bond, s.weight_real_bond, s.weight_cash,
                             s.weight_estate};
    const double later[5] = {s.later_weight_stock, s.later_weight_nomi_bond,
                             s.later_weight_real_bond, s.later_weight_cash, s.later_weight_estate};
    const double means[5] = {s.mean_stock, s.mean_nomi_bond, s.mean_real_bond, s.mean_cash,
                             s.mean_estate};
    std::vector<Cell> cells = {
        {person, "", "Current Age:", 1, s.current_age, Unit::plain, 0.5},
        {person, "", "Real Target Income:", 1, s.target_income, Unit::money, 0.5},
        {person, "", "Liquid Retirement Wealth:", 1, s.liquid_wealth, Unit::money, 0.5},
        {person, "Current Pension Income (Annual)", "Nominal / COLA:", 1, s.pension_nominal_income,
         Unit::money, 0.5},
        {person, "Current Pension Income (Annual)", "CPI - linked:", 1, s.pension_cpi_income,
         Unit::money, 0.5},
        {person, "Current Pension Income (Annual)", "Variable / AIR:", 1, s.pension_variable_income,
         Unit::money, 0.5},
        {person, "Current Pension Income (Annual)", "Nominal / COLA:", 2, s.cola_rate,
         Unit::percent, 0.005},
        {person, "Current Pension Income (Annual)", "Variable / AIR:", 2, s.air_rate, Unit::percent,
         0.005},
        {person, "Allocation to Purchase of Annuities", "Nominal / COLA:", 1, s.purchase_nominal,
         Unit::money, 0.5},
        {person, "Allocation to Purchase of Annuities", "CPI - linked:", 1, s.purchase_cpi,
         Unit::money, 0.5},
        {person, "Allocation to Purchase of Annuities", "Variable / AIR:", 1, s.purchase_variable,
         Unit::money, 0.5},
        {person, "Acquired Annuity Income (Annual)", "Nominal / COLA:", 1,
         s.acquired_nominal_income, Unit::money, 0.5},
        {person, "Acquired Annuity Income (Annual)", "CPI - linked:", 1, s.acquired_cpi_income,
         Unit::money, 0.5},
        {person, "Acquired Annuity Income (Annual)", "Variable / AIR:", 1,
         s.acquired_variable_income, Unit::money, 0.5},
        {person, "Acquired Annuity Income (Annual)", "Net Investable Wealth:", 1,
         s.net_investable_wealth, Unit::money, 0.5},
        {invest, "", "Later allocation in (yrs):", 1, static_cast<double>(s.later_allocation_years),
         Unit::plain, 0},
        {invest, "Portfolio", "Expected Return", 1, s.current_expected_return, Unit::percent, 5e-5},
        {invest, "Portfolio", "Expected Return", 2, s.later_expected_return, Unit::percent, 5e-5},
        {invest, "Portfolio", "Standard Deviation", 1, s.current_standard_deviation, Unit::percent,
         5e-5},
        {invest, "Portfolio", "Standard Deviation", 2, s.later_standard_deviation, Unit::percent,
         5e-5},
    };
    for (int k = 0; k < 5; ++k) {
        cells.push_back(
            {invest, "Asset Allocation", classes[k], 1, today[k], Unit::percent, 0.005});
        cells.push_back(
            {invest, "Asset Allocation", classes[k], 2, later[k], Unit::percent, 0.005});
        cells.push_back({market, "", classes[k], 1, means[k], Unit::percent, 5e-5});
    }
    const char* periods[6] = {"0 yrs  -   5 yrs :",  "5 yrs  -  10 yrs :",  "10 yrs  -  15 yrs :",
                              "15 yrs  -  20 yrs :", "20 yrs  -  25 yrs :", "above 25 yrs :"};
    const double nominal[6] = {s.nominal_rate_1, s.nominal_rate_2, s.nominal_rate_3,
                               s.nominal_rate_4, s.nominal_rate_5, s.nominal_rate_6};
    const double real[6] = {s.real_rate_1, s.real_rate_2, s.real_rate_3,
                            s.real_rate_4, s.real_rate_5, s.real_rate_6};
    for (int k = 0; k < 6; ++k) {
        cells.push_back(
            {rates, "The Current Yield Curve:", periods[k], 1, nominal[k], Unit::percent, 5e-5});
        cells.push_back(
            {rates, "The Current Yield Curve:", periods[k], 2, real[k], Unit::percent, 5e-5});
    }
    for (const Cell& c : cells) {
        const std::vector<std::string>* row = find_row(sections, c.section, c.table, c.caption);
        ASSERT_NE(row, nullptr) << c.section << " / " << c.table << " / " << c.caption;
        ASSERT_GT(row->size(), c.column) << c.caption;
        const std::optional<double> v = read_back((*row)[c.column], c.unit);
        ASSERT_TRUE(v.has_value()) << c.caption << ": " << (*row)[c.column];
        EXPECT_NEAR(*v, c.expected, c.resolution + 1e-12)
            << c.section << " / " << c.table << " / " << c.caption << " column " << c.column;
    }
    // The columns read back above are the ones their headers name.
    for (const SummarySection& sec : sections) {
        for (const SummaryTable& t : sec.tables) {
            if (t.title == "Asset Allocation" || t.title == "Portfolio") {
                EXPECT_EQ(t.header, (std::vector<std::string>{"", "Today", "Later"})) << t.title;
            }
            if (t.title == "The Current Yield Curve:") {
                EXPECT_EQ(t.header[1], "Nominal");
                EXPECT_EQ(t.header[2], "Real");
            }
        }
    }
    // Distinct inputs, so that a cell showing its neighbour's input cannot pass.
    for (std::size_t a = 0; a < cells.size(); ++a) {
        for (std::size_t b = a + 1; b < cells.size(); ++b) {
            if (cells[a].unit == cells[b].unit && cells[a].caption == cells[b].caption &&
                cells[a].table == cells[b].table) {
                EXPECT_GT(std::fabs(cells[a].expected - cells[b].expected), 2 * cells[a].resolution)
                    << cells[a].caption << " columns " << cells[a].column << ", "
                    << cells[b].column;
            }
        }
    }
}

// The headline counts the futures in which the money lasts out of 100, from
// the lifetime ruin cell it names: the count and the named percentage add
// up to 100 within the rounding of each.
TEST(Headline, CountsTheFuturesFromTheLifetimeRuin) {
    struct Case {
        double lifetime;
        const char* cell;  // published text; empty: formatted from the figure
        const char* expected;
    };
    for (const Case& c : {Case{0.093, "9.3%",
                               "In about 91 of 100 futures your money lasts as long as you do "
                               "(lifetime ruin 9.3%)"},
                          Case{0.5, "",
                               "In about 50 of 100 futures your money lasts as long as you do "
                               "(lifetime ruin 50.0%)"},
                          Case{0.004, "",
                               "In more than 99 of 100 futures your money lasts as long as you do "
                               "(lifetime ruin 0.4%)"},
                          Case{0.997, "",
                               "In fewer than 1 of 100 futures your money lasts as long as you do "
                               "(lifetime ruin 99.7%)"}}) {
        ResultsRecord r;
        r.ruin_grid[0][3] = c.lifetime;
        if (*c.cell) r.cells[ruin_cell_names()[0][3]] = c.cell;
        EXPECT_EQ(headline_sentence(r), c.expected) << c.lifetime;
    }
    for (int percent = 1; percent < 100; ++percent) {
        ResultsRecord r;
        r.ruin_grid[0][3] = (percent + 0.3) / 100;
        const std::string h = headline_sentence(r);
        const int lasting = std::stoi(h.substr(std::string("In about ").size()));
        const double shown = std::stod(h.substr(h.find("ruin ") + 5));
        EXPECT_NEAR(lasting + shown, 100, 0.51) << h;
    }
}

// Error estimates appear only for refined figures, in percentage points for a
// probability and as a multiple for an estate.
TEST(ErrorEstimates, OnlyRefinedFiguresCarryThem) {
    ResultsRecord r;
    r.ruin_error[1][2] = 0.00031;
    r.estate_error[2][0] = 0.0042;
    EXPECT_EQ(error_text(r, kRuinFigures, 1, 2), "");
    EXPECT_EQ(error_text(r, kEstateFigures, 2, 0), "");
    EXPECT_EQ(scheme_sentence(r), kStandardSchemeSentence);
    r.refined = true;
    EXPECT_EQ(error_text(r, kRuinFigures, 1, 2), "\u00b10.03");
    EXPECT_EQ(error_text(r, kEstateFigures, 2, 0), "\u00b10.004");
    EXPECT_EQ(error_text(r, kRuinFigures, 0, 0), "\u00b10.00");
    EXPECT_EQ(scheme_sentence(r), kRefinedSchemeSentence);
    r.simulated = true;  // the guardrails rule
    EXPECT_EQ(scheme_sentence(r), kSimulatedSchemeSentence);
}

}  // namespace
}  // namespace quorrel
