#pragma once
// Our control layer of the motion coordinator: the methods the coordinator's control offers,
// carried as command lines over one TCP connection to the coordinator's control port (3240).
// Each request line is answered by one line: "OK", "ERROR" or the value asked for. A download
// (method 76) sends the file as the controller file link does ("SD" header, escaped bytes,
// 0x03) and is good when the coordinator's CRC-16 of the bytes matches. Calls may come from
// two threads; one request and its answer are never interleaved with another.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace qel::links {

class CDMotionControl {
 public:
  static constexpr int kControlPort = 3240;
  CDMotionControl() = default;
  ~CDMotionControl();
  CDMotionControl(const CDMotionControl&) = delete;
  CDMotionControl& operator=(const CDMotionControl&) = delete;

  // 1: opens the connection of kind 2 (Ethernet) to the address on the given port.
  bool Open(short kind, short port);
  // 2: closes the connection.
  void Close(std::int32_t unused = 0);
  // 4: selects the base axes.
  bool Base(short count, const std::vector<short>& axes);
  // 5: absolute move of the given axes.
  bool MoveAbs(short count, const std::vector<short>& axes, const std::vector<double>& positions);
  // 21: sets an output.
  bool SetOp(short output, short value);
  // 22, 23: an axis parameter of the first base axis ("DPOS", "SPEED", "ACCEL", "DECEL").
  bool GetAxisParam(const std::string& name, double* value);
  bool SetAxisParam(const std::string& name, double value);
  // 37, 38: VR variables.
  bool GetVr(short number, double* value);
  bool SetVr(short number, double value);
  // 46: the coordinator's address, used by the next Open.
  void SetIP(const std::string& address);
  // 51: whether the connection to that port is open.
  bool IsOpen(std::int32_t port);
  // 76: downloads a file; the arguments after the path are the control's download options
  // ("1", 2, false, 0, true, 15 for a plot file) and are not used by our coordinator.
  bool Download(const std::string& path, std::int32_t a, const std::string& b, std::int32_t c, bool d,
                std::int32_t e, bool f, std::int32_t g);
  // The name the next Download gives the file on the coordinator (machine_name.h); empty: the
  // path's own name, cut to the header's size.
  void setDownloadName(std::string name);
  // 77: inputs first..last as bits of *value (first is bit 0).
  bool GetIn(short first, short last, std::int32_t* value);

  // How long an answer may take (a download's CRC: ten times as long).
  void setReplyTimeoutMs(int ms) { replyTimeoutMs_ = ms; }
  void setConnectTimeoutMs(int ms) { connectTimeoutMs_ = ms; }
  std::string address() const;

 private:
  // Sends one request line and reads its answer line; false on any socket failure.
  bool request(const std::string& line, std::string* answer);
  bool requestOk(const std::string& line);
  bool requestValue(const std::string& line, double* value);
  bool readLine(std::string* line, int timeoutMs);

  mutable std::mutex mutex_;
  std::string address_;
  int fd_ = -1;
  int port_ = 0;
  std::string pending_;  // bytes received after the last answer line
  std::string downloadName_;
  int replyTimeoutMs_ = 5000;
  int connectTimeoutMs_ = 3000;
};

}  // namespace qel::links
