// One QApplication for the whole test binary, created by whichever test needs
// it first.
#pragma once

#include <QApplication>

namespace quorrel::testing {

inline void ensure_application() {
    if (QApplication::instance()) return;
    static int argc = 1;
    static char name[] = "screens_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

}  // namespace quorrel::testing
