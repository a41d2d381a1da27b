// The input catalogue against the list rules the input screen is built on,
// and its conversions between list positions, record values and the values a
// person writes.
#include "analysis/input_catalogue.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "analysis/defaults.h"

namespace quorrel {
namespace {

// One list item: its text, the record field it writes and the value there.
struct ItemCase {
    const char* key;
    int index;
    const char* text;
    double (*field)(const AnalysisState&);
    double value;
    double natural;
};

#define FIELD(f) [](const AnalysisState& s) { return static_cast<double>(s.f); }

class CatalogueItem : public ::testing::TestWithParam<ItemCase> {};

TEST_P(CatalogueItem, PositionGivesTheTextAndTheValue) {
    const ItemCase& c = GetParam();
    const InputRow& row = input_row(c.key);
    EXPECT_EQ(item_text(row, c.index), c.text);
    AnalysisState s;
    write_input(s, row, {.index = c.index});
    EXPECT_EQ(c.field(s), c.value);
    if (row.kind != InputKind::list) return;
    EXPECT_EQ(natural_value(row, c.index), c.natural);
    EXPECT_EQ(index_of_natural(row, c.natural), c.index);
    EXPECT_EQ(read_input(s, row), (InputValue{.index = c.index}));
}

INSTANTIATE_TEST_SUITE_P(
    Lists, CatalogueItem,
    ::testing::Values(
        ItemCase{"current_age", 0, "50", FIELD(current_age), 50, 50},
        ItemCase{"current_age", 40, "90", FIELD(current_age), 90, 90},
        ItemCase{"spouse_age", 0, "None", FIELD(spouse_age), 0, 0},
        ItemCase{"spouse_age", 1, "50", FIELD(spouse_age), 50, 50},
        ItemCase{"spouse_age", 41, "90", FIELD(spouse_age), 90, 90},
        ItemCase{"survivor_spending_percent", 70, "70%", FIELD(survivor_spending), 0.7, 70},
        ItemCase{"ruin_projection_years", 12, "12", FIELD(ruin_projection_years), 12, 12},
        ItemCase{"annuity_projection_years", 30, "30", FIELD(annuity_projection_years), 30, 30},
        ItemCase{"nominal_rate_1_percent", 0, "0.10%", FIELD(nominal_rate_1), 0.001, 0.1},
        ItemCase{"nominal_rate_6_percent", 499, "50.00%", FIELD(nominal_rate_6), 0.5, 50},
        ItemCase{"real_rate_3_percent", 41, "4.20%", FIELD(real_rate_3), 0.042, 4.2},
        ItemCase{"cola_percent", 3, "3%", FIELD(cola_rate), 0.03, 3},
        ItemCase{"cola_percent", 3, "3%", FIELD(cola_rate_mirror), 0.03, 3},
        ItemCase{"air_percent", 0, "2%", FIELD(air_rate), 0.02, 2},
        ItemCase{"air_percent", 3, "8%", FIELD(air_rate_mirror), 0.08, 8},
        ItemCase{"later_allocation_years", 4, "25", FIELD(later_allocation_years), 25, 25},
        ItemCase{"weight_stock_percent", 45, "45%", FIELD(weight_copy_stock), 0.45, 45},
        ItemCase{"later_weight_cash_percent", 7, "7%", FIELD(later_weight_cash), 0.07, 7},
        ItemCase{"later_weight_cash_percent", 7, "7%", FIELD(later_weight_copy_cash), 0.07, 7},
        ItemCase{"mean_stock_percent", 55, "5.50%", FIELD(mean_stock), 0.055, 5.5},
        ItemCase{"mean_cash_percent", 300, "30.00%", FIELD(mean_cash), 0.3, 30},
        ItemCase{"dev_real_bond_percent", 400, "40.00%", FIELD(dev_real_bond), 0.4, 40},
        ItemCase{"advisory_fee_percent", 1, "0.05%", FIELD(advisory_fee), 0.0005, 0.05},
        ItemCase{"advisory_fee_percent", 23, "1.15%", FIELD(advisory_fee), 0.0115, 1.15},
        ItemCase{"advisory_fee_percent", 60, "3.00%", FIELD(advisory_fee), 0.03, 3},
        ItemCase{"gender", 2, "Unisex", FIELD(gender_code), 2, 0},
        ItemCase{"ruin_table", 1, "IAM 2000  Basic", FIELD(ruin_table_code), 2, 0},
        ItemCase{"annuity_table", 0, "GAM 1983 (PBGC)", FIELD(annuity_table_code), 1, 0},
        ItemCase{"market", 1, "Canada", FIELD(market_country), 1, 0}),
    [](const auto& info) {
        return std::string(info.param.key) + "_" + std::to_string(info.param.index) + "_" +
               std::to_string(info.index);
    });

// Choices have no numbers; their natural value is their name.
TEST(CatalogueChoice, NamesAndCaptionsByPosition) {
    const struct {
        const char* key;
        const char* name;
        int index;
        std::string AnalysisState::*text;
        const char* shown;
    } cases[] = {
        {"gender", "Female", 1, &AnalysisState::gender_text, "Female"},
        {"ruin_table", " rp2000 ", 2, &AnalysisState::ruin_table_name, "RP2000"},
        {"annuity_table", "IAM2000", 1, &AnalysisState::annuity_table_name, "IAM 2000 Basic"},
    };
    for (const auto& c : cases) {
        const InputRow& row = input_row(c.key);
        EXPECT_EQ(index_of_name(row, c.name), c.index) << c.key;
        AnalysisState s;
        write_input(s, row, {.index = c.index});
        EXPECT_EQ(s.*c.text, c.shown) << c.key;
    }
    EXPECT_EQ(index_of_name(input_row("market"), "mexico"), std::nullopt);
}

// The shortest text of an item's value, as the help and a case file show it.
TEST(CatalogueNatural, TextOfTheValue) {
    const struct {
        const char* key;
        int index;
        const char* text;
    } cases[] = {
        {"current_age", 15, "65"},           {"mean_cash_percent", 5, "0.5"},
        {"advisory_fee_percent", 1, "0.05"}, {"advisory_fee_percent", 21, "1.05"},
        {"advisory_fee_percent", 30, "1.5"}, {"advisory_fee_percent", 60, "3"},
    };
    for (const auto& c : cases) {
        const InputRow& row = input_row(c.key);
        EXPECT_EQ(natural_text(row, c.index), c.text) << c.key << " " << c.index;
        EXPECT_EQ(index_of_natural(row, std::stod(c.text)), c.index) << c.key;
    }
}

// Values no item holds are refused, not rounded to a neighbour.
TEST(CatalogueNatural, ValuesBetweenOrBeyondTheItemsAreRefused) {
    const struct {
        const char* key;
        double natural;
    } cases[] = {
        {"mean_stock_percent", 7.05},
        {"mean_stock_percent", 30.1},
        {"mean_stock_percent", -0.1},
        {"nominal_rate_1_percent", 0},
        {"nominal_rate_1_percent", 50.1},
        {"air_percent", 3},
        {"air_percent", 10},
        {"cola_percent", 0.5},
        {"current_age", 49},
        {"current_age", 65.5},
        {"later_allocation_years", 7},
        {"weight_stock_percent", 101},
        {"dev_stock_percent", 1e300},
        {"advisory_fee_percent", 1.03},
        {"advisory_fee_percent", 3.05},
        {"advisory_fee_percent", -0.05},
    };
    for (const auto& c : cases)
        EXPECT_EQ(index_of_natural(input_row(c.key), c.natural), std::nullopt)
            << c.key << " " << c.natural;
}

// Every item of every list and choice reads back from the record as the
// position that wrote it, and the record holds nothing else between items.
TEST(CatalogueRecord, EveryPositionRoundTrips) {
    for (const InputRow& row : input_catalogue()) {
        if (row.kind == InputKind::amount) continue;
        ASSERT_GT(item_count(row), 0) << row.key;
        for (int i = 0; i < item_count(row); ++i) {
            AnalysisState s;
            apply_input_defaults(s);
            write_input(s, row, {.index = i});
            const auto back = read_input(s, row);
            ASSERT_TRUE(back.has_value()) << row.key << " " << i;
            EXPECT_EQ(back->index, i) << row.key;
        }
    }
    AnalysisState s;
    apply_input_defaults(s);
    s.mean_stock = 0.0705;
    EXPECT_EQ(read_input(s, input_row("mean_stock_percent")), std::nullopt);
    s.purchase_cpi = -1;
    EXPECT_EQ(read_input(s, input_row("purchase_cpi")), std::nullopt);
}

TEST(CatalogueTable, KeysAndOptionsAreUniqueAndEveryRowWritesAField) {
    std::set<std::string> keys;
    for (const InputRow& row : input_catalogue()) {
        EXPECT_TRUE(keys.insert(row.key).second) << row.key;
        EXPECT_TRUE(row.number != nullptr || row.code != nullptr) << row.key;
        EXPECT_EQ(std::string(row.option).rfind("--", 0), 0u) << row.key;
        EXPECT_GE(row.page, 1) << row.key;
        EXPECT_LE(row.page, 5) << row.key;
    }
    // 8 amounts, 12 rates, 10 weights, 9 assumptions, 11 others, 5 of the household, 8 of
    // the spending rule
    EXPECT_EQ(keys.size(), 63u);
}

// The market writes its preset; the defaults are the screen's loading.
TEST(CatalogueDefaults, MarketPresetAndDefaultRecord) {
    AnalysisState s;
    apply_input_defaults(s);
    EXPECT_EQ(s.current_age, 65);
    EXPECT_EQ(s.gender_text, "Male");
    EXPECT_EQ(s.nominal_rate_4, 0.05);
    EXPECT_EQ(s.real_rate_2, 0.03);
    EXPECT_EQ(s.mean_estate, 0.035);
    EXPECT_EQ(s.dev_estate, 0.12);
    EXPECT_EQ(s.target_income, 40000);
    EXPECT_EQ(s.liquid_wealth, 800000);
    EXPECT_EQ(s.ruin_projection_text, "0");
    apply_market_preset(s, 1);
    EXPECT_EQ(s.market_country, 1);
    EXPECT_EQ(s.mean_stock, 0.06);
    EXPECT_EQ(s.mean_real_bond, 0.02);
    EXPECT_EQ(s.dev_stock, 0.18);
    EXPECT_EQ(s.dev_real_bond, 0.07);
    EXPECT_EQ(s.dev_estate, 0.14);
    EXPECT_EQ(s.mean_nomi_bond, 0.03);
}

}  // namespace
}  // namespace quorrel
