#include "project/ProjectFolder.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <limits>
#include <system_error>

#include "device/DevCatalog.h"
#include "base/CodePage.h"
#include "project/IniFile.h"
#include "project/IniWriter.h"
#include "base/SafeSave.h"

namespace kalvort {

namespace {

constexpr const char *kProjectSection = "project";

std::string Hex(const uint8_t *p, size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s.push_back(digits[p[i] >> 4]);
    s.push_back(digits[p[i] & 15]);
  }
  return s;
}

bool FromHex(std::string_view s, uint8_t *out, size_t n) {
  if (s.size() != 2 * n) return false;
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (size_t i = 0; i < n; ++i) {
    const int hi = nibble(s[2 * i]), lo = nibble(s[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    out[i] = static_cast<uint8_t>(hi << 4 | lo);
  }
  return true;
}

template <typename T>
bool ParseNumber(const char *text, T &out) {
  if (!text) return false;
  const char *end = text + std::strlen(text);
  auto [ptr, ec] = std::from_chars(text, end, out);
  return ec == std::errc() && ptr == end && ptr != text;
}

std::string DateText(double d) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", d);
  return buf;
}

// A name can stand as an INI value when it has no control characters and no spaces at its ends.
bool IniSafe(std::u16string_view name) {
  for (char16_t c : name)
    if (c < 0x20 || c == 0x7F) return false;
  return name.empty() || (name.front() != u' ' && name.back() != u' ');
}

bool HasLoneSurrogate(std::u16string_view line) {
  // Most lines hold no surrogate at all: one pass without an early exit, which the compiler
  // vectorises, settles them.
  bool any = false;
  for (const char16_t c : line) any |= (c & 0xF800) == 0xD800;
  if (!any) return false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char16_t c = line[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < line.size() && line[i + 1] >= 0xDC00 && line[i + 1] <= 0xDFFF) ++i;
    else if (c >= 0xD800 && c <= 0xDFFF) return true;
  }
  return false;
}

// Writes the text as a person edits it: UTF-8, every line ended by LF, in pieces so that a long
// text is never held a second time; `piece` is the caller's buffer, kept from text to text. A
// text that UTF-8 cannot carry unchanged (a lone surrogate) is written as UTF-16LE with a
// byte-order mark instead. The encoder reports such a line itself; before the first piece goes out
// the lines not yet encoded are looked at, so that a text once begun in UTF-8 stays UTF-8.
template <typename Files>
bool WriteTextFile(Files &files, const ProgramText &lines, std::string &piece) {
  piece.clear();
  bool begun = false;
  for (auto line = lines.begin(); line != lines.end(); ++line) {
    if (!appendUtf8(piece, *line)) return files.Write(encodeText(joinLines(lines, u"\n"), TextEncoding::Utf16LE));
    piece += '\n';
    if (piece.size() >= (size_t{1} << 16)) {
      if (!begun && std::any_of(line + 1, lines.end(), HasLoneSurrogate))
        return files.Write(encodeText(joinLines(lines, u"\n"), TextEncoding::Utf16LE));
      if (!files.Write(piece)) return false;
      begun = true;
      piece.clear();
    }
  }
  return files.Write(piece);
}

// The sum of the bytes, eight at a time: four 16-bit lanes of a 64-bit word take the sums of
// byte pairs, and are folded into the total before they can overflow.
uint32_t ByteSum(const uint8_t *bytes, size_t size) {
  constexpr uint64_t kEvenBytes = 0x00FF00FF00FF00FFull;
  constexpr size_t kStepsPerFold = 128;  // 128 * 2 * 255 < 65536
  uint64_t total = 0;
  size_t i = 0;
  while (size - i >= 8) {
    const size_t end = i + std::min((size - i) / 8, kStepsPerFold) * 8;
    uint64_t lanes = 0;
    for (; i < end; i += 8) {
      uint64_t word;
      std::memcpy(&word, bytes + i, 8);
      lanes += (word & kEvenBytes) + ((word >> 8) & kEvenBytes);
    }
    total += (lanes & 0xFFFF) + ((lanes >> 16) & 0xFFFF) + ((lanes >> 32) & 0xFFFF) + (lanes >> 48);
  }
  for (; i < size; ++i) total += bytes[i];
  return static_cast<uint32_t>(total);
}

const ProgramText kNoLines;

// NNN.txt or NNN.bin: the names of program files that unpack writes.
bool ProgramFileName(const std::string &name) {
  const size_t dot = name.find('.');
  if (dot == std::string::npos || dot < 3) return false;
  for (size_t i = 0; i < dot; ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  const std::string_view ext = std::string_view(name).substr(dot);
  return ext == ".txt" || ext == ".bin";
}

// Creates `dir` with every missing folder above it; `created` gets them, deepest first.
bool CreateFolder(const std::filesystem::path &dir, std::vector<std::filesystem::path> &created, std::string &why) {
  std::error_code ec;
  for (auto p = dir.lexically_normal(); !p.empty() && p.has_filename(); p = p.parent_path()) {
    if (std::filesystem::exists(std::filesystem::symlink_status(p, ec))) break;
    created.push_back(p);
  }
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    why = "cannot create " + dir.string() + ": " + ec.message();
    return false;
  }
  return true;
}

std::string FileName(size_t index, const char *ext) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%03zu.%s", index + 1, ext);
  return buf;
}

// project.ini of the largest project is some 3 MB.
constexpr size_t kMaxManifest = size_t{64} << 20;

// Only plain file names inside the folder: a manifest must not pull in other files.
bool PlainName(const std::string &name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// Marks for removal the program files in `dir` that `names` (those just written) does not hold.
template <typename Files>
bool RemoveStaleFiles(const std::filesystem::path &dir, std::vector<std::string> &names, Files &files,
                      std::string &why) {
  std::error_code ec;
  std::sort(names.begin(), names.end());
  for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!ProgramFileName(name) || std::binary_search(names.begin(), names.end(), name)) continue;
    std::error_code type_ec;
    if (it->symlink_status(type_ec).type() != std::filesystem::file_type::directory) files.Remove(it->path());
  }
  if (ec) {
    why = "cannot read " + dir.string() + ": " + ec.message();
    return false;
  }
  return true;
}

// Writes every file of the folder as one set: temporary files first, flushed together, then the
// renames, with project.ini last. With `sweep`, program files of an earlier unpack that this
// project does not name are removed (a new folder has none); nothing else in the folder is
// touched, and a link is replaced, never written through.
template <typename Files>
bool WriteFolder(const ProjectContent &content, const std::filesystem::path &dir, Files &files, bool sweep,
                 std::string &why) {
  std::vector<std::string> names;
  std::string piece;
  // The manifest is new each time and its keys come in a fixed order: written straight, with no
  // lookups.
  IniWriter ini;
  const auto &o = content.options;
  ini.Section(kProjectSection);
  ini.Key("version", content.version);
  ini.Key("active_device", o.active_device);
  ini.Key("process", o.process);
  ini.Key("processor", o.processor);
  ini.Key("hex_view", o.hex_view);
  ini.Key("count", content.entries.size());
  for (size_t i = 0; i < content.entries.size(); ++i) {
    const auto &e = content.entries[i];
    ini.Section("program " + std::to_string(i + 1));
    ini.Key("cat_num", e.cat_num);
    ini.Key("prog_num", e.prog_num);
    const std::u16string name = ByteArrayToString(e.code, kCatalogCodeSize);
    TDevCatalogEntry canon;
    StringToCatalogEntry(name, canon);
    const bool safe = IniSafe(name);
    if (safe) ini.Key("name", toUtf8(name));
    if (!safe || std::memcmp(canon.code, e.code, sizeof e.code) != 0) ini.Key("code", Hex(e.code, sizeof e.code));
    if (std::memcmp(canon.indic, e.indic, sizeof e.indic) != 0) ini.Key("indic", Hex(e.indic, sizeof e.indic));
    ini.Key("date", DateText(e.date));
    ini.Key("need_p_proc", e.need_p_proc ? "1" : "0");

    uint32_t sum = 0;
    if (e.file_bin_valid) {
      // The image is exactly prog_size bytes: a shorter buffer is padded with zeros.
      const size_t have = e.p_buffer ? std::min<size_t>(e.p_buffer->size(), e.prog_size) : 0;
      if (have) sum = ByteSum(e.p_buffer->data(), have);
      const std::string file = FileName(i, "bin");
      ini.Key("binary", file);
      names.push_back(file);
      const std::string padding(e.prog_size - have, '\0');
      if (!files.Begin(dir / file) || (have && !files.Write(e.p_buffer->data(), have)) || !files.Write(padding) ||
          !files.End()) {
        why = files.Error();
        return false;
      }
    } else if (e.prog_size != 0) {
      ini.Key("prog_size", e.prog_size);
    }
    if (e.control_sum != sum) ini.Key("control_sum", e.control_sum);
    if (e.file_txt_valid) {
      const std::string file = FileName(i, "txt");
      ini.Key("text", file);
      names.push_back(file);
      if (!files.Begin(dir / file) || !WriteTextFile(files, e.text ? *e.text : kNoLines, piece) || !files.End()) {
        why = files.Error();
        return false;
      }
    }
  }
  if (sweep && !RemoveStaleFiles(dir, names, files, why)) return false;
  // The manifest is UTF-8 so that every name survives whatever its characters.
  if (!files.Add(dir / kProjectManifest, ini.Text()) || !files.Commit()) {
    why = files.Error();
    return false;
  }
  return true;
}

}  // namespace

bool UnpackProject(const ProjectContent &content, const std::filesystem::path &dir, std::string *error) {
  std::string why;
  auto fail = [&](const std::string &reason) {
    if (error) *error = reason;
    return false;
  };
  if (CheckProjectLimits(content) != ProjectError::None) return fail(ProjectErrorText(ProjectError::TooLarge));
  std::error_code ec;
  if (std::filesystem::symlink_status(dir, ec).type() == std::filesystem::file_type::not_found) {
    // A new folder is written whole beside its place and renamed into it. All or nothing: the
    // folders made above it for this unpack go again on a failure.
    const auto target = dir.has_filename() ? dir : dir.parent_path();
    std::vector<std::filesystem::path> created;
    if (target.has_parent_path() && !CreateFolder(target.parent_path(), created, why)) return fail(why);
    TSafeNewFolder folder;
    if (folder.Open(target) && WriteFolder(content, folder.Path(), folder, false, why)) return true;
    if (why.empty()) why = folder.Error();
    folder.Cancel();
    for (const auto &p : created) std::filesystem::remove(p, ec);
    return fail(why);
  }
  TSafeFileSet files;
  if (WriteFolder(content, dir, files, true, why)) return true;
  return fail(why);
}

namespace {

// Reads a project folder: its manifest, then every program's files. Every read is bounded: the
// manifest by its own limit, the programs by what one project holds.
class FolderPacker {
 public:
  explicit FolderPacker(const std::filesystem::path &dir) : dir_(dir) {}

  bool Pack(ProjectContent &content) {
    ProjectContent result;
    int32_t count = 0;
    if (!LoadManifest() || !ReadOptions(result, count) || !MeasureFiles(count)) return false;
    for (int32_t i = 0; i < count; ++i) {
      TDevCatalogEntry e;
      if (!ReadEntry(i, e)) return false;
      result.entries.push_back(std::move(e));
    }
    content = std::move(result);
    return true;
  }
  const std::string &Error() const { return why_; }

 private:
  // What a program file measured before any is read.
  struct Sizes {
    uint64_t binary = 0, text = 0;
  };

  bool Fail(std::string why) {
    why_ = std::move(why);
    return false;
  }
  bool Bad(const std::string &sec, const char *key) {
    return Fail("[" + sec + "] " + key + ": missing or not a valid value");
  }
  template <typename T>
  bool Number(const std::string &sec, const char *key, T &out, bool required) const {
    const char *v = ini_.Value(sec, key);
    if (!v) return !required;
    return ParseNumber(v, out);
  }
  static std::string Section(int32_t i) { return "program " + std::to_string(i + 1); }

  bool LoadManifest() {
    const auto path = dir_ / kProjectManifest;
    std::string manifest;
    if (!ReadWholeFile(path, manifest, kMaxManifest)) return Fail("cannot read " + path.string());
    std::u16string manifestText;
    if (!fromUtf8(manifest, manifestText)) manifestText = decodeText(manifest);
    if (!ini_.LoadText(toUtf8(manifestText))) return Fail("cannot parse " + path.string());
    return true;
  }

  bool ReadOptions(ProjectContent &result, int32_t &count) {
    int32_t active = 0, processor = 0;
    unsigned process = 0, hex = 0;
    if (!Number(kProjectSection, "version", result.version, false)) return Bad(kProjectSection, "version");
    if (!Number(kProjectSection, "active_device", active, true)) return Bad(kProjectSection, "active_device");
    if (!Number(kProjectSection, "process", process, true) || process > 255) return Bad(kProjectSection, "process");
    if (!Number(kProjectSection, "processor", processor, true)) return Bad(kProjectSection, "processor");
    if (!Number(kProjectSection, "hex_view", hex, true) || hex > 255) return Bad(kProjectSection, "hex_view");
    result.options.active_device = active;
    result.options.process = static_cast<uint8_t>(process);
    result.options.processor = processor;
    result.options.hex_view = static_cast<uint8_t>(hex);
    if (!Number(kProjectSection, "count", count, true) || count < 0) return Bad(kProjectSection, "count");
    if (static_cast<size_t>(count) > kMaxProjectEntries)
      return Fail("more than " + std::to_string(kMaxProjectEntries) + " programs");
    return true;
  }

  // Every program file is looked at before any is read: the sizes must fit in one project.
  bool MeasureFiles(int32_t count) {
    sizes_.assign(static_cast<size_t>(count), Sizes{});
    uint64_t payload = 0;
    for (int32_t i = 0; i < count; ++i) {
      const std::string sec = Section(i);
      for (const bool text : {false, true}) {
        const char *file = ini_.Value(sec, text ? "text" : "binary");
        if (!file) continue;
        struct stat st {};
        if (!PlainName(file) || ::stat((dir_ / file).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
          return Fail("[" + sec + "] cannot read " + (text ? "text " : "binary ") + file);
        const auto size = static_cast<uint64_t>(st.st_size);
        (text ? sizes_[i].text : sizes_[i].binary) = size;
        payload += ProgramFilePayload(size, text);
      }
      if (payload > kMaxProjectPayload)
        return Fail("the programs are larger than a project holds (" + std::to_string(kMaxProjectPayload >> 20) +
                    " MiB)");
    }
    return true;
  }

  bool ReadEntry(int32_t i, TDevCatalogEntry &e) {
    const std::string sec = Section(i);
    if (!Number(sec, "cat_num", e.cat_num, true)) return Bad(sec, "cat_num");
    if (!Number(sec, "prog_num", e.prog_num, true)) return Bad(sec, "prog_num");
    if (!ReadName(sec, e)) return false;
    if (const char *v = ini_.Value(sec, "indic"); v && !FromHex(v, e.indic, sizeof e.indic)) return Bad(sec, "indic");
    if (!Number(sec, "date", e.date, true)) return Bad(sec, "date");
    unsigned flag = 0;
    if (!Number(sec, "need_p_proc", flag, false)) return Bad(sec, "need_p_proc");
    e.need_p_proc = flag != 0;
    e.text = std::make_shared<ProgramText>();
    return ReadBinary(sec, sizes_[i].binary, e) && ReadText(sec, sizes_[i].text, e);
  }

  // The name as written, or else the one the catalog code holds; the code, when given, is kept.
  bool ReadName(const std::string &sec, TDevCatalogEntry &e) {
    std::u16string name;
    const char *nameValue = ini_.Value(sec, "name");
    const char *codeValue = ini_.Value(sec, "code");
    uint8_t code[kCatalogCodeSize] = {};
    if (codeValue && !FromHex(codeValue, code, sizeof code)) return Bad(sec, "code");
    if (nameValue) {
      if (!fromUtf8(nameValue, name)) return Bad(sec, "name");
    } else if (codeValue) {
      name = ByteArrayToString(code, kCatalogCodeSize);
    } else {
      return Bad(sec, "name");
    }
    StringToCatalogEntry(name, e);
    if (codeValue) std::memcpy(e.code, code, sizeof code);
    return true;
  }

  // The binary file with its size and control sum (a control sum written down wins).
  bool ReadBinary(const std::string &sec, uint64_t measured, TDevCatalogEntry &e) {
    uint32_t sum = 0;
    if (const char *file = ini_.Value(sec, "binary")) {
      // Read no more than the size looked at above: a file that grew meanwhile fails.
      auto bin = std::make_shared<ProgramImage>();
      if (!ReadWholeFile(dir_ / file, *bin, measured)) return Fail("[" + sec + "] cannot read binary " + file);
      e.file_bin_valid = true;
      e.prog_size = static_cast<uint32_t>(bin->size());
      sum = ByteSum(bin->data(), bin->size());
      if (!bin->empty()) e.p_buffer = std::move(bin);
    } else if (!Number(sec, "prog_size", e.prog_size, false)) {
      return Bad(sec, "prog_size");
    }
    e.control_sum = sum;
    if (!Number(sec, "control_sum", e.control_sum, false)) return Bad(sec, "control_sum");
    return true;
  }

  // The text file, within the lines all texts of a project may have together.
  bool ReadText(const std::string &sec, uint64_t measured, TDevCatalogEntry &e) {
    const char *file = ini_.Value(sec, "text");
    if (!file) return true;
    std::u16string text;
    {
      std::string bytes;
      if (!ReadWholeFile(dir_ / file, bytes, measured)) return Fail("[" + sec + "] cannot read text " + file);
      text = decodeText(bytes);
    }
    const size_t lines = countLines(text);
    if (lines > lines_left_)
      return Fail("[" + sec + "] text " + file + ": more than " + std::to_string(kMaxProjectLines) +
                  " lines in all texts");
    lines_left_ -= lines;
    e.file_txt_valid = true;
    *e.text = splitLines(text);
    return true;
  }

  const std::filesystem::path &dir_;
  IniFile ini_;
  std::vector<Sizes> sizes_;
  size_t lines_left_ = kMaxProjectLines;
  std::string why_;
};

}  // namespace

bool PackProject(const std::filesystem::path &dir, ProjectContent &content, std::string *error) {
  FolderPacker packer(dir);
  if (packer.Pack(content)) return true;
  if (error) *error = packer.Error();
  return false;
}

}  // namespace kalvort
