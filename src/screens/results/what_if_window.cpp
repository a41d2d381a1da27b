#include "screens/results/what_if_window.h"
#include "screens/screen_common.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QTableWidget>
#include <QVBoxLayout>
#include <array>
#include <charconv>

#include "record/number_format.h"
#include "screens/results/background_job.h"
#include "screens/results/chart_view.h"
#include "screens/results/keyboard.h"
#include "screens/results/sweep_chart.h"

namespace quorrel {

namespace {



// Locale-free: a CSV file reads the same on every desktop.
std::string fixed(double value, int decimals) {
    std::array<char, 64> buffer{};
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                            std::chars_format::fixed, decimals);
    return error == std::errc() ? std::string(buffer.data(), end) : std::string("nan");
}


const char* const kColumns[] = {"Share",
                                "Purchase",
                                "Lifetime\nruin",
                                "Ruin\n10 years",
                                "Ruin\n20 years",
                                "Ruin\n30 years",
                                "Median estate\n10 years",
                                "Median estate\n20 years",
                                "Median estate\n30 years",
                                "Income\n20 years",
                                "Income\n30 years"};

std::array<std::string, 11> row_texts(const SweepPoint& p) {
    if (!p.refused.empty())
        return {format_grouped0(p.share * 100) + "%", format_grouped0(p.purchase), "not computed"};
    return {format_grouped0(p.share * 100) + "%", format_grouped0(p.purchase),
            format_percent2(p.lifetime_ruin),     format_percent1(p.ruin_10),
            format_percent1(p.ruin_20),           format_percent1(p.ruin_30),
            format_grouped0(p.median_estate_10),  format_grouped0(p.median_estate_20),
            format_grouped0(p.median_estate_30),  format_plain2(p.expected_income_20),
            format_plain2(p.expected_income_30)};
}

QString solution_text(const SpendingSolution& s) {
    if (!s.found) return "No answer: " + qs(s.message);
    const char* what =
        s.solved_for == SolveFor::income ? "Largest target income" : "Smallest liquid wealth";
    return QString("%1: %2, at a lifetime ruin probability of %3 (refined accuracy, %4 trials).")
        .arg(what, qs(format_grouped0(s.value)), qs(format_percent2(s.lifetime_ruin)))
        .arg(s.iterations);
}

QString sweep_summary_text(const AnnuitySweep& sweep) {
    if (sweep.best < 0) return {};
    const SweepPoint& best = sweep.points[static_cast<std::size_t>(sweep.best)];
    QString text =
        QString("Lowest lifetime ruin probability: %1 at a share of %2%.")
            .arg(qs(format_percent2(best.lifetime_ruin)), qs(format_grouped0(best.share * 100)));
    const QString threshold = qs(format_percent1(sweep.threshold));
    if (sweep.first_below) {
        const SweepPoint& first = sweep.points[static_cast<std::size_t>(*sweep.first_below)];
        text += QString(" The smallest share with lifetime ruin below %1: %2%.")
                    .arg(threshold, qs(format_grouped0(first.share * 100)));
    } else {
        text += QString(" No share brings lifetime ruin below %1.").arg(threshold);
    }
    return text;
}

}  // namespace

std::string sweep_csv(const AnnuitySweep& sweep) {
    std::string csv =
        "share_percent,purchase,lifetime_ruin,ruin_10,ruin_20,ruin_30,median_estate_10,"
        "median_estate_20,median_estate_30,expected_income_20,expected_income_30\n";
    for (const SweepPoint& p : sweep.points) {
        if (!p.refused.empty()) {
            // Not computed: its figures are left empty.
            csv += fixed(p.share * 100, 0) + "," + fixed(p.purchase, 2) + ",,,,,,,,,\n";
            continue;
        }
        csv += fixed(p.share * 100, 0) + "," + fixed(p.purchase, 2) + "," +
               fixed(p.lifetime_ruin, 6) + "," + fixed(p.ruin_10, 6) + "," + fixed(p.ruin_20, 6) +
               "," + fixed(p.ruin_30, 6) + "," + fixed(p.median_estate_10, 2) + "," +
               fixed(p.median_estate_20, 2) + "," + fixed(p.median_estate_30, 2) + "," +
               fixed(p.expected_income_20, 6) + "," + fixed(p.expected_income_30, 6) + "\n";
    }
    return csv;
}

WhatIfWindow::WhatIfWindow(const AnalysisState& inputs, Platform& platform, QWidget* parent)
    : QWidget(parent, Qt::Window), inputs_(inputs), platform_(platform) {
    setObjectName("what_if");
    setWindowTitle(kWhatIfTitle);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(build_solver());
    layout->addWidget(build_sweep(), 1);
    auto* close_row = new QHBoxLayout;
    close_row->addStretch(1);
    QPushButton* close_button = button(this, "close_what_if", "C&lose");
    connect(close_button, &QPushButton::clicked, this, &QWidget::close);
    close_row->addWidget(close_button);
    layout->addLayout(close_row);
    press_buttons_on_enter(*this);
    resize(1260, 720);
    centre_on_screen(*this);
}

WhatIfWindow::~WhatIfWindow() = default;

QWidget* WhatIfWindow::build_solver() {
    auto* group = new QGroupBox("How much can I spend?", this);
    group->setObjectName("solver");
    auto* grid = new QGridLayout(group);
    auto* caption = new QLabel("Target lifetime &ruin probability:", group);
    probability_ = new QDoubleSpinBox(group);
    probability_->setObjectName("target_probability");
    probability_->setRange(kSolveLowestProbability * 100, kSolveHighestProbability * 100);
    probability_->setDecimals(1);
    probability_->setSingleStep(0.5);
    probability_->setSuffix(" %");
    probability_->setValue(kSolveDefaultProbability * 100);
    caption->setBuddy(probability_);
    solve_income_ = new QRadioButton("Largest target &income", group);
    solve_income_->setObjectName("solve_income");
    solve_income_->setChecked(true);
    solve_wealth_ = new QRadioButton("Smallest liquid &wealth", group);
    solve_wealth_->setObjectName("solve_wealth");
    solve_ = button(group, "solve", "&Solve");
    use_ = button(group, "use_solved", "&Use in the input screen");
    use_->setEnabled(false);
    use_->setToolTip(
        "Puts the amount into its box on the input screen and returns there; "
        "Calculate then shows the whole analysis at it.");
    solve_result_ = new QLabel(group);
    solve_result_->setObjectName("solve_result");
    solve_result_->setWordWrap(true);
    solve_result_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(caption, 0, 0);
    grid->addWidget(probability_, 0, 1);
    grid->addWidget(solve_income_, 0, 2);
    grid->addWidget(solve_wealth_, 0, 3);
    grid->addWidget(solve_, 0, 4);
    auto* result_row = new QHBoxLayout;
    result_row->addWidget(solve_result_, 1);
    result_row->addWidget(use_);
    grid->addLayout(result_row, 1, 0, 1, 5);
    grid->setColumnStretch(3, 1);
    connect(solve_, &QPushButton::clicked, this, [this] { solve_clicked(); });
    connect(use_, &QPushButton::clicked, this, [this] { use_clicked(); });
    return group;
}

QWidget* WhatIfWindow::build_sweep() {
    auto* group = new QGroupBox("How much should I annuitize?", this);
    group->setObjectName("sweep");
    auto* v = new QVBoxLayout(group);
    auto* row = new QHBoxLayout;
    auto* caption = new QLabel("&Annuity:", group);
    kind_ = new QComboBox(group);
    kind_->setObjectName("annuity_kind");
    kind_->addItems({"CPI-linked", "Nominal, with the COLA", "Variable, with the AIR"});
    caption->setBuddy(kind_);
    sweep_button_ = button(group, "run_sweep", "Swee&p 0% to 100%");
    export_ = button(group, "export_sweep", "Export &CSV...");
    export_->setEnabled(false);
    row->addWidget(caption);
    row->addWidget(kind_);
    row->addWidget(sweep_button_);
    row->addWidget(export_);
    row->addStretch(1);
    v->addLayout(row);
    sweep_summary_ = new QLabel(group);
    sweep_summary_->setObjectName("sweep_summary");
    sweep_summary_->setWordWrap(true);
    sweep_summary_->setText(
        "The sweep reruns the calculation, with refined accuracy, for each share "
        "of the liquid wealth from 0% to 100% in steps of 5% spent on the annuity.");
    v->addWidget(sweep_summary_);

    auto* body = new QHBoxLayout;
    chart_ = new ChartView(group);
    chart_->setObjectName("sweep_chart");
    chart_->setMinimumWidth(470);
    chart_->set_geometry(sweep_chart(AnnuitySweep{}));  // the axes until a sweep has run
    body->addWidget(chart_, 0, Qt::AlignTop);
    table_ = new QTableWidget(0, static_cast<int>(std::size(kColumns)), group);
    table_->setObjectName("sweep_table");
    QStringList headers;
    for (const char* c : kColumns) headers << c;
    table_->setHorizontalHeaderLabels(headers);
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    table_->horizontalHeader()->setMinimumHeight(2 * fontMetrics().height() + 8);
    body->addWidget(table_, 1);
    v->addLayout(body, 1);
    connect(sweep_button_, &QPushButton::clicked, this, [this] { sweep_clicked(); });
    connect(export_, &QPushButton::clicked, this, [this] { export_clicked(); });
    return group;
}

bool WhatIfWindow::busy() const { return job_ && job_->running(); }

void WhatIfWindow::start(const QString& text,
                         std::function<void(const std::atomic<bool>&, std::atomic<double>&)> work,
                         std::function<void()> finished) {
    job_.reset();
    solve_->setEnabled(false);
    sweep_button_->setEnabled(false);
    auto done = [this, finished = std::move(finished)](JobEnd end, const QString& message) {
        solve_->setEnabled(true);
        sweep_button_->setEnabled(true);
        if (end == JobEnd::failed)
            platform_.show_message(this, kWhatIfTitle, message, MessageIcon::critical);
        else if (end == JobEnd::finished)
            finished();
    };
    job_ = std::make_unique<BackgroundJob>(platform_, this, kWhatIfTitle, text, std::move(work),
                                           std::move(done));
}

void WhatIfWindow::solve_clicked() {
    if (busy()) return;
    const SolveFor mode = solve_wealth_->isChecked() ? SolveFor::wealth : SolveFor::income;
    const double probability = probability_->value() / 100;
    auto result = std::make_shared<SpendingSolution>();
    auto work = [inputs = inputs_, mode, probability, result](const std::atomic<bool>& cancel,
                                                              std::atomic<double>& progress) {
        const ToolControl control{&cancel, [&progress](double share) { progress.store(share); }};
        *result = solve_sustainable_spending(inputs, mode, probability, control);
    };
    start(mode == SolveFor::income ? "Solving for the target income..."
                                   : "Solving for the liquid wealth...",
          std::move(work), [this, result] {
              if (!result->cancelled) show_solution(*result);
          });
}

void WhatIfWindow::show_solution(const SpendingSolution& solution) {
    solution_ = solution;
    solve_result_->setText(solution_text(solution));
    use_->setEnabled(solution.found);
    if (!solution.found)
        platform_.show_message(this, kWhatIfTitle, qs(solution.message), MessageIcon::critical);
}

void WhatIfWindow::use_clicked() {
    if (!solution_ || !solution_->found) return;
    emit amount_chosen(
        solution_->solved_for == SolveFor::income ? kTargetIncomeKey : kLiquidWealthKey,
        solution_->value);
}

void WhatIfWindow::sweep_clicked() {
    if (busy()) return;
    const auto kind = static_cast<AnnuityKind>(std::max(0, kind_->currentIndex()));
    const double threshold = probability_->value() / 100;
    auto result = std::make_shared<AnnuitySweep>();
    auto work = [inputs = inputs_, kind, threshold, result](const std::atomic<bool>& cancel,
                                                            std::atomic<double>& progress) {
        const ToolControl control{&cancel, [&progress](double share) { progress.store(share); }};
        *result = sweep_annuitization(inputs, kind, threshold, control);
    };
    start("Sweeping the annuity share from 0% to 100%...", std::move(work), [this, result] {
        if (!result->refused.empty())
            platform_.show_message(this, kWhatIfTitle, qs(result->refused), MessageIcon::critical);
        else if (!result->cancelled)
            show_sweep(*result);
    });
}

void WhatIfWindow::show_sweep(const AnnuitySweep& sweep) {
    sweep_ = sweep;
    sweep_summary_->setText(sweep_summary_text(sweep));
    chart_->set_geometry(sweep_chart(sweep));
    table_->setRowCount(static_cast<int>(sweep.points.size()));
    for (int r = 0; r < table_->rowCount(); ++r) {
        const auto texts = row_texts(sweep.points[static_cast<std::size_t>(r)]);
        for (int c = 0; c < static_cast<int>(texts.size()); ++c) {
            auto* item = new QTableWidgetItem(qs(texts[static_cast<std::size_t>(c)]));
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (r == sweep.best) {
                QFont bold = item->font();
                bold.setBold(true);
                item->setFont(bold);
                item->setBackground(QColor(255, 255, 225));
            }
            table_->setItem(r, c, item);
        }
    }
    table_->resizeColumnsToContents();
    export_->setEnabled(true);
}

void WhatIfWindow::export_clicked() {
    if (!sweep_) return;
    QString chosen = platform_.export_file_name(
        this, "Export the sweep",
        QString("annuity_sweep_%1.csv").arg(annuity_kind_name(sweep_->kind)), kCsvFilter);
    if (chosen.isEmpty()) return;
    if (!chosen.endsWith(".csv", Qt::CaseInsensitive)) chosen += ".csv";
    // Written whole or not at all: a failed write leaves an older file as it was.
    QSaveFile file(chosen);
    const QByteArray csv = QByteArray::fromStdString(sweep_csv(*sweep_));
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size() || !file.commit()) {
        platform_.show_message(this, kWhatIfTitle,
                               QString("The sweep could not be written to the file\n%1\n\n%2")
                                   .arg(chosen, file.errorString()),
                               MessageIcon::critical);
    }
}

void WhatIfWindow::closeEvent(QCloseEvent* event) {
    if (job_) job_->cancel();
    QWidget::closeEvent(event);
}

}  // namespace quorrel
