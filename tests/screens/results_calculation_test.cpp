// The results screen on a real calculation of the default inputs: it shows
// the record's texts and draws the record's curves.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <cmath>
#include <string>

#include "analysis/defaults.h"
#include "record/number_format.h"
#include "analysis/pipeline.h"
#include "default_calculation.h"
#include "results_app.h"
#include "screens/recording_platform.h"
#include "screens/results/chart_view.h"
#include "screens/results/out_put.h"

namespace quorrel {
namespace {

// One calculation for the whole binary: it takes a moment.
class ResultsCalculationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        testing::ensure_application();
        const testing::DefaultCalculation& d = testing::default_calculation();
        state_ = &d.state;
        results_ = &d.results;
        outcome_ = d.outcome;
    }
    void SetUp() override { ASSERT_EQ(outcome_, CalculationOutcome::completed); }

    static const AnalysisState* state_;
    static const ResultsRecord* results_;
    static CalculationOutcome outcome_;
    testing::RecordingPlatform platform;
};

const AnalysisState* ResultsCalculationTest::state_ = nullptr;
const ResultsRecord* ResultsCalculationTest::results_ = nullptr;
CalculationOutcome ResultsCalculationTest::outcome_ = CalculationOutcome::failed;

TEST_F(ResultsCalculationTest, EveryCellShowsTheRecordText) {
    OutPut screen(*state_, *results_, platform, "800,000");
    ASSERT_EQ(results_->cells.size(), 25u);
    const QRegularExpression percent("^\\d{1,3}\\.\\d%$");
    const QRegularExpression multiple("^\\d+\\.\\d\\d$");
    for (const auto& row : ruin_cell_names())
        for (const char* name : row) {
            const QString shown = screen.findChild<QLineEdit*>(name)->text();
            EXPECT_EQ(shown.toStdString(), results_->cells.at(name)) << name;
            EXPECT_TRUE(percent.match(shown).hasMatch()) << name << " " << shown.toStdString();
        }
    for (const auto& row : estate_cell_names())
        for (const char* name : row) {
            const QString shown = screen.findChild<QLineEdit*>(name)->text();
            EXPECT_EQ(shown.toStdString(), results_->cells.at(name)) << name;
            EXPECT_TRUE(multiple.match(shown).hasMatch()) << name << " " << shown.toStdString();
        }
}

TEST_F(ResultsCalculationTest, IndividualInformationOfTheDefaults) {
    OutPut screen(*state_, *results_, platform, "800,000");
    const auto text = [&](const char* name) { return screen.findChild<QLineEdit*>(name)->text(); };
    EXPECT_EQ(text("Text42"), " 65");
    EXPECT_EQ(text("Text44(1)").toStdString(), state_->gender_text);
    EXPECT_FALSE(state_->gender_text.empty());
    // A 65-year-old's life expectancy and 90th percentile lie in their eighties and nineties.
    const int life = text("Text43").toInt();
    const int ninetieth = text("Text44(0)").toInt();
    EXPECT_EQ(life, static_cast<int>(std::floor(state_->expected_death_age)) + 1);
    EXPECT_GT(life, 75);
    EXPECT_LT(life, 100);
    EXPECT_GT(ninetieth, life);
    EXPECT_LT(ninetieth, 110);
    EXPECT_EQ(text("Text1"), text("Text1").trimmed());
    EXPECT_EQ(text("Text1").toStdString(), format_grouped0(state_->net_investable_wealth));
    EXPECT_EQ(screen.findChild<QLabel*>("Label15")->text(), "40,000");
}

TEST_F(ResultsCalculationTest, ChartsDrawTheRecordCurves) {
    OutPut screen(*state_, *results_, platform, "800,000");
    const ChartGeometry& survival = screen.findChild<ChartView*>("Picture1")->chart();
    ASSERT_EQ(state_->survival_years, 45);
    ASSERT_EQ(survival.curve.points.size(), 46u);
    EXPECT_DOUBLE_EQ(survival.curve.points[0].y, 38);  // certain survival today
    // Survival falls with age.
    for (size_t t = 1; t < survival.curve.points.size(); ++t)
        EXPECT_GE(survival.curve.points[t].y, survival.curve.points[t - 1].y);
    const ChartGeometry& income = screen.findChild<ChartView*>("Picture2")->chart();
    ASSERT_EQ(income.curve.points.size(), 21u);
    for (int i = 1; i <= 20; ++i) {
        EXPECT_LE(results_->expected_income[i - 1], 1.0);
        EXPECT_NEAR(income.curve.points[i].y, 40 + 200 * (1 - results_->expected_income[i - 1]),
                    1e-9);
    }
    const double r1 = std::floor(results_->expected_ruin_age) + 1;
    EXPECT_EQ(screen.findChild<QLabel*>("Label12")->text().toStdString(),
              "Expected Ruin Age is" + str_form(r1));
    EXPECT_EQ(survival.marker.has_value(), r1 <= 105);
}

}  // namespace
}  // namespace quorrel
