#pragma once
// Post-processing of catalog entries: deriving an entry's binary image from its text (write
// direction) and its text from its binary (read direction) with the converter the project's
// control type calls for. No user interface: a failed write conversion returns the reason, the
// line and the user's message, and the caller shows them.
//
// Thread: the caller owns the catalog while it converts (no device action may run on it). Each
// call uses its own Conversion object, so conversions on different catalogs may run at once.

#include <cstddef>
#include <cstdint>
#include <string>

#include "device/DevCatalog.h"
#include "device/DeviceTypes.h"
#include "formats/Conversion.h"

namespace kalvort {

// The processing settings of a project and the program's settings file.
struct PostProcessOptions {
  bool need_proc = true;         // convert programs at all
  int32_t processor_type = 0;    // 0 = 2С42 / 2Р22, 1 = НЦ-31 / МС-2109, anything else: no converter
  bool vz_200 = false;           // with type 0: the ВЗ format instead of 2С42
  bool merge_wrd_cmd = false;    // НЦ-31 reading: one line per block
  bool del_space = true;         // 2С42 writing: drop spaces
  bool del_empty_string = true;  // 2С42 / ВЗ writing: drop empty lines
};

enum class ConverterKind { None, C42, VZ, NC31 };

ConverterKind SelectConverter(const PostProcessOptions &options);
// Status text of the converter ("2C42/2Р22", "2C42 ВЗ-20х", "НЦ-31/МС-2109"); "" for none. UTF-8.
const char *ConverterStatusText(const PostProcessOptions &options);

// Why a write conversion failed.
struct ConversionFailure {
  int conv_err_code = kConvErrNone;
  int conv_err_str_num = 0;  // 1-based line of the text; 0 when none is known
  std::string message;       // the user's message (UTF-8), caption "Проверка"
};

// Text to binary for entry `index`. Clears the entry's binary-valid mark first. False with nothing
// converted when processing is off, the entry is not processed (need_p_proc clear) or the index
// names no entry; false with `failure` filled and the entry marked feProcessError when the
// converter fails (the old binary stays, marked not valid). On success the entry holds the new
// binary (prog_size updated, control_sum untouched), marked valid, error cleared.
bool RunWritePostprocess(TDevCatalog &catalog, int index, const PostProcessOptions &options,
                         ConversionFailure *failure = nullptr, const ProgressSink &progress = {});

// Binary to text for entry `index`. Clears the entry's text-valid mark first. False when the entry
// has no binary, processing is off or the entry is not processed; false with the entry's lines
// cleared and feProcessError when the converter yields nothing. On success the entry's lines are
// replaced, text marked valid, error cleared.
bool RunReadPostprocess(TDevCatalog &catalog, int index, const PostProcessOptions &options,
                        const ProgressSink &progress = {});

// Replaces the lines of `text` by the 8-bit (Windows-1251) block: a CR LF pair, a lone CR or a lone
// LF ends a line; a last line without a break is kept when not empty. A null block leaves no lines.
void UpdateText(ProgramText &text, const uint8_t *block, size_t length);

// The text taken as it stands when processing is off: every line followed by CR LF, one byte per
// character holding the low 8 bits of its code.
ProgramImage RawTextImage(const ProgramText &text);

}  // namespace kalvort
