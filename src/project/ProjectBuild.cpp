#include "project/ProjectBuild.h"

#include <algorithm>
#include <string>

#include "base/CodePage.h"
#include "base/SafeSave.h"

namespace kalvort {

bool Nc31NumberingMode(TDeviceType device, bool need_proc, int32_t processor_type) {
  return device == dtProg && processor_type == 1 && need_proc;
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

AddFileResult AddProgramFile(TDevCatalog &catalog, const std::filesystem::path &file, uint16_t prog_num,
                             std::u16string_view name, bool text, bool nc31_mode) {
  std::string bytes;
  if (!ReadWholeFile(file, bytes)) return AddFileResult::CannotRead;
  TDevCatalogEntry e;
  e.prog_num = prog_num;
  StringToCatalogEntry(name, e);
  e.need_p_proc = text;
  e.file_error_code = feOK;
  e.text = std::make_shared<ProgramText>(splitLines(decodeText(bytes)));
  if (text) {
    e.file_txt_valid = true;
  } else {
    e.p_buffer = std::make_shared<ProgramImage>(bytes.begin(), bytes.end());
    e.prog_size = static_cast<uint32_t>(bytes.size());
    uint32_t sum = 0;
    for (unsigned char b : bytes) sum += b;
    e.control_sum = sum;
    e.file_bin_valid = true;
  }
  e.cat_num = nc31_mode ? RaiseNc31ProgNum(prog_num) - 13 : -1;
  if (e.cat_num >= 0 && catalog.GetCatalogEntryNumByCatNum(e.cat_num) >= 0) return AddFileResult::SlotTaken;
  return catalog.AddCatalogEntry(e) ? AddFileResult::Added : AddFileResult::CatalogFull;
}

}  // namespace kalvort
