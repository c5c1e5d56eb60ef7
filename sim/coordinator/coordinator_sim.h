#pragma once
// A simulated motion coordinator for tests and demos. It accepts Ethernet connections (the MPE
// stream on a chosen port, the REMOTE stream on 3240) and a serial line on a pseudo-terminal,
// speaks the multiplexed channels, and answers file downloads, program and project loading and
// the system software loader. Faults can be switched on to exercise the failure paths.
//
// Threads: listen*(), openPty() and stop() are called by the owner; each listening port has an
// accepting thread and each connection a serving thread, which calls the hooks. Faults and the
// records may be set and read from any thread (one mutex guards them).
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim_connection.h"

namespace qel::sim {

class CoordinatorSim {
 public:
  CoordinatorSim();
  ~CoordinatorSim();
  CoordinatorSim(const CoordinatorSim&) = delete;
  CoordinatorSim& operator=(const CoordinatorSim&) = delete;

  // Listens on address:mpePort (0 picks a free port) and, unless remotePort is −1, on
  // address:remotePort for REMOTE. Loopback addresses only.
  bool listenTcp(const std::string& address, int mpePort = 0, int remotePort = 3240);
  int mpePort() const { return mpePort_; }
  // Opens a pseudo-terminal whose master end the simulator serves; answers the slave path.
  std::string openPty();
  void stop();

  void setFaults(const CoordinatorFaults& f);
  CoordinatorFaults faults();
  // What REMOTE connections do with their bytes (echo by default).
  void setRemoteHandler(std::function<void(SimConnection&, const std::string&)> h);
  // Extra services on further ports (later: command line, control port).
  bool listenService(const std::string& address, int port,
                     std::function<void(SimConnection&, const std::string&)> handler, int* boundPort = nullptr);

  // Called with every completed download (any connection, any channel).
  void setDownloadHook(std::function<void(const SimDownload&)> hook);
  // Told, on the connection's thread, of every fault the simulator acts out ("dropped the
  // connection after 100 bytes of CUT.BAS") for a log.
  void setEventHook(std::function<void(const std::string&)> hook);
  void event(const std::string& line);
  void addDownload(const SimDownload& d);
  std::vector<SimDownload> downloads();
  std::vector<SimProgram> programs();
  std::vector<SimSection> sections();
  int systemLoadsFinished();
  std::string commandLines();  // every command line received, each ended by '\n'
  std::string channelBytes(int channel);  // every byte received on a channel
  bool anyMpe();
  // Waits (real time) until pred holds or timeoutMs passes.
  bool waitFor(const std::function<bool()>& pred, int timeoutMs = 5000);

 private:
  friend class SimConnection;
  void acceptLoop(int listenFd, int kind, std::function<void(SimConnection&, const std::string&)> handler);
  void serve(std::shared_ptr<SimConnection> c, std::function<void(SimConnection&, const std::string&)> handler);
  void record(const std::function<void()>& f) {
    std::lock_guard<std::mutex> g(mutex_);
    f();
  }

  std::mutex mutex_;
  CoordinatorFaults faults_;
  std::function<void(SimConnection&, const std::string&)> remoteHandler_;
  std::function<void(const SimDownload&)> downloadHook_;
  std::function<void(const std::string&)> eventHook_;
  std::vector<SimDownload> downloads_;
  std::vector<SimProgram> programs_;
  std::vector<SimSection> sections_;
  int systemLoads_ = 0;
  std::string commandLines_;
  std::map<int, std::string> channelBytes_;
  std::vector<std::shared_ptr<SimConnection>> connections_;
  std::vector<int> listenFds_;
  std::vector<std::thread> threads_;
  std::atomic<bool> stopping_{false};
  int mpePort_ = 0;
  int ptyMaster_ = -1;
};

}  // namespace qel::sim
