// The PCI port: device paths and the memory window through which table values and VR
// variables are read and written directly.
#include "controller/port.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace qel::controller {

std::string CPciPort::devicePath(int number, int sub) const {
  static const char* const kNames[3] = {"mpe", "remote", "memory"};
  char buf[64];
  std::snprintf(buf, sizeof buf, "/dev/qelmcpci-%03d-%s", number, kNames[sub]);
  return buf;
}

bool CPciPort::memoryCall(std::uint32_t code, const void* in, std::size_t inLen, void* out, std::size_t outLen) {
  if (handle_[2] < 0) return false;
  std::size_t got = 0;
  const auto io = complete(handle_[2], io_->control(handle_[2], code, in, inLen, out, outLen, &got), &got);
  return io == CDeviceIo::Io::Done;
}

bool CPciPort::getVr(int index, double* value) {
  if (!value) return false;
  const std::int32_t in[2] = {index, index};
  float f = 0;
  if (!memoryCall(kIoctlGetVr, in, sizeof in, &f, sizeof f)) return false;
  *value = f;
  return true;
}

bool CPciPort::setVr(int index, double value) {
  struct {
    std::int32_t index;
    float value;
  } in{index, static_cast<float>(value)};
  return memoryCall(kIoctlSetVr, &in, sizeof in, nullptr, 0);
}

namespace {
constexpr int kWindow = 1024;
constexpr int kMaxBase = 30976;
}  // namespace

bool CPciPort::moveWindow(int base) {
  if (base < 0 || base > kMaxBase) return false;
  struct {
    std::int32_t location;
    float value;
  } rec{1024, static_cast<float>(base)};
  if (!memoryCall(kIoctlSetTable, &rec, sizeof rec, nullptr, 0)) return false;
  // The window moves once the coordinator reports the new base at location 1025.
  for (int tries = 0; tries < 100000; ++tries) {
    const std::int32_t in[2] = {1025, 1025};
    float cur = -1;
    if (!memoryCall(kIoctlGetTable, in, sizeof in, &cur, sizeof cur)) return false;
    if (static_cast<int>(cur) == base) return true;
    busyWaitMicro();
  }
  return false;
}

bool CPciPort::inWindows(int first, int count, const std::function<bool(int loc, int base, int n, int done)>& piece) {
  if (first < 0 || count < 0 || first > kMaxBase + kWindow - count) return false;
  int done = 0;
  while (done < count) {
    const int loc = first + done;
    const int base = (loc / kWindow) * kWindow;
    const int n = std::min(count - done, base + kWindow - loc);
    if (!moveWindow(base) || !piece(loc, base, n, done)) return false;
    done += n;
  }
  return true;
}

bool CPciPort::getTable(int first, int count, double* values) {
  if (!values) return false;
  return inWindows(first, count, [&](int loc, int base, int n, int done) {
    const std::int32_t in[2] = {loc - base, loc - base + n - 1};
    std::vector<float> out(static_cast<std::size_t>(n));
    if (!memoryCall(kIoctlGetTable, in, sizeof in, out.data(), out.size() * sizeof(float))) return false;
    for (int i = 0; i < n; ++i) values[done + i] = out[static_cast<std::size_t>(i)];
    return true;
  });
}

bool CPciPort::setTable(int first, int count, const double* values) {
  if (!values) return false;
  struct Rec {
    std::int32_t location;
    float value;
  };
  return inWindows(first, count, [&](int loc, int base, int n, int done) {
    std::vector<Rec> recs(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) recs[static_cast<std::size_t>(i)] = {loc - base + i, static_cast<float>(values[done + i])};
    return memoryCall(kIoctlSetTable, recs.data(), recs.size() * sizeof(Rec), nullptr, 0);
  });
}

}  // namespace qel::controller
