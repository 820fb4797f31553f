#pragma once
// Conversions between Qt's strings and the core's UTF-16 text (the same code units).

#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

inline std::u16string toU16(const QString &s) {
  return std::u16string(reinterpret_cast<const char16_t *>(s.utf16()), static_cast<size_t>(s.size()));
}

inline QString fromU16(std::u16string_view s) { return QStringView(s).toString(); }

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

// A file name as the core's file functions take it.
inline std::filesystem::path toPath(const QString &file) { return std::filesystem::path(file.toStdString()); }

// `file` with its extension replaced by `suffix` (no dot), in the same folder.
inline QString replaceSuffix(const QString &file, const QString &suffix) {
  const QFileInfo info(file);
  const QString name = info.completeBaseName() + QLatin1Char('.') + suffix;
  return info.path() == QLatin1String(".") && !file.startsWith(QLatin1String("./")) ? name : info.path() + QLatin1Char('/') + name;
}

// `file` with `suffix` appended when it has no extension (a save dialog's default extension).
inline QString withDefaultSuffix(const QString &file, const QString &suffix) {
  return QFileInfo(file).suffix().isEmpty() ? file + QLatin1Char('.') + suffix : file;
}
