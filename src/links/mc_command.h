#pragma once
// The command client of the camera mode: moves the machine head, reads positions, switches
// outputs, reads inputs and reads and writes VR variables, either as text commands over its own
// TCP connection to the coordinator's command line (back-end 0, port 23) or through our control
// layer (back-end 1, port 3240). Every failure closes the connection and, unless the stop flag is
// set, asks the operator whether to stop (OK) or retry (Cancel); the next operation reconnects.
// One client may serve several threads (the jog buttons and a running job): each operation holds
// the client's lock from its first command to its last answer, so a move's four commands and a
// query's echo and answer are never interleaved with another thread's.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace qel::links {

class CDMotionControl;
class TransferOwner;

class CMC_Command {
 public:
  enum BackEnd : std::int32_t { kSocket = 0, kControl = 1 };
  static constexpr int kCommandPort = 23;

  // Messages go through the owner's message service (standard error without an owner).
  explicit CMC_Command(TransferOwner* owner = nullptr);
  ~CMC_Command();
  CMC_Command(const CMC_Command&) = delete;
  CMC_Command& operator=(const CMC_Command&) = delete;

  void setAddress(const std::string& address) { address_ = address; }
  void setPort(int port) { port_ = port; }
  // Attaches the control and switches to back-end 1; nullptr returns to the socket back-end.
  void attachControl(CDMotionControl* control);
  BackEnd backEnd() const { return static_cast<BackEnd>(backEnd_.load()); }

  // The stop flag: set when the operator chooses OK in the failure box; the camera workflow sets
  // and clears it as its own stop flag. Read from other threads.
  bool stopFlag() const { return stop_.load() != 0; }
  void setStopFlag(bool on) { stop_.store(on ? 1 : 0); }

  bool Connect();
  bool Close();
  // axisChoice 0: X, 1: Y, 2: X and Y. Single-axis moves take x.
  bool movePos(int axisChoice, int speed, int accel, double x, double y);
  // Axis 1 reads Y; every other axis reads X.
  bool getMpos(int axis, double* value);
  bool setOutput(int output, int value);
  bool getInput(int input, int* value);
  bool setVr(int number, double value);
  bool getVr(int number, double* value);

  // How long an echo or an answer may take before the connection counts as failed.
  void setReplyTimeoutMs(int ms) { replyTimeoutMs_ = ms; }
  void setConnectTimeoutMs(int ms) { connectTimeoutMs_ = ms; }
  bool connected() const {
    std::lock_guard lock(mutex_);
    return socket_ >= 0;
  }

  // The value of a query answer: the text up to the first carriage return, "<" or ">"; an
  // empty text is 0.
  static double parseAnswer(const std::string& answer);

 private:
  bool command(const std::string& text);
  bool query(const std::string& text, std::string* answer);
  bool exchange(const std::string& text, bool isQuery, std::string* answer);
  void failurePrompt();
  void message(const std::string& text);
  bool controlFailure();

  std::atomic<std::int32_t> stop_{0};
  // Held through a whole operation, including the failure question it may ask.
  mutable std::recursive_mutex mutex_;
  CDMotionControl* control_ = nullptr;
  int socket_ = -1;
  std::string address_;
  int port_ = kCommandPort;
  std::atomic<std::int32_t> backEnd_{kSocket};
  TransferOwner* owner_;
  int replyTimeoutMs_ = 5000;
  int connectTimeoutMs_ = 3000;
};

}  // namespace qel::links
