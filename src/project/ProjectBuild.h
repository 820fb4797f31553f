#pragma once
// Adding program files to a project the way the catalog view does: the proposed program number,
// the НЦ-31 numbering mode (catalog slot = program number - 13) and one entry per file.

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "device/DevCatalog.h"
#include "project/Options.h"

namespace kalvort {

// With the USB programmer, the НЦ-31 / МС-2109 format and processing on, slots follow numbers.
bool Nc31NumberingMode(TDeviceType device, const ProcessingOptions &processing);
// In that mode no program number lies below 13: below 1 becomes 13, 1 to 12 get 12 added.
uint16_t RaiseNc31ProgNum(int32_t n);
// The largest program number plus one (1 in an empty catalog), raised in the НЦ-31 mode.
uint16_t ProposeProgNum(const TDevCatalog &catalog, bool nc31_mode);

enum class AddFileResult { Added, CannotRead, SlotTaken, CatalogFull, TooManyLines };

// The entry AddProgramFile adds, without adding it (Added: made); an empty `file` makes an empty
// program (no lines, neither form valid). A text of more than `lines_limit` lines is refused.
AddFileResult MakeProgramEntry(const std::filesystem::path &file, uint16_t prog_num, std::u16string_view name,
                               bool text, bool nc31_mode, TDevCatalogEntry &entry, size_t lines_limit = SIZE_MAX);

// Adds `file` as one entry named `name`: as text (processed, its lines decoded from a byte-order
// mark, UTF-8 or Windows-1251) or as an unchanged binary image, read as bytes only. In the НЦ-31
// mode the slot is the raised number - 13; a slot that another entry holds is refused (SlotTaken),
// never overwritten. With `lines_left`, a text of more lines is refused (TooManyLines) before its
// lines are made, and its lines are taken off otherwise.
AddFileResult AddProgramFile(TDevCatalog &catalog, const std::filesystem::path &file, uint16_t prog_num,
                             std::u16string_view name, bool text, bool nc31_mode, size_t *lines_left = nullptr);

}  // namespace kalvort
