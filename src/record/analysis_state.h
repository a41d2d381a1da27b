// The one shared record of an analysis: inputs, intermediate figures and
// results. Plain data, no behaviour; the application owns one instance and
// hands it by reference to every screen and stage.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace quorrel {

// One row per whole current age 50..90 (index = age - 50).
inline constexpr int kMortalityRows = 41;
using MortalityArray = std::array<double, kMortalityRows>;

struct AnalysisState {
    // Progress and ruin figures
    std::int16_t progress_frame = 0;
    double ruin_probability_10 = 0;
    double ruin_probability_20 = 0;
    double ruin_probability_30 = 0;
    double expected_ruin_age = 0;
    std::int16_t market_country = 0;

    // The individual and the mortality choices
    double current_age = 0;
    std::int16_t gender_code = 0;
    std::string gender_text;
    double ruin_lambda = 0, ruin_modal_age = 0, ruin_dispersion = 0;
    double annuity_lambda = 0, annuity_modal_age = 0, annuity_dispersion = 0;
    std::int16_t later_allocation_years = 0;
    std::string ruin_table_name;
    std::string ruin_projection_text;
    std::string annuity_table_name;
    std::string annuity_projection_text;
    std::int16_t ruin_table_code = 0;
    std::int16_t annuity_table_code = 0;
    std::int16_t ruin_projection_years = 0;
    std::int16_t annuity_projection_years = 0;

    // Yield curve: bucket 1 is 0-5 years ... bucket 6 above 25 years
    double nominal_rate_1 = 0, nominal_rate_2 = 0, nominal_rate_3 = 0, nominal_rate_4 = 0,
           nominal_rate_5 = 0, nominal_rate_6 = 0;
    double real_rate_1 = 0, real_rate_2 = 0, real_rate_3 = 0, real_rate_4 = 0, real_rate_5 = 0,
           real_rate_6 = 0;
    std::int16_t survival_years = 0;

    // Money amounts and their results
    double target_income = 0;
    double liquid_wealth = 0;
    double net_investable_wealth = 0;
    double consumption_deficit = 0;

    // Capital-market assumptions and allocations
    double mean_stock = 0, mean_nomi_bond = 0, mean_real_bond = 0, mean_cash = 0, mean_estate = 0;
    double dev_stock = 0, dev_nomi_bond = 0, dev_real_bond = 0, dev_estate = 0;
    double weight_stock = 0, weight_nomi_bond = 0, weight_real_bond = 0, weight_cash = 0,
           weight_estate = 0;
    double weight_copy_stock = 0, weight_copy_nomi_bond = 0, weight_copy_real_bond = 0,
           weight_copy_cash = 0, weight_copy_estate = 0;
    double later_weight_copy_stock = 0, later_weight_copy_nomi_bond = 0,
           later_weight_copy_real_bond = 0, later_weight_copy_cash = 0,
           later_weight_copy_estate = 0;
    double later_weight_stock = 0, later_weight_nomi_bond = 0, later_weight_real_bond = 0,
           later_weight_cash = 0, later_weight_estate = 0;
    // Advisory fee per year on the invested portfolio (0.01 for 1%).
    double advisory_fee = 0;

    // Spending rule: 0 fixed (the target every year), 1 percent of wealth
    // between a floor and a ceiling, 2 guardrails. Rates and percents as
    // fractions (0.05 for 5%).
    std::int16_t spending_rule = 0;
    double spending_rate = 0;
    // Real amounts per year; 0 stands for the default relative to the
    // target income (75% for the floor, 150% for the ceiling), so that the
    // default follows the target.
    double spending_floor = 0, spending_ceiling = 0;
    double guardrail_upper = 0, guardrail_lower = 0;
    double spending_cut = 0, spending_raise = 0;

    // Mortality tables: table_gender_parameter
    MortalityArray gam1983_female_lambda{}, gam1983_female_modal_age{}, gam1983_female_dispersion{};
    MortalityArray gam1983_male_lambda{}, gam1983_male_modal_age{}, gam1983_male_dispersion{};
    MortalityArray gam1983_unisex_lambda{}, gam1983_unisex_modal_age{}, gam1983_unisex_dispersion{};
    MortalityArray up1994_female_lambda{}, up1994_female_modal_age{}, up1994_female_dispersion{};
    MortalityArray up1994_male_lambda{}, up1994_male_modal_age{}, up1994_male_dispersion{};
    MortalityArray up1994_unisex_lambda{}, up1994_unisex_modal_age{}, up1994_unisex_dispersion{};
    MortalityArray iam2000_female_lambda{}, iam2000_female_modal_age{}, iam2000_female_dispersion{};
    MortalityArray iam2000_male_lambda{}, iam2000_male_modal_age{}, iam2000_male_dispersion{};
    MortalityArray iam2000_unisex_lambda{}, iam2000_unisex_modal_age{}, iam2000_unisex_dispersion{};
    MortalityArray rp2000_female_lambda{}, rp2000_female_modal_age{}, rp2000_female_dispersion{};
    MortalityArray rp2000_male_lambda{}, rp2000_male_modal_age{}, rp2000_male_dispersion{};
    MortalityArray rp2000_unisex_lambda{}, rp2000_unisex_modal_age{}, rp2000_unisex_dispersion{};
    std::array<double, 6> asset_correlation{};

    // Portfolio statistics; the expected returns are after the advisory fee
    double current_expected_return = 0;
    double later_expected_return = 0;
    double current_standard_deviation = 0;
    double later_standard_deviation = 0;

    // Pensions, annuity purchases and the engine's ratios
    double pension_nominal_income = 0;
    double pension_cpi_income = 0;
    double pension_variable_income = 0;
    double acquired_nominal_income = 0;
    double acquired_cpi_income = 0;
    double acquired_variable_income = 0;
    double cola_rate = 0;
    double air_rate = 0;
    double purchase_nominal = 0;
    double purchase_cpi = 0;
    double purchase_variable = 0;
    double cola_rate_mirror = 0;
    double air_rate_mirror = 0;
    double real_income_ratio = 0;
    double nominal_income_ratio = 0;
    double variable_income_ratio = 0;
    double wealth_ratio = 0;
    double variable_annuity_factor = 0;
    double variable_value_ratio = 0;

    // Closing figures
    double implied_inflation = 0;
    double weight_sum = 0;
    double later_weight_sum = 0;
    double expected_death_age = 0;

    // The household: a spouse of spouse_age (0: none) and the survivor's
    // terms, fractions of the target and of each income. With a spouse the
    // acquired incomes above are those of joint-and-survivor annuities.
    double spouse_age = 0;
    std::int16_t spouse_gender_code = 0;
    double survivor_spending = 0;
    double survivor_share = 0;
    double spouse_pension_cpi_income = 0;
    double spouse_ruin_lambda = 0, spouse_ruin_modal_age = 0, spouse_ruin_dispersion = 0;
};

inline bool has_spouse(const AnalysisState& s) { return s.spouse_age > 0; }

}  // namespace quorrel
