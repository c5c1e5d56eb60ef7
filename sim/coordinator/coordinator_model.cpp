#include "coordinator_model.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace qel::sim {

namespace {

std::string lower(std::string s) {
  s.erase(std::remove_if(s.begin(), s.end(), [](unsigned char c) { return std::isspace(c) && c != ' '; }), s.end());
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  while (!s.empty() && s.back() == ' ') s.pop_back();
  while (!s.empty() && s.front() == ' ') s.erase(0, 1);
  return s;
}

// Numbers inside "name(a,b,...)" after the given prefix; false when the text does not fit.
bool args(const std::string& s, const std::string& prefix, std::vector<double>* out, std::string* rest = nullptr) {
  if (s.rfind(prefix, 0) != 0) return false;
  std::size_t i = prefix.size();
  if (i >= s.size() || s[i] != '(') return false;
  const std::size_t close = s.find(')', i);
  if (close == std::string::npos) return false;
  out->clear();
  std::string inner = s.substr(i + 1, close - i - 1);
  std::size_t at = 0;
  while (at <= inner.size()) {
    std::size_t comma = inner.find(',', at);
    if (comma == std::string::npos) comma = inner.size();
    const std::string part = inner.substr(at, comma - at);
    char* end = nullptr;
    const double v = std::strtod(part.c_str(), &end);
    if (part.empty() || end == part.c_str() || *end != '\0') return false;
    out->push_back(v);
    at = comma + 1;
  }
  if (rest) *rest = s.substr(close + 1);
  else if (close + 1 != s.size()) return false;
  return true;
}

bool number(const std::string& s, double* v) {
  char* end = nullptr;
  *v = std::strtod(s.c_str(), &end);
  return !s.empty() && end != s.c_str() && *end == '\0' && std::isfinite(*v);
}

}  // namespace

std::string formatValue(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.6f", v);
  std::string s = buf;
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  if (s == "-0") s = "0";
  return s;
}

CoordinatorModel::CoordinatorModel() {
  vr_[kVrStart] = 0;
  vr_[kVrBusy] = 0;
}

// Trapezoidal profile along the straight line of the move.
double CoordinatorModel::progressLocked(Clock::time_point now) const {
  const Move& m = move_;
  if (m.length <= 0) return 0;
  if (m.speed <= 0 || m.accel <= 0 || m.decel <= 0) return m.length;
  double v = m.speed;
  double sa = v * v / (2 * m.accel), sd = v * v / (2 * m.decel);
  if (sa + sd > m.length) {
    v = std::sqrt(2 * m.length * m.accel * m.decel / (m.accel + m.decel));
    sa = v * v / (2 * m.accel);
    sd = v * v / (2 * m.decel);
  }
  const double ta = v / m.accel, tc = (m.length - sa - sd) / v, td = v / m.decel;
  const double t = std::chrono::duration<double>(now - m.t0).count();
  if (t <= 0) return 0;
  if (t < ta) return 0.5 * m.accel * t * t;
  if (t < ta + tc) return sa + v * (t - ta);
  if (t < ta + tc + td) {
    const double u = t - ta - tc;
    return std::min(m.length, sa + v * tc + v * u - 0.5 * m.decel * u * u);
  }
  return m.length;
}

double CoordinatorModel::positionLocked(int axis, Clock::time_point now) const {
  if (axis < 0 || axis >= kAxes) return 0;
  const Move& m = move_;
  const double done = m.length > 0 ? progressLocked(now) : 0;
  if (done >= m.length) return m.target[axis];  // exactly where it was sent
  return m.start[axis] + m.delta[axis] * (done / m.length);
}

double CoordinatorModel::position(int axis) {
  std::lock_guard<std::mutex> g(mutex_);
  return positionLocked(axis, Clock::now());
}

bool CoordinatorModel::moving() {
  std::lock_guard<std::mutex> g(mutex_);
  return move_.length > 0 && progressLocked(Clock::now()) < move_.length;
}

void CoordinatorModel::updateJobLocked() {
  if (feeding_ && Clock::now() - feedStart_ >= std::chrono::milliseconds(feedMs_)) {
    feeding_ = false;
    vr_[kVrFeed] = 0;
    ++feeds_;
    if (fed_) fed_();
  }
  if (jobRunning_ && Clock::now() - jobStart_ >= std::chrono::milliseconds(jobMs_)) {
    jobRunning_ = false;
    vr_[kVrStart] = 0;
    vr_[kVrBusy] = 0;
    ++jobsRun_;
  }
}

double CoordinatorModel::readVrLocked(int n) {
  updateJobLocked();
  if (n == kVrBusy && busyPolls_ > 0) {
    --busyPolls_;
    return 1;
  }
  auto it = vr_.find(n);
  return it == vr_.end() ? 0 : it->second;
}

CoordinatorModel::Reply CoordinatorModel::execute(const std::string& command) {
  const std::string s = lower(command);
  std::lock_guard<std::mutex> g(mutex_);
  history_ += command + "\n";
  const auto now = Clock::now();
  if (std::optional<Reply> r = setLocked(s, now)) return *r;
  return queryLocked(s, now);
}

std::optional<CoordinatorModel::Reply> CoordinatorModel::setLocked(const std::string& s, Clock::time_point now) {
  const Reply refused{false, false, {}};
  std::vector<double> a;
  std::string rest;
  double v = 0;
  if (args(s, "base", &a)) {
    std::vector<int> axes;
    for (double x : a) {
      if (x < 0 || x >= kAxes || x != std::floor(x)) return refused;
      axes.push_back(static_cast<int>(x));
    }
    if (axes.empty()) return refused;
    base_ = axes;
    return Reply{};
  }
  for (const char* p : {"speed", "accel", "decel"}) {
    const std::string name = p;
    if (s.rfind(name + "=", 0) == 0) {
      if (!number(s.substr(name.size() + 1), &v) || v < 0) return refused;
      double* arr = name == "speed" ? speed_ : name == "accel" ? accel_ : decel_;
      for (int ax : base_) arr[ax] = v;
      return Reply{};
    }
  }
  if (args(s, "moveabs", &a)) {
    if (a.empty() || a.size() > base_.size()) return refused;
    startMoveLocked(a, now);
    return Reply{};
  }
  if (args(s, "op", &a)) {
    if (a.size() != 2) return refused;
    outputs_[static_cast<int>(a[0])] = static_cast<int>(a[1]);
    return Reply{};
  }
  if (args(s, "vr", &a, &rest) && a.size() == 1 && rest.size() > 1 && rest[0] == '=') {
    if (!number(rest.substr(1), &v)) return refused;
    writeVrLocked(static_cast<int>(a[0]), v, now);
    return Reply{};
  }
  return std::nullopt;
}

void CoordinatorModel::startMoveLocked(const std::vector<double>& a, Clock::time_point now) {
  Move m;
  m.t0 = now;
  for (int ax = 0; ax < kAxes; ++ax) m.start[ax] = m.target[ax] = positionLocked(ax, now);
  double sq = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const int ax = base_[i];
    m.delta[ax] = a[i] - m.start[ax];
    m.target[ax] = a[i];
    sq += m.delta[ax] * m.delta[ax];
  }
  m.length = std::sqrt(sq);
  const int lead = base_[0];
  m.speed = speed_[lead];
  m.accel = accel_[lead];
  m.decel = decel_[lead];
  move_ = m;
}

void CoordinatorModel::writeVrLocked(int n, double v, Clock::time_point now) {
  updateJobLocked();
  vr_[n] = v;
  if (n == kVrFeed && v == 1 && !feeding_) {
    feeding_ = true;
    feedStart_ = now;
  }
  if (n == kVrStart && v == 1 && filePending_ && !jobRunning_) {
    filePending_ = false;
    jobRunning_ = true;
    jobStart_ = now;
    vr_[kVrBusy] = 1;
  }
}

CoordinatorModel::Reply CoordinatorModel::queryLocked(const std::string& s, Clock::time_point now) {
  Reply r;
  r.query = true;
  std::vector<double> a;
  if (s.rfind("?mpos", 0) == 0) {
    std::string t = s.substr(5);
    while (!t.empty() && t[0] == ' ') t.erase(0, 1);
    if (!args(t, "axis", &a) || a.size() != 1) return Reply{false, true, {}};
    r.value = formatValue(positionLocked(static_cast<int>(a[0]), now));
    return r;
  }
  if (s == "?dpos" || s == "?mpos") {
    r.value = formatValue(positionLocked(base_[0], now));
    return r;
  }
  if (s == "?speed" || s == "?accel" || s == "?decel") {
    const double* arr = s == "?speed" ? speed_ : s == "?accel" ? accel_ : decel_;
    r.value = formatValue(arr[base_[0]]);
    return r;
  }
  if (args(s, "?in", &a)) {
    if (a.size() == 1) {
      r.value = std::to_string(inputs_[static_cast<int>(a[0])]);
      return r;
    }
    if (a.size() == 2 && a[1] >= a[0] && a[1] - a[0] < 31) {
      long bits = 0;
      for (int n = static_cast<int>(a[0]); n <= static_cast<int>(a[1]); ++n)
        if (inputs_[n]) bits |= 1L << (n - static_cast<int>(a[0]));
      r.value = std::to_string(bits);
      return r;
    }
    return Reply{false, true, {}};
  }
  if (args(s, "?vr", &a) && a.size() == 1) {
    r.value = formatValue(readVrLocked(static_cast<int>(a[0])));
    return r;
  }
  return Reply{false, s.rfind('?', 0) == 0, {}};
}

void CoordinatorModel::fileDownloaded() {
  std::lock_guard<std::mutex> g(mutex_);
  filePending_ = true;
}

void CoordinatorModel::setInput(int n, int value) {
  std::lock_guard<std::mutex> g(mutex_);
  inputs_[n] = value;
}
int CoordinatorModel::output(int n) {
  std::lock_guard<std::mutex> g(mutex_);
  return outputs_[n];
}
double CoordinatorModel::vr(int n) {
  std::lock_guard<std::mutex> g(mutex_);
  updateJobLocked();
  auto it = vr_.find(n);
  return it == vr_.end() ? 0 : it->second;
}
void CoordinatorModel::setVr(int n, double v) {
  std::lock_guard<std::mutex> g(mutex_);
  vr_[n] = v;
}
int CoordinatorModel::jobsRun() {
  std::lock_guard<std::mutex> g(mutex_);
  updateJobLocked();
  return jobsRun_;
}
void CoordinatorModel::setJobMs(int ms) {
  std::lock_guard<std::mutex> g(mutex_);
  jobMs_ = ms;
}
void CoordinatorModel::setFeeder(std::function<void()> fed, int feedMs) {
  std::lock_guard<std::mutex> g(mutex_);
  fed_ = std::move(fed);
  feedMs_ = feedMs;
}

int CoordinatorModel::feeds() {
  std::lock_guard<std::mutex> g(mutex_);
  updateJobLocked();
  return feeds_;
}

void CoordinatorModel::setBusyPolls(int n) {
  std::lock_guard<std::mutex> g(mutex_);
  busyPolls_ = n;
}
std::string CoordinatorModel::history() {
  std::lock_guard<std::mutex> g(mutex_);
  return history_;
}

}  // namespace qel::sim
