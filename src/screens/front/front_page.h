// The title screen: a title image, a prompt that follows the pointer, and a
// click that opens the input screen, which it loads in the background.
#pragma once

#include <QPixmap>
#include <QWidget>
#include <memory>

#include "record/analysis_state.h"
#include "screens/platform.h"

class QLabel;

namespace quorrel {

class InPut;

// The title image, 719 x 521 pixels.
QPixmap title_image();

class FrontPage : public QWidget {
    Q_OBJECT
public:
    FrontPage(AnalysisState& state, Platform& platform, QWidget* parent = nullptr);
    ~FrontPage() override;

    void front_page_Form_Load();
    void front_page_Form_Click();
    void front_page_Form_MouseMove(int x, int y);

    InPut& input_screen() { return *input_; }

signals:
    // "Exit" on the input screen.
    void exit_requested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // Any key leaves the title screen, as a click does.
    void keyPressEvent(QKeyEvent* event) override;

private:
    AnalysisState& state_;
    Platform& platform_;
    std::unique_ptr<InPut> input_;
    QPixmap image_;
    QLabel* Label1 = nullptr;
};

}  // namespace quorrel
