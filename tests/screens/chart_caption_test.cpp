// The chart captions as a person sees them: the income chart's tooltip and
// the expected-ruin-age caption beside its marker.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QToolTip>
#include <cstdlib>

#include "results_app.h"
#include "screens/results/chart_geometry.h"
#include "screens/results/chart_view.h"

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

}  // namespace
}  // namespace quorrel
