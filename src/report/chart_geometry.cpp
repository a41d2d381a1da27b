#include "report/chart_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "analysis/case_summary.h"
#include "record/number_format.h"
#include "record/published_figures.h"

namespace quorrel {

namespace {

constexpr ChartFrame kSurvivalFrame{40, 20, 400, 220};
constexpr ChartFrame kIncomeFrame{40, 20, 500, 240};

// How one chart lays out its axes.
struct AxisLayout {
    double value_tick_spacing;  // pixels between value ticks
    double age_tick_spacing;    // pixels between age ticks
    double value_label_dx;      // value captions sit this far left of the axis
    const char* value_label_name;
    const char* age_label_name;
};

std::string indexed(const char* name, int i) {
    return std::string(name) + "(" + std::to_string(i) + ")";
}

double clamp_to(double v, double lo, double hi) {
    if (!std::isfinite(v)) return lo;
    return std::clamp(v, lo, hi);
}

// Axes with arrow heads, ten ticks on each, and the age captions (the
// person's ages, their step that of `axis_age`: the person's age, or the
// younger one's of a household, whose curves run until that one is 110); the
// value captions are the chart's own.
void draw_axes(ChartGeometry& g, const AxisLayout& a, const AnalysisState& state,
               const std::vector<std::string>& value_captions, double axis_age) {
    const ChartFrame& p = g.plot;
    add_arrow_axes(g);

    g.texts.push_back({indexed(a.value_label_name, 0), value_captions[0], p.left - a.value_label_dx,
                       p.bottom - 5});
    for (int i = 1; i <= 10; ++i) {
        const double y = p.top + a.value_tick_spacing * i;
        g.ticks.push_back({{p.left, y}, {p.left + 5, y}});
        g.texts.push_back(
            {indexed(a.value_label_name, i), value_captions[i], p.left - a.value_label_dx, y - 5});
    }

    g.step = age_caption_step(axis_age);
    for (int j = 0; j <= 10; ++j) {
        g.age_tick_years.push_back(static_cast<double>(g.step) * j);
        const double x = p.left + a.age_tick_spacing * j;
        if (j > 0) g.ticks.push_back({{x, p.bottom}, {x, p.bottom - 5}});
        g.texts.push_back({indexed(a.age_label_name, j), str_form(g.step * j + state.current_age),
                           x - 8, p.bottom + 8});
    }
}

// x of a value t years from today, on the age captions' scale.
double x_at_years(const ChartGeometry& g, double tick_spacing, double years) {
    return clamp_to(g.plot.left + tick_spacing * years / g.step, g.plot.left, g.plot.right);
}

ChartGeometry blank_chart(double width, double height, const ChartFrame& plot) {
    ChartGeometry g;
    g.width = width;
    g.height = height;
    g.plot = plot;
    return g;
}

}  // namespace

const ChartText* ChartGeometry::text(const std::string& name) const {
    for (const ChartText& t : texts)
        if (t.name == name) return &t;
    return nullptr;
}

namespace {

// A household's survival: the person's curve replaces the single life's, the
// spouse's, both's and at least one's follow it, with a legend at the top
// right, where the curves have fallen low by then.
void household_curves(ChartGeometry& g, const ResultsRecord& results,
                      double spacing_x, double one_level, double pixels_per_unit) {
    const HouseholdFigures& h = results.household;
    const ChartFrame& p = g.plot;
    const auto polyline = [&](const std::vector<double>& curve, ChartColour colour, int width) {
        ChartPolyline line;
        line.colour = colour;
        line.width = width;
        // Each curve to its end: until the younger one reaches 110.
        const int last = static_cast<int>(curve.size()) - 1;
        for (int t = 0; t <= last; ++t) {
            const double y = one_level + pixels_per_unit * (1 - curve[static_cast<size_t>(t)]);
            line.points.push_back({x_at_years(g, spacing_x, t), clamp_to(y, p.top, p.bottom)});
        }
        return line;
    };
    constexpr ChartColour kColours[4] = {ChartColour::red, ChartColour::blue, ChartColour::green,
                                         ChartColour::purple};
    g.curve = polyline(h.survival_person, kColours[0], 3);
    g.more_curves.push_back(polyline(h.survival_spouse, kColours[1], 2));
    g.more_curves.push_back(polyline(h.survival_both, kColours[2], 2));
    g.more_curves.push_back(polyline(h.survival_either, kColours[3], 2));
    for (int k = 0; k < 4; ++k) {
        ChartText key{"legend(" + std::to_string(k) + ")",
                      std::string("\u2014 ") + kSurvivalLegend[k], p.right - 110,
                      p.top + 4 + 14 * k, kColours[k]};
        key.boxed = false;
        g.texts.push_back(key);
    }
    // The expected ruin age ignores death, which a household's spending
    // cannot; the lifetime ruin split by who was alive stands in its place.
    g.note = "Lifetime ruin " + format_percent2(results.ruin_grid[0][3]) + ": " +
             format_percent2(h.lifetime_ruin_both[0]) + " while both were alive, " +
             format_percent2(h.lifetime_ruin_survivor[0]) + " while a survivor lived.";
}

}  // namespace

ChartGeometry survival_chart(const AnalysisState& state, const ResultsRecord& results) {
    constexpr double kSpacingX = 34, kSpacingY = 18, kPixelsPerUnit = 180;
    ChartGeometry g = blank_chart(kSurvivalCanvasWidth, kSurvivalCanvasHeight, kSurvivalFrame);
    const ChartFrame& p = g.plot;

    g.texts.push_back({"Label22", "The probability of Survival", 150, 0, ChartColour::black});
    std::vector<std::string> value_captions{"0.0"};
    for (int i = 1; i <= 10; ++i) value_captions.push_back(fixed_text((11 - i) / 10.0, 1));
    const double axis_age = results.household.present
                                ? std::min(state.current_age, results.household.spouse_age)
                                : state.current_age;
    draw_axes(g, {kSpacingY, kSpacingX, 20, "Label17", "Label19"}, state, value_captions,
              axis_age);
    g.texts.push_back({"axis_title_y", kSurvivalValueAxisTitle, 4, 2});
    g.texts.push_back({"axis_title_x", kAgeAxisTitle, p.right + 8, p.bottom - 7});

    // The probability 1.0 sits on the first value tick, 0 at 180 pixels below it.
    const double one_level = p.top + kSpacingY;
    const int last =
        std::min<int>(state.survival_years, static_cast<int>(results.survival_curve.size()) - 1);
    for (int t = 0; t <= last; ++t) {
        const double y = one_level + kPixelsPerUnit * (1 - results.survival_curve[t]);
        g.curve.points.push_back({x_at_years(g, kSpacingX, t), clamp_to(y, p.top, p.bottom)});
    }
    g.curve.colour = ChartColour::red;
    if (results.household.present) {
        household_curves(g, results, kSpacingX, one_level, kPixelsPerUnit);
        return g;
    }

    ChartText caption{"Label12", "", 0, p.bottom / 2, ChartColour::blue, false};
    caption.boxed = true;
    if (std::isfinite(results.expected_ruin_age)) {
        const double ruin_age = expected_ruin_age_shown(results);
        caption.text = std::string(kRuinAgeCaption) + str_form(ruin_age);
        if (ruin_age <= kLastMarkedRuinAge) {
            const double x = x_at_years(g, kSpacingX, ruin_age - state.current_age);
            g.marker = ChartLine{{x, p.top + 20}, {x, p.bottom}, ChartColour::blue, 3};
            caption.left = x + 5;
            // Past 250 the caption would run off the picture: put it left of
            // the line, ending as far from it as it starts on the right.
            if (caption.left > 250) {
                caption.left -= 190;
                caption.right = x - 5;
            }
            caption.visible = true;
            caption.tool_tip = kRuinAgeMeaning;
            g.note = kRuinAgeMeaning;
        } else {
            g.note = caption.text + ", later than age " + std::to_string(kLastMarkedRuinAge) +
                     ", the last age this chart marks.";
        }
    } else {
        g.note = "The expected ruin age could not be computed for this case.";
    }
    g.texts.push_back(caption);
    return g;
}

ChartGeometry income_chart(const AnalysisState& state, const ResultsRecord& results) {
    constexpr double kSpacingX = 44, kSpacingY = 20, kPixelsPerUnit = 200;
    ChartGeometry g = blank_chart(kIncomeCanvasWidth, kIncomeCanvasHeight, kIncomeFrame);
    const ChartFrame& p = g.plot;

    std::vector<std::string> value_captions{format_grouped2(0)};
    for (int i = 1; i <= 10; ++i) value_captions.push_back(format_grouped2(1 - (i - 1) / 10.0));
    draw_axes(g, {kSpacingY, kSpacingX, 30, "Label10", "Label14"}, state, value_captions,
              state.current_age);

    g.texts.push_back({"Label16", "X", 48, 2, ChartColour::red});
    g.texts.push_back({"Label15", format_grouped0(state.target_income), 62, 2, ChartColour::black,
                       true, "Real Target Income"});
    g.texts.push_back({"axis_title_y", kIncomeValueAxisTitle, 130, 2});
    g.texts.push_back({"axis_title_x", kAgeAxisTitle, p.right + 8, p.bottom - 7});

    // Today the whole target is met; horizon i lies i x step / 2 years ahead,
    // so the 20 horizons end on the tenth age tick.
    const double one_level = p.top + kSpacingY;
    g.curve.points.push_back({p.left, one_level});
    for (int i = 1; i <= 20; ++i) {
        const double years = i * g.step / 2.0;
        const double y = one_level + kPixelsPerUnit * (1 - results.expected_income[i - 1]);
        g.curve.points.push_back({x_at_years(g, kSpacingX, years), clamp_to(y, p.top, p.bottom)});
    }
    g.curve.colour = ChartColour::red;
    return g;
}

namespace {

// The smallest of 1, 2, 2.5 and 5 times a power of ten at least `raw`.
double nice_step(double raw) {
    if (!(raw > 0) || !std::isfinite(raw)) return 1;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 2.5, 5.0})
        if (m * power >= raw) return m * power;
    return 10 * power;
}

}  // namespace

ChartGeometry spending_chart(const AnalysisState& state, const ResultsRecord& results) {
    constexpr ChartFrame kFrame{72, 24, 500, 236};
    constexpr double kYears = 35, kYearStep = 5;
    constexpr int kValueTicks = 5;
    ChartGeometry g = blank_chart(kSpendingCanvasWidth, kSpendingCanvasHeight, kFrame);
    const ChartFrame& p = g.plot;
    add_arrow_axes(g);

    // The scale holds every good-case figure and the floor, with room above.
    const double floor = spending_floor_amount(state);
    double highest = floor;
    for (const auto& row : results.spending_grid)
        for (double v : row)
            if (std::isfinite(v)) highest = std::max(highest, v);
    const double step = nice_step(1.1 * highest / kValueTicks);
    const double top_value = step * kValueTicks;
    const double top_y = p.top + 10;  // below the arrow head
    const auto y_of = [&](double value) {
        return clamp_to(p.bottom - (p.bottom - top_y) * value / top_value, p.top, p.bottom);
    };
    const auto x_of = [&](double years) {
        return p.left + (p.right - 10 - p.left) * years / kYears;
    };

    for (int k = 0; k <= kValueTicks; ++k) {
        const double y = y_of(k * step);
        if (k > 0) g.ticks.push_back({{p.left, y}, {p.left + 5, y}});
        ChartText caption{"spending_value(" + std::to_string(k) + ")", format_grouped0(k * step),
                          0, y - 6};
        caption.right = p.left - 6;
        g.texts.push_back(caption);
    }
    for (int j = 0; j * kYearStep <= kYears; ++j) {
        const double x = x_of(j * kYearStep);
        if (j > 0) g.ticks.push_back({{x, p.bottom}, {x, p.bottom - 5}});
        g.texts.push_back({"spending_age(" + std::to_string(j) + ")",
                           str_form(state.current_age + j * kYearStep), x - 8, p.bottom + 8});
    }
    g.texts.push_back({"axis_title_y", kSpendingValueAxisTitle, 4, 2});
    g.texts.push_back({"axis_title_x", kAgeAxisTitle, p.right + 8, p.bottom - 7});

    // The fan: the 25% figures out to 30 years, the 75% figures back.
    ChartBand band;
    for (std::size_t h = 0; h < 3; ++h)
        band.outline.push_back({x_of(kGridHorizons[h]), y_of(results.spending_grid[h][0])});
    for (std::size_t h = 3; h-- > 0;)
        band.outline.push_back({x_of(kGridHorizons[h]), y_of(results.spending_grid[h][2])});
    g.bands.push_back(band);
    for (std::size_t h = 0; h < 3; ++h)
        g.curve.points.push_back({x_of(kGridHorizons[h]), y_of(results.spending_grid[h][1])});
    g.curve.colour = ChartColour::red;

    const double floor_y = y_of(floor);
    g.guides.push_back({{p.left, floor_y}, {p.right - 10, floor_y}, ChartColour::green, 2});
    ChartText floor_caption{"spending_floor_caption",
                            std::string(kSpendingLegend[2]) + " " + format_grouped0(floor), 0,
                            floor_y - 14, ChartColour::green};
    floor_caption.right = p.right - 12;
    g.texts.push_back(floor_caption);

    // The legend in the years before the first horizon, which hold no figure.
    const ChartColour colours[3] = {ChartColour::red, ChartColour::blue, ChartColour::green};
    const char* marks[3] = {"\u2014 ", "\u25a0 ", "- - "};
    for (int k = 0; k < 3; ++k)
        g.texts.push_back({"legend(" + std::to_string(k) + ")",
                           std::string(marks[k]) + kSpendingLegend[k], p.left + 8,
                           top_y + 2 + 14 * k, colours[k]});
    return g;
}

void add_arrow_axes(ChartGeometry& g) {
    const ChartFrame& p = g.plot;
    g.axes.push_back({{p.left, p.top}, {p.left, p.bottom}});
    g.axes.push_back({{p.left, p.top}, {p.left - 5, p.top + 5}});
    g.axes.push_back({{p.left, p.top}, {p.left + 5, p.top + 5}});
    g.axes.push_back({{p.left, p.bottom}, {p.right, p.bottom}});
    g.axes.push_back({{p.right - 5, p.bottom - 5}, {p.right, p.bottom}});
    g.axes.push_back({{p.right, p.bottom}, {p.right - 5, p.bottom + 5}});
}

}  // namespace quorrel
