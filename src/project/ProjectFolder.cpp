#include "project/ProjectFolder.h"

#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <limits>
#include <system_error>

#include "device/DevCatalog.h"
#include "base/CodePage.h"
#include "project/IniFile.h"
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

// The text as a person edits it: UTF-8, every line ended by LF. A text that UTF-8 cannot carry
// unchanged (a lone surrogate) is kept as UTF-16LE with a byte-order mark instead.
std::string TextFileBytes(const ProgramText &lines) {
  const std::u16string text = joinLines(lines, u"\n");
  std::string utf8 = toUtf8(text);
  std::u16string back;
  if (fromUtf8(utf8, back) && back == text) return utf8;
  return encodeText(text, TextEncoding::Utf16LE);
}

std::string FileName(size_t index, const char *ext) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%03zu.%s", index + 1, ext);
  return buf;
}

bool ReadFile(const std::filesystem::path &path, std::string &out) { return ReadWholeFile(path, out); }

// Only plain file names inside the folder: a manifest must not pull in other files.
bool PlainName(const std::string &name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

}  // namespace

bool UnpackProject(const ProjectContent &content, const std::filesystem::path &dir, std::string *error) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    if (error) *error = "cannot create " + dir.string() + ": " + ec.message();
    return false;
  }
  IniFile ini;
  const auto &o = content.options;
  ini.SetValue(kProjectSection, "version", std::to_string(content.version));
  ini.SetValue(kProjectSection, "active_device", std::to_string(o.active_device));
  ini.SetValue(kProjectSection, "process", std::to_string(o.process));
  ini.SetValue(kProjectSection, "processor", std::to_string(o.processor));
  ini.SetValue(kProjectSection, "hex_view", std::to_string(o.hex_view));
  ini.SetValue(kProjectSection, "count", std::to_string(content.entries.size()));
  for (size_t i = 0; i < content.entries.size(); ++i) {
    const auto &e = content.entries[i];
    const std::string sec = "program " + std::to_string(i + 1);
    ini.SetValue(sec, "cat_num", std::to_string(e.cat_num));
    ini.SetValue(sec, "prog_num", std::to_string(e.prog_num));
    const std::u16string name = ByteArrayToString(e.code, kCatalogCodeSize);
    TDevCatalogEntry canon;
    StringToCatalogEntry(name, canon);
    const bool safe = IniSafe(name);
    if (safe) ini.SetValue(sec, "name", toUtf8(name));
    if (!safe || std::memcmp(canon.code, e.code, sizeof e.code) != 0)
      ini.SetValue(sec, "code", Hex(e.code, sizeof e.code));
    if (std::memcmp(canon.indic, e.indic, sizeof e.indic) != 0) ini.SetValue(sec, "indic", Hex(e.indic, sizeof e.indic));
    ini.SetValue(sec, "date", DateText(e.date));
    ini.SetValue(sec, "need_p_proc", e.need_p_proc ? "1" : "0");

    uint32_t sum = 0;
    if (e.file_bin_valid) {
      std::string bin(e.prog_size, '\0');
      if (e.p_buffer) std::memcpy(bin.data(), e.p_buffer->data(), std::min<size_t>(e.p_buffer->size(), e.prog_size));
      for (unsigned char b : bin) sum += b;
      const std::string file = FileName(i, "bin");
      ini.SetValue(sec, "binary", file);
      if (!SafeSaveFile(dir / file, bin, error)) return false;
    } else if (e.prog_size != 0) {
      ini.SetValue(sec, "prog_size", std::to_string(e.prog_size));
    }
    if (e.control_sum != sum) ini.SetValue(sec, "control_sum", std::to_string(e.control_sum));
    if (e.file_txt_valid) {
      const std::string file = FileName(i, "txt");
      ini.SetValue(sec, "text", file);
      if (!SafeSaveFile(dir / file, TextFileBytes(e.text ? *e.text : ProgramText{}), error)) return false;
    }
  }
  // The manifest is UTF-8 so that every name survives whatever its characters.
  return SafeSaveFile(dir / kProjectManifest, ini.Text(), error);
}

bool PackProject(const std::filesystem::path &dir, ProjectContent &content, std::string *error) {
  auto fail = [&](const std::string &why) {
    if (error) *error = why;
    return false;
  };
  IniFile ini;
  std::string manifest;
  if (!ReadFile(dir / kProjectManifest, manifest)) return fail("cannot read " + (dir / kProjectManifest).string());
  std::u16string manifestText;
  if (!fromUtf8(manifest, manifestText)) manifestText = decodeText(manifest);
  if (!ini.LoadText(toUtf8(manifestText))) return fail("cannot parse " + (dir / kProjectManifest).string());

  ProjectContent result;
  auto number = [&](const std::string &sec, const char *key, auto &out, bool required) {
    const char *v = ini.Value(sec, key);
    if (!v) return !required;
    return ParseNumber(v, out);
  };
  auto bad = [&](const std::string &sec, const char *key) {
    return fail("[" + sec + "] " + key + ": missing or not a valid value");
  };
  int32_t active = 0, processor = 0;
  unsigned process = 0, hex = 0;
  if (!number(kProjectSection, "version", result.version, false)) return bad(kProjectSection, "version");
  if (!number(kProjectSection, "active_device", active, true)) return bad(kProjectSection, "active_device");
  if (!number(kProjectSection, "process", process, true) || process > 255) return bad(kProjectSection, "process");
  if (!number(kProjectSection, "processor", processor, true)) return bad(kProjectSection, "processor");
  if (!number(kProjectSection, "hex_view", hex, true) || hex > 255) return bad(kProjectSection, "hex_view");
  result.options.active_device = active;
  result.options.process = static_cast<uint8_t>(process);
  result.options.processor = processor;
  result.options.hex_view = static_cast<uint8_t>(hex);
  int32_t count = 0;
  if (!number(kProjectSection, "count", count, true) || count < 0 || count > 100000)
    return bad(kProjectSection, "count");

  for (int32_t i = 0; i < count; ++i) {
    const std::string sec = "program " + std::to_string(i + 1);
    TDevCatalogEntry e;
    if (!number(sec, "cat_num", e.cat_num, true)) return bad(sec, "cat_num");
    if (!number(sec, "prog_num", e.prog_num, true)) return bad(sec, "prog_num");
    std::u16string name;
    const char *nameValue = ini.Value(sec, "name");
    const char *codeValue = ini.Value(sec, "code");
    uint8_t code[kCatalogCodeSize] = {};
    if (codeValue && !FromHex(codeValue, code, sizeof code)) return bad(sec, "code");
    if (nameValue) {
      if (!fromUtf8(nameValue, name)) return bad(sec, "name");
    } else if (codeValue) {
      name = ByteArrayToString(code, kCatalogCodeSize);
    } else {
      return bad(sec, "name");
    }
    StringToCatalogEntry(name, e);
    if (codeValue) std::memcpy(e.code, code, sizeof code);
    if (const char *v = ini.Value(sec, "indic"); v && !FromHex(v, e.indic, sizeof e.indic)) return bad(sec, "indic");
    if (!number(sec, "date", e.date, true)) return bad(sec, "date");
    unsigned flag = 0;
    if (!number(sec, "need_p_proc", flag, false)) return bad(sec, "need_p_proc");
    e.need_p_proc = flag != 0;

    uint32_t sum = 0;
    e.text = std::make_shared<ProgramText>();
    if (const char *file = ini.Value(sec, "binary")) {
      std::string bin;
      if (!PlainName(file) || !ReadFile(dir / file, bin)) return fail("[" + sec + "] cannot read binary " + file);
      if (bin.size() > std::numeric_limits<uint32_t>::max()) return fail("[" + sec + "] binary too large");
      e.file_bin_valid = true;
      e.prog_size = static_cast<uint32_t>(bin.size());
      if (!bin.empty()) e.p_buffer = std::make_shared<ProgramImage>(bin.begin(), bin.end());
      for (unsigned char b : bin) sum += b;
    } else if (!number(sec, "prog_size", e.prog_size, false)) {
      return bad(sec, "prog_size");
    }
    e.control_sum = sum;
    if (!number(sec, "control_sum", e.control_sum, false)) return bad(sec, "control_sum");
    if (const char *file = ini.Value(sec, "text")) {
      std::string bytes;
      if (!PlainName(file) || !ReadFile(dir / file, bytes)) return fail("[" + sec + "] cannot read text " + file);
      e.file_txt_valid = true;
      *e.text = splitLines(decodeText(bytes));
    }
    result.entries.push_back(std::move(e));
  }
  content = std::move(result);
  return true;
}

}  // namespace kalvort
