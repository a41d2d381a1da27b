#include "screens/results/keyboard.h"

#include <QEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QWidget>

namespace quorrel {

namespace {

// Enter on a focused button: a button outside a dialog ignores the key
// (only Space presses it), so the press is taken here.
class EnterPresses final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
        if (key->modifiers() & ~Qt::KeypadModifier) return false;
        auto* button = qobject_cast<QPushButton*>(watched);
        if (button == nullptr || !button->isEnabled() || !button->isVisible()) return false;
        button->click();
        return true;
    }
};

}  // namespace

void press_buttons_on_enter(QWidget& window) {
    auto* presses = new EnterPresses(&window);
    for (QPushButton* b : window.findChildren<QPushButton*>()) b->installEventFilter(presses);
}

}  // namespace quorrel
