#include "platform/DrawingList.h"

namespace kt {

void DrawingList::SetPen(Colour colour, int width, PenStyle style) {
  Add({Kind::Pen, width, static_cast<int>(style), 0, 0, colour});
}
void DrawingList::SetBrush(Colour colour) { Add({Kind::Brush, 0, 0, 0, 0, colour}); }
void DrawingList::SetFont(const Font& font) {
  Add({Kind::Font, font.Height, font.Escapement, 0, 0, font.Color, Keep(font.Face)});
}
void DrawingList::SetTextAlign(int align) { Add({Kind::Align, align}); }
void DrawingList::TextOut(int x, int y, const std::string& utf8) { Add({Kind::Text, x, y, 0, 0, 0, Keep(utf8)}); }
void DrawingList::MoveTo(int x, int y) { Add({Kind::Move, x, y}); }
void DrawingList::LineTo(int x, int y) { Add({Kind::Line, x, y}); }
void DrawingList::Rectangle(int x1, int y1, int x2, int y2) { Add({Kind::Rect, x1, y1, x2, y2}); }
void DrawingList::FillRect(int x1, int y1, int x2, int y2, Colour colour) { Add({Kind::Fill, x1, y1, x2, y2, colour}); }
void DrawingList::SetClip(int x1, int y1, int x2, int y2) { Add({Kind::Clip, x1, y1, x2, y2}); }
void DrawingList::ClearClip() { Add({Kind::NoClip}); }

void DrawingList::Clear() {
  ops_.clear();
  texts_.clear();
}

// Texts are kept in order of use, one entry per call: comparing two lists
// then compares their texts in the same order.
int DrawingList::Keep(const std::string& text) {
  texts_.push_back(text);
  return static_cast<int>(texts_.size()) - 1;
}

void DrawingList::PlayOnto(Canvas& c) const {
  for (const Op& op : ops_) {
    switch (op.What) {
      case Kind::Pen:
        c.SetPen(op.Tint, op.A, static_cast<PenStyle>(op.B));
        break;
      case Kind::Brush:
        c.SetBrush(op.Tint);
        break;
      case Kind::Font:
        c.SetFont({texts_[static_cast<std::size_t>(op.Text)], op.A, op.Tint, op.B});
        break;
      case Kind::Align:
        c.SetTextAlign(op.A);
        break;
      case Kind::Text:
        c.TextOut(op.A, op.B, texts_[static_cast<std::size_t>(op.Text)]);
        break;
      case Kind::Move:
        c.MoveTo(op.A, op.B);
        break;
      case Kind::Line:
        c.LineTo(op.A, op.B);
        break;
      case Kind::Rect:
        c.Rectangle(op.A, op.B, op.C, op.D);
        break;
      case Kind::Fill:
        c.FillRect(op.A, op.B, op.C, op.D, op.Tint);
        break;
      case Kind::Clip:
        c.SetClip(op.A, op.B, op.C, op.D);
        break;
      case Kind::NoClip:
        c.ClearClip();
        break;
    }
  }
}

}  // namespace kt
