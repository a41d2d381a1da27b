// Test double of the desktop: records every message instead of showing a
// modal box, and answers print and file dialogs as the test tells it.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "screens/platform.h"

namespace quorrel::testing {

struct RecordedMessage {
    QString title;
    QString text;
    MessageIcon icon;
};

class RecordingPlatform : public Platform {
public:
    void show_message(QWidget*, const QString& title, const QString& text,
                      MessageIcon icon) override {
        messages.push_back({title, text, icon});
        if (on_message) on_message();
    }
    bool print_window(QWidget* window) override {
        printed.push_back(window);
        return printer_available;
    }
    QString save_file_name(QWidget*, const QString& initial_name, const QString& filter) override {
        dialog_requests << initial_name + "|" + filter;
        return next_file_name;
    }
    void set_busy(bool on) override { busy_calls.push_back(on); }
    void process_events() override {
        ++pump_calls;
        if (on_process_events) on_process_events();
    }
    void preview_document(QWidget*, const QString& title,
                          const std::function<void(QPrinter&)>& paint) override {
        previews << title;
        last_preview = paint;
    }
    QStringList open_file_names(QWidget*, const QString& filter) override {
        open_requests << filter;
        return next_open_names;
    }
    SaveChoice ask_save_changes(QWidget*, const QString& title, const QString& text) override {
        questions.push_back({title, text, MessageIcon::none});
        return next_save_choice;
    }
    QString open_file_name(QWidget*, const QString& filter) override {
        open_requests << filter;
        return next_open_names.isEmpty() ? QString() : next_open_names.first();
    }
    QString replace_file_name(QWidget*, const QString& initial_name, const QString& filter,
                              const QString& suffix) override {
        dialog_requests << initial_name + "|" + filter + "|" + suffix;
        return next_file_name;
    }

    // Records each progress window; a test presses its Cancel through
    // cancel_progress(), or from on_progress while the work runs.
    class RecordedProgress final : public ProgressWindow {
    public:
        explicit RecordedProgress(RecordingPlatform& owner) : owner_(owner) {}
        ~RecordedProgress() override { --owner_.progress_open; }
        void set_progress(double share) override {
            owner_.progress_values.push_back(share);
            if (owner_.on_progress) owner_.on_progress(share);
        }
        void set_time_left(const QString& text) override { owner_.time_left_texts << text; }

    private:
        RecordingPlatform& owner_;
    };
    std::unique_ptr<ProgressWindow> open_progress(QWidget*, const QString& title,
                                                  const QString& text,
                                                  std::function<void()> on_cancel) override {
        progress_titles << title + "|" + text;
        progress_cancel = std::move(on_cancel);
        ++progress_open;
        return std::make_unique<RecordedProgress>(*this);
    }
    void cancel_progress() {
        if (progress_cancel) progress_cancel();
    }
    QString export_file_name(QWidget*, const QString& title, const QString& initial_name,
                             const QString& filter) override {
        dialog_requests << title + "|" + initial_name + "|" + filter;
        return next_file_name;
    }

    std::vector<RecordedMessage> messages;
    std::vector<QWidget*> printed;
    QStringList dialog_requests;
    std::vector<bool> busy_calls;
    int pump_calls = 0;
    QStringList previews;                         // titles of the print previews asked for
    std::function<void(QPrinter&)> last_preview;  // what the last preview would paint
    QStringList open_requests;                    // filters of the open dialogs
    std::vector<RecordedMessage> questions;       // Save / Discard / Cancel questions asked

    bool printer_available = false;
    QString next_file_name;                             // empty: the user cancels
    QStringList next_open_names;                        // empty: the user cancels
    SaveChoice next_save_choice = SaveChoice::discard;  // the answer to every question
    // Runs inside every pump, as the event loop would: lets a test act while
    // a calculation is under way.
    std::function<void()> on_process_events;
    QStringList progress_titles;          // title|text of every progress window opened
    std::vector<double> progress_values;  // every share shown
    QStringList time_left_texts;          // every estimate of the time left shown
    int progress_open = 0;                // progress windows open now
    std::function<void()> progress_cancel;
    std::function<void(double)> on_progress;
    // Runs while a message is "up": what the screen looks like behind it.
    std::function<void()> on_message;
};

}  // namespace quorrel::testing
