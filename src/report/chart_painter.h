// Paints a result chart with a QPainter on any device: the results screen's
// picture boxes, the PDF report and the printer all draw through this, so a
// chart looks the same wherever it appears.
#pragma once

#include <QColor>
#include <QFont>
#include <QRectF>

#include "report/chart_geometry.h"

class QPainter;

namespace quorrel {

enum class ChartCaptions {
    painted,  // every visible caption drawn with the lines
    omitted,  // the caller shows the captions itself (the screen's labels)
};

// Caption height and the padding inside a boxed caption, in pixels of the
// chart's logical canvas.
inline constexpr double kChartFontPixels = 10;
inline constexpr double kChartBoxPadding = 2;

// The light yellow of both chart surfaces.
QColor chart_background();
QColor chart_colour(ChartColour colour);

// Where the chart's canvas lands in `target`: scaled to fit, proportions
// kept, centred.
QRectF chart_canvas_rect(const ChartGeometry& chart, const QRectF& target);

// The caption font for a canvas drawn `scale` device pixels per logical pixel.
QFont chart_caption_font(QFont base, double scale);

// Fills the canvas with the chart background and draws axes, ticks, the
// curve, the marker and (when asked) the captions. The painter's state is
// restored afterwards.
void paint_chart(QPainter& painter, const ChartGeometry& chart, const QRectF& target,
                 ChartCaptions captions, const QFont& base_font);

}  // namespace quorrel
