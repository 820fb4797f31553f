// The window at its default size: every command reachable, the catalog's date whole, a whole
// line of the hex view; and the default size picked from the screen.

#include <QAction>
#include <QComboBox>
#include <QEnterEvent>
#include <QHeaderView>
#include <QLabel>
#include <QStatusBar>
#include <QTableView>
#include <QTextBlock>
#include <QToolBar>
#include <QToolButton>

#include "support/AppTest.h"
#include "support/EditorWidgets.h"
#include "support/ScriptedDialogs.h"
#include "widgets/CodeEditor.h"
#include "window/CatalogModel.h"
#include "window/CatalogPane.h"
#include "window/MainWindow.h"
#include "window/StatusLine.h"
#include "workflow/DeviceSession.h"

using namespace kalvort;

class WindowLayoutTest : public QObject {
  Q_OBJECT

 private slots:
  void everythingFitsAt1024x700() {
    ScriptedDialogs dialogs;
    MainWindow window(dialogs);
    QVERIFY(apptest::WaitForDeviceStatus(window));
    window.resize(1024, 700);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.size(), QSize(1024, 700));

    // The action selector sits in its tool bar, not in the bar's overflow menu.
    QComboBox *selector = apptest::ActionSelectorOf(window);
    QToolBar *editBar = apptest::ToolBarNamed(window, QStringLiteral("Правка"));
    QVERIFY(selector->isVisible());
    const QRect inBar(selector->mapTo(editBar, QPoint(0, 0)), selector->size());
    QVERIFY(editBar->rect().contains(inBar));
    QVERIFY(editBar->widgetForAction(apptest::ActionNamed(window, "EditorRunAction"))->isVisible());

    // A date in the catalog list is shown whole, and the list shows every column.
    apptest::AddProgram(window, 32);
    window.catalogPane().refresh();
    QTableView *grid = window.findChild<QTableView *>(QStringLiteral("CatalogTable"));
    const int date = window.catalogPane().model().columnCount() - 1;
    const QString text = window.catalogPane().model().cellText(0, date);
    QVERIFY(!text.isEmpty());
    QVERIFY(grid->columnWidth(date) >= grid->fontMetrics().horizontalAdvance(text) + 6);
    QVERIFY(grid->horizontalHeader()->length() <= grid->viewport()->width());

    // A whole 16-byte line of the hex view.
    apptest::ActionNamed(window, "HexViewAction")->setChecked(true);
    window.catalogPane().selectRows(0, 0, true);
    const CodeEditor *editor = apptest::EditorOf(window);
    const QString line = editor->document()->firstBlock().text();
    QCOMPARE(line.size(), 6 + 2 + 16 * 3);
    const int needed = editor->fontMetrics().horizontalAdvance(line) +
                       2 * int(editor->document()->documentMargin());
    QVERIFY2(needed <= editor->viewport()->width(),
             qPrintable(QStringLiteral("%1 > %2").arg(needed).arg(editor->viewport()->width())));
    apptest::ActionNamed(window, "HexViewAction")->setChecked(false);
  }

  // Pointing at a tool button or a menu item shows its hint as a tool tip; the status line keeps
  // its four panels (a status tip would replace them while the pointer stays).
  void hintsKeepTheStatusPanels() {
    ScriptedDialogs dialogs;
    MainWindow window(dialogs);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    for (QToolButton *button : window.findChildren<QToolButton *>()) {
      QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
      QApplication::sendEvent(button, &enter);
      QVERIFY2(window.statusLine().currentMessage().isEmpty(), qPrintable(button->objectName()));
    }
    for (QAction *action : window.findChildren<QAction *>()) {
      action->showStatusText(&window);  // what a menu does for its highlighted item
      QVERIFY2(window.statusLine().currentMessage().isEmpty(), qPrintable(action->objectName()));
    }
    QVERIFY(window.statusLine().panelsVisible());
  }

  // Without a stored size the window takes three quarters of the screen, at least 1024 x 700 as far
  // as the screen allows.
  void defaultSizeComesFromTheScreen_data() {
    QTest::addColumn<QSize>("available");
    QTest::addColumn<QSize>("size");
    QTest::newRow("large") << QSize(1920, 1040) << QSize(1440, 780);
    QTest::newRow("laptop") << QSize(1280, 760) << QSize(1024, 700);
    QTest::newRow("low") << QSize(1300, 650) << QSize(1024, 650);
    QTest::newRow("small") << QSize(800, 600) << QSize(800, 600);
  }
  void defaultSizeComesFromTheScreen() {
    QFETCH(QSize, available);
    QFETCH(QSize, size);
    QCOMPARE(MainWindow::DefaultWindowSize(available), size);
  }
};

KALVORT_APP_TEST_MAIN(WindowLayoutTest)
#include "WindowLayoutTest.moc"
