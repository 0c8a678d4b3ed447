#include "shell/Glyphs.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>
#include <utility>

namespace kt {

namespace {

// One palette for every glyph, so the tool bar reads as one set.
const QColor Ink(43, 58, 74);
const QColor Mains(31, 111, 209);
const QColor Lamp(217, 130, 43);
const QColor Current(30, 138, 60);
const QColor Warn(200, 45, 45);
const QColor Paper(250, 247, 232);

QPen InkPen(const QColor& c, double w = 1.6) {
  QPen p(c, w);
  p.setCapStyle(Qt::RoundCap);
  p.setJoinStyle(Qt::RoundJoin);
  return p;
}

void Sine(QPainter& p, const QRectF& box, double cycles, const QColor& c, double width = 1.8) {
  QPainterPath path;
  const int steps = 48;
  for (int i = 0; i <= steps; ++i) {
    const double t = static_cast<double>(i) / steps;
    const QPointF pt(box.left() + t * box.width(),
                     box.center().y() - std::sin(t * cycles * 2 * M_PI) * box.height() / 2);
    if (i == 0)
      path.moveTo(pt);
    else
      path.lineTo(pt);
  }
  p.setPen(InkPen(c, width));
  p.setBrush(Qt::NoBrush);
  p.drawPath(path);
}

void Tube(QPainter& p, const QRectF& r) {
  p.setPen(InkPen(Ink, 1.2));
  p.setBrush(Paper);
  p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
  p.setPen(InkPen(Ink, 1.2));
  const double y = r.center().y();
  p.drawLine(QPointF(r.left() - 1.5, y - 1.5), QPointF(r.left(), y - 1.5));
  p.drawLine(QPointF(r.left() - 1.5, y + 1.5), QPointF(r.left(), y + 1.5));
  p.drawLine(QPointF(r.right(), y - 1.5), QPointF(r.right() + 1.5, y - 1.5));
  p.drawLine(QPointF(r.right(), y + 1.5), QPointF(r.right() + 1.5, y + 1.5));
  p.setPen(InkPen(Lamp, 1.4));
  p.drawLine(QPointF(r.left() + 3, y), QPointF(r.right() - 3, y));
}

void Badge(QPainter& p) {
  p.setPen(Qt::NoPen);
  p.setBrush(Warn);
  p.drawEllipse(QRectF(12, 12, 8, 8));
  QFont f("DejaVu Sans");
  f.setPixelSize(7);
  f.setBold(true);
  p.setFont(f);
  p.setPen(Qt::white);
  p.drawText(QRectF(12, 12, 8, 8), Qt::AlignCenter, "1");
}

void Arrow(QPainter& p, bool left) {
  QPolygonF tri;
  if (left)
    tri << QPointF(4, 10) << QPointF(13, 3) << QPointF(13, 17);
  else
    tri << QPointF(16, 10) << QPointF(7, 3) << QPointF(7, 17);
  p.setPen(InkPen(Ink, 1.2));
  p.setBrush(Mains);
  p.drawPolygon(tri);
}

void Draw(QPainter& p, Glyph g) {
  // A single-run command: its kind's glyph, smaller, with the badge.
  for (const auto& [single, base] :
       {std::pair{Glyph::InputSingle, Glyph::InputRun}, std::pair{Glyph::OutputSingle, Glyph::OutputRun},
        std::pair{Glyph::CompSingle, Glyph::CompRun}, std::pair{Glyph::PhaseSingle, Glyph::Phase}})
    if (g == single) {
      p.scale(0.85, 0.85);
      Draw(p, base);
      p.resetTransform();
      Badge(p);
      return;
    }
  switch (g) {
    case Glyph::InputRun:
      p.setPen(InkPen(Ink, 1.0));
      p.drawLine(QPointF(2, 10), QPointF(18, 10));
      Sine(p, QRectF(2, 3, 16, 14), 1.0, Mains);
      break;
    case Glyph::OutputRun:
      Tube(p, QRectF(3, 7, 14, 6));
      break;
    case Glyph::CompRun:
      Sine(p, QRectF(3, 2, 14, 7), 1.0, Mains, 1.5);
      Tube(p, QRectF(3, 12, 14, 6));
      break;
    case Glyph::StartRun: {
      Tube(p, QRectF(3, 13, 14, 5));
      p.setPen(InkPen(Current, 1.6));
      p.setBrush(Qt::NoBrush);
      p.drawArc(QRectF(6, 1, 8, 8), 120 * 16, 300 * 16);  // open at the top
      p.drawLine(QPointF(10, 0.5), QPointF(10, 5));
      break;
    }
    case Glyph::Phase:
      p.setPen(InkPen(Ink, 1.0));
      p.drawLine(QPointF(2, 12), QPointF(18, 12));
      Sine(p, QRectF(2, 5, 16, 14), 1.0, Mains, 1.4);
      p.setPen(InkPen(Current, 1.8));
      p.drawLine(QPointF(7, 12), QPointF(7, 3));
      p.drawLine(QPointF(12, 12), QPointF(12, 3));
      p.setPen(InkPen(Current, 1.0));
      p.drawLine(QPointF(7, 4), QPointF(12, 4));
      break;
    case Glyph::Lock:
      p.setPen(InkPen(Ink, 1.8));
      p.setBrush(Qt::NoBrush);
      p.drawArc(QRectF(6, 2, 8, 10), 0, 180 * 16);
      p.drawLine(QPointF(6, 7), QPointF(6, 9));
      p.drawLine(QPointF(14, 7), QPointF(14, 9));
      p.setPen(InkPen(Ink, 1.2));
      p.setBrush(Lamp);
      p.drawRoundedRect(QRectF(4, 9, 12, 9), 1.5, 1.5);
      p.setPen(InkPen(Ink, 1.6));
      p.drawLine(QPointF(10, 12), QPointF(10, 15));
      break;
    case Glyph::InputSingle:
    case Glyph::OutputSingle:
    case Glyph::CompSingle:
    case Glyph::PhaseSingle:
      break;  // drawn above
    case Glyph::Back:
      Arrow(p, true);
      break;
    case Glyph::Next:
      Arrow(p, false);
      break;
    case Glyph::Language: {
      QFont f("AR PL UMing CN");
      f.setPixelSize(11);
      f.setBold(true);
      p.setFont(f);
      p.setPen(Warn);
      p.drawText(QRectF(0, 0, 11, 11), Qt::AlignCenter, QString::fromUtf8("中"));
      QFont e("DejaVu Sans");
      e.setPixelSize(10);
      e.setBold(true);
      p.setFont(e);
      p.setPen(Mains);
      p.drawText(QRectF(9, 9, 11, 11), Qt::AlignCenter, "A");
      p.setPen(InkPen(Ink, 1.0));
      p.drawLine(QPointF(17, 3), QPointF(3, 17));
      break;
    }
    case Glyph::WideBand: {
      p.setPen(Qt::NoPen);
      p.setBrush(Mains);
      const double h[] = {12, 5, 8, 3, 6, 2, 4};
      for (int i = 0; i < 7; ++i) p.drawRect(QRectF(2 + 2.4 * i, 18 - h[i], 1.6, h[i]));
      p.setPen(InkPen(Current, 1.4));
      p.drawLine(QPointF(2, 4), QPointF(18, 4));
      p.drawLine(QPointF(2, 2.5), QPointF(2, 5.5));
      p.drawLine(QPointF(18, 2.5), QPointF(18, 5.5));
      break;
    }
    case Glyph::Analysis: {
      QPainterPath path;
      for (int i = 0; i <= 96; ++i) {
        const double t = i / 96.0;
        const double env = 0.55 + 0.45 * std::cos(t * 2 * M_PI);
        const QPointF pt(2 + 16 * t, 10 - 7 * env * std::sin(t * 16 * M_PI));
        if (i == 0)
          path.moveTo(pt);
        else
          path.lineTo(pt);
      }
      p.setPen(InkPen(Lamp, 1.1));
      p.setBrush(Qt::NoBrush);
      p.drawPath(path);
      p.setPen(InkPen(Ink, 1.0));
      p.drawLine(QPointF(10, 1), QPointF(10, 19));
      break;
    }
    case Glyph::Print:
      p.setPen(InkPen(Ink, 1.2));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(6, 2, 8, 6));
      p.setBrush(QColor(190, 200, 210));
      p.drawRoundedRect(QRectF(2, 7, 16, 7), 1.5, 1.5);
      p.setBrush(Qt::white);
      p.drawRect(QRectF(6, 12, 8, 6));
      p.setPen(InkPen(Ink, 0.8));
      p.drawLine(QPointF(7.5, 14.5), QPointF(12.5, 14.5));
      p.drawLine(QPointF(7.5, 16.2), QPointF(11, 16.2));
      break;
    case Glyph::Exit:
      p.setPen(InkPen(Ink, 1.2));
      p.setBrush(QColor(190, 200, 210));
      p.drawRect(QRectF(3, 2, 9, 16));
      p.setPen(InkPen(Warn, 1.8));
      p.drawLine(QPointF(8, 10), QPointF(18, 10));
      p.drawLine(QPointF(15, 7), QPointF(18, 10));
      p.drawLine(QPointF(15, 13), QPointF(18, 10));
      break;
    case Glyph::Open:
      p.setPen(InkPen(Ink, 1.2));
      p.setBrush(QColor(240, 200, 110));
      p.drawPolygon(QPolygonF() << QPointF(2, 5) << QPointF(8, 5) << QPointF(10, 7) << QPointF(18, 7) << QPointF(18, 17)
                                << QPointF(2, 17));
      break;
    case Glyph::Store:
      p.setPen(InkPen(Ink, 1.2));
      p.setBrush(Mains);
      p.drawRect(QRectF(3, 3, 14, 14));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(6, 3, 8, 5));
      p.drawRect(QRectF(5, 11, 10, 6));
      break;
    case Glyph::Port:
      p.setPen(InkPen(Ink, 1.2));
      p.setBrush(QColor(190, 200, 210));
      p.drawPolygon(QPolygonF() << QPointF(2, 6) << QPointF(18, 6) << QPointF(16, 14) << QPointF(4, 14));
      p.setPen(Qt::NoPen);
      p.setBrush(Ink);
      for (int i = 0; i < 5; ++i) p.drawEllipse(QPointF(5 + 2.5 * i, 8.5), 0.8, 0.8);
      for (int i = 0; i < 4; ++i) p.drawEllipse(QPointF(6.2 + 2.5 * i, 11.5), 0.8, 0.8);
      break;
    case Glyph::Info:
      p.setPen(InkPen(Mains, 1.4));
      p.setBrush(Qt::white);
      p.drawEllipse(QRectF(2, 2, 16, 16));
      p.setPen(InkPen(Mains, 2.0));
      p.drawLine(QPointF(10, 9), QPointF(10, 14.5));
      p.drawPoint(QPointF(10, 5.8));
      break;
  }
}

}  // namespace

QIcon GlyphIcon(Glyph glyph) {
  QIcon icon;
  for (const int scale : {1, 2}) {
    QPixmap pm(20 * scale, 20 * scale);
    pm.setDevicePixelRatio(scale);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    Draw(p, glyph);
    p.end();
    icon.addPixmap(pm);
  }
  return icon;
}

}  // namespace kt
