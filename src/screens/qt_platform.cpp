// The desktop behind Platform: Qt message boxes, printing a window image on
// the default printer, the save dialog, the busy pointer and the event pump.
#include <QApplication>
#include <QCursor>
#include <QFileDialog>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressDialog>
#include <QScreen>
#include <QWidget>
#include <algorithm>

#include "screens/platform.h"

namespace quorrel {
namespace {

// A window-modal progress dialog: the window under it keeps painting and
// its other windows stay usable, but nothing on it starts a second run.
class DialogProgress final : public ProgressWindow {
public:
    DialogProgress(QWidget* parent, const QString& title, const QString& text,
                   std::function<void()> on_cancel)
        : dialog_(new QProgressDialog(text, "Cancel", 0, kSteps, parent)), text_(text) {
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
    QPointer<QProgressDialog> dialog_;
    QString text_;
};

class QtPlatform final : public Platform {
public:
    void show_message(QWidget* parent, const QString& title, const QString& text,
                      MessageIcon icon) override {
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
        QFileDialog dialog(parent, kSaveDialogTitle, initial_name, filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // The report is appended, so an existing file is no reason to ask
        // whether to replace it.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        if (dialog.exec() != QDialog::Accepted) return {};
        const QStringList chosen = dialog.selectedFiles();
        return chosen.isEmpty() ? QString() : chosen.first();
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
        QPrinter printer(QPrinter::HighResolution);
        QPrintPreviewDialog dialog(&printer, parent);
        dialog.setWindowTitle(title);
        QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                         [&paint](QPrinter* target) { paint(*target); });
        dialog.resize(900, 1000);
        dialog.exec();
    }

    QStringList open_file_names(QWidget* parent, const QString& filter) override {
        return QFileDialog::getOpenFileNames(parent, QString(), QString(), filter);
    }

    std::unique_ptr<ProgressWindow> open_progress(QWidget* parent, const QString& title,
                                                  const QString& text,
                                                  std::function<void()> on_cancel) override {
        return std::make_unique<DialogProgress>(parent, title, text, std::move(on_cancel));
    }

    QString export_file_name(QWidget* parent, const QString& title, const QString& initial_name,
                             const QString& filter) override {
        return QFileDialog::getSaveFileName(parent, title, initial_name, filter);
    }

    SaveChoice ask_save_changes(QWidget* parent, const QString& title,
                                const QString& text) override {
        QMessageBox box(QMessageBox::Warning, title, text,
                        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
        box.setDefaultButton(QMessageBox::Save);
        switch (box.exec()) {
            case QMessageBox::Save: return SaveChoice::save;
            case QMessageBox::Discard: return SaveChoice::discard;
            default: return SaveChoice::cancel;
        }
    }

    QString open_file_name(QWidget* parent, const QString& filter) override {
        return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
    }

    QString replace_file_name(QWidget* parent, const QString& initial_name, const QString& filter,
                              const QString& suffix) override {
        QFileDialog dialog(parent, QString(), initial_name, filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(suffix);
        if (dialog.exec() != QDialog::Accepted) return {};
        const QStringList chosen = dialog.selectedFiles();
        return chosen.isEmpty() ? QString() : chosen.first();
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
    QRect frame(QPoint(0, 0), window.size());
    frame.moveCenter(area.center());
    window.move(std::max(frame.left(), area.left()), std::max(frame.top(), area.top()));
}

Platform& desktop_platform() {
    static QtPlatform platform;
    return platform;
}

}  // namespace quorrel
