#pragma once
// Step-by-step trace of the device core and the transports. Every line goes to the program's log
// sink as a debug line (base/Log.h). Besides, when the environment variable KALVORT_DEBUG_LOG
// names a file, open_log opens that file (the name passed to it is ignored) and write_log appends
// one time-stamped line per call. All three are safe to call from any thread.

#include <string_view>

namespace kalvort {

void open_log(std::string_view file_name);
void write_log(std::string_view line);
void close_log();

}  // namespace kalvort
