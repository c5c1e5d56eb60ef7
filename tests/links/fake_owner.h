#pragma once
// The owner a link takes its services from, for tests: a stop request the test sets (or a pause
// pressed at a progress position), progress and messages recorded as text ("title: text", "[OK/Cancel]" added for a question), the answer
// to questions, the interface language and the clock of the link's waits.
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "links/transfer_owner.h"

namespace qel::test {

class FakeTransferOwner : public links::TransferOwner {
 public:
  explicit FakeTransferOwner(std::string home, platform::Clock* clock = nullptr)
      : home_(std::move(home)), clock_(clock) {}
  bool stopRequested() const override { return stop_; }
  void setStopRequest(bool on) override { stop_ = on; }
  bool previewTransferRunning() const override { return false; }
  void setProgressRange(int lo, int hi) override { record(progress_, "range " + std::to_string(lo) + ".." + std::to_string(hi)); }
  // Presses Pause once the progress bar reaches `pauseAtPos_` (the 1 shown before the start aside).
  void setProgressPos(int pos) override {
    record(progress_, "pos " + std::to_string(pos));
    if (pauseAtPos_ >= 0 && pos >= pauseAtPos_ && pos != 1) stop_ = true;
  }
  int language() const override { return lang_; }
  std::string programDir() const override { return home_; }
  bool showMessage(const std::string& title, const std::string& text, Buttons buttons) override {
    record(messages_, title + ": " + text + (buttons == Buttons::OkCancel ? " [OK/Cancel]" : ""));
    return answerOk_;
  }
  platform::Clock& clock() override { return clock_ ? *clock_ : TransferOwner::clock(); }

  std::vector<std::string> progress() const { return copy(progress_); }
  std::vector<std::string> messages() const { return copy(messages_); }
  void clearMessages() { std::lock_guard<std::mutex> l(m_); messages_.clear(); }

  std::atomic<bool> stop_{false};
  std::atomic<bool> answerOk_{true};
  std::atomic<int> lang_{1};
  int pauseAtPos_ = -1;

 private:
  void record(std::vector<std::string>& v, std::string s) { std::lock_guard<std::mutex> l(m_); v.push_back(std::move(s)); }
  std::vector<std::string> copy(const std::vector<std::string>& v) const { std::lock_guard<std::mutex> l(m_); return v; }
  std::string home_;
  platform::Clock* clock_;  // not owned; the system clock when null
  mutable std::mutex m_;
  std::vector<std::string> progress_;
  std::vector<std::string> messages_;
};

}  // namespace qel::test
