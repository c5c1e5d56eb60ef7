// Names of the queue's files: run stamps, stamped names in the dispose folder, free names.
#include <QFile>

#include <sys/stat.h>

#include "intake/queue_naming.h"
#include "intake/send_queue_impl.h"
#include "platform/files.h"
#include "platform/run_stamp.h"

namespace qel::intake {

namespace queue {

std::string native(const QString& s) { return QFile::encodeName(s).toStdString(); }
QString fromNative(const std::string& s) { return QFile::decodeName(QByteArray::fromStdString(s)); }

QString fileNameOf(const QString& path) { return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1); }

QString upperExtension(const QString& name) {
  qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  return (dot < 0 ? name : name.mid(dot)).toUpper();
}

void splitExtension(const QString& path, QString& base, QString& ext) {
  qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
  qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
  if (dot <= slash) {
    base = path;
    ext.clear();
  } else {
    base = path.left(dot);
    ext = path.mid(dot);
  }
}

QString stripTrailingSeparator(QString dir) {
  if (dir.size() > 1 && (dir.endsWith(QLatin1Char('/')) || dir.endsWith(QLatin1Char('\\')))) dir.chop(1);
  return dir;
}

bool exists(const QString& path) {
  struct stat st {};
  return ::lstat(native(path).c_str(), &st) == 0;
}

QString freePath(const QString& path) {
  if (!exists(path)) return path;
  QString base, ext;
  splitExtension(path, base, ext);
  for (int i = 2;; ++i) {
    QString p = QStringLiteral("%1_%2%3").arg(base).arg(i).arg(ext);
    if (!exists(p)) return p;
  }
}

bool moveFile(const QString& from, const QString& to) { return platform::moveFileReplacing(native(from), native(to)); }
bool makeDirs(const QString& dir) { return platform::makeDirectories(native(dir)); }
bool dirExists(const QString& dir) { return platform::directoryExists(native(dir)); }

}  // namespace queue

using namespace queue;

QString CSendQueue::makeStamp(const std::tm& t) { return QString::fromStdString(platform::runStamp(t)); }

QString CSendQueue::leftoverKey(const QString& name) {
  qsizetype us = name.lastIndexOf(QLatin1Char('_'));
  int len = (us >= 0 && name.size() - us == 8) ? 23 : 19;
  return name.right(len);
}

void CSendQueue::Impl::moveToDisposeStamped(const QString& fullPath, const QString& relative) {
  QString rel = relative.startsWith(QLatin1Char('/')) ? relative : QLatin1Char('/') + relative;
  QString base, ext;
  splitExtension(rel, base, ext);
  QString stamp = makeStamp(now());
  // Files of the same name moved within one second get the next page number instead of
  // replacing one another.
  QString target;
  for (int n = 1; n < 1000; ++n) {
    target = disposeDir_ + base + QStringLiteral("_%1_%2.PLT").arg(stamp).arg(n, 3, 10, QLatin1Char('0'));
    if (!exists(target)) break;
  }
  if (!moveFile(fullPath, target)) {
    log(QStringLiteral("cannot move %1 to %2").arg(fullPath, target));
    return;
  }
  settle_.forget(native(fullPath));
  QString row = target.mid(disposeDir_.size() + 1);
  appendQueued(row);
  log(QStringLiteral("queued %1 as %2").arg(fullPath, row));
  refreshSendQueueStatus();
}

}  // namespace qel::intake
