#include "intake/list_box_handler.h"

namespace qel::intake {

CDirectoryChangeHandler_ListBox::CDirectoryChangeHandler_ListBox(FileListModel* queueList, StatusFn statusBar,
                                                                 QString directory, QString filter)
    : list_(queueList), status_(std::move(statusBar)), directory_(std::move(directory)), filter_(filter.toUpper()) {}

bool CDirectoryChangeHandler_ListBox::extensionAccepted(const QString& path, const QString& upperFilter) {
  if (upperFilter.contains(QLatin1String("*.*"))) return true;
  qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
  QString ext = (dot < 0 ? path : path.mid(dot)).toUpper();
  return upperFilter.contains(ext);
}

QString CDirectoryChangeHandler_ListBox::relative(const QString& path) const {
  if (directory_.isEmpty() || !path.startsWith(directory_)) return {};
  QString rest = path.mid(directory_.size());
  qsizetype i = 0;
  while (i < rest.size() && rest[i] == QLatin1Char(' ')) ++i;
  return rest.mid(i);
}

void CDirectoryChangeHandler_ListBox::showCount() {
  if (status_ && list_) status_(0, QStringLiteral("Waiting File: %1").arg(list_->count()));
}

void CDirectoryChangeHandler_ListBox::OnFileAdded(const QString& path) {
  if (!list_ || !extensionAccepted(path, filter_)) return;
  QString rel = relative(path);
  if (rel.isEmpty()) return;
  list_->append(rel);
  showCount();
}

void CDirectoryChangeHandler_ListBox::OnFileRemoved(const QString& path) {
  if (!list_) return;
  QString rel = relative(path);
  if (rel.isEmpty()) return;
  for (int i = list_->findPrefix(rel); i >= 0; i = list_->findPrefix(rel, i)) {
    list_->remove(i);
    showCount();
  }
}

void CDirectoryChangeHandler_ListBox::OnNameChange(const QString& oldPath, const QString& newPath) {
  if (!list_) return;
  QString oldRel = relative(oldPath);
  if (oldRel.isEmpty()) return;
  const bool newAccepted = extensionAccepted(newPath, filter_);
  QString newRel = relative(newPath);
  for (int i = list_->findPrefix(oldRel); i >= 0; i = list_->findPrefix(oldRel, i)) {
    list_->remove(i);
    if (newAccepted && !newRel.isEmpty()) {
      list_->insert(i, newRel);
      showCount();
      return;
    }
  }
}

void CDirectoryChangeHandler_ListBox::OnFileWritten(const QString& path, bool closed) {
  if (written_) written_(path, closed);
}

}  // namespace qel::intake
