#include "screens/results/grid_marks.h"

#include <QLineEdit>
#include <QPalette>
#include <QString>

#include "record/results.h"

namespace quorrel {

QColor grid_mark_colour() { return QColor(255, 214, 140); }

void mark_grid_cell(QLineEdit& cell, const QString& tip) {
    // A palette, not a style sheet: a style sheet would also restyle the
    // tooltip.
    QPalette palette = cell.palette();
    palette.setColor(QPalette::Base, grid_mark_colour());
    cell.setPalette(palette);
    cell.setToolTip(cell.toolTip().isEmpty() ? tip : cell.toolTip() + "\n\n" + tip);
}

void unmark_grid_cell(QLineEdit& cell) {
    // An empty palette resolves nothing: the cell inherits its parent's again.
    cell.setPalette(QPalette());
    cell.setToolTip(QString());
}

bool any_barrier_at_start(const ResultsRecord& results) {
    for (const auto& row : results.barrier_at_start)
        for (bool flag : row)
            if (flag) return true;
    return false;
}

bool any_ruin_out_of_order(const ResultsRecord& results) {
    for (const auto& row : results.ruin_out_of_order)
        for (bool flag : row)
            if (flag) return true;
    return false;
}

bool any_estate_at_grid_limit(const ResultsRecord& results) {
    for (const auto& row : results.estate_at_grid_limit)
        for (bool flag : row)
            if (flag) return true;
    return false;
}

}  // namespace quorrel
