// Program and project loading on the simulated coordinator: after LOAD_PROJECT the host sends
// each program as a header (name 0x1C type) and a body, each closed by its CRC in three
// printable characters; the coordinator answers ACK or NAK to each, and EOT ends the project.
#include "coordinator_sim.h"
#include "sim_crc.h"

namespace qel::sim {

void SimConnection::programByte(int channel, Chan& c, std::uint8_t b) {
  const CoordinatorFaults f = sim_.faults();
  switch (c.sub) {
    case 0:
      if (b == 0x08) c.project = true;
      if (b == 0x01) {
        c.sub = 1;
        c.entry.clear();
      }
      if (b == 0x04) c.state = Chan::Line;
      return;
    case 1:
      if (b == 0x03) {
        c.sub = 2;
        c.crc.clear();
      } else {
        c.entry += static_cast<char>(b);
      }
      return;
    case 2:
      c.crc += static_cast<char>(b);
      if (c.crc.size() == 3) c.sub = 3;
      return;
    case 3:
      if (b != 0x02) return;
      if (f.refuseHeader || c.crc != simCrcText(simCrc16(c.entry))) {
        send(channel, "\x15");
        c.state = Chan::Line;
        return;
      }
      c.sub = 4;
      c.body.clear();
      send(channel, "\x06");
      return;
    case 4:
      if (b == 0x03) {
        c.sub = 5;
        c.crc.clear();
      } else {
        c.body += static_cast<char>(b);
      }
      return;
    case 5:
      c.crc += static_cast<char>(b);
      if (c.crc.size() < 3) return;
      if (f.refuseFile || c.crc != simCrcText(simCrc16(c.body))) {
        send(channel, "\x15");
        c.state = Chan::Line;
        return;
      }
      sim_.record([&] { sim_.programs_.push_back({c.entry, c.body, c.project}); });
      c.sub = 0;
      send(channel, "\x06");
      return;
  }
}

}  // namespace qel::sim
