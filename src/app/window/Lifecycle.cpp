// Start-up and shutdown of the main window: initialisation, the settings file, the caption, the
// close question, "Выход" and "О программе".

#include <QAction>
#include <QApplication>
#include <QPointer>
#include <QComboBox>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "base/Log.h"
#include "dialogs/AboutDialog.h"
#include "project/Settings.h"
#include "support/AppLog.h"
#include "window/DeviceController.h"
#include "support/UserDialogs.h"
#include "window/EditorPane.h"
#include "window/MainWindow.h"
#include "window/ProgramEditing.h"
#include "window/ProjectCommands.h"

QString MainWindow::TitleLine() {
  return QStringLiteral("Калворт v%1").arg(QStringLiteral(KALVORT_VERSION));
}

void MainWindow::UpdateCaption() { setWindowTitle(TitleLine() + QStringLiteral(" - ") + document_.fileName()); }

void MainWindow::NameToolButtons() {
  // Tool buttons show only images: their accessible names are their commands' captions.
  for (QToolBar *bar : findChildren<QToolBar *>()) {
    for (QAction *action : bar->actions()) {
      if (auto *button = qobject_cast<QToolButton *>(bar->widgetForAction(action))) {
        button->setAccessibleName(action->iconText());
        button->setAccessibleDescription(action->toolTip());
      }
    }
  }
  for (QAction *action : findChildren<QAction *>()) {
    if (!action->isSeparator()) action->setProperty("accessibleName", action->iconText());
  }
}

void MainWindow::FormCreate() {
  kalvort::app::OpenAppLog();
  NetDevices.clear();
  OpenSettings();
  // Every file dialog starts in one place and remembers where a file was chosen.
  Dialogs.startFolder = [window = QPointer<MainWindow>(this)] {
    return window ? window->projectCommands().fileDialogFolder() : QString();
  };
  Dialogs.folderChosen = [window = QPointer<MainWindow>(this)](const QString &folder) {
    if (window) window->settings_.LastDir = folder.toStdU16String();
  };
  FillCombo();
  // The header row of the catalog list was written with the list; one blank data row below it.
  first_time = true;
  deviceController().startPolling();
  setAcceptDrops(true);
  editorPane().setTextChanged(false);
  document_.setChanged(false);
  document_.setFileName(QStringLiteral("Проект.kvt"));
  QApplication::setApplicationDisplayName(QString());
  UpdateCaption();

  setMinimumHeight(300);
  // The stored size, never larger than the screen: a damaged settings file must not make a window
  // of gigabytes.
  QSize size(std::max(settings_.Width, 200), std::max(settings_.Height, 300));
  if (const QScreen *screen = QGuiApplication::primaryScreen()) {
    const QRect available = screen->availableGeometry();
    if (!settings_.window_size_stored) size = DefaultWindowSize(available.size());
    size = size.boundedTo(available.size()).expandedTo(QSize(std::min(200, available.width()),
                                                              std::min(300, available.height())));
    resize(size);
    QRect frame = frameGeometry();
    frame.moveCenter(available.center());
    move(frame.topLeft());
  } else {
    resize(size.boundedTo(QSize(4096, 4096)));
  }
}

QSize MainWindow::DefaultWindowSize(const QSize &available) {
  return (available * 3 / 4).expandedTo(QSize(1024, 700)).boundedTo(available);
}

void MainWindow::OpenSettings() {
  std::string error;
  settings_ = kalvort::KalvortSettings{};
  settings_readable_ = kalvort::OpenSettings(kalvort::SettingsPath(), settings_, &error);
  if (!settings_readable_) {
    kalvort::LogMessage(kalvort::LogLevel::Warning,
                        "settings file not read, defaults in use and the file is kept as it is: " + error);
  }
  CurDeviceNum = settings_.CurDeviceNum;
  document_.options() = settings_.options;
  editorPane().setSavedAction(settings_.editor_action);
  NetDevices = settings_.NetDevices;
}

bool MainWindow::SaveSettings() {
  if (!settings_readable_) return false;
  kalvort::KalvortSettings s = settings_;
  const QRect g = geometry();
  s.Left = g.left();
  s.Top = g.top();
  s.Width = g.width();
  s.Height = g.height();
  s.CurDeviceNum = CurDeviceNum;
  s.options = document_.options();
  s.editor_action = editorPane().savedAction();
  s.NetDevices = NetDevices;
  std::string error;
  if (!kalvort::SaveSettings(kalvort::SettingsPath(), s, &error)) {
    kalvort::LogMessage(kalvort::LogLevel::Warning, "settings not written: " + error);
    return false;
  }
  return true;
}

bool MainWindow::FormClose() {
  if (!programEditing().settleUnconfirmedText()) return false;
  if (!projectCommands().saveChangesFirst()) return false;
  deviceController().shutDown();
  SaveSettings();
  NetDevices.clear();
  kalvort::app::CloseAppLog();
  closed_ = true;
  return true;
}

void MainWindow::FileExitActionExecute() { close(); }

void MainWindow::HelpAboutActionExecute() {
  TAboutForm about(TitleLine(), this);
  about.exec();
}

void MainWindow::BringToFront() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
}

void MainWindow::OpenProjectFileWhenReady(const QString &fileName) {
  // Only the latest of several quick hand-overs counts.
  pending_open_file_ = fileName;
  OpenPendingFile();
}

void MainWindow::OpenPendingFile() {
  if (pending_open_file_.isEmpty() || opening_pending_file_ || closed_) return;
  // Not while a device command uses the project, nor inside another question or dialog (its event
  // loop delivers the hand-over): try again shortly.
  if (!deviceController().hasDevice() || deviceController().commandRunning() ||
      QApplication::activeModalWidget() || !isEnabled()) {
    if (!open_retry_armed_) {
      open_retry_armed_ = true;
      QTimer::singleShot(200, this, [this] {
        open_retry_armed_ = false;
        OpenPendingFile();
      });
    }
    return;
  }
  opening_pending_file_ = true;
  // A hand-over that arrives while the question of this open is shown replaces the pending name
  // and is taken next.
  while (!pending_open_file_.isEmpty() && deviceController().hasDevice() && !deviceController().commandRunning()) {
    projectCommands().openFile(std::exchange(pending_open_file_, QString()));
  }
  opening_pending_file_ = false;
}
