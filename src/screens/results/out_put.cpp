#include "screens/results/out_put.h"
#include "screens/screen_common.h"

#include <QCloseEvent>
#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QTabBar>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <utility>

#include "analysis/case_comparison.h"
#include "analysis/case_summary.h"
#include "analysis/defaults.h"
#include "analysis/input_catalogue.h"
#include "analysis/pipeline.h"
#include "analysis/report.h"
#include "record/number_format.h"
#include "record/published_figures.h"
#include "report/chart_geometry.h"
#include "report/explanations.h"
#include "report/report_document.h"
#include "screens/results/background_job.h"
#include "screens/results/chart_view.h"
#include "screens/results/compare_window.h"
#include "screens/results/grid_marks.h"
#include "screens/results/keyboard.h"
#include "screens/results/what_if_window.h"

namespace quorrel {

namespace {

constexpr const char* kTitle = "Results and Analysis";
constexpr const char* kReportFilter = "text file (*.txt)";
constexpr const char* kPdfFilter = "PDF document (*.pdf)";
constexpr const char* kSavedCaseFilter = "Quorrel case (*.json)";


QLabel* label(QWidget* parent, const char* name, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

// A chart tab's title, centred in dark blue.
QLabel* tab_title(QWidget* parent, const char* name, const QString& text) {
    QLabel* title = label(parent, name, text);
    title->setStyleSheet("color: rgb(0, 0, 128); font-weight: bold;");
    title->setAlignment(Qt::AlignCenter);
    return title;
}

// A read-only value box, filled by code only.
QLineEdit* value_box(QWidget* parent, const char* name, int width = 90) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setReadOnly(true);
    box->setAlignment(Qt::AlignCenter);
    box->setFixedWidth(width);
    box->setFocusPolicy(Qt::ClickFocus);
    return box;
}


QPlainTextEdit* explanation(QWidget* parent, const char* name, const char* text) {
    auto* box = new QPlainTextEdit(QString::fromUtf8(text), parent);
    box->setObjectName(name);
    box->setReadOnly(true);
    box->setFrameShape(QFrame::NoFrame);
    box->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    box->setMinimumHeight(60);
    // It looks like a label: a tab stop there would be one nobody can see.
    box->setFocusPolicy(Qt::ClickFocus);
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, parent->palette().color(QPalette::Window));
    box->setPalette(palette);
    return box;
}

QFrame* line(QWidget* parent, const char* name) {
    auto* l = new QFrame(parent);
    l->setObjectName(name);
    l->setFrameShape(QFrame::HLine);
    l->setFrameShadow(QFrame::Sunken);
    return l;
}

// Buttons of a tab, at its bottom right.
QHBoxLayout* button_row(std::initializer_list<QPushButton*> buttons) {
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    for (QPushButton* b : buttons) row->addWidget(b);
    return row;
}

}  // namespace

OutPut::OutPut(const AnalysisState& state, const ResultsRecord& results, Platform& platform,
               QString liquid_wealth_text, QWidget* parent)
    : QWidget(parent),
      state_(state),
      results_(results),
      platform_(platform),
      liquid_wealth_text_(std::move(liquid_wealth_text)) {
    setObjectName("out_put");
    set_case_name({});  // the window's title

    auto* layout = new QVBoxLayout(this);
    tab_strip_ = new QTabBar(this);
    tab_strip_->setObjectName("TabStrip1");
    // The tabs' captions with their mnemonics, unique in this window.
    for (const char* caption : {"&Probability Results", "Projected &Wealth ",
                                "Projected &Consumption", "&Mortality Parameters", "Spen&ding"})
        tab_strip_->addTab(caption);
    tab_strip_->setExpanding(false);
    tab_strip_->setUsesScrollButtons(true);
    layout->addWidget(tab_strip_);

    // The four frames share one place below the tab strip; only the current
    // tab's frame is visible.
    auto* area = new QWidget(this);
    auto* stack = new QGridLayout(area);
    stack->setContentsMargins(0, 0, 0, 0);
    QWidget* const pages[5] = {build_probability_tab(), build_wealth_tab(), build_consumption_tab(),
                               build_mortality_tab(), build_spending_tab()};
    for (int i = 0; i < 5; ++i) {
        auto* frame = new QFrame(area);
        frame->setObjectName(QString("Frame1(%1)").arg(i + 1));
        frame->setFrameShape(QFrame::StyledPanel);
        auto* inner = new QVBoxLayout(frame);
        inner->setContentsMargins(0, 0, 0, 0);
        // A page taller or wider than the window scrolls, so that the window
        // fits a small screen with its buttons in view.
        auto* scroll = new QScrollArea(frame);
        scroll->setObjectName(QString("scroll(%1)").arg(i + 1));
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setFocusPolicy(Qt::NoFocus);
        scroll->setWidgetResizable(true);
        scroll->setWidget(pages[i]);
        inner->addWidget(scroll);
        stack->addWidget(frame, 0, 0);
        frames_[i] = frame;
    }
    layout->addWidget(area, 1);
    // Which scheme produced the figures, in plain words; the refined scheme's
    // technical account behind them.
    QLabel* scheme = label(this, "scheme_line", qs(scheme_sentence(results_)));
    if (results_.refined) scheme->setToolTip(qs(results_.scheme_line));
    scheme->setWordWrap(true);
    layout->addWidget(scheme);

    layout->addLayout(build_command_row());
    // Where the last report went; empty until a save succeeds.
    save_status_ = label(this, "save_status", "");
    save_status_->setAlignment(Qt::AlignCenter);
    save_status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(save_status_);

    connect(tab_strip_, &QTabBar::currentChanged, this, [this] { out_put_TabStrip1_Click(); });
    install_tab_keys();
    press_buttons_on_enter(*this);

    name_controls();
    out_put_Form_Load();
    resize(780, 700);
    // Where the person last left it, or in the middle of the screen; never
    // larger than the screen.
    if (!parent) keep_window_geometry(*this, "results");
}

// The commands below the tabs.
QHBoxLayout* OutPut::build_command_row() {
    auto* bottom = new QHBoxLayout;
    // Made in the order they stand, so that Tab follows them and "Return" is last.
    QPushButton* save = button(this, "Command3", "&Save Results");
    QPushButton* export_pdf = button(this, "export_pdf", "&Export PDF...");
    QPushButton* print_report = button(this, "print_report", "Print Rep&ort...");
    QPushButton* compare = button(this, "compare_cases", "Comp&are...");
    check_button_ = button(this, "check_by_simulation", "C&heck by simulation");
    QPushButton* what_if = button(this, "what_if", "What &if");
    QPushButton* back = button(this, "Command1", "&Return");
    save->setToolTip("Save Results (Ctrl+S)");
    print_report->setToolTip("Print Report (Ctrl+P)");
    back->setToolTip("Return to the inputs (Escape, Ctrl+W)");
    bottom->addStretch(1);
    bottom->addWidget(save);
    bottom->addWidget(export_pdf);
    bottom->addWidget(print_report);
    bottom->addWidget(compare);
    bottom->addWidget(check_button_);
    bottom->addWidget(what_if);
    bottom->addSpacing(24);
    bottom->addWidget(back);
    bottom->addStretch(1);
    connect(save, &QPushButton::clicked, this, [this] { out_put_Command3_Click(); });
    connect(back, &QPushButton::clicked, this, [this] { out_put_Command1_Click(); });
    connect(export_pdf, &QPushButton::clicked, this, [this] { export_pdf_clicked(); });
    connect(print_report, &QPushButton::clicked, this, [this] { print_report_clicked(); });
    connect(compare, &QPushButton::clicked, this, [this] { compare_clicked(); });
    connect(check_button_, &QPushButton::clicked, this, [this] { check_by_simulation_clicked(); });
    connect(what_if, &QPushButton::clicked, this, [this] { what_if_clicked(); });
    return bottom;
}

void OutPut::install_tab_keys() {
    // The desktop's keys for saving, printing and closing.
    const auto key = [this](const QKeySequence& keys, auto handler) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, handler);
    };
    key(QKeySequence(Qt::CTRL | Qt::Key_S), [this] { out_put_Command3_Click(); });
    key(QKeySequence(Qt::CTRL | Qt::Key_P), [this] { print_report_clicked(); });
    key(QKeySequence(Qt::Key_Escape), [this] { out_put_Command1_Click(); });
    key(QKeySequence(Qt::CTRL | Qt::Key_W), [this] { out_put_Command1_Click(); });
    // Ctrl+Tab and Ctrl+Shift+Tab step through the tabs, as on the input screen.
    const auto step_tab = [this](int by) {
        const int n = tab_strip_->count();
        tab_strip_->setCurrentIndex((tab_strip_->currentIndex() + by + n) % n);
    };
    for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::Key_Tab)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this,
                [step_tab] { step_tab(1); });
    for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
                                     QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab),
                                     QKeySequence(Qt::CTRL | Qt::Key_Backtab)}) {
        // On X, Ctrl+Shift+Tab arrives as Backtab and matches more than one of
        // these spellings; Qt then calls the press ambiguous and picks one.
        auto* back = new QShortcut(keys, this);
        connect(back, &QShortcut::activated, this, [step_tab] { step_tab(-1); });
        connect(back, &QShortcut::activatedAmbiguously, this, [step_tab] { step_tab(-1); });
    }
}

OutPut::~OutPut() = default;

QWidget* OutPut::build_probability_tab() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);

    auto* frame3 = new QFrame(page);
    frame3->setObjectName("Frame3");
    auto* money = new QGridLayout(frame3);
    money->addWidget(label(frame3, "Label1", "Your Net Investable Wealth (NIW) is :"), 0, 0);
    money->addWidget(label(frame3, "Label18", "$"), 0, 1);
    money->addWidget(value_box(frame3, "Text1", 120), 0, 2);
    money->addWidget(label(frame3, "Label36", "Your Net Consumption Deficit is:"), 1, 0);
    money->addWidget(label(frame3, "Label59", "$"), 1, 1);
    money->addWidget(value_box(frame3, "Text45", 120), 1, 2);
    money->setColumnStretch(3, 1);
    v->addWidget(frame3);

    // The grid's chief figure in plain words, above it.
    QLabel* headline = label(page, "headline", "");
    QFont larger = headline->font();
    larger.setBold(true);
    larger.setPointSizeF(larger.pointSizeF() * 1.15);
    headline->setFont(larger);
    headline->setWordWrap(true);
    v->addWidget(headline);

    auto* shape = new QFrame(page);
    shape->setObjectName("Shape1");
    shape->setFrameShape(QFrame::Box);
    auto* grid = new QGridLayout(shape);
    auto* heading = label(shape, "Label2", "Probability");
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    grid->addWidget(heading, 0, 0);
    grid->addWidget(label(shape, "Label3", "NIW hits"), 1, 0);
    const char* columns[4] = {"Label4", "Label5", "Label6", "Label7"};
    for (int c = 0; c < 4; ++c) {
        QLabel* l = label(shape, columns[c], kRuinFigures.column_captions[c]);
        l->setAlignment(Qt::AlignCenter);
        l->setFont(bold);
        grid->addWidget(l, 1, c + 1);
    }
    grid->addWidget(line(shape, "Line1"), 2, 0, 1, 5);
    // Each row of cells has a row below it for the simulated figures, empty
    // (and so without height) until a simulation has run.
    const char* rows[4] = {"Label25", "Label26", "Label27", "Label28"};
    for (int r = 0; r < 4; ++r) {
        grid->addWidget(label(shape, rows[r], kRuinFigures.row_captions[r]), 2 * r + 3, 0);
        for (int c = 0; c < 4; ++c) {
            const char* cell = kRuinFigures.cells[r][c];
            grid->addWidget(value_box(shape, cell), 2 * r + 3, c + 1, Qt::AlignCenter);
            ruin_simulated_[r][c] = simulation_label(shape, cell);
            grid->addWidget(ruin_simulated_[r][c], 2 * r + 4, c + 1, Qt::AlignCenter);
        }
    }
    grid->addWidget(line(shape, "Line2"), 11, 0, 1, 5);
    v->addWidget(shape);
    if (results_.household.present) v->addWidget(build_household_lifetime(page));
    grid_marks_notes_[0] = label(page, "grid_marks_note(0)", "");
    grid_marks_notes_[0]->setWordWrap(true);
    grid_marks_notes_[0]->hide();
    v->addWidget(grid_marks_notes_[0]);
    simulation_notes_[0] = label(page, "simulation_note(0)", "");
    simulation_notes_[0]->setWordWrap(true);
    simulation_notes_[0]->hide();
    v->addWidget(simulation_notes_[0]);
    check_notes_[0] = label(page, "check_note(0)", "");
    check_notes_[0]->setWordWrap(true);
    check_notes_[0]->hide();
    v->addWidget(check_notes_[0]);

    v->addWidget(explanation(page, "Text20", explanations::kProbability), 1);
    QPushButton* print = button(page, "Command5", "Pri&nt Screen");
    connect(print, &QPushButton::clicked, this, [this] { out_put_Command5_Click(); });
    v->addLayout(button_row({print}));
    return page;
}

// A household's lifetime column split by who was alive when the money ran
// out; the two add up to the lifetime column above.
QWidget* OutPut::build_household_lifetime(QWidget* page) {
    auto* box = new QGroupBox("Lifetime, by who was alive when the NIW hit the level", page);
    box->setObjectName("Frame11");
    auto* grid = new QGridLayout(box);
    QLabel* both = label(box, "Label64", "while both were alive");
    QLabel* survivor = label(box, "Label65", "while a survivor lived");
    for (QLabel* l : {both, survivor}) l->setAlignment(Qt::AlignCenter);
    grid->addWidget(both, 0, 1);
    grid->addWidget(survivor, 0, 2);
    const HouseholdFigures& h = results_.household;
    // As the grid above, each row of cells has a row below it for the
    // simulated figures, empty until a simulation has run.
    for (int r = 0; r < 4; ++r) {
        grid->addWidget(label(box, qs("Label66(" + std::to_string(r) + ")").toUtf8().constData(),
                              kRuinFigures.row_captions[r]),
                        2 * r + 1, 0);
        const auto cell = [&](int part, const char* name, double value, double error) {
            const QByteArray cell_name = qs(name + ("(" + std::to_string(r) + ")")).toUtf8();
            QLineEdit* b = value_box(box, cell_name);
            b->setText(qs(format_percent2(value)));
            b->setToolTip(QString("Error estimate: %1 percentage points")
                              .arg(qs(fixed_text(100 * error, 2))));
            grid->addWidget(b, 2 * r + 1, part + 1, Qt::AlignCenter);
            household_simulated_[part][r] = simulation_label(box, cell_name.constData());
            grid->addWidget(household_simulated_[part][r], 2 * r + 2, part + 1, Qt::AlignCenter);
        };
        cell(0, "lifetime_both", h.lifetime_ruin_both[r], h.lifetime_ruin_both_error[r]);
        cell(1, "lifetime_survivor", h.lifetime_ruin_survivor[r],
             h.lifetime_ruin_survivor_error[r]);
    }
    grid->setColumnStretch(3, 1);
    return box;
}

// A household's spouse and the person's age at the last of the two deaths.
QWidget* OutPut::build_household_mortality(QWidget* page) {
    const HouseholdFigures& h = results_.household;
    auto* box = new QGroupBox("Household", page);
    box->setObjectName("Frame12");
    auto* grid = new QGridLayout(box);
    const auto row = [&](int r, int c, const char* caption, const char* name, const QString& text) {
        grid->addWidget(label(box, "", caption), r, c);
        QLineEdit* b = value_box(box, name);
        b->setText(text);
        grid->addWidget(b, r, c + 1);
    };
    row(0, 0, "Spouse's Age:", "household_spouse_age", qs(str_form(h.spouse_age)));
    row(1, 0, "Spouse's Gender:", "household_spouse_gender",
        qs(gender_caption(state_.spouse_gender_code)));
    row(0, 2, "Your Age at the Last Death:", "last_death_age",
        qs(fixed_text(h.expected_last_death_age, 1)));
    row(1, 2, "90th Percentile:", "last_death_age_90", qs(fixed_text(h.last_death_age_90, 1)));
    grid->setColumnStretch(4, 1);
    return box;
}

QWidget* OutPut::build_wealth_tab() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);

    auto* row = new QHBoxLayout;
    auto* frame9 = new QGroupBox("Estate (Real) Conditional on Survival:", page);
    frame9->setObjectName("Frame9");
    auto* grid = new QGridLayout(frame9);
    const char* columns[3] = {"Label47", "Label48", "Label49"};
    for (int c = 0; c < 3; ++c) {
        QLabel* l = label(frame9, columns[c], kEstateFigures.column_captions[c]);
        l->setAlignment(Qt::AlignCenter);
        grid->addWidget(l, 0, c + 1);
    }
    const char* rows[3] = {"Label44", "Label45", "Label46"};
    for (int r = 0; r < 3; ++r) {
        grid->addWidget(label(frame9, rows[r], kEstateFigures.row_captions[r]), 2 * r + 1, 0);
        for (int c = 0; c < 3; ++c) {
            const char* cell = kEstateFigures.cells[r][c];
            grid->addWidget(value_box(frame9, cell), 2 * r + 1, c + 1);
            estate_simulated_[r][c] = simulation_label(frame9, cell);
            grid->addWidget(estate_simulated_[r][c], 2 * r + 2, c + 1, Qt::AlignCenter);
        }
    }
    row->addWidget(frame9);

    // The cells are multiples of the net investable wealth shown here.
    row->addWidget(label(page, "Label8(0)", "X "));
    QLabel* niw = label(page, "Label9", "");
    niw->setToolTip("Net Investable Wealth");
    row->addWidget(niw);
    row->addStretch(1);
    v->addLayout(row);
    grid_marks_notes_[1] = label(page, "grid_marks_note(1)", "");
    grid_marks_notes_[1]->setWordWrap(true);
    grid_marks_notes_[1]->hide();
    v->addWidget(grid_marks_notes_[1]);
    simulation_notes_[1] = label(page, "simulation_note(1)", "");
    simulation_notes_[1]->setWordWrap(true);
    simulation_notes_[1]->hide();
    v->addWidget(simulation_notes_[1]);
    check_notes_[1] = label(page, "check_note(1)", "");
    check_notes_[1]->setWordWrap(true);
    check_notes_[1]->hide();
    v->addWidget(check_notes_[1]);

    v->addWidget(explanation(page, "Text24", explanations::kWealth), 1);
    QPushButton* print = button(page, "Command7", "Pri&nt Screen");
    connect(print, &QPushButton::clicked, this, [this] { out_put_Command7_Click(); });
    v->addLayout(button_row({print}));
    return page;
}

QWidget* OutPut::build_consumption_tab() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);
    v->addWidget(tab_title(page, "Label13", "Expected Income Conditional on Survival "));

    income_picture_ = new ChartView(page);
    income_picture_->setObjectName("Picture2");
    v->addWidget(income_picture_, 1);

    QPushButton* graph = button(page, "Command6", "&Graph");
    QPushButton* print = button(page, "Command2", "Pri&nt Screen");
    connect(graph, &QPushButton::clicked, this, [this] { out_put_Command6_Click(); });
    connect(print, &QPushButton::clicked, this, [this] { out_put_Command2_Click(); });
    v->addLayout(button_row({graph, print}));
    v->addWidget(explanation(page, "Text8", explanations::kConsumption));
    return page;
}

QWidget* OutPut::build_mortality_tab() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);

    auto* frame2 = new QGroupBox("Individual Information", page);
    frame2->setObjectName("Frame2");
    auto* grid = new QGridLayout(frame2);
    grid->addWidget(label(frame2, "Label33", "Current Age:"), 0, 0);
    grid->addWidget(value_box(frame2, "Text42"), 0, 1);
    grid->addWidget(label(frame2, "Label34", "Life Expectancy:"), 0, 2);
    grid->addWidget(value_box(frame2, "Text43"), 0, 3);
    grid->addWidget(label(frame2, "Label11", "Gender:"), 1, 0);
    grid->addWidget(value_box(frame2, "Text44(1)"), 1, 1);
    grid->addWidget(label(frame2, "Label35", "90th Percentile:"), 1, 2);
    grid->addWidget(value_box(frame2, "Text44(0)"), 1, 3);
    grid->setColumnStretch(4, 1);
    v->addWidget(frame2);
    if (results_.household.present) v->addWidget(build_household_mortality(page));

    survival_picture_ = new ChartView(page);
    survival_picture_->setObjectName("Picture1");
    v->addWidget(survival_picture_, 1);
    ruin_age_note_ = label(page, "ruin_age_note", "");
    ruin_age_note_->setStyleSheet("color: rgb(0, 0, 255);");
    ruin_age_note_->setWordWrap(true);
    ruin_age_note_->hide();
    v->addWidget(ruin_age_note_);

    QPushButton* graph = button(page, "Command4", "&Graph");
    QPushButton* print = button(page, "Command8", "Pri&nt Screen");
    connect(graph, &QPushButton::clicked, this, [this] { out_put_Command4_Click(); });
    connect(print, &QPushButton::clicked, this, [this] { out_put_Command8_Click(); });
    v->addLayout(button_row({graph, print}));
    v->addWidget(explanation(
        page, "Text25",
        results_.household.present ? explanations::kHouseholdMortality : explanations::kMortality));
    return page;
}

// The spending percentiles in today's dollars and the chance of spending
// the floor, charted and tabled, under a rule that lets spending follow
// wealth; under the fixed rule, one plain sentence.
QWidget* OutPut::build_spending_tab() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);
    v->addWidget(tab_title(page, "Label67", "Spending Conditional on Survival"));
    QPushButton* print = button(page, "Command9", "Pri&nt Screen");
    connect(print, &QPushButton::clicked, this, [this] { out_put_Command9_Click(); });
    if (state_.spending_rule == 0) {
        QLabel* fixed = label(page, "spending_fixed_note", explanations::kFixedSpending);
        fixed->setWordWrap(true);
        v->addWidget(fixed);
        v->addStretch(1);
        v->addLayout(button_row({print}));
        return page;
    }
    QLabel* terms = label(page, "spending_terms", "");
    QStringList parts;
    for (const auto& row : spending_terms(state_, false).rows)
        parts << qs(row[0]) + " " + qs(row[1]);
    terms->setText(parts.join(";  "));
    terms->setWordWrap(true);
    v->addWidget(terms);

    spending_picture_ = new ChartView(page);
    spending_picture_->setObjectName("Picture3");
    spending_picture_->set_geometry(spending_chart(state_, results_));
    // Small enough that the figures under it show without scrolling.
    spending_picture_->setMaximumHeight(300);
    v->addWidget(spending_picture_, 1);
    v->addWidget(build_spending_figures(page));
    v->addLayout(button_row({print}));
    v->addWidget(explanation(page, "Text26", explanations::kSpending));
    return page;
}

// The grid under the chart: its figures as the record holds them, each with
// its error estimate (a simulation's standard error) in the tooltip.
QWidget* OutPut::build_spending_figures(QWidget* page) {
    auto* box = new QGroupBox("Spending per Year (Real) Conditional on Survival:", page);
    box->setObjectName("Frame13");
    auto* grid = new QGridLayout(box);
    for (std::size_t c = 0; c < 3; ++c) {
        QLabel* l = label(box, "", kSpendingFigures.column_captions[c]);
        l->setAlignment(Qt::AlignCenter);
        grid->addWidget(l, 0, static_cast<int>(c) + 1);
    }
    QLabel* at_floor = label(box, "", kAtFloorCaption);
    at_floor->setAlignment(Qt::AlignCenter);
    grid->addWidget(at_floor, 0, 5);
    const bool simulated = state_.spending_rule == kGuardrailsRule;
    const QString error_kind = simulated ? "Standard error of the simulation" : "Error estimate";
    for (std::size_t r = 0; r < 3; ++r) {
        const int row = static_cast<int>(r) + 1;
        const std::string index = "(" + std::to_string(r) + ")";
        grid->addWidget(label(box, "", kSpendingFigures.row_captions[r]), row, 0);
        for (std::size_t c = 0; c < 3; ++c) {
            const std::string name = std::string("spending_") + kSpendingFigures.column_keys[c] + index;
            QLineEdit* cell = value_box(box, name.c_str());
            cell->setText(qs(shown_text(results_, kSpendingFigures, r, c)));
            if (results_.refined)
                cell->setToolTip(QString("%1: %2 dollars a year")
                                     .arg(error_kind, qs(error_text(results_, kSpendingFigures, r, c))));
            grid->addWidget(cell, row, static_cast<int>(c) + 1);
        }
        QLineEdit* floor = value_box(box, ("spending_at_floor" + index).c_str());
        floor->setText(qs(at_floor_text(results_, r)));
        if (results_.refined)
            floor->setToolTip(
                QString("%1: %2 percentage points")
                    .arg(error_kind,
                         qs(error_estimate_text(100 * results_.spending_at_floor_error[r], 2))));
        grid->addWidget(floor, row, 5);
    }
    grid->setColumnMinimumWidth(4, 12);
    grid->setColumnStretch(6, 1);
    return box;
}

// What a screen reader says of each figure: the row and column it stands in,
// since a cell's text alone ("9.3%") says nothing of what it is.
void OutPut::name_controls() {
    const auto name = [this](const QString& control, const QString& accessible,
                             const QString& description = {}) {
        if (auto* w = findChild<QWidget*>(control)) {
            w->setAccessibleName(accessible);
            if (!description.isEmpty()) w->setAccessibleDescription(description);
        }
    };
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            const QString when =
                c == 3 ? QString("over the lifetime")
                       : QString("within %1").arg(kRuinFigures.column_captions[c]).toLower();
            name(ruin_cell_names()[r][c],
                 QString("Probability that the NIW hits %1 %2")
                     .arg(QString(kRuinFigures.row_captions[r]).replace(" %", "%"), when),
                 "Probability Results");
        }
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            QString row = kEstateFigures.row_captions[r];
            row.chop(1);  // its colon
            name(estate_cell_names()[r][c],
                 QString("Estate after %1, %2, as a multiple of the NIW")
                     .arg(row, kEstateFigures.column_captions[c]),
                 "Estate (Real) Conditional on Survival");
        }
    name("Text1", "Net Investable Wealth (NIW), dollars");
    name("Text45", "Net Consumption Deficit, dollars");
    name("Text42", "Current Age");
    name("Text43", "Life Expectancy");
    name("Text44(1)", "Gender");
    name("Text44(0)", "90th Percentile age");
    name("Picture1", "Survival chart",
         "The probability of surviving to each age, and the expected ruin age");
    name("Picture2", "Expected income chart",
         "Expected income as a multiple of the real target income, at each age, conditional on "
         "survival");
    for (int r = 0; r < 4; ++r) {
        const QString level = QString(kRuinFigures.row_captions[r]).replace(" %", "%");
        name(QString("lifetime_both(%1)").arg(r),
             "Probability that the NIW hits " + level + " while both were alive",
             "Probability Results");
        name(QString("lifetime_survivor(%1)").arg(r),
             "Probability that the NIW hits " + level + " while a survivor lived",
             "Probability Results");
    }
    name("household_spouse_age", "Spouse's age");
    name("household_spouse_gender", "Spouse's gender");
    name("last_death_age", "Your expected age at the last death of the two");
    name("last_death_age_90", "90th percentile of your age at the last death of the two");
    if (results_.household.present)
        name("Picture1", "Survival chart",
             "The probability that you, your spouse, both and at least one of you are alive at "
             "each of your ages");
    name("Picture3", "Spending chart",
         "Real spending per year in today's dollars after 10, 20 and 30 years: the 25% to 75% "
         "band, the median and the floor");
    for (std::size_t r = 0; r < 3; ++r) {
        QString when = kSpendingFigures.row_captions[r];
        when.chop(1);  // its colon
        const QString index = QString("(%1)").arg(r);
        for (std::size_t c = 0; c < 3; ++c)
            name(QString("spending_") + kSpendingFigures.column_keys[c] + index,
                 QString("Spending after %1, %2, dollars a year")
                     .arg(when, kSpendingFigures.column_captions[c]),
                 "Spending per Year (Real) Conditional on Survival");
        name("spending_at_floor" + index,
             QString("Chance that spending is at the floor after %1").arg(when),
             "Spending per Year (Real) Conditional on Survival");
    }
    name("headline", "Headline");
    name("scheme_line", "Accuracy of the figures");
    for (const char* box : {"Text20", "Text24", "Text8", "Text25", "Text26"})
        name(box, "Explanation");
}

void OutPut::set_field(const char* name, const QString& text) {
    if (auto* box = findChild<QLineEdit*>(name)) {
        box->setText(text);
        box->setCursorPosition(0);
    } else if (auto* l = findChild<QLabel*>(name)) {
        l->setText(text);
    }
}

// Shows what the calculation produced; every figure comes from the results
// record or the state as the calculation left it.
void OutPut::out_put_Form_Load() {
    current_tab_ = 1;
    tab_strip_->setCurrentIndex(0);
    for (std::size_t i = 0; i < frames_.size(); ++i) frames_[i]->setVisible(i == 0);

    for (const auto& [cell, text] : results_.cells) set_field(cell.c_str(), qs(text));

    for (const Figure& f : published_figures())
        if (f.cell != nullptr) set_field(f.cell, qs(cell_text(f, state_, results_)));
    set_field("Text42", qs(str_form(state_.current_age)));
    set_field("Label9", qs(format_grouped0(state_.net_investable_wealth)));
    set_field("headline", qs(headline_sentence(results_)));
    mark_grid_cells();

    out_put_Command4_Click();
    out_put_Command6_Click();
}

// Cells whose text the grid decides, probabilities out of order and refined
// figures the last simulation does not bear out keep their texts, with a
// mark and a tooltip each.
void OutPut::mark_grid_cells() {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            auto* box = findChild<QLineEdit*>(ruin_cell_names()[r][c]);
            if (!box) continue;
            unmark_grid_cell(*box);
            if (results_.refined)
                box->setToolTip(QString("Error estimate: %1 percentage points")
                                    .arg(qs(error_text(results_, kRuinFigures, r, c))));
            if (results_.barrier_at_start[r][c]) mark_grid_cell(*box, kBarrierAtStartTip);
            if (results_.ruin_out_of_order[r][c]) mark_grid_cell(*box, kRuinOutOfOrderTip);
            if (check_ && check_->ruin[r][c] == Agreement::disagrees)
                mark_grid_cell(*box, kDisagreesTip);
        }
    const char* estate_tip =
        results_.refined ? kRefinedEstateAtGridLimitTip : kEstateAtGridLimitTip;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            auto* box = findChild<QLineEdit*>(estate_cell_names()[r][c]);
            if (!box) continue;
            unmark_grid_cell(*box);
            if (results_.refined)
                box->setToolTip(QString("Error estimate: %1 times the NIW")
                                    .arg(qs(error_text(results_, kEstateFigures, r, c))));
            if (results_.estate_at_grid_limit[r][c]) mark_grid_cell(*box, estate_tip);
            if (check_ && check_->estate[r][c] == Agreement::disagrees)
                mark_grid_cell(*box, kDisagreesTip);
        }

    const bool barrier = any_barrier_at_start(results_);
    const bool order = any_ruin_out_of_order(results_);
    grid_marks_notes_[0]->setText(barrier && order ? kGridAndOrderMarksNote
                                  : order          ? kOrderMarksNote
                                                   : kGridMarksNote);
    grid_marks_notes_[0]->setVisible(barrier || order);
    grid_marks_notes_[1]->setText(results_.refined ? kRefinedGridMarksNote : kGridMarksNote);
    grid_marks_notes_[1]->setVisible(any_estate_at_grid_limit(results_));

    bool off[2] = {false, false};
    if (check_) {
        for (const auto& row : check_->ruin)
            for (Agreement a : row) off[0] = off[0] || a == Agreement::disagrees;
        for (const auto& row : check_->estate)
            for (Agreement a : row) off[1] = off[1] || a == Agreement::disagrees;
    }
    for (int k = 0; k < 2; ++k) {
        check_notes_[k]->setText(kDisagreesNote);
        check_notes_[k]->setVisible(off[k]);
    }
}

void OutPut::out_put_TabStrip1_Click() {
    const int selected = tab_strip_->currentIndex() + 1;
    if (selected < 1 || selected == current_tab_) return;
    frames_[selected - 1]->setVisible(true);
    frames_[current_tab_ - 1]->setVisible(false);
    current_tab_ = static_cast<std::int16_t>(selected);
}

void OutPut::out_put_Command4_Click() {
    survival_picture_->set_geometry(survival_chart(state_, results_));
    const std::string& note = survival_picture_->chart().note;
    ruin_age_note_->setText(qs(note));
    ruin_age_note_->setVisible(!note.empty());
}

void OutPut::out_put_Command6_Click() {
    income_picture_->set_geometry(income_chart(state_, results_));
}

void OutPut::out_put_Command5_Click() { print_screen(); }
void OutPut::out_put_Command7_Click() { print_screen(); }
void OutPut::out_put_Command2_Click() { print_screen(); }
void OutPut::out_put_Command8_Click() { print_screen(); }
void OutPut::out_put_Command9_Click() { print_screen(); }

// The whole window goes to the printer as one image, so the charts print as
// they are shown; a failure leaves the screen as it was.
void OutPut::print_screen() {
    if (!platform_.print_window(window()))
        platform_.show_message(this, kTitle, kPrintFailureMessage, MessageIcon::critical);
}

void OutPut::out_put_Command3_Click() {
    // The report is stamped with the moment the button was pressed.
    const QString stamp = QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss");
    const QString chosen = platform_.save_file_name(
        this, proposed_file_name(case_name_, QDate::currentDate(), "txt"), kReportFilter);
    save_status_->clear();
    // A cancelled dialog is the person's choice, not a failure: nothing to say.
    if (chosen.isEmpty()) return;
    const std::string path = report_file_name(QFile::encodeName(chosen).toStdString());
    const std::vector<std::string> lines =
        report_lines(state_, results_, liquid_wealth_text_.toStdString(), stamp.toStdString());
    const QString shown_path = QFile::decodeName(path.c_str());
    const bool existed = QFileInfo(shown_path).isFile();
    const std::string reason = append_report(path, lines);
    if (!reason.empty()) {
        platform_.show_message(this, kTitle,
                               QString("The results could not be saved to the file\n%1\n\n%2")
                                   .arg(shown_path, qs(reason)),
                               MessageIcon::critical);
        return;
    }
    save_status_->setText(existed ? QString("The report was added to the end of %1").arg(shown_path)
                                  : QString("The report was saved in %1").arg(shown_path));
}

void OutPut::set_case_name(const QString& name) {
    case_name_ = name;
    // "Quorrel - Smith - Results and Analysis": the program and the case.
    setWindowTitle(QString(kProgramName) + " - " + (name.isEmpty() ? QString() : name + " - ") +
                   kTitle);
}

void OutPut::export_pdf_clicked() {
    // Written whole: the dialog asks before an existing file is replaced.
    QString chosen = platform_.replace_file_name(
        this, proposed_file_name(case_name_, QDate::currentDate(), "pdf"), kPdfFilter, "pdf");
    if (chosen.isEmpty()) return;  // cancelled: nothing to say
    if (!chosen.endsWith(".pdf", Qt::CaseInsensitive)) chosen += ".pdf";
    save_status_->clear();
    const std::string reason =
        write_report_pdf(chosen, state_, results_, {case_name_, QDateTime::currentDateTime()});
    if (!reason.empty()) {
        platform_.show_message(this, kTitle,
                               QString("The report could not be written to the file\n%1\n\n%2")
                                   .arg(chosen, qs(reason)),
                               MessageIcon::critical);
        return;
    }
    save_status_->setText(QString("The PDF report was written to %1").arg(chosen));
}

void OutPut::print_report_clicked() {
    const QDateTime prepared = QDateTime::currentDateTime();
    platform_.preview_document(this, "Print Report", [this, prepared](QPrinter& printer) {
        paint_report(printer, state_, results_, {case_name_, prepared});
    });
}

void OutPut::set_case_reader(CaseReader reader) { case_reader_ = std::move(reader); }

QWidget* OutPut::compare_window() const { return compare_window_.data(); }

namespace {

// A compared case's calculation on the worker: collects the calculation's
// message instead of showing it (a case that cannot be calculated is named in
// one message of the results screen), reports progress by the figures
// published, and stops at the next time step once Cancel is pressed.
class CompareHooks : public CalculationHooks {
public:
    struct Cancelled {};
    CompareHooks(const std::atomic<bool>& cancel, std::atomic<double>& progress, double from,
                 double share)
        : cancel_(cancel), progress_(progress), from_(from), share_(share) {}
    void show_message(const std::string& text, const std::string&) override { message = text; }
    void process_pending_events() override {
        if (cancel_.load()) throw Cancelled{};
    }
    void result_published(const std::string&, const std::string&) override {
        constexpr double kFigures = 25;
        published_ = std::min(published_ + 1, kFigures);
        progress_.store(from_ + share_ * published_ / kFigures);
    }
    std::string message;

private:
    const std::atomic<bool>& cancel_;
    std::atomic<double>& progress_;
    double from_, share_;
    double published_ = 0;
};

// What the comparison's worker reads and leaves behind.
struct PendingComparison {
    std::vector<ComparedCase> cases;  // the current case first
    QStringList paths;                // of the other cases, in order
    Accuracy accuracy = Accuracy::standard;
    bool cancelled = false;
    QString failed_path;  // the case that could not be calculated, and why
    std::string reason;
};

// On the worker: the cases after the first, each its share of the progress;
// stops at the first that fails or when cancelled.
void calculate_other_cases(PendingComparison& pending, const std::atomic<bool>& cancel,
                           std::atomic<double>& progress) {
    const double share = 1.0 / static_cast<double>(pending.paths.size());
    for (qsizetype i = 0; i < pending.paths.size(); ++i) {
        ComparedCase& other = pending.cases[static_cast<size_t>(i) + 1];
        CompareHooks hooks(cancel, progress, static_cast<double>(i) * share, share);
        std::string reason;
        try {
            // A household has the refined scheme only.
            const Accuracy accuracy =
                has_spouse(other.state) ? Accuracy::refined : pending.accuracy;
            if (run_calculation(other.state, hooks, other.results, accuracy) !=
                CalculationOutcome::completed)
                reason = hooks.message;
        } catch (const CompareHooks::Cancelled&) {
            pending.cancelled = true;
            return;
        } catch (const std::exception& e) {
            reason = e.what();
        }
        if (!reason.empty()) {
            pending.failed_path = pending.paths[i];
            pending.reason = reason;
            return;
        }
    }
}

}  // namespace

bool OutPut::comparison_running() const { return comparison_ && comparison_->running(); }

void OutPut::compare_clicked() {
    if (comparison_running()) return;
    const QStringList files = platform_.open_file_names(this, kSavedCaseFilter);
    if (files.isEmpty()) return;
    if (files.size() > 3) {
        platform_.show_message(this, kTitle, "Please choose one to three saved cases to compare.",
                               MessageIcon::critical);
        return;
    }
    auto pending = std::make_shared<PendingComparison>();
    // Every case at the scheme of the figures on screen, so that a difference
    // is one of inputs, never of accuracy (a household, refined only, is
    // refined whatever the scheme on screen; the window then says the
    // schemes differ).
    pending->accuracy = results_.refined ? Accuracy::refined : Accuracy::standard;
    pending->cases.push_back(
        {(case_name_.isEmpty() ? QString(kUnnamedCase) : case_name_).toStdString(), state_,
         results_});
    // The files are read here, quickly; only the calculations go to the worker.
    for (const QString& path : files) {
        ComparedCase other{QFileInfo(path).completeBaseName().toStdString(), {}, {}};
        apply_input_defaults(other.state);
        const std::string reason = case_reader_
                                       ? case_reader_(path, other.state)
                                       : std::string("saved cases cannot be read in this program");
        if (!reason.empty()) {
            platform_.show_message(
                this, kTitle, QString("The case %1 cannot be compared:\n%2").arg(path, qs(reason)),
                MessageIcon::critical);
            return;
        }
        pending->cases.push_back(std::move(other));
        pending->paths << path;
    }

    comparison_.reset();
    auto work = [pending](const std::atomic<bool>& cancel, std::atomic<double>& progress) {
        calculate_other_cases(*pending, cancel, progress);
    };
    auto done = [this, pending](JobEnd end, const QString& message) {
        if (end == JobEnd::cancelled || pending->cancelled) return;
        if (end == JobEnd::failed || !pending->reason.empty()) {
            const QString path =
                pending->failed_path.isEmpty() ? pending->paths.join(", ") : pending->failed_path;
            const QString why = end == JobEnd::failed ? message : qs(pending->reason);
            platform_.show_message(this, kTitle,
                                   QString("The case %1 cannot be compared:\n%2").arg(path, why),
                                   MessageIcon::critical);
            return;
        }
        if (compare_window_) compare_window_->close();
        auto* window = new CompareWindow(compare_cases(pending->cases), platform_, this);
        window->setAttribute(Qt::WA_DeleteOnClose);
        compare_window_ = window;
        window->show();
    };
    comparison_ = std::make_unique<BackgroundJob>(
        platform_, this, "Compare",
        QString("Calculating %1 at %2 accuracy...")
            .arg(files.size() == 1 ? QString("the other case")
                                   : QString("the %1 other cases").arg(files.size()),
                 results_.refined ? "refined" : "standard"),
        std::move(work), std::move(done));
}

WhatIfWindow* OutPut::what_if_window() const { return what_if_.data(); }

void OutPut::what_if_clicked() {
    if (what_if_) {
        what_if_->showNormal();
        what_if_->raise();
        what_if_->activateWindow();
        return;
    }
    auto* window = new WhatIfWindow(state_, platform_, this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    connect(window, &WhatIfWindow::amount_chosen, this, [this](const QString& key, double value) {
        emit input_amount_chosen(key, value);
        out_put_Command1_Click();
    });
    what_if_ = window;
    window->show();
}

void OutPut::out_put_Command1_Click() {
    if (simulation_) simulation_->cancel();
    if (comparison_) comparison_->cancel();
    if (returned_) return;
    returned_ = true;
    QPointer<OutPut> alive(this);
    hide();
    if (alive) emit returned();
}

void OutPut::closeEvent(QCloseEvent* event) {
    event->accept();
    // A simulation still running is of no more use; the destructor waits
    // for its worker.
    if (simulation_) simulation_->cancel();
    if (comparison_) comparison_->cancel();
    if (returned_) return;
    returned_ = true;
    emit returned();
}

}  // namespace quorrel
