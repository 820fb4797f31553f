// The program kalvort-urvell-sim itself: options, image file kept between runs, a fault option.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "support/TempDir.h"
#include "transport/LANDeviceUnit.h"

namespace kalvort {
namespace {

using namespace std::chrono_literals;

// Runs the simulator with `args`; returns its pid once it answers, or -1 when it exited first
// (its exit status in `status`).
pid_t startProgram(const std::vector<std::string> &args, int *status) {
  int out[2];
  if (::pipe(out) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::close(out[0]);
    ::close(out[1]);
    std::vector<char *> argv{const_cast<char *>(KALVORT_URVELL_SIM)};
    for (const auto &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  std::string line;
  char c;
  while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
  ::close(out[0]);
  if (line.find("answering on") != std::string::npos) return pid;
  ::waitpid(pid, status, 0);
  return -1;
}

int stopProgram(pid_t pid) {
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int runToExit(const std::vector<std::string> &args) {
  int status = 0;
  const pid_t pid = startProgram(args, &status);
  if (pid > 0) {
    stopProgram(pid);
    return -2;  // it started although it should not have
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Starts the program on the first free 127.0.B.N address.
pid_t startOnFreeAddress(std::vector<std::string> args, std::string *address) {
  const int base = 1 + static_cast<int>(::getpid() % 200);
  for (int n = 2; n < 250; ++n) {
    *address = "127.0." + std::to_string(base) + "." + std::to_string(n);
    std::vector<std::string> full{"--address", *address};
    full.insert(full.end(), args.begin(), args.end());
    int status = 0;
    const pid_t pid = startProgram(full, &status);
    if (pid > 0) return pid;
  }
  return -1;
}

TEST(SimProgram, RejectsBadOptionsAndForeignAddresses) {
  setenv("KALVORT_LOOPBACK_ONLY", "1", 1);
  EXPECT_EQ(runToExit({"--bogus"}), 2);
  EXPECT_EQ(runToExit({"--module", "smp", "9"}), 2);
  EXPECT_EQ(runToExit({"--drop", "101"}), 2);
  EXPECT_EQ(runToExit({"--port"}), 2);
  EXPECT_EQ(runToExit({"--address", "127.0.0.300"}), 2);
  EXPECT_EQ(runToExit({"--address", "127.1"}), 2);
  EXPECT_EQ(runToExit({"--image", "/nonexistent-kalvort-folder/smp.bin"}), 2);
  EXPECT_EQ(runToExit({"--wmp-image", "/nonexistent-kalvort-folder/wmp.bin"}), 2);
  EXPECT_EQ(runToExit({"--address", "10.1.2.3"}), 1);
  EXPECT_EQ(runToExit({"--address", "10.1.2.3", "--allow-any-address"}), 1)
      << "refused while KALVORT_LOOPBACK_ONLY is set";
}

class Waiter {
 public:
  void done(TDeviceError e) {
    std::lock_guard lock(m_);
    errors_.push_back(e);
    cv_.notify_all();
  }
  TDeviceError wait() {
    std::unique_lock lock(m_);
    cv_.wait_for(lock, 20s, [&] { return !errors_.empty(); });
    const TDeviceError e = errors_.empty() ? deOperationTimeout : errors_.front();
    errors_.clear();
    return e;
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  std::vector<TDeviceError> errors_;
};

TEST(SimProgram, ModuleBytesSurviveARestartThroughTheImageFile) {
  setenv("KALVORT_LOOPBACK_ONLY", "1", 1);
  test::TempDir dir;
  const std::string file = dir.file("smp.bin").string();
  std::string address;
  pid_t pid = startOnFreeAddress({"--module", "smp", "1", "--image", file}, &address);
  ASSERT_GT(pid, 0);

  std::string data(1000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 13 + 1);
  Waiter waiter;
  {
    TLANDeviceClass device(address, 30000);
    device.SetDevSubtype(dstSMP);
    device.OnBurnImageAction = [&](TDeviceClass *, TDeviceError e) { waiter.done(e); };
    ASSERT_TRUE(device.DeviceOpen());
    ASSERT_EQ(device.DeviceState().MP_page_all, 512);
    std::stringstream in(data);
    device.SetImageStream(&in);
    ASSERT_TRUE(device.StartBurnImage());
    EXPECT_EQ(waiter.wait(), deOK);
    device.SetImageStream(nullptr);
    device.DeviceClose();
  }
  EXPECT_EQ(stopProgram(pid), 0);
  const std::string saved = test::readFileBytes(file);
  ASSERT_EQ(saved.size(), 135168u);
  EXPECT_EQ(saved.substr(0, 1000), data);
  EXPECT_EQ(saved[1000], '\xFF');

  // A second run starts from the file; with --refuse 100 nothing but the claim works.
  pid = startOnFreeAddress({"--module", "smp", "1", "--image", file}, &address);
  ASSERT_GT(pid, 0);
  {
    TLANDeviceClass device(address, 30000);
    device.SetDevSubtype(dstSMP);
    device.OnReadImageAction = [&](TDeviceClass *, TDeviceError e) { waiter.done(e); };
    ASSERT_TRUE(device.DeviceOpen());
    ASSERT_TRUE(device.DeviceState().MP_connected);
    std::stringstream out;
    device.SetImageStream(&out);
    ASSERT_TRUE(device.StartReadImage());
    EXPECT_EQ(waiter.wait(), deOK);
    EXPECT_EQ(out.str(), saved);
    device.SetImageStream(nullptr);
    device.DeviceClose();
  }
  EXPECT_EQ(stopProgram(pid), 0);

  pid = startOnFreeAddress({"--refuse", "100"}, &address);
  ASSERT_GT(pid, 0);
  {
    TLANDeviceClass device(address, 30000);
    EXPECT_FALSE(device.DeviceOpen()) << "the opening stop is refused";
  }
  EXPECT_EQ(stopProgram(pid), 0);
}

}  // namespace
}  // namespace kalvort
