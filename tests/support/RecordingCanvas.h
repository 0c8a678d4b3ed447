#pragma once
// A canvas that records what a page or report draws, so tests can compare
// positions, texts, fonts and colours with the layout.
#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/Canvas.h"

namespace kt::test {

struct TextItem {
  int x, y;
  std::string text;
  Font font;
  int align;
};

struct LineItem {
  int x1, y1, x2, y2;
  Colour colour;
  int width;
  PenStyle style;
};

struct RectItem {
  int x1, y1, x2, y2;
  Colour pen, brush;
  int width;
};

struct FillItem {
  int x1, y1, x2, y2;
  Colour colour;
};

class RecordingCanvas final : public Canvas {
 public:
  std::vector<TextItem> texts;
  std::vector<LineItem> lines;
  std::vector<RectItem> rects;
  std::vector<FillItem> fills;

  void SetPen(Colour c, int width, PenStyle style) override {
    pen_ = c;
    width_ = width;
    style_ = style;
  }
  void SetBrush(Colour c) override { brush_ = c; }
  void SetFont(const Font& f) override { font_ = f; }
  void SetTextAlign(int a) override { align_ = a; }
  void TextOut(int x, int y, const std::string& s) override { texts.push_back({x, y, s, font_, align_}); }
  void MoveTo(int x, int y) override {
    x_ = x;
    y_ = y;
  }
  void LineTo(int x, int y) override {
    lines.push_back({x_, y_, x, y, pen_, width_, style_});
    x_ = x;
    y_ = y;
  }
  void Rectangle(int x1, int y1, int x2, int y2) override { rects.push_back({x1, y1, x2, y2, pen_, brush_, width_}); }
  void FillRect(int x1, int y1, int x2, int y2, Colour c) override { fills.push_back({x1, y1, x2, y2, c}); }

  // The n-th text drawn with exactly this string.
  const TextItem* Text(const std::string& s, int nth = 0) const {
    for (const auto& t : texts)
      if (t.text == s && nth-- == 0) return &t;
    return nullptr;
  }
  std::vector<const TextItem*> TextsAt(int y) const {
    std::vector<const TextItem*> out;
    for (const auto& t : texts)
      if (t.y == y) out.push_back(&t);
    return out;
  }
  // A line between the two points, in either direction.
  const LineItem* Line(int x1, int y1, int x2, int y2) const {
    for (const auto& l : lines)
      if ((l.x1 == x1 && l.y1 == y1 && l.x2 == x2 && l.y2 == y2) || (l.x1 == x2 && l.y1 == y2 && l.x2 == x1 && l.y2 == y1))
        return &l;
    return nullptr;
  }
  // Every coordinate drawn lies within [lo, hi] on both axes.
  bool AllWithin(int lo, int hi) const {
    const auto in = [&](int v) { return v >= lo && v <= hi; };
    for (const auto& t : texts)
      if (!in(t.x) || !in(t.y)) return false;
    for (const auto& l : lines)
      if (!in(l.x1) || !in(l.y1) || !in(l.x2) || !in(l.y2)) return false;
    for (const auto& r : rects)
      if (!in(r.x1) || !in(r.y1) || !in(r.x2) || !in(r.y2)) return false;
    return true;
  }

 private:
  Colour pen_ = clBlack, brush_ = clWhite;
  int width_ = 1;
  PenStyle style_ = PenStyle::Solid;
  Font font_;
  int align_ = AlignLeft;
  int x_ = 0, y_ = 0;
};

}  // namespace kt::test
