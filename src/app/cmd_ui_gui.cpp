// qelcut gui: the desktop program. The main window runs the send queue over the home folder,
// like `qelcut watch`, and one queue runs per home: a second program on the same home (window
// or headless) is refused.
#include <QApplication>
#include <QLockFile>

#include <cstdio>

#include "app/command.h"
#include "app/stop_signals.h"
#include "config/ini_config.h"
#include "intake/dispose_translator.h"
#include "links/transfer_link.h"
#include "platform/files.h"
#include "platform/home.h"
#include "ui/files_loader_dlg.h"
#include "ui/language.h"
#include "ui/message_service.h"

namespace {

int runGui(const std::vector<std::string>& argsIn) {
  std::vector<std::string> args = argsIn;
  bool noHome = false;
  auto homeOpt = qel::app::takeOption(args, "--home", &noHome);
  if (noHome) {
    std::fprintf(stderr, "qelcut gui: --home is missing its value\n");
    return 2;
  }
  if (!args.empty()) {
    std::fprintf(stderr, "qelcut gui: unexpected argument '%s' (see 'qelcut gui --help')\n", args[0].c_str());
    return 2;
  }
  const std::string home = qel::platform::resolveHome(homeOpt);
  if (!qel::platform::makeDirectories(home)) {
    std::fprintf(stderr, "qelcut gui: cannot create the home folder %s\n", home.c_str());
    return 1;
  }
  static int argc = 1;
  static char name[] = "qelcut";
  static char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("qelcut"));
  QApplication::setApplicationDisplayName(QStringLiteral("QEL Cutting System"));
  QApplication::setDesktopFileName(QStringLiteral("io.github.qelcut.QelCut"));

  QLockFile lock(QString::fromStdString(home + "/qelcut.lock"));
  lock.setStaleLockTime(0);
  if (!lock.tryLock(0)) {
    qel::config::CIniConfig cfg(home);
    qel::ui::applyLanguage(cfg);
    std::fprintf(stderr, "qelcut gui: another qelcut is already running on %s\n", home.c_str());
    qel::ui::information(nullptr, QStringLiteral("qelcut"),
                         QString::fromUtf8("\xe7\xa8\x8b\xe5\xba\x8f\xe5\xb7\xb2\xe7\xbb\x8f\xe6\x89\x93\xe5\xbc\x80"
                                           "{The program has already opened}"));
    return 1;
  }

  qel::intake::DisposeTranslator translator;
  qel::intake::CSendQueue::Services queue;
  queue.translator = &translator;
  queue.links = qel::links::LinkFactory::standard();
  qel::ui::CFilesLoaderDlg::Services services;
  services.queue = std::move(queue);
  int rc = 0;
  {
    qel::ui::CFilesLoaderDlg window(QString::fromStdString(home), std::move(services));
    // SIGTERM (a logout, the service manager, kill) and Ctrl-C close the program as its close box
    // does: a send under way stops without leaving the machine a part of a file, the queue and
    // its workers end (with the window), the lock is released.
    qel::app::StopSignals stopSignals([&app, &window] {
      std::printf("qelcut gui: stopping\n");
      std::fflush(stdout);
      window.close();
      app.quit();
    });
    if (qel::config::CIniConfig(home).read(qel::config::keys::Language_Type) == 0 && !qel::ui::qtChineseLoaded())
      std::fprintf(stderr, "qelcut gui: Qt's own Chinese texts are missing (package qt6-translations-l10n)\n");
    window.show();
    rc = app.exec();
  }
  std::printf("qelcut gui: stopped\n");
  std::fflush(stdout);
  return rc;
}

const qel::app::CommandRegistration kGui{{
    "gui",
    "open the desktop program (main window and send queue)",
    "usage: qelcut gui [--home DIR]\n\n"
    "Opens the main window over the home folder and runs the send queue in it: files dropped\n"
    "into the watch folder are disposed of and sent over the link chosen by Xitong_TT, and the\n"
    "lists show them passing into the history. A second program on the same home folder (a\n"
    "window or 'qelcut watch') is refused.\n\n"
    "  --home DIR   home folder (default: $QELCUT_HOME, else ~/.local/share/qelcut)\n",
    runGui,
}};

}  // namespace
