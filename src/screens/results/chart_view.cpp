#include "screens/results/chart_view.h"

#include <QLabel>
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>

namespace quorrel {

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
        palette.setColor(QPalette::WindowText, chart_colour(t.colour));
        palette.setColor(QPalette::Window, chart_background());
        label->setPalette(palette);
        label->setAutoFillBackground(t.boxed);
        label->setFrameShape(t.boxed ? QFrame::Box : QFrame::NoFrame);
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
    return chart_canvas_rect(geometry_, QRectF(rect())).width() / geometry_.width;
}

QPointF ChartView::origin() const { return chart_canvas_rect(geometry_, QRectF(rect())).topLeft(); }

void ChartView::place_labels() {
    const double k = scale();
    const QPointF o = origin();
    const QFont font = chart_caption_font(this->font(), k);
    for (const ChartText& t : geometry_.texts) {
        QLabel* label = labels_[t.name];
        label->setFont(font);
        label->setMargin(t.boxed ? std::max(1, static_cast<int>(kChartBoxPadding * k + 0.5)) : 0);
        label->adjustSize();
        const double left = t.right ? *t.right * k - label->width() : t.left * k;
        label->move(static_cast<int>(o.x() + left + 0.5),
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
    // The captions are this widget's labels, so they keep their tooltips.
    paint_chart(painter, geometry_, QRectF(rect()), ChartCaptions::omitted, font());
}

}  // namespace quorrel
