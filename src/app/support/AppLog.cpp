#include "support/AppLog.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>

#include "base/Log.h"

namespace kalvort::app {

namespace {

constexpr qint64 kMaxLogBytes = qint64{1} << 20;

struct LogFile {
  std::mutex lock;
  std::FILE *file = nullptr;
  QString path;
};

LogFile &Log() {
  static LogFile log;
  return log;
}

QString StateDirectory() {
  QString base = qEnvironmentVariable("XDG_STATE_HOME");
  if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.local/state");
  return base + QStringLiteral("/kalvort");
}

}  // namespace

void OpenAppLog() {
  LogFile &log = Log();
  {
    std::lock_guard<std::mutex> guard(log.lock);
    if (!log.file) {
      const QString dir = StateDirectory();
      const QString path = dir + QStringLiteral("/kalvort.log");
      QDir().mkpath(dir);
      const bool restart = QFileInfo(path).size() > kMaxLogBytes;
      // Never through a link: the log is the user's own file in the user's own folder.
      const int fd = ::open(QFile::encodeName(path).constData(),
                            O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | (restart ? O_TRUNC : O_APPEND), 0600);
      struct stat st {};
      if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        log.file = nullptr;
      } else {
        log.file = fd >= 0 ? ::fdopen(fd, restart ? "w" : "a") : nullptr;
        if (fd >= 0 && !log.file) ::close(fd);
      }
      log.path = log.file ? path : QString();
    }
  }
  SetLogSink([](LogLevel level, std::string_view text) {
    if (level != LogLevel::Warning) return;
    qWarning("kalvort: %.*s", static_cast<int>(text.size()), text.data());
    LogFile &log = Log();
    std::lock_guard<std::mutex> guard(log.lock);
    if (!log.file) return;
    const QByteArray stamp = QDateTime::currentDateTime().toString(Qt::ISODate).toUtf8();
    std::fprintf(log.file, "%s %.*s\n", stamp.constData(), static_cast<int>(text.size()), text.data());
    std::fflush(log.file);
  });
}

void CloseAppLog() {
  SetLogSink({});
  LogFile &log = Log();
  std::lock_guard<std::mutex> guard(log.lock);
  if (log.file) std::fclose(log.file);
  log.file = nullptr;
  log.path.clear();
}

QString AppLogPath() {
  LogFile &log = Log();
  std::lock_guard<std::mutex> guard(log.lock);
  return log.path;
}

}  // namespace kalvort::app
