#include "screens/results/compare_window.h"
#include "screens/screen_common.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPrinter>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>
#include <QVBoxLayout>

#include "screens/results/keyboard.h"
#include "report/report_document.h"

namespace quorrel {

namespace {



QTableWidgetItem* cell(const QString& text, Qt::Alignment alignment) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setTextAlignment(alignment | Qt::AlignVCenter);
    return item;
}

}  // namespace

CompareWindow::CompareWindow(CaseComparison comparison, Platform& platform, QWidget* parent)
    : QWidget(parent, Qt::Window), comparison_(std::move(comparison)), platform_(platform) {
    setObjectName("compare_cases");
    setWindowTitle(kCompareTitle);

    // The section column of the model becomes a heading row above its items.
    const std::vector<std::string> columns = comparison_columns(comparison_);
    const auto lines = comparison_cells(comparison_);
    table_ = new QTableWidget(this);
    table_->setObjectName("comparison_table");
    table_->setColumnCount(static_cast<int>(columns.size()) - 1);
    QStringList headers;
    for (size_t i = 1; i < columns.size(); ++i) headers << qs(columns[i]);
    table_->setHorizontalHeaderLabels(headers);
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(false);
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);

    std::string section;
    for (const auto& line : lines) {
        int row = table_->rowCount();
        if (line[0] != section) {
            section = line[0];
            table_->insertRow(row);
            QTableWidgetItem* heading = cell(qs(section), Qt::AlignLeft);
            QFont bold = heading->font();
            bold.setBold(true);
            heading->setFont(bold);
            heading->setBackground(palette().alternateBase());
            table_->setItem(row, 0, heading);
            table_->setSpan(row, 0, 1, table_->columnCount());
            ++row;
        }
        table_->insertRow(row);
        for (size_t i = 1; i < line.size(); ++i)
            table_->setItem(row, static_cast<int>(i) - 1,
                            cell(qs(line[i]), i == 1 ? Qt::AlignLeft : Qt::AlignRight));
    }
    table_->resizeColumnsToContents();
    table_->horizontalHeader()->setStretchLastSection(false);

    auto* print = new QPushButton("&Print...", this);
    print->setObjectName("print_comparison");
    auto* csv = new QPushButton("Export &CSV...", this);
    csv->setObjectName("export_csv");
    auto* close_button = new QPushButton("Cl&ose", this);
    close_button->setObjectName("close_comparison");
    for (QPushButton* b : {print, csv, close_button}) b->setAutoDefault(false);
    connect(print, &QPushButton::clicked, this, [this] { print_clicked(); });
    connect(csv, &QPushButton::clicked, this, [this] { export_csv_clicked(); });
    connect(close_button, &QPushButton::clicked, this, &QWidget::close);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(print);
    buttons->addWidget(csv);
    buttons->addWidget(close_button);
    auto* layout = new QVBoxLayout(this);
    // Differences mean something only between figures of one scheme: say which.
    auto* accuracy = new QLabel(qs(comparison_accuracy_sentence(comparison_)), this);
    accuracy->setObjectName("comparison_accuracy");
    accuracy->setWordWrap(true);
    layout->addWidget(accuracy);
    layout->addWidget(table_, 1);
    layout->addLayout(buttons);

    press_buttons_on_enter(*this);
    int width = 40;
    for (int c = 0; c < table_->columnCount(); ++c) width += table_->columnWidth(c);
    resize(std::min(width, 1200), 640);
}

void CompareWindow::print_clicked() {
    const QDateTime prepared = QDateTime::currentDateTime();
    platform_.preview_document(this, "Print Comparison", [this, prepared](QPrinter& printer) {
        paint_comparison(printer, comparison_, prepared);
    });
}

void CompareWindow::export_csv_clicked() {
    // Written whole: the dialog asks before an existing file is replaced.
    const QString first = comparison_.case_names.empty()
                              ? QString()
                              : QString::fromStdString(comparison_.case_names.front());
    QString chosen = platform_.replace_file_name(
        this, proposed_file_name(first + " comparison", QDate::currentDate(), "csv"), kCsvFilter,
        "csv");
    if (chosen.isEmpty()) return;
    if (!chosen.endsWith(".csv", Qt::CaseInsensitive)) chosen += ".csv";
    // Written whole or not at all: a failed write leaves an older file as it was.
    QSaveFile file(chosen);
    const QByteArray csv = QByteArray::fromStdString(comparison_csv(comparison_));
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size() || !file.commit()) {
        platform_.show_message(this, kCompareTitle,
                               QString("The comparison could not be written to the file\n%1\n\n%2")
                                   .arg(chosen, file.errorString()),
                               MessageIcon::critical);
    }
}

}  // namespace quorrel
