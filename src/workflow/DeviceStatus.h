#pragma once
// The status line's texts as pure functions of one status reading of the device, so the desktop
// program's status line and `kalvort-cli device status` show the same words. No device access.

#include <cstdint>
#include <string>

#include "device/DeviceTypes.h"

namespace kalvort::workflow {

// One status reading: open, state, close (DeviceSession::Poll).
struct DeviceSnapshot {
  bool opened = false;          // DeviceOpen succeeded
  bool busy = false;            // another station holds the module
  TDeviceState state;           // valid when opened && !busy
  TDeviceType device_type = dtNone;
  uint32_t mp_all = 0;          // total bytes of the project's valid binaries (MP_all)
};

struct StatusTexts {
  std::string device;           // panel 0: "Программатор. v 2.0.9", "Модуль Урвелл. v 1.2.3",
                                //   "Устройство не подключено", "Устройство не отвечает",
                                //   "Модуль памяти занят"
  std::string module;           // panel 1: "СМП-2000 " / "ВМП-500 " / "СМП-???? " / "СМП-" / ""
  std::string size;             // panel 2: "Всего 12000 байт" or ""
  bool connected = false;       // device commands enabled
  bool full_commands = false;   // connected on the USB programmer: full erase / full test
  bool update_prompt = false;   // programmer firmware byte exactly 210
  bool force_2c42 = false;      // a networked controller is connected: need_proc true, processor_type 0
};

StatusTexts StatusTextsFor(const DeviceSnapshot &snapshot);

// The device that cannot be reached: kNoAnswer for a networked controller (dtSMP2C42,
// dtWMP2C42), kNotConnected otherwise.
const char *UnreachableText(TDeviceType device);

// Panel 3: "Тип проекта: " and "2C42/2Р22", "НЦ-31/МС-2109", "???" or "не выбран".
std::string ProjectTypeText(bool need_proc, int processor_type);

// Programmer firmware byte: "v " + hundreds "." tens "." units (210 -> "v 2.1.0").
std::string ver2string(uint8_t v);
// Controller firmware word: "v " + its three high bytes in decimal (0x01020300 -> "v 1.2.3").
std::string ver_hex2string(uint32_t v);

// Firmware byte for which the programmer's update prompt is shown.
inline constexpr uint8_t kUpdatePromptVersion = 210;

// User messages of the device's condition.
inline constexpr char kNotConnected[] = "Устройство не подключено";
// A networked controller that gave no answer (to the open, the take or the status requests).
inline constexpr char kNoAnswer[] = "Устройство не отвечает";
inline constexpr char kModuleBusy[] = "Модуль памяти занят";
inline constexpr char kNoModule[] = "МП не подключен";

}  // namespace kalvort::workflow
