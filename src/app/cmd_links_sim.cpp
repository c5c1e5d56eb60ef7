// qelcut sim: the simulated machine(s) on a loopback address, printing where they listen and
// what they receive, until Ctrl-C. With --configure-home it points the home folder's links at
// them instead and ends.
#include <cstdio>
#include <optional>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>

#include "app/command.h"
#include "config/ini_config.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "platform/home.h"
#ifdef QEL_HAS_MACHINE_SIM
#include "sim_runner.h"
#endif
#ifdef QEL_HAS_COORDINATOR_SIM
#include <unistd.h>

#include "coordinator_services.h"
#include "received_store.h"
#endif
#ifdef QEL_HAS_SIM_TABLE
#include <cstdlib>
#include <fstream>

#include "camera/frame_source.h"
#include "camera/sim_sheet.h"
#endif

namespace {

#ifdef QEL_HAS_MACHINE_SIM

void printStamped(const std::string& line) {
  static std::mutex m;
  std::lock_guard<std::mutex> g(m);
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  ::localtime_r(&t, &tm);
  char stamp[16];
  std::strftime(stamp, sizeof stamp, "%H:%M:%S", &tm);
  std::printf("%s sim: %s\n", stamp, line.c_str());
  std::fflush(stdout);
}

#ifdef QEL_HAS_SIM_TABLE
using SheetStack = std::vector<qel::sim::SimSheet>;
#else
struct SheetStack {
  bool empty() const { return true; }
};
#endif

#ifdef QEL_HAS_SIM_TABLE
// The printed sheet(s) on the simulated table: --sheet (given more than once, a stack), how the
// print came out and what the camera meets on it. 0, or the exit status of a bad option.
int takeSheetOptions(std::vector<std::string>& args, qel::sim::SimSheetOptions* o, std::vector<std::string>* paths) {
  bool missing = false;
  while (auto sheetPath = qel::app::takeOption(args, "--sheet", &missing)) paths->push_back(*sheetPath);
  if (missing) {
    std::fprintf(stderr, "qelcut sim: --sheet is missing its plot file\n");
    return 2;
  }
  for (auto [name, slot] : {std::pair<const char*, double*>{"--print-scale", &o->printScale},
                            std::pair<const char*, double*>{"--print-rotate", &o->printRotateDeg},
                            std::pair<const char*, double*>{"--print-stretch", &o->printStretchPct},
                            std::pair<const char*, double*>{"--print-drift", &o->printDriftDeg}}) {
    const auto v = qel::app::takeOption(args, name, &missing);
    char* end = nullptr;
    if (missing || (v && (*slot = std::strtod(v->c_str(), &end), end == v->c_str() || *end != '\0'))) {
      std::fprintf(stderr, "qelcut sim: %s takes a number\n", name);
      return 2;
    }
  }
  if (o->printScale <= 0.0 || o->printStretchPct <= -100.0) {
    std::fprintf(stderr, "qelcut sim: --print-scale must be above 0 and --print-stretch above -100\n");
    return 2;
  }
  if (const auto off = qel::app::takeOption(args, "--sheet-off", &missing); missing || off) {
    char tail = 0;
    if (missing || std::sscanf(off->c_str(), "%lf,%lf%c", &o->sheetOff.x, &o->sheetOff.y, &tail) != 2) {
      std::fprintf(stderr, "qelcut sim: --sheet-off takes X,Y in millimetres\n");
      return 2;
    }
  }
  o->codes = qel::app::takeFlag(args, "--codes");
  if (const auto format = qel::app::takeOption(args, "--code-format", &missing); missing || format) {
    if (missing || (*format != "qr" && *format != "datamatrix")) {
      std::fprintf(stderr, "qelcut sim: --code-format is qr or datamatrix\n");
      return 2;
    }
    o->codeFormat = *format == "qr" ? qel::camera::CodeFormat::QrCode : qel::camera::CodeFormat::DataMatrix;
  }
  o->markFaults = qel::app::takeFlag(args, "--mark-faults");
  return 0;
}

// Each plot file printed as a sheet of the stack, the first on the table.
bool loadSheetStack(const std::string& home, qel::sim::SimSheetOptions o, const std::vector<std::string>& paths,
                    SheetStack* stack) {
  if (!paths.empty()) qel::platform::makeDirectories(home);
  for (std::size_t i = 0; i < paths.size(); ++i) {
    o.plotPath = paths[i];
    o.stackIndex = static_cast<int>(i);
    std::string error;
    auto sheet = qel::sim::loadSimSheet(home, o, &error);
    if (!sheet) {
      std::fprintf(stderr, "qelcut sim: %s\n", error.c_str());
      return false;
    }
    stack->push_back(std::move(*sheet));
  }
  return true;
}
#endif

// --configure-home: the home folder's link pointed at the simulator (and, with a printed sheet,
// its camera at the simulated table); the exit status.
int configureHome(const std::string& home, const std::string& kind, const qel::sim::MachineSimSettings& s,
                  [[maybe_unused]] const SheetStack* stack) {
  if (s.port != 3241) {
    std::fprintf(stderr, "qelcut sim: the network link always uses port 3241; --configure-home needs it\n");
    return 2;
  }
  if (!qel::platform::makeDirectories(home)) {
    std::fprintf(stderr, "qelcut sim: cannot create the home folder %s\n", home.c_str());
    return 1;
  }
  qel::config::CIniConfig cfg(home);
  cfg.write(qel::config::keys::Xitong_IP, s.bind);
  if (kind == "coordinator") {
    cfg.write(qel::config::keys::Xitong_TT, 3);
    cfg.writeText("Modbus", "Modbus_LinkType", "2");  // Ethernet
    std::printf("home %s: controller file link (Xitong_TT=3, Ethernet) to the simulated coordinator at %s\n",
                home.c_str(), s.bind.c_str());
  } else {
    cfg.write(qel::config::keys::Xitong_TT, 4);
    std::printf("home %s: network link (Xitong_TT=4) to the simulated machine at %s\n", home.c_str(), s.bind.c_str());
  }
#ifdef QEL_HAS_SIM_TABLE
  // With a printed sheet, the home turns to print-and-cut: the camera of the CCD cut window
  // becomes the simulated table's and the page mode "CCD CUT". Without one, the home keeps
  // its page mode (the plain queue's demonstration and tests rely on it).
  if (stack && !stack->empty()) {
    qel::sim::configureHomeForSimTable(home, stack->front());
    std::printf("camera: the simulated table (FrameSource=sim, socket %s%s), page mode 9 (CCD CUT)\n",
                cfg.programDir().c_str(), qel::camera::kSimCameraSocketName);
  }
#endif
  std::printf("watch folder: %s\n", cfg.read(qel::config::keys::Watcher_Dir).c_str());
  std::printf("printed folder: %s\n", cfg.read(qel::config::keys::SPD).c_str());
  return 0;
}

#ifdef QEL_HAS_COORDINATOR_SIM
// The simulated coordinator, and the table's camera following its head when a sheet is printed.
void addCoordinatorSimulators(const qel::sim::MachineSimSettings& s, [[maybe_unused]] const std::string& home,
                              [[maybe_unused]] const SheetStack& stack,
                              std::vector<qel::sim::SimulatorEntry>* sims, qel::sim::FaultSetter* setFault) {
  auto services = std::make_shared<std::unique_ptr<qel::sim::CoordinatorServices>>();
  // Every received file is kept under its own number; the name is the one it was sent under
  // (in the machine's code page, kept here in UTF-8), without any folder.
  auto store = std::make_shared<qel::sim::ReceivedStore>(s.storeDir, [](int n, const std::string& sent) {
    std::string name = qel::platform::fromSystemCodePage(sent.substr(sent.find_last_of('/') + 1));
    for (char& ch : name)
      if (static_cast<unsigned char>(ch) < 0x20 || ch == '\\') ch = '_';
    if (name.empty() || name == "." || name == "..") name = "file";
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%04d_", n);
    return prefix + name;
  });
  *setFault = [services](const std::string& name, long long value) {
    if (*services) (*services)->setFault(name, value);
  };
  const std::string bind = s.bind;
  const bool serial = s.serial;
  const qel::sim::FaultValues faults = s.faults;
  sims->push_back({"coordinator",
                   [services, store, bind, serial, faults](std::string* where, std::string* error) {
                     qel::sim::CoordinatorServiceOptions o;
                     o.pty = serial;
                     // The command line keeps its port 23 where we may bind it (root).
                     if (::geteuid() != 0) o.commandPort = -1;
                     o.downloaded = [store](const qel::sim::SimDownload& d) {
                       std::string why;
                       const std::string path = store->keep(d.name, d.data, &why);
                       printStamped("coordinator: file " + qel::platform::fromSystemCodePage(d.name) +
                                    " received on channel " + std::to_string(d.channel) + ", " +
                                    std::to_string(d.data.size()) + " bytes" +
                                    (path.empty() ? ", not kept: " + why : ", kept as " + path));
                     };
                     o.event = [](const std::string& line) { printStamped("coordinator: " + line); };
                     *services = qel::sim::startCoordinatorServices(bind, o, error);
                     if (!*services) return false;
                     for (const auto& [name, value] : faults) (*services)->setFault(name, value);
                     const auto& c = **services;
                     *where = "TCP " + bind + ":" + std::to_string(c.mpePort()) + " (file download), control port " +
                              std::to_string(c.controlPort());
                     if (c.commandPort() > 0) *where += ", command line " + std::to_string(c.commandPort());
                     else *where += "; no command line (port 23 needs root): nothing can move the head";
                     if (!c.ptyPath().empty()) *where += ", serial line " + c.ptyPath();
                     *where += ", files into " + store->dir();
                     return true;
                   },
                   [services] { services->reset(); }});
#ifdef QEL_HAS_SIM_TABLE
  if (stack.empty()) return;
  // The table's camera follows the coordinator's head, so it starts after the coordinator.
  auto camera = std::make_shared<std::unique_ptr<qel::sim::SimTableCamera>>();
  const std::string socket = qel::config::CIniConfig(home).programDir() + qel::camera::kSimCameraSocketName;
  sims->push_back({"table camera",
                   [camera, services, socket, stack](std::string* where, std::string* error) {
                     if (!*services) return false;
                     auto* model = &(*services)->model();
                     *camera = std::make_unique<qel::sim::SimTableCamera>(
                         stack, [model] { return cv::Point2d(model->position(0), model->position(1)); });
                     auto* cam = camera->get();
                     // The coordinator's feeder brings the next sheet of the stack (VR 954).
                     model->setFeeder([cam] {
                       cam->feed();
                       printStamped("table: sheet " + std::to_string(cam->sheetOnTable() + 1) + " fed");
                     });
                     if (!(*camera)->start(socket, error)) return false;
                     *where = "Unix socket " + socket + " (" + std::to_string(stack.size()) + " sheet(s), " +
                              std::to_string(stack[0].sheet.marks.size()) +
                              " marks on the first; each frame shows what lies under the head)";
                     return true;
                   },
                   [camera, services] {
                     if (*services) (*services)->model().setFeeder({});
                     camera->reset();
                   }});
#endif
}
#endif

int runSim(const std::vector<std::string>& argsIn) {
  std::vector<std::string> args = argsIn;
  bool missing = false;
  auto homeOpt = qel::app::takeOption(args, "--home", &missing);
  if (missing) {
    std::fprintf(stderr, "qelcut sim: --home is missing its value\n");
    return 2;
  }
  const bool configure = qel::app::takeFlag(args, "--configure-home");
  // Both machines take TCP 3241 on their address, so one kind runs per address.
  const std::string kind = qel::app::takeOption(args, "--kind", &missing).value_or("coordinator");
  if (missing || (kind != "coordinator" && kind != "network")) {
    std::fprintf(stderr, "qelcut sim: --kind is coordinator or network\n");
    return 2;
  }
#ifndef QEL_HAS_COORDINATOR_SIM
  if (kind == "coordinator") {
    std::fprintf(stderr, "qelcut sim: the coordinator simulator is not part of this build; use --kind network\n");
    return 1;
  }
#endif
  SheetStack stack;
#ifdef QEL_HAS_SIM_TABLE
  qel::sim::SimSheetOptions sheetOptions;
  std::vector<std::string> sheetPaths;
  if (const int status = takeSheetOptions(args, &sheetOptions, &sheetPaths); status != 0) return status;
#endif
  qel::sim::MachineSimSettings s;
  std::string error;
  const qel::sim::SimKind simKind = kind == "network" ? qel::sim::SimKind::Network : qel::sim::SimKind::Coordinator;
  if (!qel::sim::takeMachineSimOptions(args, s, &error) || !qel::sim::takeFaultOptions(args, simKind, s.faults, &error)) {
    std::fprintf(stderr, "qelcut sim: %s\n", error.c_str());
    return 2;
  }
  if (!args.empty()) {
    std::fprintf(stderr, "qelcut sim: unexpected argument '%s' (see 'qelcut sim --help')\n", args[0].c_str());
    return 2;
  }
  const std::string home = qel::platform::resolveHome(homeOpt);
#ifdef QEL_HAS_SIM_TABLE
  if (!loadSheetStack(home, sheetOptions, sheetPaths, &stack)) return 1;
#endif
  if (configure) return configureHome(home, kind, s, &stack);
  if (s.storeDir.empty()) s.storeDir = home + "/SimMachine";
  qel::platform::makeDirectories(home);
  std::vector<qel::sim::SimulatorEntry> sims;
  qel::sim::FaultSetter setFault;
  if (kind == "network") sims = qel::sim::machineSimulators(s, printStamped, &setFault);
#ifdef QEL_HAS_COORDINATOR_SIM
  else addCoordinatorSimulators(s, home, stack, &sims, &setFault);
#endif
  return qel::sim::runSimulators(std::move(sims), printStamped, simKind, s, setFault);
}

#else

int runSim(const std::vector<std::string>&) {
  std::fprintf(stderr, "qelcut sim: the machine simulators are not part of this build\n");
  return 1;
}

#endif

std::string usage() {
  std::string u =
      "usage: qelcut sim [--home DIR] [--bind 127.0.0.1] [options]\n\n"
      "Starts a simulated machine on a loopback address and prints where it listens; Ctrl-C stops\n"
      "it. --kind coordinator (the default) is the motion coordinator: file download on TCP 3241,\n"
      "control port 3240, the command line on 23 when run as root, and with --serial a serial\n"
      "line on a pseudo-terminal. --kind network is the machine's own network controller on TCP\n"
      "3241 (with --serial, a serial peer on a pseudo-terminal). Either prints every request and\n"
      "file it receives and keeps the files in DIR/SimMachine (or --store).\n\n"
      "Faults are switched on from the start by the options below, and while running through\n"
      "--control FILE. Each fault belongs to the kinds named after it; asking a kind for a fault\n"
      "it cannot produce is an error.\n\n"
      "  --home DIR           home folder (default: $QELCUT_HOME, else ~/.local/share/qelcut)\n"
      "  --kind KIND          coordinator (default) or network\n"
      "  --configure-home     only point DIR/Config.ini at the simulated machine (coordinator:\n"
      "                       Xitong_TT=3 over Ethernet; network: Xitong_TT=4; Xitong_IP = the\n"
      "                       --bind address); with --sheet also the CCD camera at the\n"
      "                       simulated table and page mode 9 (CCD CUT); then print the\n"
      "                       watch folder\n";
#if defined(QEL_HAS_SIM_TABLE) || defined(QEL_SIM_TABLE_IN_CAMERA_PROGRAM)
  u +=
      "  --sheet FILE.plt     a printed sheet on the simulated table: the marks of the plot file\n"
      "                       (or of a PDF or SVG drawing, its registration colour);\n"
      "                       its camera is served on DIR/sim-camera.sock and sees where the\n"
      "                       coordinator's head stands\n"
      "  --print-scale S      how the sheet was printed: scale (default 1, e.g. 1.003)\n"
      "  --print-rotate DEG   and turn in degrees, counter-clockwise (default 0)\n"
      "  --mark-faults        blur, noise, uneven light and one smudged mark\n"
      "                       --sheet given again stacks sheets: the first lies on the table, the\n"
      "                       coordinator's feed (VR 954 = 1) brings the next, each laid a little\n"
      "                       differently (up to 1.5 mm and 0.3 degrees)\n"
      "  --codes              print each sheet's job code (its plot's name) 22 mm right of the\n"
      "                       first mark; --code-format qr (default) or datamatrix\n"
      "  --print-stretch PCT  long media: stretched by PCT per cent along its length\n"
      "  --print-drift DEG    and turning by DEG degrees over its length\n"
      "  --sheet-off X,Y      every sheet lies X,Y mm off its place\n";
#endif
#ifdef QEL_HAS_MACHINE_SIM
  u += qel::sim::machineSimOptionsHelp();
  u += "\nfaults (also fault=value lines of the control file):\n" + qel::sim::faultOptionsHelp();
#endif
  return u;
}

const qel::app::CommandRegistration kSim{{
    "sim",
    "start the simulated machine on a loopback address",
    usage(),
    runSim,
}};

}  // namespace
