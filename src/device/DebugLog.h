#pragma once
// Step-by-step trace of the device core and the transports. Switched off unless the environment
// variable KALVORT_DEBUG_LOG names a file: then open_log opens that file (the name passed to it is
// ignored) and write_log appends one line per call. All three are safe to call from any thread.

#include <string_view>

namespace kalvort {

void open_log(std::string_view file_name);
void write_log(std::string_view line);
void close_log();

}  // namespace kalvort
