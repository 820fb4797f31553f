#pragma once
// The program editor: a plain-text editor with a line-number gutter, a mark in the gutter for the
// line a conversion stopped on (kept until the next edit), zoom between 8 and 48 points, and the
// search and replace of the find and replace dialogs.
//
// A long text is loaded, and a replace-all with many hits is done, in slices between the window's
// events (read-only meanwhile), so the window keeps painting and reacting while a program of a
// million lines comes in or changes. Searches run over one copy of the whole text, which each
// change keeps in step.

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QPaintEvent;
class QResizeEvent;

class CodeEditor : public QPlainTextEdit {
  Q_OBJECT

 public:
  static constexpr int kMinPointSize = 8;
  static constexpr int kMaxPointSize = 48;

  // Work done in slices from the event loop.
  enum class Work { None, Loading, Replacing };

  explicit CodeEditor(QWidget *parent = nullptr);
  ~CodeEditor() override;

  // "Courier New" at 8 points when installed, otherwise the system's fixed-width font at 8 points.
  static QFont defaultFont();

  int pointSize() const;
  // One point larger while below 48, one smaller while above 8; false when at the limit.
  bool zoomInOnePoint();
  bool zoomOutOnePoint();

  // Marks line `line` (from 0) in the gutter until the text changes; -1 removes the mark.
  void setErrorLine(int line);
  int errorLine() const { return errorLine_; }

  // Where a document the editor let go is freed: a document of a million lines takes a while to
  // free, which `dispose` may do off the window's thread (the object belongs to no thread then;
  // freeing it pulls it to the freeing thread). Without one it is freed at once.
  using Disposer = std::function<void(std::shared_ptr<QObject>)>;
  void setDisposer(Disposer dispose) { dispose_ = std::move(dispose); }

  // The text's lines (block texts) and the text as a list of lines.
  QStringList lines() const;
  void setLines(const QStringList &lines);
  // The whole text with its lines separated by QChar::ParagraphSeparator (the text being loaded
  // while a load runs).
  QString rawText() const;

  // Shows `text` ("\n" between lines): at once when it is short, else in slices from the event
  // loop, read-only until workFinished(). A later load ends one in progress; a replace-all in
  // progress is completed first.
  void loadText(QString text);
  // The same for a program's lines, read as they go in (they must stay as they are meanwhile).
  void loadLines(std::shared_ptr<const std::vector<std::u16string>> lines);
  bool loading() const { return work_ == Work::Loading; }
  // Work in slices is under way: searches and replacements wait for it to end.
  Work work() const { return work_; }

  // Searches from the caret (downward: from the end of the selection; upward: before its start)
  // and selects the first hit, giving the editor the focus. False, selection unchanged, on no hit.
  bool findText(const QString &what, bool downward, bool matchCase);
  // Replace one: the selection shrinks to its start, then the next hit downward is replaced.
  bool replaceNext(const QString &what, const QString &with, bool matchCase);
  // Replace all from the start of the text, each search starting after the text just inserted;
  // one undo step. Returns the number of replacements. Many are made in slices from the event
  // loop (the window disabled, the text unpainted, the busy cursor up until workFinished());
  // nothing is replaced while other work runs.
  int replaceAll(const QString &what, const QString &with, bool matchCase);

  // Gutter (used by its widget).
  int gutterWidth() const;
  void paintGutter(QPaintEvent *event);

 signals:
  // The focus went to another widget of the same window (not to another window).
  void focusLost();
  // Work in slices: how far it is (0..100), and that it has ended (a load with the whole text
  // shown, a replace-all with every hit replaced).
  void workProgress(int percent);
  void workFinished();

 protected:
  void resizeEvent(QResizeEvent *event) override;
  void focusOutEvent(QFocusEvent *event) override;

 private:
  void updateGutterWidth();
  void updateGutter(const QRect &rect, int dy);
  bool selectNext(const QString &what, bool downward, bool matchCase, QTextCursor &cursor) const;
  // Where `what` is next found from the cursor, -1 when nowhere.
  qsizetype nextHit(const QString &what, bool downward, bool matchCase, int caret, int selectionStart) const;
  // The text searches run over. Kept in step with the document by each change, made afresh only
  // when a change cannot be followed.
  std::u16string_view searchText() const;
  void followChange(int position, int removed, int added);
  // A text of many lines is not emptied in place, which holds the window's thread for as long as
  // its lines take to free: the editor takes a new document and the old one goes to the disposer.
  void replaceLongDocument();
  void runSlice();
  void endWork();  // a replace-all completed, a load dropped
  void startLoading(qsizetype chars);
  qsizetype loadSize() const;  // the text's length or the number of lines
  QString nextLoadChunk();  // the next lines to put in, with their line breaks
  bool loadSlice();     // true when the whole text is in
  bool replaceSlice();  // true when every hit is replaced
  void stopLoading();
  void finishReplacing();

  QWidget *gutter_;
  int errorLine_ = -1;
  Disposer dispose_;

  Work work_ = Work::None;
  QTimer slice_timer_;
  // What a load in slices puts in: a text or a program's lines; how far it is (in the text, or
  // the next line); and what is in so far, with paragraph separators, which becomes the search text.
  QString load_text_;
  std::shared_ptr<const std::vector<std::u16string>> load_lines_;
  qsizetype load_position_ = 0;
  QString loaded_;
  // A replace-all in slices: the hits left (replaced from the last), the replacement, the text as
  // it will be, and the edit block kept open until the end.
  std::vector<qsizetype> replace_hits_;
  size_t replace_left_ = 0;
  qsizetype replace_length_ = 0;
  QString replace_with_;
  QString replaced_text_;
  size_t replace_built_ = 0;  // hits whose part of replaced_text_ is there
  QTextCursor replace_cursor_;
  bool read_only_before_replace_ = false;
  QPointer<QWidget> disabled_window_;  // the window disabled while a replace-all runs in slices
  bool following_ = true;  // document changes are followed in the search text

  // The whole text, its lines separated by QChar::ParagraphSeparator.
  mutable QString search_text_;
  mutable bool search_text_stale_ = true;
};
