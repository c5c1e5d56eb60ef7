#pragma once
// Names that the printer application makes from settings and from network input: the cutter's
// printer name, the file name of a network job in the queue's job folder, the listening address.
// Nothing from the network becomes a path: names are reduced to plain characters.
#include <optional>
#include <string>
#include <string_view>

namespace qel::config {
class CIniConfig;
}

namespace qel::app::printer {

// The printer name of a home: its Printer_Name, else its link and address ("QEL-DSP-127.0.0.1",
// "Serial-COM1", "Parallel-LPT1"), reduced by printerNameOf.
std::string printerNameFor(const config::CIniConfig& cfg);

// A name IPP clients and the printing system take as a queue name: letters, digits, '.', '_'
// and '-' (anything else becomes '-', runs of them one), at most 63 characters, never empty.
std::string printerNameOf(std::string_view wanted);

// "<name>-job<id><extension>" from a job name of the network: its last path element without
// extension, reduced to letters, digits, '-' and '_' (others become '_'), at most 40 characters,
// "job" when nothing is left. Never a path, never a hidden file.
std::string jobFileName(int jobId, std::string_view jobName, std::string_view extension);

// --listen ADDR:PORT ("localhost:8631", "127.0.0.2:8631", "0.0.0.0:8631", "[::1]:8631",
// "*:8631"): the host for the framework's listeners (empty: every address) and the port.
struct ListenAddress {
  std::string host;
  int port = 0;
  bool loopback = false;  // only this computer can connect
};
std::optional<ListenAddress> parseListen(std::string_view text, std::string* error);

}  // namespace qel::app::printer
