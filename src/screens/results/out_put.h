// The results screen: renders one finished calculation on four tabs, with
// the two charts, printing and the report.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "record/analysis_state.h"
#include "record/results.h"
#include "engine/stages/cross_check.h"
#include "screens/platform.h"

class QCloseEvent;
class QFrame;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QTabBar;

namespace quorrel {

class BackgroundJob;
class ChartView;
class WhatIfWindow;
struct MonteCarloResults;
struct HouseholdSimulationResults;

// Paths of "Check by simulation": the standard error of a 10% probability is
// then about 0.07 percentage point, and the default case takes a few seconds.
inline constexpr long kCheckPaths = 200000;
inline constexpr std::uint64_t kCheckSeed = 1;

class OutPut : public QWidget {
    Q_OBJECT
public:
    // liquid_wealth_text: the input screen's liquid-wealth box as shown, for
    // the report.
    OutPut(const AnalysisState& state, const ResultsRecord& results, Platform& platform,
           QString liquid_wealth_text, QWidget* parent = nullptr);
    // Waits for a simulation still running, after cancelling it.
    ~OutPut() override;

    // The case's name for the printed report; empty for an unsaved case.
    void set_case_name(const QString& name);

    // Reads a saved case's inputs into `state`, which holds the defaults;
    // returns an empty string, or why the file cannot be used.
    using CaseReader = std::function<std::string(const QString& path, AnalysisState& state)>;
    void set_case_reader(CaseReader reader);
    // The comparison window last opened by "Compare...", if still open.
    QWidget* compare_window() const;

    // The "What if" window last opened, if still open.
    WhatIfWindow* what_if_window() const;

    // "Check by simulation": paths of the next run (tests take fewer).
    void set_simulation_paths(long paths) { simulation_paths_ = paths; }
    bool simulation_running() const;
    // "Compare...": true while the other cases are being calculated.
    bool comparison_running() const;

signals:
    // "Return" pressed or the window closed: the owner discards this screen
    // and shows the input screen again.
    void returned();
    // The "What if" window's solved amount for the input `key`
    // ("target_income" or "liquid_wealth"), to go into the input screen's
    // box; this screen then returns.
    void input_amount_chosen(const QString& key, double value);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void out_put_Form_Load();
    void out_put_TabStrip1_Click();
    void out_put_Command1_Click();  // Return
    void out_put_Command3_Click();  // Save Results
    void out_put_Command4_Click();  // Graph: survival chart
    void out_put_Command6_Click();  // Graph: income chart
    void out_put_Command5_Click();  // Print Screen, "Probability Results"
    void out_put_Command7_Click();  // Print Screen, "Projected Wealth "
    void out_put_Command2_Click();  // Print Screen, "Projected Consumption"
    void out_put_Command8_Click();  // Print Screen, "Mortality Parameters"
    void out_put_Command9_Click();  // Print Screen, "Spending"
    void print_screen();
    void export_pdf_clicked();           // "Export PDF..."
    void print_report_clicked();         // "Print Report..."
    void compare_clicked();              // "Compare..."
    void check_by_simulation_clicked();  // "Check by simulation"
    void what_if_clicked();              // "What if"
    void show_simulation(const MonteCarloResults& simulated);
    void show_household_simulation(const HouseholdSimulationResults& simulated);

    QHBoxLayout* build_command_row();
    void install_tab_keys();
    QWidget* build_probability_tab();
    QWidget* build_wealth_tab();
    QWidget* build_consumption_tab();
    QWidget* build_mortality_tab();
    QWidget* build_spending_tab();
    QWidget* build_spending_figures(QWidget* page);
    QWidget* build_household_lifetime(QWidget* page);
    QWidget* build_household_mortality(QWidget* page);
    void set_field(const char* name, const QString& text);
    void name_controls();
    QLabel* simulation_label(QWidget* parent, const char* cell);
    void mark_grid_cells();

    const AnalysisState& state_;  // read only: the screen renders, it never calculates
    const ResultsRecord results_;
    Platform& platform_;
    const QString liquid_wealth_text_;
    QString case_name_;
    CaseReader case_reader_;
    QPointer<QWidget> compare_window_;
    QPointer<WhatIfWindow> what_if_;

    QTabBar* tab_strip_ = nullptr;
    std::array<QFrame*, 5> frames_{};
    ChartView* survival_picture_ = nullptr;
    QLabel* ruin_age_note_ = nullptr;  // under the survival chart
    ChartView* income_picture_ = nullptr;
    ChartView* spending_picture_ = nullptr;  // none for the fixed rule
    QLabel* save_status_ = nullptr;
    QPushButton* check_button_ = nullptr;
    // Below each probability and estate cell, filled by a simulation.
    std::array<std::array<QLabel*, 4>, 4> ruin_simulated_{};
    std::array<std::array<QLabel*, 3>, 3> estate_simulated_{};
    // Below a household's split lifetime cells: [0] while both were alive,
    // [1] while a survivor lived, by level.
    std::array<std::array<QLabel*, 4>, 2> household_simulated_{};
    std::array<QLabel*, 2> simulation_notes_{};  // under the two grids
    std::array<QLabel*, 2> grid_marks_notes_{};  // under the two grids, when a cell is marked
    // Under the two grids, when a refined cell disagrees with its simulation.
    std::array<QLabel*, 2> check_notes_{};
    // The last simulation's check of refined figures.
    std::optional<CrossCheck> check_;
    long simulation_paths_ = kCheckPaths;
    std::unique_ptr<BackgroundJob> simulation_;
    std::unique_ptr<BackgroundJob> comparison_;
    std::int16_t current_tab_ = 1;
    bool returned_ = false;
};

}  // namespace quorrel
