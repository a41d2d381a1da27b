#include "screens/results/chart_view.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>
#include <algorithm>

namespace quorrel {

namespace {

// Caption height in logical pixels, before scaling.
constexpr double kFontPixels = 10;

QColor colour_of(ChartColour c) {
    switch (c) {
        case ChartColour::red: return QColor(255, 0, 0);
        case ChartColour::blue: return QColor(0, 0, 255);
        case ChartColour::dark_blue: return QColor(0, 0, 128);
        case ChartColour::black: break;
    }
    return QColor(0, 0, 0);
}

QPointF point_of(const ChartPoint& p) { return {p.x, p.y}; }

}  // namespace

QColor chart_background() { return QColor(255, 255, 225); }

ChartView::ChartView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void ChartView::set_geometry(ChartGeometry geometry) {
    geometry_ = std::move(geometry);
    for (const ChartText& t : geometry_.texts) {
        QLabel*& label = labels_[t.name];
        if (!label) {
            label = new QLabel(this);
            label->setObjectName(QString::fromStdString(t.name));
            label->setAttribute(Qt::WA_TransparentForMouseEvents, t.tool_tip.empty());
        }
        label->setText(QString::fromStdString(t.text));
        label->setToolTip(QString::fromStdString(t.tool_tip));
        // A palette, not a style sheet: a label's style sheet also styles its
        // tooltip, and a transparent background there is a black box.
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, colour_of(t.colour));
        label->setPalette(palette);
        label->setVisible(t.visible);
    }
    place_labels();
    update();
}

QSize ChartView::sizeHint() const {
    if (geometry_.width <= 0) return {453, 245};
    return QSize(static_cast<int>(geometry_.width), static_cast<int>(geometry_.height));
}

QSize ChartView::minimumSizeHint() const {
    const QSize s = sizeHint();
    return s * 0.75;
}

int ChartView::heightForWidth(int width) const {
    if (geometry_.width <= 0) return width * 245 / 453;
    return static_cast<int>(width * geometry_.height / geometry_.width);
}

double ChartView::scale() const {
    if (geometry_.width <= 0 || geometry_.height <= 0) return 1;
    return std::min(width() / geometry_.width, height() / geometry_.height);
}

QPointF ChartView::origin() const {
    const double k = scale();
    return {(width() - geometry_.width * k) / 2, (height() - geometry_.height * k) / 2};
}

void ChartView::place_labels() {
    const double k = scale();
    const QPointF o = origin();
    QFont font = this->font();
    font.setPixelSize(std::max(6, static_cast<int>(kFontPixels * k + 0.5)));
    for (const ChartText& t : geometry_.texts) {
        QLabel* label = labels_[t.name];
        label->setFont(font);
        label->adjustSize();
        label->move(static_cast<int>(o.x() + t.left * k + 0.5),
                    static_cast<int>(o.y() + t.top * k + 0.5));
    }
}

void ChartView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    place_labels();
}

void ChartView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    const double k = scale();
    const QPointF o = origin();
    painter.translate(o);
    painter.scale(k, k);
    painter.fillRect(QRectF(0, 0, geometry_.width, geometry_.height), chart_background());
    painter.setRenderHint(QPainter::Antialiasing);

    const auto draw_line = [&](const ChartLine& line) {
        painter.setPen(QPen(colour_of(line.colour), line.width, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(point_of(line.from), point_of(line.to));
    };
    for (const ChartLine& line : geometry_.axes) draw_line(line);
    for (const ChartLine& line : geometry_.ticks) draw_line(line);

    // Nothing drawn may leave the picture's axes.
    const ChartFrame& p = geometry_.plot;
    painter.save();
    painter.setClipRect(QRectF(p.left - 2, p.top - 2, p.right - p.left + 4, p.bottom - p.top + 4));
    if (geometry_.curve.points.size() > 1) {
        QPainterPath path(point_of(geometry_.curve.points.front()));
        for (std::size_t i = 1; i < geometry_.curve.points.size(); ++i)
            path.lineTo(point_of(geometry_.curve.points[i]));
        painter.setPen(QPen(colour_of(geometry_.curve.colour), geometry_.curve.width,
                            Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(path);
    }
    if (geometry_.marker) draw_line(*geometry_.marker);
    painter.restore();
}

}  // namespace quorrel
