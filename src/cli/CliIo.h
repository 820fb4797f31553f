#pragma once
// Whole-file input and output for kalvort-cli commands. "-" is standard input or output.

#include <string>

namespace kalvort::cli {

// Reads the whole file; on failure fills `error` ("cannot read PATH: reason").
bool readInput(const std::string &path, std::string &bytes, std::string &error);

// Writes the bytes; a file through SafeSaveFile, so a failed write leaves the previous file as it
// was and a replaced file keeps its permissions.
bool writeOutput(const std::string &path, const std::string &bytes, std::string &error);

}  // namespace kalvort::cli
