#pragma once
// One running instance per user: a lock file in the runtime directory, plus a local server on
// which the running instance takes requests from later starts ("show yourself", "open FILE").

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

namespace kalvort::app {

class SingleInstance : public QObject {
  Q_OBJECT

 public:
  // `dir`: where the lock and the socket live (the runtime directory by default).
  explicit SingleInstance(const QString &dir = {}, QObject *parent = nullptr);
  ~SingleInstance() override;

  // True when this process is now the running instance (its server listens). False when another
  // instance holds the lock: then Forward() hands the request over.
  bool Acquire();
  // Sends the request to the running instance: `file` empty means just "show yourself". True when
  // the running instance took it within `timeoutMs`.
  bool Forward(const QString &file, int timeoutMs = 3000);

  QString LockPath() const;
  QString ServerName() const;

 signals:
  // A later start asked this instance to come forward, and to open `file` when it is not empty.
  void activationRequested(const QString &file);

 private:
  void Accept();

  QString dir_;
  std::unique_ptr<QLockFile> lock_;
  QLocalServer server_;
};

// The runtime directory for the lock and the socket: $XDG_RUNTIME_DIR, else a folder of the user's
// own under the temporary directory.
QString InstanceDirectory();
// True when `dir` is a real folder (not a link) owned by this user that nobody else may enter.
bool IsPrivateDirectory(const QString &dir);

}  // namespace kalvort::app
