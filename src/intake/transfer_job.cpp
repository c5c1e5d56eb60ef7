// The transfer job of the send queue: the first file of the send queue goes over the link
// chosen by Xitong_TT on the transfer worker (or, in the CCD cut mode, to the print-and-cut
// window); a sent file moves into the printed folder and its row into the history.
#include <sys/stat.h>

#include <limits>

#include "config/ini_config.h"
#include "intake/queued_call.h"
#include "intake/send_queue_impl.h"
#include "links/send_outcome.h"

namespace qel::intake {

using namespace queue;

void CSendQueue::Impl::transferStep() {
  if (transferPaused_ || transferring_ || sendQueue_.count() == 0) return;
  if (splitMode_ == config::PageMode::CcdCut) {
    ccdCutStep();
    return;
  }
  transferring_ = true;
  if (transferThread_.joinable()) transferThread_.join();
  QString path = disposeDir_ + QLatin1Char('/') + sendQueue_.text(0);
  sendQueue_.setNote(0, {RowState::Sending});
  sendingFile_ = path;
  emit q.previewRequested(path);
  try {
    transferThread_ = std::thread(&Impl::transferWorker, this, path);
  } catch (const std::exception& e) {
    log(QStringLiteral("transfer worker for %1 cannot start: %2").arg(path, QString::fromLocal8Bit(e.what())));
    emit q.messageBox(QStringLiteral("Create Transfer Thread Fail!"));
    emit q.messageEvent(QueueMessage::TransferThreadFailed, {}, {});
    transferring_ = false;
  }
}

void CSendQueue::Impl::ccdCutStep() {
  QString path = disposeDir_ + QLatin1Char('/') + sendQueue_.text(0);
  if (!ccdCut_) {
    // The camera workflow lives in the desktop program; headless, the files wait.
    if (ccdNoticeFor_ != path) log(QStringLiteral("page mode 9: %1 waits for the CCD cut window").arg(path));
    ccdNoticeFor_ = path;
    return;
  }
  transferring_ = true;
  emit q.previewClosed();
  const int sent = ccdCut_(path);
  if (sent > 0) {
    sentCount_ += sent;
    status(QueueStatus::Sent, sentCount_);
  }
  TogglePause();
  transferring_ = false;
  // Every file still queued goes to the history.
  while (sendQueue_.count() > 0) {
    QString row = sendQueue_.text(0);
    QString name = fileNameOf(row);
    moveFile(disposeDir_ + QLatin1Char('/') + row, printedDir_ + QLatin1Char('/') + name);
    history_.append(name);
    sendQueue_.remove(0);
  }
  refreshWaitingStatus();
  refreshSendQueueStatus();
}

namespace {

FailureKind failureOf(links::SendOutcome o) {
  switch (o) {
    case links::SendOutcome::Delivered: return FailureKind::None;
    case links::SendOutcome::Unreachable: return FailureKind::MachineUnreachable;
    case links::SendOutcome::ConnectionLost: return FailureKind::ConnectionLost;
    case links::SendOutcome::Stopped: return FailureKind::SendStopped;
    case links::SendOutcome::MachineAborted: return FailureKind::MachineAborted;
    case links::SendOutcome::NoReply: return FailureKind::NoCrcReply;
    case links::SendOutcome::WrongCrc: return FailureKind::WrongCrc;
    case links::SendOutcome::TransferBroken: return FailureKind::TransferBroken;
    case links::SendOutcome::FileUnreadable: return FailureKind::PageUnreadable;
    case links::SendOutcome::Failed: break;
  }
  return FailureKind::SendFailed;
}

}  // namespace

void CSendQueue::Impl::transferWorker(QString path) {
  auto post = [this](auto fn) { postQueued(&q, std::move(fn)); };
  const std::string file = native(path);
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || cancelRequest_) {
    const bool vanished = !cancelRequest_;
    post([this, path = ownCopy(path), vanished] {
      if (vanished) sendFailed(path, FailureKind::PageVanished, {});
      else AfterSend(false, path);
    });
    waitMs(500);
    post([this] { transferDone(); });
    return;
  }
  const auto size = static_cast<std::int32_t>(std::min<qint64>(st.st_size, std::numeric_limits<std::int32_t>::max()));
  config::CIniConfig cfg(home_.toStdString());
  const int type = cfg.read(config::keys::Xitong_TT);
  const int delay = std::max(0, cfg.read(config::keys::Transfer_DelayTime));
  // Every string handed over is the receiver's alone (ownCopy, or moved).
  post([this, path = ownCopy(path), type, size] { log(QStringLiteral("sending %1 (%2 bytes, Xitong_TT=%3)").arg(path).arg(size).arg(type)); });
  links::SendResult r;
  // A type without a link can never send: the queue pauses and says so instead of retrying.
  bool noLink = false;
  // A link's exception fails this send with its text, like any other failed send.
  try {
    if (auto link = services_.links.make(type, q, file, size)) {
      r.ok = link->send();
      r.text = link->resultText();
    } else {
      noLink = true;
      r.text = "transfer type " + std::to_string(type) + " has no link in this build";
    }
  } catch (const std::exception& e) {
    r = links::SendResult{false, e.what()};
  } catch (...) {
    r = links::SendResult{false, "the link failed with an unknown error"};
  }
  if (r.ok) {
    post([this, path = ownCopy(path)] { AfterSend(true, path); });
    waitMs(std::int64_t(delay) * 2000 + (size < 2048 ? 2000 : 0));
  } else {
    const FailureKind kind = noLink ? FailureKind::NoLink : failureOf(links::classifySend(false, r.text, q.stopInForce()));
    QString text = QString::fromStdString(r.text);
    post([this, path = ownCopy(path), text = std::move(text), kind, noLink, type] {
      log(QStringLiteral("send of %1 failed%2").arg(path, text.isEmpty() ? QString() : QStringLiteral(": ") + text));
      if (noLink) status(QueueStatus::NoLink, type);
      sendFailed(path, kind, text);
    });
    waitMs(1000);
  }
  post([this] { transferDone(); });
}

void CSendQueue::Impl::sendFailed(const QString& path, FailureKind kind, const QString& detail) {
  const QString row = path.mid(disposeDir_.size() + 1);
  QueueFailure f;
  f.kind = kind;
  f.file = path;
  f.source = pageSource_.value(row);
  f.detail = detail;
  const int at = sendQueue_.find(row);
  if (kind == FailureKind::SendStopped) {
    // The operator's pause (or the shut-down) stopped it: not a fault of the file or the machine.
    if (at >= 0) sendQueue_.setNote(at, {RowState::Stopped});
    log(QStringLiteral("send of %1 stopped part-way: the machine keeps nothing of it; it is sent again from its start").arg(path));
    emit q.fileFailed(f);
    AfterSend(false, path);
    return;
  }
  failuresInARow_ = (path == lastFailedPage_ && kind == lastFailure_) ? failuresInARow_ + 1 : 1;
  lastFailedPage_ = path;
  lastFailure_ = kind;
  f.inARow = failuresInARow_;
  const bool pause = kind == FailureKind::MachineUnreachable || kind == FailureKind::NoLink ||
                     failuresInARow_ >= kRepeatsBeforePause;
  if (at >= 0) sendQueue_.setNote(at, {RowState::Failed, kind, failuresInARow_, pause});
  log(QStringLiteral("%1: %2 (%3 of %4 in a row)").arg(path, englishText(kind)).arg(failuresInARow_).arg(kRepeatsBeforePause));
  emit q.fileFailed(f);
  if (pause && !translatePaused_)
    pauseFor(failuresInARow_ >= kRepeatsBeforePause && kind != FailureKind::MachineUnreachable && kind != FailureKind::NoLink
                 ? PauseCause::RepeatedFailure
                 : PauseCause::Failure,
             f);
  AfterSend(false, path);
}

void CSendQueue::Impl::transferDone() {
  if (transferThread_.joinable()) transferThread_.join();
  transferring_ = false;
  sendingFile_.clear();
  refreshSendQueueStatus();
}

void CSendQueue::Impl::AfterSend(bool ok, const QString& path) {
  const QString name = fileNameOf(path);
  for (int i = 0; i < history_.count(); ++i) {
    if (history_.text(i).startsWith(name) && history_.status(i) == QLatin1String("Fail")) {
      history_.remove(i);
      break;
    }
  }
  if (!ok) {
    refreshSendQueueStatus();
    return;
  }
  lastFailedPage_.clear();
  lastFailure_ = FailureKind::None;
  failuresInARow_ = 0;
  resumeTries_ = 0;
  history_.append(name);
  history_.setNote(history_.count() - 1, {RowState::Sent});
  ++sentCount_;
  bool kept;
  if (keepSent_) {
    const QString printed = printedDir_ + QLatin1Char('/') + name;
    kept = moveFile(path, printed);
    // The follow preview reads the file where it is now, never where it was.
    if (kept) emit q.previewSent(printed);
  } else {
    kept = ::unlink(native(path).c_str()) == 0;
  }
  status(QueueStatus::Sent, sentCount_);
  // The row of the sent file (the first one unless the list was changed meanwhile).
  QString row = path.mid(disposeDir_.size() + 1);
  int at = sendQueue_.find(row);
  if (at >= 0) sendQueue_.remove(at);
  pageSource_.remove(row);
  log(QStringLiteral("sent %1%2").arg(path, kept ? QString() : QStringLiteral(" (left in the dispose folder)")));
  refreshSendQueueStatus();
}

}  // namespace qel::intake
