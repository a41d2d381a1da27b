#include "report/chart_painter.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace quorrel {

namespace {

QPointF point_of(const ChartPoint& p) { return {p.x, p.y}; }

void draw_polyline(QPainter& painter, const ChartPolyline& curve) {
    if (curve.points.size() < 2) return;
    QPainterPath path(point_of(curve.points.front()));
    for (std::size_t i = 1; i < curve.points.size(); ++i) path.lineTo(point_of(curve.points[i]));
    painter.setPen(
        QPen(chart_colour(curve.colour), curve.width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
}

void paint_caption(QPainter& painter, const ChartText& t) {
    const QFontMetricsF metrics(painter.font(), painter.device());
    const double pad = t.boxed ? kChartBoxPadding + 1 : 0;  // padding and the frame line
    const QSizeF size(metrics.horizontalAdvance(QString::fromStdString(t.text)) + 2 * pad,
                      metrics.height() + 2 * pad);
    const double left = t.right ? *t.right - size.width() : t.left;
    const QRectF box(QPointF(left, t.top), size);
    if (t.boxed) {
        painter.setPen(QPen(chart_colour(t.colour), 1));
        painter.setBrush(chart_background());
        painter.drawRect(box.adjusted(0.5, 0.5, -0.5, -0.5));
        painter.setBrush(Qt::NoBrush);
    }
    painter.setPen(chart_colour(t.colour));
    painter.drawText(box.adjusted(pad, pad, -pad, -pad),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     QString::fromStdString(t.text));
}

}  // namespace

QColor chart_background() { return QColor(255, 255, 225); }

QColor chart_colour(ChartColour c) {
    switch (c) {
        case ChartColour::red: return QColor(255, 0, 0);
        case ChartColour::blue: return QColor(0, 0, 255);
        case ChartColour::dark_blue: return QColor(0, 0, 128);
        case ChartColour::green: return QColor(0, 128, 0);
        case ChartColour::purple: return QColor(128, 0, 128);
        case ChartColour::black: break;
    }
    return QColor(0, 0, 0);
}

QRectF chart_canvas_rect(const ChartGeometry& chart, const QRectF& target) {
    if (chart.width <= 0 || chart.height <= 0) return target;
    const double k = std::min(target.width() / chart.width, target.height() / chart.height);
    const QSizeF size(chart.width * k, chart.height * k);
    return QRectF(target.left() + (target.width() - size.width()) / 2,
                  target.top() + (target.height() - size.height()) / 2, size.width(),
                  size.height());
}

QFont chart_caption_font(QFont base, double scale) {
    base.setPixelSize(std::max(6, static_cast<int>(kChartFontPixels * scale + 0.5)));
    return base;
}

void paint_chart(QPainter& painter, const ChartGeometry& g, const QRectF& target,
                 ChartCaptions captions, const QFont& base_font) {
    if (g.width <= 0 || g.height <= 0) return;
    painter.save();
    const QRectF canvas = chart_canvas_rect(g, target);
    painter.translate(canvas.topLeft());
    painter.scale(canvas.width() / g.width, canvas.height() / g.height);
    painter.fillRect(QRectF(0, 0, g.width, g.height), chart_background());
    painter.setRenderHint(QPainter::Antialiasing);

    for (const ChartBand& band : g.bands) {
        if (band.outline.size() < 3) continue;
        QPainterPath path(point_of(band.outline.front()));
        for (std::size_t i = 1; i < band.outline.size(); ++i)
            path.lineTo(point_of(band.outline[i]));
        path.closeSubpath();
        QColor fill = chart_colour(band.colour);
        fill.setAlpha(60);
        painter.fillPath(path, fill);
    }

    const auto draw_line = [&](const ChartLine& line) {
        painter.setPen(QPen(chart_colour(line.colour), line.width, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(point_of(line.from), point_of(line.to));
    };
    for (const ChartLine& line : g.axes) draw_line(line);
    for (const ChartLine& line : g.ticks) draw_line(line);

    // Nothing drawn may leave the picture's axes.
    const ChartFrame& p = g.plot;
    painter.save();
    painter.setClipRect(QRectF(p.left - 2, p.top - 2, p.right - p.left + 4, p.bottom - p.top + 4),
                        painter.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
    for (const ChartLine& guide : g.guides) {
        painter.setPen(QPen(chart_colour(guide.colour), guide.width, Qt::DashLine, Qt::FlatCap));
        painter.drawLine(point_of(guide.from), point_of(guide.to));
    }
    draw_polyline(painter, g.curve);
    for (const ChartPolyline& more : g.more_curves) draw_polyline(painter, more);
    if (g.marker) draw_line(*g.marker);
    painter.restore();

    if (captions == ChartCaptions::painted) {
        // The font is sized in logical pixels: the painter's scale enlarges it
        // with the lines.
        painter.setFont(chart_caption_font(base_font, 1));
        for (const ChartText& t : g.texts)
            if (t.visible && !t.text.empty()) paint_caption(painter, t);
    }
    painter.restore();
}

}  // namespace quorrel
