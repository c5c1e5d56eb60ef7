// intake_queue_bench: how long the per-tick folder scan takes on a 10,000-file watch folder,
// how soon the watcher lists a dropped file, and how a burst of 1,000 small files drains
// (fake translate step and link, waits skipped).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "config/ini_config.h"
#include "intake/send_queue.h"
#include "platform/files.h"
#include "support/temp_home.h"

namespace {

using namespace qel;

class CopyTranslator : public intake::Translator {
 public:
  intake::TranslateResult translate(const std::string&, const std::string& source, const std::string& disposeDir,
                                    const std::string& stamp) override {
    intake::TranslateResult r;
    std::string name = source.substr(source.find_last_of('/') + 1);
    std::string out = disposeDir + "/" + name.substr(0, name.find_last_of('.')) + "_" + stamp + "_001.PLT";
    r.ok = platform::copyFile(source, out);
    if (r.ok) r.outputs.push_back(out);
    return r;
  }
};

class NullLink : public links::TransferLink {
 public:
  bool send() override { return true; }
  std::string resultText() const override { return {}; }
};

intake::CSendQueue::Services services(intake::Translator* t, platform::Clock* clock) {
  intake::CSendQueue::Services s;
  s.translator = t;
  s.clock = clock;
  s.tickMs = 3600000;
  s.links.set(3, [](links::TransferOwner&, const std::string&, std::int32_t) { return std::make_unique<NullLink>(); });
  return s;
}

void fill(test::TempHome& home, int n) {
  for (int i = 0; i < n; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "ListenDir/job_%05d.plt", i);
    home.writeFile(name, "IN;PU0,0;PD100,100;PU;");
  }
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  CopyTranslator translator;
  platform::FakeClock clock;

  {
    test::TempHome home;
    config::CIniConfig(home.path()).writeText("Transfer_Config", "Transfer_DelayTime", "0");
    fill(home, 10000);
    intake::CSendQueue q(QString::fromStdString(home.path()), services(&translator, &clock));
    q.start();
    std::vector<double> ms;
    for (int i = 0; i < 20; ++i) {
      QElapsedTimer t;
      t.start();
      q.ScanFolder(q.watchDir());
      ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::printf("scan of a 10000-file watch folder: median %.2f ms, worst %.2f ms (%d rows)\n", median(ms),
                *std::max_element(ms.begin(), ms.end()), q.waitingList()->count());
  }

  {
    test::TempHome home;
    config::CIniConfig cfg(home.path());
    cfg.writeText("Watcher", "Watcher_Enabled", "1");
    intake::CSendQueue q(QString::fromStdString(home.path()), services(&translator, &clock));
    q.start();
    std::vector<double> ms;
    for (int i = 0; i < 20; ++i) {
      QElapsedTimer t;
      t.start();
      home.writeFile("ListenDir/drop_" + std::to_string(i) + ".plt", "IN;");
      while (q.waitingList()->count() < i + 1 && t.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
      ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::printf("dropped file listed by the watcher after: median %.2f ms, worst %.2f ms (the tick is 600 ms)\n",
                median(ms), *std::max_element(ms.begin(), ms.end()));
  }

  // The bursts: files count as settled at their second look (the settle time has its own
  // tests); page mode 6 translates one file a tick, page mode 5 moves every settled file at once,
  // each after asking who still writes it.
  for (const int mode : {6, 5}) {
    test::TempHome home;
    config::CIniConfig cfg(home.path());
    cfg.writeText("Transfer_Config", "Transfer_DelayTime", "0");
    cfg.writeText("Watcher", "Watcher_SettleMs", "0");
    cfg.write(config::keys::CUT_FT, mode);
    intake::CSendQueue q(QString::fromStdString(home.path()), services(&translator, &clock));
    q.start();
    fill(home, 1000);
    QElapsedTimer t;
    t.start();
    qint64 scanNs = 0, tickNs = 0;
    int ticks = 0;
    while ((q.waitingList()->count() > 0 || q.sendQueueList()->count() > 0 || ticks < 2) && ticks < 5000) {
      QElapsedTimer s;
      s.start();
      q.ScanFolder(q.watchDir());
      scanNs += s.nsecsElapsed();
      QElapsedTimer k;
      k.start();
      q.Tick();
      tickNs += k.nsecsElapsed();
      while (!q.idle()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        QThread::usleep(50);
      }
      QCoreApplication::processEvents();
      ++ticks;
    }
    std::printf("page mode %d: burst of 1000 files drained in %d ticks, %.0f ms of work; scans %.0f ms (%.2f ms a tick), "
                "Tick() on the queue's thread %.0f ms in all\n",
                mode, ticks, double(t.nsecsElapsed()) / 1e6, double(scanNs) / 1e6, double(scanNs) / 1e6 / ticks,
                double(tickNs) / 1e6);
  }
  return 0;
}
