#include "widgets/CodeEditor.h"
#include "widgets/QtText.h"

#include <QFontDatabase>
#include <QPainter>
#include <QTextBlock>

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

kalvort::TextPlace placeOf(const QTextDocument *doc, int position) {
  const QTextBlock block = doc->findBlock(position);
  return {block.blockNumber(), position - block.position()};
}

}  // namespace

CodeEditor::CodeEditor(QWidget *parent) : QPlainTextEdit(parent), gutter_(new Gutter(this)) {
  setFont(defaultFont());
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  connect(this, &QPlainTextEdit::blockCountChanged, this, &CodeEditor::updateGutterWidth);
  connect(this, &QPlainTextEdit::updateRequest, this, &CodeEditor::updateGutter);
  connect(this, &QPlainTextEdit::textChanged, this, [this] { setErrorLine(-1); });
  updateGutterWidth();
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

bool CodeEditor::selectNext(const QString &what, bool downward, bool matchCase, QTextCursor &cursor) const {
  const QTextDocument *doc = document();
  kalvort::SearchFrom from{placeOf(doc, cursor.selectionEnd()), placeOf(doc, cursor.selectionStart())};
  const auto hit = kalvort::FindInLines([doc](int i) { return toU16(doc->findBlockByNumber(i).text()); },
                                        doc->blockCount(), toU16(what), from, downward, matchCase);
  if (!hit) return false;
  const int start = doc->findBlockByNumber(hit->line).position() + hit->column;
  cursor.setPosition(start);
  cursor.setPosition(start + static_cast<int>(what.size()), QTextCursor::KeepAnchor);
  return true;
}

bool CodeEditor::findText(const QString &what, bool downward, bool matchCase) {
  QTextCursor cursor = textCursor();
  if (!selectNext(what, downward, matchCase, cursor)) return false;
  setFocus();
  setTextCursor(cursor);
  return true;
}

bool CodeEditor::replaceNext(const QString &what, const QString &with, bool matchCase) {
  QTextCursor cursor = textCursor();
  cursor.setPosition(cursor.selectionStart());
  if (!selectNext(what, true, matchCase, cursor)) return false;
  setFocus();
  cursor.insertText(with);
  setTextCursor(cursor);
  return true;
}

int CodeEditor::replaceAll(const QString &what, const QString &with, bool matchCase) {
  if (what.isEmpty()) return 0;
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::Start);
  int count = 0;
  cursor.beginEditBlock();
  while (selectNext(what, true, matchCase, cursor)) {
    cursor.insertText(with);  // the caret stands after the inserted text
    ++count;
  }
  cursor.endEditBlock();
  if (count > 0) setTextCursor(cursor);
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
  QPlainTextEdit::resizeEvent(event);
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
