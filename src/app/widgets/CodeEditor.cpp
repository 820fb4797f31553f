#include "widgets/CodeEditor.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPainter>
#include <QPlainTextDocumentLayout>
#include <QTextBlock>
#include <QThread>

#include "formats/SearchAndReplace.h"

namespace {

class Gutter : public QWidget {
 public:
  explicit Gutter(CodeEditor *editor) : QWidget(editor), editor_(editor) {}
  QSize sizeHint() const override { return {editor_->gutterWidth(), 0}; }

 protected:
  void paintEvent(QPaintEvent *event) override { editor_->paintGutter(event); }

 private:
  CodeEditor *editor_;
};

// A load in slices: each puts in lines for about this long before the window's events run again.
constexpr qint64 kSliceNanoseconds = 20'000'000;
// Texts up to this many characters are shown at once.
constexpr qsizetype kLoadAtOnce = 256 * 1024;
// Documents of more lines than this are replaced, not emptied, when another text is shown.
constexpr int kLinesEmptiedInPlace = 50'000;
// Replace-alls of up to this many hits are done at once.
constexpr size_t kReplaceAtOnce = 2000;
// The characters put in with one insertion of a slice (whole lines up to about this many).
constexpr qsizetype kInsertChars = 16 * 1024;

std::u16string_view viewOf(const QString &s) {
  return {reinterpret_cast<const char16_t *>(s.utf16()), static_cast<size_t>(s.size())};
}

}  // namespace

CodeEditor::CodeEditor(QWidget *parent) : QPlainTextEdit(parent), gutter_(new Gutter(this)) {
  setFont(defaultFont());
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  connect(this, &QPlainTextEdit::blockCountChanged, this, &CodeEditor::updateGutterWidth);
  connect(this, &QPlainTextEdit::updateRequest, this, &CodeEditor::updateGutter);
  connect(this, &QPlainTextEdit::textChanged, this, [this] {
    if (work_ != Work::Loading) setErrorLine(-1);
  });
  connect(document(), &QTextDocument::contentsChange, this, &CodeEditor::followChange);
  slice_timer_.setInterval(0);
  connect(&slice_timer_, &QTimer::timeout, this, &CodeEditor::runSlice);
  updateGutterWidth();
}

CodeEditor::~CodeEditor() {
  if (work_ == Work::Replacing) QApplication::restoreOverrideCursor();
}

void CodeEditor::replaceLongDocument() {
  QTextDocument *old = document();
  auto *fresh = new QTextDocument(this);
  fresh->setDocumentLayout(new QPlainTextDocumentLayout(fresh));
  fresh->setDefaultFont(old->defaultFont());
  // Not the editor's any more, so setDocument() does not free it here.
  old->disconnect();
  old->setParent(nullptr);
  setDocument(fresh);
  connect(fresh, &QTextDocument::contentsChange, this, &CodeEditor::followChange);
  search_text_stale_ = true;
  if (!dispose_) {
    delete old;
    return;
  }
  // Belongs to no thread until the disposer's thread frees it: an object is freed on its own thread.
  old->moveToThread(nullptr);
  dispose_(std::shared_ptr<QObject>(old, [](QObject *document) {
    document->moveToThread(QThread::currentThread());
    delete document;
  }));
}

QFont CodeEditor::defaultFont() {
  QFont font;
  if (QFontDatabase::families().contains(QStringLiteral("Courier New")))
    font = QFont(QStringLiteral("Courier New"));
  else
    font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setPointSize(kMinPointSize);
  return font;
}

int CodeEditor::pointSize() const { return font().pointSize(); }

bool CodeEditor::zoomInOnePoint() {
  if (pointSize() >= kMaxPointSize) return false;
  QFont f = font();
  f.setPointSize(pointSize() + 1);
  setFont(f);
  updateGutterWidth();
  return true;
}

bool CodeEditor::zoomOutOnePoint() {
  if (pointSize() <= kMinPointSize) return false;
  QFont f = font();
  f.setPointSize(pointSize() - 1);
  setFont(f);
  updateGutterWidth();
  return true;
}

void CodeEditor::setErrorLine(int line) {
  if (errorLine_ == line) return;
  errorLine_ = line;
  gutter_->update();
}

QStringList CodeEditor::lines() const {
  QStringList out;
  const QTextDocument *doc = document();
  out.reserve(doc->blockCount());
  for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) out.append(b.text());
  // An empty editor is one empty block: no lines.
  if (out.size() == 1 && out.front().isEmpty()) out.clear();
  return out;
}

void CodeEditor::setLines(const QStringList &lines) { setPlainText(lines.join(QLatin1Char('\n'))); }

QString CodeEditor::rawText() const {
  if (work_ != Work::Loading) {
    searchText();
    return search_text_;
  }
  if (load_lines_) {
    QString text;
    for (const auto &line : *load_lines_) {
      if (!text.isEmpty() || &line != &load_lines_->front()) text += QChar::ParagraphSeparator;
      text.append(reinterpret_cast<const QChar *>(line.data()), static_cast<qsizetype>(line.size()));
    }
    return text;
  }
  QString text = load_text_;
  text.replace(QLatin1Char('\n'), QChar::ParagraphSeparator);
  return text;
}

// ---- Work in slices ----

void CodeEditor::runSlice() {
  const bool done = work_ == Work::Loading ? loadSlice() : work_ == Work::Replacing ? replaceSlice() : true;
  if (!done) return;
  if (work_ == Work::Loading) {
    // What went in is the text searches run over, unless a CR LF made one line break of two
    // characters (the length check finds it).
    QString loaded = std::move(loaded_);
    stopLoading();
    if (loaded.size() == document()->characterCount() - 1) {
      search_text_ = std::move(loaded);
      search_text_stale_ = false;
    }
  } else if (work_ == Work::Replacing) {
    finishReplacing();
  }
  slice_timer_.stop();
  emit workFinished();
}

void CodeEditor::loadText(QString text) {
  endWork();
  const qsizetype chars = text.size();
  load_text_ = std::move(text);
  startLoading(chars);
}

void CodeEditor::loadLines(std::shared_ptr<const std::vector<std::u16string>> lines) {
  endWork();
  qsizetype chars = lines->empty() ? 0 : static_cast<qsizetype>(lines->size()) - 1;
  for (const auto &line : *lines) chars += static_cast<qsizetype>(line.size());
  load_lines_ = std::move(lines);
  startLoading(chars);
}

void CodeEditor::endWork() {
  if (work_ == Work::Replacing) {
    while (!replaceSlice()) {
    }
    finishReplacing();
  }
  stopLoading();
}

void CodeEditor::startLoading(qsizetype chars) {
  if (document()->blockCount() > kLinesEmptiedInPlace) replaceLongDocument();
  load_position_ = 0;
  if (chars <= kLoadAtOnce) {
    QString text;
    while (load_position_ < loadSize()) text += nextLoadChunk();
    stopLoading();
    setPlainText(text);
    return;
  }
  // Lines go in without undo steps: the loaded text is where undo stops, as after setPlainText().
  setPlainText(QString());
  document()->setUndoRedoEnabled(false);
  loaded_.reserve(chars);
  work_ = Work::Loading;
  slice_timer_.start();
}

qsizetype CodeEditor::loadSize() const {
  return load_lines_ ? static_cast<qsizetype>(load_lines_->size()) : load_text_.size();
}

QString CodeEditor::nextLoadChunk() {
  QString chunk;
  if (load_lines_) {
    const auto &lines = *load_lines_;
    const auto count = static_cast<qsizetype>(lines.size());
    while (load_position_ < count && chunk.size() < kInsertChars) {
      if (load_position_ > 0) chunk += QLatin1Char('\n');
      const std::u16string &line = lines[static_cast<size_t>(load_position_++)];
      chunk.append(reinterpret_cast<const QChar *>(line.data()), static_cast<qsizetype>(line.size()));
    }
    return chunk;
  }
  // Whole lines, so that no line is laid out twice.
  const qsizetype size = load_text_.size();
  qsizetype stop = std::min(size, load_position_ + kInsertChars);
  if (stop < size) {
    const qsizetype newline = load_text_.indexOf(QLatin1Char('\n'), stop);
    stop = newline < 0 ? size : newline + 1;
  }
  chunk = load_text_.mid(load_position_, stop - load_position_);
  load_position_ = stop;
  return chunk;
}

bool CodeEditor::loadSlice() {
  QElapsedTimer slice;
  slice.start();
  QTextCursor end(document());
  end.movePosition(QTextCursor::End);
  const qsizetype size = loadSize();
  const bool first = load_position_ == 0;
  while (load_position_ < size && slice.nsecsElapsed() < kSliceNanoseconds) {
    const QString chunk = nextLoadChunk();
    end.insertText(chunk);
    const qsizetype from = loaded_.size();
    loaded_ += chunk;
    for (qsizetype i = from; i < loaded_.size(); ++i)
      if (loaded_[i] == QLatin1Char('\n') || loaded_[i] == QLatin1Char('\r')) loaded_[i] = QChar::ParagraphSeparator;
  }
  // The caret was where the first lines went in, and went on with them: back to the start.
  if (first) setTextCursor(QTextCursor(document()));
  if (load_position_ >= size) return true;
  emit workProgress(static_cast<int>(load_position_ * 100 / size));
  return false;
}

void CodeEditor::stopLoading() {
  slice_timer_.stop();
  load_text_ = QString();
  load_lines_.reset();
  loaded_ = QString();
  if (work_ != Work::Loading) return;
  work_ = Work::None;
  document()->setUndoRedoEnabled(true);
}

bool CodeEditor::replaceSlice() {
  QElapsedTimer slice;
  slice.start();
  while (replace_left_ > 0 && slice.nsecsElapsed() < kSliceNanoseconds) {
    for (int i = 0; i < 64 && replace_left_ > 0; ++i) {
      const qsizetype at = replace_hits_[--replace_left_];
      replace_cursor_.setPosition(static_cast<int>(at));
      replace_cursor_.setPosition(static_cast<int>(at + replace_length_), QTextCursor::KeepAnchor);
      replace_cursor_.insertText(replace_with_);
    }
  }
  // The search text as it will be, put together from its start as far as the edits have come.
  const size_t built = replace_hits_.size() - replace_left_;
  for (; replace_built_ < built; ++replace_built_) {
    const qsizetype at = replace_hits_[replace_built_];
    const qsizetype from = replace_built_ == 0 ? 0 : replace_hits_[replace_built_ - 1] + replace_length_;
    replaced_text_.append(QStringView(search_text_).mid(from, at - from));
    replaced_text_.append(replace_with_);
  }
  if (replace_left_ == 0) {
    replaced_text_.append(QStringView(search_text_).mid(replace_hits_.back() + replace_length_));
    return true;
  }
  // A replace-all done at once has no progress to show (and no end to report).
  if (work_ == Work::Replacing)
    emit workProgress(static_cast<int>((replace_hits_.size() - replace_left_) * 100 / replace_hits_.size()));
  return false;
}

void CodeEditor::finishReplacing() {
  // The one change the edit block reports is the text already worked out.
  following_ = false;
  replace_cursor_.endEditBlock();
  following_ = true;
  search_text_ = std::move(replaced_text_);
  search_text_stale_ = false;
  // The caret stands after the last replacement, as after replacing one by one.
  const qsizetype grown = (replace_with_.size() - replace_length_) * static_cast<qsizetype>(replace_hits_.size() - 1);
  replace_cursor_.setPosition(static_cast<int>(replace_hits_.back() + grown + replace_with_.size()));
  setTextCursor(replace_cursor_);
  const bool sliced = work_ == Work::Replacing;
  work_ = Work::None;
  replace_cursor_ = QTextCursor();
  replace_hits_.clear();
  if (sliced) {
    if (disabled_window_) disabled_window_->setEnabled(true);
    disabled_window_ = nullptr;
    setReadOnly(read_only_before_replace_);
    viewport()->setUpdatesEnabled(true);
    QApplication::restoreOverrideCursor();
  }
}

// ---- Search ----

std::u16string_view CodeEditor::searchText() const {
  if (search_text_stale_) {
    search_text_ = document()->toRawText();
    search_text_stale_ = false;
  }
  return viewOf(search_text_);
}

void CodeEditor::followChange(int position, int removed, int added) {
  if (search_text_stale_ || !following_) return;
  const qsizetype length = document()->characterCount() - 1;  // without the last separator
  if (position < 0 || position > search_text_.size() || search_text_.size() - removed + added != length ||
      position + added > length) {
    search_text_stale_ = true;
    return;
  }
  if (added > kInsertChars) {  // made afresh from the document at the next search, at less cost
    search_text_stale_ = true;
    return;
  }
  QTextCursor changed(document());
  changed.setPosition(position);
  changed.setPosition(position + added, QTextCursor::KeepAnchor);
  const QString inserted = changed.selectedText();
  search_text_.replace(position, std::min<qsizetype>(removed, search_text_.size() - position), inserted);
}

qsizetype CodeEditor::nextHit(const QString &what, bool downward, bool matchCase, int caret, int selectionStart) const {
  // The line separators of the text never occur in a search text of one line.
  const auto at = kalvort::FindInText(searchText(), viewOf(what), static_cast<size_t>(downward ? caret : selectionStart),
                                      downward, matchCase);
  return at ? static_cast<qsizetype>(*at) : -1;
}

bool CodeEditor::selectNext(const QString &what, bool downward, bool matchCase, QTextCursor &cursor) const {
  const qsizetype start = nextHit(what, downward, matchCase, cursor.selectionEnd(), cursor.selectionStart());
  if (start < 0) return false;
  cursor.setPosition(static_cast<int>(start));
  cursor.setPosition(static_cast<int>(start + what.size()), QTextCursor::KeepAnchor);
  return true;
}

bool CodeEditor::findText(const QString &what, bool downward, bool matchCase) {
  if (work_ != Work::None) return false;
  QTextCursor cursor = textCursor();
  if (!selectNext(what, downward, matchCase, cursor)) return false;
  setFocus();
  setTextCursor(cursor);
  return true;
}

bool CodeEditor::replaceNext(const QString &what, const QString &with, bool matchCase) {
  if (work_ != Work::None) return false;
  QTextCursor cursor = textCursor();
  cursor.setPosition(cursor.selectionStart());
  if (!selectNext(what, true, matchCase, cursor)) return false;
  setFocus();
  cursor.insertText(with);
  setTextCursor(cursor);
  return true;
}

int CodeEditor::replaceAll(const QString &what, const QString &with, bool matchCase) {
  if (what.isEmpty() || work_ != Work::None) return 0;
  // Every hit of the text as it stands, each search going on after the previous hit (so after the
  // text that replaces it); they are replaced from the last to the first so that the places found
  // stay where they are, and the text they give is put together beside.
  replace_hits_.clear();
  for (qsizetype at = nextHit(what, true, matchCase, 0, 0); at >= 0;
       at = nextHit(what, true, matchCase, static_cast<int>(at + what.size()), 0))
    replace_hits_.push_back(at);
  if (replace_hits_.empty()) return 0;
  replaced_text_ = QString();
  replaced_text_.reserve(search_text_.size() + (with.size() - what.size()) * static_cast<qsizetype>(replace_hits_.size()));
  replace_built_ = 0;
  replace_left_ = replace_hits_.size();
  replace_length_ = what.size();
  replace_with_ = with;
  replace_cursor_ = QTextCursor(document());
  replace_cursor_.beginEditBlock();
  const int count = static_cast<int>(replace_hits_.size());
  if (replace_hits_.size() <= kReplaceAtOnce) {
    while (!replaceSlice()) {
    }
    finishReplacing();
    return count;
  }
  work_ = Work::Replacing;
  read_only_before_replace_ = isReadOnly();
  setReadOnly(true);
  // Nothing in the window may look at or change the text meanwhile (choosing another program would
  // take a text that is half replaced).
  if (window()->isEnabled()) {
    disabled_window_ = window();
    disabled_window_->setEnabled(false);
  }
  viewport()->setUpdatesEnabled(false);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  slice_timer_.start();
  return count;
}

int CodeEditor::gutterWidth() const {
  int digits = 1;
  for (int max = qMax(1, blockCount()); max >= 10; max /= 10) ++digits;
  return 8 + fontMetrics().horizontalAdvance(QLatin1Char('9')) * qMax(digits, 3);
}

void CodeEditor::updateGutterWidth() { setViewportMargins(gutterWidth(), 0, 0, 0); }

void CodeEditor::updateGutter(const QRect &rect, int dy) {
  if (dy)
    gutter_->scroll(0, dy);
  else
    gutter_->update(0, rect.y(), gutter_->width(), rect.height());
}

void CodeEditor::resizeEvent(QResizeEvent *event) {
  // Lines are never wrapped, so a new width changes no line: the base class is told only of the
  // new height. A new width would have it lay out every line of the text afresh, which for a
  // million lines holds the window's thread for a second and a third of a kilobyte per line.
  const QResizeEvent heightOnly(event->size(), QSize(event->size().width(), event->oldSize().height()));
  QPlainTextEdit::resizeEvent(const_cast<QResizeEvent *>(&heightOnly));
  const QRect cr = contentsRect();
  gutter_->setGeometry(QRect(cr.left(), cr.top(), gutterWidth(), cr.height()));
}

void CodeEditor::focusOutEvent(QFocusEvent *event) {
  QPlainTextEdit::focusOutEvent(event);
  // Moving to another window (a find dialog, a message box) is not leaving the editor.
  if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason) emit focusLost();
}

void CodeEditor::paintGutter(QPaintEvent *event) {
  QPainter painter(gutter_);
  const QPalette pal = palette();
  painter.fillRect(event->rect(), pal.color(QPalette::Window));
  painter.setFont(font());
  QTextBlock block = firstVisibleBlock();
  int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
  const int width = gutter_->width();
  while (block.isValid() && top <= event->rect().bottom()) {
    const int height = qRound(blockBoundingRect(block).height());
    if (block.isVisible() && top + height >= event->rect().top()) {
      const bool error = block.blockNumber() == errorLine_;
      if (error) painter.fillRect(0, top, width, height, QColor(0xE0, 0x40, 0x40));
      painter.setPen(error ? QColor(Qt::white) : pal.color(QPalette::PlaceholderText));
      painter.drawText(0, top, width - 4, height, Qt::AlignRight | Qt::AlignVCenter,
                       QString::number(block.blockNumber() + 1));
    }
    block = block.next();
    top += height;
  }
}
