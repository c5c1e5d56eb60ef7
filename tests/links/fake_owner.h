#pragma once
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "links/transfer_owner.h"

namespace qel::test {

class FakeTransferOwner : public links::TransferOwner {
 public:
  explicit FakeTransferOwner(std::string home) : home_(std::move(home)) {}
  bool stopRequested() const override { return stop_; }
  void setStopRequest(bool on) override { stop_ = on; }
  bool previewTransferRunning() const override { return preview_; }
  void setProgressRange(int lo, int hi) override {
    std::lock_guard<std::mutex> l(m_);
    progress_.push_back("range " + std::to_string(lo) + ".." + std::to_string(hi));
  }
  void setProgressPos(int pos) override {
    std::lock_guard<std::mutex> l(m_);
    progress_.push_back("pos " + std::to_string(pos));
  }
  int language() const override { return 1; }
  std::string programDir() const override { return home_; }

  std::vector<std::string> progress() const {
    std::lock_guard<std::mutex> l(m_);
    return progress_;
  }

  std::atomic<bool> stop_{false};
  std::atomic<bool> preview_{false};

 private:
  std::string home_;
  mutable std::mutex m_;
  std::vector<std::string> progress_;
};

}  // namespace qel::test
