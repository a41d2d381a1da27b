#include "analysis/input_catalogue.h"

#include <cmath>
#include <stdexcept>

#include "record/number_format.h"

namespace quorrel {
namespace {

using S = AnalysisState;

const char* const kPerson = "The individual";
const char* const kMoney =
    "Money (amounts per year except the wealth and the purchases; commas allowed, e.g. 800,000)";
const char* const kAllocation =
    "Asset allocation (percents of stocks, nominal bonds, real bonds, cash, real estate; each "
    "column must total 100)";
const char* const kMarket = "Capital-market assumptions (real, after inflation; percent per year)";
const char* const kMortality = "Mortality tables";
const char* const kHousehold =
    "The household (a spouse; refined accuracy only; without --spouse-age a single person)";
const char* const kCurves =
    "Yield curves (six rates for 0-5, 5-10, 10-15, 15-20, 20-25 and over 25 years)";

// The lists of the screen, by their position rules.
constexpr ListRule kAges{.first = 50, .step = 1, .count = 41};
constexpr ListRule kProjection{.first = 0, .step = 1, .count = 31};
constexpr ListRule kRates{.first = 1,
                          .step = 1,
                          .count = 500,
                          .per_record = 1000,
                          .per_natural = 10,
                          .style = ItemStyle::percent2};  // (i + 1) / 1000
constexpr ListRule kCola{.first = 0,
                         .step = 1,
                         .count = 5,
                         .per_record = 100,
                         .style = ItemStyle::whole_percent};  // i / 100
constexpr ListRule kAir{.first = 2,
                        .step = 2,
                        .count = 4,
                        .per_record = 100,
                        .style = ItemStyle::whole_percent};         // (i + 1) x 2 / 100
constexpr ListRule kSpouseAges{.first = 50, .step = 1, .count = 41, .none_item = true};
constexpr ListRule kSurvivorPercent{.first = 0,
                                    .step = 1,
                                    .count = 101,
                                    .per_record = 100,
                                    .style = ItemStyle::whole_percent};  // i / 100
constexpr ListRule kLaterYears{.first = 5, .step = 5, .count = 6};  // (i + 1) x 5
constexpr ListRule kWeights{.first = 0,
                            .step = 1,
                            .count = 101,
                            .per_record = 100,
                            .style = ItemStyle::whole_percent};  // i / 100
constexpr ListRule kMeans{.first = 0,
                          .step = 1,
                          .count = 301,
                          .per_record = 1000,
                          .per_natural = 10,
                          .style = ItemStyle::percent2};  // i / 1000
// Hundredths of a percent: 0.00% to 3.00% by 0.05, ticks / 10000 in the record.
constexpr ListRule kFee{.first = 0,
                        .step = 5,
                        .count = 61,
                        .per_record = 10000,
                        .per_natural = 100,
                        .style = ItemStyle::percent2};
// Tenths of a percent: 2.0% to 10.0% of wealth a year.
constexpr ListRule kSpendingRate{.first = 20,
                                 .step = 1,
                                 .count = 81,
                                 .per_record = 1000,
                                 .per_natural = 10,
                                 .style = ItemStyle::percent2};
constexpr ListRule kGuardrail{.first = 0,
                              .step = 1,
                              .count = 101,
                              .per_record = 100,
                              .style = ItemStyle::whole_percent};  // i / 100
constexpr ListRule kSpendingStep{.first = 0,
                                 .step = 1,
                                 .count = 51,
                                 .per_record = 100,
                                 .style = ItemStyle::whole_percent};  // i / 100
constexpr ListRule kDeviations{.first = 0,
                               .step = 1,
                               .count = 401,
                               .per_record = 1000,
                               .per_natural = 10,
                               .style = ItemStyle::percent2};

InputRow amount(const char* key, const char* caption, double S::*field, const char* default_text,
                const char* json_key, const char* json_sub, const char* option, const char* help) {
    return {.key = key,
            .caption = caption,
            .kind = InputKind::amount,
            .page = 3,
            .default_amount = default_text,
            .number = field,
            .json_key = json_key,
            .json_sub = json_sub,
            .option = option,
            .option_type = "AMOUNT",
            .option_group = kMoney,
            .help = help,
            .range = "a nonnegative amount"};
}

// Five allocation rows sharing one option; the first carries its texts.
void weights(std::vector<InputRow>& rows, bool later, const char* option, const char* help) {
    static const char* const kKeys[2][5] = {
        {"weight_stock_percent", "weight_nomi_bond_percent", "weight_real_bond_percent",
         "weight_cash_percent", "weight_estate_percent"},
        {"later_weight_stock_percent", "later_weight_nomi_bond_percent",
         "later_weight_real_bond_percent", "later_weight_cash_percent",
         "later_weight_estate_percent"}};
    static const char* const kCaptions[2][5] = {
        {"Equity / Stocks today", "Nominal Return Bonds today", "Real Return Bonds today",
         "Cash / Money Market today", "Real Estate today"},
        {"Equity / Stocks later", "Nominal Return Bonds later", "Real Return Bonds later",
         "Cash / Money Market later", "Real Estate later"}};
    double S::*const fields[2][5] = {
        {&S::weight_stock, &S::weight_nomi_bond, &S::weight_real_bond, &S::weight_cash,
         &S::weight_estate},
        {&S::later_weight_stock, &S::later_weight_nomi_bond, &S::later_weight_real_bond,
         &S::later_weight_cash, &S::later_weight_estate}};
    // The allocation checks add up the copies; both are written together.
    double S::*const copies[2][5] = {
        {&S::weight_copy_stock, &S::weight_copy_nomi_bond, &S::weight_copy_real_bond,
         &S::weight_copy_cash, &S::weight_copy_estate},
        {&S::later_weight_copy_stock, &S::later_weight_copy_nomi_bond,
         &S::later_weight_copy_real_bond, &S::later_weight_copy_cash,
         &S::later_weight_copy_estate}};
    const int c = later ? 1 : 0;
    for (int k = 0; k < 5; ++k)
        rows.push_back({.key = kKeys[c][k],
                        .caption = kCaptions[c][k],
                        .page = 4,
                        .list = kWeights,
                        .default_index = 20,
                        .number = fields[c][k],
                        .copy = copies[c][k],
                        .json_key = later ? "allocation_later" : "allocation_today",
                        .json_index = k,
                        .option = option,
                        .option_type = "P,P,P,P,P",
                        .option_group = kAllocation,
                        .help = k == 0 ? help : "",
                        .range = "a whole percent from 0 to 100",
                        .option_range = "five whole percents from 0 to 100 separated by commas"});
}

InputRow assumption(const char* key, const char* caption, double S::*field, bool mean, int k,
                    int usa, int canada, const char* option, const char* help) {
    return {.key = key,
            .caption = caption,
            .page = 5,
            .list = mean ? kMeans : kDeviations,
            .follows_market = true,
            .preset = {usa, canada},
            .number = field,
            .json_key = mean ? "means" : "deviations",
            .json_index = k,
            .option = option,
            .option_type = "PERCENT",
            .option_group = kMarket,
            .help = help,
            .range = mean ? "a percent from 0 to 30 in steps of 0.1"
                          : "a percent from 0 to 40 in steps of 0.1"};
}

// Six yield-curve rows sharing one option.
void curve(std::vector<InputRow>& rows, bool real, const char* option, const char* help) {
    static const char* const kKeys[2][6] = {
        {"nominal_rate_1_percent", "nominal_rate_2_percent", "nominal_rate_3_percent",
         "nominal_rate_4_percent", "nominal_rate_5_percent", "nominal_rate_6_percent"},
        {"real_rate_1_percent", "real_rate_2_percent", "real_rate_3_percent", "real_rate_4_percent",
         "real_rate_5_percent", "real_rate_6_percent"}};
    static const char* const kCaptions[2][6] = {
        {"Nominal rate 0 - 5 years", "Nominal rate 5 - 10 years", "Nominal rate 10 - 15 years",
         "Nominal rate 15 - 20 years", "Nominal rate 20 - 25 years", "Nominal rate above 25 years"},
        {"Real rate 0 - 5 years", "Real rate 5 - 10 years", "Real rate 10 - 15 years",
         "Real rate 15 - 20 years", "Real rate 20 - 25 years", "Real rate above 25 years"}};
    double S::*const fields[2][6] = {{&S::nominal_rate_1, &S::nominal_rate_2, &S::nominal_rate_3,
                                      &S::nominal_rate_4, &S::nominal_rate_5, &S::nominal_rate_6},
                                     {&S::real_rate_1, &S::real_rate_2, &S::real_rate_3,
                                      &S::real_rate_4, &S::real_rate_5, &S::real_rate_6}};
    const int c = real ? 1 : 0;
    for (int k = 0; k < 6; ++k)
        rows.push_back(
            {.key = kKeys[c][k],
             .caption = kCaptions[c][k],
             .page = 2,
             .list = kRates,
             .default_index = real ? 29 : 49,
             .number = fields[c][k],
             .json_key = real ? "real_curve" : "nominal_curve",
             .json_index = k,
             .option = option,
             .option_type = "R,R,R,R,R,R",
             .option_group = kCurves,
             .help = k == 0 ? help : "",
             .range = "a percent from 0.1 to 50 in steps of 0.1",
             .option_range = "six percents from 0.1 to 50 in steps of 0.1 separated by commas",
             .default_each = true});
}

// The rows by input page, in the catalogue's order.
void person_and_money_rows(std::vector<InputRow>& rows) {
    rows.push_back({.key = "current_age",
                    .caption = "Current age",
                    .page = 3,
                    .list = kAges,
                    .default_index = 15,
                    .number = &S::current_age,
                    .json_key = "current_age",
                    .option = "--age",
                    .option_type = "YEARS",
                    .option_group = kPerson,
                    .help = "current age, whole years 50 to 90",
                    .range = "a whole age from 50 to 90"});
    rows.push_back({.key = "gender",
                    .caption = "Gender",
                    .kind = InputKind::choice,
                    .page = 3,
                    .captions = {"Male", "Female", "Unisex"},
                    .names = {"male", "female", "unisex"},
                    .code = &S::gender_code,
                    .text = &S::gender_text,
                    .json_key = "gender",
                    .option = "--gender",
                    .option_type = "NAME",
                    .option_group = kPerson,
                    .help = "male, female or unisex"});

    rows.push_back(amount("liquid_wealth", "Liquid retirement wealth", &S::liquid_wealth, "800,000",
                          "liquid_wealth", nullptr, "--wealth", "liquid retirement wealth, >= 0"));
    rows.push_back(amount("target_income", "Real target income", &S::target_income, "40,000",
                          "target_income", nullptr, "--target",
                          "real target income per year, > 0"));
    rows.push_back(amount("pension_nominal_income", "Nominal / COLA pension income",
                          &S::pension_nominal_income, "0", "pension_income", "nominal",
                          "--pension-nominal",
                          "current nominal (COLA) pension income per year, >= 0"));
    rows.push_back(amount("pension_cpi_income", "CPI-linked pension income", &S::pension_cpi_income,
                          "0", "pension_income", "cpi", "--pension-cpi",
                          "current CPI-linked pension income per year, >= 0"));
    rows.push_back(amount("pension_variable_income", "Variable / AIR pension income",
                          &S::pension_variable_income, "0", "pension_income", "variable",
                          "--pension-variable",
                          "current variable (AIR) pension income per year, >= 0"));
    rows.push_back(amount("purchase_nominal", "Nominal / COLA annuity purchase",
                          &S::purchase_nominal, "0", "annuity_purchase", "nominal",
                          "--purchase-nominal",
                          "amount spent on a nominal (COLA) life annuity, >= 0"));
    rows.push_back(amount("purchase_cpi", "CPI-linked annuity purchase", &S::purchase_cpi, "0",
                          "annuity_purchase", "cpi", "--purchase-cpi",
                          "amount spent on a CPI-linked life annuity, >= 0"));
    rows.push_back(amount("purchase_variable", "Variable / AIR annuity purchase",
                          &S::purchase_variable, "0", "annuity_purchase", "variable",
                          "--purchase-variable",
                          "amount spent on a variable (AIR) life annuity, >= 0"));
    rows.push_back({.key = "cola_percent",
                    .caption = "COLA",
                    .page = 3,
                    .list = kCola,
                    .default_index = 0,
                    .number = &S::cola_rate,
                    .copy = &S::cola_rate_mirror,
                    .json_key = "cola_rate",
                    .option = "--cola",
                    .option_type = "PERCENT",
                    .option_group = kMoney,
                    .help = "cost-of-living adjustment, whole percent 0 to 4",
                    .range = "a whole percent from 0 to 4"});
    rows.push_back({.key = "air_percent",
                    .caption = "AIR",
                    .page = 3,
                    .list = kAir,
                    .default_index = 0,
                    .number = &S::air_rate,
                    .copy = &S::air_rate_mirror,
                    .json_key = "air_rate",
                    .option = "--air",
                    .option_type = "PERCENT",
                    .option_group = kMoney,
                    .help = "assumed interest rate, percent: 2, 4, 6 or 8",
                    .range = "one of 2, 4, 6, 8 (percent)"});
}

void household_rows(std::vector<InputRow>& rows) {
    rows.push_back({.key = "spouse_age",
                    .caption = "Spouse's age",
                    .page = 3,
                    .list = kSpouseAges,
                    .default_index = 0,
                    .number = &S::spouse_age,
                    .json_key = "spouse_age",
                    .option = "--spouse-age",
                    .option_type = "YEARS",
                    .option_group = kHousehold,
                    .help = "the spouse's current age, whole years 50 to 90; 0 for none",
                    .range = "0 (no spouse) or a whole age from 50 to 90",
                    .household = true});
    rows.push_back({.key = "spouse_gender",
                    .caption = "Spouse's gender",
                    .kind = InputKind::choice,
                    .page = 3,
                    .captions = {"Male", "Female", "Unisex"},
                    .names = {"male", "female", "unisex"},
                    .default_index = 1,
                    .code = &S::spouse_gender_code,
                    .json_key = "spouse_gender",
                    .option = "--spouse-gender",
                    .option_type = "NAME",
                    .option_group = kHousehold,
                    .help = "the spouse's gender: male, female or unisex",
                    .household = true});
    rows.push_back({.key = "survivor_spending_percent",
                    .caption = "Survivor spending",
                    .page = 3,
                    .list = kSurvivorPercent,
                    .default_index = 70,
                    .number = &S::survivor_spending,
                    .json_key = "survivor_spending",
                    .option = "--survivor-spending",
                    .option_type = "PERCENT",
                    .option_group = kHousehold,
                    .help = "spending while one of the two survives, whole percent 0 to 100 of "
                            "the target",
                    .range = "a whole percent from 0 to 100",
                    .household = true});
    rows.push_back({.key = "survivor_share_percent",
                    .caption = "Survivor share",
                    .page = 3,
                    .list = kSurvivorPercent,
                    .default_index = 60,
                    .number = &S::survivor_share,
                    .json_key = "survivor_share",
                    .option = "--survivor-share",
                    .option_type = "PERCENT",
                    .option_group = kHousehold,
                    .help = "share of a pension and of the annuities that continues to the "
                            "survivor, whole percent 0 to 100",
                    .range = "a whole percent from 0 to 100",
                    .household = true});
    InputRow pension = amount("spouse_pension_cpi_income", "Spouse's CPI-linked pension income",
                              &S::spouse_pension_cpi_income, "0", "spouse_pension_cpi", nullptr,
                              "--spouse-pension-cpi",
                              "the spouse's CPI-linked pension income per year, >= 0");
    pension.option_group = kHousehold;
    pension.household = true;
    rows.push_back(pension);
}

void allocation_rows(std::vector<InputRow>& rows) {
    weights(rows, false, "--today", "allocation today, whole percents 0 to 100");
    weights(rows, true, "--later", "allocation after the switch, whole percents 0 to 100");
    rows.push_back({.key = "later_allocation_years",
                    .caption = "Years until the later allocation",
                    .page = 4,
                    .list = kLaterYears,
                    .default_index = 0,
                    .code = &S::later_allocation_years,
                    .json_key = "later_allocation_years",
                    .option = "--switch-years",
                    .option_type = "YEARS",
                    .option_group = kAllocation,
                    .help = "years until the later allocation applies: 5, 10, 15, 20, 25 or 30",
                    .range = "one of 5, 10, 15, 20, 25, 30"});
}

void market_rows(std::vector<InputRow>& rows) {
    rows.push_back(
        {.key = "market",
         .caption = "Market",
         .kind = InputKind::choice,
         .page = 4,
         .captions = {"U.S.A", "Canada"},
         .names = {"usa", "canada"},
         .code = &S::market_country,
         .json_key = "market",
         .option = "--market",
         .option_type = "NAME",
         .option_group = kMarket,
         .help = "preset usa or canada, applied before the single means and deviations"});
    rows.push_back(assumption("mean_stock_percent", "Equity / Stocks mean", &S::mean_stock, true, 0,
                              70, 60, "--stock-mean", "expected return of stocks, 0 to 30 by 0.1"));
    rows.push_back(assumption("mean_nomi_bond_percent", "Nominal Return Bonds mean",
                              &S::mean_nomi_bond, true, 1, 30, 30, "--nominal-bond-mean",
                              "expected return of nominal bonds, 0 to 30 by 0.1"));
    rows.push_back(assumption("mean_real_bond_percent", "Real Return Bonds mean",
                              &S::mean_real_bond, true, 2, 25, 20, "--real-bond-mean",
                              "expected return of real return bonds, 0 to 30 by 0.1"));
    rows.push_back(assumption("mean_cash_percent", "Cash / Money Market mean", &S::mean_cash, true,
                              3, 5, 5, "--cash-mean", "expected return of cash, 0 to 30 by 0.1"));
    rows.push_back(assumption("mean_estate_percent", "Real Estate mean", &S::mean_estate, true, 4,
                              35, 35, "--estate-mean",
                              "expected return of real estate, 0 to 30 by 0.1"));
    rows.push_back(assumption("dev_stock_percent", "Equity / Stocks deviation", &S::dev_stock,
                              false, 0, 200, 180, "--stock-dev",
                              "standard deviation of stocks, 0 to 40 by 0.1"));
    rows.push_back(assumption("dev_nomi_bond_percent", "Nominal Return Bonds deviation",
                              &S::dev_nomi_bond, false, 1, 100, 100, "--nominal-bond-dev",
                              "standard deviation of nominal bonds, 0 to 40 by 0.1"));
    rows.push_back(assumption("dev_real_bond_percent", "Real Return Bonds deviation",
                              &S::dev_real_bond, false, 2, 80, 70, "--real-bond-dev",
                              "standard deviation of real return bonds, 0 to 40 by 0.1"));
    rows.push_back(assumption("dev_estate_percent", "Real Estate deviation", &S::dev_estate, false,
                              3, 120, 140, "--estate-dev",
                              "standard deviation of real estate, 0 to 40 by 0.1"));
    // Not part of a market's preset: a fee belongs to the person's adviser.
    rows.push_back({.key = "advisory_fee_percent",
                    .caption = "Advisory fee",
                    .page = 5,
                    .list = kFee,
                    .default_index = 0,
                    .number = &S::advisory_fee,
                    .json_key = "advisory_fee",
                    .option = "--fee",
                    .option_type = "PERCENT",
                    .option_group = kMarket,
                    .help = "advisory fee per year on the invested portfolio (not on annuities), "
                            "0 to 3 by 0.05",
                    .range = "a percent from 0 to 3 in steps of 0.05"});
}

const char* const kSpending = "Spending rule (percent options take percents)";

InputRow spending_list(const char* key, const char* caption, double S::*field, ListRule list,
                       int default_index, const char* json_sub, const char* option,
                       const char* help, const char* range) {
    return {.key = key,
            .caption = caption,
            .page = 3,
            .list = list,
            .default_index = default_index,
            .number = field,
            .json_key = "spending",
            .json_sub = json_sub,
            .option = option,
            .option_type = "PERCENT",
            .option_group = kSpending,
            .help = help,
            .range = range};
}

// Floor and ceiling as amounts: 0 stands for the default relative to the
// target income, which then follows the target.
InputRow spending_bound(const char* key, const char* caption, double S::*field,
                        const char* json_sub, const char* option, const char* help) {
    return {.key = key,
            .caption = caption,
            .kind = InputKind::amount,
            .page = 3,
            .default_amount = "0",
            .number = field,
            .json_key = "spending",
            .json_sub = json_sub,
            .option = option,
            .option_type = "AMOUNT",
            .option_group = kSpending,
            .help = help,
            .range = "a nonnegative amount"};
}

void spending_rows(std::vector<InputRow>& rows) {
    rows.push_back({.key = "spending_rule",
                    .caption = "Spending rule",
                    .kind = InputKind::choice,
                    .page = 3,
                    .captions = {"Fixed real income", "Percent of wealth", "Guardrails"},
                    .names = {"fixed", "percent", "guardrails"},
                    .code = &S::spending_rule,
                    .json_key = "spending",
                    .json_sub = "rule",
                    .option = "--spending",
                    .option_type = "NAME",
                    .option_group = kSpending,
                    .help = "fixed: the target income every year; percent: the spending rate times "
                            "wealth, between the floor and the ceiling; guardrails: the target, "
                            "cut or raised at yearly reviews, between the floor and the ceiling "
                            "(simulated: 100,000 paths, or --monte-carlo N)"});
    rows.push_back(spending_list("spending_rate_percent", "Spending rate", &S::spending_rate,
                                 kSpendingRate, 30, "rate", "--spending-rate",
                                 "percent rule: spending as a percent of wealth per year, 2 to 10 "
                                 "by 0.1",
                                 "a percent from 2 to 10 in steps of 0.1"));
    rows.push_back(spending_bound("spending_floor", "Spending floor", &S::spending_floor, "floor",
                                  "--spending-floor",
                                  "lowest real spending per year, >= 0; 0: 75% of the target "
                                  "income"));
    rows.push_back(spending_bound("spending_ceiling", "Spending ceiling", &S::spending_ceiling,
                                  "ceiling", "--spending-ceiling",
                                  "highest real spending per year, >= 0; 0: 150% of the target "
                                  "income"));
    rows.push_back(spending_list("guardrail_upper_percent", "Upper guardrail", &S::guardrail_upper,
                                 kGuardrail, 20, "guardrail_upper", "--guardrail-upper",
                                 "guardrails: cut when the withdrawal rate exceeds the first "
                                 "year's by more than this percent, whole 0 to 100",
                                 "a whole percent from 0 to 100"));
    rows.push_back(spending_list("guardrail_lower_percent", "Lower guardrail", &S::guardrail_lower,
                                 kGuardrail, 20, "guardrail_lower", "--guardrail-lower",
                                 "guardrails: raise when the withdrawal rate is below the first "
                                 "year's by more than this percent, whole 0 to 100",
                                 "a whole percent from 0 to 100"));
    rows.push_back(spending_list("spending_cut_percent", "Spending cut", &S::spending_cut,
                                 kSpendingStep, 10, "cut", "--spending-cut",
                                 "guardrails: the cut, whole percent 0 to 50",
                                 "a whole percent from 0 to 50"));
    rows.push_back(spending_list("spending_raise_percent", "Spending raise", &S::spending_raise,
                                 kSpendingStep, 10, "raise", "--spending-raise",
                                 "guardrails: the raise, whole percent 0 to 50",
                                 "a whole percent from 0 to 50"));
}

void mortality_rows(std::vector<InputRow>& rows) {
    rows.push_back({.key = "ruin_table",
                    .caption = "Ruin probability table",
                    .kind = InputKind::choice,
                    .page = 1,
                    .captions = {"UP 1994", "IAM 2000  Basic", "RP2000"},
                    .names = {"up1994", "iam2000", "rp2000"},
                    .code_base = 1,
                    .code = &S::ruin_table_code,
                    .text = &S::ruin_table_name,
                    .json_key = "ruin_table",
                    .option = "--ruin-table",
                    .option_type = "NAME",
                    .option_group = kMortality,
                    .help = "table of the ruin probabilities: up1994, iam2000 or rp2000"});
    rows.push_back({.key = "ruin_projection_years",
                    .caption = "Ruin table projection",
                    .page = 1,
                    .list = kProjection,
                    .code = &S::ruin_projection_years,
                    .text = &S::ruin_projection_text,
                    .json_key = "ruin_projection_years",
                    .option = "--ruin-projection",
                    .option_type = "YEARS",
                    .option_group = kMortality,
                    .help = "projection of the ruin table, whole years 0 to 30",
                    .range = "a whole number of years from 0 to 30"});
    rows.push_back({.key = "annuity_table",
                    .caption = "Annuity table",
                    .kind = InputKind::choice,
                    .page = 1,
                    .captions = {"GAM 1983 (PBGC)", "IAM 2000 Basic"},
                    .names = {"gam1983", "iam2000"},
                    .code_base = 1,
                    .code = &S::annuity_table_code,
                    .text = &S::annuity_table_name,
                    .json_key = "annuity_table",
                    .option = "--annuity-table",
                    .option_type = "NAME",
                    .option_group = kMortality,
                    .help = "table of the annuity prices: gam1983 or iam2000"});
    rows.push_back({.key = "annuity_projection_years",
                    .caption = "Annuity table projection",
                    .page = 1,
                    .list = kProjection,
                    .code = &S::annuity_projection_years,
                    .text = &S::annuity_projection_text,
                    .json_key = "annuity_projection_years",
                    .option = "--annuity-projection",
                    .option_type = "YEARS",
                    .option_group = kMortality,
                    .help = "projection of the annuity table, whole years 0 to 30",
                    .range = "a whole number of years from 0 to 30"});
}

std::vector<InputRow> build_catalogue() {
    std::vector<InputRow> rows;
    person_and_money_rows(rows);
    allocation_rows(rows);
    market_rows(rows);
    spending_rows(rows);
    mortality_rows(rows);
    curve(rows, false, "--nominal-curve", "nominal rates, percent 0.1 to 50 by 0.1");
    curve(rows, true, "--real-curve", "real rates, percent 0.1 to 50 by 0.1");
    // Last, so that the rows before keep their positions.
    household_rows(rows);
    return rows;
}

long long ticks_of(const InputRow& row, int index) {
    if (row.list.none_item) {
        if (index == 0) return 0;
        --index;
    }
    return row.list.first + static_cast<long long>(index) * row.list.step;
}

// The list position of a tick count; nullopt when no item holds it.
std::optional<int> index_of_ticks(const ListRule& r, long long ticks) {
    if (r.none_item && ticks == 0) return 0;
    const long long offset = ticks - r.first;
    if (offset < 0 || offset % r.step != 0 || offset / r.step >= r.count) return std::nullopt;
    return static_cast<int>(offset / r.step) + (r.none_item ? 1 : 0);
}

std::string lower_trimmed(std::string_view text) {
    const size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos) return {};
    std::string out(text.substr(begin, text.find_last_not_of(" \t") + 1 - begin));
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace

const std::vector<InputRow>& input_catalogue() {
    static const std::vector<InputRow> rows = build_catalogue();
    return rows;
}

std::size_t input_index(std::string_view key) {
    const auto& rows = input_catalogue();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (key == rows[i].key) return i;
    throw std::out_of_range("no input named " + std::string(key));
}

const InputRow& input_row(std::string_view key) { return input_catalogue()[input_index(key)]; }

namespace {
const char* caption_at(std::string_view key, int index) {
    const auto& captions = input_row(key).captions;
    const auto i = static_cast<std::size_t>(index);
    return i < captions.size() ? captions[i] : captions.back();
}
}  // namespace

const char* gender_caption(int index) { return caption_at("gender", index); }
const char* ruin_table_caption(int code) { return caption_at("ruin_table", code - 1); }
const char* annuity_table_caption(int code) { return caption_at("annuity_table", code - 1); }
const char* market_caption(int country) { return caption_at("market", country == 0 ? 0 : 1); }

int item_count(const InputRow& row) {
    switch (row.kind) {
        case InputKind::list: return row.list.count + (row.list.none_item ? 1 : 0);
        case InputKind::choice: return static_cast<int>(row.captions.size());
        case InputKind::amount: break;
    }
    return 0;
}

std::string item_text(const InputRow& row, int index) {
    if (row.kind == InputKind::choice) return row.captions.at(static_cast<std::size_t>(index));
    if (row.list.none_item && index == 0) return "None";
    const long long ticks = ticks_of(row, index);
    switch (row.list.style) {
        case ItemStyle::number: return std::to_string(ticks);
        case ItemStyle::whole_percent: return std::to_string(ticks) + "%";
        case ItemStyle::percent2:
            return format_percent2(static_cast<double>(ticks) / row.list.per_record);
    }
    return {};
}

double natural_value(const InputRow& row, int index) {
    return static_cast<double>(ticks_of(row, index)) / row.list.per_natural;
}

std::string natural_text(const InputRow& row, int index) {
    const long long ticks = ticks_of(row, index);
    const int per = row.list.per_natural;
    std::string text = std::to_string(ticks / per);
    if (ticks % per != 0) {
        // per_natural is 1, 10 or 100: the decimals it gives, trailing zeros dropped.
        std::string decimals = std::to_string(ticks % per);
        decimals.insert(0, std::to_string(per).size() - 1 - decimals.size(), '0');
        while (decimals.back() == '0') decimals.pop_back();
        text += "." + decimals;
    }
    return text;
}

std::optional<int> index_of_natural(const InputRow& row, double natural) {
    if (row.kind != InputKind::list || !std::isfinite(natural)) return std::nullopt;
    const ListRule& r = row.list;
    long long ticks = 0;
    if (r.per_natural == 1) {
        if (natural != std::floor(natural) || std::fabs(natural) > 1e9) return std::nullopt;
        ticks = static_cast<long long>(natural);
    } else {
        const double scaled = natural * r.per_natural;
        if (std::fabs(scaled) > 1e9) return std::nullopt;
        ticks = std::llround(scaled);
        if (std::fabs(scaled - static_cast<double>(ticks)) > 1e-6) return std::nullopt;
    }
    return index_of_ticks(r, ticks);
}

std::optional<int> index_of_name(const InputRow& row, std::string_view name) {
    const std::string key = lower_trimmed(name);
    for (std::size_t i = 0; i < row.names.size(); ++i)
        if (key == row.names[i]) return static_cast<int>(i);
    return std::nullopt;
}

std::string input_range(const InputRow& row) {
    if (row.kind != InputKind::choice) return row.range;
    std::string text = "one of";
    for (std::size_t i = 0; i < row.names.size(); ++i)
        text += (i ? ", " : " ") + std::string(row.names[i]);
    return text;
}

InputValue default_value(const InputRow& row) {
    if (row.kind == InputKind::amount)
        return {.index = 0, .amount = parse_amount(row.default_amount).value_or(0)};
    if (row.follows_market) {
        const int market = input_row("market").default_index;
        return {.index = row.preset.at(static_cast<std::size_t>(market))};
    }
    return {.index = row.default_index};
}

InputValues default_input_values() {
    InputValues values;
    for (const InputRow& row : input_catalogue()) values.push_back(default_value(row));
    return values;
}

std::vector<std::size_t> market_rows() {
    std::vector<std::size_t> rows;
    const auto& all = input_catalogue();
    for (std::size_t i = 0; i < all.size(); ++i)
        if (all[i].follows_market) rows.push_back(i);
    return rows;
}

void write_input(AnalysisState& s, const InputRow& row, InputValue value) {
    switch (row.kind) {
        case InputKind::amount: s.*row.number = value.amount; return;
        case InputKind::choice:
            s.*row.code = static_cast<std::int16_t>(value.index + row.code_base);
            if (row.text != nullptr) s.*row.text = item_text(row, value.index);
            break;
        case InputKind::list: {
            const long long ticks = ticks_of(row, value.index);
            if (row.number != nullptr)
                s.*row.number = static_cast<double>(ticks) / row.list.per_record;
            if (row.copy != nullptr) s.*row.copy = s.*row.number;
            if (row.code != nullptr)
                s.*row.code = static_cast<std::int16_t>(ticks / row.list.per_record);
            if (row.text != nullptr) s.*row.text = item_text(row, value.index);
            return;
        }
    }
    // A market choice brings its preset of the assumptions.
    if (row.code == &S::market_country) {
        for (std::size_t i : market_rows()) {
            const InputRow& r = input_catalogue()[i];
            write_input(s, r, {.index = r.preset.at(static_cast<std::size_t>(value.index))});
        }
    }
}

void write_inputs(AnalysisState& s, const InputValues& values) {
    const auto& rows = input_catalogue();
    const std::size_t market = input_index("market");
    write_input(s, rows[market], values.at(market));
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (i != market) write_input(s, rows[i], values.at(i));
}

std::optional<InputValue> read_input(const AnalysisState& s, const InputRow& row) {
    switch (row.kind) {
        case InputKind::amount: {
            const double v = s.*row.number;
            if (!std::isfinite(v) || v < 0) return std::nullopt;
            return InputValue{.index = 0, .amount = v};
        }
        case InputKind::choice: {
            const int i = s.*row.code - row.code_base;
            if (i < 0 || i >= item_count(row)) return std::nullopt;
            return InputValue{.index = i};
        }
        case InputKind::list: break;
    }
    const ListRule& r = row.list;
    const double record = row.number != nullptr ? s.*row.number : static_cast<double>(s.*row.code);
    if (!std::isfinite(record) || std::fabs(record) > 1e9) return std::nullopt;
    const long long ticks = std::llround(record * r.per_record);
    if (static_cast<double>(ticks) / r.per_record != record) return std::nullopt;
    const auto index = index_of_ticks(r, ticks);
    if (!index) return std::nullopt;
    return InputValue{.index = *index};
}

bool household_at_defaults(const InputValues& values) {
    const auto& rows = input_catalogue();
    for (std::size_t i = 0; i < rows.size() && i < values.size(); ++i)
        if (rows[i].household && !(values[i] == default_value(rows[i]))) return false;
    return true;
}

}  // namespace quorrel
