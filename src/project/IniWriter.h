#pragma once
// A new INI text written straight through, in the layout IniFile::Text gives ("[section]",
// "key=value" lines, two line breaks between sections), for a writer that makes a whole file in
// a known order and needs no lookups. Values are taken as they are: the caller keeps them to one
// line and without spaces at their ends, as IniFile would read them back.

#include <charconv>
#include <string>
#include <string_view>
#include <type_traits>

namespace kalvort {

class IniWriter {
 public:
  void Section(std::string_view name) {
    if (!text_.empty()) text_ += "\n\n";
    text_ += '[';
    text_ += name;
    text_ += "]\n";
  }
  void Key(std::string_view key, std::string_view value) {
    Start(key);
    text_ += value;
    text_ += '\n';
  }
  // A number in decimal, as std::to_string writes it (an 8-bit one too).
  template <typename T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool>)
  void Key(std::string_view key, T value) {
    Start(key);
    char digits[24];
    const auto end = std::is_signed_v<T>
                         ? std::to_chars(digits, digits + sizeof digits, static_cast<long long>(value)).ptr
                         : std::to_chars(digits, digits + sizeof digits, static_cast<unsigned long long>(value)).ptr;
    text_.append(digits, end);
    text_ += '\n';
  }

  const std::string &Text() const { return text_; }

 private:
  void Start(std::string_view key) {
    text_ += key;
    text_ += '=';
  }

  std::string text_;
};

}  // namespace kalvort
