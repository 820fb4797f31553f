#include "formats/TextEdits.h"

#include <string>

#include "base/CodePage.h"
#include "formats/ConverterFrame.h"

namespace kalvort {

void AddNULL(ProgramLines &lines, const ProgressSink &progress) {
  detail::ProgressRun run(progress);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    lines[i] += u'^';
    run.step(i + 1, lines.size());
  }
}

void RemoveNULL(ProgramLines &lines, const ProgressSink &progress) {
  detail::ProgressRun run(progress);
  const std::u16string text = joinLines(lines);
  const std::size_t n = text.size();
  std::u16string out;
  out.reserve(n);
  std::size_t i = 0;
  while (i < n) {
    const char16_t c = text[i];
    if (c == u'^') {
      ++i;
    } else if (c == u'\r' && i >= 2 && i + 1 < n && text[i + 1] == u'\n' && text[i - 2] == u'\r' &&
               text[i - 1] == u'\n') {
      // An empty line of the text as it was before the edit (not the first line).
      i += 2;
    } else {
      out.push_back(c);
      ++i;
    }
    run.step(i, n);
  }
  lines = splitLines(out);
}

void RemoveSpace(ProgramLines &lines, const ProgressSink &progress) {
  detail::ProgressRun run(progress);
  const std::u16string text = joinLines(lines);
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u' ') out.push_back(text[i]);
    run.step(i + 1, text.size());
  }
  lines = splitLines(out);
}

void RemoveNum(ProgramLines &lines, const ProgressSink &progress) {
  detail::ProgressRun run(progress);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::u16string &line = lines[i];
    if (!line.empty()) {
      const std::size_t first = line.find_first_not_of(u' ');
      const std::u16string_view rest =
          first == std::u16string::npos ? std::u16string_view(u" ")
                                        : std::u16string_view(line).substr(first);
      // Lines from the end-of-program mark on are not part of the program.
      if (rest.find(u'^') != std::u16string_view::npos) break;
      if (rest[0] == u'N' || rest[0] == u'n') {
        const std::size_t space = rest.find(u' ');
        line = space == std::u16string_view::npos ? std::u16string()
                                                  : std::u16string(rest.substr(space + 1));
      }
    }
    run.step(i + 1, lines.size());
  }
}

void SetNewNum(ProgramLines &lines, const ProgressSink &progress) {
  detail::ProgressRun run(progress);
  int counter = 0;
  bool inComment = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::u16string &line = lines[i];
    auto has = [&](char16_t c) { return line.find(c) != std::u16string::npos; };
    if (has(u'^')) break;
    if (inComment) {
      if (has(u')')) inComment = false;
    } else if (has(u'(')) {
      // Set even when the comment closes on this line: the next line holding ")" ends it.
      inComment = true;
    } else if (!has(u'%') && !has(u';')) {
      std::u16string prefix = u"N";
      for (char c : std::to_string(counter)) prefix.push_back(static_cast<char16_t>(c));
      prefix.push_back(u' ');
      line.insert(0, prefix);
      ++counter;
    }
    run.step(i + 1, lines.size());
  }
}

}  // namespace kalvort
