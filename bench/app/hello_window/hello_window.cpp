// The yardstick of bench_gui_start: the smallest Qt Widgets program with a main window (a label in
// a QMainWindow). Like kalvort with KALVORT_QUIT_AFTER_FIRST_PAINT set, it writes "painted" to
// standard output once its window has been painted for the first time, then quits.

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QMainWindow>

#include <cstdio>

namespace {

class HelloWindow : public QMainWindow {
 public:
  HelloWindow() { setCentralWidget(new QLabel(QStringLiteral("Hello"), this)); }

 protected:
  bool event(QEvent *event) override {
    const bool result = QMainWindow::event(event);
    if (event->type() == QEvent::Paint && !painted_) {
      painted_ = true;
      // Queued: the children are painted in the same pass, after the window itself.
      QMetaObject::invokeMethod(
          this,
          [] {
            std::fputs("painted\n", stdout);
            std::fflush(stdout);
            QCoreApplication::quit();
          },
          Qt::QueuedConnection);
    }
    return result;
  }

 private:
  bool painted_ = false;
};

}  // namespace

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  HelloWindow window;
  window.show();
  return QApplication::exec();
}
