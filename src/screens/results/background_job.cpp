#include "screens/results/background_job.h"

#include <QTimer>
#include <QWidget>
#include <cmath>
#include <exception>
#include <utility>

namespace quorrel {

namespace {
constexpr int kPollMilliseconds = 40;
}

QString time_left_text(double share, double elapsed) {
    if (!(share >= 0.01) || !(elapsed >= 1) || share >= 1) return {};
    const double left = elapsed * (1 - share) / share;
    if (left < 1.5) return "About 1 second left";
    if (left < 90) return QString("About %1 seconds left").arg(std::lround(left));
    return QString("About %1 minutes left").arg(std::lround(left / 60));
}

BackgroundJob::BackgroundJob(Platform& platform, QWidget* window, const QString& title,
                             const QString& text, Work work, Done done)
    : platform_(platform), done_(std::move(done)) {
    progress_window_ = platform_.open_progress(window, title, text, [this] { cancel(); });
    timer_ = new QTimer(this);
    timer_->setInterval(kPollMilliseconds);
    connect(timer_, &QTimer::timeout, this, [this] { poll(); });
    worker_ = std::thread([this, work = std::move(work)] {
        try {
            work(cancel_, progress_);
        } catch (const std::exception& e) {
            failed_ = true;
            failure_ = e.what();
        } catch (...) {
            failed_ = true;
            failure_ = "unknown failure";
        }
        ended_.store(true);
    });
    timer_->start();
}

BackgroundJob::~BackgroundJob() {
    cancel_.store(true);
    if (worker_.joinable()) worker_.join();
}

void BackgroundJob::cancel() { cancel_.store(true); }

void BackgroundJob::poll() {
    if (!ended_.load()) {
        if (progress_window_) {
            const double share = progress_.load();
            progress_window_->set_progress(share);
            const double elapsed =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
            const QString left = time_left_text(share, elapsed);
            if (!left.isEmpty()) progress_window_->set_time_left(left);
        }
        return;
    }
    timer_->stop();
    worker_.join();
    progress_window_.reset();
    const JobEnd end =
        failed_ ? JobEnd::failed : (cancel_.load() ? JobEnd::cancelled : JobEnd::finished);
    Done done = std::move(done_);
    if (done) done(end, QString::fromStdString(failure_));
}

}  // namespace quorrel
