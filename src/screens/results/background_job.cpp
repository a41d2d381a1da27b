#include "screens/results/background_job.h"

#include <QTimer>
#include <QWidget>
#include <exception>
#include <utility>

namespace quorrel {

namespace {
constexpr int kPollMilliseconds = 40;
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
        if (progress_window_) progress_window_->set_progress(progress_.load());
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
