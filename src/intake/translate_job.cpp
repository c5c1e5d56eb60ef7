// The translate job of the send queue: the first settled file of the waiting list goes through
// the character conversion and the translator on the translate worker; its page files join the
// send queue and its source is backed up into the printed folder (or set aside when it fails).
// A source that changed while it was read gives no pages: it is read again once it has settled.
#include <sys/stat.h>
#include <unistd.h>

#include "intake/queued_call.h"
#include "intake/send_queue_impl.h"
#include "platform/files.h"
#include "plot/file_code_conv.h"

namespace qel::intake {

using namespace queue;

namespace {

std::optional<FileLook> lookAt(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileLook{st.st_size, std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

}  // namespace

void CSendQueue::Impl::translateStep() {
  if (translatePaused_ || translating_) return;
  // A front end's jobs go before the watch folder's files.
  if (startNextJob() || waiting_.count() == 0) return;
  // The first row whose file has settled; files still being written wait.
  int pick = -1;
  for (int i = 0; i < waiting_.count(); ++i) {
    if (isStable(watchDir_ + waiting_.text(i))) {
      pick = i;
      break;
    }
  }
  if (pick < 0) return;
  QString full = watchDir_ + waiting_.text(pick);
  waiting_.remove(pick);
  startTranslate(full, settle_.settledLook(native(full)));
}

bool CSendQueue::Impl::translateNow(const QString& fullPath) {
  if (translating_) return false;
  const QString inside = stripTrailingSeparator(watchDir_) + QLatin1Char('/');
  if (fullPath.startsWith(inside)) {
    startTranslate(fullPath, std::nullopt);
  } else {
    // The operator's own file stays where it is: its copy in the watch folder is what is
    // processed, backed up or set aside.
    startTranslate(freePath(inside + fileNameOf(fullPath)), std::nullopt, fullPath);
  }
  return translating_;
}

void CSendQueue::Impl::startTranslate(const QString& full, std::optional<FileLook> expected, const QString& copyFrom) {
  translating_ = true;
  if (translateThread_.joinable()) translateThread_.join();
  translatingFile_ = full;
  log(copyFrom.isEmpty() ? QStringLiteral("translating %1").arg(full)
                         : QStringLiteral("translating %1 (a copy of %2)").arg(full, copyFrom));
  try {
    translateThread_ = std::thread(&Impl::translateWorker, this, full, expected, copyFrom);
  } catch (const std::exception& e) {
    log(QStringLiteral("translate worker for %1 cannot start: %2").arg(full, QString::fromLocal8Bit(e.what())));
    emit q.messageBox(QStringLiteral("Creating Optimize thread failed!"));
    emit q.messageEvent(QueueMessage::TranslateThreadFailed, {}, {});
    translating_ = false;
  }
}

// Worker side: a file that failed before the translator could read it. Every string handed over
// is the receiver's alone (ownCopy, or moved when the worker is done with it).
void CSendQueue::Impl::failOnWorker(const QString& source, FailureKind kind, const QString& detail) {
  QueueFailure f;
  f.kind = kind;
  f.file = ownCopy(source);
  f.detail = ownCopy(detail);
  postQueued(&q, [this, f = std::move(f)] {
    AfterTranslate(false, f.file, {}, {});
    translateFailed(f);
  });
  postQueued(&q, [this] { translateDone(); });
}

// Worker side: the translator's run; an exception fails this file with its text, the queue goes on.
TranslateResult CSendQueue::Impl::runTranslator(const std::string& src, const QString& stamp) {
  TranslateResult r;
  if (!services_.translator) {
    r.error = "no translator";
    return r;
  }
  try {
    r = services_.translator->translate(home_.toStdString(), src, native(disposeDir_), stamp.toStdString());
  } catch (const std::exception& e) {
    r = TranslateResult{};
    r.error = e.what();
  } catch (...) {
    r = TranslateResult{};
    r.error = "the translator failed with an exception that carries no text";
  }
  return r;
}

// Worker side: what the reading noticed and the operator should know, said once per file.
void CSendQueue::Impl::reportNotices(const QString& source, const TranslateResult& r) {
  for (const TranslateNotice& n : r.notices) {
    if (!r.ok || n.kind != TranslateNotice::Kind::ScaleWithoutScalingPoints) continue;
    QString size = QStringLiteral("%1 x %2").arg(n.widthMm, 0, 'f', 1).arg(n.heightMm, 0, 'f', 1);
    postQueued(&q, [this, source = ownCopy(source), size = std::move(size)] {
      log(QStringLiteral("%1 sets user units (SC) without scaling points (IP): one user unit is one plotter unit, "
                         "and the drawing comes out %2 mm")
              .arg(source, size));
      emit q.messageEvent(QueueMessage::ScaleWithoutScalingPoints, source, size);
    });
  }
}

// Worker side: a file the translator refused goes to the undisposed folder (or, where it cannot
// be moved, is left in place and not taken again until it changes or the queue restarts).
void CSendQueue::Impl::reportRejected(const QString& source, const TranslateResult& r) {
  QueueFailure f;
  f.kind = r.failure;
  f.file = ownCopy(source);
  f.detail = QString::fromStdString(r.error);
  bool moved = false;
  if (dirExists(undisposedDir_) || makeDirs(undisposedDir_)) {
    const QString target = freePath(undisposedDir_ + QLatin1Char('/') + fileNameOf(source));
    moved = moveFile(source, target);
    if (moved) f.movedTo = target;
  }
  postQueued(&q, [this, f = std::move(f), moved] {
    log(QStringLiteral("dispose of %1 failed: %2").arg(f.file, f.detail));
    AfterTranslate(false, f.file, {}, {});
    if (moved) {
      log(QStringLiteral("moved %1 to %2").arg(f.file, f.movedTo));
    } else {
      done_.insert(native(f.file));
      log(QStringLiteral("cannot move %1 to the undisposed folder").arg(f.file));
    }
    translateFailed(f);
  });
}

void CSendQueue::Impl::translateWorker(QString source, std::optional<FileLook> expected, QString copyFrom) {
  std::string src = native(source);
  if (!copyFrom.isEmpty()) {
    // Copied under a name the scan does not list, then renamed: the scan never sees half a copy.
    const std::string part = native(source.left(source.lastIndexOf(QLatin1Char('/')) + 1) + QLatin1Char('.') +
                                    fileNameOf(source) + QStringLiteral(".part"));
    if (!platform::copyFile(native(copyFrom), part) || ::rename(part.c_str(), src.c_str()) != 0) {
      ::unlink(part.c_str());
      failOnWorker(source, FailureKind::Unreadable, QStringLiteral("%1 cannot be copied into the watch folder").arg(copyFrom));
      return;
    }
  }
  if (!platform::fileExists(src)) {
    failOnWorker(source, FailureKind::SourceVanished, {});
    return;
  }
  const std::optional<FileLook> before = lookAt(src);
  if (expected && before != expected) {
    failOnWorker(source, FailureKind::ChangedWhileRead, QStringLiteral("it changed after it had settled"));
    return;
  }
  plot::CFileCodeConv conv(src, src, clock_);
  if (!conv.convert()) {
    failOnWorker(source, FailureKind::ConversionFailed, QString::fromStdString(conv.message()));
    return;
  }
  // What the pipeline reads (the conversion may have rewritten the file).
  const std::optional<FileLook> read = lookAt(src);
  QString stamp = makeStamp(now());
  waitMs(100);
  makeDirs(disposeDir_);
  const TranslateResult r = runTranslator(src, stamp);
  if (r.ok && lookAt(src) != read) {
    // Written to while it was read: its pages may hold half of it. They go, and the file is
    // read again once it has settled.
    for (const std::string& o : r.outputs) ::unlink(o.c_str());
    failOnWorker(source, FailureKind::ChangedWhileRead, QStringLiteral("it was written to while it was read"));
    return;
  }
  reportNotices(source, r);
  if (r.ok) {
    QStringList outputs;
    for (const std::string& o : r.outputs) outputs << fromNative(o);
    postQueued(&q, [this, source = ownCopy(source), stamp = ownCopy(stamp), outputs = std::move(outputs)] {
      AfterTranslate(true, source, stamp, outputs);
    });
  } else {
    reportRejected(source, r);
  }
  waitMs(1000);
  postQueued(&q, [this] { translateDone(); });
}

void CSendQueue::Impl::translateFailed(const QueueFailure& f) {
  if (jobTranslateFailed(f)) {
    emit q.fileFailed(f);
    return;
  }
  switch (f.kind) {
    case FailureKind::ChangedWhileRead:
    case FailureKind::SourceVanished:
      // Not a fault of the file: it is read again once it has settled (or it is gone).
      settle_.forget(native(f.file));
      log(QStringLiteral("%1: %2; it is read again once it has settled").arg(f.file, englishText(f.kind)));
      break;
    case FailureKind::ConversionFailed:
      log(QStringLiteral("character conversion of %1 failed: %2").arg(f.file, f.detail));
      break;
    default:
      if (f.kind == FailureKind::WiderThanPage && !f.movedTo.isEmpty()) {
        emit q.messageBox(QStringLiteral("the file: %1 's width is out of range, it will be moved to: %2").arg(f.file, f.movedTo));
        emit q.messageEvent(QueueMessage::WidthOutOfRange, f.file, f.movedTo);
      } else {
        emit q.messageBox(QStringLiteral("the file: %1 cannot be cut: %2%3")
                              .arg(f.file, englishText(f.kind),
                                   f.movedTo.isEmpty() ? QString() : QStringLiteral(", it was moved to: ") + f.movedTo));
      }
      break;
  }
  emit q.fileFailed(f);
}

void CSendQueue::Impl::translateDone() {
  if (translateThread_.joinable()) translateThread_.join();
  translating_ = false;
  translatingFile_.clear();
}

void CSendQueue::Impl::AfterTranslate(bool ok, const QString& source, const QString& stamp, const QStringList& outputs) {
  if (!ok) {
    // A front end's job is not a file of the watch folder: translateFailed ends it.
    if (jobOfFile(source)) return;
    waiting_.insert(0, rowFor(source));
    refreshWaitingStatus();
    return;
  }
  const QString prefix = disposeDir_ + QLatin1Char('/');
  QStringList rows;
  for (const QString& out : outputs) {
    const QString row = out.startsWith(prefix) ? out.mid(prefix.size()) : fileNameOf(out);
    pageSource_.insert(row, source);
    appendQueued(row);
    rows << row;
  }
  bool backedUp;
  QString target;
  if (keepSent_) {
    QString base, ext;
    splitExtension(fileNameOf(source), base, ext);
    target = freePath(printedDir_ + QStringLiteral("/%1_%2%3").arg(base, stamp, ext));
    backedUp = moveFile(source, target);
  } else {
    backedUp = ::unlink(native(source).c_str()) == 0;
  }
  status(backedUp ? QueueStatus::BackupSuccess : QueueStatus::BackupFail);
  if (!backedUp) done_.insert(native(source));
  settle_.forget(native(source));
  log(QStringLiteral("translated %1 into %2 file(s)%3")
          .arg(source)
          .arg(outputs.size())
          .arg(backedUp ? (keepSent_ ? QStringLiteral(", source kept as ") + target : QStringLiteral(", source deleted"))
                        : QStringLiteral(", source could not be backed up")));
  refreshWaitingStatus();
  refreshSendQueueStatus();
  jobTranslated(source, rows, backedUp && keepSent_ ? target : QString());
}

}  // namespace qel::intake
