#pragma once
#include <cstdint>
#include <string>

namespace kt {

// Colours in the instrument software's native form: 0x00BBGGRR (red in the
// low byte), so the values of the page layouts can be used as they stand.
using Colour = std::uint32_t;
constexpr Colour Rgb(int r, int g, int b) {
  return static_cast<Colour>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int RedOf(Colour c) { return static_cast<int>(c & 0xFF); }
constexpr int GreenOf(Colour c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int BlueOf(Colour c) { return static_cast<int>((c >> 16) & 0xFF); }

inline constexpr Colour clBlack = Rgb(0, 0, 0);
inline constexpr Colour clWhite = Rgb(255, 255, 255);
inline constexpr Colour clRed = Rgb(255, 0, 0);
inline constexpr Colour clBlue = Rgb(0, 0, 255);
inline constexpr Colour clLime = Rgb(0, 255, 0);
inline constexpr Colour clYellow = Rgb(255, 255, 0);

enum class PenStyle { Solid, Dot };

// Text alignment flags, combinable like the native ones: horizontal
// left/right/centre, vertical always top.
enum TextAlign : int { AlignLeft = 0, AlignRight = 2, AlignCenter = 6 };

struct Font {
  std::string Face = "Times New Roman";
  int Height = 12;  // cell height (ascent plus descent) in canvas units
  Colour Color = clBlack;
  int Escapement = 0;  // tenths of a degree, counter-clockwise
};

// Everything pages and reports draw goes through this interface. A screen
// canvas works in pixels with y downwards; the printer canvas works in
// 0.01 mm with y upwards (negative down the page). Lines follow the usual
// raster convention: LineTo draws up to, not including, its end point.
class Canvas {
 public:
  virtual ~Canvas() = default;
  virtual void SetPen(Colour colour, int width = 1, PenStyle style = PenStyle::Solid) = 0;
  virtual void SetBrush(Colour colour) = 0;
  virtual void SetFont(const Font& font) = 0;
  virtual void SetTextAlign(int align) = 0;
  virtual void TextOut(int x, int y, const std::string& utf8) = 0;
  virtual void MoveTo(int x, int y) = 0;
  virtual void LineTo(int x, int y) = 0;
  // Outline with the pen, interior with the brush; right and bottom edges
  // exclusive.
  virtual void Rectangle(int x1, int y1, int x2, int y2) = 0;
  // Fill with a colour, no outline.
  virtual void FillRect(int x1, int y1, int x2, int y2, Colour colour) = 0;
  // Until ClearClip, nothing is drawn outside the rectangle between the two
  // corners (both inclusive): a trace of damaged values stays in its frame.
  virtual void SetClip(int x1, int y1, int x2, int y2) = 0;
  virtual void ClearClip() = 0;
};

}  // namespace kt
