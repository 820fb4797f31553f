// Program entry: one instance per user, Qt's Russian texts, the main window.

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

#include <cstdio>

#include "support/AppIcons.h"
#include "support/DeferredIconStyle.h"
#include "support/GuardedApplication.h"
#include "support/SingleInstance.h"
#include "support/UserDialogs.h"
#include "window/MainWindow.h"

int main(int argc, char *argv[]) {
  kalvort::app::GuardedApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("kalvort"));
  QApplication::setApplicationVersion(QStringLiteral(KALVORT_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("kalvort"));
  QApplication::setWindowIcon(kalvort::app::ProgramIcon());
  // The style Qt chose, with the tool bars' extension arrows read only when drawn.
  QApplication::setStyle(new kalvort::app::DeferredIconStyle(QApplication::style()));

  const QStringList args = QApplication::arguments();
  const QString file = args.size() > 1 ? args.at(1) : QString();

  kalvort::app::SingleInstance instance;
  if (!instance.Acquire()) {
    // Another instance runs: hand the request over and end without any window.
    instance.Forward(file);
    return 0;
  }

  // Standard buttons and dialogs of Qt in Russian ("Да", "Нет", "Отмена").
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  QTranslator qtTranslator;
  if (qtTranslator.load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qtTranslator);
  }

  QtDialogs dialogs;
  MainWindow window(dialogs);
  QObject::connect(&instance, &kalvort::app::SingleInstance::activationRequested, &window,
                   [&window](const QString &path) {
                     window.BringToFront();
                     if (!path.isEmpty()) window.OpenProjectFileWhenReady(path);
                   });
  // Start-up measurement (bench_gui_start): "painted" on standard output once the window and its
  // children have been painted, then the program ends.
  if (qEnvironmentVariableIsSet("KALVORT_QUIT_AFTER_FIRST_PAINT")) {
    QObject::connect(&window, &MainWindow::firstPainted, &window, [] {
      std::fputs("painted\n", stdout);
      std::fflush(stdout);
      QCoreApplication::quit();
    }, Qt::QueuedConnection);
  }
  window.show();
  if (!file.isEmpty()) window.OpenProjectFileWhenReady(file);
  return QApplication::exec();
}
