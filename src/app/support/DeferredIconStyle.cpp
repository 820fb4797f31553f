#include "support/DeferredIconStyle.h"

#include <QIconEngine>
#include <QPainter>
#include <QPointer>

namespace kalvort::app {

namespace {

// The base style's icon, asked for when a size of it is first wanted.
class DeferredIconEngine : public QIconEngine {
 public:
  DeferredIconEngine(QStyle *style, QStyle::StandardPixmap pixmap) : style_(style), pixmap_(pixmap) {}

  QIconEngine *clone() const override { return new DeferredIconEngine(*this); }
  bool isNull() override { return false; }
  QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override {
    return icon().actualSize(size, mode, state);
  }
  QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
    return icon().availableSizes(mode, state);
  }
  QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override {
    return icon().pixmap(size, mode, state);
  }
  void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override {
    icon().paint(painter, rect, Qt::AlignCenter, mode, state);
  }

 private:
  const QIcon &icon() {
    if (!loaded_ && style_) {
      icon_ = style_->standardIcon(pixmap_);
      loaded_ = true;
    }
    return icon_;
  }

  QPointer<QStyle> style_;
  QStyle::StandardPixmap pixmap_;
  QIcon icon_;
  bool loaded_ = false;
};

}  // namespace

QIcon DeferredIconStyle::standardIcon(StandardPixmap pixmap, const QStyleOption *option, const QWidget *widget) const {
  if (pixmap == SP_ToolBarHorizontalExtensionButton || pixmap == SP_ToolBarVerticalExtensionButton)
    return QIcon(new DeferredIconEngine(baseStyle(), pixmap));
  return QProxyStyle::standardIcon(pixmap, option, widget);
}

}  // namespace kalvort::app
