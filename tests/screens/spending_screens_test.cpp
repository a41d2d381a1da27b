// The spending rule on the desktop: the Household page greys the terms of
// the rules not chosen, a rule other than fixed locks the refined scheme,
// and a case file carries the rule and every term.
#include <QCheckBox>
#include <QLabel>
#include <QTemporaryDir>

#include "analysis/case_file.h"
#include "analysis/input_catalogue.h"
#include "screens/input_fixture.h"

namespace quorrel::testing {
namespace {

const char* const kTerms[] = {"spending_rate",   "spending_floor", "spending_ceiling",
                              "guardrail_upper", "guardrail_lower", "spending_cut",
                              "spending_raise"};

// Which terms a rule leaves enabled, in the order of kTerms.
struct GreyingCase {
    const char* name;
    const char* rule;
    std::array<bool, 7> enabled;
};

class SpendingPageTest : public InputScreenTest, public ::testing::WithParamInterface<GreyingCase> {
protected:
    void SetUp() override {
        InputScreenTest::SetUp();
        tabs()->setCurrentIndex(InPut::tab_of_page(kHouseholdPage));
    }
};

TEST_P(SpendingPageTest, TermsOfOtherRulesAreGreyed) {
    // From every other rule, so that each term is both greyed and given back.
    for (const char* from : {"Guardrails", "Fixed real income", "Percent of wealth"}) {
        select("spending_rule", from);
        select("spending_rule", GetParam().rule);
        for (std::size_t k = 0; k < std::size(kTerms); ++k) {
            QWidget* term = child<QWidget>(kTerms[k]);
            EXPECT_EQ(term->isEnabled(), GetParam().enabled[k]) << kTerms[k] << " from " << from;
            // Its caption greys with it.
            for (QLabel* l : screen->findChildren<QLabel*>()) {
                if (l->buddy() == term) {
                    EXPECT_EQ(l->isEnabled(), GetParam().enabled[k]) << kTerms[k];
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SpendingPageTest,
    ::testing::Values(
        GreyingCase{"fixed", "Fixed real income", {false, false, false, false, false, false, false}},
        GreyingCase{"percent", "Percent of wealth", {true, true, true, false, false, false, false}},
        GreyingCase{"guardrails", "Guardrails", {false, true, true, true, true, true, true}}),
    [](const auto& info) { return std::string(info.param.name); });

// A rule other than fixed ticks and locks "Refined accuracy" with a note
// naming its scheme; back to fixed gives the person's choice back, and the
// lock is never remembered as that choice.
struct RuleLockCase {
    const char* name;
    const char* rule;
    const char* note;
    bool chosen_before;
};

class SpendingLockTest : public InputScreenTest,
                         public ::testing::WithParamInterface<RuleLockCase> {};

TEST_P(SpendingLockTest, RuleLocksAndFixedGivesBack) {
    auto* box = child<QCheckBox>("refined_accuracy");
    auto* note = child<QLabel>("spending_accuracy_note");
    box->setChecked(GetParam().chosen_before);
    screen->show();
    EXPECT_FALSE(note->isVisible());
    select("spending_rule", GetParam().rule);
    EXPECT_TRUE(screen->accuracy_locked());
    EXPECT_TRUE(box->isChecked());
    EXPECT_FALSE(box->isEnabled());
    EXPECT_TRUE(note->isVisible());
    EXPECT_EQ(note->text(), GetParam().note);
    EXPECT_FALSE(child<QLabel>("household_accuracy_note")->isVisible());
    EXPECT_EQ(QSettings("Quorrel", "Quorrel").value("refined_accuracy", false).toBool(),
              GetParam().chosen_before);
    select("spending_rule", "Fixed real income");
    EXPECT_FALSE(screen->accuracy_locked());
    EXPECT_EQ(box->isChecked(), GetParam().chosen_before);
    EXPECT_TRUE(box->isEnabled());
    EXPECT_FALSE(note->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SpendingLockTest,
    ::testing::Values(
        RuleLockCase{"percent_standard_before", "Percent of wealth", kPercentAccuracyNote, false},
        RuleLockCase{"percent_refined_before", "Percent of wealth", kPercentAccuracyNote, true},
        RuleLockCase{"guardrails_standard_before", "Guardrails", kGuardrailsAccuracyNote, false}),
    [](const auto& info) { return std::string(info.param.name); });

// With a spouse as well, removing the spouse keeps the lock the rule holds.
TEST_F(InputScreenTest, SpouseAndRuleEachHoldTheLock) {
    auto* box = child<QCheckBox>("refined_accuracy");
    select("spending_rule", "Percent of wealth");
    select("spouse_current_age", "70");
    select("spouse_current_age", "None");
    EXPECT_TRUE(screen->accuracy_locked());
    EXPECT_FALSE(box->isEnabled());
    select("spending_rule", "Fixed real income");
    EXPECT_FALSE(screen->accuracy_locked());
    EXPECT_TRUE(box->isEnabled());
}

// Every spending input through its control, none at its default; a case
// file saved from them and opened in a new screen shows each again.
struct SpendingControl {
    const char* control;
    const char* given;
    const char* key;
};

const SpendingControl kSpendingControls[] = {
    {"spending_rule", "Guardrails", "spending_rule"},
    {"spending_rate", "6.30%", "spending_rate_percent"},
    {"guardrail_upper", "25%", "guardrail_upper_percent"},
    {"guardrail_lower", "15%", "guardrail_lower_percent"},
    {"spending_cut", "12%", "spending_cut_percent"},
    {"spending_raise", "8%", "spending_raise_percent"},
    {"spending_floor", "31,000", "spending_floor"},
    {"spending_ceiling", "65,000", "spending_ceiling"},
};

TEST_F(InputScreenTest, SpendingCaseReadsBackEveryTerm) {
    tabs()->setCurrentIndex(InPut::tab_of_page(kHouseholdPage));
    ASSERT_TRUE(activate(screen.get()));
    for (const SpendingControl& c : kSpendingControls) {
        if (screen->findChild<QComboBox*>(c.control) != nullptr)
            select(c.control, c.given);
        else
            type_and_leave(c.control, c.given, list("spending_cut"));
    }
    EXPECT_EQ(state.spending_rule, 2);
    EXPECT_DOUBLE_EQ(state.spending_rate, 0.063);
    EXPECT_DOUBLE_EQ(state.guardrail_upper, 0.25);
    EXPECT_DOUBLE_EQ(state.spending_floor, 31000);
    EXPECT_DOUBLE_EQ(state.spending_ceiling, 65000);
    for (const SpendingControl& c : kSpendingControls) {
        const InputRow& row = input_row(c.key);
        EXPECT_NE(read_input(state, row), default_value(row)) << c.key << " kept its default";
    }

    QTemporaryDir dir;
    const QString path = dir.filePath("spending.json");
    ASSERT_EQ(write_case_file(path.toStdString(), state), "");
    const AnalysisState saved = state;
    screen.reset();
    AnalysisState fresh;
    screen = std::make_unique<InPut>(fresh, platform);
    EXPECT_EQ(fresh.spending_rule, 0);
    ASSERT_TRUE(screen->open_case(path));
    for (const SpendingControl& c : kSpendingControls) {
        const InputRow& row = input_row(c.key);
        EXPECT_EQ(read_input(fresh, row), read_input(saved, row)) << c.key;
        QWidget* w = screen->findChild<QWidget*>(c.control);
        ASSERT_NE(w, nullptr) << c.control;
        const QString shown = qobject_cast<QComboBox*>(w) ? qobject_cast<QComboBox*>(w)->currentText()
                                                          : qobject_cast<QLineEdit*>(w)->text();
        EXPECT_EQ(shown, c.given) << c.control;
    }
    EXPECT_TRUE(screen->accuracy_locked());
    EXPECT_FALSE(child<QWidget>("spending_rate")->isEnabled());  // greyed under guardrails
    EXPECT_FALSE(screen->inputs_modified());
}

}  // namespace
}  // namespace quorrel::testing
