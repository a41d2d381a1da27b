// The help screens of the five input pages: a fixed text and "Return".
#pragma once

#include <QString>
#include <QWidget>

class QPlainTextEdit;
class QPushButton;

namespace quorrel {

// The help pages: 1..5 those of the input pages, then refined accuracy, the
// simulation, Compare, What if, case files and the Household page.
inline constexpr int kHelpPages = 11;
// Caption and text of help page 1..kHelpPages.
QString help_caption(int page);
QString help_text(int page);

class HelpScreen : public QWidget {
    Q_OBJECT
public:
    // A window of its own (modeless); it deletes itself on "Return".
    HelpScreen(int page, QWidget* parent = nullptr);

    int page() const { return page_; }
    void help_Command1_Click();

protected:
    // Escape works as "Return".
    void keyPressEvent(QKeyEvent* event) override;

private:
    int page_;
    QPlainTextEdit* Text1 = nullptr;
    QPushButton* Command1 = nullptr;
};

}  // namespace quorrel
