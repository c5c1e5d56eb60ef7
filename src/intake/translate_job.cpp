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
  if (translatePaused_ || translating_ || waiting_.count() == 0) return;
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

void CSendQueue::Impl::translateWorker(QString source, std::optional<FileLook> expected, QString copyFrom) {
  auto post = [this](auto fn) { postQueued(&q, std::move(fn)); };
  // Every string handed over is the receiver's alone (ownCopy, or moved when the worker is done
  // with it).
  auto fail = [&](FailureKind kind, const QString& detail) {
    QueueFailure f;
    f.kind = kind;
    f.file = ownCopy(source);
    f.detail = ownCopy(detail);
    post([this, f = std::move(f)] {
      AfterTranslate(false, f.file, {}, {});
      translateFailed(f);
    });
    post([this] { translateDone(); });
  };
  std::string src = native(source);
  if (!copyFrom.isEmpty()) {
    // Copied under a name the scan does not list, then renamed: the scan never sees half a copy.
    const std::string part = native(source.left(source.lastIndexOf(QLatin1Char('/')) + 1) + QLatin1Char('.') +
                                    fileNameOf(source) + QStringLiteral(".part"));
    if (!platform::copyFile(native(copyFrom), part) || ::rename(part.c_str(), src.c_str()) != 0) {
      ::unlink(part.c_str());
      fail(FailureKind::Unreadable, QStringLiteral("%1 cannot be copied into the watch folder").arg(copyFrom));
      return;
    }
  }
  if (!platform::fileExists(src)) {
    fail(FailureKind::SourceVanished, {});
    return;
  }
  const std::optional<FileLook> before = lookAt(src);
  if (expected && before != expected) {
    fail(FailureKind::ChangedWhileRead, QStringLiteral("it changed after it had settled"));
    return;
  }
  plot::CFileCodeConv conv(src, src, clock_);
  if (!conv.convert()) {
    fail(FailureKind::ConversionFailed, QString::fromStdString(conv.message()));
    return;
  }
  // What the pipeline reads (the conversion may have rewritten the file).
  const std::optional<FileLook> read = lookAt(src);
  QString stamp = makeStamp(now());
  waitMs(100);
  TranslateResult r;
  makeDirs(disposeDir_);
  if (services_.translator) {
    // A translator's exception fails this file with its text; the queue goes on.
    try {
      r = services_.translator->translate(home_.toStdString(), src, native(disposeDir_), stamp.toStdString());
    } catch (const std::exception& e) {
      r = TranslateResult{};
      r.error = e.what();
    } catch (...) {
      r = TranslateResult{};
      r.error = "the translator failed with an exception that carries no text";
    }
  } else {
    r.error = "no translator";
  }
  if (r.ok && lookAt(src) != read) {
    // Written to while it was read: its pages may hold half of it. They go, and the file is
    // read again once it has settled.
    for (const std::string& o : r.outputs) ::unlink(o.c_str());
    fail(FailureKind::ChangedWhileRead, QStringLiteral("it was written to while it was read"));
    return;
  }
  if (r.ok) {
    QStringList outputs;
    for (const std::string& o : r.outputs) outputs << fromNative(o);
    post([this, source = ownCopy(source), stamp = ownCopy(stamp), outputs = std::move(outputs)] {
      AfterTranslate(true, source, stamp, outputs);
    });
  } else {
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
    post([this, f = std::move(f), moved] {
      log(QStringLiteral("dispose of %1 failed: %2").arg(f.file, f.detail));
      AfterTranslate(false, f.file, {}, {});
      if (moved) {
        log(QStringLiteral("moved %1 to %2").arg(f.file, f.movedTo));
      } else {
        // Left in place: not taken again until it changes or the queue restarts.
        done_.insert(native(f.file));
        log(QStringLiteral("cannot move %1 to the undisposed folder").arg(f.file));
      }
      translateFailed(f);
    });
  }
  waitMs(1000);
  post([this] { translateDone(); });
}

void CSendQueue::Impl::translateFailed(const QueueFailure& f) {
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
    waiting_.insert(0, rowFor(source));
    refreshWaitingStatus();
    return;
  }
  const QString prefix = disposeDir_ + QLatin1Char('/');
  for (const QString& out : outputs) {
    const QString row = out.startsWith(prefix) ? out.mid(prefix.size()) : fileNameOf(out);
    pageSource_.insert(row, source);
    appendQueued(row);
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
}

}  // namespace qel::intake
