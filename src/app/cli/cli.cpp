#include "app/cli/cli.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <iomanip>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "core/defaults.h"
#include "core/number_format.h"
#include "core/pipeline.h"
#include "core/report.h"

namespace quorrel {
namespace {

// A malformed or out-of-range option value; its text is the whole message.
class OptionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void refuse_value(const std::string& option, const std::string& text,
                               const std::string& expected) {
    throw OptionError(option + ": '" + text + "' is not " + expected);
}

std::string lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string trimmed(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return {};
    return text.substr(begin, text.find_last_not_of(" \t") + 1 - begin);
}

// A whole number lo..hi in steps of `step` from lo.
int whole_value(const std::string& option, const std::string& text, int lo, int hi, int step,
                const std::string& expected) {
    const auto v = parse_amount(text);
    if (!v || *v != std::floor(*v) || *v < lo || *v > hi) refuse_value(option, text, expected);
    const int n = static_cast<int>(*v);
    if ((n - lo) % step != 0) refuse_value(option, text, expected);
    return n;
}

// A percentage with at most one decimal, lo..hi; returns it in tenths of a
// percent, which is the list position of the screen's 0.1% lists.
int tenths_value(const std::string& option, const std::string& text, int lo_tenths, int hi_tenths,
                 const std::string& expected) {
    const auto v = parse_amount(text);
    if (!v) refuse_value(option, text, expected);
    const double tenths = *v * 10;
    const long long n = std::llround(tenths);
    if (std::fabs(tenths - static_cast<double>(n)) > 1e-6 || n < lo_tenths || n > hi_tenths)
        refuse_value(option, text, expected);
    return static_cast<int>(n);
}

double amount_value(const std::string& option, const std::string& text) {
    const auto v = parse_amount(text);
    if (!v || *v < 0) refuse_value(option, text, "a nonnegative amount");
    return *v;
}

std::vector<std::string> list_items(const std::string& option, const std::string& text, size_t count,
                                    const std::string& expected) {
    std::vector<std::string> items;
    std::string item;
    std::istringstream in(text);
    while (std::getline(in, item, ',')) items.push_back(trimmed(item));
    if (!text.empty() && text.back() == ',') items.emplace_back();
    if (items.size() != count) refuse_value(option, text, expected);
    return items;
}

int choice_value(const std::string& option, const std::string& text,
                 const std::vector<std::string>& choices) {
    const std::string key = lower(trimmed(text));
    for (size_t i = 0; i < choices.size(); ++i)
        if (choices[i] == key) return static_cast<int>(i);
    std::string expected = "one of";
    for (size_t i = 0; i < choices.size(); ++i) expected += (i ? ", " : " ") + choices[i];
    refuse_value(option, text, expected);
}

class CliHooks : public CalculationHooks {
public:
    void show_message(const std::string& text, const std::string& title) override {
        message_ = title == kInputTitle ? text : title + ": " + text;
    }
    const std::string& message() const { return message_; }

private:
    std::string message_;
};

std::string local_date_time() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buf[64];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
    return buf;
}

// Horizons and ages of the income curve are whole or half years.
std::string one_decimal(double value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", value);
    return buf;
}

// Int(x) + 1, as the mortality tab shows the life expectancy.
double life_expectancy_shown(double expected_death_age) { return std::floor(expected_death_age) + 1; }

const char* const kColumnCaptions[4] = {"10 Years", "20 Years", "30 Years", "Lifetime"};
const std::array<const char*, 3> kEstateRows = {"10 years:", "20 years:", "30 years:"};
const char* const kEstateColumns[3] = {"Bad (25%)", "Median", "Good (75%)"};

std::string cell(const ResultsRecord& results, const char* name) {
    auto it = results.cells.find(name);
    return it == results.cells.end() ? std::string("-") : it->second;
}

// A grid of published cells with its row and column captions, aligned.
template <size_t R, size_t C>
void print_grid(std::ostream& out, const ResultsRecord& r, const char* corner, int caption_width,
                int cell_width, const char* const (&columns)[C], const std::array<const char*, R>& rows,
                const std::array<std::array<const char*, C>, R>& cells) {
    out << "  " << std::left << std::setw(caption_width) << corner << std::right;
    for (const char* c : columns) out << std::setw(cell_width) << c;
    out << '\n';
    for (size_t row = 0; row < R; ++row) {
        out << "  " << std::left << std::setw(caption_width) << rows[row] << std::right;
        for (size_t col = 0; col < C; ++col) out << std::setw(cell_width) << cell(r, cells[row][col]);
        out << '\n';
    }
}

void print_tables(std::ostream& out, const AnalysisState& s, const ResultsRecord& r) {
    out << "Probability Results\n"
        << "  Your Net Investable Wealth (NIW) is : $" << format_grouped0(s.net_investable_wealth) << '\n'
        << "  Your Net Consumption Deficit is: $" << format_grouped0(s.consumption_deficit) << "\n\n";
    print_grid(out, r, "Probability NIW hits", 22, 10, kColumnCaptions, ruin_row_captions(), ruin_cell_names());

    out << "\nProjected Wealth\n"
        << "  Estate (Real) Conditional on Survival, as multiples of the NIW of $"
        << format_grouped0(s.net_investable_wealth) << ":\n";
    print_grid(out, r, "", 12, 12, kEstateColumns, kEstateRows, estate_cell_names());

    out << "\nProjected Consumption\n"
        << "  Expected Income Conditional on Survival, as multiples of the real target income of $"
        << format_grouped0(s.target_income) << ":\n"
        << "  " << std::setw(8) << "Years" << std::setw(8) << "Age" << std::setw(10) << "Income" << '\n';
    for (int i = 1; i <= 20; ++i) {
        const double T = expected_income_horizon(s.current_age, i);
        out << "  " << std::setw(8) << one_decimal(T) << std::setw(8) << one_decimal(s.current_age + T)
            << std::setw(10) << format_plain2(r.expected_income[static_cast<size_t>(i - 1)]) << '\n';
    }

    out << "\nMortality Parameters\n";
    const auto row = [&out](const char* caption, const std::string& value) {
        out << "  " << std::left << std::setw(22) << caption << std::right << value << '\n';
    };
    row("Current Age:", trimmed(str_form(s.current_age)));
    row("Life Expectancy:", format_grouped0(life_expectancy_shown(s.expected_death_age)));
    row("Gender:", s.gender_text);
    row("90th Percentile:", format_grouped0(r.ninetieth_percentile_index + s.current_age));
    row("Expected Ruin Age:", format_grouped0(std::floor(r.expected_ruin_age) + 1));
}

struct OptionTexts {
    std::string age, gender, wealth, target;
    std::string pension_nominal, pension_cpi, pension_variable;
    std::string purchase_nominal, purchase_cpi, purchase_variable;
    std::string cola, air, today, later, switch_years, market;
    std::string stock_mean, nomi_bond_mean, real_bond_mean, cash_mean, estate_mean;
    std::string stock_dev, nomi_bond_dev, real_bond_dev, estate_dev;
    std::string ruin_table, ruin_projection, annuity_table, annuity_projection;
    std::string nominal_curve, real_curve;
    std::string report;
    bool json = false;
};

// Writes the given options over the defaults, the market preset before the
// individual means and deviations so that those win.
void apply_options(const CLI::App& app, const OptionTexts& o, AnalysisState& s) {
    const auto given = [&app](const char* name) { return app.count(name) > 0; };

    if (given("--market")) apply_market_preset(s, choice_value("--market", o.market, {"usa", "canada"}));

    if (given("--age"))
        s.current_age = whole_value("--age", o.age, 50, 90, 1, "a whole age from 50 to 90");
    if (given("--gender")) {
        const int g = choice_value("--gender", o.gender, {"male", "female", "unisex"});
        s.gender_code = static_cast<std::int16_t>(g);
        s.gender_text = gender_caption(g);
    }
    const struct {
        const char* name;
        const std::string* text;
        double* field;
    } amounts[] = {
        {"--wealth", &o.wealth, &s.liquid_wealth},
        {"--target", &o.target, &s.target_income},
        {"--pension-nominal", &o.pension_nominal, &s.pension_nominal_income},
        {"--pension-cpi", &o.pension_cpi, &s.pension_cpi_income},
        {"--pension-variable", &o.pension_variable, &s.pension_variable_income},
        {"--purchase-nominal", &o.purchase_nominal, &s.purchase_nominal},
        {"--purchase-cpi", &o.purchase_cpi, &s.purchase_cpi},
        {"--purchase-variable", &o.purchase_variable, &s.purchase_variable},
    };
    for (const auto& a : amounts)
        if (given(a.name)) *a.field = amount_value(a.name, *a.text);

    if (given("--cola")) {
        const int v = whole_value("--cola", o.cola, 0, 4, 1, "a whole percent from 0 to 4");
        s.cola_rate = s.cola_rate_mirror = v / 100.0;
    }
    if (given("--air")) {
        const int v = whole_value("--air", o.air, 2, 8, 2, "one of 2, 4, 6, 8 (percent)");
        s.air_rate = s.air_rate_mirror = v / 100.0;
    }

    const auto allocation = [](const char* name, const std::string& text, double* const (&weights)[5],
                               double* const (&copies)[5]) {
        const std::string expected = "five whole percents from 0 to 100 separated by commas";
        const auto items = list_items(name, text, 5, expected);
        for (size_t k = 0; k < 5; ++k) {
            const double w = whole_value(name, items[k], 0, 100, 1, "") / 100.0;
            *weights[k] = w;
            *copies[k] = w;
        }
    };
    if (given("--today")) {
        try {
            allocation("--today", o.today,
                       {&s.weight_stock, &s.weight_nomi_bond, &s.weight_real_bond, &s.weight_cash, &s.weight_estate},
                       {&s.weight_copy_stock, &s.weight_copy_nomi_bond, &s.weight_copy_real_bond,
                        &s.weight_copy_cash, &s.weight_copy_estate});
        } catch (const OptionError&) {
            refuse_value("--today", o.today, "five whole percents from 0 to 100 separated by commas");
        }
    }
    if (given("--later")) {
        try {
            allocation("--later", o.later,
                       {&s.later_weight_stock, &s.later_weight_nomi_bond, &s.later_weight_real_bond,
                        &s.later_weight_cash, &s.later_weight_estate},
                       {&s.later_weight_copy_stock, &s.later_weight_copy_nomi_bond,
                        &s.later_weight_copy_real_bond, &s.later_weight_copy_cash,
                        &s.later_weight_copy_estate});
        } catch (const OptionError&) {
            refuse_value("--later", o.later, "five whole percents from 0 to 100 separated by commas");
        }
    }
    if (given("--switch-years"))
        s.later_allocation_years = static_cast<std::int16_t>(
            whole_value("--switch-years", o.switch_years, 5, 30, 5, "one of 5, 10, 15, 20, 25, 30"));

    const std::string mean_range = "a percent from 0 to 30 in steps of 0.1";
    const std::string dev_range = "a percent from 0 to 40 in steps of 0.1";
    const struct {
        const char* name;
        const std::string* text;
        double* field;
        int hi_tenths;
        const std::string* expected;
    } market[] = {
        {"--stock-mean", &o.stock_mean, &s.mean_stock, 300, &mean_range},
        {"--nominal-bond-mean", &o.nomi_bond_mean, &s.mean_nomi_bond, 300, &mean_range},
        {"--real-bond-mean", &o.real_bond_mean, &s.mean_real_bond, 300, &mean_range},
        {"--cash-mean", &o.cash_mean, &s.mean_cash, 300, &mean_range},
        {"--estate-mean", &o.estate_mean, &s.mean_estate, 300, &mean_range},
        {"--stock-dev", &o.stock_dev, &s.dev_stock, 400, &dev_range},
        {"--nominal-bond-dev", &o.nomi_bond_dev, &s.dev_nomi_bond, 400, &dev_range},
        {"--real-bond-dev", &o.real_bond_dev, &s.dev_real_bond, 400, &dev_range},
        {"--estate-dev", &o.estate_dev, &s.dev_estate, 400, &dev_range},
    };
    for (const auto& m : market)
        if (given(m.name)) *m.field = tenths_value(m.name, *m.text, 0, m.hi_tenths, *m.expected) / 1000.0;

    if (given("--ruin-table")) {
        const int code = choice_value("--ruin-table", o.ruin_table, {"up1994", "iam2000", "rp2000"}) + 1;
        s.ruin_table_code = static_cast<std::int16_t>(code);
        s.ruin_table_name = ruin_table_caption(code);
    }
    if (given("--ruin-projection")) {
        const int years = whole_value("--ruin-projection", o.ruin_projection, 0, 30, 1,
                                      "a whole number of years from 0 to 30");
        s.ruin_projection_years = static_cast<std::int16_t>(years);
        s.ruin_projection_text = std::to_string(years);
    }
    if (given("--annuity-table")) {
        const int code = choice_value("--annuity-table", o.annuity_table, {"gam1983", "iam2000"}) + 1;
        s.annuity_table_code = static_cast<std::int16_t>(code);
        s.annuity_table_name = annuity_table_caption(code);
    }
    if (given("--annuity-projection")) {
        const int years = whole_value("--annuity-projection", o.annuity_projection, 0, 30, 1,
                                      "a whole number of years from 0 to 30");
        s.annuity_projection_years = static_cast<std::int16_t>(years);
        s.annuity_projection_text = std::to_string(years);
    }

    const auto curve = [](const char* name, const std::string& text, double* const (&rates)[6]) {
        const std::string expected = "six percents from 0.1 to 50 in steps of 0.1 separated by commas";
        const auto items = list_items(name, text, 6, expected);
        for (size_t k = 0; k < 6; ++k) {
            int tenths = 0;
            try {
                tenths = tenths_value(name, items[k], 1, 500, expected);
            } catch (const OptionError&) {
                refuse_value(name, text, expected);
            }
            *rates[k] = tenths / 1000.0;
        }
    };
    if (given("--nominal-curve"))
        curve("--nominal-curve", o.nominal_curve,
              {&s.nominal_rate_1, &s.nominal_rate_2, &s.nominal_rate_3, &s.nominal_rate_4,
               &s.nominal_rate_5, &s.nominal_rate_6});
    if (given("--real-curve"))
        curve("--real-curve", o.real_curve,
              {&s.real_rate_1, &s.real_rate_2, &s.real_rate_3, &s.real_rate_4, &s.real_rate_5,
               &s.real_rate_6});
}

void add_options(CLI::App& app, OptionTexts& o) {
    const auto add = [&app](const char* name, std::string& text, const char* type, const char* group,
                            const std::string& help) {
        app.add_option(name, text, help)->type_name(type)->group(group);
    };
    const char* person = "The individual";
    add("--age", o.age, "YEARS", person, "current age, whole years 50 to 90 (default 65)");
    add("--gender", o.gender, "NAME", person, "male, female or unisex (default male)");

    const char* money = "Money (amounts per year except the wealth and the purchases; "
                        "commas allowed, e.g. 800,000)";
    add("--wealth", o.wealth, "AMOUNT", money, "liquid retirement wealth, >= 0 (default 800,000)");
    add("--target", o.target, "AMOUNT", money, "real target income per year, > 0 (default 40,000)");
    add("--pension-nominal", o.pension_nominal, "AMOUNT", money,
        "current nominal (COLA) pension income per year, >= 0 (default 0)");
    add("--pension-cpi", o.pension_cpi, "AMOUNT", money,
        "current CPI-linked pension income per year, >= 0 (default 0)");
    add("--pension-variable", o.pension_variable, "AMOUNT", money,
        "current variable (AIR) pension income per year, >= 0 (default 0)");
    add("--purchase-nominal", o.purchase_nominal, "AMOUNT", money,
        "amount spent on a nominal (COLA) life annuity, >= 0 (default 0)");
    add("--purchase-cpi", o.purchase_cpi, "AMOUNT", money,
        "amount spent on a CPI-linked life annuity, >= 0 (default 0)");
    add("--purchase-variable", o.purchase_variable, "AMOUNT", money,
        "amount spent on a variable (AIR) life annuity, >= 0 (default 0)");
    add("--cola", o.cola, "PERCENT", money, "cost-of-living adjustment, whole percent 0 to 4 (default 0)");
    add("--air", o.air, "PERCENT", money, "assumed interest rate, percent: 2, 4, 6 or 8 (default 2)");

    const char* alloc = "Asset allocation (percents of stocks, nominal bonds, real bonds, cash, "
                        "real estate; each column must total 100)";
    add("--today", o.today, "P,P,P,P,P", alloc, "allocation today, whole percents 0 to 100 (default 20,20,20,20,20)");
    add("--later", o.later, "P,P,P,P,P", alloc,
        "allocation after the switch, whole percents 0 to 100 (default 20,20,20,20,20)");
    add("--switch-years", o.switch_years, "YEARS", alloc,
        "years until the later allocation applies: 5, 10, 15, 20, 25 or 30 (default 5)");

    const char* market = "Capital-market assumptions (real, after inflation; percent per year)";
    add("--market", o.market, "NAME", market,
        "preset usa or canada, applied before the single means and deviations (default usa)");
    add("--stock-mean", o.stock_mean, "PERCENT", market, "expected return of stocks, 0 to 30 by 0.1 (usa 7)");
    add("--nominal-bond-mean", o.nomi_bond_mean, "PERCENT", market,
        "expected return of nominal bonds, 0 to 30 by 0.1 (usa 3)");
    add("--real-bond-mean", o.real_bond_mean, "PERCENT", market,
        "expected return of real return bonds, 0 to 30 by 0.1 (usa 2.5)");
    add("--cash-mean", o.cash_mean, "PERCENT", market, "expected return of cash, 0 to 30 by 0.1 (usa 0.5)");
    add("--estate-mean", o.estate_mean, "PERCENT", market,
        "expected return of real estate, 0 to 30 by 0.1 (usa 3.5)");
    add("--stock-dev", o.stock_dev, "PERCENT", market, "standard deviation of stocks, 0 to 40 by 0.1 (usa 20)");
    add("--nominal-bond-dev", o.nomi_bond_dev, "PERCENT", market,
        "standard deviation of nominal bonds, 0 to 40 by 0.1 (usa 10)");
    add("--real-bond-dev", o.real_bond_dev, "PERCENT", market,
        "standard deviation of real return bonds, 0 to 40 by 0.1 (usa 8)");
    add("--estate-dev", o.estate_dev, "PERCENT", market,
        "standard deviation of real estate, 0 to 40 by 0.1 (usa 12)");

    const char* mortality = "Mortality tables";
    add("--ruin-table", o.ruin_table, "NAME", mortality,
        "table of the ruin probabilities: up1994, iam2000 or rp2000 (default up1994)");
    add("--ruin-projection", o.ruin_projection, "YEARS", mortality,
        "projection of the ruin table, whole years 0 to 30 (default 0)");
    add("--annuity-table", o.annuity_table, "NAME", mortality,
        "table of the annuity prices: gam1983 or iam2000 (default gam1983)");
    add("--annuity-projection", o.annuity_projection, "YEARS", mortality,
        "projection of the annuity table, whole years 0 to 30 (default 0)");

    const char* curves = "Yield curves (six rates for 0-5, 5-10, 10-15, 15-20, 20-25 and over 25 years)";
    add("--nominal-curve", o.nominal_curve, "R,R,R,R,R,R", curves,
        "nominal rates, percent 0.1 to 50 by 0.1 (default 5 each)");
    add("--real-curve", o.real_curve, "R,R,R,R,R,R", curves,
        "real rates, percent 0.1 to 50 by 0.1 (default 3 each)");

    const char* output = "Output";
    app.add_flag("--json", o.json, "print every figure as JSON instead of the tables")->group(output);
    add("--report", o.report, "FILE", output,
        "also append the text report to FILE (created when missing)");
}

std::string one_line(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

}  // namespace

nlohmann::json results_json(const AnalysisState& s, const ResultsRecord& r) {
    using nlohmann::json;
    json j;
    j["inputs"] = {
        {"current_age", s.current_age},
        {"gender", s.gender_text},
        {"liquid_wealth", s.liquid_wealth},
        {"target_income", s.target_income},
        {"pension_income", {{"nominal", s.pension_nominal_income}, {"cpi", s.pension_cpi_income},
                            {"variable", s.pension_variable_income}}},
        {"annuity_purchase", {{"nominal", s.purchase_nominal}, {"cpi", s.purchase_cpi},
                              {"variable", s.purchase_variable}}},
        {"cola_rate", s.cola_rate},
        {"air_rate", s.air_rate},
        {"allocation_today", {s.weight_stock, s.weight_nomi_bond, s.weight_real_bond, s.weight_cash, s.weight_estate}},
        {"allocation_later", {s.later_weight_stock, s.later_weight_nomi_bond, s.later_weight_real_bond,
                              s.later_weight_cash, s.later_weight_estate}},
        {"later_allocation_years", s.later_allocation_years},
        {"market", market_presets().at(s.market_country == 0 ? 0 : 1).name},
        {"means", {s.mean_stock, s.mean_nomi_bond, s.mean_real_bond, s.mean_cash, s.mean_estate}},
        {"deviations", {s.dev_stock, s.dev_nomi_bond, s.dev_real_bond, s.dev_estate}},
        {"ruin_table", s.ruin_table_name},
        {"ruin_projection_years", s.ruin_projection_years},
        {"annuity_table", s.annuity_table_name},
        {"annuity_projection_years", s.annuity_projection_years},
        {"nominal_curve", {s.nominal_rate_1, s.nominal_rate_2, s.nominal_rate_3, s.nominal_rate_4,
                           s.nominal_rate_5, s.nominal_rate_6}},
        {"real_curve", {s.real_rate_1, s.real_rate_2, s.real_rate_3, s.real_rate_4, s.real_rate_5,
                        s.real_rate_6}},
    };

    j["net_investable_wealth"] = s.net_investable_wealth;
    j["consumption_deficit"] = s.consumption_deficit;
    j["acquired_income"] = {{"nominal", s.acquired_nominal_income},
                            {"cpi", s.acquired_cpi_income},
                            {"variable", s.acquired_variable_income}};
    j["implied_inflation"] = s.implied_inflation;
    j["variable_annuity_factor"] = s.variable_annuity_factor;
    j["portfolio"] = {{"current_expected_return", s.current_expected_return},
                      {"later_expected_return", s.later_expected_return},
                      {"current_standard_deviation", s.current_standard_deviation},
                      {"later_standard_deviation", s.later_standard_deviation}};
    j["ratios"] = {{"wealth_ratio", s.wealth_ratio},
                   {"real_income_ratio", s.real_income_ratio},
                   {"nominal_income_ratio", s.nominal_income_ratio},
                   {"variable_income_ratio", s.variable_income_ratio},
                   {"variable_value_ratio", s.variable_value_ratio}};
    j["ruin_mortality"] = {{"lambda", s.ruin_lambda},
                           {"modal_age", s.ruin_modal_age},
                           {"dispersion", s.ruin_dispersion}};

    json grid = json::array();
    for (size_t row = 0; row < 4; ++row)
        grid.push_back({{"level", kRuinLevels[row]},
                        {"years_10", r.ruin_grid[row][0]},
                        {"years_20", r.ruin_grid[row][1]},
                        {"years_30", r.ruin_grid[row][2]},
                        {"lifetime", r.ruin_grid[row][3]}});
    j["ruin_probability"] = grid;
    json estate = json::array();
    for (size_t row = 0; row < 3; ++row)
        estate.push_back({{"years", 10 * static_cast<int>(row + 1)},
                          {"bad", r.estate_grid[row][0]},
                          {"median", r.estate_grid[row][1]},
                          {"good", r.estate_grid[row][2]}});
    j["estate_multiple"] = estate;
    j["cells"] = r.cells;
    j["expected_ruin_age"] = r.expected_ruin_age;
    j["expected_death_age"] = s.expected_death_age;
    j["life_expectancy"] = life_expectancy_shown(s.expected_death_age);
    j["ninetieth_percentile_index"] = r.ninetieth_percentile_index;
    j["ninetieth_percentile_age"] = r.ninetieth_percentile_index + s.current_age;
    j["survival_years"] = s.survival_years;
    j["survival_curve"] = r.survival_curve;
    json income = json::array();
    for (int i = 1; i <= 20; ++i) {
        const double T = expected_income_horizon(s.current_age, i);
        income.push_back({{"years", T},
                          {"age", s.current_age + T},
                          {"income", r.expected_income[static_cast<size_t>(i - 1)]}});
    }
    j["expected_income"] = income;
    j["solver_calls"] = r.solver_calls;
    return j;
}

int run_cli(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"Quorrel: retirement income analysis of one person, from the input screen's "
                 "defaults and the options given.\nPercent options take percents (7.5 means 7.5%)."};
    app.name("quorrel-cli");
    OptionTexts texts;
    add_options(app, texts);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return 0;
    } catch (const CLI::CallForAllHelp&) {
        out << app.help("", CLI::AppFormatMode::All);
        return 0;
    } catch (const CLI::ParseError& e) {
        err << "quorrel-cli: " << one_line(e.what()) << " (see --help)\n";
        return 2;
    }

    AnalysisState state;
    apply_input_defaults(state);
    try {
        apply_options(app, texts, state);
    } catch (const OptionError& e) {
        err << "quorrel-cli: " << e.what() << '\n';
        return 2;
    }

    CliHooks hooks;
    ResultsRecord results;
    CalculationOutcome outcome = CalculationOutcome::failed;
    try {
        outcome = run_calculation(state, hooks, results);
    } catch (const std::exception& e) {
        // Not one of the calculation's own failures (out of memory, no
        // thread): still one line and a failure status rather than an abort.
        err << "quorrel-cli: the calculation stopped: " << one_line(e.what()) << '\n';
        return 1;
    }
    if (outcome != CalculationOutcome::completed) {
        err << hooks.message() << '\n';
        return 1;
    }

    if (texts.json)
        out << results_json(state, results).dump(2) << '\n';
    else
        print_tables(out, state, results);

    if (!texts.report.empty() || app.count("--report") > 0) {
        const auto lines = report_lines(state, results, format_grouped0(state.liquid_wealth), local_date_time());
        const std::string reason = append_report(texts.report, lines);
        if (!reason.empty()) {
            err << "quorrel-cli: cannot append the report to '" << texts.report << "': " << reason << '\n';
            return 1;
        }
    }
    return 0;
}

}  // namespace quorrel
