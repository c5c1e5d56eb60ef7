#pragma once
// An in-memory stand-in for the coordinator's USB and PCI drivers, and reading a channel of the
// controller until a reply is complete.
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "controller/controller.h"
#include "controller/device_io.h"
#include "controller/port.h"
#include "support/wait.h"

namespace qel::test {

class FakeDevice : public controller::CDeviceIo {
 public:
  std::mutex m;
  std::set<std::string> present;           // paths that open
  std::vector<std::size_t> writeBlocks;    // sizes of each write call
  std::string toRead;                      // bytes the next reads deliver
  std::vector<std::uint32_t> controls;     // control codes seen
  int opens = 0;
  bool pendOnce = false;                   // the next write reports pending once
  // PCI memory: table locations and VR values.
  std::vector<float> table = std::vector<float>(32000, 0.0f);
  std::map<int, float> vr;
  int base = 0;
  int next = 1;
  int pendingDone = 0;

  int open(const std::string& path) override {
    std::lock_guard<std::mutex> g(m);
    ++opens;
    return present.count(path) ? next++ : -1;
  }
  void close(int) override {}
  Io control(int, std::uint32_t code, const void* in, std::size_t inLen, void* out, std::size_t outLen,
             std::size_t* got) override {
    std::lock_guard<std::mutex> g(m);
    controls.push_back(code);
    const auto* i32 = static_cast<const std::int32_t*>(in);
    switch (code) {
      case controller::kIoctlUsbInit: return Io::Done;
      case controller::kIoctlGetVr: *static_cast<float*>(out) = vr[i32[0]]; return Io::Done;
      case controller::kIoctlSetVr: {
        float v;
        std::memcpy(&v, i32 + 1, 4);
        vr[i32[0]] = v;
        return Io::Done;
      }
      case controller::kIoctlGetTable: {
        auto* o = static_cast<float*>(out);
        for (int k = i32[0]; k <= i32[1]; ++k) {
          if ((k - i32[0] + 1) * 4 > static_cast<int>(outLen)) return Io::Failed;
          o[k - i32[0]] = k == 1025 ? static_cast<float>(base) : table[static_cast<std::size_t>(base + k)];
        }
        if (got) *got = outLen;
        return Io::Done;
      }
      case controller::kIoctlSetTable: {
        for (std::size_t r = 0; r < inLen / 8; ++r) {
          float v;
          std::memcpy(&v, i32 + 2 * r + 1, 4);
          const int loc = i32[2 * r];
          if (loc == 1024)
            base = static_cast<int>(v);
          else
            table[static_cast<std::size_t>(base + loc)] = v;
        }
        return Io::Done;
      }
    }
    return Io::Failed;
  }
  Io write(int, const std::uint8_t*, std::size_t len, std::size_t* done) override {
    std::lock_guard<std::mutex> g(m);
    writeBlocks.push_back(len);
    if (pendOnce) {
      pendOnce = false;
      pendingDone = static_cast<int>(len);
      return Io::Pending;
    }
    *done = len;
    return Io::Done;
  }
  Io read(int, std::uint8_t* buf, std::size_t len, std::size_t* done) override {
    std::lock_guard<std::mutex> g(m);
    const std::size_t n = std::min(len, toRead.size());
    std::memcpy(buf, toRead.data(), n);
    toRead.erase(0, n);
    *done = n;
    return Io::Done;
  }
  Io result(int, std::size_t* done) override {
    std::lock_guard<std::mutex> g(m);
    *done = static_cast<std::size_t>(pendingDone);
    return Io::Done;
  }
};

// What channel `ch` delivers until a byte `last` ends it (or 3 s pass).
inline std::string readUntil(controller::CController& c, int ch, char last) {
  std::string got;
  waitUntil([&] {
    std::uint8_t b[64];
    std::size_t len = sizeof b;
    c.read(ch, b, &len);
    return !got.append(reinterpret_cast<char*>(b), len).empty() && got.back() == last;
  }, 3000, 1);
  return got;
}

}  // namespace qel::test
