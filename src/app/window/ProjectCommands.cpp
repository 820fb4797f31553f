// Project commands: new, open, save; the project reset of a device change.

#include <QPlainTextEdit>
#include <QTableWidget>

#include "workflow/DeviceSession.h"
#include "window/MainWindow.h"

bool TKLV_main_form::OpenProjectFile(const QString &) { return false; }

bool TKLV_main_form::ProjectSave() { return false; }

void TKLV_main_form::ResetProject() {
  project_changed = false;
  project_name = QStringLiteral("Проект.kvt");
  UpdateCaption();
  if (MemDevice) MemDevice->Device().CatalogClear();
  StringGrid1->setRowCount(1);
  StringGrid1->clearContents();
  Memo1->clear();
  text_changed = false;
}

void TKLV_main_form::ProjectNewActionExecute() {}
void TKLV_main_form::ProjectOpenActionExecute() {}
void TKLV_main_form::ProjectSaveActionExecute() {}
