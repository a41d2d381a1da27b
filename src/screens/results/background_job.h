// Long work of a screen on a worker thread behind a progress window with
// Cancel: the user-interface thread keeps its event loop and only polls the
// worker, so the windows stay responsive and a cancelled or finished run is
// handled there, never on the worker.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "screens/platform.h"

class QTimer;
class QWidget;

namespace quorrel {

enum class JobEnd { finished, cancelled, failed };

// The time left of a job that has done `share` of its work in `elapsed`
// seconds, at the pace so far, for the progress window; empty while too
// little is done to tell (under 1% or the first second).
QString time_left_text(double share, double elapsed);

class BackgroundJob final : public QObject {
    Q_OBJECT
public:
    // Runs on the worker: reads `cancel` often (a run must stop within a few
    // tenths of a second once it is set) and stores the share done in
    // `progress`. It owns no screen object; whatever it produces it leaves
    // in data of its own, which `done` reads.
    using Work =
        std::function<void(const std::atomic<bool>& cancel, std::atomic<double>& progress)>;
    // Runs on the user-interface thread once the worker has ended; `message`
    // is the failure's text when the work threw.
    using Done = std::function<void(JobEnd end, const QString& message)>;

    // The progress window opens over `window`; the job itself has no Qt
    // parent, its owner deletes it (never from inside `done`).
    BackgroundJob(Platform& platform, QWidget* window, const QString& title, const QString& text,
                  Work work, Done done);
    // Cancels and waits for the worker: a screen closed mid-run leaves no
    // thread behind that could touch it.
    ~BackgroundJob() override;

    bool running() const { return worker_.joinable(); }
    // As the progress window's Cancel does.
    void cancel();

private:
    void poll();

    Platform& platform_;
    std::unique_ptr<ProgressWindow> progress_window_;
    QTimer* timer_ = nullptr;
    Done done_;
    std::atomic<bool> cancel_{false};
    std::atomic<double> progress_{0};
    std::atomic<bool> ended_{false};
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    bool failed_ = false;  // written by the worker before ended_
    std::string failure_;
    std::thread worker_;
};

}  // namespace quorrel
