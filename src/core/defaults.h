// The inputs a new analysis starts from, and the market presets. The input
// screen selects these list positions when it loads and the command-line
// front end writes the same fields directly, so both start from one place.
#pragma once

#include <array>
#include <string>

#include "core/analysis_state.h"

namespace quorrel {

struct MarketPreset {
    const char* name;                  // "U.S.A" / "Canada"
    std::array<int, 5> mean_per_mille; // stocks, nominal bonds, real bonds, cash, real estate
    std::array<int, 4> dev_per_mille;  // stocks, nominal bonds, real bonds, real estate
};

// Index 0 U.S.A, 1 Canada (the list position of the market selector).
const std::array<MarketPreset, 2>& market_presets();

struct InputDefaults {
    int current_age = 65;
    int gender_index = 0;             // Male
    int ruin_table_code = 1;          // UP 1994
    int annuity_table_code = 1;       // GAM 1983 (PBGC)
    int ruin_projection_years = 0;
    int annuity_projection_years = 0;
    int nominal_rate_index = 49;      // "5.00%" in every nominal bucket
    int real_rate_index = 29;         // "3.00%" in every real bucket
    int cola_index = 0;               // "0%"
    int air_index = 0;                // "2%"
    int later_years_index = 0;        // "5"
    int weight_percent = 20;          // every allocation list, both columns
    int market_country = 0;           // U.S.A
    std::string target_income_text = "40,000";
    std::string liquid_wealth_text = "800,000";
    std::string amount_text = "0";    // the three pensions and three purchases
};

const InputDefaults& input_defaults();

// Caption of each table option; the ruin captions by ruin_table_code 1..3,
// the annuity captions by annuity_table_code 1..2.
const char* ruin_table_caption(int code);
const char* annuity_table_caption(int code);
// Gender captions by list position.
const char* gender_caption(int index);

// Writes the market preset into the nine assumption fields and
// market_country.
void apply_market_preset(AnalysisState& state, int country);

// Writes every input field as the input screen's loading leaves it, with the
// mortality tables loaded. net_investable_wealth and consumption_deficit stay 0.
void apply_input_defaults(AnalysisState& state);

}  // namespace quorrel
