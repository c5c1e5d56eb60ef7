#pragma once
// A list of the queue (waiting, send queue, history, recycle bin) as a table model that a
// window can show: one row per file, the file name first and, for some lists, a status.
#include <QAbstractTableModel>
#include <QStringList>

#include <vector>

#include "intake/queue_failure.h"

namespace qel::intake {

// The role under which a row's RowNote is found (column 1): what happens to the file, as data
// for a window to word.
inline constexpr int kRowNoteRole = Qt::UserRole + 1;

class FileListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  // headers: column titles; an empty title list makes a list of one untitled column.
  explicit FileListModel(QStringList headers, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  int count() const { return static_cast<int>(rows_.size()); }
  QString text(int row) const;
  QString status(int row) const;
  QStringList texts() const;
  // Index of the first row whose text equals `name` (or begins with it), -1 when none.
  int find(const QString& name) const;
  int findPrefix(const QString& prefix, int from = 0) const;

  void append(const QString& name, const QString& status = {});
  void insert(int row, const QString& name);
  void remove(int row);
  void setText(int row, const QString& name);
  void setStatus(int row, const QString& status);
  // The row's note; its English text becomes the row's status.
  void setNote(int row, const RowNote& note);
  RowNote note(int row) const;
  void clear();
  // Replaces every row at once (the folder scan).
  void setTexts(const QStringList& names);

 private:
  struct Row {
    QString name;
    QString status;
    RowNote note;
  };
  QStringList headers_;
  std::vector<Row> rows_;
};

}  // namespace qel::intake
