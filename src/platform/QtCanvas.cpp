#include "platform/QtCanvas.h"

#include <QFontMetrics>
#include <QString>

#include <QFontMetricsF>
#include <QHash>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace kt {

QColor ToQColor(Colour c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }

int CellPixelSize(const QString& face, double cellHeight) {
  // Cell height per pixel of em size, measured once per face at a large
  // size (the metrics scale with it). Pages are painted on the page thread
  // while reports and exposed pages are on the window thread: one table,
  // under a lock.
  static std::mutex lock;
  static QHash<QString, double> cellPerPixel;
  const std::lock_guard<std::mutex> held(lock);
  auto it = cellPerPixel.find(face);
  if (it == cellPerPixel.end()) {
    constexpr int Probe = 1000;
    QFont f(face);
    f.setPixelSize(Probe);
    const QFontMetricsF fm(f);
    const double cell = fm.ascent() + fm.descent();
    it = cellPerPixel.insert(face, cell > 0 ? cell / Probe : 1.0);
  }
  return std::max(1, static_cast<int>(std::lround(cellHeight / it.value())));
}

QtCanvas::QtCanvas(QPainter& painter) : p_(painter) {
  p_.setRenderHint(QPainter::Antialiasing, false);
  p_.setRenderHint(QPainter::TextAntialiasing, true);
  SetPen(clBlack, 1, PenStyle::Solid);
  SetFont(font_);
}

void QtCanvas::SetPen(Colour colour, int width, PenStyle style) {
  penWidth_ = std::max(width, 1);
  pen_ = QPen(ToQColor(colour));
  pen_.setWidth(penWidth_);
  pen_.setStyle(style == PenStyle::Dot ? Qt::DotLine : Qt::SolidLine);
  // Wide pens have round ends and joins, as the layouts were drawn with.
  pen_.setCapStyle(penWidth_ > 1 ? Qt::RoundCap : Qt::FlatCap);
  pen_.setJoinStyle(penWidth_ > 1 ? Qt::RoundJoin : Qt::MiterJoin);
  p_.setPen(pen_);
}

void QtCanvas::SetBrush(Colour colour) { brush_ = ToQColor(colour); }

void QtCanvas::SetFont(const Font& font) {
  font_ = font;
  const QString face = QString::fromStdString(font.Face);
  qfont_ = QFont(face);
  qfont_.setPixelSize(CellPixelSize(face, font.Height));
  qfont_.setStyleStrategy(QFont::PreferAntialias);
}

void QtCanvas::SetTextAlign(int align) { align_ = align; }

void QtCanvas::TextOut(int x, int y, const std::string& utf8) {
  const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
  p_.save();
  p_.setFont(qfont_);
  p_.setPen(ToQColor(font_.Color));
  const QFontMetrics fm(qfont_);
  const int w = fm.horizontalAdvance(text);
  int dx = 0;
  if ((align_ & AlignCenter) == AlignCenter)
    dx = -w / 2;
  else if (align_ & AlignRight)
    dx = -w;
  p_.translate(x, y);
  if (font_.Escapement != 0) p_.rotate(-font_.Escapement / 10.0);
  p_.drawText(dx, fm.ascent(), text);
  p_.restore();
}

void QtCanvas::MoveTo(int x, int y) {
  curX_ = x;
  curY_ = y;
}

void QtCanvas::LineTo(int x, int y) {
  // A one-pixel line with flat ends leaves out its end point, which is the
  // raster convention the layouts count on; a polyline's next segment starts
  // on it.
  // The painter holds pen_ already: SetPen and Rectangle set it, and
  // TextOut gives it back.
  if (x == curX_ && y == curY_) {
  } else if (penWidth_ == 1 && pen_.style() == Qt::SolidLine && (x == curX_ || y == curY_)) {
    // A solid one-pixel line along an axis covers the pixels from the lower
    // end up to, not including, the higher one, whichever way it is drawn:
    // filled as that rectangle it is the same pixels, several times faster
    // (the output page's band is some 1 800 such lines).
    p_.fillRect(x == curX_ ? QRect(x, std::min(y, curY_), 1, std::abs(y - curY_))
                           : QRect(std::min(x, curX_), y, std::abs(x - curX_), 1),
                pen_.color());
  } else {
    p_.drawLine(curX_, curY_, x, y);
  }
  curX_ = x;
  curY_ = y;
}

void QtCanvas::Rectangle(int x1, int y1, int x2, int y2) {
  if (x2 < x1) std::swap(x1, x2);
  if (y2 < y1) std::swap(y1, y2);
  if (x2 - x1 < 1 || y2 - y1 < 1) return;
  p_.fillRect(QRect(x1, y1, x2 - x1, y2 - y1), brush_);
  p_.setPen(pen_);
  p_.setBrush(Qt::NoBrush);
  if (penWidth_ == 1)
    p_.drawRect(QRect(x1, y1, x2 - x1 - 1, y2 - y1 - 1));
  else
    p_.drawRect(QRectF(x1, y1, x2 - x1 - 1, y2 - y1 - 1));
}

void QtCanvas::SetClip(int x1, int y1, int x2, int y2) {
  if (x2 < x1) std::swap(x1, x2);
  if (y2 < y1) std::swap(y1, y2);
  // Wide pens reach half their width past a line's end: the frame's own
  // line is not cut.
  const int reach = penWidth_;
  p_.setClipRect(QRect(QPoint(x1 - reach, y1 - reach), QPoint(x2 + reach, y2 + reach)));
}

void QtCanvas::ClearClip() { p_.setClipping(false); }

void QtCanvas::FillRect(int x1, int y1, int x2, int y2, Colour colour) {
  if (x2 < x1) std::swap(x1, x2);
  if (y2 < y1) std::swap(y1, y2);
  p_.fillRect(QRect(x1, y1, x2 - x1, y2 - y1), ToQColor(colour));
}

}  // namespace kt
