// The comparison of cases in a window of its own: one column per case, the
// current case first, with a difference column after each other case; it
// prints through a preview and exports as CSV.
#pragma once

#include <QWidget>

#include "analysis/case_comparison.h"
#include "screens/platform.h"

class QTableWidget;

namespace quorrel {

inline constexpr const char* kCompareTitle = "Compare Cases";

class CompareWindow : public QWidget {
    Q_OBJECT
public:
    CompareWindow(CaseComparison comparison, Platform& platform, QWidget* parent = nullptr);
    const CaseComparison& comparison() const { return comparison_; }

private:
    void print_clicked();
    void export_csv_clicked();

    const CaseComparison comparison_;
    Platform& platform_;
    QTableWidget* table_ = nullptr;
};

}  // namespace quorrel
