// The one definition of every input of an analysis: which record field(s) it
// writes, the items of its list and the rule from list position to value (or
// that it is a free amount), its default, its range, its caption, its
// command-line option with the help text, and its key in a case file. The
// defaults, the input screen, the command line and the case file all work
// from this table, so an input is described once.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "record/analysis_state.h"

namespace quorrel {

enum class InputKind {
    list,    // a drop-down list of numbers: the value comes from the position
    choice,  // named items (a list or a group of option buttons): the value is the position
    amount,  // a free amount box
};

// How a numeric list shows its items.
enum class ItemStyle {
    number,         // "65"
    whole_percent,  // "3%"
    percent2,       // "5.00%"
};

// Item i of a numeric list stands for first + i x step "ticks"; the record
// holds ticks / per_record and a person (case file, command line) writes
// ticks / per_natural. Whole ticks keep every value exactly what the list
// position gives, e.g. (i + 1) / 1000 for the yield-curve rates.
struct ListRule {
    int first = 0;
    int step = 1;
    int count = 0;
    int per_record = 1;
    int per_natural = 1;
    ItemStyle style = ItemStyle::number;
    // Item 0 stands for 0 ticks, shown as "None"; item i >= 1 for first +
    // (i - 1) x step. The list holds count + 1 items.
    bool none_item = false;
};

struct InputRow {
    const char* key = "";      // key in a case file
    const char* caption = "";  // what the input is, for a person
    InputKind kind = InputKind::list;
    int page = 0;  // page of the input screen, 1..5

    ListRule list{};                      // kind list
    std::vector<const char*> captions{};  // kind choice: items as the screen shows them
    std::vector<const char*> names{};  // kind choice: names in case files and on the command line
    int code_base = 0;                 // kind choice: record code = position + code_base

    int default_index = 0;            // list and choice (ignored when follows_market)
    const char* default_amount = "";  // amount: the box's text at start
    bool follows_market = false;      // set by the market preset
    std::vector<int> preset{};        // follows_market: list position per market

    // Record fields the input writes.
    double AnalysisState::*number = nullptr;      // the value
    double AnalysisState::*copy = nullptr;        // a second field given the same value
    std::int16_t AnalysisState::*code = nullptr;  // whole-number value or choice code
    std::string AnalysisState::*text = nullptr;   // item text or caption

    // The "inputs" block of the command line's JSON: key, then either a
    // sub-key or a position in an array (-1 for neither).
    const char* json_key = "";
    const char* json_sub = nullptr;
    int json_index = -1;

    // Command line. Several rows may share one option (a list of values
    // separated by commas, in row order); the first of them carries the
    // texts. default_each: the help names one default for all of them.
    const char* option = "";
    const char* option_type = "";
    const char* option_group = "";
    const char* help = "";               // without the default, which the table supplies
    const char* range = "";              // "a whole age from 50 to 90": what a refusal names
    const char* option_range = nullptr;  // of a shared option, if other than range
    bool default_each = false;
    // An input of the household (a spouse and the survivor's terms). A case
    // file of a single person at the household defaults leaves them out, so
    // that it reads as it always has.
    bool household = false;
};

// One input's value: the list position for lists and choices, the amount
// for amount boxes.
struct InputValue {
    int index = 0;
    double amount = 0;
    bool operator==(const InputValue&) const = default;
};
using InputValues = std::vector<InputValue>;  // one per catalogue row, in row order

// The table, in the order of the command line's help. The market comes
// before the means and deviations it presets.
const std::vector<InputRow>& input_catalogue();
// Position of the row with this case-file key; throws std::out_of_range.
std::size_t input_index(std::string_view key);
const InputRow& input_row(std::string_view key);

// Captions shared with other places: gender by position, tables by code.
const char* gender_caption(int index);
const char* ruin_table_caption(int code);
const char* annuity_table_caption(int code);
const char* market_caption(int country);

// Number of items of a list or choice row (0 for amounts).
int item_count(const InputRow& row);
// Item text of a list or choice as the screen shows it ("5.00%", "Male").
std::string item_text(const InputRow& row, int index);
// Value of a list item in natural units: 7 for "7.00%", 65 for "65".
double natural_value(const InputRow& row, int index);
// Shortest text of that value: "7", "2.5", "0.5".
std::string natural_text(const InputRow& row, int index);
// The list position holding a natural value; nullopt when no item holds it
// exactly (7.05 on a list of tenths).
std::optional<int> index_of_natural(const InputRow& row, double natural);
// The choice position named (letter case and blanks around ignored).
std::optional<int> index_of_name(const InputRow& row, std::string_view name);

// What the input accepts, as a refusal names it: "a whole age from 50 to
// 90", "one of male, female, unisex", "a nonnegative amount".
std::string input_range(const InputRow& row);

InputValue default_value(const InputRow& row);
InputValues default_input_values();

// Writes one input's field(s). The market also writes the nine assumptions
// of its preset.
void write_input(AnalysisState& state, const InputRow& row, InputValue value);
// Writes every input, the market first so that the assumptions given win.
void write_inputs(AnalysisState& state, const InputValues& values);
// The record's value of an input; nullopt when the field holds a value its
// list cannot (or a negative amount).
std::optional<InputValue> read_input(const AnalysisState& state, const InputRow& row);

// True when every household input holds its default (no spouse).
bool household_at_defaults(const InputValues& values);

// The rows that follow the market, in row order, for the screen's preset.
std::vector<std::size_t> market_rows();

}  // namespace quorrel
