#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <set>
#include <string>

#include "record/analysis_state.h"
#include "valuation/gompertz.h"
#include "valuation/mortality_tables.h"
#include "valuation_test_support.h"

namespace quorrel {
namespace {

const std::string kParametersCsv = std::string(QUORREL_DATA_DIR) + "/mortality/gm_parameters.csv";

MortalityTable table_from_key(const std::string& key) {
    if (key == "gam1983") return MortalityTable::gam1983;
    if (key == "up1994") return MortalityTable::up1994;
    if (key == "iam2000") return MortalityTable::iam2000;
    return MortalityTable::rp2000;
}

int gender_from_key(const std::string& key) {
    if (key == "male") return 0;
    if (key == "female") return 1;
    return 2;
}

AnalysisState loaded_state() {
    AnalysisState s;
    load_mortality_tables(s);
    return s;
}

// --- The compiled arrays and the data file ---------------------------------

// The arrays are generated from the CSV; this catches the two drifting apart
// (a CSV change without rerunning tools/gen_mortality_data.py).
TEST(MortalityData, ArraysEqualTheCsv) {
    const auto rows = test::read_csv(kParametersCsv);
    ASSERT_EQ(rows.size(), 492u) << kParametersCsv;
    const AnalysisState s = loaded_state();
    std::set<std::string> seen;
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 6u);
        const int age = std::stoi(row[2]);
        ASSERT_GE(age, 50);
        ASSERT_LE(age, 90);
        seen.insert(row[0] + "/" + row[1] + "/" + row[2]);
        // Projection 0 returns the stored triple; whole ages read their row.
        const GompertzMakehamParams p =
            select_mortality_parameters(s, table_from_key(row[0]), gender_from_key(row[1]), age, 0);
        EXPECT_EQ(p.lambda, std::strtod(row[3].c_str(), nullptr))
            << row[0] << " " << row[1] << " " << age;
        EXPECT_EQ(p.modal_age, std::strtod(row[4].c_str(), nullptr))
            << row[0] << " " << row[1] << " " << age;
        EXPECT_EQ(p.dispersion, std::strtod(row[5].c_str(), nullptr))
            << row[0] << " " << row[1] << " " << age;
    }
    EXPECT_EQ(seen.size(), 492u) << "duplicate rows in the CSV";
}

TEST(MortalityData, ReferenceRowsAtFiftySixtyFiveEightyNinety) {
    struct Row {
        MortalityTable table;
        int gender;
        int age;
        double lambda, m, b;
    };
    // The reference values of the four tables, exactly as published with them.
    const Row rows[] = {
        {MortalityTable::gam1983, 0, 50, 0.0, 81.3622, 10.0176},
        {MortalityTable::gam1983, 1, 50, 0.0, 87.4942, 9.0105},
        {MortalityTable::gam1983, 2, 50, 0.0, 85.1379, 9.6837},
        {MortalityTable::gam1983, 0, 65, 0.0011, 80.9356, 10.5932},
        {MortalityTable::gam1983, 1, 65, 0.0, 87.2863, 9.3115},
        {MortalityTable::gam1983, 2, 65, 0.0, 84.77, 10.1255},
        {MortalityTable::gam1983, 0, 80, 0.0028, 94.2089, 4.3567},
        {MortalityTable::gam1983, 1, 80, 0.0572, 94.7268, 5.7092},
        {MortalityTable::gam1983, 2, 80, 0.0744, 94.5557, 5.9352},
        {MortalityTable::gam1983, 0, 90, 0.3187, 101.8705, 1.0014},
        {MortalityTable::gam1983, 1, 90, 0.2104, 101.4866, 2.0816},
        {MortalityTable::gam1983, 2, 90, 0.24, 102.3698, 1.7399},
        {MortalityTable::iam2000, 0, 50, 0.0001, 86.0368, 10.4532},
        {MortalityTable::iam2000, 1, 50, 0.0007, 89.6598, 8.6546},
        {MortalityTable::iam2000, 2, 50, 0.0005, 88.9413, 9.5689},
        {MortalityTable::iam2000, 0, 65, 0.0, 85.7217, 10.7821},
        {MortalityTable::iam2000, 1, 65, 0.0, 89.3966, 8.8928},
        {MortalityTable::iam2000, 2, 65, 0.0, 88.6256, 9.8587},
        {MortalityTable::iam2000, 0, 80, 0.0522, 93.7069, 7.7199},
        {MortalityTable::iam2000, 1, 80, 0.0075, 88.9585, 9.8055},
        {MortalityTable::iam2000, 2, 80, 0.0236, 91.6409, 9.0526},
        {MortalityTable::iam2000, 0, 90, 0.2031, 104.1601, 2.2004},
        {MortalityTable::iam2000, 1, 90, 0.1871, 104.3298, 2.7598},
        {MortalityTable::iam2000, 2, 90, 0.1754, 104.4664, 2.9804},
        {MortalityTable::up1994, 0, 50, 0.0, 84.1306, 10.0551},
        {MortalityTable::up1994, 1, 50, 0.0001, 88.5645, 9.1719},
        {MortalityTable::up1994, 2, 50, 0.0, 87.208, 9.725},
        {MortalityTable::up1994, 0, 65, 0.0059, 85.3843, 9.5692},
        {MortalityTable::up1994, 1, 65, 0.0029, 89.2373, 8.7547},
        {MortalityTable::up1994, 2, 65, 0.0039, 88.1203, 9.2749},
        {MortalityTable::up1994, 0, 80, 0.0803, 94.3426, 5.4183},
        {MortalityTable::up1994, 1, 80, 0.031, 92.6324, 7.4655},
        {MortalityTable::up1994, 2, 80, 0.0466, 93.7605, 6.8072},
        {MortalityTable::up1994, 0, 90, 0.265, 102.7809, 1.748},
        {MortalityTable::up1994, 1, 90, 0.1939, 102.8275, 2.638},
        {MortalityTable::up1994, 2, 90, 0.2046, 102.9959, 2.5598},
        {MortalityTable::rp2000, 0, 50, 0.0029, 84.7458, 8.6052},
        {MortalityTable::rp2000, 1, 50, 0.0004, 87.0661, 9.5804},
        {MortalityTable::rp2000, 2, 50, 0.0111, 86.7812, 9.0423},
        {MortalityTable::rp2000, 0, 65, 0.0052, 85.0365, 8.567},
        {MortalityTable::rp2000, 1, 65, 0.0026, 87.5383, 9.3541},
        {MortalityTable::rp2000, 2, 65, 0.0035, 87.0942, 8.9396},
        {MortalityTable::rp2000, 0, 80, 0.0778, 92.0981, 5.7559},
        {MortalityTable::rp2000, 1, 80, 0.0216, 88.7605, 9.5958},
        {MortalityTable::rp2000, 2, 80, 0.0426, 91.4286, 7.4664},
        {MortalityTable::rp2000, 0, 90, 0.3249, 102.6049, 1.3921},
        {MortalityTable::rp2000, 1, 90, 0.2215, 106.3079, 2.4859},
        {MortalityTable::rp2000, 2, 90, 0.2459, 104.2704, 2.131},
    };
    const AnalysisState s = loaded_state();
    for (const Row& r : rows) {
        const GompertzMakehamParams p = select_mortality_parameters(s, r.table, r.gender, r.age, 0);
        EXPECT_EQ(p.lambda, r.lambda)
            << static_cast<int>(r.table) << " " << r.gender << " " << r.age;
        EXPECT_EQ(p.modal_age, r.m) << static_cast<int>(r.table) << " " << r.gender << " " << r.age;
        EXPECT_EQ(p.dispersion, r.b)
            << static_cast<int>(r.table) << " " << r.gender << " " << r.age;
    }
}

// Every value lies in [0, 106.3079] with at most four decimals, lambda is 0
// or at least 0.0001, and the dispersion is positive. Checked on the text of
// the file, so a value like 0.12345 cannot hide behind rounding.
TEST(MortalityData, ValuesInRangeWithAtMostFourDecimals) {
    const auto rows = test::read_csv(kParametersCsv);
    ASSERT_EQ(rows.size(), 492u);
    double largest = 0;
    for (const auto& row : rows) {
        for (int col = 3; col <= 5; ++col) {
            const std::string& text = row[static_cast<size_t>(col)];
            const auto point = text.find('.');
            if (point != std::string::npos) {
                EXPECT_LE(text.size() - point - 1, 4u) << text;
            }
            EXPECT_EQ(text.find_first_not_of("0123456789."), std::string::npos) << text;
            const double v = std::strtod(text.c_str(), nullptr);
            EXPECT_GE(v, 0.0) << text;
            EXPECT_LE(v, 106.3079) << text;
            largest = std::max(largest, v);
        }
        const double lambda = std::strtod(row[3].c_str(), nullptr);
        EXPECT_TRUE(lambda == 0 || lambda >= 0.0001) << row[0] << " " << row[1] << " " << row[2];
        EXPECT_GT(std::strtod(row[5].c_str(), nullptr), 0.0);
    }
    EXPECT_EQ(largest, 106.3079);
}

// The data's own quirks stay: the reference row at 80 breaks the smooth run
// of fitted rows around it.
TEST(MortalityData, QuirksKept) {
    const AnalysisState s = loaded_state();
    EXPECT_EQ(s.gam1983_male_modal_age[30], 94.2089);
    EXPECT_LT(s.gam1983_male_modal_age[29], 80.0);
    EXPECT_LT(s.gam1983_male_modal_age[31], 80.0);
    EXPECT_EQ(s.rp2000_unisex_lambda[0], 0.0111);
}

// Closed-form life expectancy (incomplete gamma) against age plus the
// integral of the survival function by Simpson's rule, for every row.
TEST(MortalityData, ClosedFormLifeExpectancyMatchesIntegralForEveryRow) {
    const auto rows = test::read_csv(kParametersCsv);
    ASSERT_EQ(rows.size(), 492u);
    double worst = 0;
    for (const auto& row : rows) {
        const double age = std::stod(row[2]);
        const double lambda = std::stod(row[3]), m = std::stod(row[4]), b = std::stod(row[5]);
        const double closed = mean_death_age(age, m, b, lambda);
        const double integral = age + test::survival_integral(0, -1, 0, age, lambda, m, b);
        worst = std::max(worst, std::fabs(closed - integral));
        EXPECT_NEAR(closed, integral, 0.01) << row[0] << " " << row[1] << " " << age;
    }
    // With the accurate incomplete gamma they agree far more closely
    // (measured: 7e-8 years at worst).
    EXPECT_LT(worst, 1e-6);
}

// --- Loading and selection --------------------------------------------------

TEST(MortalityTables, LoaderFillsCorrelations) {
    const AnalysisState s = loaded_state();
    const std::array<double, 6> expected{0, 0, 0, 0.5, 0, 0};
    EXPECT_EQ(s.asset_correlation, expected);
}

TEST(MortalityTables, CodesMapToTables) {
    EXPECT_EQ(annuity_table_for_code(1), MortalityTable::gam1983);
    EXPECT_EQ(annuity_table_for_code(2), MortalityTable::iam2000);
    for (int code : {0, 3, -1, 99})
        EXPECT_EQ(annuity_table_for_code(code), MortalityTable::iam2000) << code;
    EXPECT_EQ(ruin_table_for_code(1), MortalityTable::up1994);
    EXPECT_EQ(ruin_table_for_code(2), MortalityTable::iam2000);
    EXPECT_EQ(ruin_table_for_code(3), MortalityTable::rp2000);
    for (int code : {0, 4, -1, 99})
        EXPECT_EQ(ruin_table_for_code(code), MortalityTable::rp2000) << code;
}

TEST(MortalityTables, AgeFiftyReadsRowZeroAndNinetyRowForty) {
    const AnalysisState s = loaded_state();
    auto p = select_mortality_parameters(s, MortalityTable::up1994, 1, 50, 0);
    EXPECT_EQ(p.lambda, s.up1994_female_lambda[0]);
    EXPECT_EQ(p.modal_age, s.up1994_female_modal_age[0]);
    EXPECT_EQ(p.dispersion, s.up1994_female_dispersion[0]);
    p = select_mortality_parameters(s, MortalityTable::up1994, 1, 90, 0);
    EXPECT_EQ(p.lambda, s.up1994_female_lambda[40]);
    EXPECT_EQ(p.modal_age, s.up1994_female_modal_age[40]);
    EXPECT_EQ(p.dispersion, s.up1994_female_dispersion[40]);
    // A fractional age reads the row of its whole part.
    p = select_mortality_parameters(s, MortalityTable::up1994, 1, 65.9, 0);
    EXPECT_EQ(p.modal_age, s.up1994_female_modal_age[15]);
}

TEST(MortalityTables, AgesOutsideTheTablesAreHeldToTheEndRows) {
    const AnalysisState s = loaded_state();
    for (double age : {49.0, 30.0, -1e9, std::nan("")}) {
        const auto p = select_mortality_parameters(s, MortalityTable::rp2000, 0, age, 0);
        EXPECT_EQ(p.modal_age, s.rp2000_male_modal_age[0]) << age;
    }
    for (double age : {91.0, 120.0, 1e9}) {
        const auto p = select_mortality_parameters(s, MortalityTable::rp2000, 0, age, 0);
        EXPECT_EQ(p.modal_age, s.rp2000_male_modal_age[40]) << age;
    }
}

TEST(MortalityTables, ProjectionMovesOnlyTheModalAge) {
    const AnalysisState s = loaded_state();
    const auto base = select_mortality_parameters(s, MortalityTable::iam2000, 1, 72, 0);
    EXPECT_EQ(base.modal_age, s.iam2000_female_modal_age[22]);
    const auto projected = select_mortality_parameters(s, MortalityTable::iam2000, 1, 72, 30);
    EXPECT_NEAR(projected.modal_age - base.modal_age, 2.01, 1e-12);
    EXPECT_EQ(projected.lambda, base.lambda);
    EXPECT_EQ(projected.dispersion, base.dispersion);
    const auto ten = select_mortality_parameters(s, MortalityTable::iam2000, 1, 72, 10);
    EXPECT_NEAR(ten.modal_age - base.modal_age, 0.67, 1e-12);
}

TEST(MortalityTables, UnexpectedGenderCodesSelectUnisex) {
    const AnalysisState s = loaded_state();
    for (int gender : {2, 3, -1, 100}) {
        const auto p = select_mortality_parameters(s, MortalityTable::gam1983, gender, 70, 0);
        EXPECT_EQ(p.lambda, s.gam1983_unisex_lambda[20]) << gender;
        EXPECT_EQ(p.modal_age, s.gam1983_unisex_modal_age[20]) << gender;
        EXPECT_EQ(p.dispersion, s.gam1983_unisex_dispersion[20]) << gender;
    }
    EXPECT_EQ(select_mortality_parameters(s, MortalityTable::gam1983, 0, 70, 0).modal_age,
              s.gam1983_male_modal_age[20]);
}

TEST(MortalityTables, IamTwoThousandIsTheSameForAnnuitiesAndRuin) {
    const AnalysisState s = loaded_state();
    for (int gender : {0, 1, 2}) {
        const auto annuity =
            select_mortality_parameters(s, annuity_table_for_code(2), gender, 77, 12);
        const auto ruin = select_mortality_parameters(s, ruin_table_for_code(2), gender, 77, 12);
        EXPECT_EQ(annuity.lambda, ruin.lambda);
        EXPECT_EQ(annuity.modal_age, ruin.modal_age);
        EXPECT_EQ(annuity.dispersion, ruin.dispersion);
    }
}

}  // namespace
}  // namespace quorrel
