// The "Total:" row of the allocation page: each column's live total, in red
// while it is not 100%.
#include <QLabel>

#include "screens/input_fixture.h"

namespace quorrel::testing {
namespace {

struct TotalCase {
    const char* name;
    std::array<const char*, 10> picks;  // Combo6(0..9); nullptr: left at its default
    const char* today;
    const char* later;
};

class TotalTest : public InputScreenTest, public ::testing::WithParamInterface<TotalCase> {};

bool red(const QLabel* l) {
    const QColor c = l->palette().color(QPalette::WindowText);
    return c.red() > 150 && c.green() < 60 && c.blue() < 60;
}

TEST_P(TotalTest, EachColumnShowsItsTotal) {
    const TotalCase& c = GetParam();
    for (int k = 0; k < 10; ++k) {
        if (c.picks[k] != nullptr) select(QStringLiteral("Combo6(%1)").arg(k), c.picks[k]);
    }
    const QLabel* today = child<QLabel>("Total(0)");
    const QLabel* later = child<QLabel>("Total(1)");
    ASSERT_NE(today, nullptr);
    ASSERT_NE(later, nullptr);
    EXPECT_EQ(today->text(), c.today);
    EXPECT_EQ(later->text(), c.later);
    EXPECT_EQ(red(today), QString(c.today) != "100%");
    EXPECT_EQ(red(later), QString(c.later) != "100%");
}

constexpr const char* _ = nullptr;

INSTANTIATE_TEST_SUITE_P(
    Columns, TotalTest,
    ::testing::Values(
        TotalCase{"defaults", {_, _, _, _, _, _, _, _, _, _}, "100%", "100%"},
        TotalCase{"today_short", {"10%", _, _, _, _, _, _, _, _, _}, "90%", "100%"},
        TotalCase{"later_over", {_, _, _, _, _, "30%", "30%", _, _, _}, "100%", "120%"},
        TotalCase{
            "both_off", {"0%", "0%", "0%", "0%", "0%", "100%", "100%", _, _, _}, "0%", "260%"},
        TotalCase{"rearranged",
                  {"60%", "30%", "10%", "0%", "0%", "100%", "0%", "0%", "0%", "0%"},
                  "100%",
                  "100%"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(InputScreenTest, TotalFollowsAnOpenedOrResetCase) {
    select("Combo6(2)", "55%");
    EXPECT_EQ(child<QLabel>("Total(0)")->text(), "135%");
    select("Combo6(2)", "20%");  // put right
    EXPECT_EQ(child<QLabel>("Total(0)")->text(), "100%");
    select("Combo6(7)", "5%");
    platform.next_save_choice = SaveChoice::discard;
    screen->in_put_mnuNew_Click();
    EXPECT_EQ(child<QLabel>("Total(1)")->text(), "100%");
    EXPECT_FALSE(red(child<QLabel>("Total(1)")));
}

}  // namespace
}  // namespace quorrel::testing
