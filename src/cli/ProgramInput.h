#pragma once
// The input of the program commands (convert, edit, lda): a program text, a program image or an
// LDA stream, read whole and bounded.

#include <cstddef>
#include <string>

namespace kalvort::cli {

// The largest memory module's capacity: no program or stream a module holds is larger, and
// its text is never far larger either. Longer inputs are refused.
std::size_t maxProgramInput();

// Reads PATH ("-": standard input) into `bytes`; on failure prints the reason and returns false.
bool readProgramInput(const std::string &path, std::string &bytes);

}  // namespace kalvort::cli
