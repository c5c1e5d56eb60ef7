#pragma once
// The modem status and control lines of a serial port. Pseudo-terminals have none, so the
// serial link reaches them through this interface and tests put their own lines in its place.
namespace qel::links {

struct ModemStatus {
  bool cts = false;
  bool dsr = false;
};

class ModemLines {
 public:
  virtual ~ModemLines() = default;
  // False when the port's lines cannot be read.
  virtual bool read(int fd, ModemStatus& status) = 0;
  // Raises (true) or drops DTR and RTS; false when the port has no such lines.
  virtual bool set(int fd, bool dtr, bool rts) = 0;
};

// The lines of a real serial device (TIOCMGET / TIOCMSET).
class TtyModemLines final : public ModemLines {
 public:
  bool read(int fd, ModemStatus& status) override;
  bool set(int fd, bool dtr, bool rts) override;
  static TtyModemLines& instance();
};

}  // namespace qel::links
