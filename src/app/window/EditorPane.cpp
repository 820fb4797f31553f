// The editor pane: showing the current catalog entry (text, hex dump or raw bytes), the
// conversions between an entry's text and binary, and the editor's commands.

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QFontMetrics>
#include <QTableView>
#include <QTextBlock>
#include <QTextCursor>

#include "dialogs/FindReplaceDialog.h"
#include "support/UserDialogs.h"
#include "widgets/CodeEditor.h"
#include "widgets/ProgramHighlighter.h"
#include "widgets/QtText.h"
#include "window/ConversionProgress.h"
#include "window/CatalogModel.h"
#include "window/CatalogPane.h"
#include "window/MainWindow.h"
#include "base/CodePage.h"
#include "base/MemoryRoom.h"
#include "base/SafeSave.h"
#include "formats/PostProcess.h"
#include "formats/ProgramViews.h"
#include "formats/TextEdits.h"
#include "workflow/ProjectTransfer.h"

using namespace kalvort;

namespace {

const QString kTextChanged = QStringLiteral("Текст изменен");
const QString kCheck = QStringLiteral("Проверка");
// Largest text file the editor opens: far above any program a module holds.
constexpr size_t kMaxTextFile = size_t{64} << 20;

// What the editor's text document takes to show a text, as measured: about 600 bytes a line and
// 30 a character (the layout of a long line is the costly part).
uint64_t ShowingCost(uint64_t chars, uint64_t lines) { return chars * 30 + lines * 600; }

// The hex dump's size: a line ("000010: AB AB ... ") for every 16 bytes.
uint64_t HexDumpLines(size_t length) { return length / 16 + 1; }
constexpr uint64_t kHexDumpLineChars = 8 + 16 * 3 + 1;

// Whether `font` draws every control picture (U+2400 to U+241F and U+2421 for DEL); without them
// a picture is an empty box that hides which character it stands for.
bool DrawsControlPictures(const QFont &font) {
  const QFontMetrics metrics(font);
  for (char16_t c = 0x2400; c <= 0x241F; ++c)
    if (!metrics.inFont(QChar(c))) return false;
  return metrics.inFont(QChar(0x2421));
}

// A raw line with its control characters visible: their pictures where the font has them, else in
// caret notation ("^A" for 0x01, "^?" for DEL).
QString VisibleRawLine(const std::u16string &line, bool pictures) {
  if (pictures) return fromU16(VisibleControlText(line));
  QString out;
  out.reserve(static_cast<qsizetype>(line.size()));
  for (char16_t c : line) {
    if (c < 0x20 || c == 0x7F) {
      out += QLatin1Char('^');
      out += QChar(c == 0x7F ? u'?' : static_cast<char16_t>(c + 0x40));
    } else {
      out += QChar(c);
    }
  }
  return out;
}

}  // namespace

void MainWindow::ReportOutOfMemory() {
  // From a queued call: the failure may come from inside a handler of any object, and one message
  // stands for any number of failures before it is shown.
  if (out_of_memory_pending_) return;
  out_of_memory_pending_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        Dialogs.error(this, QStringLiteral("Ошибка"), QStringLiteral("Недостаточно памяти."));
        out_of_memory_pending_ = false;
      },
      Qt::QueuedConnection);
}

bool MainWindow::RoomToShow(uint64_t chars, uint64_t lines) {
  if (HasMemoryFor(ShowingCost(chars, lines))) return true;
  ReportOutOfMemory();
  return false;
}

CodeEditor *MainWindow::Editor() const { return static_cast<CodeEditor *>(EditorWidget); }

void MainWindow::SetupEditorPane() {
  Highlighter = new ProgramHighlighter(Editor()->document());
  connect(Editor(), &QPlainTextEdit::textChanged, this, [this] {
    if (editor_loading_ || text_changed) return;
    text_changed = true;
    updateCommandStates();
  });
}

PostProcessOptions MainWindow::ProcessOptions() const {
  return kalvort::PostProcessOptionsFor(CurrentOptions);
}

void MainWindow::LoadEditor(const QString &text, EditorView view) {
  const bool was = editor_loading_;
  editor_loading_ = true;
  editor_view_ = view;
  // Highlighting is for program text only; set before the text so the hex dump costs nothing.
  Highlighter->setActive(view == EditorView::Text);
  Editor()->setPlainText(text);
  Editor()->setReadOnly(view != EditorView::Text);
  editor_loading_ = was;
  text_changed = false;
}

void MainWindow::LoadProgramText(const ProgramText &lines) {
  // Sized and checked before anything is copied: a text too big for the memory left costs nothing.
  qsizetype chars = lines.empty() ? 0 : static_cast<qsizetype>(lines.size()) - 1;
  for (const auto &line : lines) chars += static_cast<qsizetype>(line.size());
  if (!RoomToShow(chars, lines.size())) {
    ClearEditor();
    return;
  }
  QString text;
  text.reserve(chars);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += QLatin1Char('\n');
    text += fromU16(lines[i]);
  }
  LoadEditor(text, EditorView::Text);
}

void MainWindow::ClearEditor() {
  LoadEditor(QString(), EditorView::None);
  Editor()->setReadOnly(true);
}

void MainWindow::UpdateHexMemo(const uint8_t *bytes, size_t length) {
  // Checked before the dump is built: its text is about three and a half times the bytes.
  if (!RoomToShow(HexDumpLines(length) * kHexDumpLineChars, HexDumpLines(length))) {
    ClearEditor();
    return;
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  LoadEditor(QString::fromLatin1(HexDumpText(bytes, length)), EditorView::Hex);
  QApplication::restoreOverrideCursor();
}

void MainWindow::ShowCurrentEntry() {
  TDevCatalog *catalog = Catalog();
  const int index = cur_catalog_entry_num;
  if (!catalog || index < 0 || index >= catalog->CatalogCount()) {
    ClearEditor();
    return;
  }
  LoadEditor(QString(), EditorView::Text);
  const TDevCatalogEntry e = catalog->Catalog(index);
  cur_catalog_entry = e;
  if (HexViewAction->isChecked()) {
    if (e.p_buffer)
      UpdateHexMemo(e.p_buffer->data(), std::min<size_t>(e.prog_size, e.p_buffer->size()));
    else
      LoadEditor(QString(), EditorView::Hex);  // nothing to show, and nothing to type into
    return;
  }
  if (e.file_txt_valid) {
    LoadProgramText(*e.text);
    return;
  }
  if (e.need_p_proc && CurrentOptions.processing.enabled) {
    RunReadPostprocess(index);
    cur_catalog_entry = catalog->Catalog(index);
    LoadProgramText(*cur_catalog_entry.text);
    catalog_pane_->refresh();
    return;
  }
  // The bytes as characters, read-only. Shown only: a text with control pictures in it is never
  // taken into the entry, which keeps its binary as the program.
  // A text the memory cannot take is not shown, here as for a program's text and its hex dump.
  const ProgramLines raw =
      e.p_buffer ? RawBinaryLines(e.p_buffer->data(), std::min<size_t>(e.prog_size, e.p_buffer->size()))
                 : ProgramLines{};
  uint64_t chars = 0;
  for (const auto &line : raw) chars += line.size() + 1;
  if (!RoomToShow(chars * 2, raw.size())) {  // caret notation takes up to two characters a byte
    ClearEditor();
    return;
  }
  QStringList lines;
  const bool pictures = DrawsControlPictures(Editor()->font());
  for (const auto &line : raw) lines.append(VisibleRawLine(line, pictures));
  LoadEditor(lines.join(QLatin1Char('\n')), EditorView::Raw);
}

void MainWindow::StoreEditorText(int index) {
  TDevCatalog *catalog = Catalog();
  if (!catalog || index < 0 || index >= catalog->CatalogCount() || editor_view_ != EditorView::Text) return;
  TDevCatalogEntry e = catalog->Catalog(index);
  if (!e.text) e.text = std::make_shared<ProgramText>();
  *e.text = toU16Lines(Editor()->lines());
  catalog->SetCatalog(index, e);
  if (index == cur_catalog_entry_num) cur_catalog_entry = catalog->Catalog(index);
}

bool MainWindow::RunReadPostprocess(int index) {
  TDevCatalog *catalog = Catalog();
  if (!catalog) return false;
  const TDevCatalogEntry e = catalog->Catalog(index);
  if (!e.p_buffer || !CurrentOptions.processing.enabled || !e.need_p_proc) {
    catalog->FileTxtValidClear(index);
    return false;
  }
  const PostProcessOptions options = ProcessOptions();
  ConversionProgress progress(SharedProgressForm(), this, QString::fromUtf8(ConverterStatusText(options)));
  return kalvort::RunReadPostprocess(*catalog, index, options, progress.sink());
}

bool MainWindow::RunWritePostprocess(int index) {
  TDevCatalog *catalog = Catalog();
  if (!catalog) return false;
  const TDevCatalogEntry e = catalog->Catalog(index);
  if (!CurrentOptions.processing.enabled || !e.need_p_proc) {
    catalog->FileBinValidClear(index);
    return false;
  }
  const PostProcessOptions options = ProcessOptions();
  ConversionFailure failure;
  bool ok;
  {
    ConversionProgress progress(SharedProgressForm(), this, QString::fromUtf8(ConverterStatusText(options)));
    ok = kalvort::RunWritePostprocess(*catalog, index, options, &failure, progress.sink());
  }
  if (ok) {
    project_changed = true;
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
  LoadProgramText(*failed.text);
  const int line = failure.conv_err_str_num - 1;
  const QTextBlock block = Editor()->document()->findBlockByNumber(line);
  if (line >= 0 && block.isValid() && !block.text().isEmpty()) {
    QTextCursor cursor(block);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    Editor()->setTextCursor(cursor);
    Editor()->centerCursor();
    Editor()->setErrorLine(line);
  }
  Editor()->setFocus();
  text_changed = false;
}

// ---- Editor commands ----

void MainWindow::MakeSelectedCurrent(int index) {
  cur_catalog_entry_num = index;
  cur_catalog_entry = Catalog()->Catalog(index);
}

bool MainWindow::SettleUnconfirmedText() {
  if (!text_changed) return true;
  const auto answer =
      Dialogs.ask(this, QMessageBox::Question, QStringLiteral("Файл"), QStringLiteral("Текст изменен. Сохранить?"),
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel);
  if (answer != QMessageBox::Yes && answer != QMessageBox::No) return false;
  if (answer == QMessageBox::Yes) {
    // Into the entry the editor was filled from, whatever row the list shows by now.
    StoreEditorText(cur_catalog_entry_num);
    if (TDevCatalog *catalog = Catalog()) catalog->FileBinValidClear(cur_catalog_entry_num);
    project_changed = true;
    catalog_pane_->refresh();
  }
  text_changed = false;
  return true;
}

void MainWindow::EditorOkActionExecute() {
  const int index = catalog_pane_->selectedEntry();
  if (index < 0 || !Catalog()) return;
  MakeSelectedCurrent(index);
  // Only a program text is taken back; the hex dump and the raw bytes are views.
  if (editor_view_ != EditorView::Text) return;
  if (text_changed && Dialogs.ask(this, QMessageBox::Question, kTextChanged, QStringLiteral("Сохранить изменения?"),
                                  QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok)
    return;
  text_changed = false;
  project_changed = true;
  StoreEditorText(index);
  Catalog()->FileTxtValidSet(index);
  Catalog()->FileBinValidClear(index);
  catalog_pane_->refresh();
  CurCatalogEntryChanged();
}

void MainWindow::EditorCancelActionExecute() {
  if (text_changed && Dialogs.ask(this, QMessageBox::Question, kTextChanged, QStringLiteral("Отменить изменения?"),
                                  QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) != QMessageBox::Ok)
    return;
  text_changed = false;
  CatalogSelectionChanged();
}

void MainWindow::CheckFileActionExecute() {
  TDevCatalog *catalog = Catalog();
  const int index = catalog_pane_->selectedEntry();
  if (index < 0 || !catalog) return;
  MakeSelectedCurrent(index);
  if (text_changed && Dialogs.ask(this, QMessageBox::Question, kTextChanged,
                                  QStringLiteral("Сохранить изменения и проверить?"),
                                  QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok)
    return;
  StoreEditorText(index);
  catalog->FileBinValidClear(index);
  if (RunWritePostprocess(index)) {
    Dialogs.ask(this, QMessageBox::Information, kCheck, QStringLiteral("Проверка прошла успешно."), QMessageBox::Ok);
    project_changed = true;
  }
  catalog->CalculateMPStat();
  catalog_pane_->refresh();
  text_changed = false;
  cur_catalog_entry = catalog->Catalog(index);
  updateCommandStates();
}

void MainWindow::CheckAllFilesActionExecute() {
  TDevCatalog *catalog = Catalog();
  if (!catalog) return;
  if (CurrentOptions.processing.enabled && catalog->CatalogCount() > 0) {
    for (int row = 0; row < catalog_pane_->model().rowCount(); ++row) {
      const int index = catalog_pane_->entryAt(row);
      if (index < 0) continue;
      const TDevCatalogEntry e = catalog->Catalog(index);
      if (!e.need_p_proc || e.file_bin_valid) continue;
      if (RunWritePostprocess(index)) {
        project_changed = true;
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

void MainWindow::EditorRunActionExecute() {
  struct Edit {
    const char *status;
    void (*run)(ProgramLines &, const ProgressSink &);
  };
  static const Edit k2C42[] = {{"Добавление NULL в конец кадра", AddNULL},
                               {"Удаление всех NULL", RemoveNULL},
                               {"Удаление всех пробелов", RemoveSpace}};
  static const Edit kNC31[] = {{"Удаление номеров кадров", RemoveNum}, {"Перенумерация кадров", nullptr}};
  const int choice = ActionSelector->currentIndex();
  const Edit *edit = nullptr;
  if (CurrentOptions.processing.project_type == 0 && choice >= 0 && choice < 3) edit = &k2C42[choice];
  if (CurrentOptions.processing.project_type == 1 && choice >= 0 && choice < 2) edit = &kNC31[choice];
  if (edit && editor_view_ == EditorView::Text) {
    Editor()->setUpdatesEnabled(false);
    {
      ConversionProgress progress(SharedProgressForm(), this, QString::fromUtf8(edit->status));
      ProgramLines lines = toU16Lines(Editor()->lines());
      if (edit->run) {
        edit->run(lines, progress.sink());
      } else {
        RemoveNum(lines, progress.sink());
        SetNewNum(lines, progress.sink());
      }
      // One undoable step over the whole text.
      QTextCursor cursor(Editor()->document());
      cursor.beginEditBlock();
      cursor.select(QTextCursor::Document);
      cursor.insertText(fromU16Lines(lines).join(QLatin1Char('\n')));
      cursor.endEditBlock();
    }
    Editor()->setUpdatesEnabled(true);
  }
  text_changed = true;
  updateCommandStates();
}

void MainWindow::EditorOpenFileActionExecute() {
  TDevCatalog *catalog = Catalog();
  const int index = catalog_pane_->selectedEntry();
  if (index < 0 || !catalog) return;
  MakeSelectedCurrent(index);
  if (cur_catalog_entry.file_txt_valid &&
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
  text_changed = true;
  updateCommandStates();
}

void MainWindow::EditorSaveFileActionExecute() {
  TDevCatalog *catalog = Catalog();
  const int index = catalog_pane_->selectedEntry();
  if (index < 0 || !catalog) return;
  MakeSelectedCurrent(index);
  const TDevCatalogEntry &e = cur_catalog_entry;
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

void MainWindow::EditorSearchActionExecute() {
  if (!FindDialog) FindDialog = new FindReplaceDialog(FindReplaceDialog::Mode::Find, *Editor(), Dialogs, this);
  FindDialog->show();
  FindDialog->raise();
  FindDialog->activateWindow();
}

void MainWindow::EditorReplaceActionExecute() {
  if (!ReplaceDialog) ReplaceDialog = new FindReplaceDialog(FindReplaceDialog::Mode::Replace, *Editor(), Dialogs, this);
  ReplaceDialog->show();
  ReplaceDialog->raise();
  ReplaceDialog->activateWindow();
}

void MainWindow::EditorZoomInActionExecute() { Editor()->zoomInOnePoint(); }
void MainWindow::EditorZoomOutActionExecute() { Editor()->zoomOutOnePoint(); }
void MainWindow::EditorCutActionExecute() { Editor()->cut(); }
void MainWindow::EditorCopyActionExecute() { Editor()->copy(); }
void MainWindow::EditorPasteActionExecute() { Editor()->paste(); }
void MainWindow::EditorSelectAllActionExecute() { Editor()->selectAll(); }
void MainWindow::EditorUndoActionExecute() { Editor()->undo(); }

void MainWindow::HexViewActionExecute() { CatalogSelectionChanged(); }
