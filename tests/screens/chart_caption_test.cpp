// The chart captions as a person sees them: the income chart's tooltip and
// the expected-ruin-age caption beside its marker.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QTabBar>
#include <QToolTip>
#include <cstdlib>
#include <limits>
#include <ostream>

#include "results_app.h"
#include "screens/recording_platform.h"
#include "report/chart_geometry.h"
#include "screens/results/chart_view.h"
#include "screens/results/out_put.h"

namespace quorrel {
namespace {

QWidget* shown_tool_tip() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->inherits("QTipLabel") && w->isVisible()) return w;
    return nullptr;
}

int luminance(const QColor& c) { return (299 * c.red() + 587 * c.green() + 114 * c.blue()) / 1000; }

class ChartCaptionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::ensure_application(); }
    void SetUp() override {
        state.current_age = 65;
        state.survival_years = 45;
        state.target_income = 40000;
        for (int t = 0; t <= 45; ++t) results.survival_curve.push_back(1.0 - t / 45.0);
        for (int i = 0; i < 20; ++i) results.expected_income[i] = 1.0 - 0.02 * i;
    }
    AnalysisState state;
    ResultsRecord results;
};

// The tip is a window of its own: it must paint an opaque background and
// text that stands out from it, whatever the caption it belongs to looks like.
TEST_F(ChartCaptionTest, TargetIncomeToolTipIsReadable) {
    ChartView view;
    view.set_geometry(income_chart(state, results));
    view.resize(539, 267);
    view.show();
    QLabel* label = view.findChild<QLabel*>("Label15");
    ASSERT_NE(label, nullptr);
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), label->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(label, &help);
    QWidget* tip = shown_tool_tip();
    ASSERT_NE(tip, nullptr);
    EXPECT_EQ(static_cast<QLabel*>(tip)->text(), "Real Target Income");

    const QImage image = tip->grab().toImage();
    ASSERT_FALSE(image.isNull());
    const QColor corner = image.pixelColor(1, 1);
    int transparent = 0, contrasting = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() < 255) ++transparent;
            if (std::abs(luminance(c) - luminance(corner)) > 100) ++contrasting;
        }
    EXPECT_EQ(transparent, 0);
    EXPECT_GT(contrasting, 20);  // the letters
    QToolTip::hideText();
}

// The expected-ruin-age caption and the line under the chart, for ages and
// ruin ages on both sides of the 250-pixel turn and beyond the last marked age.
struct RuinCaptionCase {
    double age;
    double expected_ruin_age;
    enum Side { right_of_line, left_of_line, none } side;
    const char* note;  // the line under the chart; empty when the marker is drawn
};

void PrintTo(const RuinCaptionCase& c, std::ostream* os) {
    *os << "age " << c.age << ", expected ruin age " << c.expected_ruin_age;
}

class RuinCaptionTest : public ChartCaptionTest,
                        public ::testing::WithParamInterface<RuinCaptionCase> {
protected:
    void SetUp() override {
        ChartCaptionTest::SetUp();
        const RuinCaptionCase& c = GetParam();
        state.current_age = c.age;
        state.survival_years = static_cast<std::int16_t>(110 - c.age);
        results.survival_curve.clear();
        for (int t = 0; t <= state.survival_years; ++t)
            results.survival_curve.push_back(1.0 - double(t) / state.survival_years);
        state.expected_ruin_age = results.expected_ruin_age = c.expected_ruin_age;
    }
};

TEST_P(RuinCaptionTest, CaptionStaysBesideItsLineOrTheNoteSaysWhy) {
    const RuinCaptionCase& c = GetParam();
    const ChartGeometry g = survival_chart(state, results);
    const ChartText* caption = g.text("Label12");
    ASSERT_NE(caption, nullptr);
    EXPECT_TRUE(caption->boxed);
    // A drawn marker is explained under the chart and in its caption's tip.
    EXPECT_EQ(g.note, *c.note ? c.note : kRuinAgeMeaning);
    if (c.side != RuinCaptionCase::none) {
        EXPECT_EQ(caption->tool_tip, kRuinAgeMeaning);
    }
    if (c.side == RuinCaptionCase::none) {
        EXPECT_FALSE(g.marker.has_value());
        EXPECT_FALSE(caption->visible);
        return;
    }
    ASSERT_TRUE(g.marker.has_value());
    const double x = g.marker->from.x;
    if (c.side == RuinCaptionCase::right_of_line) {
        EXPECT_DOUBLE_EQ(caption->left, x + 5);
        EXPECT_FALSE(caption->right.has_value());
    } else {
        ASSERT_TRUE(caption->right.has_value());
        EXPECT_DOUBLE_EQ(*caption->right, x - 5);
    }

    // On a picture twice the canvas, the label keeps 5 canvas pixels (10 on
    // the screen) from its line, and the red curve does not show through it.
    ChartView view;
    view.set_geometry(g);
    view.resize(906, 490);
    view.show();
    const QLabel* label = view.findChild<QLabel*>("Label12");
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->isVisible());
    const QRect box = label->geometry();
    if (c.side == RuinCaptionCase::right_of_line)
        EXPECT_NEAR(box.left(), 2 * (x + 5), 1);
    else
        EXPECT_NEAR(box.right() + 1, 2 * (x - 5), 1);
    EXPECT_GT(box.width(), 100);  // the whole caption, not cut
    const QImage shot = view.grab(box).toImage();
    int red = 0, blue = 0;
    for (int yy = 0; yy < shot.height(); ++yy)
        for (int xx = 0; xx < shot.width(); ++xx) {
            const QColor p = shot.pixelColor(xx, yy);
            if (p.red() > 200 && p.green() < 60 && p.blue() < 60) ++red;
            if (p.blue() > 200 && p.red() < 60 && p.green() < 60) ++blue;
        }
    EXPECT_EQ(red, 0);
    EXPECT_GT(blue, 50);
}

INSTANTIATE_TEST_SUITE_P(
    Ages, RuinCaptionTest,
    ::testing::Values(
        RuinCaptionCase{65, 94.5, RuinCaptionCase::right_of_line, ""},  // caption at 249
        RuinCaptionCase{65, 95.2, RuinCaptionCase::left_of_line, ""},   // would start at 255.8
        RuinCaptionCase{65, 104.7, RuinCaptionCase::left_of_line, ""},  // 105: the last marked
        RuinCaptionCase{90, 98.2, RuinCaptionCase::right_of_line, ""},
        RuinCaptionCase{50, 100.3, RuinCaptionCase::left_of_line, ""},
        RuinCaptionCase{
            65, 105.0, RuinCaptionCase::none,
            "Expected Ruin Age is 106, later than age 105, the last age this chart marks."},
        RuinCaptionCase{
            50, 130.2, RuinCaptionCase::none,
            "Expected Ruin Age is 131, later than age 105, the last age this chart marks."},
        RuinCaptionCase{70, std::numeric_limits<double>::quiet_NaN(), RuinCaptionCase::none,
                        "The expected ruin age could not be computed for this case."}));

// The results screen's line under its survival chart says what the marker
// means, or why it is missing.
TEST_F(ChartCaptionTest, ResultsScreenShowsTheNoteUnderTheSurvivalChart) {
    testing::RecordingPlatform platform;
    for (const double ruin_age : {88.4, 110.0}) {
        SCOPED_TRACE(ruin_age);
        state.expected_ruin_age = results.expected_ruin_age = ruin_age;
        OutPut screen(state, results, platform, "800,000");
        screen.show();
        screen.findChild<QTabBar*>("TabStrip1")->setCurrentIndex(3);
        const QLabel* note = screen.findChild<QLabel*>("ruin_age_note");
        ASSERT_NE(note, nullptr);
        const auto* picture = screen.findChild<ChartView*>("Picture1");
        EXPECT_TRUE(note->isVisible());
        if (ruin_age < 100) {
            EXPECT_EQ(note->text(), kRuinAgeMeaning);
        } else {
            EXPECT_TRUE(note->isVisible());
            EXPECT_EQ(
                note->text(),
                "Expected Ruin Age is 111, later than age 105, the last age this chart marks.");
            EXPECT_GE(note->geometry().top(), picture->geometry().bottom());
        }
    }
}

}  // namespace
}  // namespace quorrel
