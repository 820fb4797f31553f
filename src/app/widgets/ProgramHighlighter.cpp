#include "widgets/ProgramHighlighter.h"

ProgramHighlighter::ProgramHighlighter(QTextDocument *document) : QSyntaxHighlighter(document) {
  letter_.setForeground(QColor(0x00, 0x00, 0xB0));
  letter_.setFontWeight(QFont::Bold);
  number_.setForeground(QColor(0x00, 0x80, 0x00));
  comment_.setForeground(QColor(0x80, 0x80, 0x80));
  comment_.setFontItalic(true);
}

void ProgramHighlighter::highlightBlock(const QString &text) {
  if (!active_) return;
  const int n = static_cast<int>(text.size());
  int i = 0;
  while (i < n) {
    const QChar c = text[i];
    if (c == QLatin1Char(';')) {  // the rest of the line
      setFormat(i, n - i, comment_);
      return;
    }
    if (c == QLatin1Char('(')) {  // up to the closing parenthesis, or the end of the line
      const qsizetype close = text.indexOf(QLatin1Char(')'), i + 1);
      const int end = close < 0 ? n : static_cast<int>(close) + 1;
      setFormat(i, end - i, comment_);
      i = end;
      continue;
    }
    if (c.isLetter()) {
      setFormat(i, 1, letter_);
      ++i;
      continue;
    }
    const bool sign = (c == QLatin1Char('-') || c == QLatin1Char('+')) && i + 1 < n &&
                      (text[i + 1].isDigit() || text[i + 1] == QLatin1Char('.'));
    if (c.isDigit() || sign || (c == QLatin1Char('.') && i + 1 < n && text[i + 1].isDigit())) {
      int end = i + 1;
      while (end < n && (text[end].isDigit() || text[end] == QLatin1Char('.'))) ++end;
      setFormat(i, end - i, number_);
      i = end;
      continue;
    }
    ++i;
  }
}
