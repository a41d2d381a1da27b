// Stand-ins for what a calculation reports to, shared by every test binary.
#pragma once

#include <string>
#include <vector>

#include "analysis/defaults.h"
#include "analysis/input_catalogue.h"
#include "analysis/pipeline.h"
#include "record/results.h"

namespace quorrel {

// Shows nothing and keeps what it was told: `message` is the text of the
// last message, `messages` every text, `titled` every message as
// "title: text", and `published` the cells in the order they came.
class QuietHooks : public CalculationHooks {
public:
    void show_message(const std::string& text, const std::string& title) override {
        message = text;
        messages.push_back(text);
        titled.push_back(title + ": " + text);
    }
    void result_published(const std::string& cell, const std::string&) override {
        published.push_back(cell);
    }
    std::string message;
    std::vector<std::string> messages, titled, published;
};

// One input of the catalogue set to a value.
struct InputChange {
    const char* key;
    InputValue value;
};

// The default case with `changes` written through the catalogue.
// Pensions of both kinds, a COLA, and an allocation that switches after some
// years: a case that reaches every term of the drift and the income.
inline const std::vector<InputChange> kPensionsAndSwitch = {
    {"pension_nominal_income", {.amount = 8000}},   {"pension_cpi_income", {.amount = 6000}},
    {"cola_percent", {.index = 2}},                 {"weight_stock_percent", {.index = 40}},
    {"weight_cash_percent", {.index = 0}},          {"later_weight_stock_percent", {.index = 5}},
    {"later_weight_estate_percent", {.index = 35}}, {"later_allocation_years", {.index = 1}}};

inline AnalysisState case_of(const std::vector<InputChange>& changes) {
    AnalysisState s;
    apply_input_defaults(s);
    for (const InputChange& c : changes) write_input(s, input_row(c.key), c.value);
    return s;
}

// Takes every published figure and keeps none.
class IgnoringSink : public ResultSink {
public:
    void publish_result(const std::string&, const std::string&) override {}
};

}  // namespace quorrel
