#pragma once
// The send queue's watcher handler: keeps the waiting list up to date between two folder
// scans. Runs on the interface thread.
#include <QPointer>
#include <QString>

#include <functional>

#include "intake/dir_watcher.h"
#include "intake/file_list_model.h"

namespace qel::intake {

class CDirectoryChangeHandler_ListBox : public CDirectoryChangeHandler {
 public:
  using StatusFn = std::function<void(int pane, const QString& text)>;

  // directory: the watched folder text; filter: the accepted patterns (e.g. "*.PLT;*.HPG").
  CDirectoryChangeHandler_ListBox(FileListModel* queueList, StatusFn statusBar, QString directory, QString filter);

  void OnFileAdded(const QString& path) override;
  void OnFileRemoved(const QString& path) override;
  void OnNameChange(const QString& oldPath, const QString& newPath) override;
  void OnFileWritten(const QString& path, bool closed) override;

  // Told when a file in the folder is written to or closed by its writer (the queue's settle
  // test); any file, whatever the filter.
  using WrittenFn = std::function<void(const QString& path, bool closed)>;
  void setWrittenFn(WrittenFn fn) { written_ = std::move(fn); }

  // The extension test: the upper-cased extension (from the last dot, the whole path
  // without one) occurs in the filter text, or the filter holds "*.*".
  static bool extensionAccepted(const QString& path, const QString& upperFilter);

 private:
  // The name relative to the watched folder, or an empty text when the path lies elsewhere.
  QString relative(const QString& path) const;
  void showCount();

  QPointer<FileListModel> list_;
  StatusFn status_;
  WrittenFn written_;
  QString directory_;
  QString filter_;
};

}  // namespace qel::intake
