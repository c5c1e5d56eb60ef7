// qelcut printer-app: every cutter (home folder) a network printer. Runs until SIGINT or SIGTERM,
// which stop it cleanly; each queue's events go to standard output.
#include <QCoreApplication>
#include <QSocketNotifier>

#include <signal.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include "app/command.h"
#include "app/log_line.h"
#include "app/printer/admin_password.h"
#include "app/printer/framework_fixes.h"
#include "app/printer/printer_app.h"
#include "app/scaled_clock.h"
#include "platform/home.h"

namespace {

using qel::app::printer::PrinterApp;
using qel::app::printer::PrinterAppOptions;

using qel::app::printLine;

std::string defaultStateDir() {
  if (const char* s = std::getenv("XDG_STATE_HOME"); s && *s == '/') return std::string(s) + "/qelcut/printer-app";
  if (const char* h = std::getenv("HOME"); h && *h) return std::string(h) + "/.local/state/qelcut/printer-app";
  return {};
}

// One line from standard input, not echoed when it is a terminal.
std::string readPassword() {
  termios old {};
  const bool tty = ::isatty(0) && ::tcgetattr(0, &old) == 0;
  if (tty) {
    std::fprintf(stderr, "Administration password (empty: none): ");
    termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(0, TCSANOW, &quiet);
  }
  std::string line;
  std::getline(std::cin, line);
  if (tty) {
    ::tcsetattr(0, TCSANOW, &old);
    std::fprintf(stderr, "\n");
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

bool parseLogLevel(const std::string& text, pappl_loglevel_t& level) {
  const struct {
    const char* name;
    pappl_loglevel_t level;
  } levels[] = {{"debug", PAPPL_LOGLEVEL_DEBUG}, {"info", PAPPL_LOGLEVEL_INFO}, {"warn", PAPPL_LOGLEVEL_WARN},
                {"error", PAPPL_LOGLEVEL_ERROR}, {"fatal", PAPPL_LOGLEVEL_FATAL}};
  for (const auto& l : levels)
    if (text == l.name) return level = l.level, true;
  return false;
}

int usageError(const std::string& why) {
  std::fprintf(stderr, "qelcut printer-app: %s (see 'qelcut printer-app --help')\n", why.c_str());
  return 2;
}

// The command line as given, before any of it is checked.
struct PrinterAppArgs {
  bool setPassword = false;
  std::optional<std::string> listen, state, auth, log, logLevel, maxMb, scaleText, lp;
  std::vector<std::string> homes;
};

int takePrinterAppArgs(std::vector<std::string> args, PrinterAppArgs* a) {
  bool missing = false;
  auto option = [&](const char* name) {
    bool m = false;
    auto value = qel::app::takeOption(args, name, &m);
    missing |= m;
    return value;
  };
  a->setPassword = qel::app::takeFlag(args, "--set-password");
  a->listen = option("--listen");
  while (auto h = option("--home")) a->homes.push_back(*h);
  a->state = option("--state");
  a->auth = option("--auth-service");
  a->log = option("--log");
  a->logLevel = option("--log-level");
  a->maxMb = option("--max-job-mb");
  a->scaleText = option("--time-scale");
  a->lp = option("--lp-device");
  if (missing) return usageError("an option is missing its value");
  if (!args.empty()) return usageError("unexpected argument '" + args[0] + "'");
  return 0;
}

// What serving needs: where to listen and who may administer, logging, limits, the homes.
int servingOptions(const PrinterAppArgs& a, PrinterAppOptions* o, double* scale) {
  std::string error;
  auto address = qel::app::printer::parseListen(a.listen ? *a.listen : "localhost:8631", &error);
  if (!address) return usageError(error);
  o->listen = *address;
  if (a.auth) o->authService = *a.auth;
  if (!o->listen.loopback && o->authService.empty() && !qel::app::printer::readAdminPassword(o->stateDir))
    return usageError("listening beyond this computer needs administration to be authenticated: give --auth-service "
                      "SERVICE (PAM), or set a password first with 'qelcut printer-app --set-password'");
  if (a.log) o->logFile = *a.log;
  if (a.logLevel && !parseLogLevel(*a.logLevel, o->logLevel))
    return usageError("--log-level is one of debug, info, warn, error, fatal");
  if (a.maxMb) {
    char* end = nullptr;
    const long long mb = std::strtoll(a.maxMb->c_str(), &end, 10);
    if (end == a.maxMb->c_str() || *end || mb < 1 || mb > 1024 * 1024)
      return usageError("--max-job-mb wants a number from 1 to 1048576");
    o->maxJobBytes = mb * 1024 * 1024;
  }
  if (a.scaleText && !qel::app::parseTimeScale(*a.scaleText, *scale))
    return usageError("--time-scale wants a number above 0 and at most 100");
  if (a.lp) o->links.parallelDevicePattern = *a.lp;
  if (a.homes.empty()) o->homes.push_back(qel::platform::resolveHome(std::nullopt));
  for (const std::string& h : a.homes) o->homes.push_back(qel::platform::resolveHome(h));
  return 0;
}

// Each cutter's log lines, tagged with its name, and the addresses it is reached at.
void announceCutters(PrinterApp& printers, const PrinterAppOptions& o) {
  const QString host = QString::fromStdString(o.listen.host.empty() ? "HOST" : o.listen.host);
  for (const auto& c : printers.cutters()) {
    const QString tag = QStringLiteral("[%1] ").arg(QString::fromStdString(c->settings().name));
    QObject::connect(&c->queue(), &qel::intake::CSendQueue::logLine, [tag](const QString& l) { printLine(tag + l); });
    QObject::connect(c.get(), &qel::app::printer::Cutter::logLine, [tag](const QString& l) { printLine(tag + l); });
    QObject::connect(&c->queue(), &qel::intake::CSendQueue::messageBox,
                     [tag](const QString& t) { printLine(tag + QStringLiteral("message: ") + t); });
    printLine(QStringLiteral("printer %1 for %2: ipp://%3:%4/ipp/print/%1")
                  .arg(QString::fromStdString(c->settings().name), QString::fromStdString(c->settings().home), host)
                  .arg(o.listen.port));
  }
  printLine(QStringLiteral("web page: http://%1:%2/").arg(host).arg(o.listen.port));
}

int runPrinterApp(const std::vector<std::string>& argsIn) {
  // SIGINT and SIGTERM are read from a descriptor on the Qt thread; blocked before any thread
  // starts, so that the framework's own handlers never see them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  PrinterAppArgs a;
  if (const int status = takePrinterAppArgs(argsIn, &a); status != 0) return status;
  PrinterAppOptions o;
  o.stateDir = a.state ? *a.state : defaultStateDir();
  if (o.stateDir.empty()) return usageError("no state folder: give --state DIR");
  std::string error;
  if (a.setPassword) {
    if (!qel::app::printer::writeAdminPassword(o.stateDir, readPassword(), &error)) {
      std::fprintf(stderr, "qelcut printer-app: %s\n", error.c_str());
      return 1;
    }
    std::printf("The administration password of %s is set.\n", o.stateDir.c_str());
    return 0;
  }
  double scale = 1.0;
  if (const int status = servingOptions(a, &o, &scale); status != 0) return status;

  static int argc = 1;
  static char name[] = "qelcut";
  static char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  // Named in the home folders' locks, so that a window refused by one says who holds it.
  QCoreApplication::setApplicationName(QStringLiteral("qelcut printer-app"));
  qel::app::ScaledClock clock(scale);
  o.clock = &clock;
  o.tickMs = std::max(1, static_cast<int>(std::lround(600 * scale)));

  // An upload is ended once it outgrows the limit (with room for the request's attributes).
  qel::app::printer::limitDocuments(o.maxJobBytes + 64 * 1024);
  PrinterApp printers(o);
  if (!printers.start(&error)) {
    std::fprintf(stderr, "qelcut printer-app: %s\n", error.c_str());
    return 1;
  }
  announceCutters(printers, o);

  const int sfd = ::signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);
  QSocketNotifier notifier(sfd, QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
    signalfd_siginfo info {};
    (void)!::read(sfd, &info, sizeof info);
    printLine(QStringLiteral("stopping"));
    app.quit();
  });
  const int rc = app.exec();
  const bool ended = printers.stop();
  ::close(sfd);
  if (!ended) {
    printLine(QStringLiteral("stopped; jobs not yet started are kept for the next start"));
    std::fflush(nullptr);
    ::_exit(rc);
  }
  printLine(QStringLiteral("stopped"));
  return rc;
}

const qel::app::CommandRegistration kPrinterApp{{
    "printer-app",
    "serve every cutter as a network printer (IPP Everywhere) with a web page",
    "usage: qelcut printer-app [--listen ADDR:PORT] [--home DIR]... [--state DIR] [--auth-service SERVICE]\n"
    "                          [--log FILE] [--log-level LEVEL] [--max-job-mb N] [--time-scale X]\n"
    "       qelcut printer-app --set-password [--state DIR]\n\n"
    "Makes each home folder's cutter a network printer: computers on the network add it by its\n"
    "address (\"Add printer\", lpadmin) or print to it with 'lp -h ADDR:PORT -d NAME FILE'. A job goes\n"
    "into the cutter's send queue like a file of its watch folder; its state follows the queue\n"
    "(pending, processing while disposing and sending, completed when the machine took it,\n"
    "aborted with the reason). The web page at http://ADDR:PORT/ shows every cutter and its jobs.\n"
    "The printer is named by [Printer] Printer_Name of the home's Config.ini, else after its link.\n"
    "SIGINT or SIGTERM (Ctrl-C) stop it cleanly; jobs not yet started are kept for the next start.\n\n"
    "  --listen ADDR:PORT    where to listen (default localhost:8631, this computer only); another\n"
    "                        address needs --auth-service or a password for administration\n"
    "  --home DIR            a cutter's home folder, once per cutter (default: $QELCUT_HOME, else\n"
    "                        ~/.local/share/qelcut); a home whose queue runs elsewhere is refused\n"
    "  --state DIR           printers, jobs and settings kept across restarts (default\n"
    "                        $XDG_STATE_HOME/qelcut/printer-app, else ~/.local/state/qelcut/printer-app)\n"
    "  --auth-service NAME   PAM service that authenticates administrators\n"
    "  --set-password        reads an administration password from standard input and keeps it in\n"
    "                        the state folder (an empty one removes it), then ends\n"
    "  --log FILE            the printing framework's log (default: standard error)\n"
    "  --log-level LEVEL     debug, info, warn (default), error or fatal\n"
    "  --max-job-mb N        larger documents are refused (default 1024)\n"
    "  --time-scale X        multiplies the queues' timer period and fixed waits (default 1)\n"
    "  --lp-device PATTERN   printer device of the parallel link (see 'qelcut watch --help')\n",
    runPrinterApp,
}};

}  // namespace
