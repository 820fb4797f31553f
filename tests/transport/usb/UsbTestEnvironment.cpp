// Every USB test runs with a private data directory and module file, and without a real driver,
// so nothing touches the user's ~/.local/share/kalvort.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "support/TempDir.h"

namespace {

class UsbTestEnvironment : public ::testing::Environment {
 public:
  UsbTestEnvironment() {
    setenv("XDG_DATA_HOME", (dir_.path() / "xdg").c_str(), 1);
    setenv("KALVORT_VIRTUAL_MODULE", dir_.file("default-module.bin").c_str(), 1);
    unsetenv("KALVORT_VIRTUAL_KIND");
    unsetenv("KALVORT_VIRTUAL_FIRMWARE");
    unsetenv("KALVORT_USB_DRIVER");
    unsetenv("KALVORT_USB_ID");
  }

 private:
  kalvort::test::TempDir dir_;
};

[[maybe_unused]] ::testing::Environment *const g_environment =
    ::testing::AddGlobalTestEnvironment(new UsbTestEnvironment);

}  // namespace
