// kalvort-cli toolpath: the JSON of a program's path, the lathe's diameter mode, the SVG picture
// and the exit codes.

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/RunCli.h"
#include "support/TempDir.h"

using namespace kalvort::test;

namespace {

class ToolpathCli : public ::testing::Test {
 protected:
  int cli(const std::string &args) { return runCli(dir.path(), args, out, err, {}, {}); }
  void write(const std::string &name, const std::string &text) { std::ofstream(dir.file(name)) << text; }

  TempDir dir;
  std::string out, err;
};

}  // namespace

TEST_F(ToolpathCli, JsonHoldsMovesProblemsBoundsAndLengths) {
  write("mill.nc", "%\nG0 X10 Y0\nG3 X-10 Y0 R10\nG1 X-10 Y-5\nG76 X1\n");
  ASSERT_EQ(cli("toolpath mill.nc"), 0) << err;
  EXPECT_EQ(out,
            "{\"moves\": [{\"line\": 2, \"kind\": \"rapid\", \"from\": [0, 0, 0], \"to\": [10, 0, 0]},\n"
            "           {\"line\": 3, \"kind\": \"ccw\", \"from\": [10, 0, 0], \"to\": [-10, 0, 0], \"center\": [0, 0, 0], "
            "\"plane\": \"xy\"},\n"
            "           {\"line\": 4, \"kind\": \"feed\", \"from\": [-10, 0, 0], \"to\": [-10, -5, 0]}],\n"
            " \"problems\": [{\"line\": 5, \"text\": \"G76\"}],\n"
            " \"bounds\": {\"min\": [-10, -5, 0], \"max\": [10, 10, 0]},\n"
            " \"length\": {\"rapid\": 10, \"feed\": 36.41592654}}\n");
}

TEST_F(ToolpathCli, LatheTakesDiametersAndDrawsAnSvg) {
  write("lathe.nc", "G0 X40 Z5\nG1 Z-20\nG2 X60 Z-30 R10\n");
  ASSERT_EQ(cli("toolpath --lathe lathe.nc"), 0) << err;
  EXPECT_NE(out.find("\"to\": [20, 0, 5]"), std::string::npos) << out;
  EXPECT_NE(out.find("\"kind\": \"cw\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"plane\": \"xz\""), std::string::npos) << out;
  ASSERT_EQ(cli("toolpath --lathe --svg lathe.nc path.svg"), 0) << err;
  std::ifstream svg(dir.file("path.svg"));
  const std::string picture((std::istreambuf_iterator<char>(svg)), std::istreambuf_iterator<char>());
  EXPECT_EQ(picture.rfind("<svg ", 0), 0u);
  EXPECT_NE(picture.find("stroke-dasharray"), std::string::npos);  // the rapid
  EXPECT_NE(picture.find(" A 10 10 "), std::string::npos);         // the arc as an arc
  EXPECT_NE(picture.find("мм</text>"), std::string::npos);         // the scale
}

TEST_F(ToolpathCli, ExitCodes) {
  EXPECT_EQ(cli("toolpath missing.nc"), 1);
  EXPECT_EQ(cli("toolpath"), 2);
  EXPECT_EQ(cli("toolpath --lathe --mill a.nc"), 2);
  EXPECT_EQ(cli("toolpath --json --svg a.nc"), 2);
}
