// The record fields a reference case may override (its
// "inputs_overriding_defaults"), each written as the input screen writes it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "record/analysis_state.h"
#include "analysis/defaults.h"

namespace quorrel::reference {

using nlohmann::json;

// How each record field a case may override is written, with the fields
// that always go with it (the allocation copies, the rate mirrors, the
// captions of the coded choices).
using FieldSetter = std::function<void(AnalysisState&, const json&)>;

inline FieldSetter number(double AnalysisState::*field) {
    return [field](AnalysisState& s, const json& v) { s.*field = v.get<double>(); };
}

inline FieldSetter with_copy(double AnalysisState::*field, double AnalysisState::*copy) {
    return [field, copy](AnalysisState& s, const json& v) { s.*field = s.*copy = v.get<double>(); };
}

inline const std::map<std::string, FieldSetter>& field_setters() {
    using S = AnalysisState;
    static const std::map<std::string, FieldSetter> setters = {
        {"current_age", number(&S::current_age)},
        {"gender_code", [](S& s, const json& v) { s.gender_code = v.get<std::int16_t>(); }},
        {"gender_text", [](S& s, const json& v) { s.gender_text = v.get<std::string>(); }},
        {"ruin_table_code",
         [](S& s, const json& v) {
             s.ruin_table_code = v.get<std::int16_t>();
             s.ruin_table_name = ruin_table_caption(s.ruin_table_code);
         }},
        {"annuity_table_code",
         [](S& s, const json& v) {
             s.annuity_table_code = v.get<std::int16_t>();
             s.annuity_table_name = annuity_table_caption(s.annuity_table_code);
         }},
        {"later_allocation_years",
         [](S& s, const json& v) { s.later_allocation_years = v.get<std::int16_t>(); }},
        {"liquid_wealth", number(&S::liquid_wealth)},
        {"dev_stock", number(&S::dev_stock)},
        {"dev_nomi_bond", number(&S::dev_nomi_bond)},
        {"dev_real_bond", number(&S::dev_real_bond)},
        {"dev_estate", number(&S::dev_estate)},
        {"target_income", number(&S::target_income)},
        {"pension_nominal_income", number(&S::pension_nominal_income)},
        {"pension_cpi_income", number(&S::pension_cpi_income)},
        {"pension_variable_income", number(&S::pension_variable_income)},
        {"purchase_nominal", number(&S::purchase_nominal)},
        {"purchase_cpi", number(&S::purchase_cpi)},
        {"purchase_variable", number(&S::purchase_variable)},
        {"cola_rate", with_copy(&S::cola_rate, &S::cola_rate_mirror)},
        {"air_rate", with_copy(&S::air_rate, &S::air_rate_mirror)},
        {"weight_stock", with_copy(&S::weight_stock, &S::weight_copy_stock)},
        {"weight_nomi_bond", with_copy(&S::weight_nomi_bond, &S::weight_copy_nomi_bond)},
        {"weight_real_bond", with_copy(&S::weight_real_bond, &S::weight_copy_real_bond)},
        {"weight_cash", with_copy(&S::weight_cash, &S::weight_copy_cash)},
        {"weight_estate", with_copy(&S::weight_estate, &S::weight_copy_estate)},
        {"later_weight_stock", with_copy(&S::later_weight_stock, &S::later_weight_copy_stock)},
        {"later_weight_nomi_bond",
         with_copy(&S::later_weight_nomi_bond, &S::later_weight_copy_nomi_bond)},
        {"later_weight_real_bond",
         with_copy(&S::later_weight_real_bond, &S::later_weight_copy_real_bond)},
        {"later_weight_cash", with_copy(&S::later_weight_cash, &S::later_weight_copy_cash)},
        {"later_weight_estate", with_copy(&S::later_weight_estate, &S::later_weight_copy_estate)},
    };
    return setters;
}

// Unknown fields are returned, so that a test can report them.
inline std::vector<std::string> apply_overrides(AnalysisState& s, const json& inputs) {
    std::vector<std::string> unknown;
    for (const auto& [field, value] : inputs.items()) {
        const auto setter = field_setters().find(field);
        if (setter == field_setters().end()) {
            unknown.push_back(field);
            continue;
        }
        setter->second(s, value);
    }
    return unknown;
}

}  // namespace quorrel::reference
