#pragma once
// A job host that records what a job shows and reports, for tests of whole jobs.

#include <string>
#include <utility>
#include <vector>

#include "core/job_host.h"

namespace velmora::testing {

class RecordingHost : public JobHost {
 public:
  struct Message {
    std::string text;
    bool failure;
  };
  void ShowMessage(const std::string& text, bool failure) override {
    messages.push_back({text, failure});
  }
  void OnProgressState(ProgressState state) override {
    events.push_back(state == ProgressState::kHidden ? "hidden" : "running");
  }
  void OnProgress(uint64_t done, uint64_t total) override {
    events.push_back(std::to_string(done) + "/" + std::to_string(total));
  }

  std::vector<Message> messages;
  std::vector<std::string> events;
};

}  // namespace velmora::testing
