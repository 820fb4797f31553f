// Tool bar images: the desktop's icon theme first, the program's own drawing otherwise, drawn at
// whatever size is asked for.

#include <QAction>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QToolBar>

#include <memory>

#include "support/AppIcons.h"
#include "support/DeferredIconStyle.h"
#include "support/AppTest.h"
#include "support/ScriptedDialogs.h"
#include "window/MainWindow.h"

using kalvort::app::DrawnIcon;
using kalvort::app::ThemeIcon;

namespace {

int OpaquePixels(const QPixmap &pixmap) {
  const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) count += qAlpha(image.pixel(x, y)) > 128;
  return count;
}

}  // namespace

class AppIconsTest : public QObject {
  Q_OBJECT

 private slots:
  void everyToolBarCommandShowsAnImage() {
    ScriptedDialogs dialogs;
    MainWindow window(dialogs);
    const QList<QToolBar *> bars = window.findChildren<QToolBar *>();
    QVERIFY(!bars.isEmpty());
    for (QToolBar *bar : bars) {
      for (QAction *action : bar->actions()) {
        // The hex view's button shows its caption "HEX" instead of an image.
        if (action->isSeparator() || action->objectName() == QLatin1String("HexViewAction") ||
            bar->widgetForAction(action)->inherits("QComboBox"))
          continue;
        QVERIFY2(OpaquePixels(action->icon().pixmap(bar->iconSize())) > 0, qPrintable(action->objectName()));
      }
    }
    QVERIFY(OpaquePixels(kalvort::app::ProgramIcon().pixmap(32)) > 0);
  }

  void drawnAtTheSizeAskedFor_data() {
    QTest::addColumn<int>("side");
    QTest::newRow("menu") << 16;
    QTest::newRow("between the listed sizes") << 20;
    QTest::newRow("above the largest listed size") << 256;
  }
  void drawnAtTheSizeAskedFor() {
    QFETCH(int, side);
    const QIcon icon = DrawnIcon(QStringLiteral("document-save"));
    const QPixmap normal = icon.pixmap(QSize(side, side));
    QCOMPARE(normal.size(), QSize(side, side));
    // The disk fills most of the grid at every size.
    QVERIFY(OpaquePixels(normal) > side * side / 2);
    QCOMPARE(icon.pixmap(QSize(side, side)).cacheKey(), normal.cacheKey());
    const QPixmap disabled = icon.pixmap(QSize(side, side), QIcon::Disabled);
    QCOMPARE(disabled.size(), normal.size());
    QVERIFY(disabled.toImage() != normal.toImage());
    QVERIFY(DrawnIcon(QStringLiteral("no-such-image")).isNull());
  }

  void themeFirstOwnDrawingOtherwise() {
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("probe/22x22/actions")));
    QFile index(root.filePath(QStringLiteral("probe/index.theme")));
    QVERIFY(index.open(QIODevice::WriteOnly));
    index.write("[Icon Theme]\nName=probe\nDirectories=22x22/actions\n\n[22x22/actions]\nSize=22\nType=Fixed\n");
    index.close();
    QImage magenta(22, 22, QImage::Format_ARGB32);
    magenta.fill(Qt::magenta);
    QVERIFY(magenta.save(root.filePath(QStringLiteral("probe/22x22/actions/document-new.png"))));

    const QStringList old_paths = QIcon::themeSearchPaths();
    const QString old_theme = QIcon::themeName();
    QIcon::setThemeSearchPaths({root.path()});
    QIcon::setThemeName(QStringLiteral("probe"));
    const QImage themed = ThemeIcon(QStringLiteral("document-new")).pixmap(22).toImage();
    const QImage fallen_back = ThemeIcon(QStringLiteral("document-open")).pixmap(22).toImage();
    QIcon::setThemeName(old_theme);
    QIcon::setThemeSearchPaths(old_paths);

    QCOMPARE(themed.pixelColor(11, 11), QColor(Qt::magenta));
    QCOMPARE(fallen_back, DrawnIcon(QStringLiteral("document-open")).pixmap(22).toImage());
  }

  // The tool bars' extension arrows are read when first drawn, and are the style's own.
  void extensionArrowsAreTheStylesOwn_data() {
    QTest::addColumn<int>("pixmap");
    QTest::newRow("horizontal") << int(QStyle::SP_ToolBarHorizontalExtensionButton);
    QTest::newRow("vertical") << int(QStyle::SP_ToolBarVerticalExtensionButton);
    QTest::newRow("any other") << int(QStyle::SP_DialogOkButton);
  }
  void extensionArrowsAreTheStylesOwn() {
    QFETCH(int, pixmap);
    const auto which = static_cast<QStyle::StandardPixmap>(pixmap);
    std::unique_ptr<QStyle> plain(QStyleFactory::create(QStringLiteral("Fusion")));
    kalvort::app::DeferredIconStyle deferred(QStyleFactory::create(QStringLiteral("Fusion")));
    const QImage expected = plain->standardIcon(which).pixmap(16).toImage();
    QVERIFY(!expected.isNull());
    QCOMPARE(deferred.standardIcon(which).pixmap(16).toImage(), expected);
  }
};

KALVORT_APP_TEST_MAIN(AppIconsTest)
#include "AppIconsTest.moc"
