#include "links/mc_command.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "links/dmotion_control.h"
#include "links/mc_socket.h"
#include "links/transfer_owner.h"

namespace qel::links {

namespace {
constexpr const char* kFailureEn = "Network connection failure! Press 'OK' to stop, Press 'Cancel' to retry.";
constexpr const char* kFailureZh = "网络连接失败! 点击'确定'停止, 重试请点击'取消'。";
constexpr std::size_t kCommandBuffer = 256;
}  // namespace

CMC_Command::CMC_Command(TransferOwner* owner) : owner_(owner) {}

CMC_Command::~CMC_Command() {
  std::lock_guard lock(mutex_);
  mcsock::closeSocket(socket_);
}

void CMC_Command::attachControl(CDMotionControl* control) {
  std::lock_guard lock(mutex_);
  control_ = control;
  backEnd_ = control ? kControl : kSocket;
}

void CMC_Command::message(const std::string& text) {
  if (owner_)
    owner_->showMessage("Information", text, TransferOwner::Buttons::Ok);
  else
    std::fprintf(stderr, "%s\n", text.c_str());
}

void CMC_Command::failurePrompt() {
  Close();
  if (stopFlag()) return;
  const bool english = !owner_ || owner_->language() == 1;
  const std::string text = english ? kFailureEn : kFailureZh;
  const bool ok = owner_ ? owner_->showMessage("Information", text, TransferOwner::Buttons::OkCancel)
                         : (std::fprintf(stderr, "Information: %s\n", text.c_str()), true);
  if (ok) setStopFlag(true);
}

bool CMC_Command::controlFailure() {
  failurePrompt();
  return false;
}

bool CMC_Command::Connect() {
  std::lock_guard lock(mutex_);
  if (backEnd_ == kControl) {
    if (!control_) return false;
    if (control_->IsOpen(port_)) return true;
    if (!mcsock::validIpv4(address_)) {
      message("invalid host ip!");
      return false;
    }
    control_->SetIP(address_);
    if (control_->Open(2, static_cast<short>(port_))) return true;
    if (!stopFlag()) failurePrompt();
    return false;
  }
  if (socket_ >= 0) return true;
  if (!mcsock::validIpv4(address_)) {
    message("invalid host ip!");
    return false;
  }
  bool created = false;
  socket_ = mcsock::connectTcp(address_, port_, connectTimeoutMs_, &created);
  if (socket_ >= 0) return true;
  if (!created) {
    message("create socket failed!");
    return false;
  }
  failurePrompt();
  return false;
}

bool CMC_Command::Close() {
  std::lock_guard lock(mutex_);
  if (backEnd_ == kControl) {
    if (control_) control_->Close(0);
    return true;
  }
  mcsock::closeSocket(socket_);
  return true;
}

// One command line and its echo; for a query also the answer.
bool CMC_Command::exchange(const std::string& text, bool isQuery, std::string* answer) {
  if (!Connect()) return false;
  std::string line = text + "\r";
  if (line.size() >= kCommandBuffer) line = line.substr(0, kCommandBuffer - 2) + "\r";
  if (!mcsock::sendAll(socket_, line.data(), line.size())) {
    failurePrompt();
    return false;
  }
  // The echo: the command, a line feed and, without an answer to follow, the prompt.
  char echo[kCommandBuffer + 8];
  const std::size_t want = line.size() + (isQuery ? 1 : 3);
  if (mcsock::recvSome(socket_, echo, want, replyTimeoutMs_) <= 0) {
    failurePrompt();
    return false;
  }
  if (!isQuery) return true;
  char buf[kCommandBuffer];
  const long n = mcsock::recvSome(socket_, buf, sizeof buf, replyTimeoutMs_);
  if (n <= 0) {
    failurePrompt();
    return false;
  }
  answer->assign(buf, static_cast<std::size_t>(n));
  return true;
}

bool CMC_Command::command(const std::string& text) { return exchange(text, false, nullptr); }

bool CMC_Command::query(const std::string& text, std::string* answer) { return exchange(text, true, answer); }

double CMC_Command::parseAnswer(const std::string& answer) {
  const std::size_t end = answer.find_first_of("\r<>");
  const std::string t = answer.substr(0, end);
  return std::strtod(t.c_str(), nullptr);
}

bool CMC_Command::movePos(int axisChoice, int speed, int accel, double x, double y) {
  std::lock_guard lock(mutex_);
  if (axisChoice < 0 || axisChoice > 2) return false;
  char buf[128];
  if (backEnd_ == kControl) {
    if (!Connect()) return false;
    std::vector<short> axes = axisChoice == 2 ? std::vector<short>{0, 1} : std::vector<short>{static_cast<short>(axisChoice)};
    std::vector<double> pos = axisChoice == 2 ? std::vector<double>{x, y} : std::vector<double>{x};
    const short count = static_cast<short>(axes.size());
    if (!control_->Base(count, axes)) {
      message("movePos():Base Failed!");
      return controlFailure();
    }
    if (!control_->SetAxisParam("SPEED", speed) || !control_->SetAxisParam("ACCEL", accel) ||
        !control_->SetAxisParam("DECEL", accel) || !control_->MoveAbs(count, axes, pos))
      return controlFailure();
    return true;
  }
  if (!command(axisChoice == 0 ? "base(0)" : axisChoice == 1 ? "base(1)" : "base(0,1)")) return false;
  std::snprintf(buf, sizeof buf, "speed=%d", speed);
  if (!command(buf)) return false;
  std::snprintf(buf, sizeof buf, "accel=%d", accel);
  if (!command(buf)) return false;
  std::snprintf(buf, sizeof buf, "decel=%d", accel);
  if (!command(buf)) return false;
  if (axisChoice == 2)
    std::snprintf(buf, sizeof buf, "moveabs(%lf,%lf)", x, y);
  else
    std::snprintf(buf, sizeof buf, "moveabs(%lf)", x);
  return command(buf);
}

bool CMC_Command::getMpos(int axis, double* value) {
  std::lock_guard lock(mutex_);
  const int a = axis == 1 ? 1 : 0;
  if (backEnd_ == kControl) {
    if (!Connect()) return false;
    double v = 0;
    if (!control_->Base(1, {static_cast<short>(a)}) || !control_->GetAxisParam("DPOS", &v)) return controlFailure();
    if (value) *value = v;
    return true;
  }
  std::string answer;
  if (!query(a == 1 ? "?mpos axis(1)" : "?mpos axis(0)", &answer)) return false;
  if (value) *value = parseAnswer(answer);
  return true;
}

bool CMC_Command::setOutput(int output, int value) {
  std::lock_guard lock(mutex_);
  if (backEnd_ == kControl) {
    if (!Connect()) return false;
    return control_->SetOp(static_cast<short>(output), static_cast<short>(value)) || controlFailure();
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "op(%d,%d)", output, value);
  return command(buf);
}

bool CMC_Command::getInput(int input, int* value) {
  std::lock_guard lock(mutex_);
  if (backEnd_ == kControl) {
    if (!Connect()) return false;
    std::int32_t bits = 0;
    if (!control_->GetIn(static_cast<short>(input), static_cast<short>(input), &bits)) return controlFailure();
    if (value) *value = bits;
    return true;
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "?in(%d)", input);
  std::string answer;
  if (!query(buf, &answer)) return false;
  if (value) *value = static_cast<int>(parseAnswer(answer));
  return true;
}

bool CMC_Command::setVr(int number, double value) {
  std::lock_guard lock(mutex_);
  if (backEnd_ == kControl) {
    if (!Connect()) return false;
    return control_->SetVr(static_cast<short>(number), value) || controlFailure();
  }
  char buf[128];
  std::snprintf(buf, sizeof buf, "vr(%d)=%lf", number, value);
  return command(buf);
}

bool CMC_Command::getVr(int number, double* value) {
  std::lock_guard lock(mutex_);
  if (backEnd_ == kControl) {
    if (!Connect()) return false;
    double v = 0;
    if (!control_->GetVr(static_cast<short>(number), &v)) return controlFailure();
    if (value) *value = v;
    return true;
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "?vr(%d)", number);
  std::string answer;
  if (!query(buf, &answer)) return false;
  if (value) *value = parseAnswer(answer);
  return true;
}

}  // namespace qel::links
