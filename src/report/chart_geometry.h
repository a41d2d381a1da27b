// The two result charts as plain drawing data: every line, the curve, the
// marker and each caption with its place, in pixels of the chart's logical
// canvas (origin top left, y downwards). Computing this is kept apart from
// painting so that the picture can be checked without a screen.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "record/analysis_state.h"
#include "record/results.h"

namespace quorrel {

struct ChartFrame {
    double left = 0, top = 0, right = 0, bottom = 0;
};

struct ChartPoint {
    double x = 0, y = 0;
};

enum class ChartColour { black, red, blue, dark_blue, green, purple };

struct ChartLine {
    ChartPoint from, to;
    ChartColour colour = ChartColour::black;
    int width = 1;
};

struct ChartPolyline {
    std::vector<ChartPoint> points;
    ChartColour colour = ChartColour::red;
    int width = 3;
};

// A filled region, drawn translucent under the curves: the outline runs
// along one edge and back along the other.
struct ChartBand {
    std::vector<ChartPoint> outline;
    ChartColour colour = ChartColour::blue;
};

// A caption: `name` is the label's control name ("Label19(3)"); left/top is
// the label's upper left corner.
struct ChartText {
    ChartText() = default;
    ChartText(std::string name_, std::string text_, double left_, double top_,
              ChartColour colour_ = ChartColour::black, bool visible_ = true,
              std::string tool_tip_ = {})
        : name(std::move(name_)),
          text(std::move(text_)),
          left(left_),
          top(top_),
          colour(colour_),
          visible(visible_),
          tool_tip(std::move(tool_tip_)) {}

    std::string name;
    std::string text;
    double left = 0, top = 0;
    ChartColour colour = ChartColour::black;
    bool visible = true;
    std::string tool_tip;
    // When set, the text ends at this x instead of starting at `left`, so a
    // caption left of a line stays beside it whatever the font's width.
    std::optional<double> right;
    // Drawn on the chart's background inside a thin frame of its colour, so
    // no curve runs through its letters.
    bool boxed = false;
};

struct ChartGeometry {
    double width = 0, height = 0;  // logical canvas
    ChartFrame plot;
    std::vector<ChartLine> axes;   // vertical axis, horizontal axis, arrow heads
    std::vector<ChartLine> ticks;  // ten on the value axis, then ten on the age axis
    ChartPolyline curve;
    std::vector<ChartPolyline> more_curves;  // drawn after `curve`, in order
    std::optional<ChartLine> marker;         // expected ruin age, survival chart only
    std::vector<ChartBand> bands;            // drawn first, under everything else
    std::vector<ChartLine> guides;           // dashed, under the curves
    std::vector<ChartText> texts;
    // One line shown under the chart, empty when there is nothing to add.
    std::string note;

    // Years between two age captions, and the years from today at each of
    // the eleven age ticks.
    int step = 0;
    std::vector<double> age_tick_years;

    const ChartText* text(const std::string& name) const;
};

inline constexpr double kSurvivalCanvasWidth = 453, kSurvivalCanvasHeight = 245;
inline constexpr double kIncomeCanvasWidth = 539, kIncomeCanvasHeight = 267;
inline constexpr const char* kRuinAgeCaption = "Expected Ruin Age is";
// What the marked ruin age means, under the chart and in the caption's tooltip.
inline constexpr const char* kRuinAgeMeaning =
    "The blue line marks the expected ruin age: the age at which, on average, the money would "
    "run out for someone who lived that long. Most lives end before it; the lifetime ruin "
    "probability says how often the money runs out first.";
// The axes' titles.
inline constexpr const char* kAgeAxisTitle = "Age";
inline constexpr const char* kSurvivalValueAxisTitle = "Probability";
inline constexpr const char* kIncomeValueAxisTitle =
    "Expected income as a multiple of the real target income";
// The survival chart marks an expected ruin age up to this age only.
inline constexpr int kLastMarkedRuinAge = 105;

// Survival chart of the "Mortality Parameters" tab: the probability of
// surviving t years for t = 0 .. survival_years, and the expected-ruin-age
// marker.
// The two axes of the plot frame, each ending in an arrow head.
void add_arrow_axes(ChartGeometry& g);

// Spending chart of the "Spending" tab: the spending percentiles after 10,
// 20 and 30 years in today's money, the 25% to 75% band as a fan and the
// median as a line, with the floor marked; every figure read from the
// results record.
inline constexpr double kSpendingCanvasWidth = 539, kSpendingCanvasHeight = 267;
inline constexpr const char* kSpendingValueAxisTitle = "Real spending per year, today's dollars";
inline constexpr const char* kSpendingLegend[3] = {"Median", "25% to 75%", "Floor"};
ChartGeometry spending_chart(const AnalysisState& state, const ResultsRecord& results);

// For a household, four curves with their legend ("legend(0)" .. "legend(3)"):
// the person (the red curve), the spouse, both and at least one alive, each
// until the younger one reaches 110 (the age captions, still the person's,
// step as for the younger one's age); no ruin age, and the note gives the
// split lifetime figures in its place.
ChartGeometry survival_chart(const AnalysisState& state, const ResultsRecord& results);
inline constexpr const char* kSurvivalLegend[4] = {"You", "Your spouse", "Both alive",
                                                   "At least one alive"};

// Income chart of the "Projected Consumption" tab: the expected income as a
// multiple of the real target income, from today through the 20 horizons.
ChartGeometry income_chart(const AnalysisState& state, const ResultsRecord& results);

}  // namespace quorrel
