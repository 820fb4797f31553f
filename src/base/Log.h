#pragma once
// Where the core's debug and warning lines go. The core never writes to standard output or
// standard error itself: the program sets a sink (kalvort-cli and the simulator print warnings on
// standard error, the desktop program keeps its own log). With no sink set every line is dropped.

#include <functional>
#include <string_view>

namespace kalvort {

enum class LogLevel { Debug, Warning };

// One line of text, without a line end.
using LogSink = std::function<void(LogLevel, std::string_view)>;

// Replaces the sink; an empty one drops every line. Any thread; once it returns, the previous
// sink is never called again.
void SetLogSink(LogSink sink);
// Hands one line to the sink. Any thread: lines reach the sink one at a time, never
// interleaved. A sink must not call LogMessage or SetLogSink.
void LogMessage(LogLevel level, std::string_view text);

}  // namespace kalvort
