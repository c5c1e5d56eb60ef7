#include "intake/file_list_model.h"

namespace qel::intake {

FileListModel::FileListModel(QStringList headers, QObject* parent)
    : QAbstractTableModel(parent), headers_(std::move(headers)) {}

int FileListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : count(); }

int FileListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : std::max<int>(1, static_cast<int>(headers_.size()));
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= count()) return {};
  const Row& r = rows_[static_cast<size_t>(index.row())];
  if (role == kRowNoteRole && index.column() == 1) return QVariant::fromValue(r.note);
  if (role != Qt::DisplayRole) return {};
  return index.column() == 0 ? r.name : index.column() == 1 ? r.status : QVariant();
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= headers_.size()) return {};
  return headers_[section];
}

QString FileListModel::text(int row) const { return row >= 0 && row < count() ? rows_[size_t(row)].name : QString(); }
QString FileListModel::status(int row) const { return row >= 0 && row < count() ? rows_[size_t(row)].status : QString(); }

QStringList FileListModel::texts() const {
  QStringList out;
  out.reserve(count());
  for (const Row& r : rows_) out << r.name;
  return out;
}

int FileListModel::find(const QString& name) const {
  for (int i = 0; i < count(); ++i)
    if (rows_[size_t(i)].name == name) return i;
  return -1;
}

int FileListModel::findPrefix(const QString& prefix, int from) const {
  for (int i = std::max(0, from); i < count(); ++i)
    if (rows_[size_t(i)].name.startsWith(prefix)) return i;
  return -1;
}

void FileListModel::append(const QString& name, const QString& status) {
  beginInsertRows({}, count(), count());
  rows_.push_back({name, status, {}});
  endInsertRows();
}

void FileListModel::insert(int row, const QString& name) {
  row = std::clamp(row, 0, count());
  beginInsertRows({}, row, row);
  rows_.insert(rows_.begin() + row, Row{name, {}, {}});
  endInsertRows();
}

void FileListModel::remove(int row) {
  if (row < 0 || row >= count()) return;
  beginRemoveRows({}, row, row);
  rows_.erase(rows_.begin() + row);
  endRemoveRows();
}

void FileListModel::setText(int row, const QString& name) {
  if (row < 0 || row >= count()) return;
  rows_[size_t(row)].name = name;
  emit dataChanged(index(row, 0), index(row, 0));
}

void FileListModel::setStatus(int row, const QString& status) {
  if (row < 0 || row >= count()) return;
  rows_[size_t(row)].status = status;
  rows_[size_t(row)].note = {};
  emit dataChanged(index(row, 1), index(row, 1));
}

void FileListModel::setNote(int row, const RowNote& note) {
  if (row < 0 || row >= count()) return;
  rows_[size_t(row)].note = note;
  rows_[size_t(row)].status = englishText(note);
  emit dataChanged(index(row, 1), index(row, 1));
}

RowNote FileListModel::note(int row) const { return row >= 0 && row < count() ? rows_[size_t(row)].note : RowNote{}; }

void FileListModel::clear() {
  if (rows_.empty()) return;
  beginResetModel();
  rows_.clear();
  endResetModel();
}

void FileListModel::setTexts(const QStringList& names) {
  beginResetModel();
  rows_.clear();
  rows_.reserve(size_t(names.size()));
  for (const QString& n : names) rows_.push_back({n, {}, {}});
  endResetModel();
}

}  // namespace qel::intake
