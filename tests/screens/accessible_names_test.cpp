// What a screen reader hears: every input, list, option, result cell and
// chart has a name of its own that says what it is, never its value.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMap>

#include "default_calculation.h"
#include "screens/input_fixture.h"
#include "screens/results/chart_view.h"
#include "screens/results/out_put.h"

namespace quorrel::testing {
namespace {

// The named controls a person reads or sets: boxes, lists, options, charts.
QList<QWidget*> named_controls(const QWidget& window) {
    QList<QWidget*> found;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (w->objectName().isEmpty()) continue;
        const bool control = qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) ||
                             qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<ChartView*>(w) ||
                             (qobject_cast<QAbstractButton*>(w) && w->inherits("QRadioButton")) ||
                             w->inherits("QCheckBox");
        if (control) found << w;
    }
    return found;
}

QString value_of(const QWidget* w) {
    if (auto* e = qobject_cast<const QLineEdit*>(w)) return e->text();
    if (auto* c = qobject_cast<const QComboBox*>(w)) return c->currentText();
    return {};
}

// Every named control has a name, not its value, and no two share one.
void expect_every_control_named(const QWidget& window, int at_least) {
    const QList<QWidget*> controls = named_controls(window);
    EXPECT_GE(controls.size(), at_least);
    QMap<QString, QString> owner;  // accessible name -> control
    for (QWidget* w : controls) {
        const QString name = w->accessibleName();
        const std::string control = w->objectName().toStdString();
        EXPECT_FALSE(name.trimmed().isEmpty()) << control;
        if (!value_of(w).isEmpty()) {
            EXPECT_NE(name, value_of(w)) << control;
        }
        EXPECT_FALSE(owner.contains(name))
            << control << " and " << owner.value(name).toStdString() << ": " << name.toStdString();
        owner.insert(name, w->objectName());
    }
}

struct NamedControl {
    const char* control;
    const char* name;
};

TEST_F(InputScreenTest, EveryInputHasItsOwnAccessibleName) {
    // 65 inputs in the catalogue; some are option buttons, COLA and AIR appear twice.
    expect_every_control_named(*screen, 60);
    for (const NamedControl& c :
         {NamedControl{"Text10", "Real target income"},
          NamedControl{"Text11", "Liquid retirement wealth"},
          NamedControl{"Text1", "Nominal / COLA pension income"},
          NamedControl{"Text5", "Nominal / COLA annuity purchase"},
          NamedControl{"ind_annu_income", "CPI-linked annuity purchase"},
          NamedControl{"Combo1(0)", "COLA of the pension"},
          NamedControl{"Combo1(1)", "COLA of the annuity purchase"},
          NamedControl{"Combo2(1)", "AIR of the annuity purchase"},
          NamedControl{"ind_sex", "Gender"}, NamedControl{"ind_current_age", "Current age"},
          NamedControl{"ind_invest_wealth", "Net investable wealth"},
          NamedControl{"spouse_current_age", "Spouse's age"},
          NamedControl{"spouse_sex", "Spouse's gender"},
          NamedControl{"survivor_spending", "Survivor spending"},
          NamedControl{"survivor_share", "Survivor share"},
          NamedControl{"spouse_pension_cpi", "Spouse's CPI-linked pension income"},
          NamedControl{"spending_rule", "Spending rule"},
          NamedControl{"spending_rate", "Spending rate"},
          NamedControl{"spending_floor", "Spending floor"},
          NamedControl{"spending_ceiling", "Spending ceiling"},
          NamedControl{"guardrail_upper", "Upper guardrail"},
          NamedControl{"spending_raise", "Spending raise"}}) {
        auto* w = screen->findChild<QWidget*>(c.control);
        ASSERT_NE(w, nullptr) << c.control;
        EXPECT_EQ(w->accessibleName().toStdString(), c.name) << c.control;
    }
    // The amount boxes say what they accept.
    EXPECT_TRUE(box("Text10")->accessibleDescription().startsWith("Accepts "));
    EXPECT_TRUE(box("spouse_pension_cpi")->accessibleDescription().startsWith("Accepts "));
    EXPECT_TRUE(box("spending_floor")->accessibleDescription().startsWith("Accepts "));
}

TEST(ResultsAccessibleNames, EveryCellAndChartHasItsOwnName) {
    ensure_application();
    const DefaultCalculation& d = default_calculation();
    RecordingPlatform platform;
    OutPut screen(d.state, d.results, platform, "800,000");
    // 16 probabilities, 9 estates, 6 figures, 2 charts.
    expect_every_control_named(screen, 33);
    for (const NamedControl& c :
         {NamedControl{"Text2", "Probability that the NIW hits 0% of initial NIW within 10 years"},
          NamedControl{"Text38",
                       "Probability that the NIW hits 50% of initial NIW over the lifetime"},
          NamedControl{"Text29",
                       "Probability that the NIW hits 10% of initial NIW within 30 years"},
          NamedControl{"Text61(0)", "Estate after 30 years, Median, as a multiple of the NIW"},
          NamedControl{"Text54(0)", "Estate after 10 years, Bad (25%), as a multiple of the NIW"},
          NamedControl{"Picture1", "Survival chart"},
          NamedControl{"Picture2", "Expected income chart"}}) {
        auto* w = screen.findChild<QWidget*>(c.control);
        ASSERT_NE(w, nullptr) << c.control;
        EXPECT_EQ(w->accessibleName().toStdString(), c.name) << c.control;
    }
}

}  // namespace
}  // namespace quorrel::testing
