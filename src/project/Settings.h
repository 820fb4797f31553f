#pragma once
// The settings file (INI): window geometry, the last folder of the file dialogs, device and
// processing options, the editor's action, the time-out factor and the known network devices.
// Sections and keys this program does not know are kept as they are when the file is written back.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "device/DeviceTypes.h"
#include "project/Options.h"

namespace kalvort {

struct KalvortSettings {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Width = 800;
  int32_t Height = 600;
  // Whether Width and Height came from the file; without them the window picks its size.
  bool window_size_stored = false;
  // The folder of the last file chosen in a file dialog (empty: none yet).
  std::u16string LastDir;
  int32_t CurDeviceNum = 0;
  Options options;
  int32_t editor_action = 0;  // index in the editor's action selector
  std::vector<TNetDevice> NetDevices;
};

inline constexpr char kDefaultNetDeviceIp[] = "192.168.0.10";
// More network devices than this in "Num" is taken as damage, not as a list to build.
inline constexpr int32_t kMaxNetDevices = 4096;

// $KALVORT_CONFIG, else $XDG_CONFIG_HOME/kalvort/kalvort.ini, else ~/.config/kalvort/kalvort.ini.
std::filesystem::path SettingsPath();

// Reads the settings; a missing file gives the defaults and true. A file that exists but cannot
// be read gives the defaults and false (error says why).
bool OpenSettings(const std::filesystem::path &path, KalvortSettings &settings, std::string *error = nullptr);
// Loads the existing file, sets every key from `settings` and writes the whole file back safely
// (creating its folder). Returns false with the reason when the existing file cannot be read
// (it is then left as it is) or the new one cannot be written.
bool SaveSettings(const std::filesystem::path &path, const KalvortSettings &settings, std::string *error = nullptr);

// Settings INI parsing rules, exposed for tests: a whole decimal int32, else the default.
int32_t ParseSettingsInt(const char *value, int32_t def);

}  // namespace kalvort
