#include "ui/window_job_host.h"

#include <QMetaObject>

namespace velmora {

WindowJobHost::WindowJobHost(QObject* window, Callbacks callbacks)
    : window_(window), callbacks_(std::move(callbacks)) {}

WindowJobHost::~WindowJobHost() = default;

void WindowJobHost::ShowMessage(const std::string& text, bool failure) {
  uint64_t ticket = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shutdown_) return;
    ticket = answeredCount_;
  }
  QMetaObject::invokeMethod(
      window_,
      [this, message = QString::fromStdString(text), failure] {
        if (callbacks_.showMessage) callbacks_.showMessage(message, failure);
        {
          std::lock_guard<std::mutex> lock(mutex_);
          ++answeredCount_;
        }
        answered_.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock<std::mutex> lock(mutex_);
  answered_.wait(lock, [&] { return answeredCount_ > ticket || shutdown_; });
}

void WindowJobHost::OnProgressState(ProgressState state) {
  QMetaObject::invokeMethod(
      window_, [this, state] { if (callbacks_.progressState) callbacks_.progressState(state); },
      Qt::QueuedConnection);
}

void WindowJobHost::OnProgress(uint64_t done, uint64_t total) {
  QMetaObject::invokeMethod(
      window_,
      [this, done, total] {
        if (callbacks_.progress) callbacks_.progress(done, total);
      },
      Qt::QueuedConnection);
}

void WindowJobHost::OnPictures(const PictureTally& tally) {
  QMetaObject::invokeMethod(
      window_, [this, tally] { if (callbacks_.pictures) callbacks_.pictures(tally); },
      Qt::QueuedConnection);
}

void WindowJobHost::Shutdown() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shutdown_ = true;
  }
  answered_.notify_all();
}

}  // namespace velmora
