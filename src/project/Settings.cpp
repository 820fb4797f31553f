#include "project/Settings.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "base/CodePage.h"
#include "project/IniFile.h"

namespace kalvort {

namespace {

constexpr const char *kWindow = "Window";
constexpr const char *kDevice = "Device";
constexpr const char *kEditor = "Editor";
constexpr const char *kNetDevice = "NetDevice";

int32_t GetInt(const IniFile &ini, const char *section, const char *key, int32_t def) {
  return ParseSettingsInt(ini.Value(section, key), def);
}

bool GetBool(const IniFile &ini, const char *section, const char *key, bool def) {
  return GetInt(ini, section, key, def ? 1 : 0) != 0;
}

std::u16string GetText(const IniFile &ini, const char *section, const std::string &key,
                       const std::u16string &def) {
  const char *v = ini.Value(section, key);
  if (!v) return def;
  std::u16string text;
  if (!fromUtf8(v, text)) text = fromCp1251(v);
  return text;
}

void SetInt(IniFile &ini, const char *section, const char *key, int32_t value) {
  ini.SetValue(section, key, std::to_string(value));
}

void SetText(IniFile &ini, const char *section, const std::string &key, std::u16string_view value) {
  ini.SetValue(section, key, toUtf8(value));
}

std::u16string DefaultName(int i) {
  const std::string n = "device_" + std::to_string(i);
  return std::u16string(n.begin(), n.end());
}

}  // namespace

int32_t ParseSettingsInt(const char *value, int32_t def) {
  if (!value) return def;
  std::string_view v(value);
  while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
  while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
  size_t i = 0;
  bool negative = false;
  if (i < v.size() && (v[i] == '+' || v[i] == '-')) negative = v[i++] == '-';
  if (i == v.size()) return def;
  long long n = 0;
  for (; i < v.size(); ++i) {
    if (v[i] < '0' || v[i] > '9') return def;
    n = n * 10 + (v[i] - '0');
    if (n > static_cast<long long>(INT32_MAX) + 1) return def;
  }
  if (negative) n = -n;
  if (n < INT32_MIN || n > INT32_MAX) return def;
  return static_cast<int32_t>(n);
}

std::filesystem::path SettingsPath() {
  if (const char *p = std::getenv("KALVORT_CONFIG"); p && *p) return p;
  std::filesystem::path base;
  if (const char *x = std::getenv("XDG_CONFIG_HOME"); x && *x == '/') {
    base = x;
  } else if (const char *h = std::getenv("HOME"); h && *h) {
    base = std::filesystem::path(h) / ".config";
  } else {
    base = ".config";
  }
  return base / "kalvort" / "kalvort.ini";
}

bool OpenSettings(const std::filesystem::path &path, KalvortSettings &settings, std::string *error) {
  settings = KalvortSettings{};
  IniFile ini;
  if (!ini.Load(path, error)) return false;
  KalvortSettings s;
  s.Left = GetInt(ini, kWindow, "Left", s.Left);
  s.Top = GetInt(ini, kWindow, "Top", s.Top);
  s.Width = GetInt(ini, kWindow, "Width", s.Width);
  s.Height = GetInt(ini, kWindow, "Height", s.Height);
  s.window_size_stored = ini.Value(kWindow, "Width") && ini.Value(kWindow, "Height");
  s.LastDir = GetText(ini, kWindow, "LastDir", s.LastDir);
  s.CurDeviceNum = GetInt(ini, kDevice, "Current device", s.CurDeviceNum);
  Options &o = s.options;
  o.processing.enabled = GetBool(ini, kDevice, "Processing", o.processing.enabled);
  o.processing.project_type = GetInt(ini, kDevice, "Processor", o.processing.project_type);
  s.editor_action = GetInt(ini, kEditor, "Action", s.editor_action);
  o.timeout_factor = GetInt(ini, kDevice, "Timeout", o.timeout_factor);
  o.merge_nc31_words = GetBool(ini, kDevice, "NC-31 Merge", o.merge_nc31_words);
  o.keep_program_numbers = GetBool(ini, kDevice, "2C42 Fix Prog Num", o.keep_program_numbers);
  o.drop_spaces = GetBool(ini, kDevice, "2C42 del spaces", o.drop_spaces);
  o.drop_empty_lines = GetBool(ini, kDevice, "2C42 del empty strings", o.drop_empty_lines);
  o.vz20_format = GetBool(ini, kDevice, "2C42 VZ_20x", o.vz20_format);
  // Only the two known formats; the factor multiplies every time-out, so keep it in its range.
  if (o.processing.project_type != 0 && o.processing.project_type != 1) o.processing.project_type = 0;
  o.timeout_factor = ClampTimeoutFactor(o.timeout_factor);
  const int32_t num = std::min(GetInt(ini, kNetDevice, "Num", 0), kMaxNetDevices);
  for (int32_t i = 1; i <= num; ++i) {
    const std::string n = std::to_string(i);
    TNetDevice d;
    d.ip = toCp1251(GetText(ini, kNetDevice, "IP" + n, fromCp1251(kDefaultNetDeviceIp)));
    d.name = GetText(ini, kNetDevice, "name" + n, DefaultName(i));
    s.NetDevices.push_back(std::move(d));
  }
  settings = std::move(s);
  return true;
}

bool SaveSettings(const std::filesystem::path &path, const KalvortSettings &s, std::string *error) {
  IniFile ini;
  // A file that exists but cannot be read is left alone: writing it anew would lose what it holds.
  if (!ini.Load(path, error)) return false;
  SetInt(ini, kWindow, "Left", s.Left);
  SetInt(ini, kWindow, "Top", s.Top);
  SetInt(ini, kWindow, "Width", s.Width);
  SetInt(ini, kWindow, "Height", s.Height);
  SetText(ini, kWindow, "LastDir", s.LastDir);
  SetInt(ini, kDevice, "Current device", s.CurDeviceNum);
  const Options &o = s.options;
  SetInt(ini, kDevice, "Processing", o.processing.enabled ? 1 : 0);
  SetInt(ini, kDevice, "Processor", o.processing.project_type);
  SetInt(ini, kEditor, "Action", s.editor_action);
  SetInt(ini, kDevice, "Timeout", o.timeout_factor);
  SetInt(ini, kDevice, "NC-31 Merge", o.merge_nc31_words ? 1 : 0);
  SetInt(ini, kDevice, "2C42 Fix Prog Num", o.keep_program_numbers ? 1 : 0);
  SetInt(ini, kDevice, "2C42 del spaces", o.drop_spaces ? 1 : 0);
  SetInt(ini, kDevice, "2C42 del empty strings", o.drop_empty_lines ? 1 : 0);
  SetInt(ini, kDevice, "2C42 VZ_20x", o.vz20_format ? 1 : 0);
  SetInt(ini, kNetDevice, "Num", static_cast<int32_t>(s.NetDevices.size()));
  for (size_t i = 0; i < s.NetDevices.size(); ++i) {
    const std::string n = std::to_string(i + 1);
    SetText(ini, kNetDevice, "IP" + n, fromCp1251(s.NetDevices[i].ip));
    SetText(ini, kNetDevice, "name" + n, s.NetDevices[i].name);
  }
  return ini.Save(path, error);
}

}  // namespace kalvort
