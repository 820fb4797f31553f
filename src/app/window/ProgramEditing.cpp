// The work between the catalog list and the editor pane: showing the current catalog entry in the
// editor, taking the editor's text back into an entry, the conversions between an entry's text and
// binary, and the editor's commands that work on the project.

#include "window/ProgramEditing.h"

#include <QFileInfo>

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "support/UserDialogs.h"
#include "widgets/QtText.h"
#include "window/ConversionProgress.h"
#include "window/DeviceCommands.h"
#include "window/CatalogModel.h"
#include "window/CatalogPane.h"
#include "window/EditorPane.h"
#include "window/FileWork.h"
#include "window/ProjectDocument.h"
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

ProgramEditing::ProgramEditing(ProjectDocument &document, CatalogPane &catalog, EditorPane &editor,
                               UserDialogs &dialogs, QWidget &window, FileWork &work,
                               std::function<ProgressWindow &()> progressForm, QObject *parent)
    : QObject(parent),
      document_(document),
      catalog_(catalog),
      editor_(editor),
      dialogs_(dialogs),
      window_(window),
      work_(work),
      progress_form_(std::move(progressForm)) {}

PostProcessOptions ProgramEditing::processOptions() const {
  return kalvort::PostProcessOptionsFor(document_.options());
}

void ProgramEditing::showCurrentEntry() {
  const TDevCatalog &catalog = document_.programs();
  const int index = document_.currentEntryIndex();
  if (index < 0 || index >= catalog.CatalogCount()) {
    editor_.showNothing();
    return;
  }
  editor_.showText(QString(), EditorPane::View::Text);
  const TDevCatalogEntry e = catalog.Catalog(index);
  document_.setCurrentEntry(e);
  const size_t bytes = e.p_buffer ? std::min<size_t>(e.prog_size, e.p_buffer->size()) : 0;
  if (editor_.hexView()) {
    if (e.p_buffer)
      editor_.showHex(e.p_buffer->data(), bytes);
    else
      editor_.showText(QString(), EditorPane::View::Hex);  // nothing to show, and nothing to type into
    return;
  }
  if (e.file_txt_valid) {
    editor_.showProgramText(e.text);
    return;
  }
  if (e.need_p_proc && document_.options().processing.enabled) {
    runReadPostprocess(index);
    document_.refreshCurrentEntry();
    editor_.showProgramText(document_.currentEntry().text);
    catalog_.refresh();
    return;
  }
  // The bytes as characters, read-only. Shown only: a text with control pictures in it is never
  // taken into the entry, which keeps its binary as the program.
  editor_.showRawBytes(e.p_buffer ? e.p_buffer->data() : nullptr, bytes);
}

void ProgramEditing::storeEditorText(int index) {
  TDevCatalog &catalog = document_.programs();
  if (index < 0 || index >= catalog.CatalogCount() || editor_.view() != EditorPane::View::Text) return;
  TDevCatalogEntry e = catalog.Catalog(index);
  if (!e.text) e.text = std::make_shared<ProgramText>();
  editor_.copyProgramText(*e.text);
  catalog.SetCatalog(index, e);
  if (index == document_.currentEntryIndex()) document_.refreshCurrentEntry();
}

bool ProgramEditing::runReadPostprocess(int index) {
  TDevCatalog &catalog = document_.programs();
  const TDevCatalogEntry e = catalog.Catalog(index);
  if (!e.p_buffer || !document_.options().processing.enabled || !e.need_p_proc) {
    catalog.FileTxtValidClear(index);
    return false;
  }
  const PostProcessOptions options = processOptions();
  ConversionProgress progress(progress_form_(), &window_, QString::fromUtf8(ConverterStatusText(options)));
  return kalvort::RunReadPostprocess(catalog, index, options, progress.sink());
}

bool ProgramEditing::runWritePostprocess(int index) {
  TDevCatalog &catalog = document_.programs();
  const TDevCatalogEntry e = catalog.Catalog(index);
  if (!document_.options().processing.enabled || !e.need_p_proc) {
    catalog.FileBinValidClear(index);
    return false;
  }
  const PostProcessOptions options = processOptions();
  ConversionFailure failure;
  bool ok;
  {
    ConversionProgress progress(progress_form_(), &window_, QString::fromUtf8(ConverterStatusText(options)));
    ok = kalvort::RunWritePostprocess(catalog, index, options, &failure, progress.sink());
  }
  if (ok) {
    document_.setChanged(true);
    return true;
  }
  showConversionFailure(index, failure);
  return false;
}

void ProgramEditing::showConversionFailure(int index, const ConversionFailure &failure) {
  // The reason, then which program and line it is about.
  const TDevCatalogEntry failed = document_.programs().Catalog(index);
  dialogs_.ask(&window_, QMessageBox::Warning, kCheck,
               QString::fromUtf8(failure.message) + QLatin1Char('\n') +
                   QString::fromStdString(kalvort::ProgramPlaceText(failed, failure.conv_err_str_num)),
               QMessageBox::Ok);
  // The failing program in the editor with the line the converter stopped on selected, in the
  // middle of the view so that the lines around it show too.
  editor_.showProgramText(failed.text);
  editor_.showFailingLine(failure.conv_err_str_num - 1);
  editor_.setTextChanged(false);
}

// ---- Editor commands ----

void ProgramEditing::makeCurrent(int index) {
  document_.setCurrent(index);
}

bool ProgramEditing::settleUnconfirmedText() {
  if (!editor_.textChanged()) return true;
  const auto answer = dialogs_.ask(&window_, QMessageBox::Question, QStringLiteral("Файл"),
                                   QStringLiteral("Текст изменен. Сохранить?"),
                                   QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel);
  if (answer != QMessageBox::Yes && answer != QMessageBox::No) return false;
  if (answer == QMessageBox::Yes) {
    // Into the entry the editor was filled from, whatever row the list shows by now.
    storeEditorText(document_.currentEntryIndex());
    document_.programs().FileBinValidClear(document_.currentEntryIndex());
    document_.setChanged(true);
    catalog_.refresh();
  }
  editor_.setTextChanged(false);
  return true;
}

void ProgramEditing::confirmText() {
  const int index = catalog_.selectedEntry();
  if (index < 0) return;
  makeCurrent(index);
  // Only a program text is taken back; the hex dump and the raw bytes are views.
  if (editor_.view() != EditorPane::View::Text) return;
  if (editor_.textChanged() &&
      dialogs_.ask(&window_, QMessageBox::Question, kTextChanged, QStringLiteral("Сохранить изменения?"),
                   QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok)
    return;
  editor_.setTextChanged(false);
  document_.setChanged(true);
  storeEditorText(index);
  document_.programs().FileTxtValidSet(index);
  document_.programs().FileBinValidClear(index);
  catalog_.refresh();
  // The editor keeps the text it shows, which is now the entry's: its row is selected again
  // without loading the text anew.
  document_.refreshCurrentEntry();
  const int row = catalog_.rowOf(index);
  catalog_.selectRows(row, row, false);
  emit commandStatesChanged();
}

void ProgramEditing::discardText() {
  if (editor_.textChanged() &&
      dialogs_.ask(&window_, QMessageBox::Question, kTextChanged, QStringLiteral("Отменить изменения?"),
                   QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) != QMessageBox::Ok)
    return;
  editor_.setTextChanged(false);
  showSelectedEntry();
}

void ProgramEditing::checkProgram() {
  TDevCatalog &catalog = document_.programs();
  const int index = catalog_.selectedEntry();
  if (index < 0) return;
  makeCurrent(index);
  if (editor_.textChanged() &&
      dialogs_.ask(&window_, QMessageBox::Question, kTextChanged, QStringLiteral("Сохранить изменения и проверить?"),
                   QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok)
    return;
  storeEditorText(index);
  catalog.FileBinValidClear(index);
  if (runWritePostprocess(index)) {
    dialogs_.ask(&window_, QMessageBox::Information, kCheck, QStringLiteral("Проверка прошла успешно."),
                 QMessageBox::Ok);
    document_.setChanged(true);
  }
  catalog.CalculateMPStat();
  catalog_.refresh();
  editor_.setTextChanged(false);
  document_.refreshCurrentEntry();
  emit commandStatesChanged();
}

void ProgramEditing::checkProject() {
  if (work_.running()) return;  // one file job at a time
  TDevCatalog &catalog = document_.programs();
  if (!document_.options().processing.enabled || catalog.CatalogCount() == 0) return reportCheckPassed();
  // The programs to convert, in the list's order: (row, entry).
  std::vector<std::pair<int, int>> todo;
  for (int row = 0; row < catalog_.model().rowCount(); ++row) {
    const int index = catalog_.entryAt(row);
    if (index < 0) continue;
    const TDevCatalogEntry e = catalog.Catalog(index);
    if (e.need_p_proc && !e.file_bin_valid) todo.emplace_back(row, index);
  }
  if (todo.empty()) return reportCheckPassed();
  // The conversions work on a copy of the catalog (sharing the texts, which stay as they are while
  // the window is disabled); it takes the project's place when they are over.
  auto programs = std::make_shared<TDevCatalog>();
  programs->CopyCatalogFrom(catalog);
  struct Checked {
    int converted = 0;  // programs of `todo` converted, in order
    bool failed = false;
    ConversionFailure failure;
    CatalogModel::Rows rows;  // the list's rows afterwards
  };
  const PostProcessOptions options = processOptions();
  work_.run<Checked>(
      QStringLiteral("Обработка..."), QString::fromUtf8(ConverterStatusText(options)),
      [programs, todo, options](FileWork::Progress &progress) {
        Checked r;
        const int count = static_cast<int>(todo.size());
        for (const auto &[row, index] : todo) {
          progress.setProgram(r.converted + 1, count);
          if (!kalvort::RunWritePostprocess(*programs, index, options, &r.failure, progress.sink())) {
            r.failed = true;
            break;
          }
          ++r.converted;
        }
        r.rows = CatalogModel::listRows(*programs);
        return r;
      },
      [this, programs, todo](Checked &r) {
        document_.programs().SwapCatalog(*programs);
        work_.dispose(programs);
        if (r.converted > 0) document_.setChanged(true);
        if (!r.failed) return reportCheckPassed(std::move(r.rows));
        // The editor keeps the failing program with its line selected.
        const auto [row, index] = todo[static_cast<size_t>(r.converted)];
        showConversionFailure(index, r.failure);
        document_.programs().CalculateMPStat();
        catalog_.refresh(std::move(r.rows));
        makeCurrent(index);
        catalog_.selectRows(row, row, false);  // selected without showing it again
        emit commandStatesChanged();
      });
}

void ProgramEditing::reportCheckPassed(std::optional<CatalogModel::Rows> rows) {
  dialogs_.ask(&window_, QMessageBox::Information, kCheck, QStringLiteral("Проверка прошла успешно."),
               QMessageBox::Ok);
  document_.programs().CalculateMPStat();
  // Without conversions the catalog is as the list shows it.
  if (rows) catalog_.refresh(std::move(*rows));
  showCurrentRow();
}

void ProgramEditing::openTextFile() {
  TDevCatalog &catalog = document_.programs();
  const int index = catalog_.selectedEntry();
  if (index < 0) return;
  makeCurrent(index);
  if (document_.currentEntry().file_txt_valid &&
      dialogs_.ask(&window_, QMessageBox::Question, QStringLiteral("Текстовый файл"),
                   QStringLiteral("Заменить текстовый файл?"), QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) != QMessageBox::Ok)
    return;
  const QString file = dialogs_.openFileName(&window_, QStringLiteral("Открытие текстового файла"),
                                             QStringLiteral("Текстовые файлы (*.txt);;Все файлы (*)"));
  if (file.isEmpty()) return;
  std::string bytes;
  if (!ReadWholeFile(toPath(file), bytes, kMaxTextFile)) {
    dialogs_.error(&window_, QStringLiteral("Ошибка"), QStringLiteral("Ошибка открытия файла."));
    return;
  }
  TextEncoding encoding = TextEncoding::Cp1251;
  TDevCatalogEntry e = catalog.Catalog(index);
  if (!e.text) e.text = std::make_shared<ProgramText>();
  *e.text = splitLines(decodeText(bytes, &encoding));
  // A rewrite keeps a byte-order mark; everything else is written as Windows-1251.
  const bool bom = encoding != TextEncoding::Cp1251 && encoding != TextEncoding::Utf8;
  e.text_encoding = bom ? encoding : TextEncoding::Cp1251;
  catalog.SetCatalog(index, e);
  catalog.FileBinValidClear(index);
  catalog.FileTxtValidSet(index);
  catalog_.refresh();
  showCurrentRow();
  editor_.setTextChanged(true);
  emit commandStatesChanged();
}

void ProgramEditing::saveProgramFile() {
  const int index = catalog_.selectedEntry();
  if (index < 0) return;
  makeCurrent(index);
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
  QString file = dialogs_.saveFileName(&window_, QStringLiteral("Сохранение файла"), filter, proposed);
  if (file.isEmpty()) return;
  file = withDefaultSuffix(file, suffix);
  if (QFileInfo::exists(file) &&
      dialogs_.ask(&window_, QMessageBox::Warning, QStringLiteral("Предупреждение"),
                   QStringLiteral("Файл существует! Перезаписать?"), QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) != QMessageBox::Ok)
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
    dialogs_.error(&window_, QStringLiteral("Ошибка"), QStringLiteral("Ошибка сохранения файла!"));
}

void ProgramEditing::reprocessCurrentEntry() {
  const int index = catalog_.selectedEntry();
  if (index < 0 || !document_.options().processing.enabled) return;
  makeCurrent(index);
  // Only a text that came from a valid binary is derived again: a typed or confirmed text whose
  // binary is not (yet) valid would be lost to an old image or to no image at all.
  const TDevCatalogEntry &entry = document_.currentEntry();
  if (!entry.need_p_proc || !entry.file_bin_valid || !entry.p_buffer) return;
  runReadPostprocess(index);
  document_.refreshCurrentEntry();
  editor_.showProgramText(document_.currentEntry().text);
  editor_.setTextChanged(false);
  catalog_.refresh();
  emit commandStatesChanged();
}

// ---- The catalog list's selection ----

void ProgramEditing::showSelectedEntry() {
  if (!settleUnconfirmedText()) {
    // Cancelled: the edited program stays selected, so the editor shows the entry it stores into.
    const int row = catalog_.rowOf(document_.currentEntryIndex());
    if (row >= 0) catalog_.selectRows(row, row, false);
    return;
  }
  const QList<int> rows = catalog_.selectedRows();
  if (rows.isEmpty()) return;
  const int index = catalog_.entryAt(rows.front());
  if (index < 0) {
    editor_.showNothing();
    emit commandStatesChanged();
    return;
  }
  document_.setCurrent(index);
  showCurrentEntry();
  emit commandStatesChanged();
}

void ProgramEditing::showCurrentRow() {
  const int row = catalog_.rowOf(document_.currentEntryIndex());
  catalog_.selectRows(row, row, true);
}
