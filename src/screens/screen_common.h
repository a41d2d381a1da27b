// Small pieces every screen shares: where the settings live, text from the
// core's strings, a plain push button.
#pragma once

#include <QPushButton>
#include <QString>
#include <string>

namespace quorrel {

// The QSettings organisation and application every screen reads and writes.
inline constexpr const char* kSettingsOwner = "Quorrel";
inline constexpr const char* kSettingsName = "Quorrel";

inline constexpr const char* kCsvFilter = "CSV file (*.csv)";

inline QString qs(const std::string& s) { return QString::fromStdString(s); }

// A push button named `name` that Return does not press unless it has the focus.
inline QPushButton* button(QWidget* parent, const char* name, const char* text) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

}  // namespace quorrel
