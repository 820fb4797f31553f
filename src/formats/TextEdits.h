#pragma once
// Whole-program edits of the editor text. Each works on the lines in place and reports progress
// (0 at the start and the end).

#include "formats/Conversion.h"

namespace kalvort {

// 2С42: appends "^" to every line.
void AddNULL(ProgramLines &lines, const ProgressSink &progress);
// 2С42: removes every "^" and every line that was empty before the edit, except the first line.
// Lines that held only "^" become empty lines and stay.
void RemoveNULL(ProgramLines &lines, const ProgressSink &progress);
// 2С42: removes every space (U+0020).
void RemoveSpace(ProgramLines &lines, const ProgressSink &progress);
// НЦ-31: removes the block number ("N..." up to its first space) at the start of lines, up to the
// first line that holds "^".
void RemoveNum(ProgramLines &lines, const ProgressSink &progress);
// НЦ-31: prefixes lines with "N<counter> " outside comments and "%" / ";" lines, up to "^".
void SetNewNum(ProgramLines &lines, const ProgressSink &progress);

}  // namespace kalvort
