// File download on the simulated coordinator: SOH, the file's name, STX, the body with STX, ETX
// and the backslash escaped as "\s", "\e" and "\\", then ETX; the coordinator answers with the
// CRC of what it took ("CRC=hex" between STX and ETX) or with ABORT.
#include "coordinator_sim.h"
#include "sim_crc.h"

namespace qel::sim {

void SimConnection::downloadByte(int channel, Chan& c, std::uint8_t b) {
  if (c.state == Chan::Header) {
    if (b == 0x02) {
      c.state = Chan::Download;
    } else {
      c.header += static_cast<char>(b);
    }
    return;
  }
  const CoordinatorFaults& f = c.faults;
  if (f.dropAfterBytes >= 0 && downloadBytes_ >= f.dropAfterBytes) {
    if (!dropped()) sim_.event("dropped the connection after " + std::to_string(downloadBytes_) + " bytes of " + c.header);
    drop();
    return;
  }
  if (f.abortAfterBytes >= 0 && downloadBytes_ >= f.abortAfterBytes && !c.aborted) {
    c.aborted = true;
    sim_.event("answered ABORT after " + std::to_string(downloadBytes_) + " bytes of " + c.header);
    send(channel, "\x02" "ABORT\x03");
  }
  ++downloadBytes_;
  if (c.escape) {
    c.escape = false;
    c.data += b == 's' ? '\x02' : b == 'e' ? '\x03' : static_cast<char>(b);
    return;
  }
  if (b == 0x5C) {
    c.escape = true;
    return;
  }
  if (b != 0x03) {
    c.data += static_cast<char>(b);
    return;
  }
  c.state = Chan::Line;
  const std::string name = c.header.rfind("SD:", 0) == 0 ? c.header.substr(3) : c.header;
  const std::uint16_t crc = simCrc16(c.data);
  if (c.aborted) {
    // The coordinator refused this file part-way: what came of it is not kept.
    sim_.event("discarded the aborted download of " + name + " (" + std::to_string(c.data.size()) + " bytes)");
    c.data.clear();
    c.data.shrink_to_fit();
    return;
  }
  sim_.addDownload({channel, name, c.data});
  c.data.clear();
  c.data.shrink_to_fit();
  if (f.downloadSilent) {
    sim_.event("answered nothing to " + name);
    return;
  }
  if (f.noiseOnOtherChannels && mpe_) {
    for (int other : {0, 5, 6, 7})
      if (other != channel) send(other, "\x02" "CRC=0\x03");
  }
  if (f.downloadAbort) {
    sim_.event("answered ABORT to " + name);
    send(channel, "\x02" "ABORT\x03");
    return;
  }
  if (f.downloadWrongCrc) sim_.event("answered a wrong CRC to " + name);
  send(channel, simCrcReply(crc, f.downloadWrongCrc));
}

void SimConnection::ended() {
  for (auto& [channel, c] : chans_) {
    if (c.state != Chan::Header && c.state != Chan::Download) continue;
    const std::string name = c.header.rfind("SD:", 0) == 0 ? c.header.substr(3) : c.header;
    sim_.event("discarded an unfinished download of " + name + " on channel " + std::to_string(channel) + " (" +
               std::to_string(c.data.size()) + " bytes, no end of file)");
    c.state = Chan::Line;
    c.data.clear();
  }
}

}  // namespace qel::sim
