// "Go" and "Calculate": the Go step with its five shaded boxes, the
// calculation with this screen's hooks, the progress display and the hand-over
// to the results screen.
#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QTabWidget>
#include <QTimer>

#include "analysis/case_file.h"
#include "record/errors.h"
#include "record/number_format.h"
#include "analysis/pipeline.h"
#include "screens/input/in_put.h"
#include "screens/results/out_put.h"
#include "valuation/acquired_income.h"

namespace quorrel {

class InPut::Hooks final : public CalculationHooks {
public:
    explicit Hooks(InPut& screen) : screen_(screen) {}
    ~Hooks() override { set_busy(false); }

    void show_message(const std::string& text, const std::string& title) override {
        screen_.platform_.show_message(&screen_, QString::fromStdString(title),
                                       QString::fromStdString(text), MessageIcon::critical);
    }
    bool run_go_step(AnalysisState&) override { return screen_.run_go_step(); }
    void progress_start() override { screen_.progress_start(); }
    void progress_stop() override { screen_.progress_stop(); }
    void set_busy(bool on) override {
        if (on == busy_) return;
        busy_ = on;
        screen_.platform_.set_busy(on);
    }
    void process_pending_events() override { screen_.platform_.process_events(); }
    void close_input_and_open_results(const ResultsRecord& results) override {
        screen_.open_results(results);
    }

private:
    InPut& screen_;
    bool busy_ = false;
};

// The Go step; on a failure of the valuation the record is left exactly as
// it was and the failure's message is shown.
bool InPut::run_go_step() {
    const AnalysisState before = state_;
    try {
        compute_acquired_income(state_);
    } catch (const CalculationFailure& failure) {
        state_ = before;
        platform_.show_message(this, QString::fromStdString(failure.title()),
                               QString::fromUtf8(failure.what()), MessageIcon::critical);
        return false;
    }
    const double shown[5] = {state_.acquired_nominal_income, state_.acquired_cpi_income,
                             state_.acquired_variable_income, state_.consumption_deficit,
                             state_.net_investable_wealth};
    for (int k = 0; k < 5; ++k)
        shaded_[k]->setText(QString::fromStdString(format_grouped0(shown[k])));
    set_figures_stale(false);
    return true;
}

void InPut::in_put_Command6_Click() {
    if (running_ || !amounts_ready(Command6)) return;
    run_go_step();
}

void InPut::in_put_Command1_Click() {
    if (running_ || !amounts_ready(Command1)) return;

    QPointer<QWidget> focus = QApplication::focusWidget();
    const AnalysisState before = state_;
    std::array<QString, 5> shown_before;
    for (int k = 0; k < 5; ++k) shown_before[k] = shaded_[k]->text();
    const bool stale_before = figures_stale_;
    running_ = true;
    accuracy_note_->hide();
    set_inputs_enabled(false);
    results_record_ = ResultsRecord{};
    CalculationOutcome outcome = CalculationOutcome::failed;
    {
        Hooks hooks(*this);
        try {
            const Accuracy accuracy =
                refined_accuracy->isChecked() ? Accuracy::refined : Accuracy::standard;
            outcome = run_calculation(state_, hooks, results_record_, accuracy);
        } catch (const CalculationFailure& failure) {
            hooks.show_message(failure.what(), failure.title());
        }
    }
    progress_stop();
    running_ = false;
    set_inputs_enabled(true);
    // A failed stage leaves every input and figure as it was before.
    if (outcome == CalculationOutcome::failed) {
        state_ = before;
        for (int k = 0; k < 5; ++k) shaded_[k]->setText(shown_before[k]);
        set_figures_stale(stale_before);
    }
    if (focus != nullptr && isVisible()) focus->setFocus(Qt::OtherFocusReason);
    if (exit_after_run_) close();
}

// During a calculation the event loop runs from inside the stages: nothing on
// this screen may change the record under them, nor start a second run.
void InPut::set_inputs_enabled(bool on) {
    TabStrip1->setEnabled(on);
    Command1->setEnabled(on);
    Command2->setEnabled(on);
    refined_accuracy->setEnabled(on && !accuracy_locked_);
}

void InPut::progress_start() {
    Timer1->start();
    Picture1->show();
    state_.progress_frame = 0;
    caption_thirds_ = kCaptionStartThirds;
    Label20->move(qRound(caption_thirds_ / 3.0), 4);
    Label20->show();
    Picture2->setPixmap(frames_[0]);
    Picture2->show();
    Picture2->raise();
}

void InPut::progress_stop() {
    Timer1->stop();
    state_.progress_frame = 0;
    Picture2->hide();
    Picture1->hide();
    caption_thirds_ = kCaptionStartThirds;
    Label20->move(qRound(caption_thirds_ / 3.0), 4);
    Label20->hide();
}

void InPut::in_put_Timer1_Timer() {
    Picture2->setPixmap(frames_[state_.progress_frame % 7]);
    // Kept cyclic so that a long run cannot overflow the counter.
    state_.progress_frame = static_cast<std::int16_t>((state_.progress_frame + 1) % 7);
    // The caption crosses the strip a little each tick and starts over at the
    // left edge once it has passed the right one.
    if (caption_thirds_ > 3 * Picture1->contentsRect().width()) {
        caption_thirds_ = 0;
    } else {
        caption_thirds_ += kCaptionStepThirds;
    }
    Label20->move(qRound(caption_thirds_ / 3.0), Label20->y());
}

void InPut::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Picture2->move((width() - Picture2->width()) / 2, (height() - Picture2->height()) / 2);
    Label20->move(Label20->x(), qMax(0, (Picture1->height() - Label20->height()) / 2));
}

void InPut::open_results(const ResultsRecord& results) {
    auto* screen = new OutPut(state_, results, platform_, amounts_[kText11].edit->text());
    screen->setAttribute(Qt::WA_DeleteOnClose, false);
    screen->set_case_name(case_name_);  // named in its report; empty for a new case
    // "Compare..." opens saved cases with the same reader as the command line.
    screen->set_case_reader([](const QString& path, AnalysisState& state) {
        return read_case_file(path.toStdString(), state);
    });
    results_ = screen;
    connect(screen, &OutPut::returned, this, &InPut::results_returned);
    // A solved amount of "What if" is committed as if typed into its box.
    connect(screen, &OutPut::input_amount_chosen, this, [this](const QString& key, double value) {
        const int box = key == "liquid_wealth" ? kText11 : kText10;
        amounts_[box].edit->setText(QString::fromStdString(format_grouped0(value)));
        if (check_amount(box)) run_go_step();
        // The amount came from a refined solve: the next Calculate runs the
        // same scheme, so it shows the figure the solve found.
        if (!refined_accuracy->isChecked()) {
            refined_accuracy->setChecked(true);
            accuracy_note_->setText(
                "\"Refined accuracy\" is now ticked: the amount from What if was found with the "
                "refined scheme, so Calculate shows the figure the solve found.");
            accuracy_note_->show();
        }
    });
    // Shown before this one is hidden, so the program never has no window;
    // activated, so that the keyboard goes with it.
    focus_before_results_ = QApplication::focusWidget();
    screen->show();
    screen->raise();
    screen->activateWindow();
    hide();
}

void InPut::results_returned() {
    show();
    raise();
    activateWindow();
    // The control that had the focus before Calculate has it again.
    if (focus_before_results_ && focus_before_results_->window() == this)
        focus_before_results_->setFocus(Qt::OtherFocusReason);
    else
        Command1->setFocus(Qt::OtherFocusReason);
    if (results_ != nullptr) {
        results_->hide();
        results_->deleteLater();
        results_ = nullptr;
    }
}

// ---- Progress animation frames ------------------------------------------

QPixmap progress_frame_image(int k) {
    // Where the pupils look in each frame: ahead, then round the clock.
    static const QPointF gaze[7] = {{0, 0},      {-1, 0}, {-0.7, -0.7}, {0, -1},
                                    {0.7, -0.7}, {1, 0},  {0, 1}};
    const QPointF g = gaze[((k % 7) + 7) % 7];
    const qreal ratio = 2;
    QPixmap pm(QSize(140, 90) * ratio);
    pm.setDevicePixelRatio(ratio);
    pm.fill(QColor(212, 212, 212));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    // Head
    p.setPen(QPen(QColor(90, 70, 20), 2));
    p.setBrush(QColor(250, 214, 90));
    p.drawEllipse(QPointF(70, 47), 38, 38);
    // Eyes and pupils
    for (qreal x : {56.0, 84.0}) {
        const QPointF centre(x, 38);
        p.setPen(QPen(Qt::black, 1.5));
        p.setBrush(Qt::white);
        p.drawEllipse(centre, 11, 13);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        p.drawEllipse(centre + QPointF(g.x() * 5, g.y() * 6), 4.5, 4.5);
    }
    // Mouth
    p.setPen(QPen(QColor(120, 40, 20), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(56, 50, 28, 20), 200 * 16, 140 * 16);
    p.end();
    return pm;
}

}  // namespace quorrel
