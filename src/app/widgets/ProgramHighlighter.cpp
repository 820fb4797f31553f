#include "widgets/ProgramHighlighter.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

namespace {

// Above this many lines changed at once, every line is made stale in one step.
constexpr int kLinesMarkedOneByOne = 256;

}  // namespace

ProgramHighlighter::ProgramHighlighter(QPlainTextEdit *editor) : QObject(editor), editor_(editor) {
  letter_.setForeground(QColor(0x00, 0x00, 0xB0));
  letter_.setFontWeight(QFont::Bold);
  number_.setForeground(QColor(0x00, 0x80, 0x00));
  comment_.setForeground(QColor(0x80, 0x80, 0x80));
  comment_.setFontItalic(true);
  editor_->viewport()->installEventFilter(this);
}

void ProgramHighlighter::setActive(bool active) {
  if (active_ == active) return;
  active_ = active;
  ++generation_;
  editor_->viewport()->update();
}

bool ProgramHighlighter::eventFilter(QObject *watched, QEvent *event) {
  // Before the editor paints its view: the lines it is about to draw get their colours.
  if (event->type() == QEvent::Paint && watched == editor_->viewport()) formatVisibleBlocks();
  return QObject::eventFilter(watched, event);
}

void ProgramHighlighter::textChanged(int position, int removed, int added) {
  if (formatting_) return;
  Q_UNUSED(removed);
  const QTextDocument *doc = editor_->document();
  QTextBlock block = doc->findBlock(position);
  const QTextBlock last = doc->findBlock(position + added);
  if (last.blockNumber() - block.blockNumber() > kLinesMarkedOneByOne) {
    ++generation_;
    return;
  }
  for (; block.isValid(); block = block.next()) {
    block.setUserState(-1);
    if (block == last) break;
  }
}

void ProgramHighlighter::formatVisibleBlocks() {
  // The editor may have been given another document since the last paint.
  if (document_ != editor_->document()) {
    if (document_) disconnect(document_, nullptr, this, nullptr);
    document_ = editor_->document();
    connect(document_, &QTextDocument::contentsChange, this, &ProgramHighlighter::textChanged);
    ++generation_;
  }
  // Without line wrapping every line is one row: the rows in view, and one more partly shown.
  const int rowHeight = std::max(1, QFontMetrics(editor_->font()).lineSpacing());
  const int rows = editor_->viewport()->height() / rowHeight + 2;
  QTextBlock block = editor_->cursorForPosition(QPoint(0, 0)).block();
  formatting_ = true;
  for (int i = 0; i < rows && block.isValid(); ++i, block = block.next())
    if (block.userState() != generation_) formatBlock(block);
  formatting_ = false;
}

void ProgramHighlighter::formatBlock(QTextBlock &block) {
  QTextLayout *layout = block.layout();
  const QList<QTextLayout::FormatRange> formats = active_ ? formatsOf(block.text()) : QList<QTextLayout::FormatRange>{};
  block.setUserState(generation_);
  if (formats.isEmpty() && layout->formats().isEmpty()) return;
  layout->setFormats(formats);
  // The line is laid out and drawn again with its colours.
  editor_->document()->markContentsDirty(block.position(), block.length());
}

QList<QTextLayout::FormatRange> ProgramHighlighter::formatsOf(const QString &text) const {
  QList<QTextLayout::FormatRange> out;
  auto add = [&out](int start, int length, const QTextCharFormat &format) {
    // Neighbouring letters share one range.
    if (!out.isEmpty() && out.back().start + out.back().length == start && out.back().format == format) {
      out.back().length += length;
      return;
    }
    out.append({start, length, format});
  };
  const int n = static_cast<int>(text.size());
  int i = 0;
  while (i < n) {
    const QChar c = text[i];
    if (c == QLatin1Char(';')) {  // the rest of the line
      add(i, n - i, comment_);
      break;
    }
    if (c == QLatin1Char('(')) {  // up to the closing parenthesis, or the end of the line
      const qsizetype close = text.indexOf(QLatin1Char(')'), i + 1);
      const int end = close < 0 ? n : static_cast<int>(close) + 1;
      add(i, end - i, comment_);
      i = end;
      continue;
    }
    if (c.isLetter()) {
      add(i, 1, letter_);
      ++i;
      continue;
    }
    const bool sign = (c == QLatin1Char('-') || c == QLatin1Char('+')) && i + 1 < n &&
                      (text[i + 1].isDigit() || text[i + 1] == QLatin1Char('.'));
    if (c.isDigit() || sign || (c == QLatin1Char('.') && i + 1 < n && text[i + 1].isDigit())) {
      int end = i + 1;
      while (end < n && (text[end].isDigit() || text[end] == QLatin1Char('.'))) ++end;
      add(i, end - i, number_);
      i = end;
      continue;
    }
    ++i;
  }
  return out;
}
