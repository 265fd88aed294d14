#pragma once
// The bridge between a job on its worker thread and the window on its own thread.
// The job calls the host from the worker; every call is carried over to the window's
// thread, and ShowMessage waits there until the user has answered the message box.

#include <QObject>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "core/job_host.h"

namespace velmora {

class WindowJobHost : public JobHost {
 public:
  struct Callbacks {
    // Run on the window's thread.
    std::function<void(const QString& text, bool failure)> showMessage;
    std::function<void(ProgressState state)> progressState;
    std::function<void(uint64_t done, uint64_t total)> progress;
    std::function<void(const PictureTally& tally)> pictures;
  };

  // window: the object whose thread runs the callbacks; it must outlive the host.
  WindowJobHost(QObject* window, Callbacks callbacks);
  ~WindowJobHost() override;

  // Called from the worker only: the window's thread would wait on itself.
  void ShowMessage(const std::string& text, bool failure) override;
  void OnProgressState(ProgressState state) override;
  void OnProgress(uint64_t done, uint64_t total) override;
  void OnPictures(const PictureTally& tally) override;

  // Releases a worker waiting for an answer and makes later messages return at
  // once; the window calls it when it goes away while a job still runs, so that
  // the job can finish without anybody to answer it.
  void Shutdown();

 private:
  QObject* window_;
  Callbacks callbacks_;
  std::mutex mutex_;
  std::condition_variable answered_;
  uint64_t answeredCount_ = 0;
  bool shutdown_ = false;
};

}  // namespace velmora
