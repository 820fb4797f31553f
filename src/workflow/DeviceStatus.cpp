#include "workflow/DeviceStatus.h"

#include "workflow/DeviceRules.h"

namespace kalvort::workflow {

StatusTexts StatusTextsFor(const DeviceSnapshot &snapshot) {
  StatusTexts t;
  if (!snapshot.opened) {
    t.device = UnreachableText(snapshot.device_type);
    return t;
  }
  if (snapshot.busy) {
    t.device = kModuleBusy;
    return t;
  }
  const TDeviceState &s = snapshot.state;
  if (!s.connected) {
    t.device = UnreachableText(snapshot.device_type);
    return t;
  }
  t.connected = true;
  if (s.version != 0) {
    // The USB programmer: its module is always shown as the replaceable one.
    t.device = "Программатор. " + ver2string(s.version);
    t.module = "СМП-";
    t.full_commands = true;
    t.update_prompt = s.version == kUpdatePromptVersion;
  } else {
    t.device = "Модуль Урвелл. " + ver_hex2string(s.full_version);
    t.module = snapshot.device_type == dtSMP2C42 ? "СМП-" : "ВМП-";
    t.force_2c42 = true;
  }
  if (s.MP_connected) {
    t.module += ModuleSizeWord(s.MP_size);
    t.size = "Всего " + std::to_string(snapshot.mp_all) + " байт";
  } else {
    t.module.clear();
  }
  return t;
}

const char *UnreachableText(TDeviceType device) {
  return device == dtSMP2C42 || device == dtWMP2C42 ? kNoAnswer : kNotConnected;
}

std::string ProjectTypeText(bool need_proc, int processor_type) {
  std::string text = "Тип проекта: ";
  if (!need_proc) return text + "не выбран";
  switch (processor_type) {
    case 0: return text + "2C42/2Р22";
    case 1: return text + "НЦ-31/МС-2109";
    default: return text + "???";
  }
}

std::string ver2string(uint8_t v) {
  return "v " + std::to_string(v / 100) + "." + std::to_string(v % 100 / 10) + "." + std::to_string(v % 10);
}

std::string ver_hex2string(uint32_t v) {
  return "v " + std::to_string(v >> 24) + "." + std::to_string((v >> 16) & 0xFF) + "." +
         std::to_string((v >> 8) & 0xFF);
}

}  // namespace kalvort::workflow
