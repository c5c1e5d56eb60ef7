// Pictures of the main window and the print preview for `qelcut screenshots`.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>

#include <cmath>
#include <thread>

#include "app/screenshots.h"
#include "config/ini_config.h"
#include "intake/dispose_translator.h"
#include "ui/files_loader_dlg.h"
#include "ui/my_view.h"
#include "ui/print_preview.h"
#include "ui/tray.h"

namespace {

// A sign-shop job: a frame, lettering, circles and stars in several pens.
QByteArray signPlot() {
  QByteArray p = "IN;SP1;PU0,0;PD12000,0,12000,6000,0,6000,0,0;PU;";
  p += "SP1;DI1,0;SI1.2,1.6;PU900,3800;LBQEL CUTTING\x03;";
  p += "SP1;DI1,0;SI0.6,0.8;PU950,2900;LBSIGNS & PRINT\x03;";
  for (int i = 0; i < 5; ++i) {
    const int cx = 1400 + i * 2300, cy = 1300;
    p += QStringLiteral("SP%1;PU%2,%3;CI%4;").arg(2 + i).arg(cx).arg(cy).arg(500 + 60 * i).toLatin1();
    // A five-pointed star inside each circle.
    QString star = QStringLiteral("PU");
    for (int k = 0; k <= 5; ++k) {
      const double a = M_PI / 2 + k * 4 * M_PI / 5;
      star += QStringLiteral("%1%2,%3").arg(k == 1 ? ";PD" : (k > 1 ? "," : "")).arg(cx + std::lround(420 * std::cos(a))).arg(cy + std::lround(420 * std::sin(a)));
    }
    p += star.toLatin1() + ";PU;";
  }
  p += "SP7;PU9000,4300;PD11400,4300,11400,5600,9000,5600,9000,4300;PU;";
  return p;
}

// A link that holds until its send is stopped: the preview's sending state, for the picture.
class HoldLink final : public qel::links::TransferLink {
 public:
  explicit HoldLink(qel::links::TransferOwner& o) : owner_(o) {}
  bool send() override {
    owner_.setProgressRange(0, 100);
    owner_.setProgressPos(40);
    while (!owner_.stopInForce()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return false;
  }
  std::string resultText() const override { return {}; }

 private:
  qel::links::TransferOwner& owner_;
};

void settle(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

void shootMain(qel::app::ShotContext& ctx) {
  const QString home = ctx.home();
  {
    qel::config::CIniConfig cfg(home.toStdString());
    cfg.write(qel::config::keys::Xitong_IP, "127.0.0.1");
  }
  // Page files of earlier runs: they start in the recycle bin and are moved about below.
  QDir(home).mkpath(QStringLiteral("DisposeDir"));
  const char* names[] = {"shopfront_20261207_091502_001.PLT", "shopfront_20261207_091502_002.PLT",
                         "vinyl-letters_20261207_093011_001.PLT", "logo-decal_20261207_094540_001.PLT",
                         "banner_20261207_101233_001.PLT", "banner_20261207_101233_002.PLT",
                         "window-sticker_20261207_102010_001.PLT"};
  for (const char* n : names) {
    QFile f(home + QStringLiteral("/DisposeDir/") + QLatin1String(n));
    if (f.open(QIODevice::WriteOnly)) f.write(signPlot());
  }
  qel::intake::DisposeTranslator translator;
  qel::ui::CFilesLoaderDlg::Services s;
  s.queue.translator = &translator;
  s.queue.links = qel::links::LinkFactory::standard();
  qel::ui::CFilesLoaderDlg w(home, std::move(s));
  w.show();
  settle(200);
  auto& q = w.queue();
  q.TogglePause();
  q.moveRow(qel::intake::QueueList::RecycleBin, 0, qel::intake::QueueList::SendQueue);
  q.moveRow(qel::intake::QueueList::RecycleBin, 0, qel::intake::QueueList::SendQueue);
  q.moveRow(qel::intake::QueueList::RecycleBin, 0, qel::intake::QueueList::History);
  q.moveRow(qel::intake::QueueList::RecycleBin, 0, qel::intake::QueueList::History);
  q.moveRow(qel::intake::QueueList::RecycleBin, 0, qel::intake::QueueList::History);
  using qel::intake::RowState;
  for (int i = 0; i < q.historyList()->count(); ++i) q.historyList()->setNote(i, {RowState::Sent});
  // The first page failed twice, its CRC wrong: the row and the last-event pane say so.
  q.sendQueueList()->setNote(0, {RowState::Failed, qel::intake::FailureKind::WrongCrc, 2, false});
  qel::intake::QueueFailure crc;
  crc.kind = qel::intake::FailureKind::WrongCrc;
  crc.file = home + QStringLiteral("/DisposeDir/") + q.sendQueueList()->text(0);
  crc.inARow = 2;
  emit q.fileFailed(crc);
  ctx.save(&w, QStringLiteral("main"), QStringLiteral("paused"));
  // Running, with the sending held back so that the pictures stay as they are.
  q.TogglePause();
  q.ToggleTransferPause();
  q.sendQueueList()->setNote(0, {RowState::Sending});
  q.sendQueueList()->setNote(1, {RowState::Waiting});
  ctx.save(&w, QStringLiteral("main"), QStringLiteral("running"));
  // The screen as the operator sees it: the main window with the follow preview beside it.
  emit q.previewRequested(home + QStringLiteral("/DisposeDir/") + q.sendQueueList()->text(0));
  QElapsedTimer t;
  t.start();
  while ((!w.followPreview() || !w.followPreview()->loaded()) && t.elapsed() < 10000)
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  ctx.saveScreen(QStringLiteral("desktop"));
  emit q.previewClosed();
  q.ToggleTransferPause();
  q.TogglePause();
}

void shootPreview(qel::app::ShotContext& ctx) {
  const QString file = ctx.home() + QStringLiteral("/shopfront_sign.plt");
  {
    QFile f(file);
    if (f.open(QIODevice::WriteOnly)) f.write(signPlot());
    qel::config::CIniConfig cfg(ctx.home().toStdString());
    cfg.write(qel::config::keys::Xitong_TT, 77);
  }
  qel::links::LinkFactory links;
  links.set(77, [](qel::links::TransferOwner& o, const std::string&, std::int32_t) { return std::make_unique<HoldLink>(o); });
  qel::ui::CPrintPreView p(ctx.home(), links, nullptr, true);
  if (!p.openFile(file)) return;
  p.show();
  QElapsedTimer t;
  t.start();
  while (!p.loaded() && t.elapsed() < 10000) QApplication::processEvents(QEventLoop::AllEvents, 20);
  auto* field = p.findChild<QLineEdit*>(QStringLiteral("startField"));
  auto click = [&](const char* name) { p.findChild<QPushButton*>(QLatin1String(name))->click(); };
  click("modButton");
  field->setText(QStringLiteral("7"));
  click("setButton");
  ctx.save(&p, QStringLiteral("preview"), QStringLiteral("0-start-set"));
  click("modButton");
  field->setText(QStringLiteral("12"));
  ctx.save(&p, QStringLiteral("preview"), QStringLiteral("1-editing"));
  click("setButton");
  click("printButton");
  settle(200);
  ctx.save(&p, QStringLiteral("preview"), QStringLiteral("2-sending"));
  click("cancelButton");
  t.restart();
  while (p.sending() && t.elapsed() < 10000) QApplication::processEvents(QEventLoop::AllEvents, 20);
  ctx.save(&p, QStringLiteral("preview"), QStringLiteral("3-after-send"));
}

const qel::app::ShotRegistration kMain("main", shootMain);
const qel::app::ShotRegistration kPreview("preview", shootPreview);

}  // namespace
