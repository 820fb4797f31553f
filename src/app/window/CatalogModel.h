#pragma once
// CatalogModel: the project's programs as the catalog list shows them, one row per catalog slot in
// slot order (workflow/CatalogListing.h), for a QTableView. Rows keep their entry's catalog index,
// so commands map a row to its program through the model, never through the row number.
//
// The model holds the texts of its last refresh(); a change of the catalog shows after the next
// refresh(). A refresh keeps the rows that remain (and so the view's selection of them), adding or
// removing rows at the end only.

#include <QAbstractTableModel>
#include <QString>

#include <vector>

#include "workflow/CatalogListing.h"

class CatalogModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  struct Row {
    int entry_index = -1;
    QString cells[kalvort::kCatalogColumnCount];
  };
  // The rows of a catalog as the list shows them, and the entries whose date could not be shown
  // (shown as `now`).
  struct Rows {
    std::vector<Row> rows;
    std::vector<int> undated;
    double now = 0;
  };

  explicit CatalogModel(QObject *parent = nullptr);

  // Reads the catalog afresh. A date that cannot be shown is replaced by the present moment, in
  // the catalog too.
  void refresh(kalvort::TDevCatalog &catalog);
  // The texts of the rows of `catalog`. Any thread, on a catalog nothing changes meanwhile: a big
  // project's rows are made off the window's thread.
  static Rows listRows(const kalvort::TDevCatalog &catalog);
  // Shows `rows`, made from the entries `catalog` holds now; the dates that could not be shown are
  // replaced in `catalog` too.
  void take(Rows rows, kalvort::TDevCatalog &catalog);

  // The catalog index of the row's program; -1 for the empty row or a row out of range.
  int entryAt(int row) const;
  // The row that shows entry `index`, or -1.
  int rowOf(int index) const;
  // The text of one cell as shown.
  QString cellText(int row, int column) const;

  int rowCount(const QModelIndex &parent = {}) const override;
  int columnCount(const QModelIndex &parent = {}) const override;
  QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex &index) const override;

  // The date and time form of the list (Russian, whatever the desktop's locale).
  static QString dateFormat();

 private:
  std::vector<Row> rows_;
};
