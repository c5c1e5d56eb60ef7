// The transfer job of the send queue: the first file of the send queue goes over the link
// chosen by Xitong_TT on the transfer worker (or, in the CCD cut mode, to the print-and-cut
// window); a sent file moves into the printed folder and its row into the history.
#include <sys/stat.h>

#include <limits>

#include "config/ini_config.h"
#include "intake/queued_call.h"
#include "intake/send_queue_impl.h"

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
  sendQueue_.setStatus(0, QStringLiteral("waiting..."));
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

void CSendQueue::Impl::transferWorker(QString path) {
  auto post = [this](auto fn) { postQueued(&q, std::move(fn)); };
  const std::string file = native(path);
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || cancelRequest_) {
    post([this, path = ownCopy(path)] { AfterSend(false, path); });
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
    QString text = QString::fromStdString(r.text);
    bool unreachable = links::isConnectionFailure(r.text);
    post([this, path = ownCopy(path), text = std::move(text), unreachable, noLink, type] {
      log(QStringLiteral("send of %1 failed%2").arg(path, text.isEmpty() ? QString() : QStringLiteral(": ") + text));
      if ((unreachable || noLink) && !translatePaused_) TogglePause();
      if (noLink) status(QueueStatus::NoLink, type);
      AfterSend(false, path);
    });
    waitMs(1000);
  }
  post([this] { transferDone(); });
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
  history_.append(name);
  if (history_.count() >= 2) history_.setStatus(history_.count() - 2, QString());
  history_.setStatus(history_.count() - 1, QStringLiteral("Sending..."));
  ++sentCount_;
  bool kept;
  if (keepSent_) {
    emit q.previewSent(path);
    kept = moveFile(path, printedDir_ + QLatin1Char('/') + name);
  } else {
    kept = ::unlink(native(path).c_str()) == 0;
  }
  status(QueueStatus::Sent, sentCount_);
  // The row of the sent file (the first one unless the list was changed meanwhile).
  QString row = path.mid(disposeDir_.size() + 1);
  int at = sendQueue_.find(row);
  if (at >= 0) sendQueue_.remove(at);
  log(QStringLiteral("sent %1%2").arg(path, kept ? QString() : QStringLiteral(" (left in the dispose folder)")));
  refreshSendQueueStatus();
}

}  // namespace qel::intake
