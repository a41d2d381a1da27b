// A loaded input screen over a fresh record and the recording desktop.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <memory>

#include "record/analysis_state.h"
#include "screens/input/in_put.h"
#include "screens/recording_platform.h"
#include "screens/results_app.h"

namespace quorrel::testing {

// Shows a window and waits until it is the active one, so that focus changes
// send their focus events.
inline bool activate(QWidget* window) {
    window->show();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    QElapsedTimer clock;
    clock.start();
    while (QApplication::activeWindow() != window && clock.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return QApplication::activeWindow() == window;
}

class InputScreenTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ensure_application();
        use_private_settings();
    }
    void SetUp() override {
        // Every test starts from the standard scheme, whatever an earlier one chose.
        QSettings("Quorrel", "Quorrel").remove("refined_accuracy");
        // ... and from the window's first size and place.
        QSettings("Quorrel", "Quorrel").remove("geometry");
        screen = std::make_unique<InPut>(state, platform);
    }
    void TearDown() override {
        screen.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    template <class T>
    T* child(const QString& name) {
        T* w = screen->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    QComboBox* list(const QString& name) { return child<QComboBox>(name); }
    QLineEdit* box(const QString& name) { return child<QLineEdit>(name); }
    QPushButton* button(const QString& name) { return child<QPushButton>(name); }
    QTabWidget* tabs() { return child<QTabWidget>("TabStrip1"); }

    // Picks an item by its text, as a user would.
    void select(const QString& name, const QString& text) {
        QComboBox* c = list(name);
        const int i = c->findText(text);
        ASSERT_GE(i, 0) << name.toStdString() << " has no " << text.toStdString();
        c->setCurrentIndex(i);
    }

    // Types into an amount box and leaves it for `next`, as the Tab key or a
    // mouse click would.
    void type_and_leave(const QString& name, const QString& text, QWidget* next,
                        Qt::FocusReason reason = Qt::TabFocusReason) {
        QLineEdit* e = box(name);
        e->setFocus(Qt::MouseFocusReason);
        ASSERT_TRUE(e->hasFocus()) << name.toStdString();
        e->selectAll();
        e->setText(text);
        next->setFocus(reason);
    }

    AnalysisState state;
    RecordingPlatform platform;
    std::unique_ptr<InPut> screen;
};

}  // namespace quorrel::testing
