#include "platform/PrinterCanvas.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

#include "platform/QtCanvas.h"

namespace kt {

PrinterCanvas::PrinterCanvas(QPainter& painter, double dotsPerInch) : p_(painter), scale_(dotsPerInch / 2540.0) {
  p_.setRenderHint(QPainter::Antialiasing, true);
  p_.setRenderHint(QPainter::TextAntialiasing, true);
  SetPen(clBlack, 1, PenStyle::Solid);
  SetFont(font_);
}

void PrinterCanvas::SetPen(Colour colour, int width, PenStyle style) {
  pen_ = QPen(ToQColor(colour));
  pen_.setWidthF(std::max(width * scale_, 1.0));
  if (style == PenStyle::Dot) {
    // Dashes and gaps in multiples of the pen's width: a dotted line on paper
    // at any printer resolution.
    pen_.setDashPattern({1.5, 2.0});
    pen_.setCapStyle(Qt::FlatCap);
  } else {
    pen_.setStyle(Qt::SolidLine);
    pen_.setCapStyle(Qt::RoundCap);
  }
  pen_.setJoinStyle(Qt::RoundJoin);
  p_.setPen(pen_);
}

void PrinterCanvas::SetBrush(Colour colour) { brush_ = ToQColor(colour); }

void PrinterCanvas::SetFont(const Font& font) {
  font_ = font;
  const QString face = QString::fromStdString(font.Face);
  qfont_ = QFont(face);
  qfont_.setPixelSize(CellPixelSize(face, font.Height * scale_));
}

void PrinterCanvas::SetTextAlign(int align) { align_ = align; }

void PrinterCanvas::TextOut(int x, int y, const std::string& utf8) {
  const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
  p_.save();
  p_.setFont(qfont_);
  p_.setPen(ToQColor(font_.Color));
  const QFontMetricsF fm(qfont_, p_.device());
  const double w = fm.horizontalAdvance(text);
  double dx = 0;
  if ((align_ & AlignCenter) == AlignCenter)
    dx = -w / 2;
  else if (align_ & AlignRight)
    dx = -w;
  p_.translate(Map(x, y));
  if (font_.Escapement != 0) p_.rotate(-font_.Escapement / 10.0);
  p_.drawText(QPointF(dx, fm.ascent()), text);
  p_.restore();
}

void PrinterCanvas::MoveTo(int x, int y) {
  curX_ = x;
  curY_ = y;
}

void PrinterCanvas::LineTo(int x, int y) {
  // A line of no length is nothing, as on the screen; drawn with a round cap
  // it would be a dot (every empty bin of a printed spectrum).
  if (x == curX_ && y == curY_) return;
  p_.setPen(pen_);
  p_.drawLine(Map(curX_, curY_), Map(x, y));
  curX_ = x;
  curY_ = y;
}

void PrinterCanvas::Rectangle(int x1, int y1, int x2, int y2) {
  const QRectF r = QRectF(Map(x1, y1), Map(x2, y2)).normalized();
  p_.fillRect(r, brush_);
  p_.setPen(pen_);
  p_.setBrush(Qt::NoBrush);
  p_.drawRect(r);
}

void PrinterCanvas::SetClip(int x1, int y1, int x2, int y2) {
  const double reach = pen_.widthF();
  p_.setClipRect(QRectF(Map(x1, y1), Map(x2, y2)).normalized().adjusted(-reach, -reach, reach, reach));
}

void PrinterCanvas::ClearClip() { p_.setClipping(false); }

void PrinterCanvas::FillRect(int x1, int y1, int x2, int y2, Colour colour) {
  p_.fillRect(QRectF(Map(x1, y1), Map(x2, y2)).normalized(), ToQColor(colour));
}

}  // namespace kt
