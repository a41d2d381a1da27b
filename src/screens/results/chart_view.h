// A picture box for one result chart: paints a ChartGeometry on a light
// yellow surface, scaled from its logical canvas to the widget, and keeps one
// named label per caption at the scaled position.
#pragma once

#include <QWidget>
#include <map>
#include <string>

#include "report/chart_geometry.h"
#include "report/chart_painter.h"

class QLabel;

namespace quorrel {

class ChartView : public QWidget {
    Q_OBJECT
public:
    explicit ChartView(QWidget* parent = nullptr);

    // Replaces the picture; the captions are updated at once, the lines on the
    // next paint.
    void set_geometry(ChartGeometry geometry);
    const ChartGeometry& chart() const { return geometry_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Logical-to-widget scale and offset: the canvas keeps its proportions
    // and is centred.
    double scale() const;
    QPointF origin() const;
    void place_labels();

    ChartGeometry geometry_;
    std::map<std::string, QLabel*> labels_;
};

}  // namespace quorrel
