#pragma once
#include <array>
#include <span>
#include <string>

#include "measurements/PageMath.h"
#include "platform/Canvas.h"

namespace kt {

struct Form;

// Most reports are laid out from 25 mm margins, measuring down the page:
// this canvas takes such a design point (x, y) and draws it at
// (2500 + x, -(2500 + y)) on the report canvas. Everything else passes
// through unchanged.
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
  void SetClip(int x1, int y1, int x2, int y2) override { c_.SetClip(X(x1), Y(y1), X(x2), Y(y2)); }
  void ClearClip() override { c_.ClearClip(); }

 private:
  static int X(int x) { return Margin + x; }
  static int Y(int y) { return -(Margin + y); }
  Canvas& c_;
};

// An outline of four lines, so that it never paints over what is already on
// the page (a report's frames are drawn after its texts).
void ReportFrame(Canvas& canvas, int x1, int y1, int x2, int y2);

// The two titles of a report laid out from the margins, centred one under
// the other in the given face and height.
void PrintMarginTitles(Canvas& canvas, const char* face, int height, const char* const (&titles)[2]);

// A label with its value to the right, at a report's own positions.
struct InfoItem {
  const char* Label;
  int X, Y, ValueX;  // ValueX 0: the label stands alone
};

// The test information every report prints, in this order: name, number,
// type, standard, temperature (℃), humidity (%), manufacturer, operator and
// the test date (never read past its field).
using TestInfoTexts = std::array<std::string, 9>;
TestInfoTexts TestInfoValues(const Form& form);

// The test information block of the reports laid out from the margins, in
// the order of TestInfoValues: the English one of the output and analysis
// reports, the English one of the comp and start reports (its values stand
// nearer their labels), and the Chinese one of the output, analysis and comp
// reports.
extern const InfoItem MarginInfoEnglish[9];
extern const InfoItem MarginInfoEnglishNarrow[9];
extern const InfoItem MarginInfoChinese[9];

// Each item's label, then its value, in the canvas's current font and
// alignment; values[i] belongs to items[i].
void PrintInfoItems(Canvas& canvas, std::span<const InfoItem> items, std::span<const std::string> values);

}  // namespace kt
