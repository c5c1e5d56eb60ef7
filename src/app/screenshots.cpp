#include "app/screenshots.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPixmap>
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
  const QString path = pathFor(windowName, state);
  const bool ok = window->grab().save(path);
  record(path, ok);
  return ok;
}

QString ShotContext::pathFor(const QString& windowName, const QString& state) const {
  return QDir(outDir_).filePath(QStringLiteral("%1-%2-%3.png").arg(windowName, state, lang_));
}

void ShotContext::record(const QString& path, bool ok) {
  if (ok) written_ << path;
  else ++failures_;
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
