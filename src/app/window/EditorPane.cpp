// The editor pane: its actions and tool bars, what the editor shows, and the commands that need the
// editor only.

#include "window/EditorPane.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QMenu>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#include "base/MemoryRoom.h"
#include "dialogs/FindReplaceDialog.h"
#include "formats/ProgramViews.h"
#include "formats/TextEdits.h"
#include "support/Actions.h"
#include "support/UserDialogs.h"
#include "widgets/CodeEditor.h"
#include "widgets/ProgramHighlighter.h"
#include "widgets/QtText.h"
#include "window/ConversionProgress.h"

using namespace kalvort;

namespace {

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

QToolBar *PaneToolBar(const QString &name, QWidget *parent) {
  auto *bar = new QToolBar(name, parent);
  bar->setObjectName(name);
  bar->setIconSize(QSize(18, 18));
  bar->setAccessibleName(name);
  return bar;
}

}  // namespace

EditorPane::EditorPane(UserDialogs &dialogs, Services services, QWidget *parent)
    : QWidget(parent), dialogs_(dialogs), services_(std::move(services)) {
  setObjectName(QStringLiteral("RightPane"));
  setMinimumWidth(200);
  createActions();
  createToolBars();
  connectActions();
}

EditorPane::~EditorPane() = default;

void EditorPane::createActions() {
  struct ActionSpec {
    QAction *EditorPane::*member;
    kalvort::app::ActionText text;
  };

  // "Вырезать" shares Ctrl+X with "Удалить файл из проекта": the clipboard commands act only where
  // the editor pane has the focus.
  static const ActionSpec kActions[] = {
      {&EditorPane::run_action_, {"EditorRunAction", "Выполнить действие", nullptr, QKeySequence(Qt::CTRL | Qt::Key_G), "media-playback-start"}},
      {&EditorPane::check_action_, {"CheckFileAction", "Проверить файл", nullptr, {}, "tools-check-spelling"}},
      {&EditorPane::ok_action_, {"EditorOkAction", "Подтвердить изменения", nullptr, {}, "dialog-ok"}},
      {&EditorPane::cancel_action_, {"EditorCancelAction", "Отменить изменения", nullptr, {}, "dialog-cancel"}},
      {&EditorPane::search_action_, {"EditorSearchAction", "Поиск", nullptr, QKeySequence(Qt::CTRL | Qt::Key_F), "edit-find"}},
      {&EditorPane::replace_action_, {"EditorReplaceAction", "Замена", nullptr, QKeySequence(Qt::CTRL | Qt::Key_H), "edit-find-replace"}},
      {&EditorPane::zoom_in_action_, {"EditorZoomInAction", "Увеличить", nullptr, {}, "zoom-in"}},
      {&EditorPane::zoom_out_action_, {"EditorZoomOutAction", "Уменьшить", nullptr, {}, "zoom-out"}},
      {&EditorPane::open_file_action_, {"EditorOpenFileAction", "Открыть файл", nullptr, {}, "document-open"}},
      {&EditorPane::save_file_action_, {"EditorSaveFileAction", "Сохранить файл", nullptr, {}, "document-save"}},
      {&EditorPane::cut_action_, {"EditorCutAction", "Вырезать", nullptr, QKeySequence(Qt::CTRL | Qt::Key_X), "edit-cut"}},
      {&EditorPane::copy_action_, {"EditorCopyAction", "Копировать", nullptr, QKeySequence(Qt::CTRL | Qt::Key_C), "edit-copy"}},
      {&EditorPane::paste_action_, {"EditorPasteAction", "Вставить", nullptr, QKeySequence(Qt::CTRL | Qt::Key_V), "edit-paste"}},
      {&EditorPane::select_all_action_, {"EditorSelectAllAction", "Выделить все", nullptr, QKeySequence(Qt::CTRL | Qt::Key_A), "edit-select-all"}},
      {&EditorPane::undo_action_, {"EditorUndoAction", "Отменить", nullptr, QKeySequence(Qt::CTRL | Qt::Key_Z), "edit-undo"}},
      {&EditorPane::hex_view_action_, {"HexViewAction", "HEX", "Шестнадцатеричный вид", {}, nullptr}},
  };
  for (const ActionSpec &def : kActions) this->*def.member = kalvort::app::MakeAction(def.text, this);
  hex_view_action_->setCheckable(true);
  hex_view_action_->setToolTip(QStringLiteral("HEX"));
  // The clipboard commands act where the editor pane has the focus: that keeps "Вырезать" apart
  // from the catalog's command on the same Ctrl+X.
  for (QAction *a : {cut_action_, copy_action_, paste_action_, select_all_action_, undo_action_}) {
    addAction(a);
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  }
}

// The file and edit tool bars (the edit one with the action selector) above the editor.
void EditorPane::createToolBars() {
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->setSpacing(2);
  file_tool_bar_ = PaneToolBar(QStringLiteral("Файл программы"), this);
  file_tool_bar_->addAction(open_file_action_);
  file_tool_bar_->addAction(save_file_action_);
  file_tool_bar_->addAction(hex_view_action_);
  hex_switch_button_ = qobject_cast<QToolButton *>(file_tool_bar_->widgetForAction(hex_view_action_));
  if (hex_switch_button_) {
    hex_switch_button_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    hex_switch_button_->setObjectName(QStringLiteral("HexSwitchButton"));
  }
  for (QAction *a : {check_action_, ok_action_, cancel_action_, zoom_in_action_, zoom_out_action_})
    file_tool_bar_->addAction(a);
  layout->addWidget(file_tool_bar_);
  edit_tool_bar_ = PaneToolBar(QStringLiteral("Правка"), this);
  for (QAction *a : {copy_action_, cut_action_, paste_action_, search_action_, replace_action_})
    edit_tool_bar_->addAction(a);
  action_selector_ = new QComboBox(edit_tool_bar_);
  action_selector_->setObjectName(QStringLiteral("ActionSelector"));
  action_selector_->setAccessibleName(QStringLiteral("Действие"));
  action_selector_->setToolTip(QStringLiteral("Действие"));
  action_selector_->setMinimumContentsLength(24);
  edit_tool_bar_->addWidget(action_selector_);
  edit_tool_bar_->addAction(run_action_);
  layout->addWidget(edit_tool_bar_);
  editor_ = new CodeEditor(this);
  editor_->setObjectName(QStringLiteral("EditorWidget"));
  editor_->setAccessibleName(QStringLiteral("Редактор"));
  editor_->setReadOnly(true);
  editor_->setDisposer(services_.dispose);
  layout->addWidget(editor_, 1);
  highlighter_ = new ProgramHighlighter(editor_);
}

void EditorPane::connectActions() {
  connect(editor_, &QPlainTextEdit::textChanged, this, [this] {
    if (loading_ || text_changed_) return;
    text_changed_ = true;
    emit textEdited();
  });
  // Work the editor does in slices shows in the progress window once it takes a while.
  connect(editor_, &CodeEditor::workProgress, this, [this](int percent) {
    if (!work_progress_)
      work_progress_ = std::make_unique<ConversionProgress>(
          services_.progressWindow(), window(),
          editor_->work() == CodeEditor::Work::Loading ? QStringLiteral("Загрузка текста...") : QStringLiteral("Замена..."));
    work_progress_->sink()(percent);
  });
  connect(editor_, &CodeEditor::workFinished, this, [this] {
    work_progress_.reset();
    if (loading_) finishShowing();
  });
  connect(run_action_, &QAction::triggered, this, &EditorPane::runEdit);
  connect(check_action_, &QAction::triggered, this, &EditorPane::checkRequested);
  connect(ok_action_, &QAction::triggered, this, &EditorPane::confirmRequested);
  connect(cancel_action_, &QAction::triggered, this, &EditorPane::discardRequested);
  connect(open_file_action_, &QAction::triggered, this, &EditorPane::openFileRequested);
  connect(save_file_action_, &QAction::triggered, this, &EditorPane::saveFileRequested);
  connect(hex_view_action_, &QAction::triggered, this, &EditorPane::hexViewToggled);
  connect(search_action_, &QAction::triggered, this, [this] { showFindDialog(find_dialog_, false); });
  connect(replace_action_, &QAction::triggered, this, [this] { showFindDialog(replace_dialog_, true); });
  connect(zoom_in_action_, &QAction::triggered, editor_, &CodeEditor::zoomInOnePoint);
  connect(zoom_out_action_, &QAction::triggered, editor_, &CodeEditor::zoomOutOnePoint);
  connect(cut_action_, &QAction::triggered, editor_, &QPlainTextEdit::cut);
  connect(copy_action_, &QAction::triggered, editor_, &QPlainTextEdit::copy);
  connect(paste_action_, &QAction::triggered, editor_, &QPlainTextEdit::paste);
  connect(select_all_action_, &QAction::triggered, editor_, &QPlainTextEdit::selectAll);
  connect(undo_action_, &QAction::triggered, editor_, &QPlainTextEdit::undo);
}

// ---- What the editor shows ----

void EditorPane::reportOutOfMemory() {
  // From a queued call: the failure may come from inside a handler of any object, and one message
  // stands for any number of failures before it is shown.
  if (out_of_memory_pending_) return;
  out_of_memory_pending_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        dialogs_.error(window(), QStringLiteral("Ошибка"), QStringLiteral("Недостаточно памяти."));
        out_of_memory_pending_ = false;
      },
      Qt::QueuedConnection);
}

bool EditorPane::roomToShow(uint64_t chars, uint64_t lines) {
  if (HasMemoryFor(ShowingCost(chars, lines))) return true;
  reportOutOfMemory();
  return false;
}

void EditorPane::showText(const QString &text, View view) {
  startShowing(view);
  editor_->loadText(text);
  finishShowingUnlessLoading();
}

void EditorPane::startShowing(View view) {
  loading_ = true;
  view_ = view;
  read_only_after_load_ = false;
  failing_line_after_load_ = -1;
  highlighter_->setActive(view == View::Text);
  editor_->setReadOnly(true);
  text_changed_ = false;
}

void EditorPane::finishShowingUnlessLoading() {
  if (!editor_->loading()) finishShowing();
}

void EditorPane::finishShowing() {
  work_progress_.reset();
  editor_->setReadOnly(view_ != View::Text || read_only_after_load_);
  loading_ = false;
  if (failing_line_after_load_ >= 0) showFailingLine(std::exchange(failing_line_after_load_, -1));
}

bool EditorPane::loading() const { return editor_->loading(); }

void EditorPane::showProgramText(const ProgramText &lines) {
  showProgramText(std::make_shared<const ProgramText>(lines));
}

void EditorPane::showProgramText(std::shared_ptr<const ProgramText> lines) {
  // Checked before anything is copied: a text too big for the memory left costs nothing.
  uint64_t chars = lines->empty() ? 0 : lines->size() - 1;
  for (const auto &line : *lines) chars += line.size();
  if (!roomToShow(chars, lines->size())) {
    showNothing();
    return;
  }
  startShowing(View::Text);
  editor_->loadLines(std::move(lines));
  finishShowingUnlessLoading();
}

void EditorPane::showHex(const uint8_t *bytes, size_t length) {
  // Checked before the dump is built: its text is about three and a half times the bytes.
  if (!roomToShow(HexDumpLines(length) * kHexDumpLineChars, HexDumpLines(length))) {
    showNothing();
    return;
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  showText(QString::fromLatin1(HexDumpText(bytes, length)), View::Hex);
  QApplication::restoreOverrideCursor();
}

void EditorPane::showRawBytes(const uint8_t *bytes, size_t length) {
  // A text the memory cannot take is not shown, here as for a program's text and its hex dump.
  const ProgramLines raw = bytes ? RawBinaryLines(bytes, length) : ProgramLines{};
  uint64_t chars = 0;
  for (const auto &line : raw) chars += line.size() + 1;
  if (!roomToShow(chars * 2, raw.size())) {  // caret notation takes up to two characters a byte
    showNothing();
    return;
  }
  QStringList lines;
  const bool pictures = DrawsControlPictures(editor_->font());
  for (const auto &line : raw) lines.append(VisibleRawLine(line, pictures));
  showText(lines.join(QLatin1Char('\n')), View::Raw);
}

void EditorPane::showNothing() {
  showText(QString(), View::None);
  editor_->setReadOnly(true);
}

void EditorPane::showFailingLine(int line) {
  if (editor_->loading()) {
    failing_line_after_load_ = line;
    return;
  }
  const QTextBlock block = editor_->document()->findBlockByNumber(line);
  if (line >= 0 && block.isValid() && !block.text().isEmpty()) {
    QTextCursor cursor(block);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    editor_->setTextCursor(cursor);
    editor_->centerCursor();
    editor_->setErrorLine(line);
  }
  editor_->setFocus();
}

void EditorPane::setReadOnly(bool readOnly) {
  if (editor_->loading())
    read_only_after_load_ = readOnly;
  else
    editor_->setReadOnly(readOnly);
}

QStringList EditorPane::lines() const {
  QStringList out = editor_->rawText().split(QChar::ParagraphSeparator);
  // An empty editor is one empty line: no lines.
  if (out.size() == 1 && out.front().isEmpty()) out.clear();
  return out;
}

void EditorPane::copyProgramText(ProgramText &lines) const {
  const QString raw = editor_->rawText();
  const auto *chars = reinterpret_cast<const char16_t *>(raw.utf16());
  const qsizetype size = raw.size();
  // Written over the lines there are: a text confirmed again mostly keeps its storage.
  lines.resize(raw.isEmpty() ? 0 : static_cast<size_t>(std::count(chars, chars + size, u'\u2029')) + 1);
  size_t line = 0;
  for (qsizetype start = 0, i = 0; line < lines.size(); ++i) {
    if (i == size || chars[i] == u'\u2029') {
      lines[line++].assign(chars + start, static_cast<size_t>(i - start));
      start = i + 1;
    }
  }
}

bool EditorPane::hexView() const { return hex_view_action_->isChecked(); }
void EditorPane::setHexView(bool on) { hex_view_action_->setChecked(on); }

// ---- The action selector ----

void EditorPane::fillActionSelector(int projectType) {
  action_selector_->clear();
  if (projectType == 0) {
    action_selector_->addItems({QStringLiteral("Добавить NULL в конец кадра"), QStringLiteral("Убрать все NULL"),
                                QStringLiteral("Убрать все пробелы")});
  } else if (projectType == 1) {
    action_selector_->addItems({QStringLiteral("Удалить номера кадров"), QStringLiteral("Перенумеровать кадры")});
  } else {
    action_selector_->setEnabled(false);
    run_action_->setEnabled(false);
    return;
  }
  action_selector_->setCurrentIndex(0);
}

int EditorPane::savedAction() const {
  return action_selector_->currentIndex() >= 0 ? action_selector_->currentIndex() : saved_action_;
}

// ---- Commands ----

void EditorPane::applyCommands(const workflow::CommandSet &enabled) {
  using workflow::Command;
  const std::pair<Command, QAction *> actions[] = {
      {Command::RunEdit, run_action_},           {Command::CheckFile, check_action_},
      {Command::ConfirmText, ok_action_},        {Command::DiscardText, cancel_action_},
      {Command::Find, search_action_},           {Command::Replace, replace_action_},
      {Command::ZoomIn, zoom_in_action_},        {Command::ZoomOut, zoom_out_action_},
      {Command::OpenTextFile, open_file_action_}, {Command::SaveTextFile, save_file_action_},
      {Command::Cut, cut_action_},               {Command::Copy, copy_action_},
      {Command::Paste, paste_action_},           {Command::SelectAll, select_all_action_},
      {Command::Undo, undo_action_},
  };
  for (const auto &[command, action] : actions) action->setEnabled(workflow::Has(enabled, command));
  action_selector_->setEnabled(workflow::Has(enabled, Command::EditSelector));
}

void EditorPane::fillMenu(QMenu &menu) const {
  menu.addAction(open_file_action_);
  menu.addAction(save_file_action_);
  menu.addSeparator();
  menu.addAction(undo_action_);
  menu.addAction(cut_action_);
  menu.addAction(copy_action_);
  menu.addAction(paste_action_);
  menu.addAction(select_all_action_);
  menu.addSeparator();
  menu.addAction(search_action_);
  menu.addAction(replace_action_);
  menu.addSeparator();
  menu.addAction(check_action_);
  menu.addAction(ok_action_);
  menu.addAction(cancel_action_);
  menu.addAction(run_action_);
  menu.addSeparator();
  menu.addAction(hex_view_action_);
  menu.addAction(zoom_in_action_);
  menu.addAction(zoom_out_action_);
}

QList<QAction *> EditorPane::commandActions() const {
  return {run_action_,       check_action_,     ok_action_,   cancel_action_, search_action_,
          replace_action_,   zoom_in_action_,   zoom_out_action_, open_file_action_, save_file_action_,
          cut_action_,       copy_action_,      paste_action_, select_all_action_, undo_action_};
}

void EditorPane::showFindDialog(FindReplaceDialog *&dialog, bool replace) {
  if (!dialog) {
    const auto mode = replace ? FindReplaceDialog::Mode::Replace : FindReplaceDialog::Mode::Find;
    dialog = new FindReplaceDialog(mode, *editor_, dialogs_, this);
  }
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
}

void EditorPane::runEdit() {
  struct Edit {
    const char *status;
    void (*run)(ProgramLines &, const ProgressSink &);
  };
  static const Edit k2C42[] = {{"Добавление NULL в конец кадра", AddNULL},
                               {"Удаление всех NULL", RemoveNULL},
                               {"Удаление всех пробелов", RemoveSpace}};
  static const Edit kNC31[] = {{"Удаление номеров кадров", RemoveNum}, {"Перенумерация кадров", nullptr}};
  const int choice = action_selector_->currentIndex();
  const int type = services_.projectType();
  const Edit *edit = nullptr;
  if (type == 0 && choice >= 0 && choice < 3) edit = &k2C42[choice];
  if (type == 1 && choice >= 0 && choice < 2) edit = &kNC31[choice];
  if (edit && view_ == View::Text) {
    editor_->setUpdatesEnabled(false);
    {
      ConversionProgress progress(services_.progressWindow(), window(), QString::fromUtf8(edit->status));
      ProgramLines lines = toU16Lines(editor_->lines());
      if (edit->run) {
        edit->run(lines, progress.sink());
      } else {
        RemoveNum(lines, progress.sink());
        SetNewNum(lines, progress.sink());
      }
      // One undoable step over the whole text.
      QTextCursor cursor(editor_->document());
      cursor.beginEditBlock();
      cursor.select(QTextCursor::Document);
      cursor.insertText(fromU16Lines(lines).join(QLatin1Char('\n')));
      cursor.endEditBlock();
    }
    editor_->setUpdatesEnabled(true);
  }
  text_changed_ = true;
  emit textEdited();
}
