#include "formats/PostProcess.h"

#include <algorithm>

#include "base/CodePage.h"
#include "formats/Format2C42.h"
#include "formats/FormatNC31.h"
#include "formats/FormatVZ.h"

namespace kalvort {

ConverterKind SelectConverter(const PostProcessOptions &options) {
  switch (options.processor_type) {
    case 0: return options.vz_200 ? ConverterKind::VZ : ConverterKind::C42;
    case 1: return ConverterKind::NC31;
    default: return ConverterKind::None;
  }
}

const char *ConverterStatusText(const PostProcessOptions &options) {
  switch (SelectConverter(options)) {
    case ConverterKind::C42: return "2C42/2Р22";
    case ConverterKind::VZ: return "2C42 ВЗ-20х";
    case ConverterKind::NC31: return "НЦ-31/МС-2109";
    case ConverterKind::None: break;
  }
  return "";
}

bool RunWritePostprocess(TDevCatalog &catalog, int index, const PostProcessOptions &options,
                         ConversionFailure *failure, const ProgressSink &progress) {
  if (index < 0 || index >= catalog.CatalogCount()) return false;
  TDevCatalogEntry entry = catalog.Catalog(index);
  catalog.FileBinValidClear(index);
  if (!options.need_proc || !entry.need_p_proc) return false;

  static const ProgramText kNoLines;
  const ProgramText &lines = entry.text ? *entry.text : kNoLines;
  Conversion conv;
  size_t length = 0;
  bool converted = false;
  switch (SelectConverter(options)) {
    case ConverterKind::C42:
      converted = Write2C42(conv, lines, options.del_space, options.del_empty_string, progress, length);
      break;
    case ConverterKind::VZ:
      converted = WriteVZ(conv, lines, options.del_empty_string, progress, length);
      break;
    case ConverterKind::NC31:
      converted = WriteNC31(conv, lines, progress, length);
      break;
    case ConverterKind::None:
      // No converter for this control type: nothing ran, so no reason or line is known.
      break;
  }
  if (converted && length > 0 && conv.hasResult() && length <= conv.result().size()) {
    auto image = std::make_shared<ProgramImage>(conv.result().begin(), conv.result().begin() + static_cast<std::ptrdiff_t>(length));
    entry.p_buffer = std::move(image);
    entry.prog_size = static_cast<uint32_t>(length);
    catalog.SetCatalog(index, entry);
    catalog.FileBinValidSet(index);
    catalog.FileErrorClear(index);
    return true;
  }
  catalog.FileErrorSet(index, feProcessError);
  if (failure) {
    failure->conv_err_code = conv.conv_err_code;
    failure->conv_err_str_num = conv.conv_err_str_num;
    failure->message = convErrMessage(conv.conv_err_code);
  }
  return false;
}

bool RunReadPostprocess(TDevCatalog &catalog, int index, const PostProcessOptions &options,
                        const ProgressSink &progress) {
  if (index < 0 || index >= catalog.CatalogCount()) return false;
  catalog.FileTxtValidClear(index);
  TDevCatalogEntry entry = catalog.Catalog(index);
  if (!entry.p_buffer || !options.need_proc || !entry.need_p_proc) return false;

  if (!entry.text) {
    entry.text = std::make_shared<ProgramText>();
    catalog.SetCatalog(index, entry);
  }
  entry.text->clear();
  // Never read past the stored bytes, whatever prog_size claims.
  const size_t size = std::min<size_t>(entry.prog_size, entry.p_buffer->size());
  const uint8_t *bytes = entry.p_buffer->data();
  Conversion conv;
  size_t length = 0;
  bool converted = false;
  switch (SelectConverter(options)) {
    case ConverterKind::C42: converted = Read2C42(conv, bytes, size, progress, length); break;
    case ConverterKind::VZ: converted = ReadVZ(conv, bytes, size, progress, length); break;
    case ConverterKind::NC31: converted = ReadNC31(conv, bytes, size, options.merge_wrd_cmd, progress, length); break;
    case ConverterKind::None: break;
  }
  if (!converted || !conv.hasResult()) length = 0;
  if (length > conv.result().size()) length = 0;
  if (length == 0) {
    catalog.FileErrorSet(index, feProcessError);
    return false;
  }
  UpdateText(*entry.text, conv.result().data(), length);
  catalog.FileTxtValidSet(index);
  catalog.FileErrorClear(index);
  return true;
}

void UpdateText(ProgramText &text, const uint8_t *block, size_t length) {
  text.clear();
  if (!block) return;
  std::string line;
  for (size_t i = 0; i < length; ++i) {
    const uint8_t b = block[i];
    if (b == '\r' || b == '\n') {
      text.push_back(fromCp1251(line));
      line.clear();
      if (b == '\r' && i + 1 < length && block[i + 1] == '\n') ++i;
      continue;
    }
    line.push_back(static_cast<char>(b));
  }
  if (!line.empty()) text.push_back(fromCp1251(line));
}

ProgramImage RawTextImage(const ProgramText &text) {
  ProgramImage image;
  for (const auto &line : text) {
    for (char16_t ch : line) image.push_back(static_cast<uint8_t>(ch & 0xFF));
    image.push_back('\r');
    image.push_back('\n');
  }
  return image;
}

}  // namespace kalvort
