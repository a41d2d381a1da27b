// The round trip between the input screen and the results screen: Calculate
// opens a results screen, Return or its close control brings the input screen
// back as it was, and the next Calculate builds a fresh results screen.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include "results_app.h"
#include "screens/input/in_put.h"
#include "screens/recording_platform.h"
#include "screens/results/out_put.h"

namespace quorrel {
namespace {

class ResultsFlowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::ensure_application(); }
    void SetUp() override {
        input = std::make_unique<InPut>(state, platform);
        input->show();
    }
    static void flush_deletes() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
    QString liquid_wealth() const { return input->findChild<QLineEdit*>("Text11")->text(); }

    OutPut* calculate() {
        input->in_put_Command1_Click();
        return input->results_screen();
    }

    AnalysisState state;
    testing::RecordingPlatform platform;
    std::unique_ptr<InPut> input;
};

TEST_F(ResultsFlowTest, ReturnBringsTheInputScreenBackAsItWas) {
    const QString wealth = liquid_wealth();
    const double age = state.current_age;
    QPointer<OutPut> first = calculate();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(input->isVisible());

    first->findChild<QPushButton*>("Command1")->click();
    flush_deletes();
    EXPECT_TRUE(input->isVisible());
    EXPECT_EQ(first, nullptr);  // discarded
    EXPECT_EQ(input->results_screen(), nullptr);
    EXPECT_EQ(liquid_wealth(), wealth);
    EXPECT_EQ(state.current_age, age);

    QPointer<OutPut> second = calculate();
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(second->isVisible());
    EXPECT_FALSE(input->isVisible());
}

TEST_F(ResultsFlowTest, ClosingTheResultsWindowActsLikeReturn) {
    QPointer<OutPut> screen = calculate();
    ASSERT_NE(screen, nullptr);
    EXPECT_TRUE(screen->close());
    flush_deletes();
    EXPECT_TRUE(input->isVisible());
    EXPECT_EQ(screen, nullptr);
    EXPECT_EQ(input->results_screen(), nullptr);

    QPointer<OutPut> next = calculate();
    ASSERT_NE(next, nullptr);
    EXPECT_TRUE(next->isVisible());
}

}  // namespace
}  // namespace quorrel
