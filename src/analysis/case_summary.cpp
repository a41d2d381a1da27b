#include "analysis/case_summary.h"

#include <cmath>
#include <cstdio>
#include <string_view>

#include "analysis/defaults.h"
#include "analysis/input_catalogue.h"
#include "analysis/pipeline.h"
#include "engine/model/model.h"
#include "record/number_format.h"

namespace quorrel {

namespace {

using Row = std::vector<std::string>;

std::string money(double amount) { return "$" + format_grouped0(amount); }

std::string whole(double value) { return std::isfinite(value) ? format_grouped0(value) : "-"; }

// Horizons and ages of the income curve are whole or half years.
std::string one_decimal(double value) { return fixed_text(value, 1); }

const char* const kClassCaptions[5] = {
    "1.) Equity / Stocks:", "2.) Nominal Return Bonds:", "3.) Real Return Bonds:",
    "4.) Cash / Money Market :", "5.) Real Estate:"};
const char* const kPeriodCaptions[6] = {
    "0 yrs  -   5 yrs :",  "5 yrs  -  10 yrs :",  "10 yrs  -  15 yrs :",
    "15 yrs  -  20 yrs :", "20 yrs  -  25 yrs :", "above 25 yrs :"};

}  // namespace

std::string headline_sentence(const ResultsRecord& r) {
    const double lifetime = r.ruin_grid[0][3];
    const long lasting = std::lround(100 * (1 - lifetime));
    const std::string figure = " (lifetime ruin " + shown_text(r, kRuinFigures, 0, 3) + ")";
    // A household's money has to last until the second death.
    const std::string lasts = r.household.present
                                  ? " futures your money lasts as long as either of you lives"
                                  : " futures your money lasts as long as you do";
    // A count of 0 or 100 out of 100 would claim a certainty no model has.
    if (lasting >= 100) return "In more than 99 of 100" + lasts + figure;
    if (lasting <= 0) return "In fewer than 1 of 100" + lasts + figure;
    return "In about " + std::to_string(lasting) + " of 100" + lasts + figure;
}

std::string scheme_sentence(const ResultsRecord& r) {
    if (r.household.present) return kHouseholdSchemeSentence;
    if (r.simulated) return kSimulatedSchemeSentence;
    return r.refined ? kRefinedSchemeSentence : kStandardSchemeSentence;
}

namespace {

SummarySection mortality_section(const AnalysisState& s) {
    return {"Mortality Tables",
            {{"Please choose the relevant mortality table for:",
              {"", "Table", "Projection"},
              {{"Ruin Probability", s.ruin_table_name, s.ruin_projection_text + " years"},
               {"Annuity Factors", s.annuity_table_name, s.annuity_projection_text + " years"}}}}};
}

SummarySection rates_section(const AnalysisState& s) {
    const double nominal[6] = {s.nominal_rate_1, s.nominal_rate_2, s.nominal_rate_3,
                               s.nominal_rate_4, s.nominal_rate_5, s.nominal_rate_6};
    const double real[6] = {s.real_rate_1, s.real_rate_2, s.real_rate_3,
                            s.real_rate_4, s.real_rate_5, s.real_rate_6};
    SummaryTable curve{
        "The Current Yield Curve:", {"Interest Rate During Period:", "Nominal", "Real"}, {}};
    for (int k = 0; k < 6; ++k)
        curve.rows.push_back(
            {kPeriodCaptions[k], format_percent2(nominal[k]), format_percent2(real[k])});
    return {"Annuity Valuation Rates", {curve}};
}

SummarySection person_section(const AnalysisState& s) {
    const std::string cola = whole(s.cola_rate * 100) + "%";
    const std::string air = whole(s.air_rate * 100) + "%";
    SummarySection person{"Individual Information", {}};
    person.tables.push_back({"",
                             {},
                             {{"Current Age:", whole(s.current_age)},
                              {"Gender:", s.gender_text},
                              {"Real Target Income:", money(s.target_income)},
                              {"Liquid Retirement Wealth:", money(s.liquid_wealth)}}});
    person.tables.push_back({"Current Pension Income (Annual)",
                             {"", "Amount", "Rate"},
                             {{"Nominal / COLA:", money(s.pension_nominal_income), cola},
                              {"CPI - linked:", money(s.pension_cpi_income), ""},
                              {"Variable / AIR:", money(s.pension_variable_income), air}}});
    person.tables.push_back({"Allocation to Purchase of Annuities",
                             {"", "Amount", "Rate"},
                             {{"Nominal / COLA:", money(s.purchase_nominal), cola},
                              {"CPI - linked:", money(s.purchase_cpi), ""},
                              {"Variable / AIR:", money(s.purchase_variable), air}}});
    person.tables.push_back(
        {"Acquired Annuity Income (Annual)",
         {},
         {{"Nominal / COLA:", money(s.acquired_nominal_income)},
          {"CPI - linked:", money(s.acquired_cpi_income)},
          {"Variable / AIR:", money(s.acquired_variable_income)},
          {"Net Consumption Deficit:", money(s.consumption_deficit)},
          {"Net Investable Wealth:", money(s.net_investable_wealth)},
          {"Implied Inflation Assumption:", format_percent2(s.implied_inflation)}}});
    return person;
}

SummarySection allocation_section(const AnalysisState& s) {
    const double today[5] = {s.weight_stock, s.weight_nomi_bond, s.weight_real_bond, s.weight_cash,
                             s.weight_estate};
    const double later[5] = {s.later_weight_stock, s.later_weight_nomi_bond,
                             s.later_weight_real_bond, s.later_weight_cash, s.later_weight_estate};
    // The headers stay the same for every case, so that cases line up; the
    // years and the market are rows of their own.
    const std::string later_caption = "Later";
    SummaryTable allocation{"Asset Allocation", {"", "Today", later_caption}, {}};
    for (int k = 0; k < 5; ++k)
        allocation.rows.push_back(
            {kClassCaptions[k], whole(today[k] * 100) + "%", whole(later[k] * 100) + "%"});
    SummaryTable portfolio{"Portfolio", {"", "Today", later_caption}, {}};
    portfolio.rows.push_back({"Expected Return", format_percent2(s.current_expected_return),
                              format_percent2(s.later_expected_return)});
    portfolio.rows.push_back({"Standard Deviation", format_percent2(s.current_standard_deviation),
                              format_percent2(s.later_standard_deviation)});
    SummaryTable choices{
        "",
        {},
        {{"Market of the capital-market assumptions:", market_caption(s.market_country)},
         {"Later allocation in (yrs):", std::to_string(s.later_allocation_years)}}};
    return {"Investment and Portfolio Asset Allocation", {choices, allocation, portfolio}};
}

SummarySection market_section(const AnalysisState& s) {
    const double means[5] = {s.mean_stock, s.mean_nomi_bond, s.mean_real_bond, s.mean_cash,
                             s.mean_estate};
    const double devs[5] = {s.dev_stock, s.dev_nomi_bond, s.dev_real_bond, -1, s.dev_estate};
    SummaryTable market{"", {"", "Real Expected Return", "Standard Deviation"}, {}};
    for (int k = 0; k < 5; ++k)
        market.rows.push_back({kClassCaptions[k], format_percent2(means[k]),
                               devs[k] < 0 ? std::string() : format_percent2(devs[k])});
    SummaryTable fee{"", {}, {{"Advisory Fee (per year):", format_percent2(s.advisory_fee)}}};
    return {"Financial Economic Assumptions", {market, fee}};
}

}  // namespace

// Only for a household: a single person's summary is what it always was.
SummarySection household_section(const AnalysisState& s) {
    return {"Household",
            {{"Spouse",
              {},
              {{"Spouse's Age:", whole(s.spouse_age)},
               {"Spouse's Gender:", gender_caption(s.spouse_gender_code)},
               {"Spouse's CPI - linked Pension (Annual):", money(s.spouse_pension_cpi_income)}}},
             {"When one of you has died",
              {},
              {{"Survivor Spending:", whole(s.survivor_spending * 100) + "% of the target"},
               {"Survivor Share:", whole(s.survivor_share * 100) + "%"}}}}};
}

std::vector<SummarySection> input_summary(const AnalysisState& s) {
    std::vector<SummarySection> sections{mortality_section(s), rates_section(s), person_section(s),
                                         allocation_section(s), market_section(s)};
    if (has_spouse(s)) sections.push_back(household_section(s));
    return sections;
}

std::vector<SummaryTable> household_tables(const AnalysisState&, const ResultsRecord& r) {
    const HouseholdFigures& h = r.household;
    SummaryTable lifetime{
        "Lifetime ruin, split by who was alive when the money ran out",
        {"NIW hits", "Lifetime", "while both were alive", "while a survivor lived"},
        {}};
    for (std::size_t level = 0; level < 4; ++level)
        lifetime.rows.push_back({ruin_row_captions()[level], shown_text(r, kRuinFigures, level, 3),
                                 format_percent2(h.lifetime_ruin_both[level]),
                                 format_percent2(h.lifetime_ruin_survivor[level])});
    SummaryTable alive{"Alive after", {"", "You", "Spouse", "Both", "At least one"}, {}};
    for (const double years : kGridHorizons) {
        const auto k = static_cast<std::size_t>(years);
        if (k >= h.survival_either.size()) break;
        alive.rows.push_back({whole(years) + " years", format_percent2(h.survival_person[k]),
                              format_percent2(h.survival_spouse[k]),
                              format_percent2(h.survival_both[k]),
                              format_percent2(h.survival_either[k])});
    }
    SummaryTable last{"Your age at the last death of the two",
                      {},
                      {{"Spouse's Age:", whole(h.spouse_age)},
                       {"Expected:", one_decimal(h.expected_last_death_age)},
                       {"90th Percentile:", one_decimal(h.last_death_age_90)}}};
    return {lifetime, alive, last};
}

namespace {

// The figures of one tab outside its grids, caption and text.
SummaryTable figure_rows(FigureTab tab, const std::string& title, const AnalysisState& s,
                         const ResultsRecord& r) {
    SummaryTable table{title, {}, {}};
    for (const Figure& f : published_figures())
        if (f.tab == tab && !(r.household.present && f.key == std::string_view(kRuinAgeKey)))
            table.rows.push_back({f.caption, figure_text(f, s, r)});
    return table;
}

}  // namespace

std::string spending_rule_caption(const AnalysisState& s) {
    const InputRow& rule = input_row("spending_rule");
    const int i = s.spending_rule - rule.code_base;
    return i >= 0 && i < static_cast<int>(rule.captions.size())
               ? rule.captions[static_cast<std::size_t>(i)]
               : rule.captions[0];
}

double spending_floor_amount(const AnalysisState& s) {
    return s.spending_floor > 0 ? s.spending_floor : engine::kDefaultFloorShare * s.target_income;
}

double spending_ceiling_amount(const AnalysisState& s) {
    return s.spending_ceiling > 0 ? s.spending_ceiling
                                  : engine::kDefaultCeilingShare * s.target_income;
}

std::string at_floor_text(const ResultsRecord& r, std::size_t row) {
    return format_percent1(r.spending_at_floor[row]);
}

SummaryTable spending_terms(const AnalysisState& s, bool every_term) {
    const bool percent = s.spending_rule == 1;
    const bool guardrails = s.spending_rule == kGuardrailsRule;
    const std::string target = money(s.target_income);
    const auto bound = [&](double stored, double amount, const char* share) {
        return stored > 0 ? money(amount) : money(amount) + " (" + share + " of the target)";
    };
    SummaryTable t{"", {}, {{"Spending Rule:", spending_rule_caption(s)}}};
    if (every_term || percent)
        t.rows.push_back({"Spending Rate:", fixed_text(s.spending_rate * 100, 1) + "% of wealth"});
    if (every_term || percent || guardrails) {
        t.rows.push_back(
            {"Floor per Year:", bound(s.spending_floor, spending_floor_amount(s), "75%")});
        t.rows.push_back(
            {"Ceiling per Year:", bound(s.spending_ceiling, spending_ceiling_amount(s), "150%")});
    }
    if (every_term || guardrails) {
        t.rows.push_back({"Upper Guardrail:", whole(s.guardrail_upper * 100) + "%"});
        t.rows.push_back({"Lower Guardrail:", whole(s.guardrail_lower * 100) + "%"});
        t.rows.push_back({"Spending Cut:", whole(s.spending_cut * 100) + "%"});
        t.rows.push_back({"Spending Raise:", whole(s.spending_raise * 100) + "%"});
    }
    return t;
}

SummarySection spending_section(const AnalysisState& s, const ResultsRecord& r) {
    SummaryTable figures{"Spending per Year (Real) Conditional on Survival, in today's dollars",
                         {""},
                         {}};
    for (const char* c : kSpendingFigures.column_captions) figures.header.push_back(c);
    figures.header.push_back(kAtFloorCaption);
    for (std::size_t row = 0; row < 3; ++row) {
        std::vector<std::string> cells{kSpendingFigures.row_captions[row]};
        for (std::size_t col = 0; col < 3; ++col)
            cells.push_back("$" + shown_text(r, kSpendingFigures, row, col));
        cells.push_back(at_floor_text(r, row));
        figures.rows.push_back(cells);
    }
    SummarySection section{"Spending", {spending_terms(s, false), figures}};
    if (r.refined) {
        const bool simulated = s.spending_rule == kGuardrailsRule;
        SummaryTable errors{simulated ? "Standard errors of the simulation (dollars; at the floor "
                                        "in percentage points)"
                                      : "Error estimates (dollars; at the floor in percentage "
                                        "points)",
                            figures.header,
                            {}};
        for (std::size_t row = 0; row < 3; ++row) {
            std::vector<std::string> cells{kSpendingFigures.row_captions[row]};
            for (std::size_t col = 0; col < 3; ++col)
                cells.push_back(error_text(r, kSpendingFigures, row, col));
            cells.push_back(error_estimate_text(100 * r.spending_at_floor_error[row], 2));
            errors.rows.push_back(cells);
        }
        section.tables.push_back(errors);
    }
    return section;
}

std::vector<SummarySection> results_summary(const AnalysisState& s, const ResultsRecord& r) {
    std::vector<SummarySection> sections;
    const auto shown = [&r](const auto& grid) {
        return
            [&r, &grid](std::size_t row, std::size_t col) { return shown_text(r, grid, row, col); };
    };

    sections.push_back(
        {"Probability Results",
         {figure_rows(FigureTab::probability, "", s, r),
          grid_table("Probability", "NIW hits", kRuinFigures, shown(kRuinFigures))}});

    const auto amount = [&](std::size_t row, std::size_t col) {
        return money(shown_value(r, kEstateFigures, row, col) * s.net_investable_wealth);
    };
    sections.push_back(
        {"Projected Wealth",
         {grid_table("Estate (Real) Conditional on Survival, multiples of the NIW of " +
                         money(s.net_investable_wealth),
                     "", kEstateFigures, shown(kEstateFigures)),
          grid_table("The same estates in today's dollars", "", kEstateFigures, amount)}});

    SummaryTable income{
        "Expected Income Conditional on Survival, multiples of the real target income of " +
            money(s.target_income),
        {"Years from today", "Age", "Expected income"},
        {}};
    for (int i = 1; i <= 20; ++i) {
        const double years = expected_income_horizon(s.current_age, i);
        income.rows.push_back({one_decimal(years), one_decimal(s.current_age + years),
                               format_plain2(r.expected_income[static_cast<size_t>(i - 1)])});
    }
    sections.push_back({"Projected Consumption", {income}});

    sections.push_back({"Mortality Parameters",
                        {figure_rows(FigureTab::mortality, "Individual Information", s, r)}});
    if (r.household.present) sections.push_back({"Household", household_tables(s, r)});
    return sections;
}

}  // namespace quorrel
