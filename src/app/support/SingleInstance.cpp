#include "support/SingleInstance.h"

#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

namespace kalvort::app {

namespace {

// A request is one line: "show" or "open <absolute path>", the path UTF-8 and percent-encoded so
// that any name (a line feed in it too) arrives exactly.
constexpr qint64 kMaxRequest = 64 * 1024;

}  // namespace

bool IsPrivateDirectory(const QString &dir) {
  struct stat st {};
  if (::lstat(QFile::encodeName(dir).constData(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

QString InstanceDirectory() {
  QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (dir.isEmpty()) {
    dir = QDir::tempPath() + QStringLiteral("/kalvort-%1").arg(::getuid());
    ::mkdir(QFile::encodeName(dir).constData(), 0700);
  }
  return dir;
}

SingleInstance::SingleInstance(const QString &dir, QObject *parent)
    : QObject(parent), dir_(dir.isEmpty() ? InstanceDirectory() : dir) {
  connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::Accept);
}

SingleInstance::~SingleInstance() {
  server_.close();
  if (lock_) lock_->unlock();
}

QString SingleInstance::LockPath() const { return dir_ + QStringLiteral("/kalvort.lock"); }
QString SingleInstance::ServerName() const { return dir_ + QStringLiteral("/kalvort.socket"); }

bool SingleInstance::Acquire() {
  // Another user could have made the folder first and listen in it: then this instance runs alone,
  // neither forwarding nor taking requests.
  if (!IsPrivateDirectory(dir_)) {
    qWarning("kalvort: %s is not a private folder of this user; running without the single-instance check",
             qPrintable(dir_));
    return true;
  }
  lock_ = std::make_unique<QLockFile>(LockPath());
  // A lock left by a process that no longer runs is taken over at once.
  lock_->setStaleLockTime(0);
  if (!lock_->tryLock(0)) {
    lock_.reset();
    return false;
  }
  // A socket file left by a crashed instance would refuse the listen.
  QLocalServer::removeServer(ServerName());
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_.listen(ServerName())) {
    qWarning("kalvort: cannot listen for later starts: %s", qPrintable(server_.errorString()));
  }
  return true;
}

bool SingleInstance::Forward(const QString &file, int timeoutMs) {
  const QByteArray request =
      file.isEmpty() ? QByteArrayLiteral("show\n")
                     : QByteArrayLiteral("open ") + QFileInfo(file).absoluteFilePath().toUtf8().toPercentEncoding() + '\n';
  // The running instance may still be starting: try again for a while.
  QDeadlineTimer deadline(timeoutMs);
  while (!deadline.hasExpired()) {
    QLocalSocket socket;
    socket.connectToServer(ServerName());
    if (socket.waitForConnected(static_cast<int>(std::min<qint64>(deadline.remainingTime(), 500)))) {
      socket.write(request);
      if (!socket.waitForBytesWritten(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)))) return false;
      // The running instance answers once it has taken the request.
      return socket.waitForReadyRead(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1))) &&
             socket.readAll().startsWith("ok");
    }
    QThread::msleep(50);
  }
  return false;
}

void SingleInstance::Accept() {
  while (QLocalSocket *socket = server_.nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      if (socket->bytesAvailable() > kMaxRequest) {
        socket->abort();
        return;
      }
      if (!socket->canReadLine()) return;
      const QByteArray line = socket->readLine(kMaxRequest).trimmed();
      QString file;
      if (line.startsWith("open ")) file = QString::fromUtf8(QByteArray::fromPercentEncoding(line.mid(5)));
      else if (line != "show") {
        socket->abort();
        return;
      }
      socket->write("ok\n");
      socket->flush();
      // Acted on from a queued call: what it does may ask the user, and a question's event loop
      // inside this handler would see the client disconnect and the socket deleted under it.
      QMetaObject::invokeMethod(this, [this, file] { emit activationRequested(file); }, Qt::QueuedConnection);
    });
  }
}

}  // namespace kalvort::app
