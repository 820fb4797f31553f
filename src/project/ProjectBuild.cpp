#include "project/ProjectBuild.h"

#include <algorithm>
#include <string>

#include "base/CodePage.h"
#include "base/SafeSave.h"
#include "project/ProjectFile.h"

namespace kalvort {

bool Nc31NumberingMode(TDeviceType device, const ProcessingOptions &processing) {
  return device == dtProg && processing.project_type == 1 && processing.enabled;
}

uint16_t RaiseNc31ProgNum(int32_t n) {
  if (n < 1) return 13;
  if (n <= 12) return static_cast<uint16_t>(n + 12);
  return static_cast<uint16_t>(n);
}

uint16_t ProposeProgNum(const TDevCatalog &catalog, bool nc31_mode) {
  int32_t largest = 0;
  for (int i = 0; i < catalog.CatalogCount(); ++i) largest = std::max<int32_t>(largest, catalog.Catalog(i).prog_num);
  const int32_t proposed = catalog.CatalogCount() == 0 ? 1 : static_cast<uint16_t>(largest + 1);
  return nc31_mode ? RaiseNc31ProgNum(proposed) : static_cast<uint16_t>(proposed);
}

AddFileResult MakeProgramEntry(const std::filesystem::path &file, uint16_t prog_num, std::u16string_view name,
                               bool text, bool nc31_mode, TDevCatalogEntry &e, size_t lines_limit) {
  e = TDevCatalogEntry{};
  e.prog_num = prog_num;
  StringToCatalogEntry(name, e);
  e.need_p_proc = text;
  e.file_error_code = feOK;
  e.text = std::make_shared<ProgramText>();
  e.cat_num = nc31_mode ? RaiseNc31ProgNum(prog_num) - 13 : -1;
  if (file.empty()) return AddFileResult::Added;  // an empty program: no lines, neither form valid
  if (text) {
    std::u16string decoded;
    {
      std::string bytes;
      if (!ReadWholeFile(file, bytes, kMaxProjectPayload)) return AddFileResult::CannotRead;
      decoded = decodeText(bytes);
    }
    if (countLines(decoded) > lines_limit) return AddFileResult::TooManyLines;
    *e.text = splitLines(decoded);
    e.file_txt_valid = true;
  } else {
    auto image = std::make_shared<ProgramImage>();
    if (!ReadWholeFile(file, *image, kMaxProjectPayload)) return AddFileResult::CannotRead;
    e.prog_size = static_cast<uint32_t>(image->size());
    uint32_t sum = 0;
    for (uint8_t b : *image) sum += b;
    e.control_sum = sum;
    e.p_buffer = std::move(image);
    e.file_bin_valid = true;
  }
  return AddFileResult::Added;
}

AddFileResult AddProgramFile(TDevCatalog &catalog, const std::filesystem::path &file, uint16_t prog_num,
                             std::u16string_view name, bool text, bool nc31_mode, size_t *lines_left) {
  TDevCatalogEntry e;
  const AddFileResult made =
      MakeProgramEntry(file, prog_num, name, text, nc31_mode, e, lines_left ? *lines_left : SIZE_MAX);
  if (made != AddFileResult::Added) return made;
  if (e.cat_num >= 0 && catalog.GetCatalogEntryNumByCatNum(e.cat_num) >= 0) return AddFileResult::SlotTaken;
  if (!catalog.AddCatalogEntry(e)) return AddFileResult::CatalogFull;
  if (lines_left) *lines_left -= e.text->size();
  return AddFileResult::Added;
}

}  // namespace kalvort
