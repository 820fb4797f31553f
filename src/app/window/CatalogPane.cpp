#include "window/CatalogPane.h"

#include <algorithm>
#include <memory>

#include <QAction>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QSignalBlocker>
#include <QStyle>
#include <QTableView>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include "base/SafeSave.h"
#include "dialogs/FilePropertiesDialog.h"
#include "project/Options.h"
#include "project/Project.h"
#include "project/ProjectBuild.h"
#include "support/Actions.h"
#include "support/UserDialogs.h"
#include "widgets/QtText.h"
#include "window/CatalogModel.h"
#include "window/ProjectDocument.h"
#include "workflow/CatalogListing.h"

using namespace kalvort;
using kalvort::workflow::Command;

namespace {

const QString kWarning = QStringLiteral("Предупреждение");
const QString kError = QStringLiteral("Ошибка");
const QString kOpenError = QStringLiteral("Ошибка открытия файла.");
const QString kSlotTaken = QStringLiteral("Программа с таким номером существует.\nЗаменить?");

struct ActionSpec {
  Command command;
  kalvort::app::ActionText text;
};

// In the order of the window's main action list. "Удалить файл из проекта" shares Ctrl+X with the
// editor's "Вырезать": each acts only where its pane has the focus.
const ActionSpec kActions[] = {
    {Command::AddFiles, {"AddFileToCatalog", "Добавить файл в проект", "Добавить файл(ы)", QKeySequence(Qt::CTRL | Qt::Key_I), "list-add"}},
    {Command::NewFile, {"AddNewFileToCatalog", "Создать файл в проекте", nullptr, QKeySequence(Qt::CTRL | Qt::Key_W), "document-new"}},
    {Command::RemoveFiles, {"RemFileFromCatalog", "Удалить файл из проекта", "Удалить файл(ы)", QKeySequence(Qt::CTRL | Qt::Key_X), "list-remove"}},
    {Command::FileProperties, {"FilePropCatalog", "Свойства файла", "Свойства файла(ов)", QKeySequence(Qt::ALT | Qt::Key_Return), "document-properties"}},
    {Command::MoveUp, {"FileUpCatalog", "Вверх по каталогу", nullptr, QKeySequence(Qt::CTRL | Qt::Key_U), "go-up"}},
    {Command::MoveDown, {"FileDownCatalog", "Вниз по каталогу", nullptr, QKeySequence(Qt::CTRL | Qt::Key_D), "go-down"}},
    {Command::SaveList, {"SaveCatAsTxtAction", "Сохранить список файлов", nullptr, {}, "document-save-as"}},
};

// Files dropped from the desktop: local file URLs only.
class FileDropFilter : public QObject {
 public:
  FileDropFilter(QObject *parent, std::function<void(const QStringList &)> drop)
      : QObject(parent), drop_(std::move(drop)) {}

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
        QMetaObject::invokeMethod(this, [this, files] { drop_(files); }, Qt::QueuedConnection);
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

  std::function<void(const QStringList &)> drop_;
};

}  // namespace

CatalogPane::CatalogPane(ProjectDocument &document, UserDialogs &dialogs, QWidget *parent)
    : QWidget(parent), document_(document), dialogs_(dialogs) {
  createActions();
  createWidgets();
  setColumnWidths();
}

FilePropertiesDialog &CatalogPane::propertiesDialog() {
  if (!properties_dialog_) properties_dialog_ = new FilePropertiesDialog(this);
  return *properties_dialog_;
}

void CatalogPane::createActions() {
  for (const ActionSpec &def : kActions) {
    QAction *action = kalvort::app::MakeAction(def.text, this);
    // The shortcuts act while the focus is in the pane: that keeps the shared Ctrl+X apart.
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(action);
    actions_.emplace_back(def.command, action);
  }
  connect(action(Command::AddFiles), &QAction::triggered, this, &CatalogPane::addFilesFromDialog);
  connect(action(Command::NewFile), &QAction::triggered, this, &CatalogPane::addNewFile);
  connect(action(Command::RemoveFiles), &QAction::triggered, this, &CatalogPane::removeSelected);
  connect(action(Command::FileProperties), &QAction::triggered, this, &CatalogPane::editProperties);
  connect(action(Command::MoveUp), &QAction::triggered, this, [this] { moveSelection(false); });
  connect(action(Command::MoveDown), &QAction::triggered, this, [this] { moveSelection(true); });
  connect(action(Command::SaveList), &QAction::triggered, this, &CatalogPane::saveList);
}

// The tool bar, the list and the list's context menu.
void CatalogPane::createWidgets() {
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);

  const QString title = QStringLiteral("Каталог");
  toolBar_ = new QToolBar(title, this);
  toolBar_->setObjectName(title);
  toolBar_->setIconSize(QSize(18, 18));
  toolBar_->setAccessibleName(title);
  for (Command c : {Command::NewFile, Command::AddFiles, Command::RemoveFiles, Command::FileProperties,
                    Command::MoveUp, Command::MoveDown})
    toolBar_->addAction(action(c));
  layout->addWidget(toolBar_);

  model_ = new CatalogModel(this);
  view_ = new QTableView(this);
  view_->setModel(model_);
  view_->setObjectName(QStringLiteral("CatalogTable"));
  view_->setAccessibleName(title);
  view_->verticalHeader()->hide();
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->verticalHeader()->setDefaultSectionSize(kCatalogRowHeight);
  view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setSelectionMode(QAbstractItemView::ContiguousSelection);
  view_->setWordWrap(false);
  layout->addWidget(view_, 1);
  setFocusProxy(view_);
  connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &CatalogPane::onSelectionChanged);
  connect(view_, &QAbstractItemView::doubleClicked, this, &CatalogPane::editProperties);

  contextMenu_ = new QMenu(this);
  for (Command c : {Command::NewFile, Command::AddFiles, Command::RemoveFiles, Command::FileProperties,
                    Command::SaveList})
    contextMenu_->addAction(action(c));
  contextMenu_->addSeparator();
  contextActionsEnd_ = contextMenu_->addSeparator();
  contextMenu_->addAction(action(Command::MoveUp));
  contextMenu_->addAction(action(Command::MoveDown));
  view_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(view_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint &pos) { contextMenu_->popup(view_->viewport()->mapToGlobal(pos)); });
}

void CatalogPane::setColumnWidths() {
  // The listed widths suit a narrow system font; a column is never narrower than its header text,
  // and the two number columns fit four digits, so nothing is cut whatever font the desktop uses.
  QHeaderView *header = view_->horizontalHeader();
  const int numberWidth = view_->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 8;
  // The date column fits a date and time of the longest form (two-digit hour), plus the cell's
  // margins.
  const QString widestDate = QDateTime(QDate(2000, 12, 28), QTime(23, 58, 58)).toString(CatalogModel::dateFormat());
  const int dateWidth = view_->fontMetrics().horizontalAdvance(widestDate) + 12;
  for (int c = 0; c < kCatalogColumnCount; ++c) {
    int width = std::max(kCatalogColumnWidths[c], header->sectionSizeHint(c));
    if (c < 2) width = std::max(width, numberWidth);
    if (c == kCatalogColumnCount - 1) width = std::max(width, dateWidth);
    view_->setColumnWidth(c, width);
  }
  header->setSectionResizeMode(QHeaderView::Interactive);
}

int CatalogPane::preferredListWidth() const {
  return view_->horizontalHeader()->length() + 2 * view_->frameWidth() +
         view_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view_);
}

QAction *CatalogPane::action(Command command) const {
  for (const auto &[c, a] : actions_)
    if (c == command) return a;
  return nullptr;
}

void CatalogPane::applyCommands(const workflow::CommandSet &enabled) {
  for (const auto &[command, a] : actions_) a->setEnabled(workflow::Has(enabled, command));
}

void CatalogPane::setContextActions(const QList<QAction *> &actions) {
  contextMenu_->insertActions(contextActionsEnd_, actions);
}

void CatalogPane::takeFileDropsOn(QWidget &target) {
  target.setAcceptDrops(true);
  target.installEventFilter(new FileDropFilter(this, [this](const QStringList &files) { dropFiles(files); }));
}

const CatalogModel &CatalogPane::model() const { return *model_; }

int CatalogPane::entryAt(int row) const { return model_->entryAt(row); }

int CatalogPane::rowOf(int index) const { return model_->rowOf(index); }

QList<int> CatalogPane::selectedRows() const {
  QList<int> rows;
  for (const QModelIndex &index : view_->selectionModel()->selectedRows()) rows.append(index.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

int CatalogPane::selectedEntry() const {
  const QList<int> rows = selectedRows();
  return rows.isEmpty() ? -1 : entryAt(rows.front());
}

void CatalogPane::selectRows(int first, int last, bool notify) {
  {
    QItemSelectionModel *selection = view_->selectionModel();
    const QSignalBlocker block(selection);
    selection->clearSelection();
    const int rows = model_->rowCount();
    if (first >= 0 && first < rows) {
      last = std::clamp(last, first, rows - 1);
      const QModelIndex top = model_->index(first, 0);
      selection->select(QItemSelection(top, model_->index(last, kCatalogColumnCount - 1)),
                        QItemSelectionModel::Select);
      selection->setCurrentIndex(top, QItemSelectionModel::NoUpdate);
      view_->scrollTo(top);
    }
  }
  view_->viewport()->update();
  if (notify) onSelectionChanged();
}

void CatalogPane::refresh() {
  // Rows that remain keep their selection; the selection handler does not run for the refresh.
  const QSignalBlocker block(view_->selectionModel());
  model_->refresh(document_.programs());
}

void CatalogPane::refresh(CatalogModel::Rows rows) {
  const QSignalBlocker block(view_->selectionModel());
  model_->take(std::move(rows), document_.programs());
}

void CatalogPane::onSelectionChanged() {
  if (selectionMuted_) {
    selectionMuted_ = false;
    return;
  }
  emit selectionChanged();
}

bool CatalogPane::addFile(const QString &file, int progNum, const QString &name, bool text) {
  TDevCatalog &catalog = document_.programs();
  TDevCatalogEntry entry;
  if (MakeProgramEntry(toPath(file), static_cast<uint16_t>(progNum), toU16(name), text, document_.nc31Mode(), entry) !=
      AddFileResult::Added) {
    // A file that cannot be read (gone, not allowed, not a regular file, too large) is not added.
    dialogs_.error(this, kError, kOpenError);
    return false;
  }
  if (entry.cat_num >= 0) {
    const int other = catalog.GetCatalogEntryNumByCatNum(entry.cat_num);
    if (other >= 0) {
      if (dialogs_.ask(this, QMessageBox::Warning, kWarning, kSlotTaken, QMessageBox::Ok | QMessageBox::Cancel) !=
          QMessageBox::Ok)
        return false;
      catalog.RemCatalogEntry(false, other);
    }
  }
  if (!catalog.AddCatalogEntry(entry)) return false;
  const int index = catalog.CatalogCount() - 1;
  catalog.CalculateMPStat();
  refresh();
  emit currentEntryChosen(index);
  const int row = rowOf(index);
  selectRows(row, row, true);
  return true;
}

void CatalogPane::addFiles(const QStringList &files, bool cancelStops) {
  TDevCatalog &catalog = document_.programs();
  if (files.isEmpty()) return;
  FilePropertiesDialog &dialog = propertiesDialog();
  dialog.setWindowTitle(QStringLiteral("Добавление файла"));
  dialog.setForAllOffered(files.size() >= 2);
  // Each file's dialog starts from the text or binary choice made for the one before.
  dialog.setProperties({0, QString(), document_.options().processing.enabled});
  bool for_all = false;
  bool all_text = true;
  bool any_added = false;
  for (const QString &file : files) {
    // Only a regular file is read: a FIFO or a device would block or never end. Refused before its
    // properties are asked for.
    if (!QFileInfo(file).isFile()) {
      dialogs_.error(this, kError, kOpenError);
      continue;
    }
    const int number = ProposeProgNum(catalog, document_.nc31Mode());
    const QString name = QFileInfo(file).fileName();
    if (for_all) {
      any_added |= addFile(file, number, name, all_text);
      continue;
    }
    dialog.setProperties({number, name, dialog.properties().text});
    if (dialog.exec() != QDialog::Accepted) {
      if (cancelStops) break;
      continue;
    }
    const FileProperties chosen = dialog.properties();
    if (dialog.forAllChosen()) {
      for_all = true;
      all_text = chosen.text;
    }
    any_added |= addFile(file, chosen.number, chosen.name, chosen.text);
  }
  if (any_added) emit edited();
}

void CatalogPane::dropFiles(const QStringList &files) {
  window()->raise();
  window()->activateWindow();
  addFiles(files, false);
}

void CatalogPane::addFilesFromDialog() {
  const QStringList files =
      dialogs_.openFileNames(this, QStringLiteral("Добавление файла в проект"), QStringLiteral("Все файлы (*)"));
  addFiles(files, true);
}

void CatalogPane::addNewFile() {
  FilePropertiesDialog &dialog = propertiesDialog();
  dialog.setWindowTitle(QStringLiteral("Добавление файла"));
  dialog.setForAllOffered(false);
  dialog.setProperties({ProposeProgNum(document_.programs(), document_.nc31Mode()), QStringLiteral("Программа"), true});
  dialog.setTypeEditable(false);
  if (dialog.exec() == QDialog::Accepted) {
    const FileProperties chosen = dialog.properties();
    addFile(QString(), chosen.number, chosen.name, true);
  }
  dialog.setTypeEditable(true);
  // Marked changed even when the dialog was cancelled, as the command always did.
  emit edited();
}

void CatalogPane::removeSelected() {
  TDevCatalog &catalog = document_.programs();
  const QList<int> rows = selectedRows();
  if (rows.isEmpty() || entryAt(rows.front()) < 0) return;
  if (dialogs_.ask(this, QMessageBox::Warning, kWarning, QStringLiteral("Удалить файл(ы)?"),
                   QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) != QMessageBox::Ok)
    return;
  QList<int> entries;
  for (int row : rows)
    if (const int index = entryAt(row); index >= 0) entries.append(index);
  // Highest index first, so the indices still to remove stay valid.
  std::sort(entries.begin(), entries.end(), std::greater<int>());
  const bool nc31 = document_.nc31Mode();
  for (int index : entries) catalog.RemCatalogEntry(!nc31, index);
  catalog.CalculateMPStat();
  refresh();
  const int row = std::min(rows.front(), model_->rowCount() - 1);
  selectRows(row, row, true);
  emit edited();
}

void CatalogPane::moveSelection(bool down) {
  TDevCatalog &catalog = document_.programs();
  const QList<int> rows = selectedRows();
  if (rows.isEmpty()) return;
  const int first = rows.front(), last = rows.back();
  const int edge = down ? entryAt(last) : entryAt(first);
  if (edge < 0) return;
  if (down ? last >= model_->rowCount() - 1 || catalog.Catalog(edge).cat_num >= catalog.MaxProgNum() - 1
           : first == 0 || catalog.Catalog(edge).cat_num == 0)
    return;
  const bool by_prog_num =
      document_.nc31Mode() ||
      (document_.options().processing.project_type == 0 && !document_.options().keep_program_numbers);
  QList<int> entries;
  for (int row : rows) entries.append(entryAt(row));
  if (down) std::reverse(entries.begin(), entries.end());
  for (int index : entries) {
    if (index < 0) continue;
    if (down)
      by_prog_num ? catalog.CatalogEntryDownProgNum(index) : catalog.CatalogEntryDownCatNum(index);
    else
      by_prog_num ? catalog.CatalogEntryUpProgNum(index) : catalog.CatalogEntryUpCatNum(index);
  }
  refresh();
  emit currentEntryChosen(entries.front());
  const int shift = down ? 1 : -1;
  selectRows(first + shift, last + shift, true);
  emit edited();
}

void CatalogPane::editProperties() {
  TDevCatalog &catalog = document_.programs();
  const QList<int> rows = selectedRows();
  if (rows.isEmpty()) return;
  const int first = entryAt(rows.front());
  if (first < 0) return;
  const bool nc31 = document_.nc31Mode();
  const TDevCatalogEntry preset = catalog.Catalog(first);
  const bool single = rows.size() == 1;
  FilePropertiesDialog &dialog = propertiesDialog();
  dialog.setWindowTitle(QStringLiteral("Свойства"));
  dialog.setForAllOffered(false);
  dialog.setProperties({nc31 ? RaiseNc31ProgNum(preset.prog_num) : preset.prog_num,
                        fromU16(ByteArrayToString(preset.code, kCatalogCodeSize - 1)), preset.need_p_proc});
  dialog.setNumberAndNameEditable(single);
  if (dialog.exec() != QDialog::Accepted) return;
  const FileProperties chosen = dialog.properties();

  // Entries by identity: a replacement below removes an entry and shifts the indices.
  std::vector<std::shared_ptr<ProgramText>> targets;
  for (int row : rows)
    if (const int index = entryAt(row); index >= 0) targets.push_back(catalog.Catalog(index).text);
  auto indexOf = [&catalog](const std::shared_ptr<ProgramText> &text) {
    for (int i = 0; i < catalog.CatalogCount(); ++i)
      if (catalog.Catalog(i).text == text) return i;
    return -1;
  };
  for (const auto &target : targets) {
    const int index = indexOf(target);
    if (index < 0) continue;
    TDevCatalogEntry e = catalog.Catalog(index);
    if (!e.need_p_proc && chosen.text) e.file_txt_valid = false;  // the text will come from the binary
    e.need_p_proc = chosen.text;
    int stored = index;
    if (single) {
      e.prog_num = static_cast<uint16_t>(chosen.number);
      StringToCatalogEntry(toU16(chosen.name), e);
      e.cat_num = nc31 ? RaiseNc31ProgNum(chosen.number) - 13 : -1;
      const int other = e.cat_num >= 0 ? catalog.GetCatalogEntryNumByCatNum(e.cat_num, index) : -1;
      if (other >= 0) {
        if (dialogs_.ask(this, QMessageBox::Warning, kWarning, kSlotTaken, QMessageBox::Ok | QMessageBox::Cancel) !=
            QMessageBox::Ok)
          continue;
        catalog.ChangeCatalogEntry(e, index);
        catalog.ReplaceCatalogEntry(other, index);
        stored = other < index ? other : other - 1;
      } else {
        catalog.ChangeCatalogEntry(e, index);
      }
    } else {
      e.cat_num = -1;
      catalog.ChangeCatalogEntry(e, index);
    }
    // The current entry follows its program to where it is stored now.
    const int current = document_.currentEntryIndex();
    if (stored == current || index == current) emit currentEntryChosen(stored);
    catalog.CalculateMPStat();
    refresh();
    const int row = rowOf(document_.currentEntryIndex());
    selectRows(row, row, true);
  }
  emit edited();
}

void CatalogPane::saveList() {
  QString file = dialogs_.saveFileName(this, QStringLiteral("Сохранение файла"), QStringLiteral("Каталог (*.txt)"),
                                       replaceSuffix(document_.fileName(), QStringLiteral("txt")));
  if (file.isEmpty()) return;
  file = withDefaultSuffix(file, QStringLiteral("txt"));
  if (QFileInfo::exists(file) &&
      dialogs_.ask(this, QMessageBox::Warning, kWarning, QStringLiteral("Такой файл существует. Перезаписать?"),
                   QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) != QMessageBox::Ok)
    return;
  std::vector<std::vector<std::u16string>> rows;
  std::vector<std::u16string> header;
  for (const char16_t *t : kCatalogColumnTitles) header.emplace_back(t);
  rows.push_back(std::move(header));
  for (int r = 0; r < model_->rowCount(); ++r) {
    std::vector<std::u16string> cells;
    for (int c = 0; c < kCatalogColumnCount; ++c) cells.push_back(toU16(model_->cellText(r, c)));
    rows.push_back(std::move(cells));
  }
  std::string error;
  if (!SafeSaveFile(toPath(file), CatalogListFileBytes(rows), &error))
    dialogs_.error(this, kError, QStringLiteral("Ошибка сохранения файла!"));
}
