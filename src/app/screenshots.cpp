#include "app/screenshots.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include "platform/data_dir.h"

namespace qel::app {
namespace {
std::vector<RegisteredShot>& shots() {
  static std::vector<RegisteredShot> list;
  return list;
}
}  // namespace

ShotRegistration::ShotRegistration(const char* window, ShotFunction fn) {
  shots().push_back({QString::fromUtf8(window), std::move(fn)});
}
const std::vector<RegisteredShot>& registeredShots() { return shots(); }

bool ShotContext::save(QWidget* window, const QString& windowName, const QString& state) {
  if (!window->isVisible()) window->show();
  // Layouts, queued signals and deferred paints settle within a few rounds of the loop.
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < 150) QApplication::processEvents(QEventLoop::AllEvents, 20);
  const QString path = QDir(outDir_).filePath(QStringLiteral("%1-%2-%3.png").arg(windowName, state, lang_));
  const bool ok = window->grab().save(path);
  if (ok) written_ << path;
  else ++failures_;
  return ok;
}

bool ShotContext::saveScreen(const QString& name) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < 150) QApplication::processEvents(QEventLoop::AllEvents, 20);
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return false;
  QPixmap canvas(screen->geometry().size());
  canvas.fill(QColor(58, 110, 165));
  QPainter p(&canvas);
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (!w->isVisible() || w->isMinimized()) continue;
    const QRect frame = w->frameGeometry();
    p.fillRect(frame, QColor(40, 40, 40));
    p.drawPixmap(w->geometry().topLeft(), w->grab());
    p.setPen(QColor(250, 250, 250));
    p.drawRect(frame.adjusted(0, 0, -1, -1));
  }
  p.end();
  const QString path = QDir(outDir_).filePath(QStringLiteral("%1-%2.png").arg(name, lang_));
  const bool ok = canvas.save(path);
  if (ok) written_ << path;
  else ++failures_;
  return ok;
}

QString ShotContext::samplePlot() const {
  const QString target = QDir(home_).filePath(QStringLiteral("sample.plt"));
  if (QFile::exists(target)) return target;
  // The checkout's sample, else the one installed with the program (found from its own place).
  for (const QString& candidate : {QStringLiteral(QEL_SAMPLES_DIR "/sample.plt"),
                                   QString::fromStdString(platform::findDataFile("samples/sample.plt"))}) {
    if (!candidate.isEmpty() && QFile::copy(candidate, target)) return target;
  }
  return target;
}

}  // namespace qel::app
