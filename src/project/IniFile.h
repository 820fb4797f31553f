#pragma once
// An INI file kept whole in memory: sections and keys in their order, comments and entries this
// program does not know survive a load and save. Keys and sections are case-insensitive.
// Values are UTF-8 here; the file itself keeps the encoding it was found in (a byte-order mark,
// else UTF-8, else Windows-1251), and a new file is Windows-1251.

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/CodePage.h"

namespace kalvort {

class IniFile {
 public:
  IniFile();
  ~IniFile();
  IniFile(const IniFile &) = delete;
  IniFile &operator=(const IniFile &) = delete;

  // A missing file loads as empty and succeeds; an unreadable or unparsable one fails.
  bool Load(const std::filesystem::path &path, std::string *error = nullptr);
  bool LoadText(std::string_view utf8);
  void Clear();

  // The value of a key, or null when the section or key is missing.
  const char *Value(const std::string &section, const std::string &key) const;
  void SetValue(const std::string &section, const std::string &key, const std::string &value);
  std::vector<std::string> Sections() const;  // in file order

  std::string Text() const;  // the whole file as UTF-8, "key=value" lines
  // Writes safely in the encoding found on loading (Windows-1251 for a new file; an 8-bit file
  // that would lose characters becomes UTF-8). Creates the folder.
  bool Save(const std::filesystem::path &path, std::string *error = nullptr) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  TextEncoding encoding_ = TextEncoding::Cp1251;
};

}  // namespace kalvort
