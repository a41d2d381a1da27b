// Small helpers several screen tests share.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <QThread>

#include "screens/results/out_put.h"

namespace quorrel::testing {

// Lets the event loop run until the screen's simulation has ended.
inline void wait_for_simulation(const OutPut& screen) {
    QElapsedTimer clock;
    clock.start();
    while (screen.simulation_running() && clock.elapsed() < 300000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
}

// A caption as shown: mnemonic marks dropped, "&&" shown as one "&".
inline QString shown_caption(QString text) {
    return text.replace("&&", "\x01").remove('&').replace("\x01", "&");
}

}  // namespace quorrel::testing
