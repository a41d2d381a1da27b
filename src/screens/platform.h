// Everything a screen needs from the desktop: message boxes, printing, the
// file-save dialog, the busy pointer and the event pump. Screens call only
// this, so tests substitute a recording double and never block on a dialog.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QDate;
class QIcon;
class QPrinter;
class QWidget;

namespace quorrel {

enum class MessageIcon { none, critical };

// A progress window with a Cancel button, open for as long as it lives.
class ProgressWindow {
public:
    virtual ~ProgressWindow() = default;
    // The share of the work done, 0 to 1.
    virtual void set_progress(double share) = 0;
};

// The answer to "save the changes before they are lost?".
enum class SaveChoice { save, discard, cancel };

// What both screens say when their window could not be printed.
inline constexpr const char* kPrintFailureMessage =
    "This screen can't be printed. Please check the Printer.";

class Platform {
public:
    virtual ~Platform() = default;
    // Modal message box with an OK button.
    virtual void show_message(QWidget* parent, const QString& title, const QString& text,
                              MessageIcon icon) = 0;
    // Prints an image of the whole window on the default printer; false when
    // that failed for any reason.
    virtual bool print_window(QWidget* window) = 0;
    // File-save dialog for a file that is appended to: choosing an existing
    // file asks nothing. An empty string when the user cancelled.
    virtual QString save_file_name(QWidget* parent, const QString& initial_name,
                                   const QString& filter) = 0;
    virtual void set_busy(bool on) = 0;
    // Lets the event loop run once.
    virtual void process_events() = 0;
    // A print preview of a document that `paint` draws on the printer it is
    // handed, each time the preview needs it; printing is the dialog's own.
    virtual void preview_document(QWidget* parent, const QString& title,
                                  const std::function<void(QPrinter&)>& paint) = 0;
    // File-open dialog for one or more existing files; empty when cancelled.
    virtual QStringList open_file_names(QWidget* parent, const QString& filter) = 0;
    // Opens a progress window over `parent`, which stays painted while the
    // work runs elsewhere; `on_cancel` runs (on this thread) when the user
    // presses Cancel or closes the window.
    virtual std::unique_ptr<ProgressWindow> open_progress(QWidget* parent, const QString& title,
                                                          const QString& text,
                                                          std::function<void()> on_cancel) = 0;
    // File-save dialog for a file that is written whole: choosing an existing
    // file asks whether to replace it. An empty string when cancelled.
    virtual QString export_file_name(QWidget* parent, const QString& title,
                                     const QString& initial_name, const QString& filter) = 0;
    // Modal question with the buttons Save, Discard and Cancel.
    virtual SaveChoice ask_save_changes(QWidget* parent, const QString& title,
                                        const QString& text) = 0;
    // File-open dialog for one existing file; empty when cancelled.
    virtual QString open_file_name(QWidget* parent, const QString& filter) = 0;
    // File-save dialog for a file that is replaced: choosing an existing file
    // asks first. `suffix` is added to a name typed without one. Empty when
    // cancelled.
    virtual QString replace_file_name(QWidget* parent, const QString& initial_name,
                                      const QString& filter, const QString& suffix) = 0;
};

// Title of the desktop's save dialog.
inline constexpr const char* kSaveDialogTitle =
    "Save Results (a report is added to the end of an existing file)";

// The program's name in every window title and its version.
inline constexpr const char* kProgramName = "Quorrel";
QString program_version();
// The About box's text: the version, the licence and the credits.
QString about_text();
// The program's window icon, drawn so that no image file is needed.
QIcon program_icon();

// The real desktop.
Platform& desktop_platform();

// Makes a top-level window fit its screen's free area and remembers its size
// and place between sessions under `key`: the place last left is restored
// when it is still on a screen, and a window too large for the screen is
// made smaller (its contents scroll). Each later hide or close records it.
void keep_window_geometry(QWidget& window, const QString& key);
// The window's size cut to its screen's free area, and its top left corner
// moved so that the whole window is on that screen.
void fit_on_screen(QWidget& window);

// Where file dialogs start: the folder the last one was left in, kept between
// sessions. A proposed name without a folder is put into it; a name with one,
// or no remembered folder that still exists, leaves the name as it is.
QString in_last_folder(const QString& proposed_name);
// Remembers the folder of a file the user chose; an empty path changes nothing.
void remember_folder_of(const QString& chosen_path);
// A file name proposed from the case and the date, "Smith 2026-12-10.pdf";
// an unsaved case is called "Quorrel report". `suffix` without its dot, may
// be empty.
QString proposed_file_name(const QString& case_name, const QDate& date, const QString& suffix);

// Puts a top-level window in the middle of its screen's free area, its top
// left corner never off the screen.
void centre_on_screen(QWidget& window);

}  // namespace quorrel
