#include "core/defaults.h"

#include "core/number_format.h"
#include "valuation/mortality_tables.h"

namespace quorrel {

const std::array<MarketPreset, 2>& market_presets() {
    static const std::array<MarketPreset, 2> presets{{
        {"U.S.A", {70, 30, 25, 5, 35}, {200, 100, 80, 120}},
        {"Canada", {60, 30, 20, 5, 35}, {180, 100, 70, 140}},
    }};
    return presets;
}

const InputDefaults& input_defaults() {
    static const InputDefaults defaults;
    return defaults;
}

const char* ruin_table_caption(int code) {
    switch (code) {
        case 1: return "UP 1994";
        case 2: return "IAM 2000  Basic";
        default: return "RP2000";
    }
}

const char* annuity_table_caption(int code) {
    return code == 1 ? "GAM 1983 (PBGC)" : "IAM 2000 Basic";
}

const char* gender_caption(int index) {
    switch (index) {
        case 0: return "Male";
        case 1: return "Female";
        default: return "Unisex";
    }
}

void apply_market_preset(AnalysisState& s, int country) {
    const MarketPreset& p = market_presets().at(country == 0 ? 0 : 1);
    s.market_country = static_cast<std::int16_t>(country == 0 ? 0 : 1);
    s.mean_stock = p.mean_per_mille[0] / 1000.0;
    s.mean_nomi_bond = p.mean_per_mille[1] / 1000.0;
    s.mean_real_bond = p.mean_per_mille[2] / 1000.0;
    s.mean_cash = p.mean_per_mille[3] / 1000.0;
    s.mean_estate = p.mean_per_mille[4] / 1000.0;
    s.dev_stock = p.dev_per_mille[0] / 1000.0;
    s.dev_nomi_bond = p.dev_per_mille[1] / 1000.0;
    s.dev_real_bond = p.dev_per_mille[2] / 1000.0;
    s.dev_estate = p.dev_per_mille[3] / 1000.0;
}

void apply_input_defaults(AnalysisState& s) {
    const InputDefaults& d = input_defaults();
    s.progress_frame = 0;
    s.current_age = d.current_age;
    s.gender_code = static_cast<std::int16_t>(d.gender_index);
    s.gender_text = gender_caption(d.gender_index);
    s.ruin_table_code = static_cast<std::int16_t>(d.ruin_table_code);
    s.ruin_table_name = ruin_table_caption(d.ruin_table_code);
    s.annuity_table_code = static_cast<std::int16_t>(d.annuity_table_code);
    s.annuity_table_name = annuity_table_caption(d.annuity_table_code);
    s.ruin_projection_years = static_cast<std::int16_t>(d.ruin_projection_years);
    s.ruin_projection_text = std::to_string(d.ruin_projection_years);
    s.annuity_projection_years = static_cast<std::int16_t>(d.annuity_projection_years);
    s.annuity_projection_text = std::to_string(d.annuity_projection_years);

    const double nominal = (d.nominal_rate_index + 1) / 1000.0;
    const double real = (d.real_rate_index + 1) / 1000.0;
    s.nominal_rate_1 = s.nominal_rate_2 = s.nominal_rate_3 = nominal;
    s.nominal_rate_4 = s.nominal_rate_5 = s.nominal_rate_6 = nominal;
    s.real_rate_1 = s.real_rate_2 = s.real_rate_3 = real;
    s.real_rate_4 = s.real_rate_5 = s.real_rate_6 = real;

    s.cola_rate = s.cola_rate_mirror = d.cola_index / 100.0;
    s.air_rate = s.air_rate_mirror = (d.air_index + 1) * 2 / 100.0;
    s.later_allocation_years = static_cast<std::int16_t>((d.later_years_index + 1) * 5);

    const double w = d.weight_percent / 100.0;
    s.weight_stock = s.weight_nomi_bond = s.weight_real_bond = s.weight_cash = s.weight_estate = w;
    s.weight_copy_stock = s.weight_copy_nomi_bond = s.weight_copy_real_bond = w;
    s.weight_copy_cash = s.weight_copy_estate = w;
    s.later_weight_stock = s.later_weight_nomi_bond = s.later_weight_real_bond = w;
    s.later_weight_cash = s.later_weight_estate = w;
    s.later_weight_copy_stock = s.later_weight_copy_nomi_bond = s.later_weight_copy_real_bond = w;
    s.later_weight_copy_cash = s.later_weight_copy_estate = w;

    apply_market_preset(s, d.market_country);

    s.target_income = parse_amount(d.target_income_text).value_or(0);
    s.liquid_wealth = parse_amount(d.liquid_wealth_text).value_or(0);
    const double amount = parse_amount(d.amount_text).value_or(0);
    s.pension_nominal_income = s.pension_cpi_income = s.pension_variable_income = amount;
    s.purchase_nominal = s.purchase_cpi = s.purchase_variable = amount;

    s.weight_sum = 1;
    s.later_weight_sum = 1;
    load_mortality_tables(s);
}

}  // namespace quorrel
