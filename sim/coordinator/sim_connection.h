#pragma once
// A simulated coordinator's view of one connection: the faults it can be told to produce, what
// it records of the programs, files and system software it receives, and the connection that
// speaks the coordinator's protocols over one byte stream.
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
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

// Sets the field of faults that the fault switch of this name stands for (the names of
// fault_switches.h; "busy" belongs to the machine model, not here). False for another name.
bool setCoordinatorFault(CoordinatorFaults& faults, const std::string& name, long long value);

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

// One connected byte stream (socket or pseudo-terminal master) and the protocols spoken on it:
// the multiplexed channels with their command lines (sim_channels.cpp), file downloads
// (sim_download.cpp), program and project loading (sim_program_load.cpp) and the system
// software loader (sim_system_loader.cpp).
//
// Threads: one serving thread reads the stream and calls feed(); when it has read for the
// last time it calls release(), which closes the descriptor. Any thread may send(), sendRaw(),
// drop() and read mpe(): drop() only shuts the stream down, so the descriptor is never closed
// (and its number never handed to a new connection) while the serving thread still uses it.
class SimConnection {
 public:
  SimConnection(CoordinatorSim& sim, int fd, bool remote);
  ~SimConnection();
  SimConnection(const SimConnection&) = delete;
  SimConnection& operator=(const SimConnection&) = delete;

  void send(int channel, const std::string& bytes);  // multiplexed when MPE mode is on
  void sendRaw(const std::string& bytes);
  void feed(const std::uint8_t* data, std::size_t len);  // serving thread
  // Ends the connection (a cable pulled): nothing more is sent, the serving thread stops.
  void drop();
  bool dropped() const { return dropped_.load(); }
  bool mpe() const { return mpe_.load(); }
  // The descriptor the serving thread reads; −1 once released.
  int fd() const { return fd_.load(); }
  // Serving thread, after its last read: a download that never got its end of file is dropped
  // (and said so); a part of a file is never taken for a whole one.
  void ended();
  // Serving thread, after its last read: closes the descriptor.
  void release();

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
  std::atomic<int> fd_;
  std::atomic<bool> dropped_{false};
  bool remote_;
  std::mutex writeMutex_;  // one writer at a time; held while the descriptor is closed
  std::atomic<bool> mpe_{false};  // set by the serving thread, read by any
  // Everything below belongs to the serving thread.
  bool escapePending_ = false;
  int inChan_ = 0;
  int outChan_ = 0;  // guarded by writeMutex_
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

}  // namespace qel::sim
