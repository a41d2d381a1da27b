// Loading, the list handlers, the market presets and the page-change rule of
// the input screen.
#include <QLabel>
#include <QRadioButton>
#include <QTimer>

#include "analysis/defaults.h"
#include "screens/input_fixture.h"

namespace quorrel::testing {
namespace {

// Every field the input screen's loading writes.
void expect_same_inputs(const AnalysisState& a, const AnalysisState& b) {
#define SAME(f) EXPECT_EQ(a.f, b.f) << #f
    SAME(current_age);
    SAME(gender_code);
    SAME(gender_text);
    SAME(ruin_table_code);
    SAME(ruin_table_name);
    SAME(annuity_table_code);
    SAME(annuity_table_name);
    SAME(ruin_projection_years);
    SAME(ruin_projection_text);
    SAME(annuity_projection_years);
    SAME(annuity_projection_text);
    SAME(nominal_rate_1);
    SAME(nominal_rate_2);
    SAME(nominal_rate_3);
    SAME(nominal_rate_4);
    SAME(nominal_rate_5);
    SAME(nominal_rate_6);
    SAME(real_rate_1);
    SAME(real_rate_2);
    SAME(real_rate_3);
    SAME(real_rate_4);
    SAME(real_rate_5);
    SAME(real_rate_6);
    SAME(target_income);
    SAME(liquid_wealth);
    SAME(pension_nominal_income);
    SAME(pension_cpi_income);
    SAME(pension_variable_income);
    SAME(purchase_nominal);
    SAME(purchase_cpi);
    SAME(purchase_variable);
    SAME(cola_rate);
    SAME(cola_rate_mirror);
    SAME(air_rate);
    SAME(air_rate_mirror);
    SAME(later_allocation_years);
    SAME(weight_stock);
    SAME(weight_nomi_bond);
    SAME(weight_real_bond);
    SAME(weight_cash);
    SAME(weight_estate);
    SAME(weight_copy_stock);
    SAME(weight_copy_nomi_bond);
    SAME(weight_copy_real_bond);
    SAME(weight_copy_cash);
    SAME(weight_copy_estate);
    SAME(later_weight_stock);
    SAME(later_weight_nomi_bond);
    SAME(later_weight_real_bond);
    SAME(later_weight_cash);
    SAME(later_weight_estate);
    SAME(later_weight_copy_stock);
    SAME(later_weight_copy_nomi_bond);
    SAME(later_weight_copy_real_bond);
    SAME(later_weight_copy_cash);
    SAME(later_weight_copy_estate);
    SAME(weight_sum);
    SAME(later_weight_sum);
    SAME(market_country);
    SAME(mean_stock);
    SAME(mean_nomi_bond);
    SAME(mean_real_bond);
    SAME(mean_cash);
    SAME(mean_estate);
    SAME(dev_stock);
    SAME(dev_nomi_bond);
    SAME(dev_real_bond);
    SAME(dev_estate);
    SAME(advisory_fee);
    SAME(progress_frame);
    SAME(net_investable_wealth);
    SAME(consumption_deficit);
    SAME(up1994_male_modal_age);
    SAME(gam1983_female_dispersion);
    SAME(rp2000_unisex_lambda);
    SAME(iam2000_male_lambda);
    SAME(asset_correlation);
#undef SAME
}

TEST_F(InputScreenTest, LoadingLeavesTheSharedDefaultsInTheRecord) {
    AnalysisState expected;
    apply_input_defaults(expected);
    expect_same_inputs(state, expected);
    // The selections went through the handlers: spot values from the table.
    EXPECT_EQ(state.nominal_rate_1, 0.05);
    EXPECT_EQ(state.real_rate_6, 0.03);
    EXPECT_EQ(state.air_rate, 0.02);
    EXPECT_EQ(state.later_allocation_years, 5);
    EXPECT_EQ(state.mean_real_bond, 0.025);
    EXPECT_EQ(state.ruin_table_name, "UP 1994");
    EXPECT_EQ(state.annuity_table_name, "GAM 1983 (PBGC)");
    EXPECT_EQ(screen->current_page(), 1);
}

TEST_F(InputScreenTest, LoadingShowsTheDefaultsAndTheListsAsWritten) {
    EXPECT_EQ(screen->windowTitle(), "Quorrel - Input Individual Information");
    EXPECT_EQ(tabs()->count(), 6);
    EXPECT_EQ(tabs()->currentIndex(), 0);
    EXPECT_EQ(tabs()->tabText(4), "Investment and Portfolio Asset Allocation");
    EXPECT_EQ(tabs()->tabToolTip(4), "Input informtion about your current asset allocation");
    EXPECT_EQ(tabs()->tabToolTip(1), "");
    // Each tab's page holds its frame (in a scroll area, for small screens).
    for (int i = 1; i <= 6; ++i)
        EXPECT_TRUE(tabs()
                        ->widget(InPut::tab_of_page(i))
                        ->isAncestorOf(child<QWidget>(QStringLiteral("Frame1(%1)").arg(i))))
            << i;

    EXPECT_EQ(list("Combo4(0)")->count(), 500);
    EXPECT_EQ(list("Combo4(0)")->itemText(0), "0.10%");
    EXPECT_EQ(list("Combo4(11)")->itemText(499), "50.00%");
    EXPECT_EQ(list("Combo4(5)")->currentText(), "5.00%");
    EXPECT_EQ(list("Combo4(6)")->currentText(), "3.00%");
    EXPECT_EQ(list("Combo6(9)")->count(), 101);
    EXPECT_EQ(list("Combo6(9)")->currentText(), "20%");
    EXPECT_EQ(list("stock_mean")->count(), 301);
    EXPECT_EQ(list("estate_dev")->count(), 401);
    EXPECT_EQ(list("estate_dev")->itemText(400), "40.00%");
    EXPECT_EQ(list("cash_mean")->currentText(), "0.50%");
    EXPECT_EQ(list("advisory_fee")->count(), 61);
    EXPECT_EQ(list("advisory_fee")->currentText(), "0.00%");
    EXPECT_EQ(list("advisory_fee")->itemText(1), "0.05%");
    EXPECT_EQ(list("advisory_fee")->itemText(60), "3.00%");
    EXPECT_TRUE(child<QWidget>("Frame1(5)")->isAncestorOf(list("advisory_fee")));
    EXPECT_EQ(list("ind_current_age")->count(), 41);
    EXPECT_EQ(list("ind_current_age")->currentText(), "65");
    EXPECT_EQ(list("prob_proj_num")->count(), 31);
    EXPECT_EQ(list("Combo3")->currentText(), "5");
    EXPECT_EQ(list("Combo2(1)")->currentText(), "2%");
    EXPECT_FALSE(list("Combo5")->isEditable());
    EXPECT_TRUE(child<QRadioButton>("prob_1994")->isChecked());
    EXPECT_TRUE(child<QRadioButton>("annu_1983")->isChecked());
    EXPECT_EQ(child<QRadioButton>("prob_iam2000")->text(), "IAM 2000  Basic");
    EXPECT_EQ(box("Text10")->text(), "40,000");
    EXPECT_EQ(box("Text11")->text(), "800,000");
    EXPECT_EQ(box("ind_annu_income")->text(), "0");
    EXPECT_TRUE(box("Text9")->isReadOnly());
    EXPECT_EQ(child<QLabel>("Label36(0)")->text(), "0 yrs  -   5 yrs :");
    EXPECT_EQ(child<QLabel>("Label20")->text(), " Program is running. Please wait...");
    // Page 5's captions are copies of page 4's, the U.S. set showing.
    for (int k = 0; k < 10; ++k) {
        const QString n = QString::number(k);
        EXPECT_EQ(child<QLabel>("Label51(" + n + ")")->text(),
                  child<QLabel>("Label50(" + n + ")")->text());
        EXPECT_EQ(child<QLabel>("Label51(" + n + ")")->isHidden(), k >= 5) << k;
        EXPECT_EQ(child<QLabel>("Label50(" + n + ")")->isHidden(), k >= 5) << k;
    }
    auto* timer = screen->findChild<QTimer*>("Timer1");
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 50);
    EXPECT_FALSE(timer->isActive());
    EXPECT_TRUE(child<QWidget>("Picture1")->isHidden());
    EXPECT_TRUE(child<QWidget>("Picture2")->isHidden());
}

TEST_F(InputScreenTest, EachKindOfListWritesItsFieldByPosition) {
    select("ind_current_age", "72");
    EXPECT_EQ(state.current_age, 72);
    select("ind_sex", "Unisex");
    EXPECT_EQ(state.gender_code, 2);
    EXPECT_EQ(state.gender_text, "Unisex");
    child<QRadioButton>("prob_iam2000")->setChecked(true);
    EXPECT_EQ(state.ruin_table_code, 2);
    EXPECT_EQ(state.ruin_table_name, "IAM 2000  Basic");
    child<QRadioButton>("prob_rp2000")->setChecked(true);
    EXPECT_EQ(state.ruin_table_code, 3);
    child<QRadioButton>("annu_iam2000")->setChecked(true);
    EXPECT_EQ(state.annuity_table_code, 2);
    EXPECT_EQ(state.annuity_table_name, "IAM 2000 Basic");
    select("prob_proj_num", "12");
    EXPECT_EQ(state.ruin_projection_years, 12);
    EXPECT_EQ(state.ruin_projection_text, "12");
    select("annu_proj_num", "30");
    EXPECT_EQ(state.annuity_projection_years, 30);
    select("Combo4(6)", "0.10%");
    EXPECT_EQ(state.real_rate_1, 0.001);
    select("Combo4(5)", "50.00%");
    EXPECT_EQ(state.nominal_rate_6, 0.5);
    select("Combo4(8)", "4.20%");
    EXPECT_EQ(state.real_rate_3, 0.042);
    select("Combo3", "25");
    EXPECT_EQ(state.later_allocation_years, 25);
    select("Combo6(0)", "45%");
    EXPECT_EQ(state.weight_stock, 0.45);
    EXPECT_EQ(state.weight_copy_stock, 0.45);
    select("Combo6(8)", "7%");
    EXPECT_EQ(state.later_weight_cash, 0.07);
    EXPECT_EQ(state.later_weight_copy_cash, 0.07);
    select("stock_mean", "5.50%");
    EXPECT_EQ(state.mean_stock, 0.055);
    select("real_bond_dev", "40.00%");
    EXPECT_EQ(state.dev_real_bond, 0.4);
    select("advisory_fee", "1.25%");
    EXPECT_EQ(state.advisory_fee, 0.0125);
    // Nothing else moved.
    EXPECT_EQ(state.weight_nomi_bond, 0.2);
    EXPECT_EQ(state.nominal_rate_1, 0.05);
}

TEST_F(InputScreenTest, ColaAndAirListsMoveTogether) {
    select("Combo1(1)", "3%");
    EXPECT_EQ(list("Combo1(0)")->currentText(), "3%");
    EXPECT_EQ(state.cola_rate, 0.03);
    EXPECT_EQ(state.cola_rate_mirror, 0.03);
    select("Combo1(0)", "1%");
    EXPECT_EQ(list("Combo1(1)")->currentText(), "1%");
    EXPECT_EQ(state.cola_rate, 0.01);
    EXPECT_EQ(state.cola_rate_mirror, 0.01);

    select("Combo2(0)", "8%");
    EXPECT_EQ(list("Combo2(1)")->currentText(), "8%");
    EXPECT_EQ(state.air_rate, 0.08);
    select("Combo2(1)", "6%");
    EXPECT_EQ(list("Combo2(0)")->currentText(), "6%");
    EXPECT_EQ(state.air_rate, 0.06);
    EXPECT_EQ(state.air_rate_mirror, 0.06);
}

TEST_F(InputScreenTest, CanadaPresetRewritesTheNineListsAndTheCaptions) {
    select("advisory_fee", "0.50%");
    select("Combo5", "Canada");
    // The fee is the adviser's, not the market's: a preset keeps it.
    EXPECT_EQ(state.advisory_fee, 0.005);
    EXPECT_EQ(list("advisory_fee")->currentText(), "0.50%");
    EXPECT_EQ(state.market_country, 1);
    EXPECT_EQ(state.mean_stock, 0.06);
    EXPECT_EQ(state.mean_real_bond, 0.02);
    EXPECT_EQ(state.dev_stock, 0.18);
    EXPECT_EQ(state.dev_real_bond, 0.07);
    EXPECT_EQ(state.dev_estate, 0.14);
    EXPECT_EQ(state.mean_nomi_bond, 0.03);
    EXPECT_EQ(state.mean_cash, 0.005);
    EXPECT_EQ(list("stock_mean")->currentText(), "6.00%");
    EXPECT_EQ(child<QLabel>("Label34")->text(), "Canada");
    for (int k = 0; k < 5; ++k) {
        EXPECT_TRUE(child<QLabel>(QStringLiteral("Label50(%1)").arg(k))->isHidden());
        EXPECT_FALSE(child<QLabel>(QStringLiteral("Label50(%1)").arg(k + 5))->isHidden());
    }
    EXPECT_EQ(child<QLabel>("Label50(5)")->text(),
              "(Morgan Stanley Capital International Index (in CAD))");

    // Page 5 follows only when it is entered.
    EXPECT_TRUE(child<QLabel>("Label51(5)")->isHidden());
    tabs()->setCurrentIndex(5);
    EXPECT_EQ(screen->current_page(), 5);
    for (int k = 0; k < 5; ++k) {
        EXPECT_TRUE(child<QLabel>(QStringLiteral("Label51(%1)").arg(k))->isHidden());
        EXPECT_FALSE(child<QLabel>(QStringLiteral("Label51(%1)").arg(k + 5))->isHidden());
    }
    EXPECT_EQ(child<QLabel>("Label51(7)")->text(), "(Scotia Mcleod Real Return Index)");

    // A user's own figure lasts until the market is chosen again.
    select("stock_mean", "5.50%");
    tabs()->setCurrentIndex(0);
    tabs()->setCurrentIndex(5);
    EXPECT_EQ(state.mean_stock, 0.055);
    select("Combo5", "U.S.A");
    EXPECT_EQ(state.mean_stock, 0.07);
    EXPECT_EQ(state.dev_estate, 0.12);
    EXPECT_EQ(state.market_country, 0);
}

TEST_F(InputScreenTest, LeavingTheAllocationPageNeedsBothColumnsComplete) {
    tabs()->setCurrentIndex(4);
    ASSERT_EQ(screen->current_page(), 4);
    select("Combo6(0)", "30%");  // today's column now 110%

    int tab_behind_message = -1;
    platform.on_message = [&] { tab_behind_message = tabs()->currentIndex(); };
    tabs()->setCurrentIndex(0);
    EXPECT_EQ(tab_behind_message, 4);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, "ERROR: The assest allocation must sum to 100%!!!");
    EXPECT_EQ(platform.messages[0].title, "Input Individual Information");
    EXPECT_EQ(platform.messages[0].icon, MessageIcon::none);
    // Tab and page both stay on the allocation page.
    EXPECT_EQ(tabs()->currentIndex(), 4);
    EXPECT_TRUE(tabs()->currentWidget()->isAncestorOf(child<QWidget>("Frame1(4)")));
    EXPECT_EQ(screen->current_page(), 4);
    EXPECT_NEAR(state.weight_sum, 1.1, 1e-12);

    tabs()->setCurrentIndex(5);
    EXPECT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(tabs()->currentIndex(), 4);

    // 60/30/10/0/0 in both columns is complete although its double sum is not 1.
    const char* mix[5] = {"60%", "30%", "10%", "0%", "0%"};
    for (int k = 0; k < 5; ++k) {
        select(QStringLiteral("Combo6(%1)").arg(k), mix[k]);
        select(QStringLiteral("Combo6(%1)").arg(k + 5), mix[k]);
    }
    tabs()->setCurrentIndex(5);
    EXPECT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(screen->current_page(), 5);
    EXPECT_EQ(tabs()->currentIndex(), 5);
}

TEST_F(InputScreenTest, LaterColumnAloneAlsoHoldsThePage) {
    tabs()->setCurrentIndex(4);
    select("Combo6(9)", "10%");  // later column 90%
    tabs()->setCurrentIndex(2);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(screen->current_page(), 4);
    EXPECT_NEAR(state.later_weight_sum, 0.9, 1e-12);
    // Other pages change freely.
    select("Combo6(9)", "20%");
    tabs()->setCurrentIndex(1);
    tabs()->setCurrentIndex(0);
    EXPECT_EQ(screen->current_page(), 1);
    EXPECT_EQ(platform.messages.size(), 1u);
}

TEST(ProgressFrames, SevenDistinctFacesOfTheRightSize) {
    ensure_application();
    QImage previous;
    for (int k = 0; k < 7; ++k) {
        const QPixmap frame = progress_frame_image(k);
        EXPECT_EQ(frame.deviceIndependentSize().toSize(), QSize(140, 90));
        const QImage image = frame.toImage();
        EXPECT_NE(image, previous) << k;
        previous = image;
        // The background is light grey.
        EXPECT_EQ(image.pixelColor(1, 1), QColor(212, 212, 212));
    }
    EXPECT_NE(progress_frame_image(0).toImage(), progress_frame_image(6).toImage());
    EXPECT_EQ(progress_frame_image(7).toImage(), progress_frame_image(0).toImage());
}

}  // namespace
}  // namespace quorrel::testing
