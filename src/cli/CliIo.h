#pragma once
// Whole-file input and output for kalvort-cli commands. "-" is standard input or output.

#include <cstddef>
#include <cstdint>
#include <string>

namespace kalvort::cli {

// Reads the whole file; on failure fills `error` ("cannot read PATH: reason"). An input longer
// than `maxBytes` fails without reading past the limit, so an endless one (a pipe, /dev/zero)
// ends at once with bounded memory.
bool readInput(const std::string &path, std::string &bytes, std::string &error,
               std::size_t maxBytes = SIZE_MAX);

// Writes the bytes; a file through SafeSaveFile, so a failed write leaves the previous file as it
// was and a replaced file keeps its permissions.
bool writeOutput(const std::string &path, const std::string &bytes, std::string &error);

}  // namespace kalvort::cli
