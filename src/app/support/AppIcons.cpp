#include "support/AppIcons.h"

#include <QApplication>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>
#include <functional>
#include <utility>

namespace kalvort::app {

namespace {

// The program's own tool bar images, drawn on a 24 x 24 grid: plain shapes in a few colours, so
// they need no image plug-in and stay sharp at every size.
const QColor kBlue(0x3a, 0x6e, 0xa5);
const QColor kLightBlue(0xdb, 0xe9, 0xf6);
const QColor kGreen(0x2a, 0x8a, 0x2a);
const QColor kRed(0xc0, 0x39, 0x2b);
const QColor kGrey(0x55, 0x55, 0x55);
const QColor kGold(0xe8, 0xb6, 0x4c);

using Painter = std::function<void(QPainter &)>;

QPainterPath Polygon(std::initializer_list<QPointF> points) {
  QPainterPath path;
  path.addPolygon(QPolygonF(QList<QPointF>(points)));
  path.closeSubpath();
  return path;
}

void Line(QPainter &p, const QColor &color, qreal width, std::initializer_list<QLineF> lines) {
  p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  for (const QLineF &l : lines) p.drawLine(l);
}

void Fill(QPainter &p, const QColor &color, const QPainterPath &path) { p.fillPath(path, color); }

void Document(QPainter &p) {
  p.setPen(QPen(kGrey, 1.2));
  p.setBrush(Qt::white);
  p.drawPath(Polygon({{5, 2}, {15, 2}, {19, 6}, {19, 22}, {5, 22}}));
  p.drawPolyline(QPolygonF({{15, 2}, {15, 6}, {19, 6}}));
}

void Module(QPainter &p) {
  p.setPen(Qt::NoPen);
  p.setBrush(kBlue);
  p.drawRoundedRect(QRectF(3, 6, 18, 12), 1.5, 1.5);
  p.setBrush(QColor(0x9c, 0xc3, 0xe6));
  p.drawRect(QRectF(6, 9, 12, 6));
}

void ArrowDown(QPainter &p, const QColor &c, qreal dy = 0) {
  Fill(p, c, Polygon({{12, 20 + dy}, {6, 13 + dy}, {10, 13 + dy}, {10, 4 + dy}, {14, 4 + dy}, {14, 13 + dy}, {18, 13 + dy}}));
}

void ArrowUp(QPainter &p, const QColor &c, qreal dy = 0) {
  Fill(p, c, Polygon({{12, 4 + dy}, {18, 11 + dy}, {14, 11 + dy}, {14, 20 + dy}, {10, 20 + dy}, {10, 11 + dy}, {6, 11 + dy}}));
}

void Magnifier(QPainter &p) {
  p.setPen(QPen(QColor(0x33, 0x33, 0x33), 2));
  p.setBrush(kLightBlue);
  p.drawEllipse(QPointF(10, 10), 6, 6);
  Line(p, QColor(0x33, 0x33, 0x33), 3, {{14.5, 14.5, 20.5, 20.5}});
}

void Disk(QPainter &p) {
  p.setPen(Qt::NoPen);
  p.setBrush(kBlue);
  p.drawRoundedRect(QRectF(3, 3, 18, 18), 1, 1);
  p.setBrush(Qt::white);
  p.drawRect(QRectF(6, 3, 12, 7));
  p.setBrush(QColor(0xcf, 0xe0, 0xf0));
  p.drawRect(QRectF(7, 13, 10, 8));
}

void Cross(QPainter &p, const QColor &c, qreal w, qreal a = 5, qreal b = 19) {
  Line(p, c, w, {{a, a, b, b}, {b, a, a, b}});
}

using PainterTable = QHash<QString, Painter>;

// Files: new, open, save, save as and the properties of a document.
PainterTable FilePainters() {
  return {
    {"document-new", [](QPainter &p) { Document(p); Line(p, kGreen, 2.4, {{17, 14, 17, 22}, {13, 18, 21, 18}}); }},
    {"document-open", [](QPainter &p) {
       p.setPen(QPen(QColor(0x8a, 0x6a, 0x1c), 1));
       p.setBrush(kGold);
       p.drawPath(Polygon({{2, 6}, {9, 6}, {11, 8}, {22, 8}, {22, 20}, {2, 20}}));
       p.setBrush(QColor(0xf5, 0xd2, 0x7a));
       p.drawPath(Polygon({{2, 20}, {5, 11}, {23, 11}, {21, 20}}));
     }},
    {"document-save", [](QPainter &p) { Disk(p); }},
    {"document-save-as", [](QPainter &p) {
       Disk(p);
       Fill(p, kGold, Polygon({{9, 19}, {17, 11}, {19, 13}, {11, 21}, {9, 21}}));
     }},
    {"document-properties", [](QPainter &p) {
       Document(p);
       Line(p, kGrey, 1.2, {{8, 10, 16, 10}, {8, 13, 16, 13}, {8, 16, 13, 16}});
     }},
  };
}

// The controller module: reading it in, writing it out, clearing, deleting and running it.
PainterTable ModulePainters() {
  return {
    {"document-import", [](QPainter &p) { Module(p); ArrowDown(p, kGreen, 3); }},
    {"document-export", [](QPainter &p) { Module(p); ArrowUp(p, kRed, -3); }},
    {"edit-clear", [](QPainter &p) { Module(p); Line(p, kRed, 2.5, {{5, 5, 19, 19}}); }},
    {"edit-delete", [](QPainter &p) { Module(p); Cross(p, kRed, 2.5); }},
    {"system-run", [](QPainter &p) { Module(p); Fill(p, kGreen, Polygon({{9, 8}, {17, 12}, {9, 16}})); }},
  };
}

// Moving through the lists and searching in them.
PainterTable SearchPainters() {
  return {
    {"go-down", [](QPainter &p) { ArrowDown(p, kBlue); }},
    {"go-up", [](QPainter &p) { ArrowUp(p, kBlue); }},
    {"edit-find", [](QPainter &p) { Magnifier(p); }},
    {"edit-find-replace", [](QPainter &p) {
       Magnifier(p);
       Line(p, kGreen, 1.8, {{13, 21, 22, 21}, {22, 21, 19.5, 18.5}});
     }},
    {"zoom-in", [](QPainter &p) { Magnifier(p); Line(p, kGreen, 2, {{10, 7, 10, 13}, {7, 10, 13, 10}}); }},
    {"zoom-out", [](QPainter &p) { Magnifier(p); Line(p, kRed, 2, {{7, 10, 13, 10}}); }},
  };
}

// The device and the program's own settings: stop, network, preferences, checking.
PainterTable DevicePainters() {
  return {
    {"process-stop", [](QPainter &p) {
       Fill(p, kRed, Polygon({{8, 2}, {16, 2}, {22, 8}, {22, 16}, {16, 22}, {8, 22}, {2, 16}, {2, 8}}));
       p.fillRect(QRectF(7, 10.5, 10, 3), Qt::white);
     }},
    {"network-wired", [](QPainter &p) {
       p.fillRect(QRectF(2, 3, 9, 7), kBlue);
       p.fillRect(QRectF(13, 14, 9, 7), kBlue);
       Line(p, kGrey, 1.8, {{6.5, 10, 6.5, 17}, {6.5, 17, 13, 17}, {17.5, 14, 17.5, 7}, {17.5, 7, 11, 7}});
     }},
    {"preferences-system", [](QPainter &p) {
       p.setPen(Qt::NoPen);
       p.setBrush(kGrey);
       for (int i = 0; i < 8; ++i) {
         p.save();
         p.translate(12, 12);
         p.rotate(45.0 * i);
         p.drawRect(QRectF(-1.8, -10, 3.6, 4));
         p.restore();
       }
       p.drawEllipse(QPointF(12, 12), 7, 7);
       p.setBrush(Qt::white);
       p.drawEllipse(QPointF(12, 12), 2.5, 2.5);
     }},
    {"tools-check-spelling", [](QPainter &p) {
       Document(p);
       p.setBrush(Qt::NoBrush);
       p.setPen(QPen(kGreen, 2.4));
       p.drawPolyline(QPolygonF({{8, 14}, {11, 17}, {17, 10}}));
     }},
  };
}

// Lists and answers: add, remove, start, confirm and cancel.
PainterTable ListPainters() {
  return {
    {"list-add", [](QPainter &p) { Line(p, kGreen, 4, {{12, 4, 12, 20}, {4, 12, 20, 12}}); }},
    {"list-remove", [](QPainter &p) { Line(p, kRed, 4, {{4, 12, 20, 12}}); }},
    {"media-playback-start", [](QPainter &p) { Fill(p, kGreen, Polygon({{7, 4}, {20, 12}, {7, 20}})); }},
    {"dialog-ok", [](QPainter &p) {
       p.setPen(QPen(kGreen, 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
       p.drawPolyline(QPolygonF({{4, 13}, {9, 18}, {20, 6}}));
     }},
    {"dialog-cancel", [](QPainter &p) { Cross(p, kRed, 3.5); }},
  };
}

// Editing: cut, copy, paste, select all and undo.
PainterTable EditPainters() {
  return {
    {"edit-cut", [](QPainter &p) {
       Line(p, kGrey, 2, {{9, 16, 17, 3}, {15, 16, 7, 3}});
       p.setPen(QPen(QColor(0x33, 0x33, 0x33), 2));
       p.setBrush(Qt::NoBrush);
       p.drawEllipse(QPointF(7, 18), 3, 3);
       p.drawEllipse(QPointF(17, 18), 3, 3);
     }},
    {"edit-copy", [](QPainter &p) {
       p.setPen(QPen(kGrey, 1.2));
       p.setBrush(Qt::white);
       p.drawRect(QRectF(3, 3, 12, 14));
       p.drawRect(QRectF(9, 7, 12, 14));
     }},
    {"edit-paste", [](QPainter &p) {
       p.setPen(QPen(QColor(0x7a, 0x5a, 0x2b), 1));
       p.setBrush(QColor(0xc9, 0xa2, 0x6b));
       p.drawRoundedRect(QRectF(4, 4, 14, 17), 1, 1);
       p.setBrush(QColor(0x88, 0x88, 0x88));
       p.drawRoundedRect(QRectF(8, 2, 6, 4), 1, 1);
       p.setPen(QPen(kGrey, 1));
       p.setBrush(Qt::white);
       p.drawRect(QRectF(10, 9, 11, 13));
     }},
    {"edit-select-all", [](QPainter &p) {
       p.setPen(QPen(kBlue, 1.5, Qt::DashLine));
       p.setBrush(kLightBlue);
       p.drawRect(QRectF(3, 3, 18, 18));
       Line(p, kBlue, 1.5, {{7, 8, 17, 8}, {7, 12, 17, 12}, {7, 16, 17, 16}});
     }},
    {"edit-undo", [](QPainter &p) {
       p.setPen(QPen(kBlue, 3, Qt::SolidLine, Qt::FlatCap));
       p.setBrush(Qt::NoBrush);
       p.drawArc(QRectF(6, 7, 14, 12), 90 * 16, -200 * 16);
       Fill(p, kBlue, Polygon({{3, 7}, {10, 2}, {10, 12}}));
     }},
  };
}

// The program itself: about, exit and its own emblem.
PainterTable ProgramPainters() {
  return {
    {"help-about", [](QPainter &p) {
       p.setPen(Qt::NoPen);
       p.setBrush(kBlue);
       p.drawEllipse(QPointF(12, 12), 10, 10);
       p.fillRect(QRectF(10.5, 10, 3, 8), Qt::white);
       p.setBrush(Qt::white);
       p.drawEllipse(QPointF(12, 6.8), 1.8, 1.8);
     }},
    {"application-exit", [](QPainter &p) {
       Fill(p, kGrey, Polygon({{4, 3}, {14, 3}, {14, 8}, {12, 8}, {12, 5}, {6, 5}, {6, 19}, {12, 19}, {12, 16}, {14, 16}, {14, 21}, {4, 21}}));
       Fill(p, kRed, Polygon({{10, 11}, {18, 11}, {18, 8}, {23, 12}, {18, 16}, {18, 13}, {10, 13}}));
     }},
    {"kalvort", [](QPainter &p) {
       p.setPen(Qt::NoPen);
       p.setBrush(QColor(0x1f, 0x4e, 0x79));
       p.drawRoundedRect(QRectF(1, 1, 22, 22), 4, 4);
       Line(p, QColor(0xcf, 0xd8, 0xe3), 1.3,
            {{7, 6, 7, 3}, {10, 6, 10, 3}, {13, 6, 13, 3}, {16, 6, 16, 3},
             {7, 21, 7, 18}, {10, 21, 10, 18}, {13, 21, 13, 18}, {16, 21, 16, 18}});
       p.setPen(Qt::NoPen);
       p.setBrush(kGold);
       p.drawRoundedRect(QRectF(5, 6, 14, 12), 1, 1);
       Line(p, QColor(0x1f, 0x4e, 0x79), 1.6, {{8.5, 9, 8.5, 15}, {8.5, 12, 12.5, 9}, {8.5, 12, 12.5, 15}});
     }},
  };
}

const PainterTable &Painters() {
  static const PainterTable painters = [] {
    PainterTable all;
    for (const PainterTable &group : {FilePainters(), ModulePainters(), SearchPainters(), DevicePainters(),
                                      ListPainters(), EditPainters(), ProgramPainters()})
      all.insert(group);
    return all;
  }();
  return painters;
}

// Draws one of the images above when a size is asked for, and keeps what it drew: the window
// asks for two or three sizes of a few dozen images, and drawing each at every size up front
// made most of the window's construction.
class DrawnIconEngine : public QIconEngine {
 public:
  explicit DrawnIconEngine(Painter paint) : paint_(std::move(paint)) {}

  QIconEngine *clone() const override { return new DrawnIconEngine(*this); }
  bool isNull() override { return false; }
  QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override { return size; }
  // The sizes a caller that picks from a list (a window's icon) gets; any other size is drawn too.
  QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
    return {{16, 16}, {22, 22}, {24, 24}, {32, 32}, {48, 48}, {64, 64}, {128, 128}};
  }

  QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State) override {
    if (size.isEmpty()) return {};
    const quint64 key = (quint64(size.width()) << 32) | (quint64(size.height()) << 8) | quint64(mode);
    if (const auto found = cache_.constFind(key); found != cache_.cend()) return *found;
    QPixmap drawn = mode == QIcon::Normal ? Draw(size) : Styled(pixmap(size, QIcon::Normal, QIcon::Off), mode);
    cache_.insert(key, drawn);
    return drawn;
  }

  void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override {
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    painter->drawPixmap(rect, pixmap(rect.size() * ratio, mode, state));
  }

 private:
  QPixmap Draw(const QSize &size) const {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    const int side = std::min(size.width(), size.height());
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate((size.width() - side) / 2.0, (size.height() - side) / 2.0);
    p.scale(side / 24.0, side / 24.0);
    paint_(p);
    return pixmap;
  }

  // Disabled and selected images come from the style, as for an icon made of pixmaps.
  static QPixmap Styled(const QPixmap &normal, QIcon::Mode mode) {
    QStyle *style = qobject_cast<QApplication *>(QCoreApplication::instance()) ? QApplication::style() : nullptr;
    if (!style) return normal;
    QStyleOption option;
    option.palette = QGuiApplication::palette();
    return style->generatedIconPixmap(mode, normal, &option);
  }

  Painter paint_;
  QHash<quint64, QPixmap> cache_;
};

}  // namespace

QIcon DrawnIcon(const QString &name) {
  Painter paint = Painters().value(name);
  if (!paint) return {};
  return QIcon(new DrawnIconEngine(std::move(paint)));
}

QIcon ThemeIcon(const QString &name) {
  // Qt looks the name up in the theme first; the fall-back costs nothing until it is painted.
  return QIcon::fromTheme(name, DrawnIcon(name));
}

QIcon ProgramIcon() { return DrawnIcon(QStringLiteral("kalvort")); }

}  // namespace kalvort::app
