// qelcut dispose: prepares one plot file for cutting and writes its page files.
#include <cstdio>
#include <ctime>

#include "app/command.h"
#include "config/ini_config.h"
#include "platform/home.h"
#include "platform/run_stamp.h"
#include "platform/trace.h"
#include "plot/dispose_file.h"

namespace qel::app {
namespace {

class PrintingOwner : public plot::DisposeOwner {
 public:
  void addOutputFileReport(const plot::OutputFileReport& r) override {
    std::printf("%s\t%s\n", r.fileName.c_str(), r.sizeText.c_str());
    ++count;
  }
  int count = 0;
};

int runDispose(const std::vector<std::string>& argv) {
  std::vector<std::string> args = argv;
  bool missing = false;
  const auto home = takeOption(args, "--home", &missing);
  if (missing) {
    std::fprintf(stderr, "qelcut dispose: --home needs a folder\n");
    return 2;
  }
  const auto out = takeOption(args, "--out", &missing);
  if (missing) {
    std::fprintf(stderr, "qelcut dispose: --out needs a folder\n");
    return 2;
  }
  const auto page = takeOption(args, "--page", &missing);
  int onlyPage = 0;
  if (missing || (page && (std::sscanf(page->c_str(), "%d", &onlyPage) != 1 || onlyPage < 1))) {
    std::fprintf(stderr, "qelcut dispose: --page needs a page number (1 for the first)\n");
    return 2;
  }
  if (args.size() != 1 || args[0].rfind("--", 0) == 0) {
    std::fprintf(stderr, "usage: qelcut dispose FILE [--home DIR] [--out DIR] [--page N] (see --help)\n");
    return 2;
  }
  const std::string homeDir = platform::resolveHome(home);
  config::CIniConfig cfg(homeDir);
  platform::setTraceEnabled(cfg.read(config::keys::DebugStatus) != 0);
  const std::string outDir = out ? *out : platform::withTrailingSlash(homeDir) + "DisposeDir";

  PrintingOwner owner;
  plot::DisposeOptions options = plot::DisposeOptions::read(cfg);
  options.drawing.onlyPage = onlyPage;
  plot::CDisposeFile file(&owner, args[0], outDir, platform::runStamp(platform::localTimeOf(std::time(nullptr))),
                          options);
  if (!file.dispose()) {
    std::fprintf(stderr, "qelcut dispose: %s\n", file.errorText().c_str());
    return 1;
  }
  for (const plot::ReadNotice& n : file.notices())
    if (n.kind == plot::ReadNotice::Kind::ScaleWithoutScalingPoints)
      std::fprintf(stderr,
                   "qelcut dispose: %s sets user units (SC) without scaling points (IP): one user unit is one plotter "
                   "unit, and the drawing comes out %.1f x %.1f mm\n",
                   args[0].c_str(), n.widthMm, n.heightMm);
  if (owner.count == 0) std::fprintf(stderr, "qelcut dispose: %s produced no page file\n", args[0].c_str());
  return 0;
}

const CommandRegistration reg{{
    "dispose",
    "prepare a plot file for cutting and write its page files",
    "usage: qelcut dispose FILE [--home DIR] [--out DIR] [--page N]\n\n"
    "Reads the plot file FILE (HPGL, or a PDF or SVG drawing whose cut lines are cut) with the\n"
    "options of DIR/Config.ini (created with its first-run values when missing), processes it\n"
    "for the configured page mode and writes one HPGL file per page into --out (default:\n"
    "DIR/DisposeDir). Prints one line per written file: its path and its size in millimetres\n"
    "(width * length). --page N reads only page N of a PDF (1 for the first); without it the\n"
    "pages lie one after another along the roll, [Input] PageGap apart.\n\n"
    "Exit status: 0 when the file was processed, 1 when it could not be (the reason is printed),\n"
    "2 for a usage error.\n",
    runDispose,
}};

}  // namespace
}  // namespace qel::app
