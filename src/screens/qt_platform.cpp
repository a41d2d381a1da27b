// The desktop behind Platform: Qt message boxes, printing a window image on
// the default printer, the save dialog, the busy pointer and the event pump.
#include <QApplication>
#include <QCursor>
#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <utility>

#include "screens/platform.h"
#include "screens/screen_common.h"

namespace quorrel {
namespace {

// Kept under the program's own name, whatever the binary is called.
constexpr const char* kLastFolderKey = "last_folder";

QString last_folder() {
    const QString folder =
        QSettings(kSettingsOwner, kSettingsName).value(kLastFolderKey).toString();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

// The chosen file, its folder remembered for the next dialog.
QString chosen(const QString& path) {
    remember_folder_of(path);
    return path;
}

// Sets the focus on `focus` when its window next becomes active, once.
class RefocusOnActivation final : public QObject {
public:
    RefocusOnActivation(QWidget& window, QWidget& focus) : QObject(&window), focus_(&focus) {
        window.installEventFilter(this);
        // Never left waiting: a window that is not activated soon has lost
        // its claim.
        QTimer::singleShot(2000, this, [this] { deleteLater(); });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::WindowActivate) {
            if (focus_) focus_->setFocus(Qt::ActiveWindowFocusReason);
            watched->removeEventFilter(this);
            deleteLater();
        }
        return false;
    }

private:
    QPointer<QWidget> focus_;
};

// Gives the keyboard back after a modal dialog: without a window manager the
// X focus falls to the root window when the dialog closes, and keys would do
// nothing until a click. The window and the control that had the focus get
// it again.
class FocusKeeper {
public:
    explicit FocusKeeper(QWidget* parent)
        : window_(parent ? parent->window() : QApplication::activeWindow()),
          focus_(QApplication::focusWidget()) {}
    ~FocusKeeper() {
        if (!window_ || !window_->isVisible()) return;
        QWidget* focus = focus_ && focus_->window() == window_ ? focus_.data() : nullptr;
        if (focus) focus->setFocus(Qt::OtherFocusReason);
        // The window system activates the window a moment later, and the
        // toolkit may then pick another control: the focus is set again then.
        if (focus && !window_->isActiveWindow()) new RefocusOnActivation(*window_, *focus);
        window_->activateWindow();
    }
    FocusKeeper(const FocusKeeper&) = delete;
    FocusKeeper& operator=(const FocusKeeper&) = delete;

private:
    QPointer<QWidget> window_;
    QPointer<QWidget> focus_;
};

// A window-modal progress dialog: the window under it keeps painting and
// its other windows stay usable, but nothing on it starts a second run.
class DialogProgress final : public ProgressWindow {
public:
    DialogProgress(QWidget* parent, const QString& title, const QString& text,
                   std::function<void()> on_cancel)
        : keeper_(parent), dialog_(new QProgressDialog(text, "Cancel", 0, kSteps, parent)), text_(text) {
        dialog_->setWindowTitle(title);
        dialog_->setWindowModality(Qt::WindowModal);
        dialog_->setMinimumDuration(0);
        dialog_->setAutoClose(false);
        dialog_->setAutoReset(false);
        QObject::connect(dialog_, &QProgressDialog::canceled, dialog_,
                         [cancel = std::move(on_cancel)] {
                             if (cancel) cancel();
                         });
        dialog_->setValue(0);
        dialog_->show();
    }
    // The dialog is also its parent's child: whichever goes first, it is
    // deleted once.
    ~DialogProgress() override { delete dialog_.data(); }
    void set_progress(double share) override {
        if (dialog_) dialog_->setValue(static_cast<int>(std::clamp(share, 0.0, 1.0) * kSteps));
    }
    void set_time_left(const QString& text) override {
        if (dialog_) dialog_->setLabelText(text_ + "\n" + text);
    }

private:
    static constexpr int kSteps = 1000;
    const FocusKeeper keeper_;  // first made, last gone: after the dialog
    QPointer<QProgressDialog> dialog_;
    QString text_;
};

class QtPlatform final : public Platform {
public:
    void show_message(QWidget* parent, const QString& title, const QString& text,
                      MessageIcon icon) override {
        const FocusKeeper keeper(parent);
        QMessageBox box(icon == MessageIcon::critical ? QMessageBox::Critical : QMessageBox::NoIcon,
                        title, text, QMessageBox::Ok, parent);
        box.exec();
    }

    bool print_window(QWidget* window) override {
        if (window == nullptr) return false;
        // Only the default printer is used and no print dialog is shown, so a
        // missing printer is a failure rather than a prompt.
        const QPrinterInfo info = QPrinterInfo::defaultPrinter();
        if (info.isNull() || info.printerName().isEmpty()) return false;
        const QPixmap image = window->window()->grab();
        if (image.isNull()) return false;

        QPrinter printer(info, QPrinter::HighResolution);
        if (!printer.isValid()) return false;
        QPainter painter;
        if (!painter.begin(&printer)) return false;
        const QRect page = painter.viewport();
        QSize size = image.size();
        size.scale(page.size(), Qt::KeepAspectRatio);
        painter.drawPixmap(QRect(page.topLeft(), size), image);
        return painter.end();
    }

    QString save_file_name(QWidget* parent, const QString& initial_name,
                           const QString& filter) override {
        const FocusKeeper keeper(parent);
        QFileDialog dialog(parent, kSaveDialogTitle, in_last_folder(initial_name), filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // The report is appended, so an existing file is no reason to ask
        // whether to replace it.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        if (dialog.exec() != QDialog::Accepted) return {};
        const QStringList files = dialog.selectedFiles();
        return files.isEmpty() ? QString() : chosen(files.first());
    }

    void set_busy(bool on) override {
        // Balanced: a second "on" or an "off" without an "on" changes nothing.
        if (on && !busy_) {
            QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
            busy_ = true;
        } else if (!on && busy_) {
            QApplication::restoreOverrideCursor();
            busy_ = false;
        }
    }

    void process_events() override { QCoreApplication::processEvents(); }

    void preview_document(QWidget* parent, const QString& title,
                          const std::function<void(QPrinter&)>& paint) override {
        const FocusKeeper keeper(parent);
        QPrinter printer(QPrinter::HighResolution);
        QPrintPreviewDialog dialog(&printer, parent);
        dialog.setWindowTitle(title);
        QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                         [&paint](QPrinter* target) { paint(*target); });
        dialog.resize(900, 1000);
        dialog.exec();
    }

    QStringList open_file_names(QWidget* parent, const QString& filter) override {
        const FocusKeeper keeper(parent);
        const QStringList files =
            QFileDialog::getOpenFileNames(parent, QString(), last_folder(), filter);
        if (!files.isEmpty()) remember_folder_of(files.first());
        return files;
    }

    std::unique_ptr<ProgressWindow> open_progress(QWidget* parent, const QString& title,
                                                  const QString& text,
                                                  std::function<void()> on_cancel) override {
        return std::make_unique<DialogProgress>(parent, title, text, std::move(on_cancel));
    }

    QString export_file_name(QWidget* parent, const QString& title, const QString& initial_name,
                             const QString& filter) override {
        const FocusKeeper keeper(parent);
        // Qt's save dialog asks before an existing file is replaced.
        return chosen(
            QFileDialog::getSaveFileName(parent, title, in_last_folder(initial_name), filter));
    }

    SaveChoice ask_save_changes(QWidget* parent, const QString& title,
                                const QString& text) override {
        const FocusKeeper keeper(parent);
        QMessageBox box(QMessageBox::Warning, title, text,
                        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
        box.setDefaultButton(QMessageBox::Save);
        // Every answer by its letter, as the other buttons of the program.
        box.button(QMessageBox::Save)->setText("&Save");
        box.button(QMessageBox::Discard)->setText("&Discard");
        box.button(QMessageBox::Cancel)->setText("Cancel");
        switch (box.exec()) {
            case QMessageBox::Save: return SaveChoice::save;
            case QMessageBox::Discard: return SaveChoice::discard;
            default: return SaveChoice::cancel;
        }
    }

    QString open_file_name(QWidget* parent, const QString& filter) override {
        const FocusKeeper keeper(parent);
        return chosen(QFileDialog::getOpenFileName(parent, QString(), last_folder(), filter));
    }

    QString replace_file_name(QWidget* parent, const QString& initial_name, const QString& filter,
                              const QString& suffix) override {
        const FocusKeeper keeper(parent);
        QFileDialog dialog(parent, QString(), in_last_folder(initial_name), filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(suffix);
        if (dialog.exec() != QDialog::Accepted) return {};
        const QStringList files = dialog.selectedFiles();
        return files.isEmpty() ? QString() : chosen(files.first());
    }

private:
    bool busy_ = false;
};

}  // namespace

void centre_on_screen(QWidget& window) {
    const QScreen* screen = window.screen();
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QRect area = screen->availableGeometry();
    window.resize(window.size().boundedTo(area.size()).expandedTo(window.minimumSize()));
    QRect frame(QPoint(0, 0), window.size());
    frame.moveCenter(area.center());
    window.move(std::max(frame.left(), area.left()), std::max(frame.top(), area.top()));
}

namespace {

// Records a window's geometry whenever it is hidden or closed.
class GeometryRecorder final : public QObject {
public:
    GeometryRecorder(QWidget& window, QString key) : QObject(&window), key_(std::move(key)) {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && !shown_) {
            shown_ = true;
            // The frame the window system adds is known once the window is
            // up: fitted again with it.
            QPointer<QWidget> window = static_cast<QWidget*>(watched);
            QTimer::singleShot(0, window, [window] {
                if (window) fit_on_screen(*window);
            });
        }
        // Only a window a person has seen: one hidden before it was ever
        // shown has no place worth keeping.
        if ((event->type() == QEvent::Hide || event->type() == QEvent::Close) && shown_)
            QSettings(kSettingsOwner, kSettingsName)
                .setValue(key_, static_cast<QWidget*>(watched)->saveGeometry());
        return false;
    }

private:
    QString key_;
    bool shown_ = false;
};

}  // namespace

void fit_on_screen(QWidget& window) {
    const QScreen* screen = window.screen();
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QRect area = screen->availableGeometry();
    // The frame the window manager adds, where there is one.
    const QSize frame = window.frameGeometry().size() - window.geometry().size();
    const QSize room = area.size() - frame.expandedTo(QSize(0, 0));
    QSize size = window.size().boundedTo(room);
    size = size.expandedTo(window.minimumSize());
    if (size != window.size()) window.resize(size);
    QPoint at = window.pos();
    const QSize outer = window.frameGeometry().size();
    at.setX(
        std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - outer.width())));
    at.setY(
        std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height())));
    if (at != window.pos()) window.move(at);
}

void keep_window_geometry(QWidget& window, const QString& key) {
    const QByteArray saved =
        QSettings(kSettingsOwner, kSettingsName).value("geometry/" + key).toByteArray();
    if (saved.isEmpty() || !window.restoreGeometry(saved)) centre_on_screen(window);
    fit_on_screen(window);
    new GeometryRecorder(window, "geometry/" + key);
}

#ifndef QUORREL_VERSION
#define QUORREL_VERSION "unknown"
#endif

QString program_version() { return QUORREL_VERSION; }

QString about_text() {
    return QString(
               "Quorrel %1\n"
               "A retirement income analyser: how long does the money last, with pensions, "
               "annuities and a portfolio, over a lifetime of uncertain length?\n\n"
               "Licence: no licence has been stated for this program yet; ask its authors "
               "before passing it on.\n\n"
               "Mortality data: the 1983 GAM, Annuity 2000 Basic, UP-94 and RP-2000 tables "
               "of the Society of Actuaries, whose terms of use apply to them; the rates "
               "were read from the R package MortalityTables by Reinhold Kainhofer (MIT "
               "licence) and the Society's published tables.\n\n"
               "Built with Qt %2.")
        .arg(program_version(), QString::fromLatin1(qVersion()));
}

QIcon program_icon() {
    // The icon the desktop entry installs, at each of its sizes.
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QString(":/icons/org.quorrel.Quorrel-%1.png").arg(size), QSize(size, size));
    return icon;
}

QString in_last_folder(const QString& proposed_name) {
    if (!proposed_name.isEmpty() && QFileInfo(proposed_name).fileName() != proposed_name)
        return proposed_name;  // it names its folder itself
    const QString folder = last_folder();
    if (folder.isEmpty()) return proposed_name;
    return proposed_name.isEmpty() ? folder + QDir::separator()
                                   : QDir(folder).filePath(proposed_name);
}

void remember_folder_of(const QString& chosen_path) {
    if (chosen_path.isEmpty()) return;
    QSettings(kSettingsOwner, kSettingsName)
        .setValue(kLastFolderKey, QFileInfo(chosen_path).absolutePath());
}

QString proposed_file_name(const QString& case_name, const QDate& date, const QString& suffix) {
    // Characters no file system takes in a name are left out of it.
    QString name = case_name.trimmed().isEmpty() ? QString("Quorrel report") : case_name.trimmed();
    name.remove(QRegularExpression(R"([/\\:*?"<>|])"));
    name += " " + date.toString("yyyy-MM-dd");
    return suffix.isEmpty() ? name : name + "." + suffix;
}

Platform& desktop_platform() {
    static QtPlatform platform;
    return platform;
}

}  // namespace quorrel
