#pragma once
#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPen>

#include "platform/Canvas.h"

namespace kt {

QColor ToQColor(Colour c);

// The layouts give a font's height as its cell height (ascent plus
// descent), not its em size: the pixel size of `face` whose cell is
// `cellHeight` pixels tall (at least 1).
int CellPixelSize(const QString& face, double cellHeight);

// The screen canvas: draws in device pixels on a QPainter (an off-screen image
// for the pages). Lines keep the raster convention of the page layouts: a
// one-pixel line stops one pixel short of its end point, so a polyline meets
// itself exactly and frames end where the layout says.
class QtCanvas final : public Canvas {
 public:
  explicit QtCanvas(QPainter& painter);

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
  QPainter& p_;
  QPen pen_;
  QColor brush_{Qt::white};
  Font font_;
  QFont qfont_;
  int align_ = AlignLeft;
  int penWidth_ = 1;
  int curX_ = 0, curY_ = 0;
};

}  // namespace kt
