#pragma once
// The services a link takes from whoever starts the send (the send queue, the print preview,
// the camera workflow): the stop request, the preview-transfer flag, a progress bar, the
// interface language and the home folder whose Config.ini holds the link settings.
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

#include "platform/clock.h"

namespace qel::links {

class TransferOwner {
 public:
  virtual ~TransferOwner() = default;

  // The "Pause" button sets the stop request and "Continue" clears it. Read from the
  // sending thread while the interface thread writes it.
  virtual bool stopRequested() const = 0;
  virtual void setStopRequest(bool on) = 0;
  // Set while the print preview sends a file on its own.
  virtual bool previewTransferRunning() const = 0;

  virtual void setProgressRange(int low, int high) = 0;
  virtual void setProgressPos(int pos) = 0;

  // 1 English, 0 Chinese.
  virtual int language() const = 0;

  // Folder of Config.ini (the program directory).
  virtual std::string programDir() const = 0;

  // Message box of the sending thread. With OkCancel the answer is true for OK and false for
  // Cancel; a plain message answers true. An owner without windows writes the text to standard
  // error and answers OK.
  enum class Buttons { Ok, OkCancel };
  virtual bool showMessage(const std::string& title, const std::string& text, Buttons buttons = Buttons::Ok) {
    (void)buttons;
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    return true;
  }

  // Time of the link's waits (retry pauses, time-outs); tests give a fast clock.
  virtual platform::Clock& clock() { return platform::SystemClock::instance(); }

  // The bytes of the file that have gone out so far, for consoles that show a transfer's rate.
  // The serial and network links report after each block or piece; the window's progress bar
  // is driven by setProgressRange and setProgressPos alone.
  virtual void reportBytesSent(std::int64_t sent, std::int64_t total) {
    (void)sent;
    (void)total;
  }

  // A stop is in force when it was requested and no preview transfer runs.
  bool stopInForce() const { return stopRequested() && !previewTransferRunning(); }
};

// An owner with nothing to show and no stop: for pictures, benchmarks and demonstrations that
// drive a link by themselves. Messages are answered with OK.
class QuietOwner : public TransferOwner {
 public:
  explicit QuietOwner(std::string home) : home_(std::move(home)) {}
  bool stopRequested() const override { return false; }
  void setStopRequest(bool) override {}
  bool previewTransferRunning() const override { return false; }
  void setProgressRange(int, int) override {}
  void setProgressPos(int) override {}
  int language() const override { return 1; }
  std::string programDir() const override { return home_; }
  bool showMessage(const std::string&, const std::string&, Buttons) override { return true; }

 private:
  std::string home_;
};

}  // namespace qel::links
