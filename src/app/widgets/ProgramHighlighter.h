#pragma once
// Colours the words of a part program: address letters, numbers, and comments (text in
// parentheses and text after ";"). Switched off for the hex and raw views.

#include <QSyntaxHighlighter>
#include <QTextCharFormat>

class ProgramHighlighter : public QSyntaxHighlighter {
  Q_OBJECT

 public:
  explicit ProgramHighlighter(QTextDocument *document);

  // Takes effect for text loaded afterwards (loading a text highlights it anew); set it before
  // filling the editor so a view that is not a program costs nothing.
  void setActive(bool active) { active_ = active; }
  bool isActive() const { return active_; }

  const QTextCharFormat &letterFormat() const { return letter_; }
  const QTextCharFormat &numberFormat() const { return number_; }
  const QTextCharFormat &commentFormat() const { return comment_; }

 protected:
  void highlightBlock(const QString &text) override;

 private:
  bool active_ = true;
  QTextCharFormat letter_, number_, comment_;
};
