#pragma once
// A page's drawing kept as a list of canvas calls, to be played onto a real
// canvas later. Recording takes microseconds where rasterising a full-screen
// page takes milliseconds: the window records the page whenever something
// may have changed and rasterises only when the list differs from the one
// on screen, so a run whose page stays the same costs no page paint.
#include <string>
#include <vector>

#include "platform/Canvas.h"

namespace kt {

class DrawingList final : public Canvas {
 public:
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

  // The same calls, in order, on `canvas`.
  void PlayOnto(Canvas& canvas) const;
  bool Empty() const { return ops_.empty(); }
  void Clear();
  bool operator==(const DrawingList& other) const { return ops_ == other.ops_ && texts_ == other.texts_; }

 private:
  enum class Kind : unsigned char { Pen, Brush, Font, Align, Text, Move, Line, Rect, Fill, Clip, NoClip };
  struct Op {
    Kind What;
    // Coordinates; or a pen's width and style, a font's height and
    // escapement, an alignment.
    int A = 0, B = 0, C = 0, D = 0;
    Colour Tint = 0;
    int Text = -1;  // into texts_: a text, or a font's face
    bool operator==(const Op&) const = default;
  };
  void Add(const Op& op) { ops_.push_back(op); }
  int Keep(const std::string& text);

  std::vector<Op> ops_;
  std::vector<std::string> texts_;
};

}  // namespace kt
