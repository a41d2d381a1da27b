// One QApplication for the whole test binary, created by whichever test needs
// it first.
#pragma once

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

namespace quorrel::testing {

// The screens keep their settings (recent cases, the last folder, the
// accuracy, window places) under a temporary folder, never in the user's own.
inline void use_private_settings() {
    static QTemporaryDir folder;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder.path());
}

inline void ensure_application() {
    if (QApplication::instance()) return;
    static int argc = 1;
    static char name[] = "screens_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
    use_private_settings();
}

}  // namespace quorrel::testing
