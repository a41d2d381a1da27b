#include "screens/results/sweep_chart.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "record/number_format.h"

namespace quorrel {

namespace {

constexpr ChartFrame kFrame{60, 20, 480, 230};
constexpr double kSharePixels = 400;  // share 0 to 1
constexpr double kValuePixels = 200;  // bottom to the tenth tick
constexpr double kTick = 20;

std::string indexed_name(const char* name, int i) {
    return std::string(name) + "(" + std::to_string(i) + ")";
}

double x_of(double share) { return kFrame.left + kSharePixels * std::clamp(share, 0.0, 1.0); }
double y_of(double value, double top) {
    return kFrame.bottom - kValuePixels * std::clamp(value / top, 0.0, 1.05);
}

void axes_and_captions(ChartGeometry& g, double ruin_top, double estate_top) {
    const ChartFrame& p = g.plot;
    const double right_axis = x_of(1);
    add_arrow_axes(g);
    g.axes.push_back({{right_axis, p.top + 10}, {right_axis, p.bottom}, ChartColour::blue});
    for (int i = 0; i <= 10; ++i) {
        const double y = p.bottom - kTick * i;
        if (i > 0) {
            g.ticks.push_back({{p.left, y}, {p.left + 5, y}});
            g.ticks.push_back({{right_axis - 5, y}, {right_axis, y}, ChartColour::blue});
        }
        ChartText ruin(indexed_name("sweep_ruin", i), format_percent1(ruin_top * i / 10), 0, y - 6,
                       ChartColour::red);
        ruin.right = p.left - 4;
        g.texts.push_back(ruin);
        // The estate axis's 0 would sit on the share axis's arrow head; the
        // value axis's 0 serves both.
        if (i > 0)
            g.texts.push_back({indexed_name("sweep_estate", i), format_grouped0(estate_top * i / 10),
                               right_axis + 4, y - 6, ChartColour::blue});
    }
    for (int j = 0; j <= 10; ++j) {
        const double x = x_of(j / 10.0);
        if (j > 0) g.ticks.push_back({{x, p.bottom}, {x, p.bottom - 5}});
        g.texts.push_back(
            {indexed_name("sweep_share", j), std::to_string(10 * j) + "%", x - 9, p.bottom + 6});
    }
    g.texts.push_back({"sweep_ruin_title", "Lifetime ruin probability", 4, 2, ChartColour::red});
    ChartText estate("sweep_estate_title", "Median estate after 20 years", 0, 2, ChartColour::blue);
    estate.right = kSweepCanvasWidth - 4;
    g.texts.push_back(estate);
    g.texts.push_back(
        {"sweep_share_title", "Share of liquid wealth spent on the annuity", 170, p.bottom + 21});
}

}  // namespace

double nice_axis_top(double value) {
    if (!(value > 0) || !std::isfinite(value)) return 1;
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    for (double m : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (m * power >= value * (1 - 1e-12)) return m * power;
    return 10 * power;
}

ChartGeometry sweep_chart(const AnnuitySweep& sweep) {
    ChartGeometry g;
    g.width = kSweepCanvasWidth;
    g.height = kSweepCanvasHeight;
    g.plot = kFrame;
    double most_ruin = 0, most_estate = 0;
    for (const SweepPoint& p : sweep.points) {
        most_ruin = std::max(most_ruin, p.lifetime_ruin);
        most_estate = std::max(most_estate, p.median_estate_20);
    }
    const double ruin_top = nice_axis_top(std::max(most_ruin, 0.01));
    const double estate_top = nice_axis_top(most_estate);
    axes_and_captions(g, ruin_top, estate_top);

    g.curve.colour = ChartColour::red;
    ChartPolyline estate{{}, ChartColour::blue, 3};
    for (const SweepPoint& p : sweep.points) {
        g.curve.points.push_back({x_of(p.share), y_of(p.lifetime_ruin, ruin_top)});
        estate.points.push_back({x_of(p.share), y_of(p.median_estate_20, estate_top)});
    }
    g.more_curves.push_back(std::move(estate));

    if (sweep.best >= 0 && sweep.best < static_cast<int>(sweep.points.size())) {
        const SweepPoint& best = sweep.points[static_cast<std::size_t>(sweep.best)];
        const double x = x_of(best.share);
        g.marker = ChartLine{{x, kFrame.top + 10}, {x, kFrame.bottom}, ChartColour::dark_blue, 2};
        ChartText caption("sweep_best",
                          "Lowest ruin at " + format_grouped0(best.share * 100) +
                              "%: " + format_percent2(best.lifetime_ruin),
                          x + 5, kFrame.top + 12, ChartColour::dark_blue);
        if (x > x_of(0.55)) caption.right = x - 5;
        caption.boxed = true;
        g.texts.push_back(caption);
    }
    return g;
}

}  // namespace quorrel
