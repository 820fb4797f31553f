#pragma once
// The options a project is worked with: how programs are converted between text and binary, how
// the formats are written and read, and how long device operations may take. One record for every
// place that keeps them: the settings file, the project file (its processing part), the settings
// dialog and the window.

#include <cstdint>

namespace kalvort {

// Whether programs are converted at all and by which control's format. The part of the options a
// project file stores.
struct ProcessingOptions {
  bool enabled = true;
  int32_t project_type = 0;  // 0 = 2С42 / 2Р22, 1 = НЦ-31 / МС-2109
  bool operator==(const ProcessingOptions &) const = default;
};

struct Options {
  ProcessingOptions processing;
  bool merge_nc31_words = false;     // НЦ-31 reading: one line per block
  bool keep_program_numbers = true;  // 2С42: a program moved in the catalog keeps its number
  bool drop_spaces = true;           // 2С42 writing: drop spaces
  bool drop_empty_lines = true;      // 2С42 / ВЗ writing: drop empty lines
  bool vz20_format = false;          // 2С42 projects: the ВЗ-20х format instead of 2С42
  int32_t timeout_factor = 3;        // multiplies every device time-out, kMinTimeoutFactor..kMaxTimeoutFactor
  bool operator==(const Options &) const = default;
};

// The device time-out factor: 1..5, a value outside is taken to the nearer end. The one rule for
// every reader of it (the settings file, the command line, a device object).
inline constexpr int32_t kMinTimeoutFactor = 1;
inline constexpr int32_t kMaxTimeoutFactor = 5;
constexpr int32_t ClampTimeoutFactor(int32_t factor) {
  return factor < kMinTimeoutFactor ? kMinTimeoutFactor : factor > kMaxTimeoutFactor ? kMaxTimeoutFactor : factor;
}

}  // namespace kalvort
