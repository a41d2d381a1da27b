// The chart pictures as data: axes, ticks, captions, curves and the
// expected-ruin-age marker at the ages the input screen admits.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "report/chart_geometry.h"

namespace quorrel {
namespace {

// A person of `age` with a survival curve falling linearly to 0 and an
// expected income falling by 3% of the target per horizon.
struct Case {
    AnalysisState state;
    ResultsRecord results;
};

Case make_case(double age, double expected_ruin_age = 200) {
    Case c;
    c.state.current_age = age;
    c.state.survival_years = static_cast<std::int16_t>(std::floor(110 - age));
    c.state.target_income = 40000;
    const int n = c.state.survival_years;
    for (int t = 0; t <= n; ++t) c.results.survival_curve.push_back(1.0 - double(t) / n);
    for (int i = 1; i <= 20; ++i) c.results.expected_income[i - 1] = 1.0 - 0.03 * i;
    c.results.expected_ruin_age = expected_ruin_age;
    c.state.expected_ruin_age = expected_ruin_age;
    return c;
}

std::string at(const char* name, int i) {
    return std::string(name) + "(" + std::to_string(i) + ")";
}

void expect_inside(const ChartGeometry& g) {
    for (const ChartPoint& p : g.curve.points) {
        EXPECT_GE(p.x, g.plot.left);
        EXPECT_LE(p.x, g.plot.right);
        EXPECT_GE(p.y, g.plot.top);
        EXPECT_LE(p.y, g.plot.bottom);
    }
}

TEST(ResultsChartTest, CaptionStepFollowsTheAge) {
    EXPECT_EQ(age_caption_step(50), 7);
    EXPECT_EQ(age_caption_step(65), 5);
    EXPECT_EQ(age_caption_step(90), 3);
    EXPECT_EQ(age_caption_step(60), 6);  // (110 - 60) / 10 = 5 exactly, still one more
}

TEST(ResultsChartTest, SurvivalAxesTicksAndCaptionsAtAge65) {
    const Case c = make_case(65);
    const ChartGeometry g = survival_chart(c.state, c.results);
    EXPECT_EQ(g.width, 453);
    EXPECT_EQ(g.height, 245);
    EXPECT_EQ(g.step, 5);

    ASSERT_EQ(g.axes.size(), 6u);
    EXPECT_DOUBLE_EQ(g.axes[0].from.x, 40);  // vertical axis
    EXPECT_DOUBLE_EQ(g.axes[0].from.y, 20);
    EXPECT_DOUBLE_EQ(g.axes[0].to.y, 220);
    EXPECT_DOUBLE_EQ(g.axes[1].to.x, 35);  // arrow head
    EXPECT_DOUBLE_EQ(g.axes[1].to.y, 25);
    EXPECT_DOUBLE_EQ(g.axes[3].to.x, 400);  // horizontal axis
    EXPECT_DOUBLE_EQ(g.axes[5].to.y, 225);

    ASSERT_EQ(g.ticks.size(), 20u);
    for (int i = 1; i <= 10; ++i) {
        EXPECT_DOUBLE_EQ(g.ticks[i - 1].from.y, 20 + 18 * i);
        EXPECT_DOUBLE_EQ(g.ticks[i - 1].to.x, 45);
        EXPECT_DOUBLE_EQ(g.ticks[9 + i].from.x, 40 + 34 * i);
        EXPECT_DOUBLE_EQ(g.ticks[9 + i].to.y, 215);
    }

    EXPECT_EQ(g.text("Label22")->text, "The probability of Survival");
    EXPECT_EQ(g.text("Label17(0)")->text, "0.0");
    EXPECT_EQ(g.text("Label17(1)")->text, "1.0");
    EXPECT_EQ(g.text("Label17(6)")->text, "0.5");
    EXPECT_EQ(g.text("Label17(10)")->text, "0.1");
    EXPECT_DOUBLE_EQ(g.text("Label17(0)")->top, 215);
    EXPECT_DOUBLE_EQ(g.text("Label17(3)")->top, 20 + 54 - 5);
    EXPECT_DOUBLE_EQ(g.text("Label17(3)")->left, 20);
    for (int j = 0; j <= 10; ++j) {
        const ChartText* t = g.text(at("Label19", j));
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->text, " " + std::to_string(65 + 5 * j));
        EXPECT_DOUBLE_EQ(t->left, 40 + 34 * j - 8);
        EXPECT_DOUBLE_EQ(t->top, 228);
        EXPECT_DOUBLE_EQ(g.age_tick_years[j], 5 * j);
    }
}

TEST(ResultsChartTest, SurvivalCurveSitsOnTheCaptionScale) {
    for (double age : {50.0, 65.0, 90.0}) {
        SCOPED_TRACE(age);
        const Case c = make_case(age);
        const ChartGeometry g = survival_chart(c.state, c.results);
        const int step = age_caption_step(age);
        const int years = c.state.survival_years;
        ASSERT_EQ(g.curve.points.size(), static_cast<size_t>(years + 1));
        EXPECT_EQ(g.curve.width, 3);
        EXPECT_EQ(g.curve.colour, ChartColour::red);
        for (int t = 0; t <= years; ++t) {
            EXPECT_NEAR(g.curve.points[t].x, 40 + 34.0 * t / step, 1e-9);
            EXPECT_NEAR(g.curve.points[t].y, 38 + 180 * (1 - c.results.survival_curve[t]), 1e-9);
        }
        // Survival today is 1: the curve starts on the 1.0 tick at the current age.
        EXPECT_DOUBLE_EQ(g.curve.points[0].x, 40);
        EXPECT_DOUBLE_EQ(g.curve.points[0].y, 38);
        // The value for one caption step ahead is drawn at the first age tick.
        EXPECT_DOUBLE_EQ(g.curve.points[step].x, 74);
        expect_inside(g);
    }
    EXPECT_EQ(make_case(50).state.survival_years, 60);
    EXPECT_NEAR(survival_chart(make_case(50).state, make_case(50).results).curve.points.back().x,
                40 + 34.0 * 60 / 7, 1e-9);
    EXPECT_NEAR(survival_chart(make_case(90).state, make_case(90).results).curve.points.back().x,
                40 + 34.0 * 20 / 3, 1e-9);
}

TEST(ResultsChartTest, CaptionsAtAges50And90) {
    const Case young = make_case(50);
    const ChartGeometry g50 = survival_chart(young.state, young.results);
    EXPECT_EQ(g50.text("Label19(0)")->text, " 50");
    EXPECT_EQ(g50.text("Label19(1)")->text, " 57");
    EXPECT_EQ(g50.text("Label19(10)")->text, " 120");
    const Case old = make_case(90);
    const ChartGeometry g90 = survival_chart(old.state, old.results);
    EXPECT_EQ(g90.text("Label19(1)")->text, " 93");
    EXPECT_EQ(g90.text("Label19(10)")->text, " 120");
    const ChartGeometry i90 = income_chart(old.state, old.results);
    for (int j = 0; j <= 10; ++j)
        EXPECT_EQ(i90.text(at("Label14", j))->text, g90.text(at("Label19", j))->text);
}

TEST(ResultsChartTest, IncomeChartRunsThroughAllTwentyHorizons) {
    for (double age : {50.0, 65.0, 90.0}) {
        SCOPED_TRACE(age);
        const Case c = make_case(age);
        const ChartGeometry g = income_chart(c.state, c.results);
        EXPECT_EQ(g.width, 539);
        EXPECT_EQ(g.height, 267);
        ASSERT_EQ(g.curve.points.size(), 21u);
        EXPECT_DOUBLE_EQ(g.curve.points[0].x, 40);
        EXPECT_DOUBLE_EQ(g.curve.points[0].y, 40);  // today: the whole target, the 1.00 tick
        for (int i = 1; i <= 20; ++i) {
            // Horizon i x step / 2 years at 44 pixels per caption step.
            EXPECT_NEAR(g.curve.points[i].x, 40 + 22.0 * i, 1e-9);
            EXPECT_NEAR(g.curve.points[i].y, 40 + 200 * (1 - c.results.expected_income[i - 1]),
                        1e-9);
        }
        // The last horizon is ten caption steps ahead: the tenth age tick.
        EXPECT_DOUBLE_EQ(g.curve.points[20].x, g.ticks[19].from.x);
        expect_inside(g);
    }
}

TEST(ResultsChartTest, IncomeAxesAndCaptions) {
    const Case c = make_case(65);
    const ChartGeometry g = income_chart(c.state, c.results);
    ASSERT_EQ(g.axes.size(), 6u);
    EXPECT_DOUBLE_EQ(g.axes[0].to.y, 240);
    EXPECT_DOUBLE_EQ(g.axes[3].to.x, 500);
    ASSERT_EQ(g.ticks.size(), 20u);
    EXPECT_DOUBLE_EQ(g.ticks[0].from.y, 40);
    EXPECT_DOUBLE_EQ(g.ticks[9].from.y, 220);
    EXPECT_DOUBLE_EQ(g.ticks[10].from.x, 84);
    EXPECT_DOUBLE_EQ(g.ticks[19].from.x, 480);
    EXPECT_EQ(g.text("Label10(0)")->text, "0.00");
    EXPECT_EQ(g.text("Label10(1)")->text, "1.00");
    EXPECT_EQ(g.text("Label10(2)")->text, "0.90");
    EXPECT_EQ(g.text("Label10(10)")->text, "0.10");
    EXPECT_DOUBLE_EQ(g.text("Label10(0)")->left, 10);
    EXPECT_DOUBLE_EQ(g.text("Label10(0)")->top, 235);
    EXPECT_DOUBLE_EQ(g.text("Label14(2)")->left, 40 + 88 - 8);
    EXPECT_DOUBLE_EQ(g.text("Label14(2)")->top, 248);
    EXPECT_EQ(g.text("Label14(2)")->text, " 75");
    EXPECT_EQ(g.text("Label15")->text, "40,000");
    EXPECT_EQ(g.text("Label15")->tool_tip, "Real Target Income");
    EXPECT_EQ(g.text("Label16")->text, "X");
    EXPECT_EQ(g.text("Label16")->colour, ChartColour::red);
    EXPECT_FALSE(g.marker.has_value());
}

TEST(ResultsChartTest, RuinMarkerUpTo105AndNotBeyond) {
    // Int(104.7) + 1 = 105: still marked, at the captions' place for age 105.
    Case c = make_case(65, 104.7);
    ChartGeometry g = survival_chart(c.state, c.results);
    ASSERT_TRUE(g.marker.has_value());
    EXPECT_DOUBLE_EQ(g.marker->from.x, 40 + 34.0 * 40 / 5);
    EXPECT_DOUBLE_EQ(g.marker->to.x, g.marker->from.x);
    EXPECT_DOUBLE_EQ(g.marker->from.y, 40);
    EXPECT_DOUBLE_EQ(g.marker->to.y, 220);
    EXPECT_EQ(g.marker->colour, ChartColour::blue);
    EXPECT_EQ(g.marker->width, 3);
    const ChartText* caption = g.text("Label12");
    EXPECT_TRUE(caption->visible);
    EXPECT_EQ(caption->text, "Expected Ruin Age is 105");
    EXPECT_EQ(caption->colour, ChartColour::blue);
    EXPECT_DOUBLE_EQ(caption->top, 110);
    EXPECT_DOUBLE_EQ(caption->left, 312 + 5 - 190);

    // Int(105.0) + 1 = 106: no marker, the caption hidden but kept.
    c = make_case(65, 105.0);
    g = survival_chart(c.state, c.results);
    EXPECT_FALSE(g.marker.has_value());
    EXPECT_FALSE(g.text("Label12")->visible);
    EXPECT_EQ(g.text("Label12")->text, "Expected Ruin Age is 106");
}

TEST(ResultsChartTest, RuinMarkerMeetsItsAgeCaption) {
    // A ruin age of 70 at age 65 lies on the first age tick, captioned " 70".
    const Case c = make_case(65, 69.5);
    const ChartGeometry g = survival_chart(c.state, c.results);
    ASSERT_TRUE(g.marker.has_value());
    EXPECT_DOUBLE_EQ(g.marker->from.x, g.ticks[10].from.x);
    EXPECT_EQ(g.text("Label19(1)")->text, " 70");
    // Age 90, ruin at 99: three caption steps of 3 years.
    const Case old = make_case(90, 98.2);
    EXPECT_DOUBLE_EQ(survival_chart(old.state, old.results).marker->from.x, 40 + 3 * 34);
}

TEST(ResultsChartTest, RuinCaptionMovesLeftOnlyPast250) {
    // Age 65, R1 = 95: line at 244, caption left 249, stays right of the line.
    Case c = make_case(65, 94.5);
    ChartGeometry g = survival_chart(c.state, c.results);
    EXPECT_DOUBLE_EQ(g.marker->from.x, 244);
    EXPECT_DOUBLE_EQ(g.text("Label12")->left, 249);
    // R1 = 96: line at 250.8, caption would start at 255.8, moved 190 left.
    c = make_case(65, 95.2);
    g = survival_chart(c.state, c.results);
    EXPECT_NEAR(g.marker->from.x, 40 + 34 * 31 / 5.0, 1e-9);
    EXPECT_NEAR(g.text("Label12")->left, 40 + 34 * 31 / 5.0 + 5 - 190, 1e-9);
}

TEST(ResultsChartTest, OddFiguresStayInsideTheAxes) {
    Case c = make_case(70, std::numeric_limits<double>::quiet_NaN());
    c.results.survival_curve[3] = 1.5;
    c.results.survival_curve[4] = -0.5;
    c.results.survival_curve.resize(10);  // fewer points than survival_years
    c.results.expected_income[2] = std::numeric_limits<double>::infinity();
    c.results.expected_income[3] = -2;
    const ChartGeometry s = survival_chart(c.state, c.results);
    EXPECT_EQ(s.curve.points.size(), 10u);
    EXPECT_FALSE(s.marker.has_value());
    EXPECT_FALSE(s.text("Label12")->visible);
    expect_inside(s);
    expect_inside(income_chart(c.state, c.results));

    // A ruin age before today cannot push the marker left of the axis.
    c = make_case(70, 60);
    const ChartGeometry early = survival_chart(c.state, c.results);
    ASSERT_TRUE(early.marker.has_value());
    EXPECT_DOUBLE_EQ(early.marker->from.x, 40);
}

}  // namespace
}  // namespace quorrel
