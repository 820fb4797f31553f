#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "project/Settings.h"
#include "support/TempDir.h"

using namespace kalvort;
using kalvort::test::TempDir;
using kalvort::test::readFileBytes;
using kalvort::test::writeFileBytes;

namespace {

// Sets or clears an environment variable for one scope.
class EnvVar {
 public:
  EnvVar(const char *name, const char *value) : name_(name) {
    if (const char *old = std::getenv(name)) old_ = old;
    if (value) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~EnvVar() {
    if (old_) setenv(name_, old_->c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char *name_;
  std::optional<std::string> old_;
};

}  // namespace

TEST(Settings, MissingFileGivesDefaultsAndSaveWritesEveryKey) {
  TempDir dir;
  const auto path = dir.path() / "sub" / "kalvort.ini";
  KalvortSettings s;
  s.Width = 1;
  ASSERT_TRUE(OpenSettings(path, s));
  EXPECT_EQ(s.Width, 800);
  EXPECT_EQ(s.Height, 600);
  EXPECT_FALSE(s.window_size_stored);
  EXPECT_TRUE(s.LastDir.empty());
  EXPECT_TRUE(s.options.processing.enabled);
  EXPECT_EQ(s.options.processing.project_type, 0);
  EXPECT_EQ(s.options.timeout_factor, 3);
  EXPECT_TRUE(s.options.keep_program_numbers && s.options.drop_spaces && s.options.drop_empty_lines);
  EXPECT_FALSE(s.options.merge_nc31_words || s.options.vz20_format);
  EXPECT_TRUE(s.NetDevices.empty());

  s.NetDevices.push_back({"127.0.0.5", u"Станок 1"});
  s.LastDir = u"/home/оператор/программы";
  ASSERT_TRUE(SaveSettings(path, s));
  EXPECT_EQ(readFileBytes(path),
            "[Window]\nLeft=0\nTop=0\nWidth=800\nHeight=600\n"
            "LastDir=/home/\xEE\xEF\xE5\xF0\xE0\xF2\xEE\xF0/\xEF\xF0\xEE\xE3\xF0\xE0\xEC\xEC\xFB\n\n\n"
            "[Device]\nCurrent device=0\nProcessing=1\nProcessor=0\nTimeout=3\nNC-31 Merge=0\n"
            "2C42 Fix Prog Num=1\n2C42 del spaces=1\n2C42 del empty strings=1\n2C42 VZ_20x=0\n\n\n"
            "[Editor]\nAction=0\n\n\n"
            "[NetDevice]\nNum=1\nIP1=127.0.0.5\nname1=\xD1\xF2\xE0\xED\xEE\xEA 1\n");  // Windows-1251
  KalvortSettings back;
  ASSERT_TRUE(OpenSettings(path, back));
  EXPECT_EQ(back.NetDevices, s.NetDevices);
  EXPECT_EQ(back.LastDir, s.LastDir);
  EXPECT_TRUE(back.window_size_stored);
}

TEST(Settings, EveryOptionReadsBackUnderItsOwnKey) {
  // Each option in turn away from its default, all others at theirs: a key read into the wrong
  // field, or not written, shows as a difference.
  const std::vector<void (*)(Options &)> changes = {
      [](Options &o) { o.processing.enabled = false; },  [](Options &o) { o.processing.project_type = 1; },
      [](Options &o) { o.merge_nc31_words = true; },      [](Options &o) { o.keep_program_numbers = false; },
      [](Options &o) { o.drop_spaces = false; },          [](Options &o) { o.drop_empty_lines = false; },
      [](Options &o) { o.vz20_format = true; },           [](Options &o) { o.timeout_factor = 5; },
  };
  TempDir dir;
  for (size_t i = 0; i < changes.size(); ++i) {
    SCOPED_TRACE(i);
    KalvortSettings s;
    changes[i](s.options);
    ASSERT_NE(s.options, Options{});
    const auto path = dir.file("o" + std::to_string(i) + ".ini");
    ASSERT_TRUE(SaveSettings(path, s));
    KalvortSettings back;
    ASSERT_TRUE(OpenSettings(path, back));
    EXPECT_EQ(back.options, s.options);
  }
}

TEST(Settings, ValuesParseOrFallBackToDefaults) {
  struct Case {
    const char *line;
    bool need_proc;
    int width;
    int timeout;
    int processor;
  } cases[] = {
      {"[Device]\nProcessing=yes", true, 800, 3, 0},
      {"[Device]\nProcessing=0", false, 800, 3, 0},
      {"[Device]\nProcessing=-7", true, 800, 3, 0},
      {"[Device]\nProcessing = 0 ", false, 800, 3, 0},
      {"[Window]\nWidth=1024px", true, 800, 3, 0},
      {"[Window]\nWidth=+1024", true, 1024, 3, 0},
      {"[Window]\nWidth=99999999999", true, 800, 3, 0},
      {"[window]\nwidth=640", true, 640, 3, 0},  // names are case-insensitive
      {"[Device]\nTimeout=9", true, 800, 5, 0},
      {"[Device]\nTimeout=0", true, 800, 1, 0},
      {"[Device]\nProcessor=1", true, 800, 3, 1},
      {"[Device]\nProcessor=7", true, 800, 3, 0},
      {"garbage without sections\n[Device]\nProcessor=1", true, 800, 3, 1},
  };
  TempDir dir;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.line);
    writeFileBytes(dir.file("s.ini"), c.line);
    KalvortSettings s;
    ASSERT_TRUE(OpenSettings(dir.file("s.ini"), s));
    EXPECT_EQ(s.options.processing.enabled, c.need_proc);
    EXPECT_EQ(s.Width, c.width);
    EXPECT_EQ(s.options.timeout_factor, c.timeout);
    EXPECT_EQ(s.options.processing.project_type, c.processor);
  }
}

TEST(Settings, NetDevicesAndUnknownEntriesSurvive) {
  TempDir dir;
  const auto path = dir.file("k.ini");
  writeFileBytes(path,
                 "; written by hand\r\n"
                 "[Window]\r\nWidth=1000\r\nMaximized=1\r\n"
                 "[Plugins]\r\nfoo=bar baz\r\n"
                 "[NetDevice]\r\nNum=2\r\nIP1=127.0.0.2\r\nname1=\xCF\xE5\xF0\xE2\xFB\xE9\r\n"
                 "IP3=127.0.0.9\r\nname3=old\r\n");
  KalvortSettings s;
  ASSERT_TRUE(OpenSettings(path, s));
  ASSERT_EQ(s.NetDevices.size(), 2u);
  EXPECT_EQ(s.NetDevices[0], (TNetDevice{"127.0.0.2", u"Первый"}));
  EXPECT_EQ(s.NetDevices[1], (TNetDevice{"192.168.0.10", u"device_2"}));
  EXPECT_EQ(s.Width, 1000);

  s.NetDevices.resize(1);
  s.Height = 700;
  ASSERT_TRUE(SaveSettings(path, s));
  const std::string text = readFileBytes(path);
  for (const char *kept : {"; written by hand", "Maximized=1", "[Plugins]\nfoo=bar baz", "IP3=127.0.0.9",
                           "name3=old", "Num=1", "Height=700"})
    EXPECT_NE(text.find(kept), std::string::npos) << kept;
  EXPECT_NE(text.find("name1=\xCF\xE5\xF0\xE2\xFB\xE9"), std::string::npos);  // still Windows-1251
  ASSERT_TRUE(OpenSettings(path, s));
  EXPECT_EQ(s.NetDevices.size(), 1u);

  // Hostile counts read nothing or stop at a bound instead of building a huge list.
  writeFileBytes(path, "[NetDevice]\nNum=-3\n");
  ASSERT_TRUE(OpenSettings(path, s));
  EXPECT_TRUE(s.NetDevices.empty());
  writeFileBytes(path, "[NetDevice]\nNum=2000000000\n");
  ASSERT_TRUE(OpenSettings(path, s));
  EXPECT_EQ(s.NetDevices.size(), static_cast<size_t>(kMaxNetDevices));
}

TEST(Settings, UnicodeNamesAndUtf8FilesKeepTheirCharacters) {
  TempDir dir;
  const auto path = dir.file("u.ini");
  writeFileBytes(path, "[NetDevice]\nNum=1\nIP1=127.0.0.3\nname1=\xE4\xB8\xAD \xD0\x96\n");  // UTF-8
  KalvortSettings s;
  ASSERT_TRUE(OpenSettings(path, s));
  ASSERT_EQ(s.NetDevices.size(), 1u);
  EXPECT_EQ(s.NetDevices[0].name, u"中 Ж");
  ASSERT_TRUE(SaveSettings(path, s));
  ASSERT_TRUE(OpenSettings(path, s));
  EXPECT_EQ(s.NetDevices[0].name, u"中 Ж");

  // A name Windows-1251 cannot hold turns a new file into UTF-8 rather than losing it.
  s.NetDevices = {TNetDevice{"127.0.0.3", u"α"}};
  ASSERT_TRUE(SaveSettings(dir.file("n.ini"), s));
  ASSERT_TRUE(OpenSettings(dir.file("n.ini"), s));
  EXPECT_EQ(s.NetDevices[0].name, u"α");
}

TEST(Settings, PathFromEnvironment) {
  {
    EnvVar c("KALVORT_CONFIG", "/tmp/x/my.ini");
    EXPECT_EQ(SettingsPath(), "/tmp/x/my.ini");
  }
  EnvVar c("KALVORT_CONFIG", nullptr);
  {
    EnvVar x("XDG_CONFIG_HOME", "/srv/conf");
    EXPECT_EQ(SettingsPath(), "/srv/conf/kalvort/kalvort.ini");
  }
  EnvVar h("HOME", "/home/op");
  for (const char *xdg : {static_cast<const char *>(nullptr), "", "relative/dir"}) {
    EnvVar x("XDG_CONFIG_HOME", xdg);
    EXPECT_EQ(SettingsPath(), "/home/op/.config/kalvort/kalvort.ini");
  }
}

TEST(Settings, UnreadableFileGivesDefaultsAndSaveStillWorks) {
  TempDir dir;
  const auto path = dir.file("d.ini");
  std::filesystem::create_directory(path);  // a folder where the file should be
  KalvortSettings s;
  s.Width = 5;
  std::string error;
  EXPECT_FALSE(OpenSettings(path, s, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(s.Width, 800);
  EXPECT_FALSE(SaveSettings(path, s, &error));
  EXPECT_TRUE(std::filesystem::is_directory(path));
}
