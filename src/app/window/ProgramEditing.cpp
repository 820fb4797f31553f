// The window's work between the catalog and the editor pane: showing the current catalog entry in
// the editor, taking the editor's text back into an entry, the conversions between an entry's text
// and binary, and the editor's commands that work on the project.

#include <QFileInfo>

#include "support/UserDialogs.h"
#include "widgets/QtText.h"
#include "window/ConversionProgress.h"
#include "window/DeviceCommands.h"
#include "window/CatalogModel.h"
#include "window/CatalogPane.h"
#include "window/EditorPane.h"
#include "window/MainWindow.h"
#include "base/CodePage.h"
#include "base/SafeSave.h"
#include "formats/PostProcess.h"
#include "workflow/ProjectTransfer.h"

using namespace kalvort;

namespace {

const QString kTextChanged = QStringLiteral("Текст изменен");
const QString kCheck = QStringLiteral("Проверка");
// Largest text file the editor opens: far above any program a module holds.
constexpr size_t kMaxTextFile = size_t{64} << 20;

}  // namespace

PostProcessOptions MainWindow::ProcessOptions() const {
  return kalvort::PostProcessOptionsFor(document_.options());
}

void MainWindow::ShowCurrentEntry() {
  TDevCatalog *catalog = Catalog();
  const int index = document_.currentIndex();
  if (!catalog || index < 0 || index >= catalog->CatalogCount()) {
    editorPane().clear();
    return;
  }
  EditorPane &editor = editorPane();
  editor.showText(QString(), EditorPane::View::Text);
  const TDevCatalogEntry e = catalog->Catalog(index);
  document_.setCurrentEntry(e);
  const size_t bytes = e.p_buffer ? std::min<size_t>(e.prog_size, e.p_buffer->size()) : 0;
  if (editor.hexView()) {
    if (e.p_buffer)
      editor.showHex(e.p_buffer->data(), bytes);
    else
      editor.showText(QString(), EditorPane::View::Hex);  // nothing to show, and nothing to type into
    return;
  }
  if (e.file_txt_valid) {
    editor.showProgramText(*e.text);
    return;
  }
  if (e.need_p_proc && document_.options().processing.enabled) {
    RunReadPostprocess(index);
    document_.refreshCurrentEntry();
    editor.showProgramText(*document_.currentEntry().text);
    catalog_pane_->refresh();
    return;
  }
  // The bytes as characters, read-only. Shown only: a text with control pictures in it is never
  // taken into the entry, which keeps its binary as the program.
  editor.showRawBytes(e.p_buffer ? e.p_buffer->data() : nullptr, bytes);
}

void MainWindow::StoreEditorText(int index) {
  TDevCatalog *catalog = Catalog();
  if (!catalog || index < 0 || index >= catalog->CatalogCount() || editorPane().view() != EditorPane::View::Text)
    return;
  TDevCatalogEntry e = catalog->Catalog(index);
  if (!e.text) e.text = std::make_shared<ProgramText>();
  *e.text = toU16Lines(editorPane().lines());
  catalog->SetCatalog(index, e);
  if (index == document_.currentIndex()) document_.refreshCurrentEntry();
}

bool MainWindow::RunReadPostprocess(int index) {
  TDevCatalog *catalog = Catalog();
  if (!catalog) return false;
  const TDevCatalogEntry e = catalog->Catalog(index);
  if (!e.p_buffer || !document_.options().processing.enabled || !e.need_p_proc) {
    catalog->FileTxtValidClear(index);
    return false;
  }
  const PostProcessOptions options = ProcessOptions();
  ConversionProgress progress(deviceCommands().progressForm(), this, QString::fromUtf8(ConverterStatusText(options)));
  return kalvort::RunReadPostprocess(*catalog, index, options, progress.sink());
}

bool MainWindow::RunWritePostprocess(int index) {
  TDevCatalog *catalog = Catalog();
  if (!catalog) return false;
  const TDevCatalogEntry e = catalog->Catalog(index);
  if (!document_.options().processing.enabled || !e.need_p_proc) {
    catalog->FileBinValidClear(index);
    return false;
  }
  const PostProcessOptions options = ProcessOptions();
  ConversionFailure failure;
  bool ok;
  {
    ConversionProgress progress(deviceCommands().progressForm(), this, QString::fromUtf8(ConverterStatusText(options)));
    ok = kalvort::RunWritePostprocess(*catalog, index, options, &failure, progress.sink());
  }
  if (ok) {
    document_.setChanged(true);
    return true;
  }
  ShowConversionFailure(index, failure);
  return false;
}

void MainWindow::ShowConversionFailure(int index, const ConversionFailure &failure) {
  // The reason, then which program and line it is about.
  const TDevCatalogEntry failed = Catalog()->Catalog(index);
  Dialogs.ask(this, QMessageBox::Warning, kCheck,
              QString::fromUtf8(failure.message) + QLatin1Char('\n') +
                  QString::fromStdString(kalvort::ProgramPlaceText(failed, failure.conv_err_str_num)),
              QMessageBox::Ok);
  // The failing program in the editor with the line the converter stopped on selected, in the
  // middle of the view so that the lines around it show too.
  editorPane().showProgramText(*failed.text);
  editorPane().showFailingLine(failure.conv_err_str_num - 1);
  editorPane().setTextChanged(false);
}

// ---- Editor commands ----

void MainWindow::MakeSelectedCurrent(int index) {
  document_.setCurrent(index);
}

bool MainWindow::SettleUnconfirmedText() {
  if (!editorPane().textChanged()) return true;
  const auto answer =
      Dialogs.ask(this, QMessageBox::Question, QStringLiteral("Файл"), QStringLiteral("Текст изменен. Сохранить?"),
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel);
  if (answer != QMessageBox::Yes && answer != QMessageBox::No) return false;
  if (answer == QMessageBox::Yes) {
    // Into the entry the editor was filled from, whatever row the list shows by now.
    StoreEditorText(document_.currentIndex());
    if (TDevCatalog *catalog = Catalog()) catalog->FileBinValidClear(document_.currentIndex());
    document_.setChanged(true);
    catalog_pane_->refresh();
  }
  editorPane().setTextChanged(false);
  return true;
}

void MainWindow::EditorOkActionExecute() {
  const int index = catalog_pane_->selectedEntry();
  if (index < 0 || !Catalog()) return;
  MakeSelectedCurrent(index);
  // Only a program text is taken back; the hex dump and the raw bytes are views.
  if (editorPane().view() != EditorPane::View::Text) return;
  if (editorPane().textChanged() && Dialogs.ask(this, QMessageBox::Question, kTextChanged, QStringLiteral("Сохранить изменения?"),
                                  QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok)
    return;
  editorPane().setTextChanged(false);
  document_.setChanged(true);
  StoreEditorText(index);
  Catalog()->FileTxtValidSet(index);
  Catalog()->FileBinValidClear(index);
  catalog_pane_->refresh();
  CurCatalogEntryChanged();
}

void MainWindow::EditorCancelActionExecute() {
  if (editorPane().textChanged() && Dialogs.ask(this, QMessageBox::Question, kTextChanged, QStringLiteral("Отменить изменения?"),
                                  QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) != QMessageBox::Ok)
    return;
  editorPane().setTextChanged(false);
  CatalogSelectionChanged();
}

void MainWindow::CheckFileActionExecute() {
  TDevCatalog *catalog = Catalog();
  const int index = catalog_pane_->selectedEntry();
  if (index < 0 || !catalog) return;
  MakeSelectedCurrent(index);
  if (editorPane().textChanged() && Dialogs.ask(this, QMessageBox::Question, kTextChanged,
                                  QStringLiteral("Сохранить изменения и проверить?"),
                                  QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok)
    return;
  StoreEditorText(index);
  catalog->FileBinValidClear(index);
  if (RunWritePostprocess(index)) {
    Dialogs.ask(this, QMessageBox::Information, kCheck, QStringLiteral("Проверка прошла успешно."), QMessageBox::Ok);
    document_.setChanged(true);
  }
  catalog->CalculateMPStat();
  catalog_pane_->refresh();
  editorPane().setTextChanged(false);
  document_.refreshCurrentEntry();
  updateCommandStates();
}

void MainWindow::CheckAllFilesActionExecute() {
  TDevCatalog *catalog = Catalog();
  if (!catalog) return;
  if (document_.options().processing.enabled && catalog->CatalogCount() > 0) {
    for (int row = 0; row < catalog_pane_->model().rowCount(); ++row) {
      const int index = catalog_pane_->entryAt(row);
      if (index < 0) continue;
      const TDevCatalogEntry e = catalog->Catalog(index);
      if (!e.need_p_proc || e.file_bin_valid) continue;
      if (RunWritePostprocess(index)) {
        document_.setChanged(true);
        continue;
      }
      // The editor keeps the failing program with its line selected.
      catalog->CalculateMPStat();
      catalog_pane_->refresh();
      MakeSelectedCurrent(index);
      catalog_pane_->selectRows(row, row, false);  // selected without showing it again
      updateCommandStates();
      return;
    }
  }
  Dialogs.ask(this, QMessageBox::Information, kCheck, QStringLiteral("Проверка прошла успешно."), QMessageBox::Ok);
  catalog->CalculateMPStat();
  catalog_pane_->refresh();
  CurCatalogEntryChanged();
}

void MainWindow::EditorOpenFileActionExecute() {
  TDevCatalog *catalog = Catalog();
  const int index = catalog_pane_->selectedEntry();
  if (index < 0 || !catalog) return;
  MakeSelectedCurrent(index);
  if (document_.currentEntry().file_txt_valid &&
      Dialogs.ask(this, QMessageBox::Question, QStringLiteral("Текстовый файл"), QStringLiteral("Заменить текстовый файл?"),
                  QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) != QMessageBox::Ok)
    return;
  const QString file = Dialogs.openFileName(this, QStringLiteral("Открытие текстового файла"),
                                            QStringLiteral("Текстовые файлы (*.txt);;Все файлы (*)"));
  if (file.isEmpty()) return;
  std::string bytes;
  if (!ReadWholeFile(toPath(file), bytes, kMaxTextFile)) {
    Dialogs.error(this, QStringLiteral("Ошибка"), QStringLiteral("Ошибка открытия файла."));
    return;
  }
  TextEncoding encoding = TextEncoding::Cp1251;
  TDevCatalogEntry e = catalog->Catalog(index);
  if (!e.text) e.text = std::make_shared<ProgramText>();
  *e.text = splitLines(decodeText(bytes, &encoding));
  // A rewrite keeps a byte-order mark; everything else is written as Windows-1251.
  const bool bom = encoding != TextEncoding::Cp1251 && encoding != TextEncoding::Utf8;
  e.text_encoding = bom ? encoding : TextEncoding::Cp1251;
  catalog->SetCatalog(index, e);
  catalog->FileBinValidClear(index);
  catalog->FileTxtValidSet(index);
  catalog_pane_->refresh();
  CurCatalogEntryChanged();
  editorPane().setTextChanged(true);
  updateCommandStates();
}

void MainWindow::EditorSaveFileActionExecute() {
  TDevCatalog *catalog = Catalog();
  const int index = catalog_pane_->selectedEntry();
  if (index < 0 || !catalog) return;
  MakeSelectedCurrent(index);
  const TDevCatalogEntry &e = document_.currentEntry();
  QString filter, suffix;
  if (e.file_txt_valid && e.file_bin_valid) {
    filter = QStringLiteral("Текстовый файл (*.txt);;Обработанный файл (*.bin)");
    suffix = QStringLiteral("txt");
  } else if (e.file_txt_valid) {
    filter = QStringLiteral("Текстовый файл (*.txt)");
    suffix = QStringLiteral("txt");
  } else {
    filter = QStringLiteral("Двоичный файл (*.bin)");
    suffix = QStringLiteral("bin");
  }
  // The program's name as the proposed file name; a "/" would make it a path into another folder.
  QString proposed = fromU16(ByteArrayToString(e.code, kCatalogCodeSize - 1));
  proposed.replace(QLatin1Char('/'), QLatin1Char('_'));
  QString file = Dialogs.saveFileName(this, QStringLiteral("Сохранение файла"), filter, proposed);
  if (file.isEmpty()) return;
  file = withDefaultSuffix(file, suffix);
  if (QFileInfo::exists(file) &&
      Dialogs.ask(this, QMessageBox::Warning, QStringLiteral("Предупреждение"), QStringLiteral("Файл существует! Перезаписать?"),
                  QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) != QMessageBox::Ok)
    return;
  // The dialog reports no chosen filter: a ".bin" name picks the binary when both are valid.
  const bool as_binary = QFileInfo(file).suffix().compare(QLatin1String("bin"), Qt::CaseInsensitive) == 0;
  std::string bytes;
  if (e.file_txt_valid && (!e.file_bin_valid || !as_binary)) {
    bytes = encodeText(joinLines(*e.text), e.text_encoding);
  } else if (e.p_buffer) {
    bytes.assign(e.p_buffer->begin(), e.p_buffer->begin() + std::min<size_t>(e.prog_size, e.p_buffer->size()));
  }
  if (!SafeSaveFile(toPath(file), bytes))
    Dialogs.error(this, QStringLiteral("Ошибка"), QStringLiteral("Ошибка сохранения файла!"));
}
