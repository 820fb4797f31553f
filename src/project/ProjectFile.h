#pragma once
// The project file (.kvt): one zlib stream holding the "KL_V" payload with the project options
// and every catalog entry with its binary image and UTF-16 text.
//
// Payload (little-endian, packed):
//   "KL_V", int32 version, TOptions (14 bytes), int32 N, N entry blocks, int32 0.
//   Entry block: TFileSettings (175 bytes), then prog_size image bytes if file_bin_valid, then
//   int32 L and L bytes of UTF-16LE text (lines each ended by CR LF, then one NUL unit) if
//   file_txt_valid.
// Reading is all-or-nothing: the whole payload is decoded and checked before anything changes.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "device/DevCatalog.h"
#include "device/DeviceTypes.h"
#include "project/Options.h"

namespace kalvort {

inline constexpr char kProjectMagic[4] = {'K', 'L', '_', 'V'};
inline constexpr int32_t kProjectVersion = 0x01010700;  // 1.1.7.0, most significant byte first
inline constexpr int32_t kOptionsRecordSize = 14;
inline constexpr int32_t kEntryRecordSize = 175;
// Limits of a project, far above what any shop holds (the largest module takes 987 programs,
// a full one about 4.4 MB and a million lines of text). They keep a small hostile file from
// taking the memory its records announce; readers and writers enforce the same ones, so every
// file that is written can be read back.
// The largest payload (and project file) a reader takes.
inline constexpr size_t kMaxProjectPayload = size_t{256} << 20;
// The most entries a project holds.
inline constexpr size_t kMaxProjectEntries = 10000;
// The most text lines all entries hold together: in memory a line costs some 32 bytes more
// than its line break costs in the file.
inline constexpr size_t kMaxProjectLines = 2000000;

// The options record exactly as stored.
struct TOptions {
  int32_t active_device = 1;  // TDeviceType + 1
  uint8_t process = 1;        // processing.enabled
  int32_t processor = 1;      // processing.project_type + 1
  uint8_t hex_view = 0;
};

// What the options record stands for: the device the project was made for, the processing part of
// the project's Options and whether the editor showed the binary.
struct ProjectOptions {
  TDeviceType DeviceType = dtNone;
  ProcessingOptions processing;
  bool hex_view = false;
};

TOptions OptionsRecord(const ProjectOptions &options);
// Values this program does not know (a device kind or processor out of range) read as dtNone / 0.
ProjectOptions OptionsFromRecord(const TOptions &record);

// Everything a project file holds, entries in file order with their stored fields.
struct ProjectContent {
  int32_t version = kProjectVersion;
  TOptions options;
  std::vector<TDevCatalogEntry> entries;
};

enum class ProjectError {
  None,
  CannotOpen,   // the file cannot be read
  NotZlib,      // not a complete zlib stream, or bytes after it
  TooLarge,     // the file, payload, entries or lines are beyond the limits above
  WrongMagic,   // the payload does not start with "KL_V"
  Damaged,      // a record, image or text is cut short or impossible
  CannotWrite,  // creating, writing or replacing the file failed
  OutOfMemory,
};
const char *ProjectErrorText(ProjectError error);

std::string EncodeProjectPayload(const ProjectContent &content);
ProjectError DecodeProjectPayload(std::string_view payload, ProjectContent &content);

// zlib wrapping: window bits 15, default level, memory level 8, default strategy.
bool DeflateProject(std::string_view payload, std::string &out);
ProjectError InflateProject(std::string_view file, std::string &payload);

// Reads the file piece by piece: the compressed file is never held whole, and the payload only
// as far as the decoded content holds it.
ProjectError ReadProjectContent(const std::filesystem::path &path, ProjectContent &content);
// Writes safely: the previous file survives any failure. A content beyond the limits above is
// refused (TooLarge) before anything is written.
ProjectError WriteProjectContent(const std::filesystem::path &path, const ProjectContent &content,
                                 std::string *detail = nullptr);

// The project as the catalog holds it; a null catalog (no device object) gives no entries.
ProjectContent ProjectFromCatalog(const TDevCatalog *catalog, const ProjectOptions &options);
ProjectError SaveProjectFile(const std::filesystem::path &path, const TDevCatalog *catalog,
                             const ProjectOptions &options, std::string *detail = nullptr);
// Decodes the whole file, builds the new catalog aside through AddCatalogEntry (which drops the
// entries beyond MaxProgNum and moves repeated program numbers on), keeps each entry's stored
// date, and only then replaces the catalog's entries and the options. On failure neither changes.
// `loaded` (optional) tells how many of the file's programs the catalog took.
struct LoadedCount {
  size_t in_file = 0;
  size_t loaded = 0;
  bool all() const { return loaded == in_file; }
};
ProjectError OpenProjectFile(const std::filesystem::path &path, TDevCatalog &catalog, ProjectOptions &options,
                             LoadedCount *loaded = nullptr);
// The same for the bytes of a project file already in memory.
ProjectError OpenProjectBytes(std::string_view file, TDevCatalog &catalog, ProjectOptions &options,
                              LoadedCount *loaded = nullptr);

// The most payload bytes a program file of `file_size` bytes adds, its record included: a binary
// as it is, a text as UTF-16 (at most one code unit per byte; its line ends are bounded by
// kMaxProjectLines). Lets a writer refuse files by their size before reading any.
uint64_t ProgramFilePayload(uint64_t file_size, bool text);

// TooLarge when the content is beyond kMaxProjectEntries or kMaxProjectLines.
ProjectError CheckProjectLimits(const ProjectContent &content);

// Text block helpers shared with the project folder form.
std::u16string ProjectTextOf(const TDevCatalogEntry &entry);  // lines each followed by CR LF

}  // namespace kalvort
