#pragma once
// A simulated motion coordinator for tests and demos. It accepts Ethernet connections (the MPE
// stream on a chosen port, the REMOTE stream on 3240) and a serial line on a pseudo-terminal,
// speaks the multiplexed channels, and answers file downloads, program and project loading and
// the system software loader. Faults can be switched on to exercise the failure paths.
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qel::sim {

struct CoordinatorFaults {
  bool silent = false;               // answer nothing at all
  bool downloadAbort = false;        // refuse downloads with "ABORT"
  bool downloadWrongCrc = false;     // answer a CRC that does not match
  bool downloadSilent = false;       // no reply after a download
  long dropAfterBytes = -1;          // close the connection after this many download bytes
  long abortAfterBytes = -1;         // answer "ABORT" after this many download bytes (mid-file)
  bool commandSilent = false;        // the command line and control port answer nothing
  bool noiseOnOtherChannels = false; // a wrong CRC reply on the other data channels first
  bool wrongLoadEcho = false;        // garble the LOAD_PROJECT echo
  bool neverReady = false;           // never send 0x05 after LOAD_PROJECT
  bool refuseHeader = false;         // 0x15 after a program header
  bool refuseFile = false;           // 0x15 after a program's data
  bool wrongKeyEcho = false;         // garble the echo of the project key
  bool wrongLoadSystemPrompt = false;
  bool wrongConfirm = false;         // answer "Y\r" with a different text
  long badEchoAt = -1;               // system loader: corrupt the echo of this data byte (0-based)
};

struct SimDownload {
  int channel = 0;
  std::string name;
  std::string data;  // unescaped
};

struct SimProgram {
  std::string entry;  // name 0x1C type
  std::string data;
  bool project = false;
};

struct SimSection {
  std::uint32_t size = 0;
  std::uint32_t address = 0;
  std::vector<std::uint32_t> words;
};

class CoordinatorSim;

// One connected byte stream (socket or pseudo-terminal master).
class SimConnection {
 public:
  SimConnection(CoordinatorSim& sim, int fd, bool remote);
  ~SimConnection();
  void send(int channel, const std::string& bytes);  // multiplexed when MPE mode is on
  void sendRaw(const std::string& bytes);
  void feed(const std::uint8_t* data, std::size_t len);
  void drop();
  bool mpe() const { return mpe_; }
  int fd() const { return fd_.load(); }

 private:
  struct Chan {
    enum State { Line, Header, Download, Program, Key, Confirm } state = Line;
    std::string line;
    std::string header;
    std::string data;
    bool escape = false;
    // program loading
    int sub = 0;  // 0 idle, 1 header, 2 header crc, 3 wait STX, 4 data, 5 data crc
    std::string entry, crc, body;
    bool project = false;
    CoordinatorFaults faults;  // taken when a download starts
    bool aborted = false;
  };
  void byte(int channel, std::uint8_t b);
  void lineByte(int channel, Chan& c, std::uint8_t b);
  void command(int channel, const std::string& line);
  void programByte(int channel, Chan& c, std::uint8_t b);
  void downloadByte(int channel, Chan& c, std::uint8_t b);
  void loaderByte(std::uint8_t b);

  CoordinatorSim& sim_;
  std::atomic<int> fd_;  // read by the serving thread while another may drop the connection
  bool remote_;
  std::mutex writeMutex_;
  bool mpe_ = false;
  bool escapePending_ = false;
  int inChan_ = 0;
  int outChan_ = 0;
  std::map<int, Chan> chans_;
  int programChannel_ = 0;
  // system loader
  bool loader_ = false;
  std::string loaderWord_;
  int loaderStep_ = 0;  // 0 size, 1 address, 2 data
  SimSection section_;
  long loaderDataBytes_ = 0;
  long downloadBytes_ = 0;
};

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
