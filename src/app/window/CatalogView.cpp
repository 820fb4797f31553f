// The catalog list: filling it in catalog-number order, the selection handler, and the catalog
// commands (create, add, drop, remove, up, down, properties, save the list).

#include <algorithm>

#include <QApplication>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QLayout>
#include <QLocale>
#include <QMimeData>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStyle>
#include <QTableView>
#include <QUrl>

#include "dialogs/FilePropDialog.h"
#include "support/UserDialogs.h"
#include "widgets/QtText.h"
#include "window/CatalogModel.h"
#include "window/EditorPane.h"
#include "window/MainWindow.h"
#include "base/SafeSave.h"
#include "project/ProjectBuild.h"
#include "workflow/CatalogListing.h"
#include "workflow/DeviceSession.h"

using namespace kalvort;

namespace {

const QString kWarning = QStringLiteral("Предупреждение");
const QString kError = QStringLiteral("Ошибка");
const QString kOpenError = QStringLiteral("Ошибка открытия файла.");
const QString kSlotTaken = QStringLiteral("Программа с таким номером существует.\nЗаменить?");

// Files dropped on the window from the desktop: local file URLs only.
class FileDropFilter : public QObject {
 public:
  FileDropFilter(MainWindow *window) : QObject(window), window_(window) {}

 protected:
  bool eventFilter(QObject *watched, QEvent *event) override {
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
      auto *drag = static_cast<QDragMoveEvent *>(event);
      if (!localFiles(drag->mimeData()).isEmpty()) {
        drag->acceptProposedAction();
        return true;
      }
    } else if (event->type() == QEvent::Drop) {
      auto *drop = static_cast<QDropEvent *>(event);
      const QStringList files = localFiles(drop->mimeData());
      if (!files.isEmpty()) {
        drop->acceptProposedAction();
        // Asked about after the drop has ended: the properties dialog must not run inside the
        // drag and drop handling, whose objects go when it ends.
        QMetaObject::invokeMethod(window_, [window = window_, files] { window->DropFiles(files); },
                                  Qt::QueuedConnection);
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  static QStringList localFiles(const QMimeData *mime) {
    QStringList files;
    if (!mime || !mime->hasUrls()) return files;
    for (const QUrl &url : mime->urls())
      if (url.isLocalFile()) files.append(url.toLocalFile());
    return files;
  }

  MainWindow *window_;
};

}  // namespace

void MainWindow::SetupCatalogView() {
  // The listed widths suit a narrow system font; a column is never narrower than its header text,
  // and the two number columns fit four digits, so nothing is cut whatever font the desktop uses.
  QHeaderView *header = CatalogTable->horizontalHeader();
  const int numberWidth = CatalogTable->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 8;
  // The date column fits a date and time of the longest form (two-digit hour), plus the cell's
  // margins.
  const QString widestDate = QDateTime(QDate(2000, 12, 28), QTime(23, 58, 58)).toString(CatalogModel::dateFormat());
  const int dateWidth = CatalogTable->fontMetrics().horizontalAdvance(widestDate) + 12;
  for (int c = 0; c < kCatalogColumnCount; ++c) {
    int width = std::max(kCatalogColumnWidths[c], header->sectionSizeHint(c));
    if (c < 2) width = std::max(width, numberWidth);
    if (c == kCatalogColumnCount - 1) width = std::max(width, dateWidth);
    CatalogTable->setColumnWidth(c, width);
  }
  CatalogTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  // The left pane starts wide enough for every column; the editor takes the rest of the window.
  const int listWidth = header->length() + 2 * CatalogTable->frameWidth() +
                        CatalogTable->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, CatalogTable) +
                        LeftPane->layout()->contentsMargins().left() + LeftPane->layout()->contentsMargins().right();
  const QList<int> sizes = MainSplitter->sizes();
  MainSplitter->setSizes({listWidth, std::max(sizes.value(0) + sizes.value(1) - listWidth, editorPane().minimumWidth())});
  CatalogTable->verticalHeader()->setDefaultSectionSize(kCatalogRowHeight);
  CatalogTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  CatalogTable->setSelectionBehavior(QAbstractItemView::SelectRows);
  CatalogTable->setSelectionMode(QAbstractItemView::ContiguousSelection);
  CatalogTable->setWordWrap(false);
  connect(CatalogTable->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { CatalogSelectionChanged(); });
  connect(CatalogTable, &QAbstractItemView::doubleClicked, this, [this] { FilePropCatalogExecute(); });
  setAcceptDrops(true);
  installEventFilter(new FileDropFilter(this));
  FilePropForm = new TFilePropForm(this);
}

TDevCatalog *MainWindow::Catalog() { return &project_.Programs(); }
const TDevCatalog *MainWindow::Catalog() const { return &project_.Programs(); }

bool MainWindow::Nc31Mode() const { return Nc31NumberingMode(DeviceType, CurrentOptions.processing); }

int MainWindow::RowEntry(int row) const { return CatalogRows->entryAt(row); }

QList<int> MainWindow::SelectedRows() const {
  QList<int> rows;
  for (const QModelIndex &index : CatalogTable->selectionModel()->selectedRows()) rows.append(index.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

int MainWindow::RowOfEntry(int index) const { return CatalogRows->rowOf(index); }

void MainWindow::SelectRows(int first, int last, bool runHandler) {
  {
    QItemSelectionModel *selection = CatalogTable->selectionModel();
    const QSignalBlocker block(selection);
    selection->clearSelection();
    const int rows = CatalogRows->rowCount();
    if (first >= 0 && first < rows) {
      last = std::clamp(last, first, rows - 1);
      const QModelIndex top = CatalogRows->index(first, 0);
      selection->select(QItemSelection(top, CatalogRows->index(last, kCatalogColumnCount - 1)),
                        QItemSelectionModel::Select);
      selection->setCurrentIndex(top, QItemSelectionModel::NoUpdate);
      CatalogTable->scrollTo(top);
    }
  }
  CatalogTable->viewport()->update();
  if (runHandler) CatalogSelectionChanged();
}

void MainWindow::FillCatalogGrid() {
  // Rows that remain keep their selection; the selection handler does not run for the refresh.
  const QSignalBlocker block(CatalogTable->selectionModel());
  CatalogRows->refresh(*Catalog());
}

void MainWindow::CatalogSelectionChanged() {
  if (CatalogSelectionMuted) {
    CatalogSelectionMuted = false;
    return;
  }
  if (!SettleUnconfirmedText()) {
    // Cancelled: the edited program stays selected, so the editor shows the entry it stores into.
    const int row = RowOfEntry(cur_catalog_entry_num);
    if (row >= 0) SelectRows(row, row, false);
    return;
  }
  const QList<int> rows = SelectedRows();
  if (rows.isEmpty()) return;
  const int index = RowEntry(rows.front());
  if (index < 0 || !Catalog()) {
    editorPane().clear();
    updateCommandStates();
    return;
  }
  cur_catalog_entry_num = index;
  cur_catalog_entry = Catalog()->Catalog(index);
  ShowCurrentEntry();
  updateCommandStates();
}

void MainWindow::CurCatalogEntryChanged() {
  const int row = RowOfEntry(cur_catalog_entry_num);
  SelectRows(row, row, true);
}

bool MainWindow::AddFile(const QString &file, int prog_num, const QString &name, bool text) {
  TDevCatalog *catalog = Catalog();
  if (!catalog) return false;
  TDevCatalogEntry entry;
  if (MakeProgramEntry(toPath(file), static_cast<uint16_t>(prog_num), toU16(name), text, Nc31Mode(), entry) !=
      AddFileResult::Added) {
    // A file that cannot be read (gone, not allowed, not a regular file, too large) is not added.
    Dialogs.error(this, kError, kOpenError);
    return false;
  }
  if (entry.cat_num >= 0) {
    const int other = catalog->GetCatalogEntryNumByCatNum(entry.cat_num);
    if (other >= 0) {
      if (Dialogs.ask(this, QMessageBox::Warning, kWarning, kSlotTaken, QMessageBox::Ok | QMessageBox::Cancel) !=
          QMessageBox::Ok)
        return false;
      catalog->RemCatalogEntry(false, other);
    }
  }
  if (!catalog->AddCatalogEntry(entry)) return false;
  cur_catalog_entry_num = catalog->CatalogCount() - 1;
  cur_catalog_entry = catalog->Catalog(cur_catalog_entry_num);
  catalog->CalculateMPStat();
  FillCatalogGrid();
  CurCatalogEntryChanged();
  return true;
}

void MainWindow::AddFiles(const QStringList &files, bool cancelStops) {
  TDevCatalog *catalog = Catalog();
  if (!catalog || files.isEmpty()) return;
  FilePropForm->setWindowTitle(QStringLiteral("Добавление файла"));
  FilePropForm->for_all_visible = files.size() >= 2;
  FilePropForm->proc = CurrentOptions.processing.enabled;
  bool for_all = false;
  bool all_text = true;
  for (const QString &file : files) {
    // Only a regular file is read: a FIFO or a device would block or never end. Refused before its
    // properties are asked for.
    if (!QFileInfo(file).isFile()) {
      Dialogs.error(this, kError, kOpenError);
      continue;
    }
    const int number = ProposeProgNum(*catalog, Nc31Mode());
    const QString name = QFileInfo(file).fileName();
    bool added = false;
    if (for_all) {
      added = AddFile(file, number, name, all_text);
    } else {
      FilePropForm->des_num = number;
      FilePropForm->fname = name;
      if (FilePropForm->exec() != QDialog::Accepted) {
        if (cancelStops) return;
        continue;
      }
      if (FilePropForm->for_all) {
        for_all = true;
        all_text = FilePropForm->proc;
      }
      added = AddFile(file, FilePropForm->des_num, FilePropForm->fname, FilePropForm->proc);
    }
    if (added) project_changed = true;
  }
}

void MainWindow::DropFiles(const QStringList &files) {
  raise();
  activateWindow();
  AddFiles(files, false);
  updateCommandStates();
}

void MainWindow::AddFileToCatalogExecute() {
  const QStringList files =
      Dialogs.openFileNames(this, QStringLiteral("Добавление файла в проект"), QStringLiteral("Все файлы (*)"));
  if (files.isEmpty()) return;
  AddFiles(files, true);
  updateCommandStates();
}

void MainWindow::AddNewFileToCatalogExecute() {
  TDevCatalog *catalog = Catalog();
  if (!catalog) return;
  FilePropForm->setWindowTitle(QStringLiteral("Добавление файла"));
  FilePropForm->for_all_visible = false;
  FilePropForm->proc = true;
  FilePropForm->des_num = ProposeProgNum(*catalog, Nc31Mode());
  FilePropForm->fname = QStringLiteral("Программа");
  FilePropForm->typeGroup->setEnabled(false);
  if (FilePropForm->exec() == QDialog::Accepted) AddFile(QString(), FilePropForm->des_num, FilePropForm->fname, true);
  FilePropForm->typeGroup->setEnabled(true);
  project_changed = true;
  updateCommandStates();
}

void MainWindow::RemFileFromCatalogExecute() {
  TDevCatalog *catalog = Catalog();
  const QList<int> rows = SelectedRows();
  if (!catalog || rows.isEmpty() || RowEntry(rows.front()) < 0) return;
  if (Dialogs.ask(this, QMessageBox::Warning, kWarning, QStringLiteral("Удалить файл(ы)?"),
                  QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) != QMessageBox::Ok)
    return;
  QList<int> entries;
  for (int row : rows)
    if (const int index = RowEntry(row); index >= 0) entries.append(index);
  // Highest index first, so the indices still to remove stay valid.
  std::sort(entries.begin(), entries.end(), std::greater<int>());
  for (int index : entries) catalog->RemCatalogEntry(!Nc31Mode(), index);
  catalog->CalculateMPStat();
  project_changed = true;
  FillCatalogGrid();
  const int row = std::min(rows.front(), CatalogRows->rowCount() - 1);
  SelectRows(row, row, true);
}

void MainWindow::MoveSelection(bool down) {
  TDevCatalog *catalog = Catalog();
  const QList<int> rows = SelectedRows();
  if (!catalog || rows.isEmpty()) return;
  const int first = rows.front(), last = rows.back();
  const int edge = down ? RowEntry(last) : RowEntry(first);
  if (edge < 0) return;
  if (down ? last >= CatalogRows->rowCount() - 1 || catalog->Catalog(edge).cat_num >= catalog->MaxProgNum() - 1
           : first == 0 || catalog->Catalog(edge).cat_num == 0)
    return;
  const bool by_prog_num =
      Nc31Mode() || (CurrentOptions.processing.project_type == 0 && !CurrentOptions.keep_program_numbers);
  QList<int> entries;
  for (int row : rows) entries.append(RowEntry(row));
  if (down) std::reverse(entries.begin(), entries.end());
  for (int index : entries) {
    if (index < 0) continue;
    if (down)
      by_prog_num ? catalog->CatalogEntryDownProgNum(index) : catalog->CatalogEntryDownCatNum(index);
    else
      by_prog_num ? catalog->CatalogEntryUpProgNum(index) : catalog->CatalogEntryUpCatNum(index);
  }
  FillCatalogGrid();
  cur_catalog_entry_num = entries.front();
  cur_catalog_entry = catalog->Catalog(cur_catalog_entry_num);
  project_changed = true;
  const int shift = down ? 1 : -1;
  SelectRows(first + shift, last + shift, true);
}

void MainWindow::FileUpCatalogExecute() { MoveSelection(false); }
void MainWindow::FileDownCatalogExecute() { MoveSelection(true); }

void MainWindow::FilePropCatalogExecute() {
  TDevCatalog *catalog = Catalog();
  const QList<int> rows = SelectedRows();
  if (!catalog || rows.isEmpty()) return;
  const int first = RowEntry(rows.front());
  if (first < 0) return;
  const bool nc31 = Nc31Mode();
  const TDevCatalogEntry preset = catalog->Catalog(first);
  const bool single = rows.size() == 1;
  FilePropForm->setWindowTitle(QStringLiteral("Свойства"));
  FilePropForm->for_all_visible = false;
  FilePropForm->des_num = nc31 ? RaiseNc31ProgNum(preset.prog_num) : preset.prog_num;
  FilePropForm->fname = fromU16(ByteArrayToString(preset.code, kCatalogCodeSize - 1));
  FilePropForm->proc = preset.need_p_proc;
  FilePropForm->numberEdit->setEnabled(single);
  FilePropForm->nameEdit->setEnabled(single);
  if (FilePropForm->exec() != QDialog::Accepted) return;

  // Entries by identity: a replacement below removes an entry and shifts the indices.
  std::vector<std::shared_ptr<ProgramText>> targets;
  for (int row : rows)
    if (const int index = RowEntry(row); index >= 0) targets.push_back(catalog->Catalog(index).text);
  auto indexOf = [catalog](const std::shared_ptr<ProgramText> &text) {
    for (int i = 0; i < catalog->CatalogCount(); ++i)
      if (catalog->Catalog(i).text == text) return i;
    return -1;
  };
  for (const auto &target : targets) {
    const int index = indexOf(target);
    if (index < 0) continue;
    TDevCatalogEntry e = catalog->Catalog(index);
    if (!e.need_p_proc && FilePropForm->proc) e.file_txt_valid = false;  // the text will come from the binary
    e.need_p_proc = FilePropForm->proc;
    int stored = index;
    if (single) {
      e.prog_num = static_cast<uint16_t>(FilePropForm->des_num);
      StringToCatalogEntry(toU16(FilePropForm->fname), e);
      e.cat_num = nc31 ? RaiseNc31ProgNum(FilePropForm->des_num) - 13 : -1;
      const int other = e.cat_num >= 0 ? catalog->GetCatalogEntryNumByCatNum(e.cat_num, index) : -1;
      if (other >= 0) {
        if (Dialogs.ask(this, QMessageBox::Warning, kWarning, kSlotTaken, QMessageBox::Ok | QMessageBox::Cancel) !=
            QMessageBox::Ok)
          continue;
        catalog->ChangeCatalogEntry(e, index);
        catalog->ReplaceCatalogEntry(other, index);
        stored = other < index ? other : other - 1;
      } else {
        catalog->ChangeCatalogEntry(e, index);
      }
    } else {
      e.cat_num = -1;
      catalog->ChangeCatalogEntry(e, index);
    }
    if (stored == cur_catalog_entry_num || index == cur_catalog_entry_num) cur_catalog_entry_num = stored;
    catalog->CalculateMPStat();
    FillCatalogGrid();
    CurCatalogEntryChanged();
  }
  project_changed = true;
  updateCommandStates();
}

void MainWindow::SaveCatAsTxtActionExecute() {
  QString file = Dialogs.saveFileName(this, QStringLiteral("Сохранение файла"), QStringLiteral("Каталог (*.txt)"),
                                      replaceSuffix(project_name, QStringLiteral("txt")));
  if (file.isEmpty()) return;
  file = withDefaultSuffix(file, QStringLiteral("txt"));
  if (QFileInfo::exists(file) &&
      Dialogs.ask(this, QMessageBox::Warning, kWarning, QStringLiteral("Такой файл существует. Перезаписать?"),
                  QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) != QMessageBox::Ok)
    return;
  std::vector<std::vector<std::u16string>> rows;
  std::vector<std::u16string> header;
  for (const char16_t *t : kCatalogColumnTitles) header.emplace_back(t);
  rows.push_back(std::move(header));
  for (int r = 0; r < CatalogRows->rowCount(); ++r) {
    std::vector<std::u16string> cells;
    for (int c = 0; c < kCatalogColumnCount; ++c) {
      cells.push_back(toU16(CatalogRows->text(r, c)));
    }
    rows.push_back(std::move(cells));
  }
  std::string error;
  if (!SafeSaveFile(toPath(file), CatalogListFileBytes(rows), &error))
    Dialogs.error(this, QStringLiteral("Ошибка"), QStringLiteral("Ошибка сохранения файла!"));
}
