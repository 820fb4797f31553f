// Start of the desktop program against a Qt Widgets hello-world: wall time from starting the
// process to its first painted window (the window and its children), for kalvort (the virtual
// programmer, temporary XDG folders, no settings file) and for bench_hello_window
// (a label in a QMainWindow), run in turns RUNS times each after one uncounted run of each. Prints
// the medians and the ratio kalvort / hello-world; the goal is at most 1.5.
//
// Usage: bench_gui_start [RUNS]   (default 15; QT_QPA_PLATFORM=offscreen unless set otherwise)

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

extern char **environ;

namespace {

constexpr int kTimeoutMs = 20000;

// Starts `program`, waits for the line "painted" on its standard output and for its end; returns the
// time to the line in ms, or a negative value when it did not come.
double TimeToFirstPaint(const char *program) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  // The offscreen platform's warnings would bury the figures.
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  char *argv[] = {const_cast<char *>(program), nullptr};
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (spawned != 0) {
    ::close(out[0]);
    std::fprintf(stderr, "cannot start %s: %s\n", program, std::strerror(spawned));
    return -1;
  }
  std::string seen;
  double ms = -1;
  while (ms < 0) {
    pollfd fd{out[0], POLLIN, 0};
    if (::poll(&fd, 1, kTimeoutMs) <= 0) break;
    char buffer[256];
    const ssize_t n = ::read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    seen.append(buffer, static_cast<size_t>(n));
    if (seen.find("painted\n") != std::string::npos)
      ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  }
  if (ms < 0) {
    std::fprintf(stderr, "%s: no first paint reported\n", program);
    ::kill(pid, SIGKILL);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(out[0]);
  return ms;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The program's own folders, private to this run of the benchmark.
bool UseTemporaryFolders(std::string *root) {
  char pattern[] = "/tmp/kalvort-start-XXXXXX";
  if (!::mkdtemp(pattern)) return false;
  *root = pattern;
  for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR"}) {
    const std::string dir = *root + "/" + name;
    if (::mkdir(dir.c_str(), 0700) != 0) return false;
    ::setenv(name, dir.c_str(), 1);
  }
  for (const char *name : {"KALVORT_CONFIG", "KALVORT_VIRTUAL_MODULE", "KALVORT_VIRTUAL_KIND", "KALVORT_USB_DRIVER"})
    ::unsetenv(name);
  ::setenv("KALVORT_LOOPBACK_ONLY", "1", 1);
  ::setenv("KALVORT_QUIT_AFTER_FIRST_PAINT", "1", 1);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  std::string root;
  if (!UseTemporaryFolders(&root)) {
    std::fprintf(stderr, "cannot make temporary folders\n");
    return 1;
  }
  // One uncounted start of each: the files are in the page cache, the virtual module file exists.
  if (TimeToFirstPaint(KALVORT_PATH) < 0 || TimeToFirstPaint(HELLO_WINDOW_PATH) < 0) return 1;
  std::vector<double> program, hello;
  for (int i = 0; i < runs; ++i) {
    // In turns, each first every other time, so that a disturbance of the machine hits both alike.
    const bool program_first = i % 2 == 0;
    const double a = TimeToFirstPaint(program_first ? KALVORT_PATH : HELLO_WINDOW_PATH);
    const double b = TimeToFirstPaint(program_first ? HELLO_WINDOW_PATH : KALVORT_PATH);
    if (a < 0 || b < 0) return 1;
    program.push_back(program_first ? a : b);
    hello.push_back(program_first ? b : a);
  }
  const double program_ms = Median(program), hello_ms = Median(hello);
  std::printf("start to first painted window, median of %d runs (min..max):\n", runs);
  std::printf("  kalvort      %7.1f ms (%.1f..%.1f)\n", program_ms, *std::min_element(program.begin(), program.end()),
              *std::max_element(program.begin(), program.end()));
  std::printf("  hello-world  %7.1f ms (%.1f..%.1f)\n", hello_ms, *std::min_element(hello.begin(), hello.end()),
              *std::max_element(hello.begin(), hello.end()));
  std::printf("  ratio %.2f (goal at most 1.50)\n", program_ms / hello_ms);
  std::string remove = "rm -rf '" + root + "'";
  return std::system(remove.c_str()) == 0 ? 0 : 1;
}
