// The "What if" window of the results screen: the sustainable spending
// solver (the largest target income, or the smallest liquid wealth, at a
// chosen lifetime ruin probability) and the annuitization sweep (ruin and
// estate against the share of liquid wealth spent on one annuity), both over
// the refined engine, on a copy of the inputs, on a worker thread.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>

#include "record/analysis_state.h"
#include "analysis/decision_tools.h"
#include "screens/platform.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace quorrel {

class BackgroundJob;
class ChartView;

inline constexpr const char* kWhatIfTitle = "What if";

// Input keys of the amounts the solver can put into the input screen.
inline constexpr const char* kTargetIncomeKey = "target_income";
inline constexpr const char* kLiquidWealthKey = "liquid_wealth";

// The sweep as a CSV file: a header line, then one line per share.
std::string sweep_csv(const AnnuitySweep& sweep);

class WhatIfWindow final : public QWidget {
    Q_OBJECT
public:
    // `inputs` are read when a solve or sweep starts; they must outlive the
    // window.
    WhatIfWindow(const AnalysisState& inputs, Platform& platform, QWidget* parent = nullptr);
    ~WhatIfWindow() override;

    bool busy() const;
    const std::optional<SpendingSolution>& solution() const { return solution_; }
    const std::optional<AnnuitySweep>& sweep() const { return sweep_; }

signals:
    // "Use in the input screen": the solved amount for the input `key`
    // (kTargetIncomeKey or kLiquidWealthKey), in whole currency units.
    void amount_chosen(const QString& key, double value);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* build_solver();
    QWidget* build_sweep();
    void solve_clicked();
    void use_clicked();
    void sweep_clicked();
    void export_clicked();
    void show_solution(const SpendingSolution& solution);
    void show_sweep(const AnnuitySweep& sweep);
    void start(const QString& text,
               std::function<void(const std::atomic<bool>&, std::atomic<double>&)> work,
               std::function<void()> finished);

    const AnalysisState& inputs_;
    Platform& platform_;
    std::optional<SpendingSolution> solution_;
    std::optional<AnnuitySweep> sweep_;
    std::unique_ptr<BackgroundJob> job_;

    QDoubleSpinBox* probability_ = nullptr;
    QRadioButton* solve_income_ = nullptr;
    QRadioButton* solve_wealth_ = nullptr;
    QPushButton* solve_ = nullptr;
    QLabel* solve_result_ = nullptr;
    QPushButton* use_ = nullptr;
    QComboBox* kind_ = nullptr;
    QPushButton* sweep_button_ = nullptr;
    QPushButton* export_ = nullptr;
    QLabel* sweep_summary_ = nullptr;
    ChartView* chart_ = nullptr;
    QTableWidget* table_ = nullptr;
};

}  // namespace quorrel
