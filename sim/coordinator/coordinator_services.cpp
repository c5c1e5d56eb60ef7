#include "coordinator_services.h"

#include "sim_crc.h"

namespace qel::sim {

namespace {
constexpr char kSoh = 0x01, kStx = 0x02, kEtx = 0x03;
}  // namespace

struct CoordinatorServices::LineState {
  std::string line;
  bool lastCr = false;
  // control-port download
  enum { Line, Header, Body } mode = Line;
  std::string header, data;
  bool escape = false;
  long bytes = 0;
  bool aborted = false;
  CoordinatorFaults faults;
};

CoordinatorServices::CoordinatorServices() {
  sim_.setDownloadHook([this](const SimDownload& d) {
    model_.fileDownloaded();
    if (downloaded_) downloaded_(d);
  });
}

CoordinatorServices::~CoordinatorServices() { stop(); }

void CoordinatorServices::stop() { sim_.stop(); }

CoordinatorServices::LineState& CoordinatorServices::state(SimConnection& c) {
  std::lock_guard<std::mutex> g(mutex_);
  auto& s = states_[&c];
  if (!s) {
    s = std::make_unique<LineState>();
    clients_.push_back(&c);
  }
  return *s;
}

bool CoordinatorServices::start(const std::string& bindAddress, const CoordinatorServiceOptions& o) {
  address_ = bindAddress;
  downloaded_ = o.downloaded;
  model_.setJobMs(o.jobMs);
  sim_.setEventHook(o.event);
  if (o.controlPort >= 0)
    sim_.setRemoteHandler([this](SimConnection& c, const std::string& b) { controlData(c, b); });
  if (!sim_.listenTcp(bindAddress, o.mpePort, o.controlPort)) {
    error_ = "cannot listen on " + bindAddress + " ports " + std::to_string(o.mpePort) + " and " +
             std::to_string(o.controlPort) + " (loopback addresses only, ports free?)";
    return false;
  }
  controlPort_ = o.controlPort;
  if (o.commandPort >= 0) {
    if (!sim_.listenService(
            bindAddress, o.commandPort, [this](SimConnection& c, const std::string& b) { commandLineData(c, b); },
            &commandPort_)) {
      error_ = "cannot listen on " + bindAddress + " port " + std::to_string(o.commandPort) +
               " (a port below 1024 needs root or CAP_NET_BIND_SERVICE)";
      return false;
    }
  }
  if (o.pty) {
    ptyPath_ = sim_.openPty();
    if (ptyPath_.empty()) {
      error_ = "cannot open a pseudo-terminal";
      return false;
    }
  }
  return true;
}

std::string CoordinatorServices::commandLineBytes() {
  std::lock_guard<std::mutex> g(mutex_);
  return commandBytes_;
}

std::string CoordinatorServices::controlLines() {
  std::lock_guard<std::mutex> g(mutex_);
  return controlLines_;
}

void CoordinatorServices::dropClients() {
  std::vector<SimConnection*> list;
  {
    std::lock_guard<std::mutex> g(mutex_);
    list = clients_;
  }
  for (SimConnection* c : list) c->drop();
}

bool CoordinatorServices::setFault(const std::string& name, long long value) {
  if (name == "busy") {
    model_.setBusyPolls(value < 0 ? 0 : static_cast<int>(value));
    return true;
  }
  CoordinatorFaults f = sim_.faults();
  if (!setCoordinatorFault(f, name, value)) return false;
  sim_.setFaults(f);
  return true;
}

// The command line: every byte is echoed back at the end of its line, a query's value follows
// on a line of its own, and the prompt ">>" ends every answer.
void CoordinatorServices::commandLineData(SimConnection& c, const std::string& bytes) {
  LineState& st = state(c);
  {
    std::lock_guard<std::mutex> g(mutex_);
    commandBytes_ += bytes;
  }
  for (char ch : bytes) {
    if (ch == '\n' && st.lastCr) {
      st.lastCr = false;
      continue;
    }
    st.lastCr = ch == '\r';
    if (ch != '\r' && ch != '\n') {
      st.line += ch;
      continue;
    }
    const std::string line = st.line;
    st.line.clear();
    const CoordinatorFaults f = sim_.faults();
    const CoordinatorModel::Reply r = model_.execute(line);
    if (f.silent || f.commandSilent) continue;
    std::string out = line + "\r\n";
    if (r.query) out += r.value + "\r\n";
    out += ">>";
    c.sendRaw(out);
  }
}

// The control port: one request line, one answer line ("OK", "ERROR" or the value); a line
// beginning with 0x01 is a file download answered like the multiplexed stream's.
void CoordinatorServices::controlData(SimConnection& c, const std::string& bytes) {
  LineState& st = state(c);
  for (char ch : bytes) {
    if (st.mode == LineState::Header) {
      if (ch == kStx) st.mode = LineState::Body;
      else st.header += ch;
      continue;
    }
    if (st.mode == LineState::Body) {
      const CoordinatorFaults& f = st.faults;
      if (f.dropAfterBytes >= 0 && st.bytes >= f.dropAfterBytes) {
        sim_.event("dropped the control connection after " + std::to_string(st.bytes) + " bytes of " + st.header);
        c.drop();
        st.mode = LineState::Line;
        return;
      }
      if (f.abortAfterBytes >= 0 && st.bytes >= f.abortAfterBytes && !st.aborted) {
        st.aborted = true;
        sim_.event("answered ABORT after " + std::to_string(st.bytes) + " bytes of " + st.header);
        c.sendRaw(std::string(1, kStx) + "ABORT" + kEtx);
      }
      ++st.bytes;
      if (st.escape) {
        st.escape = false;
        st.data += ch == 's' ? kStx : ch == 'e' ? kEtx : ch;
      } else if (ch == '\\') {
        st.escape = true;
      } else if (ch != kEtx) {
        st.data += ch;
      } else {
        st.mode = LineState::Line;
        const std::string name = st.header.rfind("SD:", 0) == 0 ? st.header.substr(3) : st.header;
        const std::uint16_t crc = simCrc16(st.data);
        sim_.addDownload({0, name, st.data});
        st.data.clear();
        if (st.aborted) continue;
        if (f.downloadSilent || f.silent || f.commandSilent) {
          sim_.event("answered nothing to " + name);
          continue;
        }
        if (f.downloadAbort) {
          sim_.event("answered ABORT to " + name);
          c.sendRaw(std::string(1, kStx) + "ABORT" + kEtx);
          continue;
        }
        if (f.downloadWrongCrc) sim_.event("answered a wrong CRC to " + name);
        c.sendRaw(simCrcReply(crc, f.downloadWrongCrc));
      }
      continue;
    }
    if (ch == kSoh && st.line.empty()) {
      st.mode = LineState::Header;
      st.header.clear();
      st.data.clear();
      st.escape = false;
      st.bytes = 0;
      st.aborted = false;
      st.faults = sim_.faults();
      continue;
    }
    if (ch != '\r' && ch != '\n') {
      st.line += ch;
      continue;
    }
    if (st.line.empty()) continue;
    const std::string line = st.line;
    st.line.clear();
    {
      std::lock_guard<std::mutex> g(mutex_);
      controlLines_ += line + "\n";
    }
    const CoordinatorFaults f = sim_.faults();
    std::string answer;
    if (line == "?open") {
      answer = "1";
    } else {
      const CoordinatorModel::Reply r = model_.execute(line);
      answer = !r.ok ? "ERROR" : r.query ? r.value : "OK";
    }
    if (f.silent || f.commandSilent) continue;
    c.sendRaw(answer + "\n");
  }
}

std::unique_ptr<CoordinatorServices> startCoordinatorServices(const std::string& bindAddress,
                                                              const CoordinatorServiceOptions& options,
                                                              std::string* error) {
  auto s = std::make_unique<CoordinatorServices>();
  if (!s->start(bindAddress, options)) {
    if (error) *error = s->error();
    return nullptr;
  }
  return s;
}

}  // namespace qel::sim
