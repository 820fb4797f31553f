#pragma once
// Colours the words of a part program: address letters, numbers, and comments (text in
// parentheses and text after ";"). Switched off for the hex and raw views.
//
// Only the lines on screen are coloured, just before the editor paints them, and each line once
// until its text changes: a program of a million lines costs what its visible lines cost, and no
// pass over the whole text runs when it is loaded or edited.

#include <QObject>
#include <QTextCharFormat>
#include <QTextLayout>

class QPlainTextEdit;
class QTextBlock;
class QTextDocument;

class ProgramHighlighter : public QObject {
  Q_OBJECT

 public:
  // Colours what `editor` shows; a child of the editor.
  explicit ProgramHighlighter(QPlainTextEdit *editor);

  // Off: the lines are shown without colours (the hex and raw views).
  void setActive(bool active);
  bool isActive() const { return active_; }

  const QTextCharFormat &letterFormat() const { return letter_; }
  const QTextCharFormat &numberFormat() const { return number_; }
  const QTextCharFormat &commentFormat() const { return comment_; }

  // The colouring of one line of program text.
  QList<QTextLayout::FormatRange> formatsOf(const QString &text) const;

 protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

 private:
  // Colours the lines in view that are not coloured yet.
  void formatVisibleBlocks();
  void formatBlock(QTextBlock &block);
  // The text changed from `position` on: those lines are coloured again when next shown.
  void textChanged(int position, int removed, int added);

  QPlainTextEdit *editor_;
  QTextDocument *document_ = nullptr;  // the editor's document whose changes are followed
  bool active_ = true;
  bool formatting_ = false;
  // A line is coloured when its user state equals this; raising it makes every line stale.
  int generation_ = 1;
  QTextCharFormat letter_, number_, comment_;
};
