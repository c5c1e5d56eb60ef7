#pragma once
// The simulated coordinator's machine: two axes that move with their speed and acceleration in
// real time, inputs and outputs, the VR store and a model of the coordinator's own program
// (after a download and VR 950 = 1 the job runs for a while with VR 951 = 1, then both return to
// 0), and its sheet feeder (VR 954 = 1 feeds the next sheet; the program sets it back to 0 once
// the sheet lies). The command line and the control port both execute their command texts here.
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace qel::sim {

class CoordinatorModel {
 public:
  static constexpr int kAxes = 2;
  static constexpr int kVrStart = 950;  // set by the host to start the job
  static constexpr int kVrBusy = 951;   // set by the program while the job runs
  static constexpr int kVrFeed = 954;   // set by the host to feed the next sheet

  struct Reply {
    bool ok = true;          // the command was understood
    bool query = false;      // the command answers a value
    std::string value;       // the answer of a query
  };

  CoordinatorModel();

  // Executes one command text (without its line end), case-insensitive:
  // base(a[,b]), speed=, accel=, decel=, moveabs(x[,y]), op(n,v), vr(n)=v, ?mpos axis(n),
  // ?dpos, ?speed, ?accel, ?decel (first base axis), ?in(n), ?in(a,b) (bits of a..b), ?vr(n).
  Reply execute(const std::string& command);

  // A file arrived (any link): the program may start a job when VR 950 becomes 1.
  void fileDownloaded();

  double position(int axis);
  bool moving();
  void setInput(int n, int value);
  int output(int n);
  double vr(int n);
  void setVr(int n, double v);
  int jobsRun();
  // Length of one job of the coordinator's program.
  void setJobMs(int ms);
  // The next n reads of VR 951 report the program busy.
  void setBusyPolls(int n);
  // The feeder: each feed takes feedMs, then `fed` runs (under the model's lock: it must not
  // call the model) and VR 954 returns to 0.
  void setFeeder(std::function<void()> fed, int feedMs = 300);
  int feeds();
  // Commands executed, each followed by '\n'.
  std::string history();

 private:
  using Clock = std::chrono::steady_clock;
  struct Move {
    Clock::time_point t0{};
    double start[kAxes] = {0, 0};
    double delta[kAxes] = {0, 0};
    double target[kAxes] = {0, 0};
    double length = 0, speed = 0, accel = 0, decel = 0;
  };
  double positionLocked(int axis, Clock::time_point now) const;
  double progressLocked(Clock::time_point now) const;  // distance covered along the move
  void updateJobLocked();
  double readVrLocked(int n);
  // execute's two kinds: a setting or a move (nullopt: not one), else a query.
  std::optional<Reply> setLocked(const std::string& s, Clock::time_point now);
  Reply queryLocked(const std::string& s, Clock::time_point now);
  void startMoveLocked(const std::vector<double>& a, Clock::time_point now);  // moveabs on the base axes
  void writeVrLocked(int n, double v, Clock::time_point now);  // VR 950 starts a job, VR 954 a feed

  std::mutex mutex_;
  std::vector<int> base_{0};
  double speed_[kAxes] = {100, 100};
  double accel_[kAxes] = {1000, 1000};
  double decel_[kAxes] = {1000, 1000};
  Move move_;
  std::map<int, int> inputs_;
  std::map<int, int> outputs_;
  std::map<int, double> vr_;
  bool filePending_ = false;
  bool jobRunning_ = false;
  Clock::time_point jobStart_{};
  int jobMs_ = 300;
  int jobsRun_ = 0;
  int busyPolls_ = 0;
  std::function<void()> fed_;
  int feedMs_ = 300;
  bool feeding_ = false;
  Clock::time_point feedStart_{};
  int feeds_ = 0;
  std::string history_;
};

// "%f"-style text of a value without trailing zeros ("123.5", "10", "-0.25").
std::string formatValue(double v);

}  // namespace qel::sim
