#include "project/IniFile.h"

#include <system_error>

#include "base/SafeSave.h"

// The one translation unit that compiles SimpleIni; values pass through as bytes (UTF-8 here).
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

namespace kalvort {

struct IniFile::Impl {
  CSimpleIniA ini;
  Impl() { Setup(); }
  void Setup() {
    ini.SetUnicode(false);
    ini.SetMultiKey(false);
    ini.SetMultiLine(false);
    ini.SetSpaces(false);
    ini.SetQuotes(false);
  }
};

IniFile::IniFile() : impl_(std::make_unique<Impl>()) {}
IniFile::~IniFile() = default;

void IniFile::Clear() {
  impl_->ini.Reset();
  impl_->Setup();
  encoding_ = TextEncoding::Cp1251;
}

bool IniFile::Load(const std::filesystem::path &path, std::string *error) {
  Clear();
  std::error_code ec;
  const bool exists = std::filesystem::exists(path, ec);
  if (ec && ec != std::errc::no_such_file_or_directory) {
    if (error) *error = "cannot read " + path.string() + ": " + ec.message();
    return false;
  }
  if (!exists) return true;
  std::string bytes;
  if (!ReadWholeFile(path, bytes, size_t{64} << 20, error)) return false;
  TextEncoding found = TextEncoding::Cp1251;
  const std::string utf8 = toUtf8(decodeText(bytes, &found));
  if (!LoadText(utf8)) {
    if (error) *error = "cannot parse " + path.string();
    return false;
  }
  encoding_ = found;
  return true;
}

bool IniFile::LoadText(std::string_view utf8) {
  return impl_->ini.LoadData(utf8.data(), utf8.size()) >= 0;
}

const char *IniFile::Value(const std::string &section, const std::string &key) const {
  return impl_->ini.GetValue(section.c_str(), key.c_str(), nullptr);
}

void IniFile::SetValue(const std::string &section, const std::string &key, const std::string &value) {
  impl_->ini.SetValue(section.c_str(), key.c_str(), value.c_str());
}

std::vector<std::string> IniFile::Sections() const {
  CSimpleIniA::TNamesDepend names;
  impl_->ini.GetAllSections(names);
  names.sort(CSimpleIniA::Entry::LoadOrder());
  std::vector<std::string> out;
  for (const auto &n : names) out.emplace_back(n.pItem);
  return out;
}

std::string IniFile::Text() const {
  std::string out;
  impl_->ini.Save(out);
  return out;
}

bool IniFile::Save(const std::filesystem::path &path, std::string *error) const {
  std::u16string text;
  fromUtf8(Text(), text);
  TextEncoding encoding = encoding_;
  if (encoding == TextEncoding::Cp1251 && fromCp1251(toCp1251(text)) != text) encoding = TextEncoding::Utf8;
  std::error_code ec;
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
  return SafeSaveFile(path, encodeText(text, encoding), error);
}

}  // namespace kalvort
