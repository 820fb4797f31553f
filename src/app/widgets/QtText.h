#pragma once
// Conversions between Qt's strings and the core's UTF-16 text (the same code units).

#include <QString>
#include <QStringList>
#include <string>
#include <string_view>
#include <vector>

inline std::u16string toU16(const QString &s) {
  return std::u16string(reinterpret_cast<const char16_t *>(s.utf16()), static_cast<size_t>(s.size()));
}

inline QString fromU16(std::u16string_view s) {
  return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

inline std::vector<std::u16string> toU16Lines(const QStringList &lines) {
  std::vector<std::u16string> out;
  out.reserve(static_cast<size_t>(lines.size()));
  for (const auto &l : lines) out.push_back(toU16(l));
  return out;
}

inline QStringList fromU16Lines(const std::vector<std::u16string> &lines) {
  QStringList out;
  out.reserve(static_cast<qsizetype>(lines.size()));
  for (const auto &l : lines) out.append(fromU16(l));
  return out;
}
