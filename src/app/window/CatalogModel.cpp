#include "window/CatalogModel.h"

#include <QDateTime>
#include <QLocale>

#include "widgets/QtText.h"

using namespace kalvort;

namespace {

QDateTime oleToDateTime(double date, bool &ok) {
  OleDateParts p;
  ok = OleDateToParts(date, p);
  if (!ok) return {};
  return QDateTime(QDate(p.year, p.month, p.day), QTime(p.hour, p.minute, p.second));
}

}  // namespace

CatalogModel::CatalogModel(QObject *parent) : QAbstractTableModel(parent), rows_(1) {}

QString CatalogModel::dateFormat() {
  const QLocale locale(QLocale::Russian, QLocale::Russia);
  QString time = locale.timeFormat(QLocale::LongFormat);
  time.remove(QLatin1Char('t'));  // no time zone
  return locale.dateFormat(QLocale::ShortFormat) + QLatin1Char(' ') + time.trimmed();
}

void CatalogModel::refresh(TDevCatalog &catalog) { take(listRows(catalog), catalog); }

CatalogModel::Rows CatalogModel::listRows(const TDevCatalog &catalog) {
  const std::vector<CatalogListRow> listed = CatalogListRows(catalog);
  const QString format = dateFormat();
  Rows made;
  made.now = NowAsOleDate();
  std::vector<Row> &rows = made.rows;
  rows.resize(listed.size());
  for (size_t r = 0; r < listed.size(); ++r) {
    const CatalogListRow &from = listed[r];
    Row &row = rows[r];
    row.entry_index = from.entry_index;
    if (from.entry_index < 0) continue;
    for (int c = 0; c < kCatalogColumnCount - 1; ++c) row.cells[c] = fromU16(from.cells[static_cast<size_t>(c)]);
    bool ok = false;
    QDateTime when = oleToDateTime(from.date, ok);
    if (!ok) {
      made.undated.push_back(from.entry_index);
      when = oleToDateTime(made.now, ok);
    }
    row.cells[kCatalogColumnCount - 1] = when.toString(format);
  }
  return made;
}

void CatalogModel::take(Rows made, TDevCatalog &catalog) {
  for (const int index : made.undated) {
    TDevCatalogEntry e = catalog.Catalog(index);
    e.date = made.now;
    catalog.SetCatalog(index, e);
  }
  std::vector<Row> rows = std::move(made.rows);
  // Rows that remain keep their place; the difference is added or removed at the end.
  const int before = static_cast<int>(rows_.size());
  const int after = static_cast<int>(rows.size());
  if (after > before) {
    beginInsertRows({}, before, after - 1);
    rows_ = std::move(rows);
    endInsertRows();
  } else if (after < before) {
    beginRemoveRows({}, after, before - 1);
    rows_ = std::move(rows);
    endRemoveRows();
  } else {
    rows_ = std::move(rows);
  }
  if (after > 0) emit dataChanged(index(0, 0), index(after - 1, kCatalogColumnCount - 1));
}

int CatalogModel::entryAt(int row) const {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return -1;
  return rows_[static_cast<size_t>(row)].entry_index;
}

int CatalogModel::rowOf(int index) const {
  if (index < 0) return -1;
  for (size_t r = 0; r < rows_.size(); ++r)
    if (rows_[r].entry_index == index) return static_cast<int>(r);
  return -1;
}

QString CatalogModel::cellText(int row, int column) const {
  if (row < 0 || row >= static_cast<int>(rows_.size()) || column < 0 || column >= kCatalogColumnCount) return {};
  return rows_[static_cast<size_t>(row)].cells[column];
}

int CatalogModel::rowCount(const QModelIndex &parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int CatalogModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : kCatalogColumnCount; }

QVariant CatalogModel::data(const QModelIndex &index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) return cellText(index.row(), index.column());
  if (role == Qt::UserRole && index.column() == 0) return entryAt(index.row());
  return {};
}

QVariant CatalogModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kCatalogColumnCount) return {};
  if (role == Qt::DisplayRole) return fromU16(kCatalogColumnTitles[static_cast<size_t>(section)]);
  return {};
}

Qt::ItemFlags CatalogModel::flags(const QModelIndex &index) const {
  return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
}
