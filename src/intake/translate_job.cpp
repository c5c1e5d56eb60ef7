// The translate job of the send queue: the first settled file of the waiting list goes through
// the character conversion and the translator on the translate worker; its page files join the
// send queue and its source is backed up into the printed folder (or set aside when it fails).
#include "intake/queued_call.h"
#include "intake/send_queue_impl.h"
#include "platform/files.h"
#include "plot/file_code_conv.h"

namespace qel::intake {

using namespace queue;

void CSendQueue::Impl::translateStep() {
  if (translatePaused_ || translating_ || waiting_.count() == 0) return;
  // The first row whose file has stopped changing; files still being written wait.
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
  startTranslate(full);
}

bool CSendQueue::Impl::translateNow(const QString& fullPath) {
  if (translating_) return false;
  startTranslate(fullPath);
  return translating_;
}

void CSendQueue::Impl::startTranslate(const QString& full) {
  translating_ = true;
  if (translateThread_.joinable()) translateThread_.join();
  translatingFile_ = full;
  log(QStringLiteral("translating %1").arg(full));
  try {
    translateThread_ = std::thread(&Impl::translateWorker, this, full);
  } catch (const std::exception& e) {
    log(QStringLiteral("translate worker for %1 cannot start: %2").arg(full, QString::fromLocal8Bit(e.what())));
    emit q.messageBox(QStringLiteral("Creating Optimize thread failed!"));
    emit q.messageEvent(QueueMessage::TranslateThreadFailed, {}, {});
    translating_ = false;
  }
}

void CSendQueue::Impl::translateWorker(QString source) {
  auto post = [this](auto fn) { postQueued(&q, std::move(fn)); };
  const std::string src = native(source);
  // Every string handed over is the receiver's alone (ownCopy, or moved when the worker is done
  // with it).
  if (!platform::fileExists(src)) {
    post([this, source = ownCopy(source)] { AfterTranslate(false, source, {}, {}); });
    post([this] { translateDone(); });
    return;
  }
  plot::CFileCodeConv conv(src, src, clock_);
  if (!conv.convert()) {
    QString why = QString::fromStdString(conv.message());
    post([this, source = ownCopy(source), why = std::move(why)] {
      log(QStringLiteral("character conversion of %1 failed: %2").arg(source, why));
      AfterTranslate(false, source, {}, {});
    });
    post([this] { translateDone(); });
    return;
  }
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
  for (const TranslateNotice& n : r.notices) {
    if (!r.ok || n.kind != TranslateNotice::Kind::ScaleWithoutScalingPoints) continue;
    QString size = QStringLiteral("%1 x %2").arg(n.widthMm, 0, 'f', 1).arg(n.heightMm, 0, 'f', 1);
    post([this, source = ownCopy(source), size = std::move(size)] {
      log(QStringLiteral("%1 sets user units (SC) without scaling points (IP): one user unit is one plotter unit, "
                         "and the drawing comes out %2 mm")
              .arg(source, size));
      emit q.messageEvent(QueueMessage::ScaleWithoutScalingPoints, source, size);
    });
  }
  if (r.ok) {
    QStringList outputs;
    for (const std::string& o : r.outputs) outputs << fromNative(o);
    post([this, source = ownCopy(source), stamp = ownCopy(stamp), outputs = std::move(outputs)] {
      AfterTranslate(true, source, stamp, outputs);
    });
  } else {
    QString why = QString::fromStdString(r.error);
    post([this, source = ownCopy(source), why = std::move(why)] {
      log(QStringLiteral("dispose of %1 failed: %2").arg(source, why));
      AfterTranslate(false, source, {}, {});
    });
    QString target;
    bool moved = false;
    if (dirExists(undisposedDir_) || makeDirs(undisposedDir_)) {
      target = freePath(undisposedDir_ + QLatin1Char('/') + fileNameOf(source));
      moved = moveFile(source, target);
    }
    const bool rolling = r.splitMode == config::PageMode::Rolling;
    post([this, source = ownCopy(source), target = std::move(target), moved, rolling] {
      if (moved) {
        log(QStringLiteral("moved %1 to %2").arg(source, target));
        // Only the rolling split fails on a width; other modes fail for reasons already logged.
        if (rolling) {
          emit q.messageBox(QStringLiteral("the file: %1 's width is out of range, it will be moved to: %2").arg(source, target));
          emit q.messageEvent(QueueMessage::WidthOutOfRange, source, target);
        }
      } else {
        // Left in place: not taken again until it changes or the queue restarts.
        done_.insert(native(source));
        log(QStringLiteral("cannot move %1 to the undisposed folder").arg(source));
      }
    });
  }
  waitMs(1000);
  post([this] { translateDone(); });
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
  for (const QString& out : outputs) {
    QString prefix = disposeDir_ + QLatin1Char('/');
    sendQueue_.append(out.startsWith(prefix) ? out.mid(prefix.size()) : fileNameOf(out));
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
  seen_.erase(native(source));
  log(QStringLiteral("translated %1 into %2 file(s)%3")
          .arg(source)
          .arg(outputs.size())
          .arg(backedUp ? (keepSent_ ? QStringLiteral(", source kept as ") + target : QStringLiteral(", source deleted"))
                        : QStringLiteral(", source could not be backed up")));
  refreshWaitingStatus();
  refreshSendQueueStatus();
}

}  // namespace qel::intake
