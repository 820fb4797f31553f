// One running instance: a later start of the program hands its request (and its file) to the
// running one and ends at once, without a window of its own.

#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "support/AppTest.h"
#include "support/SingleInstance.h"

using kalvort::app::SingleInstance;

namespace {

// Starts the real program with `args` and waits for it to end.
struct Run {
  int exitCode = -1;
  qint64 ms = 0;
  QByteArray output;
};

Run RunProgram(const QStringList &args) {
  QProcess p;
  p.setProcessChannelMode(QProcess::MergedChannels);
  QElapsedTimer timer;
  timer.start();
  p.start(QStringLiteral(KALVORT_APP_PATH), args);
  // The running instance is this test: its event loop must turn for the request to be answered.
  kalvort::apptest::WaitFor([&] { return p.state() == QProcess::NotRunning; }, 20000);
  Run r;
  r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  r.ms = timer.elapsed();
  r.output = p.readAll();
  return r;
}

}  // namespace

class SingleInstanceTest : public QObject {
  Q_OBJECT

 private slots:
  void laterStartsHandOverAndEnd() {
    SingleInstance first;
    QVERIFY(first.Acquire());
    QSignalSpy requests(&first, &SingleInstance::activationRequested);

    Run plain = RunProgram({});
    QCOMPARE(plain.exitCode, 0);
    QCOMPARE(requests.count(), 1);
    QCOMPARE(requests.takeFirst().at(0).toString(), QString());

    // A relative file name reaches the running instance as an absolute path.
    QTemporaryDir dir;
    QProcess p;
    Run withFile;
    {
      const QString old = QDir::currentPath();
      QDir::setCurrent(dir.path());
      withFile = RunProgram({QStringLiteral("цех 1.kvt")});
      QDir::setCurrent(old);
    }
    QCOMPARE(withFile.exitCode, 0);
    QCOMPARE(requests.count(), 1);
    QCOMPARE(requests.takeFirst().at(0).toString(), QDir(dir.path()).filePath(QStringLiteral("цех 1.kvt")));
    // The later start creates no window: it never got as far as painting one.
    QVERIFY2(!withFile.output.contains("propagateSizeHints"), withFile.output.constData());
  }

  void secondGuardIsRefusedUntilTheFirstEnds() {
    auto first = std::make_unique<SingleInstance>();
    QVERIFY(first->Acquire());
    SingleInstance second;
    QVERIFY(!second.Acquire());
    first.reset();
    QVERIFY(second.Acquire());
  }

  void garbageOnTheSocketIsIgnored() {
    SingleInstance first;
    QVERIFY(first.Acquire());
    QSignalSpy requests(&first, &SingleInstance::activationRequested);
    QLocalSocket socket;
    socket.connectToServer(first.ServerName());
    QVERIFY(socket.waitForConnected(2000));
    socket.write("format c:\n");
    QVERIFY(socket.waitForBytesWritten(2000));
    QVERIFY(kalvort::apptest::WaitFor([&] { return socket.state() == QLocalSocket::UnconnectedState; }, 3000));
    QCOMPARE(requests.count(), 0);
  }

  // The request is acted on after the socket handler returned: a question shown for it (an event
  // loop of its own) must not see the socket deleted under it when the client is gone.
  void aRequestIsActedOnAfterTheClientLeft() {
    SingleInstance first;
    QVERIFY(first.Acquire());
    int seen = 0;
    QString path;
    connect(&first, &SingleInstance::activationRequested, this, [&](const QString &file) {
      QTest::qWait(200);  // stands for the question's own event loop
      path = file;
      ++seen;
    });
    {
      QLocalSocket socket;
      socket.connectToServer(first.ServerName());
      QVERIFY(socket.waitForConnected(2000));
      socket.write("open /tmp/a%0Ab.kvt\n");
      QVERIFY(socket.waitForBytesWritten(2000));
      QVERIFY(kalvort::apptest::WaitFor([&] { return socket.bytesAvailable() > 0; }, 3000));
      socket.abort();
    }  // gone before the request is handled
    QVERIFY(kalvort::apptest::WaitFor([&] { return seen == 1; }, 3000));
    QCOMPARE(path, QStringLiteral("/tmp/a\nb.kvt"));
  }

  // Any name arrives exactly, a line feed in it too.
  void aNameWithALineFeedArrivesWhole() {
    SingleInstance first;
    QVERIFY(first.Acquire());
    QSignalSpy requests(&first, &SingleInstance::activationRequested);
    const QString name = QDir::tempPath() + QStringLiteral("/x\ny %.kvt");
    QCOMPARE(RunProgram({name}).exitCode, 0);
    QVERIFY(kalvort::apptest::WaitFor([&] { return requests.count() == 1; }, 3000));
    QCOMPARE(requests.takeFirst().at(0).toString(), name);
  }

  // A folder that others may enter (or that is a link) is not used: the instance runs alone.
  void onlyAPrivateFolderHoldsTheLock() {
    QTemporaryDir dir;
    const QString open = dir.filePath(QStringLiteral("open")), own = dir.filePath(QStringLiteral("own")),
                  link = dir.filePath(QStringLiteral("link"));
    QVERIFY(QDir().mkdir(open) && QDir().mkdir(own));
    QVERIFY(QFile::setPermissions(open, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                                            QFile::ExeOther | QFile::WriteOther));
    QVERIFY(QFile::setPermissions(own, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QVERIFY(QFile::link(own, link));
    QVERIFY(kalvort::app::IsPrivateDirectory(own));
    QVERIFY(!kalvort::app::IsPrivateDirectory(open));
    QVERIFY(!kalvort::app::IsPrivateDirectory(link));

    SingleInstance alone(open);
    QVERIFY(alone.Acquire());
    QVERIFY(!QFile::exists(alone.LockPath()));
    QVERIFY(!QFile::exists(alone.ServerName()));
  }
};

KALVORT_APP_TEST_MAIN(SingleInstanceTest)
#include "SingleInstanceTest.moc"
