// qelcut watch: the send queue without windows. Every event goes to standard output; the
// queue runs until SIGINT or SIGTERM, which stop it cleanly.
#include <QCoreApplication>
#include <QLockFile>

#include <cmath>
#include <cstdio>
#include <memory>
#include <filesystem>

#include "app/command.h"
#include "app/log_line.h"
#include "app/progress_line.h"
#include "app/scaled_clock.h"
#include "app/stop_signals.h"
#include "config/ini_config.h"
#include "intake/send_queue.h"
#include "links/transfer_link.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/home.h"
#ifdef QEL_INTAKE_HAS_DISPOSE
#include "intake/dispose_translator.h"
#endif

namespace {

// Real time between two progress lines of a send (times --time-scale).
constexpr std::int64_t kProgressEveryMs = 5000;

#ifndef QEL_INTAKE_HAS_DISPOSE
// Without the plot library the translate step hands the file on unchanged as its one page.
class CopyThroughTranslator : public qel::intake::Translator {
 public:
  qel::intake::TranslateResult translate(const std::string&, const std::string& source, const std::string& disposeDir,
                                         const std::string& stamp) override {
    qel::intake::TranslateResult r;
    std::string base = std::filesystem::path(source).stem().string();
    std::string out = disposeDir + "/" + base + "_" + stamp + "_001.PLT";
    r.ok = qel::platform::copyFile(source, out);
    if (r.ok) r.outputs.push_back(out);
    else r.error = "cannot copy " + source + " to " + out;
    return r;
  }
};
#endif

using qel::app::printLine;

// Every event of the queue as a line on standard output.
void printQueueEvents(qel::intake::CSendQueue& queue) {
  QObject::connect(&queue, &qel::intake::CSendQueue::logLine, [](const QString& l) { printLine(l); });
  QObject::connect(&queue, &qel::intake::CSendQueue::statusText,
                   [](int pane, const QString& t) { printLine(QStringLiteral("status %1: %2").arg(pane).arg(t)); });
  QObject::connect(&queue, &qel::intake::CSendQueue::messageBox,
                   [](const QString& t) { printLine(QStringLiteral("message: %1").arg(t)); });
  QObject::connect(&queue, &qel::intake::CSendQueue::pauseChanged,
                   [](const QString& button, bool) { printLine(QStringLiteral("button: %1").arg(button)); });
  QObject::connect(&queue, &qel::intake::CSendQueue::fileFailed, [](const qel::intake::QueueFailure& f) {
    printLine(QStringLiteral("failed: %1: %2%3")
                  .arg(f.file, qel::intake::englishText(f.kind),
                       f.source.isEmpty() ? QString() : QStringLiteral(" (from %1)").arg(f.source)));
  });
}

// A send on a slow link takes hours (the network link carries about 500 B/s): one progress
// line every few seconds, and one when the last byte is out. The connections belong to
// `context`, so disconnecting it from the queue ends them.
void printSendProgress(qel::intake::CSendQueue& queue, QObject& context, double scale) {
  struct State {
    std::int64_t everyMs = 0, lastMs = 0, startMs = 0;
  };
  auto state = std::make_shared<State>();
  state->everyMs = static_cast<std::int64_t>(std::llround(kProgressEveryMs * scale));
  auto nowMs = [] { return qel::platform::SystemClock::instance().nowMs(); };
  // The queue logs "sending FILE ..." (posted to this thread) before the link reports bytes.
  QObject::connect(&queue, &qel::intake::CSendQueue::logLine, &context, [state, nowMs](const QString& l) {
    if (l.startsWith(QStringLiteral("sending "))) state->startMs = state->lastMs = nowMs();
  });
  QObject::connect(&queue, &qel::intake::CSendQueue::bytesSent, &context, [state, nowMs](qint64 sent, qint64 total) {
    const std::int64_t now = nowMs();
    if (sent <= 0 || (sent < total && now - state->lastMs < state->everyMs)) return;
    state->lastMs = now;
    qel::app::Progress p;
    p.sent = sent;
    p.size = total;
    p.seconds = double(now - state->startMs) / 1000.0;
    printLine(QStringLiteral("progress: %1").arg(QString::fromStdString(qel::app::progressLogText(p))));
  }, Qt::QueuedConnection);
}

int runWatch(const std::vector<std::string>& argsIn) {
  std::vector<std::string> args = argsIn;
  bool noHome = false, noLp = false, noScale = false;
  auto homeOpt = qel::app::takeOption(args, "--home", &noHome);
  auto lpOpt = qel::app::takeOption(args, "--lp-device", &noLp);
  auto scaleOpt = qel::app::takeOption(args, "--time-scale", &noScale);
  if (noHome || noLp || noScale) {
    std::fprintf(stderr, "qelcut watch: an option is missing its value (see 'qelcut watch --help')\n");
    return 2;
  }
  if (!args.empty()) {
    std::fprintf(stderr, "qelcut watch: unexpected argument '%s' (see 'qelcut watch --help')\n", args[0].c_str());
    return 2;
  }
  double scale = 1.0;
  if (scaleOpt && !qel::app::parseTimeScale(*scaleOpt, scale)) {
    std::fprintf(stderr, "qelcut watch: --time-scale wants a number above 0 and at most 100\n");
    return 2;
  }
  const std::string home = qel::platform::resolveHome(homeOpt);
  if (!qel::platform::makeDirectories(home)) {
    std::fprintf(stderr, "qelcut watch: cannot create the home folder %s\n", home.c_str());
    return 1;
  }

  static int argc = 1;
  static char name[] = "qelcut";
  static char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);

  // One queue per home folder: two would take the same files.
  QLockFile lock(QString::fromStdString(home + "/qelcut.lock"));
  lock.setStaleLockTime(0);
  if (!lock.tryLock(0)) {
    qint64 pid = 0;
    QString host, holder;
    lock.getLockInfo(&pid, &host, &holder);
    std::fprintf(stderr, "qelcut watch: another qelcut is already running on %s (%s, process %lld)\n", home.c_str(),
                 holder.isEmpty() ? "qelcut" : holder.toLocal8Bit().constData(), static_cast<long long>(pid));
    return 1;
  }

  qel::app::StopSignals stopSignals([&app] {
    printLine(QStringLiteral("stopping"));
    app.quit();
  });
  if (!stopSignals.ok()) {
    std::fprintf(stderr, "qelcut watch: cannot set up signal handling\n");
    return 1;
  }

  qel::app::ScaledClock clock(scale);
#ifdef QEL_INTAKE_HAS_DISPOSE
  qel::intake::DisposeTranslator translator;
#else
  CopyThroughTranslator translator;
#endif
  qel::links::LinkEnvironment env;
  if (lpOpt) env.parallelDevicePattern = *lpOpt;
  qel::intake::CSendQueue::Services services;
  services.translator = &translator;
  services.links = qel::links::LinkFactory::standard(env);
  services.clock = &clock;
  services.tickMs = std::max(1, static_cast<int>(std::lround(600 * scale)));
  // Unattended: after the machine was out of reach the queue resumes by itself, with growing
  // waits (Resume_FirstWait, Resume_MaxWait in Config.ini), each try logged.
  services.autoResume = true;

  qel::intake::CSendQueue queue(QString::fromStdString(home), std::move(services));
  printQueueEvents(queue);
  printSendProgress(queue, app, scale);

  printLine(QStringLiteral("home %1").arg(QString::fromStdString(home)));
  queue.start();
  int rc = app.exec();
  queue.stop();
  // The progress state above goes before the queue does.
  QObject::disconnect(&queue, nullptr, &app, nullptr);
  printLine(QStringLiteral("stopped"));
  return rc;
}

const qel::app::CommandRegistration kWatch{{
    "watch",
    "run the send queue without windows until interrupted",
    "usage: qelcut watch [--home DIR] [--lp-device PATTERN] [--time-scale X]\n\n"
    "Runs the send queue: picks plot files up from the watch folder, disposes of them into\n"
    "page files and sends these over the link chosen by Xitong_TT, logging each event on\n"
    "standard output; a send under way adds a progress line every 5 s. When the machine is out\n"
    "of reach the queue pauses and resumes by itself after 10 s, then after twice as long each\n"
    "time up to 5 minutes (Resume_FirstWait, Resume_MaxWait in Config.ini; 0 turns it off).\n"
    "SIGINT or SIGTERM (Ctrl-C) stop it cleanly.\n\n"
    "  --home DIR            home folder (default: $QELCUT_HOME, else ~/.local/share/qelcut)\n"
    "  --lp-device PATTERN   printer device of the parallel link, %d being the port number\n"
    "                        minus one (default /dev/lp%d); a plain file serves for simulation\n"
    "  --time-scale X        multiplies the timer period and the queue's fixed waits\n"
    "                        (default 1; e.g. 0.05 for simulations)\n",
    runWatch,
}};

}  // namespace
