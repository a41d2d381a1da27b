// The chart of the annuitization sweep in the "What if" window: lifetime
// ruin probability (left axis, red) and median estate after 20 years (right
// axis, blue) against the share of liquid wealth spent on the annuity, the
// best share marked. Plain drawing data for the results' chart painter.
#pragma once

#include "analysis/decision_tools.h"
#include "report/chart_geometry.h"

namespace quorrel {

inline constexpr double kSweepCanvasWidth = 539, kSweepCanvasHeight = 267;

// The smallest of 1, 2, 2.5, 5 times a power of ten not below `value`
// (1 for values not above 0): the top of an axis.
double nice_axis_top(double value);

ChartGeometry sweep_chart(const AnnuitySweep& sweep);

}  // namespace quorrel
