#pragma once
// CatalogPane: the project's programs as a list, with the catalog's commands (create, add, drop,
// remove, up, down, properties, save the list), its tool bar and context menu and the file
// properties dialog. It works on the project document it is given (the programs, the options, the
// НЦ-31 slot numbering, the current entry, the file name), never on the window itself.
//
// Each data row keeps its entry's catalog index; commands map rows to entries through it, never
// through the row number. The current entry (the one the editor shows) is the window's: the pane
// names the entry to make current with currentEntryChosen() and then selects its rows.

#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <utility>
#include <vector>

#include "window/CatalogModel.h"
#include "workflow/CommandRules.h"

class QAction;
class QMenu;
class QTableView;
class QToolBar;
class FilePropertiesDialog;
class UserDialogs;

class ProjectDocument;

class CatalogPane : public QWidget {
  Q_OBJECT

 public:
  CatalogPane(ProjectDocument &document, UserDialogs &dialogs, QWidget *parent = nullptr);

  // Reads the catalog afresh; rows that remain keep their selection and selectionChanged() is not
  // emitted for the refresh.
  void refresh();
  // The same with the rows made beforehand (CatalogModel::listRows, off the window's thread) from
  // the entries the project holds now.
  void refresh(CatalogModel::Rows rows);
  // Selects rows first..last (clamped; a first row out of range clears the selection) without a
  // notification, then emits selectionChanged() if `notify`.
  void selectRows(int first, int last, bool notify);
  QList<int> selectedRows() const;  // ascending
  int selectedEntry() const;        // entry of the first selected row, or -1
  int entryAt(int row) const;       // -1 for a row without entry
  int rowOf(int index) const;       // the row that shows entry `index`, or -1
  const CatalogModel &model() const;

  // Adds files through the properties dialog ("Для всех" from two files on); `cancelStops` ends at
  // the first cancelled dialog, else the next file is asked about.
  void addFiles(const QStringList &files, bool cancelStops);
  // Files dropped anywhere on `target` (the window) are added once the drop has ended.
  void takeFileDropsOn(QWidget &target);
  // The width at which every column shows whole, without a horizontal scroll bar.
  int preferredListWidth() const;

  // The pane's command of that kind (AddFiles, NewFile, RemoveFiles, FileProperties, MoveUp,
  // MoveDown, SaveList); null for another command.
  QAction *action(kalvort::workflow::Command command) const;
  // Enables the pane's commands from the window's command rules.
  void applyCommands(const kalvort::workflow::CommandSet &enabled);
  // The window's commands the list's context menu offers between the pane's own and up/down.
  void setContextActions(const QList<QAction *> &actions);

 signals:
  // The selected rows changed (by the user, or by selectRows() asked to notify).
  void selectionChanged();
  // The project changed.
  void edited();
  // Entry `index` is to become the current one; its rows are selected right afterwards.
  void currentEntryChosen(int index);

 private:
  void createActions();
  void createWidgets();
  void setColumnWidths();
  // The file properties dialog, made when it is first shown.
  FilePropertiesDialog &propertiesDialog();
  void onSelectionChanged();
  // Adds one file (an empty program for an empty name); false when nothing was added.
  bool addFile(const QString &file, int progNum, const QString &name, bool text);
  void dropFiles(const QStringList &files);
  void addNewFile();
  void addFilesFromDialog();
  void removeSelected();
  void moveSelection(bool down);
  void editProperties();
  void saveList();

  ProjectDocument &document_;
  UserDialogs &dialogs_;
  std::vector<std::pair<kalvort::workflow::Command, QAction *>> actions_;
  QToolBar *toolBar_ = nullptr;
  QTableView *view_ = nullptr;
  CatalogModel *model_ = nullptr;
  QMenu *contextMenu_ = nullptr;
  QAction *contextActionsEnd_ = nullptr;  // the separator before up/down in the context menu
  FilePropertiesDialog *properties_dialog_ = nullptr;
  // While set, the next selection change passes without a notification (and clears it).
  bool selectionMuted_ = false;
};
