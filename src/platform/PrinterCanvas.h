#pragma once
#include <QFont>
#include <QPainter>
#include <QPen>

#include "platform/Canvas.h"

namespace kt {

// The report canvas: coordinates in 0.01 mm with the y axis upwards (positions
// down the page are negative), from the page origin of the painter's device.
// Everything is mapped here, not by a flipped painter transform, so text
// stays upright. Pen widths and font heights are in the same unit.
class PrinterCanvas final : public Canvas {
 public:
  // `dotsPerInch` of the painter's device.
  PrinterCanvas(QPainter& painter, double dotsPerInch);

  void SetPen(Colour colour, int width, PenStyle style) override;
  void SetBrush(Colour colour) override;
  void SetFont(const Font& font) override;
  void SetTextAlign(int align) override;
  void TextOut(int x, int y, const std::string& utf8) override;
  void MoveTo(int x, int y) override;
  void LineTo(int x, int y) override;
  void Rectangle(int x1, int y1, int x2, int y2) override;
  void FillRect(int x1, int y1, int x2, int y2, Colour colour) override;
  void SetClip(int x1, int y1, int x2, int y2) override;
  void ClearClip() override;

 private:
  QPointF Map(int x, int y) const { return {x * scale_, -y * scale_}; }

  QPainter& p_;
  double scale_;  // device pixels per 0.01 mm
  QPen pen_;
  QColor brush_{Qt::white};
  Font font_;
  QFont qfont_;
  int align_ = AlignLeft;
  int curX_ = 0, curY_ = 0;
};

}  // namespace kt
