#pragma once
#include <string>

#include "platform/Canvas.h"

namespace kt {

struct Form;

// The printed output characteristic report, on a canvas in 0.01 mm with y
// upwards from the page origin. The language follows form.ChineseMode.
void PrintOutputReport(Form& form, Canvas& canvas);
void PrintOutputReportEnglish(Form& form, Canvas& canvas);
void PrintOutputReportChinese(Form& form, Canvas& canvas);

// The lamp-side reports (output and comprehensive) are laid out from 25 mm
// margins, measuring down the page: this canvas takes such a design point
// (x, y) and draws it at (2500 + x, -(2500 + y)) on the report canvas.
// Everything else passes through unchanged.
class MarginCanvas final : public Canvas {
 public:
  static constexpr int Margin = 2500;
  explicit MarginCanvas(Canvas& report) : c_(report) {}

  void SetPen(Colour colour, int width = 1, PenStyle style = PenStyle::Solid) override {
    c_.SetPen(colour, width, style);
  }
  void SetBrush(Colour colour) override { c_.SetBrush(colour); }
  void SetFont(const Font& font) override { c_.SetFont(font); }
  void SetTextAlign(int align) override { c_.SetTextAlign(align); }
  void TextOut(int x, int y, const std::string& utf8) override { c_.TextOut(X(x), Y(y), utf8); }
  void MoveTo(int x, int y) override { c_.MoveTo(X(x), Y(y)); }
  void LineTo(int x, int y) override { c_.LineTo(X(x), Y(y)); }
  void Rectangle(int x1, int y1, int x2, int y2) override { c_.Rectangle(X(x1), Y(y1), X(x2), Y(y2)); }
  void FillRect(int x1, int y1, int x2, int y2, Colour colour) override {
    c_.FillRect(X(x1), Y(y1), X(x2), Y(y2), colour);
  }

 private:
  static int X(int x) { return Margin + x; }
  static int Y(int y) { return -(Margin + y); }
  Canvas& c_;
};

// An outline of four lines, so that it never paints over what is already on
// the page (a report's frames are drawn after its texts).
void ReportFrame(Canvas& canvas, int x1, int y1, int x2, int y2);

}  // namespace kt
