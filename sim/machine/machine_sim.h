#pragma once
// Stand-ins for the cutting machine at the far end of the network and serial links.
//
// NetworkMachineSim is the machine's network controller on TCP: it answers the start request
// 01 01 with 01 01 (ready) or 01 00 (busy), takes the file bytes that follow, and answers the
// end request 01 02 with 01 02 once the stream has gone quiet after it. A file counts as
// received when the connection closes after an answered end request. It can be told to answer
// busy for a number of rounds, to close the connection after some file bytes, or to stay
// silent.
//
// SerialPeerSim is the machine's end of a serial line: a pseudo-terminal whose other end the
// link opens by path; it records every byte that arrives, keeps each send in a store folder, and
// can stop reading or send XOFF/XON.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "received_store.h"

namespace qel::sim {

using EventListener = std::function<void(const std::string& line)>;

// True for a dotted IPv4 address inside 127.0.0.0/8.
bool isLoopbackAddress(const std::string& address);

struct ReceivedFile {
  std::vector<std::uint8_t> data;
  std::string storedAs;  // path in the store folder, when one is set
};

class NetworkMachineSim {
 public:
  static constexpr int kDefaultPort = 3241;

  NetworkMachineSim();
  ~NetworkMachineSim();
  NetworkMachineSim(const NetworkMachineSim&) = delete;
  NetworkMachineSim& operator=(const NetworkMachineSim&) = delete;

  // Listens on a loopback address (port 0: any free port). False with a reason otherwise.
  bool start(const std::string& bindAddress, int port = kDefaultPort, std::string* error = nullptr);
  void stop();
  int port() const { return port_; }
  const std::string& address() const { return address_; }

  // Faults. Busy: the next n start requests are answered 01 00. Close: the connection is
  // dropped once this many file bytes have come in (negative: never). Silent: no answers.
  void setBusyRounds(int n) { busyRounds_ = n; }
  void setCloseAfterBytes(long long n) { closeAfter_ = n; }
  void setSilent(bool on) { silent_ = on; }
  // Quiet time after a trailing 01 02 before it is taken for the end request.
  void setQuietMs(int ms) { quietMs_ = ms; }
  // Folder where every received file is written (job_001.plt, ... after the highest number
  // already there); none when empty. Before start().
  void setStoreDir(const std::string& dir);
  void setListener(EventListener l);

  std::vector<ReceivedFile> files() const;
  int startRequests() const { return startRequests_; }
  int connections() const { return connections_; }
  int abortedFiles() const { return aborted_; }
  // Waits (real time) until at least n files have arrived.
  bool waitForFiles(std::size_t n, int timeoutMs) const;

 private:
  void run();
  struct Connection;
  void serve(int fd);
  bool takeRequests(Connection& c);  // false: the answer could not be sent
  void finishFile(Connection& c);
  void event(const std::string& line);

  int listenFd_ = -1;
  int wakeFds_[2] = {-1, -1};
  int port_ = 0;
  std::string address_;
  std::unique_ptr<ReceivedStore> store_;
  std::thread thread_;
  std::atomic<int> busyRounds_{0};
  std::atomic<long long> closeAfter_{-1};
  std::atomic<bool> silent_{false};
  std::atomic<int> quietMs_{30};
  std::atomic<int> startRequests_{0};
  std::atomic<int> connections_{0};
  std::atomic<int> aborted_{0};
  mutable std::mutex m_;
  mutable std::condition_variable cv_;
  std::vector<ReceivedFile> files_;
  EventListener listener_;
};

class SerialPeerSim {
 public:
  SerialPeerSim();
  ~SerialPeerSim();
  SerialPeerSim(const SerialPeerSim&) = delete;
  SerialPeerSim& operator=(const SerialPeerSim&) = delete;

  bool open(std::string* error = nullptr);
  void close();
  // The device path the link opens (/dev/pts/N).
  const std::string& path() const { return path_; }

  // While off, nothing is read: the line's buffers fill and the sender's writes stall.
  void setReading(bool on) { reading_ = on; }
  // Folder where the bytes of each send are kept as serial_001.plt, ...: a send ends when
  // nothing has arrived for quietMs (a serial line marks no file ends). None when empty.
  // Before open().
  void setStoreDir(const std::string& dir, int quietMs = 1000);
  // Sends one byte towards the link (0x13 XOFF, 0x11 XON).
  bool sendByte(std::uint8_t b);
  void setListener(EventListener l);

  std::vector<std::uint8_t> received() const;
  bool waitForBytes(std::size_t n, int timeoutMs) const;
  // Waits until nothing has arrived for quietMs; returns the count received.
  std::size_t settle(int quietMs) const;

 private:
  void run();
  void keepPending();  // reading thread

  int master_ = -1;
  int slave_ = -1;
  int wakeFds_[2] = {-1, -1};
  std::string path_;
  std::thread thread_;
  std::atomic<bool> reading_{true};
  mutable std::mutex m_;
  mutable std::condition_variable cv_;
  std::vector<std::uint8_t> received_;
  std::int64_t lastArrivalMs_ = 0;
  EventListener listener_;
  std::unique_ptr<ReceivedStore> store_;
  int storeQuietMs_ = 1000;
  std::string pending_;  // bytes of the send not yet kept (the reading thread's)
};

}  // namespace qel::sim
