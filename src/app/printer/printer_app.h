#pragma once
// The printer application: every cutter (home folder) an IPP Everywhere printer of one printer
// system, with the framework's web interface, its state kept in a state folder across restarts.
//
// Threads: made, started and stopped on the Qt thread that runs the cutters' queues; the
// framework serves clients and runs jobs on threads of its own (see Cutter).
#include <QLockFile>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <pappl/pappl.h>

#include "app/printer/cutter.h"
#include "app/printer/printer_names.h"
#include "links/transfer_link.h"
#include "platform/clock.h"

namespace qel::app::printer {

struct PrinterAppOptions {
  ListenAddress listen;
  std::vector<std::string> homes;
  std::string stateDir;     // state file and spool folder
  std::string authService;  // PAM service for administration; empty: the kept password, if any
  std::string logFile = "-";  // "-": standard error
  pappl_loglevel_t logLevel = PAPPL_LOGLEVEL_WARN;
  std::int64_t maxJobBytes = std::int64_t(1) << 30;
  platform::Clock* clock = nullptr;  // the queues' waits; the system clock when null
  int tickMs = 600;
  links::LinkEnvironment links;
};

class PrinterApp {
 public:
  explicit PrinterApp(PrinterAppOptions options);
  ~PrinterApp();

  // Takes every home (refusing one that another queue runs), creates or reloads the printers
  // and starts listening. False with the reason when it cannot.
  bool start(std::string* error);
  // Stops cleanly: no new job starts, the queues stop (a send under way is stopped and its job
  // aborted with the reason), the state is saved; jobs not yet started stay queued for the next
  // start. False when such jobs remain: the framework then still runs, and the caller ends the
  // process (the state is saved). Safe to call more than once.
  bool stop();

  const std::vector<std::unique_ptr<Cutter>>& cutters() const { return cutters_; }
  Cutter* cutterForUri(const char* deviceUri) const;
  pappl_system_t* system() const { return system_; }
  int port() const { return options_.listen.port; }

  // The framework's state file in a state folder.
  static std::string stateFileOf(const std::string& stateDir);

 private:
  bool takeHomes(std::string* error);
  void createPrinters();
  bool saveState();
  static bool onSave(pappl_system_t* system, void* data);

  PrinterAppOptions options_;
  std::vector<std::unique_ptr<QLockFile>> locks_;
  std::vector<std::unique_ptr<Cutter>> cutters_;
  std::vector<std::unique_ptr<intake::Translator>> translators_;
  pappl_system_t* system_ = nullptr;
  std::thread runner_;
  bool stopped_ = false;
  std::string adminPassword_;  // the kept hash, when administration asks for it
};

}  // namespace qel::app::printer
