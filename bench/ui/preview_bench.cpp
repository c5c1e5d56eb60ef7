// Benchmark of the desktop program's drawing and responsiveness:
//  - the preview of a plot file of 1,000,000 segments: time to the first finished picture
//    (read, display copy, drawing) and the cost of a repaint after a zoom or a drag on the
//    interface thread, and of the exact picture drawn on the worker;
//  - the longest stall of the interface thread while the queue disposes of and sends a large
//    file (the link reads the whole file, as a fast machine would take it).
// usage: ui_preview_bench [SEGMENTS] [QUEUE_MB]   (defaults 1000000 and 50)
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <fstream>
#include <random>

#include "config/ini_config.h"
#include "intake/dispose_translator.h"
#include "plot/dispose_file.h"
#include "ui/files_loader_dlg.h"
#include "ui/message_service.h"
#include "ui/my_view.h"
#include "ui/print_preview.h"

namespace {

void writePlot(const std::string& path, long segments, int perStroke) {
  std::ofstream out(path, std::ios::binary);
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> pos(0, 40000), step(-60, 60);
  out << "IN;SP1;";
  long done = 0;
  int pen = 1;
  while (done < segments) {
    int x = pos(rng), y = pos(rng) / 2;
    out << "SP" << pen << ";PU" << x << "," << y << ";";
    for (int k = 0; k < perStroke && done < segments; ++k, ++done) {
      x += step(rng), y += step(rng);
      out << "PD" << x << "," << y << ";";
    }
    pen = pen % 7 + 1;
  }
  out << "PU;";
}

class SinkLink final : public qel::links::TransferLink {
 public:
  explicit SinkLink(std::string p) : path_(std::move(p)) {}
  bool send() override {
    std::ifstream in(path_, std::ios::binary);
    std::vector<char> buf(1 << 20);
    while (in.read(buf.data(), long(buf.size())) || in.gcount() > 0) {
    }
    return true;
  }
  std::string resultText() const override { return {}; }

 private:
  std::string path_;
};

double ms(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e6; }

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("QELCUT_MESSAGES", "stdout");
  qputenv("QELCUT_LOOPBACK_ONLY", "1");
  const long segments = argc > 1 ? std::atol(argv[1]) : 1000000;
  const long queueMb = argc > 2 ? std::atol(argv[2]) : 50;
  QApplication app(argc, argv);
  QTemporaryDir dir;
  const std::string home = dir.path().toStdString();
  {
    qel::config::CIniConfig cfg(home);
    cfg.write(qel::config::keys::CUT_FT, 4);
    cfg.write(qel::config::keys::Page_Width, 100000.0);
    cfg.write(qel::config::keys::Language_Type, 1);
    cfg.write(qel::config::keys::Xitong_TT, 3);
    cfg.write(qel::config::keys::Xitong_IP, "127.0.0.1");
    cfg.writeText("Transfer_Config", "Transfer_DelayTime", "0");
  }

  // ---- preview of a large file ----
  const std::string big = home + "/big.plt";
  writePlot(big, segments, 50);
  qel::ui::CPrintPreView preview(dir.path(), {}, nullptr, true);
  preview.resize(1100, 760);
  preview.show();
  QElapsedTimer t;
  t.start();
  preview.openFile(QString::fromStdString(big));
  while (!preview.loaded()) app.processEvents(QEventLoop::AllEvents, 5);
  const double loadedMs = ms(t);
  qel::ui::CMyView* view = preview.view();
  while (view->renderPending()) app.processEvents(QEventLoop::AllEvents, 5);
  const double firstPaintMs = ms(t);
  std::printf("preview: %ld segments, %d strokes\n", long(view->display()->segmentCount()), view->display()->strokeCount());
  std::printf("  read and display copy  %8.1f ms\n", loadedMs);
  std::printf("  first finished picture %8.1f ms   (target < 1000 ms)\n", firstPaintMs);

  double worstRepaint = 0, worstExact = 0;
  for (int i = 0; i < 10; ++i) {
    qel::ui::ViewTransform v = view->transform();
    if (i % 2 == 0) v.zoomAt(QPointF(400 + i * 10, 300), i % 4 == 0 ? 1.2 : 0.8);
    else v.pan(37, -21);
    QElapsedTimer r;
    r.start();
    view->setTransform(v);
    view->repaint();  // what the interface thread pays at once
    worstRepaint = std::max(worstRepaint, ms(r));
    while (view->renderPending()) app.processEvents(QEventLoop::AllEvents, 5);
    worstExact = std::max(worstExact, ms(r));
  }
  std::printf("  zoom/pan repaint       %8.1f ms worst of 10 (interface thread; target < 30 ms)\n", worstRepaint);
  std::printf("  exact picture after it %8.1f ms worst of 10 (worker)\n", worstExact);
  preview.hide();

  // ---- interface-thread stalls while the queue works ----
  const std::string job = home + "/job.plt";
  {
    std::ofstream out(job, std::ios::binary);
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> pos(0, 20000);
    out << "IN;SP1;";
    long bytes = 0;
    const long want = queueMb * 1000000;
    while (bytes < want) {
      char line[64];
      int n = std::snprintf(line, sizeof line, "PU%d,%d;PD%d,%d;PD%d,%d;", pos(rng), pos(rng), pos(rng), pos(rng), pos(rng), pos(rng));
      out.write(line, n);
      bytes += n;
    }
    out << "PU;";
  }
  qel::intake::DisposeTranslator translator;
  qel::ui::CFilesLoaderDlg::Services s;
  s.queue.translator = &translator;
  s.queue.links.set(3, [](qel::links::TransferOwner&, const std::string& p, std::int32_t) { return std::make_unique<SinkLink>(p); });
  qel::ui::CFilesLoaderDlg w(dir.path(), std::move(s));
  w.show();
  QElapsedTimer gap, total;
  double worstGap = 0;
  gap.start();
  total.start();
  QTimer probe;
  probe.setInterval(2);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    worstGap = std::max(worstGap, ms(gap));
    gap.restart();
  });
  probe.start();
  std::rename(job.c_str(), (home + "/ListenDir/job.plt").c_str());
  while (w.queue().historyList()->count() == 0 && total.elapsed() < 600000) app.processEvents(QEventLoop::AllEvents, 5);
  std::printf("queue: %ld MB disposed of and sent in %.1f s; longest interface-thread stall %.1f ms (target < 50 ms)\n",
              queueMb, total.elapsed() / 1000.0, worstGap);
  return 0;
}
