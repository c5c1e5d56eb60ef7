// The list moves of the queue's context menus: rows and their files between the send queue,
// the history and the recycle bin, renaming in the history, and sends from the print preview.
#include "intake/send_queue_impl.h"

namespace qel::intake {

using namespace queue;

QString CSendQueue::Impl::folderOf(QueueList list) const {
  switch (list) {
    case QueueList::SendQueue: return disposeDir_;
    case QueueList::History: return printedDir_;
    case QueueList::RecycleBin: return cancelledDir_;
    case QueueList::Waiting: return watchDir_;
  }
  return {};
}

FileListModel* CSendQueue::Impl::listOf(QueueList list) {
  switch (list) {
    case QueueList::SendQueue: return &sendQueue_;
    case QueueList::History: return &history_;
    case QueueList::RecycleBin: return &bin_;
    case QueueList::Waiting: return &waiting_;
  }
  return nullptr;
}

bool CSendQueue::Impl::moveRow(QueueList from, int row, QueueList to, QString* error) {
  auto fail = [error](const QString& why) {
    if (error) *error = why;
    return false;
  };
  if (from == to || from == QueueList::Waiting || to == QueueList::Waiting) return fail(QStringLiteral("move not offered"));
  FileListModel* src = listOf(from);
  if (row < 0 || row >= src->count()) return fail(QStringLiteral("no such row"));
  if (from == QueueList::SendQueue) {
    if (!transferPaused_) return fail(QStringLiteral("the send queue must be paused first"));
    if (transferring_ && disposeDir_ + QLatin1Char('/') + src->text(row) == sendingFile_)
      return fail(QStringLiteral("the file is being sent"));
  }
  const QString text = src->text(row);
  const QString name = fileNameOf(text);
  const QString targetDir = folderOf(to);
  if (!dirExists(targetDir) && !makeDirs(targetDir)) return fail(QStringLiteral("folder %1 cannot be created").arg(targetDir));
  if (!moveFile(folderOf(from) + QLatin1Char('/') + text, targetDir + QLatin1Char('/') + name))
    return fail(QStringLiteral("%1 cannot be moved").arg(name));
  src->remove(row);
  if (to == QueueList::SendQueue) appendQueued(name);
  else listOf(to)->append(name);
  log(QStringLiteral("moved %1 from %2 to %3").arg(name, folderOf(from), targetDir));
  refreshSendQueueStatus();
  return true;
}

bool CSendQueue::Impl::modifyName(int historyRow, const QString& newName, QString* error) {
  auto fail = [error](const QString& why) {
    if (error) *error = why;
    return false;
  };
  const QString invalid = QStringLiteral("file name invalid!");
  // A new name stays a plain name inside the printed folder.
  if (newName.isEmpty() || newName.contains(QLatin1Char('/')) || newName.contains(QLatin1Char('\\')) ||
      newName.contains(QLatin1String("..")) || newName == QLatin1String(".") || newName.contains(QChar(0)))
    return fail(invalid);
  if (historyRow < 0 || historyRow >= history_.count()) return fail(QStringLiteral("no such row"));
  const QString old = history_.text(historyRow);
  if (old == newName) return true;
  const QString to = printedDir_ + QLatin1Char('/') + newName;
  // Renaming onto another sent file would lose that file.
  if (exists(to)) return fail(invalid);
  if (!moveFile(printedDir_ + QLatin1Char('/') + old, to)) return fail(QStringLiteral("%1 cannot be renamed").arg(old));
  history_.setText(historyRow, newName);
  log(QStringLiteral("renamed %1 to %2").arg(old, newName));
  return true;
}

bool CSendQueue::Impl::recordPreviewSend(QueueList from, int row) {
  if (from != QueueList::SendQueue && from != QueueList::RecycleBin) return false;
  FileListModel* src = listOf(from);
  if (row < 0 || row >= src->count()) return false;
  const QString text = src->text(row);
  if (from == QueueList::SendQueue && transferring_ && disposeDir_ + QLatin1Char('/') + text == sendingFile_) return false;
  const QString name = fileNameOf(text);
  if (!dirExists(printedDir_) && !makeDirs(printedDir_)) return false;
  if (!moveFile(folderOf(from) + QLatin1Char('/') + text, printedDir_ + QLatin1Char('/') + name)) return false;
  src->remove(row);
  history_.append(name);
  history_.setNote(history_.count() - 1, {RowState::Sent});
  ++sentCount_;
  status(QueueStatus::Sent, sentCount_);
  log(QStringLiteral("sent from the preview: %1").arg(name));
  refreshSendQueueStatus();
  return true;
}

}  // namespace qel::intake
