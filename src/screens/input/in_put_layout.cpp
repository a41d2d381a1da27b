// Building the input screen: the tab strip, its five pages and the progress
// display. Controls carry their form names as objectName.
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSettings>
#include <QShortcut>
#include <QStyleOptionTab>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "analysis/input_catalogue.h"
#include "analysis/pipeline.h"
#include "screens/input/in_put.h"
#include "screens/screen_common.h"

namespace quorrel {
namespace {

// By tab: the Household page stands right after the Individual Information page.
const char* const kTabCaptions[6] = {"Mortality Tables",
                                     "Annuity Valuation Rates",
                                     "Individual Information",
                                     "Household",
                                     "Investment and Portfolio Asset Allocation",
                                     "Financial Economic Assumptions"};
// The same captions with their mnemonics, unique in the window together with
// "&File" and the buttons' (Calculate, Exit, Refined, Help, Print, Go).
const char* const kTabMnemonics[6] = {"&Mortality Tables",
                                      "&Annuity Valuation Rates",
                                      "&Individual Information",
                                      "Ho&usehold",
                                      "In&vestment and Portfolio Asset Allocation",
                                      "Financial &Economic Assumptions"};
const char* const kTabToolTips[6] = {
    "Choose the relevant mortality tables",
    "",
    "Input your personal information",
    "A spouse or partner, and what the survivor spends and receives",
    "Input informtion about your current asset allocation",
    "Input parameters about the asset"};

// Market-index captions: k = class - 1 for the U.S.A, k + 5 for Canada.
const char* const kIndexCaptions[10] = {
    "(Morgan Stanley Capital International Index)",
    "(Lehman Brothers Aggregate Bond Index)",
    "(Lehman Brothers U.S. Treasury Inflation)",
    "(Average 3-Month T.Bill Rate)",
    "(Wilshire Real Estate Securities Index)",
    "(Morgan Stanley Capital International Index (in CAD))",
    "(Scotia Mcleod Universal Bond Index)",
    "(Scotia Mcleod Real Return Index)",
    "(Average 3-Month T.Bill Rate)",
    "(Wilshire Real Estate Securities Index (in CAD))",
};

// The look the input screen's controls share beyond the desktop's style:
// lists open as a scrolling list of about 20 items under the control, not as
// a popup as tall as the screen (what some styles do with their 300 to 500
// rate items).
class InputStyle final : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* answer) const override {
        if (hint == SH_ComboBox_Popup) return 0;
        return QProxyStyle::styleHint(hint, option, widget, answer);
    }
    // The tab captions keep their texts; only their drawing underlines the
    // mnemonic letter.
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        const auto* tab = qstyleoption_cast<const QStyleOptionTab*>(option);
        if (element == CE_TabBarTabLabel && tab != nullptr) {
            for (int i = 0; i < 6; ++i) {
                if (tab->text != kTabCaptions[i]) continue;
                QStyleOptionTab marked(*tab);
                marked.text = kTabMnemonics[i];
                QProxyStyle::drawControl(element, &marked, painter, widget);
                return;
            }
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

QString indexed(const char* name, int k) { return QStringLiteral("%1(%2)").arg(name).arg(k); }

QLabel* label(const QString& text, QWidget* parent, const QString& name = {}) {
    auto* l = new QLabel(text, parent);
    if (!name.isEmpty()) l->setObjectName(name);
    return l;
}

QLabel* heading(const QString& text, QWidget* parent, const QString& name) {
    QLabel* l = label(text, parent, name);
    QFont f = l->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.35);
    l->setFont(f);
    return l;
}

QPushButton* button(const QString& text, const QString& name, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    QFont f = b->font();
    f.setBold(true);
    b->setFont(f);
    // Enter presses the button that has the focus, as Space does.
    b->setAutoDefault(true);
    return b;
}

QComboBox* list(const QString& name, QWidget* parent) {
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    c->setEditable(false);
    c->setMaxVisibleItems(20);
    c->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return c;
}

QLineEdit* amount_box(const QString& name, QWidget* parent) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    e->setMinimumWidth(110);
    return e;
}

// Read-only result boxes of the Go step: light grey and not editable.
QLineEdit* shaded_box(const QString& name, const QString& text, QWidget* parent) {
    auto* e = new QLineEdit(text, parent);
    e->setObjectName(name);
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::ClickFocus);
    e->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    e->setMinimumWidth(110);
    QPalette p = e->palette();
    p.setColor(QPalette::Base, QColor(224, 224, 224));
    e->setPalette(p);
    return e;
}

QLabel* index_caption(int k, const char* form_name, QWidget* parent) {
    QLabel* l = label(kIndexCaptions[k], parent, indexed(form_name, k));
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, QColor(0, 0, 139));
    l->setPalette(p);
    QFont f = l->font();
    f.setPointSizeF(f.pointSizeF() * 0.9);
    l->setFont(f);
    return l;
}

// The buttons stacked in a column share the widest one's width.
void same_width(QVBoxLayout* column) {
    int width = 0;
    for (int i = 0; i < column->count(); ++i)
        width = std::max(width, column->itemAt(i)->widget()->sizeHint().width());
    for (int i = 0; i < column->count(); ++i)
        column->itemAt(i)->widget()->setFixedWidth(width + 12);
}

// Help at the top left and Print Screen at the bottom right of a page.
QHBoxLayout* right_aligned(QWidget* w) {
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(w);
    return row;
}

}  // namespace

namespace {
// Kept under the program's own name, whatever the binary is called.
constexpr const char* kAccuracyKey = "refined_accuracy";
}  // namespace

void InPut::build_ui() {
    setObjectName("in_put");
    setWindowTitle(kInputTitle);

    build_tabs();

    Command1 = button("&Calculate", "Command1", this);
    Command2 = button("E&xit", "Command2", this);
    for (QPushButton* b : {Command1, Command2}) b->setMinimumWidth(100);
    build_accuracy_choice();
    build_progress();

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(Picture1, 1);
    bottom->addSpacing(12);
    bottom->addWidget(refined_accuracy);
    bottom->addWidget(household_accuracy_note_);
    bottom->addWidget(spending_accuracy_note_);
    bottom->addSpacing(8);
    bottom->addWidget(Command1);
    bottom->addSpacing(12);
    bottom->addWidget(Command2);

    auto* main = new QVBoxLayout(this);
    main->setContentsMargins(6, 8, 6, 6);
    main->addWidget(TabStrip1, 1);
    main->addLayout(bottom);
    main->addWidget(accuracy_note_);

    // Wide enough at first for every tab caption to show; scroll buttons
    // appear only when the user makes the window narrower.
    const int tabs_width = TabStrip1->tabBar()->sizeHint().width() + 24;
    resize(minimumSizeHint().expandedTo(QSize(std::max(760, tabs_width), 560)));
    style_controls();
    // Where the person last left it, or in the middle of the screen; never
    // larger than the screen.
    keep_window_geometry(*this, "input");
}

void InPut::build_tabs() {
    TabStrip1 = new QTabWidget(this);
    TabStrip1->setObjectName("TabStrip1");
    TabStrip1->setUsesScrollButtons(true);
    TabStrip1->setDocumentMode(false);
    Frame1 = {build_page1(), build_page2(), build_page3(),
              build_page4(), build_page5(), build_household_page()};
    for (int i = 0; i < 6; ++i) {
        const int page = page_of_tab(i);
        QWidget* frame = Frame1[page - 1];
        frame->setObjectName(indexed("Frame1", page));
        // A page larger than the window scrolls, so that the window fits a
        // small screen with Calculate and Exit in view.
        auto* scroll = new QScrollArea;
        scroll->setObjectName(indexed("PageScroll", page));
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setFocusPolicy(Qt::NoFocus);
        scroll->setWidgetResizable(true);
        scroll->setWidget(frame);
        TabStrip1->addTab(scroll, kTabCaptions[i]);
        if (kTabToolTips[i][0] != '\0') TabStrip1->setTabToolTip(i, kTabToolTips[i]);
        TabStrip1->tabBar()->setTabData(i, QString(kTabMnemonics[i]));
        // Alt and the caption's letter goes to the page as a click on its tab
        // would, allocation check included; not while a calculation runs.
        auto* key = new QShortcut(QKeySequence::mnemonic(kTabMnemonics[i]), this);
        key->setObjectName(indexed("TabShortcut", i));
        connect(key, &QShortcut::activated, this, [this, i] {
            if (TabStrip1->isEnabled()) TabStrip1->setCurrentIndex(i);
        });
    }
}

void InPut::build_accuracy_choice() {
    refined_accuracy = new QCheckBox("&Refined accuracy", this);
    refined_accuracy->setObjectName("refined_accuracy");
    refined_accuracy->setToolTip(
        "Calculate every figure with the refined scheme, each probability with its error "
        "estimate. Slower than the standard scheme, and closer to what the model implies.");
    // The person's choice of scheme holds from one session to the next.
    refined_accuracy->setChecked(
        QSettings(kSettingsOwner, kSettingsName).value(kAccuracyKey, false).toBool());
    connect(refined_accuracy, &QCheckBox::toggled, this, [this](bool on) {
        // Ticked by a spouse, not by the person: their own choice stands.
        if (!accuracy_locked_) QSettings(kSettingsOwner, kSettingsName).setValue(kAccuracyKey, on);
        if (!on) accuracy_note_->hide();
    });
    household_accuracy_note_ = new QLabel(kHouseholdAccuracyNote, this);
    household_accuracy_note_->setObjectName("household_accuracy_note");
    household_accuracy_note_->setToolTip(
        "The household's three states (both alive, one survivor either way) are computed by "
        "the refined scheme only. Set the spouse's age to None to choose again.");
    household_accuracy_note_->hide();
    spending_accuracy_note_ = new QLabel(this);
    spending_accuracy_note_->setObjectName("spending_accuracy_note");
    spending_accuracy_note_->setToolTip(
        "Spending that follows wealth has no solution in the standard scheme: the percent rule "
        "is calculated by the refined scheme, the guardrails rule by simulating 100,000 paths. "
        "Choose the fixed rule to choose again.");
    spending_accuracy_note_->hide();
    accuracy_note_ = new QLabel(this);
    accuracy_note_->setObjectName("accuracy_note");
    accuracy_note_->setWordWrap(true);
    accuracy_note_->hide();
}

// Made after every control, so that it outlives them all when the window's
// children are deleted.
void InPut::style_controls() {
    auto* style = new InputStyle;
    style->setParent(this);
    TabStrip1->tabBar()->setStyle(style);
    for (QComboBox* list : findChildren<QComboBox*>()) {
        list->setStyle(style);
        list->view()->installEventFilter(this);
    }
}

QWidget* InPut::build_page1() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);
    QPushButton* help = button("&Help", "Command4", page);
    auto* top = new QHBoxLayout;
    top->addWidget(help);
    top->addStretch(1);
    v->addLayout(top);
    v->addWidget(heading("Please choose the relevant mortality table for:", page, "Label31(0)"));

    auto projection_row = [page](QComboBox* proj) {
        auto* row = new QHBoxLayout;
        row->addWidget(label("Projection:", page));
        row->addWidget(proj);
        row->addWidget(label("years", page));
        row->addStretch(1);
        return row;
    };

    auto* ruin = new QGroupBox("Ruin Probability", page);
    ruin->setObjectName("Frame7");
    auto* rv = new QVBoxLayout(ruin);
    prob_1994 = new QRadioButton(ruin_table_caption(1), ruin);
    prob_1994->setObjectName("prob_1994");
    prob_iam2000 = new QRadioButton(ruin_table_caption(2), ruin);
    prob_iam2000->setObjectName("prob_iam2000");
    prob_rp2000 = new QRadioButton(ruin_table_caption(3), ruin);
    prob_rp2000->setObjectName("prob_rp2000");
    prob_proj_num = list("prob_proj_num", ruin);
    for (QWidget* w : {static_cast<QWidget*>(prob_1994), static_cast<QWidget*>(prob_iam2000),
                       static_cast<QWidget*>(prob_rp2000)})
        rv->addWidget(w);
    rv->addSpacing(8);
    rv->addLayout(projection_row(prob_proj_num));
    rv->addStretch(1);

    auto* annu = new QGroupBox("Annuity Factors", page);
    annu->setObjectName("Frame6");
    auto* av = new QVBoxLayout(annu);
    annu_1983 = new QRadioButton(annuity_table_caption(1), annu);
    annu_1983->setObjectName("annu_1983");
    annu_iam2000 = new QRadioButton(annuity_table_caption(2), annu);
    annu_iam2000->setObjectName("annu_iam2000");
    annu_proj_num = list("annu_proj_num", annu);
    av->addWidget(annu_1983);
    av->addWidget(annu_iam2000);
    av->addSpacing(8);
    av->addLayout(projection_row(annu_proj_num));
    av->addStretch(1);

    auto* frames = new QHBoxLayout;
    frames->addWidget(ruin, 1);
    frames->addSpacing(16);
    frames->addWidget(annu, 1);
    v->addSpacing(8);
    v->addLayout(frames);
    v->addStretch(1);
    v->addLayout(right_aligned(button("&Print Screen", "Command13", page)));
    return page;
}

QWidget* InPut::build_page2() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);
    auto* top = new QHBoxLayout;
    top->addWidget(button("&Help", "Command3", page));
    top->addStretch(1);
    v->addLayout(top);
    v->addWidget(heading("The Current Yield Curve:", page, "Label31(1)"));
    v->addSpacing(6);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(18);
    grid->addWidget(label("Interest Rate During Period:", page), 0, 0);
    QLabel* nominal = label("Nominal", page);
    QLabel* real = label("Real", page);
    for (QLabel* l : {nominal, real}) {
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
        l->setAlignment(Qt::AlignCenter);
    }
    grid->addWidget(nominal, 0, 1);
    grid->addWidget(real, 0, 2);
    const char* const rows[6] = {
        "0 yrs  -   5 yrs :",  "5 yrs  -  10 yrs :",  "10 yrs  -  15 yrs :",
        "15 yrs  -  20 yrs :", "20 yrs  -  25 yrs :", "above 25 yrs :"};
    for (int k = 0; k < 12; ++k) Combo4[k] = list(indexed("Combo4", k), page);
    for (int k = 0; k < 6; ++k) {
        QLabel* row = label(rows[k], page, indexed("Label36", k));
        row->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(row, k + 1, 0);
        grid->addWidget(Combo4[k], k + 1, 1);
        grid->addWidget(Combo4[k + 6], k + 1, 2);
    }
    // Tab order down the nominal column, then down the real column.
    for (int k = 1; k < 12; ++k) setTabOrder(Combo4[k - 1], Combo4[k]);
    auto* centre = new QHBoxLayout;
    centre->addStretch(1);
    centre->addLayout(grid);
    centre->addStretch(2);
    v->addLayout(centre);
    v->addStretch(1);
    v->addLayout(right_aligned(button("&Print Screen", "Command12", page)));
    return page;
}

QWidget* InPut::build_page3() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);
    auto* top = new QHBoxLayout;
    top->addWidget(button("&Help", "Command5", page));
    top->addStretch(1);
    v->addLayout(top);
    v->addLayout(build_page3_person(page));
    v->addSpacing(6);
    v->addLayout(build_page3_incomes(page));

    Command6 = button("&Go", "Command6", page);
    Command6->setMinimumWidth(90);
    v->addLayout(right_aligned(Command6));

    v->addLayout(build_page3_figures(page));
    v->addStretch(1);
    v->addLayout(right_aligned(button("&Print Screen", "Command11", page)));

    // Keyboard order: person, pensions row by row, purchases, Go.
    QWidget* order[] = {ind_current_age,
                        ind_sex,
                        amounts_[kText10].edit,
                        amounts_[kText11].edit,
                        amounts_[kText1].edit,
                        Combo1[0],
                        amounts_[kText3].edit,
                        amounts_[kText4].edit,
                        Combo2[0],
                        amounts_[kText5].edit,
                        Combo1[1],
                        amounts_[kIndAnnuIncome].edit,
                        amounts_[kText2].edit,
                        Combo2[1],
                        Command6};
    for (std::size_t k = 1; k < std::size(order); ++k) setTabOrder(order[k - 1], order[k]);
    return page;
}

// Age and gender, then the target income and the liquid wealth.
QLayout* InPut::build_page3_person(QWidget* page) {
    ind_current_age = list("ind_current_age", page);
    ind_sex = list("ind_sex", page);
    auto* person = new QGridLayout;
    person->setHorizontalSpacing(10);
    person->addWidget(label("Current Age:", page), 0, 0, Qt::AlignRight);
    person->addWidget(ind_current_age, 0, 1, Qt::AlignLeft);
    person->addWidget(label("Gender:", page), 0, 3, Qt::AlignRight);
    person->addWidget(ind_sex, 0, 4, Qt::AlignLeft);

    bind_amount(kText10, amount_box("Text10", page), "target_income");
    bind_amount(kText11, amount_box("Text11", page), "liquid_wealth");
    person->addWidget(label("Real Target Income:", page), 1, 0, Qt::AlignRight);
    person->addWidget(amounts_[kText10].edit, 1, 1);
    person->addWidget(label("Liquid Retirement Wealth:", page), 1, 3, Qt::AlignRight);
    person->addWidget(amounts_[kText11].edit, 1, 4);
    person->setColumnMinimumWidth(2, 24);
    person->setColumnStretch(5, 1);
    return person;
}

// The two frames share their rows: pensions on the left, purchases on the right.
QLayout* InPut::build_page3_incomes(QWidget* page) {
    auto rate_frame = [&](const QString& title, const QString& name, int first, int cpi, int var,
                          QComboBox* cola, QComboBox* air) {
        auto* box = new QGroupBox(title, page);
        box->setObjectName(name);
        auto* g = new QGridLayout(box);
        g->addWidget(label("Nominal / COLA:", box), 0, 0, Qt::AlignRight);
        g->addWidget(amounts_[first].edit, 0, 1);
        g->addWidget(cola, 0, 2);
        g->addWidget(label("CPI - linked:", box), 1, 0, Qt::AlignRight);
        g->addWidget(amounts_[cpi].edit, 1, 1);
        g->addWidget(label("Variable / AIR:", box), 2, 0, Qt::AlignRight);
        g->addWidget(amounts_[var].edit, 2, 1);
        g->addWidget(air, 2, 2);
        g->setColumnStretch(3, 1);
        return box;
    };
    bind_amount(kText1, amount_box("Text1", page), "pension_nominal_income");
    bind_amount(kText3, amount_box("Text3", page), "pension_cpi_income");
    bind_amount(kText4, amount_box("Text4", page), "pension_variable_income");
    bind_amount(kText5, amount_box("Text5", page), "purchase_nominal");
    bind_amount(kIndAnnuIncome, amount_box("ind_annu_income", page), "purchase_cpi");
    bind_amount(kText2, amount_box("Text2", page), "purchase_variable");
    for (int k = 0; k < 2; ++k) {
        Combo1[k] = list(indexed("Combo1", k), page);
        Combo2[k] = list(indexed("Combo2", k), page);
    }
    QGroupBox* pension = rate_frame("Current Pension Income (Annual)", "Frame2", kText1, kText3,
                                    kText4, Combo1[0], Combo2[0]);
    QGroupBox* purchase = rate_frame("Allocation to  Purchase of Annuities", "Frame3", kText5,
                                     kIndAnnuIncome, kText2, Combo1[1], Combo2[1]);
    auto* frames = new QHBoxLayout;
    frames->addWidget(pension, 1);
    frames->addSpacing(10);
    frames->addWidget(purchase, 1);
    return frames;
}

// The shaded figures of the Go step: the acquired incomes on the left, the
// deficit and the net investable wealth on the right.
QLayout* InPut::build_page3_figures(QWidget* page) {
    const char* const shaded_names[5] = {"Text6", "Text7", "Text8", "Text9", "ind_invest_wealth"};
    for (int k = 0; k < 5; ++k) shaded_[k] = shaded_box(shaded_names[k], k < 4 ? " " : "", page);

    auto* acquired = new QGroupBox("Acquired Annuity Income (Annual)", page);
    acquired->setObjectName("Frame4");
    auto* ag = new QGridLayout(acquired);
    const char* const acquired_rows[3] = {"Nominal / COLA:", "CPI - linked:", "Variable / AIR:"};
    for (int k = 0; k < 3; ++k) {
        ag->addWidget(label(acquired_rows[k], acquired), k, 0, Qt::AlignRight);
        ag->addWidget(shaded_[k], k, 1);
    }
    ag->setColumnStretch(2, 1);

    auto* summary = new QGridLayout;
    summary->addWidget(label("Net Consumption Deficit:", page), 0, 0, Qt::AlignRight);
    summary->addWidget(shaded_[3], 0, 1);
    summary->addWidget(label("(To be funded via SWiP)", page), 1, 1);
    summary->addWidget(label("Net Investable Wealth:", page), 2, 0, Qt::AlignRight);
    summary->addWidget(shaded_[4], 2, 1);
    summary->addWidget(label("(To be allocated amongst investments)", page), 3, 1);
    summary->setRowMinimumHeight(1, 10);

    auto* lower = new QHBoxLayout;
    lower->addWidget(acquired, 1);
    lower->addSpacing(10);
    auto* summary_box = new QVBoxLayout;
    summary_box->addLayout(summary);
    summary_box->addStretch(1);
    lower->addLayout(summary_box, 1);
    return lower;
}

// The household: the spouse, then what changes when one of the two has
// died. Each group is a frame of its own, so that more of the household's
// terms can join the page as groups of their own.
QWidget* InPut::build_household_page() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);
    auto* top = new QHBoxLayout;
    top->addWidget(button("&Help", "Command14", page));
    top->addStretch(1);
    v->addLayout(top);
    v->addWidget(heading("A spouse or partner, if any:", page, "Label31(5)"));
    v->addSpacing(6);

    // A caption whose mnemonic moves the focus to its control.
    const auto caption = [](const QString& text, QWidget* buddy, QWidget* parent) {
        QLabel* l = label(text, parent);
        l->setBuddy(buddy);
        return l;
    };

    auto* spouse = new QGroupBox("Spouse", page);
    spouse->setObjectName("Frame8");
    spouse_current_age = list("spouse_current_age", spouse);
    spouse_sex = list("spouse_sex", spouse);
    spouse_current_age->setToolTip("\"None\" for one person alone");
    auto* sg = new QGridLayout(spouse);
    sg->setHorizontalSpacing(10);
    sg->addWidget(caption("Spouse's A&ge:", spouse_current_age, spouse), 0, 0, Qt::AlignRight);
    sg->addWidget(spouse_current_age, 0, 1, Qt::AlignLeft);
    sg->addWidget(caption("Spouse's Ge&nder:", spouse_sex, spouse), 0, 3, Qt::AlignRight);
    sg->addWidget(spouse_sex, 0, 4, Qt::AlignLeft);
    bind_amount(kSpousePensionCpi, amount_box("spouse_pension_cpi", spouse),
                "spouse_pension_cpi_income");
    amounts_[kSpousePensionCpi].page = kHouseholdPage;
    QLineEdit* pension = amounts_[kSpousePensionCpi].edit;
    pension->setToolTip(
        "Paid in full while the spouse lives, and at the survivor share to you afterwards");
    sg->addWidget(caption("Spouse's CPI - lin&ked Pension (Annual):", pension, spouse), 1, 0,
                  Qt::AlignRight);
    sg->addWidget(pension, 1, 1);
    sg->setColumnMinimumWidth(2, 24);
    sg->setColumnStretch(5, 1);
    v->addWidget(spouse);
    v->addSpacing(6);

    v->addWidget(build_survivor_group(page));
    v->addSpacing(6);
    v->addWidget(build_spending_group(page));

    v->addStretch(1);
    v->addLayout(right_aligned(button("&Print Screen", "Command15", page)));
    QWidget* order[] = {spouse_current_age,
                        spouse_sex,
                        pension,
                        survivor_spending,
                        survivor_share,
                        spending_rule,
                        spending_rate,
                        amounts_[kSpendingFloor].edit,
                        amounts_[kSpendingCeiling].edit,
                        guardrail_upper,
                        guardrail_lower,
                        spending_cut,
                        spending_raise};
    for (std::size_t k = 1; k < std::size(order); ++k) setTabOrder(order[k - 1], order[k]);
    return page;
}

// What changes when one of the two has died: the survivor's spending and
// the share of the incomes paid on.
QWidget* InPut::build_survivor_group(QWidget* page) {
    auto* survivor = new QGroupBox("When one of you has died", page);
    survivor->setObjectName("Frame10");
    survivor_spending = list("survivor_spending", survivor);
    survivor_share = list("survivor_share", survivor);
    survivor_spending->setToolTip(
        "What the survivor spends, as a percentage of the real target income");
    survivor_share->setToolTip(
        "How much of a pension, and of each annuity bought, goes on being paid to the survivor");
    const auto caption = [survivor](const QString& text, QWidget* buddy) {
        QLabel* l = label(text, survivor);
        l->setBuddy(buddy);
        return l;
    };
    auto* wg = new QGridLayout(survivor);
    wg->setHorizontalSpacing(10);
    wg->addWidget(caption("Survivor &Spending:", survivor_spending), 0, 0,
                  Qt::AlignRight);
    wg->addWidget(survivor_spending, 0, 1, Qt::AlignLeft);
    wg->addWidget(label("of the real target income", survivor), 0, 2);
    wg->addWidget(caption("Surviv&or Share:", survivor_share), 1, 0, Qt::AlignRight);
    wg->addWidget(survivor_share, 1, 1, Qt::AlignLeft);
    wg->addWidget(label("of each pension and annuity, paid on to the survivor", survivor), 1, 2);
    wg->setColumnStretch(3, 1);
    return survivor;
}

// The spending rule's controls, fed through the catalogue, with their tips.
void InPut::create_spending_controls(QWidget* group) {
    spending_rule = list("spending_rule", group);
    spending_rule->setToolTip(
        "Fixed: the real target income every year. Percent of wealth: a share of the wealth "
        "each year, between the floor and the ceiling. Guardrails: the target income, cut after "
        "bad years and raised after good ones, between the floor and the ceiling.");
    spending_rate = list("spending_rate", group);
    spending_rate->setToolTip("Percent of wealth: the share of the wealth spent each year");
    bind_amount(kSpendingFloor, amount_box("spending_floor", group), "spending_floor");
    bind_amount(kSpendingCeiling, amount_box("spending_ceiling", group), "spending_ceiling");
    QLineEdit* floor = amounts_[kSpendingFloor].edit;
    QLineEdit* ceiling = amounts_[kSpendingCeiling].edit;
    amounts_[kSpendingFloor].page = kHouseholdPage;
    amounts_[kSpendingCeiling].page = kHouseholdPage;
    floor->setToolTip(
        "The least spent in a year, in today's money; 0 for 75% of the real target income");
    ceiling->setToolTip(
        "The most spent in a year, in today's money; 0 for 150% of the real target income");
    guardrail_upper = list("guardrail_upper", group);
    guardrail_lower = list("guardrail_lower", group);
    spending_cut = list("spending_cut", group);
    spending_raise = list("spending_raise", group);
    guardrail_upper->setToolTip(
        "Spending is cut when the year's withdrawal rate is above the first year's by more "
        "than this share of it");
    guardrail_lower->setToolTip(
        "Spending is raised when the year's withdrawal rate is below the first year's by more "
        "than this share of it");
    spending_cut->setToolTip("How much spending is cut when the upper guardrail is crossed");
    spending_raise->setToolTip("How much spending is raised when the lower guardrail is crossed");
}

// How the household spends: the rule, then its terms. A term that does not
// belong to the chosen rule stays in its place, greyed, so the group keeps
// its shape whichever rule is chosen.
QWidget* InPut::build_spending_group(QWidget* page) {
    auto* group = new QGroupBox("Spending", page);
    group->setObjectName("Frame13");
    const auto caption = [group](const QString& text, QWidget* buddy) {
        QLabel* l = label(text, group);
        l->setBuddy(buddy);
        return l;
    };
    const auto note = [group](const QString& text) { return label(text, group); };
    create_spending_controls(group);
    QLineEdit* floor = amounts_[kSpendingFloor].edit;
    QLineEdit* ceiling = amounts_[kSpendingCeiling].edit;

    auto* g = new QGridLayout(group);
    g->setHorizontalSpacing(10);
    QLabel* rate_caption = caption("Spending Ra&te:", spending_rate);
    QLabel* rate_note = note("of the wealth a year");
    g->addWidget(caption("Spen&ding Rule:", spending_rule), 0, 0, Qt::AlignRight);
    g->addWidget(spending_rule, 0, 1, Qt::AlignLeft);
    g->addWidget(rate_caption, 0, 3, Qt::AlignRight);
    g->addWidget(spending_rate, 0, 4, Qt::AlignLeft);
    g->addWidget(rate_note, 0, 5);

    QLabel* floor_caption = caption("Floor per &Year:", floor);
    QLabel* ceiling_caption = caption("Ceiling per Year:", ceiling);
    QLabel* bounds_note = note("0: 75% and 150% of the target");
    g->addWidget(floor_caption, 1, 0, Qt::AlignRight);
    g->addWidget(floor, 1, 1);
    g->addWidget(ceiling_caption, 1, 3, Qt::AlignRight);
    g->addWidget(ceiling, 1, 4);
    g->addWidget(bounds_note, 1, 5);

    QLabel* upper_caption = caption("Upper Guardrail:", guardrail_upper);
    QLabel* lower_caption = caption("Lo&wer Guardrail:", guardrail_lower);
    QLabel* cut_caption = caption("Spending Cut:", spending_cut);
    QLabel* raise_caption = caption("Spending Raise:", spending_raise);
    g->addWidget(upper_caption, 2, 0, Qt::AlignRight);
    g->addWidget(guardrail_upper, 2, 1, Qt::AlignLeft);
    g->addWidget(lower_caption, 2, 3, Qt::AlignRight);
    g->addWidget(guardrail_lower, 2, 4, Qt::AlignLeft);
    g->addWidget(cut_caption, 3, 0, Qt::AlignRight);
    g->addWidget(spending_cut, 3, 1, Qt::AlignLeft);
    g->addWidget(raise_caption, 3, 3, Qt::AlignRight);
    g->addWidget(spending_raise, 3, 4, Qt::AlignLeft);
    g->setColumnMinimumWidth(2, 16);
    g->setColumnStretch(6, 1);

    // Rules by their list position: 0 fixed, 1 percent of wealth, 2 guardrails.
    constexpr unsigned kPercent = 1u << 1, kGuardrails = 1u << 2;
    spending_terms_ = {
        {{rate_caption, spending_rate, rate_note}, kPercent},
        {{floor_caption, floor, ceiling_caption, ceiling, bounds_note}, kPercent | kGuardrails},
        {{upper_caption, guardrail_upper, lower_caption, guardrail_lower, cut_caption,
          spending_cut, raise_caption, spending_raise},
         kGuardrails},
    };
    return group;
}

QWidget* InPut::build_page4() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(button("&Help", "Command7", page));
    buttons->addWidget(button("&Print Screen", "Command9", page));
    same_width(buttons);
    Combo5 = list("Combo5", page);
    Combo5->setToolTip("Market of the capital-market assumptions");
    auto* top = new QHBoxLayout;
    top->addLayout(buttons);
    top->addStretch(1);
    top->addWidget(Combo5, 0, Qt::AlignTop);
    v->addLayout(top);
    v->addWidget(heading("Asset Allocation", page, "Label2"), 0, Qt::AlignHCenter);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(24);
    Combo3 = list("Combo3", page);
    auto* later = new QHBoxLayout;
    later->setSpacing(6);
    later->addWidget(label("In", page));
    later->addWidget(Combo3);
    later->addWidget(label("yrs", page));
    grid->addWidget(label("Today", page), 0, 1, Qt::AlignCenter);
    grid->addLayout(later, 0, 2, Qt::AlignCenter);
    const char* const rows[5] = {
        "1.) Equity / Stocks:", "2.) Nominal Return Bonds:", "3.) Real Return Bonds:",
        "4.) Cash / Money Market :", "5.) Real Estate:"};
    for (int k = 0; k < 10; ++k) Combo6[k] = list(indexed("Combo6", k), page);
    for (int k = 0; k < 5; ++k) {
        auto* cell = new QVBoxLayout;
        cell->setSpacing(0);
        cell->addWidget(label(rows[k], page));
        // The two markets' captions share one place; only one is shown.
        Label50[k] = index_caption(k, "Label50", page);
        Label50[k + 5] = index_caption(k + 5, "Label50", page);
        cell->addWidget(Label50[k]);
        cell->addWidget(Label50[k + 5]);
        Label50[k + 5]->hide();  // the U.S. set shows until a market is chosen
        grid->addLayout(cell, k + 1, 0);
        grid->addWidget(Combo6[k], k + 1, 1, Qt::AlignCenter);
        grid->addWidget(Combo6[k + 5], k + 1, 2, Qt::AlignCenter);
    }
    grid->addWidget(label("Total:", page), 6, 0);
    for (int col = 0; col < 2; ++col) {
        totals_[col] = label("100%", page, indexed("Total", col));
        totals_[col]->setToolTip("The column's allocations added up; they must come to 100%");
        grid->addWidget(totals_[col], 6, col + 1, Qt::AlignCenter);
    }
    grid->setColumnStretch(0, 1);
    v->addLayout(grid);
    v->addStretch(1);
    for (int k = 1; k < 10; ++k) setTabOrder(Combo6[k - 1], Combo6[k]);
    return page;
}

QWidget* InPut::build_page5() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(button("&Help", "Command8", page));
    buttons->addWidget(button("&Print Screen", "Command10", page));
    same_width(buttons);
    Label34 = heading("U.S.A", page, "Label34");
    auto* top = new QHBoxLayout;
    top->addLayout(buttons);
    top->addStretch(1);
    top->addWidget(Label34, 0, Qt::AlignTop);
    v->addLayout(top);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(24);
    auto* mean_head = new QVBoxLayout;
    mean_head->setSpacing(0);
    mean_head->addWidget(label("Real Expected Return", page), 0, Qt::AlignCenter);
    mean_head->addWidget(label("(after inflation)", page), 0, Qt::AlignCenter);
    grid->addLayout(mean_head, 0, 1);
    grid->addWidget(label("Standard Deviation", page), 0, 2, Qt::AlignCenter | Qt::AlignTop);

    stock_mean = list("stock_mean", page);
    nomi_bond_mean = list("nomi_bond_mean", page);
    real_bond_mean = list("real_bond_mean", page);
    cash_mean = list("cash_mean", page);
    estate_mean = list("estate_mean", page);
    stock_dev = list("stock_dev", page);
    nomi_bond_dev = list("nomi_bond_dev", page);
    real_bond_dev = list("real_bond_dev", page);
    estate_dev = list("estate_dev", page);
    QComboBox* means[5] = {stock_mean, nomi_bond_mean, real_bond_mean, cash_mean, estate_mean};
    QComboBox* devs[5] = {stock_dev, nomi_bond_dev, real_bond_dev, nullptr, estate_dev};
    const char* const rows[5] = {
        "1.) Equity / Stocks :", "2.) Nominal Return Bonds :", "3.) Real Return Bonds : ",
        "4.) Cash / Money Market :", "5.) Real Estate:"};
    for (int k = 0; k < 5; ++k) {
        auto* cell = new QVBoxLayout;
        cell->setSpacing(0);
        cell->addWidget(label(rows[k], page));
        Label51[k] = index_caption(k, "Label51", page);
        Label51[k + 5] = index_caption(k + 5, "Label51", page);
        Label51[k]->clear();
        Label51[k + 5]->clear();
        cell->addWidget(Label51[k]);
        cell->addWidget(Label51[k + 5]);
        grid->addLayout(cell, k + 1, 0);
        grid->addWidget(means[k], k + 1, 1, Qt::AlignCenter);
        if (devs[k] != nullptr) grid->addWidget(devs[k], k + 1, 2, Qt::AlignCenter);
    }
    // The adviser's fee comes off the returns above, so it sits under them,
    // in their column.
    advisory_fee = list("advisory_fee", page);
    advisory_fee->setToolTip(
        "Charged every year on the invested portfolio: lowers its expected real return, "
        "today's and later allocation alike. Not charged on annuities.");
    grid->setRowMinimumHeight(6, 12);
    grid->addWidget(label("Advisory Fee (per year):", page, "Label52"), 7, 0);
    grid->addWidget(advisory_fee, 7, 1, Qt::AlignCenter);
    grid->addWidget(label("(not charged on annuities)", page, "Label53"), 7, 2, Qt::AlignCenter);
    grid->setColumnStretch(0, 1);
    v->addLayout(grid);
    v->addStretch(1);
    QWidget* order[] = {stock_mean,    stock_dev, nomi_bond_mean, nomi_bond_dev, real_bond_mean,
                        real_bond_dev, cash_mean, estate_mean,    estate_dev,    advisory_fee};
    for (std::size_t k = 1; k < std::size(order); ++k) setTabOrder(order[k - 1], order[k]);
    return page;
}

void InPut::build_progress() {
    Picture1 = new QFrame(this);
    Picture1->setObjectName("Picture1");
    Picture1->setFrameShape(QFrame::StyledPanel);
    Picture1->setFrameShadow(QFrame::Sunken);
    Picture1->setFixedHeight(31);
    Picture1->setMinimumWidth(200);
    QSizePolicy keep = Picture1->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    Picture1->setSizePolicy(keep);

    Label20 = new QLabel(" Program is running. Please wait...", Picture1);
    Label20->setObjectName("Label20");
    QPalette p = Label20->palette();
    p.setColor(QPalette::WindowText, QColor(139, 0, 0));
    Label20->setPalette(p);
    QFont f = Label20->font();
    f.setBold(true);
    Label20->setFont(f);
    Label20->adjustSize();

    // The animation area floats over the middle of the window.
    Picture2 = new QLabel(this);
    Picture2->setObjectName("Picture2");
    Picture2->setFixedSize(140, 90);
    Picture2->setFrameShape(QFrame::NoFrame);
    Picture2->setAttribute(Qt::WA_TransparentForMouseEvents);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(50);

    for (int k = 0; k < 7; ++k) frames_[k] = progress_frame_image(k);

    Picture1->hide();
    Label20->hide();
    Picture2->hide();
}

}  // namespace quorrel
