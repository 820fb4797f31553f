#pragma once
// The application's style with the tool bars' extension arrows read when they are first shown.

#include <QProxyStyle>

namespace kalvort::app {

// Qt's style reads the arrow of a tool bar's extension button (the "more commands" button) from an
// image file as each tool bar is made, and the first image read loads every image format plug-in:
// milliseconds before the first paint for a button that shows only on a window too narrow for its
// tool bars. This style hands out the same arrow read when it is first drawn; all else is the
// application's default style.
class DeferredIconStyle : public QProxyStyle {
 public:
  // Takes `base` over (the application's style as Qt chose it).
  explicit DeferredIconStyle(QStyle *base) : QProxyStyle(base) {}

  QIcon standardIcon(StandardPixmap pixmap, const QStyleOption *option = nullptr,
                     const QWidget *widget = nullptr) const override;
};

}  // namespace kalvort::app
