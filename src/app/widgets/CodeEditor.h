#pragma once
// The program editor: a plain-text editor with a line-number gutter, a mark in the gutter for the
// line a conversion stopped on (kept until the next edit), zoom between 8 and 48 points, and the
// search and replace of the find and replace dialogs.

#include <QPlainTextEdit>

class QPaintEvent;
class QResizeEvent;

class CodeEditor : public QPlainTextEdit {
  Q_OBJECT

 public:
  static constexpr int kMinPointSize = 8;
  static constexpr int kMaxPointSize = 48;

  explicit CodeEditor(QWidget *parent = nullptr);

  // "Courier New" at 8 points when installed, otherwise the system's fixed-width font at 8 points.
  static QFont defaultFont();

  int pointSize() const;
  // One point larger while below 48, one smaller while above 8; false when at the limit.
  bool zoomInOnePoint();
  bool zoomOutOnePoint();

  // Marks line `line` (from 0) in the gutter until the text changes; -1 removes the mark.
  void setErrorLine(int line);
  int errorLine() const { return errorLine_; }

  // The text's lines (block texts) and the text as a list of lines.
  QStringList lines() const;
  void setLines(const QStringList &lines);

  // Searches from the caret (downward: from the end of the selection; upward: before its start)
  // and selects the first hit, giving the editor the focus. False, selection unchanged, on no hit.
  bool findText(const QString &what, bool downward, bool matchCase);
  // Replace one: the selection shrinks to its start, then the next hit downward is replaced.
  bool replaceNext(const QString &what, const QString &with, bool matchCase);
  // Replace all from the start of the text, each search starting after the text just inserted;
  // one undo step. Returns the number of replacements.
  int replaceAll(const QString &what, const QString &with, bool matchCase);

  // Gutter (used by its widget).
  int gutterWidth() const;
  void paintGutter(QPaintEvent *event);

 signals:
  // The focus went to another widget of the same window (not to another window).
  void focusLost();

 protected:
  void resizeEvent(QResizeEvent *event) override;
  void focusOutEvent(QFocusEvent *event) override;

 private:
  void updateGutterWidth();
  void updateGutter(const QRect &rect, int dy);
  bool selectNext(const QString &what, bool downward, bool matchCase, QTextCursor &cursor) const;

  QWidget *gutter_;
  int errorLine_ = -1;
};
