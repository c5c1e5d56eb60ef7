// qelcut screenshots: every window of the desktop program in its main states, rendered with the
// offscreen platform to WINDOW-STATE-LANG.png files for review.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

#include "app/command.h"
#include "app/screenshots.h"
#include "config/ini_config.h"
#include "platform/files.h"
#include "platform/home.h"
#include "ui/language.h"
#include "ui/message_service.h"

namespace {

int runScreenshots(const std::vector<std::string>& argsIn) {
  std::vector<std::string> args = argsIn;
  bool noHome = false, noLang = false, noScreen = false;
  auto homeOpt = qel::app::takeOption(args, "--home", &noHome);
  auto langOpt = qel::app::takeOption(args, "--lang", &noLang);
  auto screenOpt = qel::app::takeOption(args, "--screen", &noScreen);
  if (noHome || noLang || noScreen) {
    std::fprintf(stderr, "qelcut screenshots: an option is missing its value (see 'qelcut screenshots --help')\n");
    return 2;
  }
  const std::string lang = langOpt.value_or("en");
  if (lang != "en" && lang != "zh") {
    std::fprintf(stderr, "qelcut screenshots: --lang is en or zh\n");
    return 2;
  }
  int screenW = 1366, screenH = 768;
  if (screenOpt && (std::sscanf(screenOpt->c_str(), "%dx%d", &screenW, &screenH) != 2 || screenW < 320 || screenH < 240 ||
                    screenW > 10000 || screenH > 10000)) {
    std::fprintf(stderr, "qelcut screenshots: --screen is WIDTHxHEIGHT, e.g. 1366x768\n");
    return 2;
  }
  if (args.size() != 1) {
    std::fprintf(stderr, "qelcut screenshots: give one output folder (see 'qelcut screenshots --help')\n");
    return 2;
  }
  const std::string out = args[0];
  if (!qel::platform::makeDirectories(out)) {
    std::fprintf(stderr, "qelcut screenshots: cannot create %s\n", out.c_str());
    return 1;
  }
  // Pictures are made without a screen, on a pretend one of the chosen size (the windows place
  // themselves on it); message boxes become lines on standard output.
  QTemporaryDir screenDir;
  const QString screenFile = screenDir.filePath(QStringLiteral("screen.json"));
  {
    QFile f(screenFile);
    if (f.open(QIODevice::WriteOnly))
      f.write(QStringLiteral("{\"screens\": [{\"name\": \"screen\", \"x\": 0, \"y\": 0, \"width\": %1, \"height\": %2, "
                             "\"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}]}")
                  .arg(screenW)
                  .arg(screenH)
                  .toUtf8());
  }
  ::setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + screenFile.toStdString()).c_str(), 1);
  ::setenv("QELCUT_MESSAGES", "stdout", 0);
  // The windows pictured here never reach a machine: loopback addresses only.
  ::setenv("QELCUT_LOOPBACK_ONLY", "1", 1);
  static int argc = 1;
  static char name[] = "qelcut-screenshots";
  static char* argv[] = {name, nullptr};
  QApplication app(argc, argv);

  QTemporaryDir scratch;
  const std::string home = homeOpt ? qel::platform::resolveHome(homeOpt) : scratch.path().toStdString();
  qel::platform::makeDirectories(home);
  {
    qel::config::CIniConfig cfg(home);  // writes the first-run values when missing
    cfg.write(qel::config::keys::Language_Type, lang == "en" ? 1 : 0);
  }
  qel::ui::applyLanguage(lang == "en" ? 1 : 0);
  if (lang == "zh" && !qel::ui::chineseLoaded()) std::fprintf(stderr, "qelcut screenshots: the Chinese translations are missing\n");

  qel::app::ShotContext ctx(QString::fromStdString(out), QString::fromStdString(lang), QString::fromStdString(home));
  for (const auto& shot : qel::app::registeredShots()) shot.fn(ctx);
  for (const QString& f : ctx.written()) std::printf("%s\n", f.toLocal8Bit().constData());
  if (ctx.failures() > 0) {
    std::fprintf(stderr, "qelcut screenshots: %d pictures could not be written\n", ctx.failures());
    return 1;
  }
  return 0;
}

const qel::app::CommandRegistration kScreenshots{{
    "screenshots",
    "render every window of the desktop program to PNG files",
    "usage: qelcut screenshots OUTDIR [--lang en|zh] [--home DIR] [--screen WxH]\n\n"
    "Opens every window of the desktop program in its main states without a screen (the\n"
    "offscreen platform) and saves one picture per state as OUTDIR/WINDOW-STATE-LANG.png,\n"
    "for example main-running-en.png or preview-sending-zh.png.\n\n"
    "  --lang en|zh   interface language of the pictures (default en)\n"
    "  --home DIR     home folder the windows run over (default: a scratch folder, removed\n"
    "                 afterwards)\n"
    "  --screen WxH   size of the pretend screen the windows stand on (default 1366x768);\n"
    "                 desktop-LANG.png shows it with the main window and the follow preview\n",
    runScreenshots,
}};

}  // namespace
