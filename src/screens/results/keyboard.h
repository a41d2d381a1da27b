// Keyboard habits of the results windows: Enter on a focused button presses
// it, as Space does.
#pragma once

class QWidget;

namespace quorrel {

// Every push button inside `window` when this is called is pressed by Enter
// or Return while it has the focus.
void press_buttons_on_enter(QWidget& window);

}  // namespace quorrel
