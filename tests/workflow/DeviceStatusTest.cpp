// Status line texts from a device snapshot, the control-type and full-command rules, the time-out
// rule and LAN address parsing.

#include <gtest/gtest.h>

#include <string>

#include "workflow/DeviceRules.h"
#include "workflow/DeviceStatus.h"
#include "workflow/DeviceTarget.h"

namespace kalvort::workflow {
namespace {

TDeviceState Programmer(uint8_t version, TMPtype type, int32_t size) {
  TDeviceState s;
  s.connected = true;
  s.version = version;
  s.MP_connected = type != mptNone;
  s.MP_type = type;
  s.MP_size = size;
  return s;
}

TDeviceState Controller(uint32_t full_version, int32_t size) {
  TDeviceState s;
  s.connected = true;
  s.full_version = full_version;
  s.MP_connected = size != 0;
  s.MP_size = size;
  return s;
}

DeviceSnapshot Snap(const TDeviceState &state, TDeviceType type, uint32_t mp_all = 0) {
  DeviceSnapshot s;
  s.opened = true;
  s.state = state;
  s.device_type = type;
  s.mp_all = mp_all;
  return s;
}

TEST(DeviceStatus, TextsAndCommandsForEveryCondition) {
  DeviceSnapshot closed;
  closed.device_type = dtProg;
  DeviceSnapshot busy = Snap(Controller(0x01020300, 0x84000), dtSMP2C42);
  busy.busy = true;
  TDeviceState unplugged = Programmer(209, mptMP2000, 0x210000);
  unplugged.connected = false;
  DeviceSnapshot silent;
  silent.device_type = dtWMP2C42;
  TDeviceState lost = Controller(0x01020300, 540672);
  lost.connected = false;

  struct Case {
    const char *what;
    DeviceSnapshot snap;
    std::string device, module, size;
    bool connected, full, prompt, force;
  } cases[] = {
      {"programmer 209, mptMP2000, 12000 bytes", Snap(Programmer(209, mptMP2000, 2162688), dtProg, 12000),
       "Программатор. v 2.0.9", "СМП-2000 ", "Всего 12000 байт", true, true, false, false},
      {"programmer 210 asks for the update", Snap(Programmer(210, mptMP500, 540672), dtProg),
       "Программатор. v 2.1.0", "СМП-500 ", "Всего 0 байт", true, true, true, false},
      {"programmer 211", Snap(Programmer(211, mptMP8000, 8650752), dtProg), "Программатор. v 2.1.1", "СМП-8000 ",
       "Всего 0 байт", true, true, false, false},
      {"programmer without module", Snap(Programmer(209, mptNone, 0), dtProg), "Программатор. v 2.0.9", "", "",
       true, true, false, false},
      {"odd module size", Snap(Programmer(209, mptMP500, 135168), dtProg), "Программатор. v 2.0.9", "СМП-???? ",
       "Всего 0 байт", true, true, false, false},
      {"controller, replaceable module", Snap(Controller(0x01020300, 540672), dtSMP2C42, 7),
       "Модуль Урвелл. v 1.2.3", "СМП-500 ", "Всего 7 байт", true, false, false, true},
      {"controller, built-in module", Snap(Controller(0x01020300, 8650752), dtWMP2C42), "Модуль Урвелл. v 1.2.3",
       "ВМП-8000 ", "Всего 0 байт", true, false, false, true},
      {"controller without module", Snap(Controller(0x01020300, 0), dtWMP2C42), "Модуль Урвелл. v 1.2.3", "", "",
       true, false, false, true},
      {"busy", busy, "Модуль памяти занят", "", "", false, false, false, false},
      {"not opened", closed, "Устройство не подключено", "", "", false, false, false, false},
      {"opened, reports not connected", Snap(unplugged, dtProg), "Устройство не подключено", "", "", false, false,
       false, false},
      {"controller not opened", silent, "Устройство не отвечает", "", "", false, false, false, false},
      {"controller stopped answering", Snap(lost, dtSMP2C42), "Устройство не отвечает", "", "", false, false, false,
       false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    const StatusTexts t = StatusTextsFor(c.snap);
    EXPECT_EQ(t.device, c.device);
    EXPECT_EQ(t.module, c.module);
    EXPECT_EQ(t.size, c.size);
    EXPECT_EQ(t.connected, c.connected);
    EXPECT_EQ(t.full_commands, c.full);
    EXPECT_EQ(t.update_prompt, c.prompt);
    EXPECT_EQ(t.force_2c42, c.force);
  }
}

TEST(DeviceStatus, ProjectTypeAndVersions) {
  EXPECT_EQ(ProjectTypeText(true, 0), "Тип проекта: 2C42/2Р22");
  EXPECT_EQ(ProjectTypeText(true, 1), "Тип проекта: НЦ-31/МС-2109");
  EXPECT_EQ(ProjectTypeText(true, 7), "Тип проекта: ???");
  EXPECT_EQ(ProjectTypeText(false, 1), "Тип проекта: не выбран");
  EXPECT_EQ(ver2string(255), "v 2.5.5");
  EXPECT_EQ(ver2string(7), "v 0.0.7");
  EXPECT_EQ(ver_hex2string(0xFF0A01FF), "v 255.10.1");
}

TEST(DeviceRules, ControllerFixesTypeAndRefusesFullCommands) {
  for (TDeviceType type : {dtSMP2C42, dtWMP2C42}) {
    bool need_proc = false;
    int32_t processor = 1;
    EXPECT_TRUE(ApplyControlTypeRule(type, need_proc, processor));
    EXPECT_TRUE(need_proc);
    EXPECT_EQ(processor, 0);
    EXPECT_FALSE(ApplyControlTypeRule(type, need_proc, processor));  // already 2С42 with processing
    EXPECT_FALSE(FullCommandsAllowed(type));
  }
  bool need_proc = false;
  int32_t processor = 1;
  EXPECT_FALSE(ApplyControlTypeRule(dtProg, need_proc, processor));
  EXPECT_FALSE(need_proc);
  EXPECT_EQ(processor, 1);
  EXPECT_TRUE(FullCommandsAllowed(dtProg));
  // The erase / test label: "СМП-" for a controller's replaceable module only.
  EXPECT_EQ(ModuleLabel(dtSMP2C42, 0x210000), "СМП-2000 ");
  EXPECT_EQ(ModuleLabel(dtWMP2C42, 0x84000), "ВМП-500 ");
  EXPECT_EQ(ModuleLabel(dtProg, 0x840000), "ВМП-8000 ");
}

TEST(DeviceTarget, TimeoutFactorFollowsTheSettingsRange) {
  for (auto [stored, used] : {std::pair{3, 3}, {1, 1}, {5, 5}, {0, 1}, {-7, 1}, {6, 5}, {1000, 5}}) {
    KalvortSettings s;
    s.options.timeout_factor = stored;
    EXPECT_EQ(TimeoutFactorFor(s), used) << stored;
  }
}

TEST(DeviceTarget, LanAddresses) {
  DeviceTarget t;
  t.subtype = dstWMP;
  std::string error;
  ASSERT_TRUE(ParseLanAddress("127.0.0.7", t, error)) << error;
  EXPECT_FALSE(t.usb);
  EXPECT_EQ(t.ip, "127.0.0.7");
  EXPECT_EQ(t.port, 30000);
  EXPECT_EQ(t.subtype, dstWMP);
  EXPECT_EQ(ProjectDeviceType(t), dtWMP2C42);
  ASSERT_TRUE(ParseLanAddress("10.1.2.3:65535", t, error)) << error;
  EXPECT_EQ(t.ip, "10.1.2.3");
  EXPECT_EQ(t.port, 65535);

  for (const char *bad : {"", "localhost", "1.2.3", "1.2.3.256", "1.2.3.4:", "1.2.3.4:0", "1.2.3.4:65536",
                          "1.2.3.4:+80", "1.2.3.4:80x", "1.2.3.4 :80", ":80"}) {
    DeviceTarget kept = t;
    error.clear();
    EXPECT_FALSE(ParseLanAddress(bad, kept, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
    EXPECT_EQ(kept.ip, "10.1.2.3") << bad;
    EXPECT_EQ(kept.port, 65535) << bad;
  }
  DeviceTarget usb;
  EXPECT_EQ(ProjectDeviceType(usb), dtProg);
}

}  // namespace
}  // namespace kalvort::workflow
