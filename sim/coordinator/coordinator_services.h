#pragma once
// The whole simulated coordinator on one loopback address: the multiplexed stream (TCP 3241),
// the control port (TCP 3240, our control layer's command lines and file downloads), the
// command line (TCP 23) and optionally a serial line on a pseudo-terminal, all over one
// machine model. Start it with startCoordinatorServices; dropping the handle stops it.
#include <functional>
#include <memory>
#include <string>

#include "coordinator_model.h"
#include "coordinator_sim.h"

namespace qel::sim {

struct CoordinatorServiceOptions {
  int mpePort = 3241;      // 0 picks a free port
  int controlPort = 3240;  // −1: no control port
  int commandPort = 23;    // −1: no command line
  bool pty = false;        // also serve a serial line on a pseudo-terminal
  int jobMs = 300;         // how long the coordinator's program runs one job
  // Told of every file download the coordinator accepted (for logs).
  std::function<void(const SimDownload&)> downloaded;
  // Told of every fault acted out (for logs).
  std::function<void(const std::string&)> event;
};

class CoordinatorServices {
 public:
  CoordinatorServices();
  ~CoordinatorServices();
  CoordinatorServices(const CoordinatorServices&) = delete;
  CoordinatorServices& operator=(const CoordinatorServices&) = delete;

  // Listens on a loopback address; false (with what failed in error()) otherwise.
  bool start(const std::string& bindAddress, const CoordinatorServiceOptions& options);
  void stop();

  CoordinatorSim& sim() { return sim_; }
  CoordinatorModel& model() { return model_; }
  const std::string& address() const { return address_; }
  int mpePort() const { return sim_.mpePort(); }
  int controlPort() const { return controlPort_; }
  int commandPort() const { return commandPort_; }
  const std::string& ptyPath() const { return ptyPath_; }
  const std::string& error() const { return error_; }
  // Every byte received on the command line, in order.
  std::string commandLineBytes();
  // Every control request line received, each followed by '\n'.
  std::string controlLines();
  // Closes every open command-line and control connection (a cable pulled).
  void dropClients();
  // Switches one fault by the name the command line and the control file use (fault_switches.h):
  // value 0/1 for on/off, a count or −1 (off) for counted ones. Any thread; a download takes the
  // faults in effect when it begins. False for a name the coordinator does not know.
  bool setFault(const std::string& name, long long value);

 private:
  struct LineState;
  void commandLineData(SimConnection& c, const std::string& bytes);
  void controlData(SimConnection& c, const std::string& bytes);
  LineState& state(SimConnection& c);

  CoordinatorSim sim_;
  CoordinatorModel model_;
  std::string address_;
  int controlPort_ = -1;
  int commandPort_ = -1;
  std::string ptyPath_;
  std::string error_;
  std::mutex mutex_;
  std::map<SimConnection*, std::unique_ptr<LineState>> states_;
  std::vector<SimConnection*> clients_;
  std::string commandBytes_;
  std::string controlLines_;
  std::function<void(const SimDownload&)> downloaded_;  // set before listening
};

// Starts the simulated coordinator on bindAddress (127.x.y.z only); nullptr and a message in
// *error when a port cannot be bound.
std::unique_ptr<CoordinatorServices> startCoordinatorServices(const std::string& bindAddress,
                                                              const CoordinatorServiceOptions& options = {},
                                                              std::string* error = nullptr);

}  // namespace qel::sim
