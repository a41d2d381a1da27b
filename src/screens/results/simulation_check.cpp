// The simulation check of the results screen: a run of the Monte Carlo
// simulation on a copy of the calculation's state, on a worker thread, whose
// figures appear below the cells only when it has finished.
#include "screens/results/simulation_check.h"
#include "screens/screen_common.h"

#include <QLabel>
#include <QPushButton>
#include <cmath>
#include <memory>

#include <QLineEdit>

#include "engine/simulation/household_simulation.h"
#include "engine/stages/household_cross_check.h"
#include "record/number_format.h"
#include "screens/results/background_job.h"
#include "screens/results/grid_marks.h"
#include "screens/results/out_put.h"

namespace quorrel {

namespace {

constexpr const char* kResultsTitle = "Results and Analysis";
constexpr const char* kPlusMinus = "\u00b1";


QString error_text(double standard_error, double scale) {
    if (!std::isfinite(standard_error)) return "?";
    return qs(format_plain2(standard_error * scale));
}

}  // namespace

QString simulated_probability_text(const McEstimate& e) {
    return QString("%1 %2 %3")
        .arg(qs(format_percent2(e.value)), QString::fromUtf8(kPlusMinus),
             error_text(e.standard_error, 100));
}

QString simulated_multiple_text(const McEstimate& e) {
    return QString("%1 %2 %3")
        .arg(qs(format_plain2(e.value)), QString::fromUtf8(kPlusMinus),
             error_text(e.standard_error, 1));
}

QString simulation_note(long paths, std::uint64_t seed) {
    return QString(
               "Below each cell: a simulation of the same wealth process, %1 paths (seed %2), "
               "its figure %3 one standard error.")
        .arg(qs(format_grouped0(static_cast<double>(paths))))
        .arg(seed)
        .arg(QString::fromUtf8(kPlusMinus));
}

bool OutPut::simulation_running() const { return simulation_ && simulation_->running(); }

void OutPut::check_by_simulation_clicked() {
    if (simulation_running()) return;
    simulation_.reset();
    // The worker gets its own copy: nothing it reads can change under it.
    // A household's paths draw two death times each.
    auto simulated = std::make_shared<HouseholdSimulationResults>();
    const AnalysisState state = state_;
    const bool household = results_.household.present;
    MonteCarloOptions base;
    base.paths = simulation_paths_;
    base.seed = kCheckSeed;
    check_button_->setEnabled(false);
    auto work = [simulated, state, base, household](const std::atomic<bool>& cancel,
                                                    std::atomic<double>& progress) {
        MonteCarloOptions options = base;
        options.cancel = &cancel;
        options.progress = [&progress](double share) { progress.store(share); };
        if (household)
            *simulated = run_household_monte_carlo(state, options);
        else
            simulated->figures = run_monte_carlo(state, options);
    };
    auto done = [this, simulated, household](JobEnd end, const QString& message) {
        check_button_->setEnabled(true);
        if (end == JobEnd::failed) {
            platform_.show_message(this, kResultsTitle, "The simulation failed:\n" + message,
                                   MessageIcon::critical);
        } else if (end == JobEnd::finished && !simulated->figures.cancelled) {
            show_simulation(simulated->figures);
            if (household) show_household_simulation(*simulated);
        }
    };
    simulation_ = std::make_unique<BackgroundJob>(
        platform_, this, "Check by simulation",
        QString("Simulating %1 paths of the wealth process...")
            .arg(qs(format_grouped0(static_cast<double>(simulation_paths_)))),
        std::move(work), std::move(done));
}

void OutPut::show_simulation(const MonteCarloResults& simulated) {
    const QString tip = simulation_note(simulated.paths, simulated.seed);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            ruin_simulated_[r][c]->setText(simulated_probability_text(simulated.ruin[r][c]));
            ruin_simulated_[r][c]->setToolTip(tip);
            ruin_simulated_[r][c]->show();
        }
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            estate_simulated_[r][c]->setText(simulated_multiple_text(simulated.estate[r][c]));
            estate_simulated_[r][c]->setToolTip(tip);
            estate_simulated_[r][c]->show();
        }
    for (QLabel* note : simulation_notes_) {
        note->setText(tip);
        note->show();
    }
    // Only refined figures carry the error estimate the check needs.
    if (results_.refined) {
        check_ = cross_check(results_, simulated);
        mark_grid_cells();
    }
}

// A household's split lifetime ruin below its cells, judged as the grid's
// figures are: a refined part the simulation does not bear out is marked.
void OutPut::show_household_simulation(const HouseholdSimulationResults& simulated) {
    const HouseholdCrossCheck split = cross_check_household(results_, simulated);
    check_ = split.figures;
    mark_grid_cells();
    const QString tip = simulation_note(simulated.figures.paths, simulated.figures.seed);
    const std::array<const std::array<McEstimate, 4>*, 2> parts{&simulated.lifetime_ruin_both,
                                                                &simulated.lifetime_ruin_survivor};
    const std::array<const std::array<Agreement, 4>*, 2> agreements{&split.lifetime_ruin_both,
                                                                     &split.lifetime_ruin_survivor};
    const char* names[2] = {"lifetime_both", "lifetime_survivor"};
    bool off = false;
    for (std::size_t part = 0; part < 2; ++part)
        for (std::size_t r = 0; r < 4; ++r) {
            QLabel* l = household_simulated_[part][r];
            if (!l) continue;
            l->setText(simulated_probability_text((*parts[part])[r]));
            l->setToolTip(tip);
            l->show();
            auto* box =
                findChild<QLineEdit*>(QString("%1(%2)").arg(names[part]).arg(static_cast<int>(r)));
            if (!box) continue;
            unmark_grid_cell(*box);
            const HouseholdFigures& h = results_.household;
            const double error =
                part == 0 ? h.lifetime_ruin_both_error[r] : h.lifetime_ruin_survivor_error[r];
            box->setToolTip(QString("Error estimate: %1 percentage points")
                                .arg(qs(fixed_text(100 * error, 2))));
            if ((*agreements[part])[r] == Agreement::disagrees) {
                mark_grid_cell(*box, kDisagreesTip);
                off = true;
            }
        }
    if (off) {
        check_notes_[0]->setText(kDisagreesNote);
        check_notes_[0]->show();
    }
}

QLabel* OutPut::simulation_label(QWidget* parent, const char* cell) {
    auto* l = new QLabel(parent);
    l->setObjectName(QString("simulated_%1").arg(cell));
    l->setAlignment(Qt::AlignCenter);
    QPalette palette = l->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 128));
    l->setPalette(palette);
    l->hide();
    return l;
}

}  // namespace quorrel
