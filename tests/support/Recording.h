#pragma once
// A canvas that records every drawing operation in order, one line of text
// each, so that a page or a report can be compared with a golden file and
// with hand-derived items of its layout:
//   T x y L|C|R "face" height #rrggbb escapement text
//   L x1 y1 x2 y2 #rrggbb width solid|dot
//   R x1 y1 x2 y2 #pen #brush width
//   F x1 y1 x2 y2 #rrggbb
//   C x1 y1 x2 y2 clip   (and "C off")
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Canvas.h"

namespace kt::test {

inline std::string Hex(Colour c) {
  char b[8];
  std::snprintf(b, sizeof b, "#%02x%02x%02x", RedOf(c), GreenOf(c), BlueOf(c));
  return b;
}

class RecordingCanvas final : public Canvas {
 public:
  std::vector<std::string> ops;

  void SetPen(Colour c, int width, PenStyle style) override {
    pen_ = Hex(c) + " " + std::to_string(width) + (style == PenStyle::Dot ? " dot" : " solid");
    penColour_ = Hex(c);
    penWidth_ = width;
  }
  void SetBrush(Colour c) override { brush_ = Hex(c); }
  void SetFont(const Font& f) override {
    font_ = "\"" + f.Face + "\" " + std::to_string(f.Height) + " " + Hex(f.Color) + " " + std::to_string(f.Escapement);
  }
  void SetTextAlign(int a) override { align_ = (a & AlignCenter) == AlignCenter ? "C" : (a & AlignRight) ? "R" : "L"; }
  void TextOut(int x, int y, const std::string& s) override { Add("T", {x, y}, align_ + " " + font_ + " " + s); }
  void MoveTo(int x, int y) override { x_ = x, y_ = y; }
  void LineTo(int x, int y) override {
    Add("L", {x_, y_, x, y}, pen_);
    x_ = x, y_ = y;
  }
  void Rectangle(int x1, int y1, int x2, int y2) override {
    Add("R", {x1, y1, x2, y2}, penColour_ + " " + brush_ + " " + std::to_string(penWidth_));
  }
  void FillRect(int x1, int y1, int x2, int y2, Colour c) override { Add("F", {x1, y1, x2, y2}, Hex(c)); }
  void SetClip(int x1, int y1, int x2, int y2) override { Add("C", {x1, y1, x2, y2}, "clip"); }
  void ClearClip() override { ops.push_back("C off"); }

  std::string Dump() const {
    std::string s;
    for (const auto& op : ops) s += op + "\n";
    return s;
  }
  // An operation exactly as given; an item ending in '*' matches every
  // operation that starts with what comes before it.
  bool Has(const std::string& op) const {
    const bool prefix = !op.empty() && op.back() == '*';
    for (const auto& o : ops)
      if (prefix ? o.compare(0, op.size() - 1, op, 0, op.size() - 1) == 0 : o == op) return true;
    return false;
  }
  // The operations whose text (after the font) is exactly `text`.
  std::vector<std::string> Texts(const std::string& text) const {
    std::vector<std::string> out;
    for (const auto& o : ops)
      if (o[0] == 'T' && o.size() > text.size() &&
          o.compare(o.size() - text.size() - 1, std::string::npos, " " + text) == 0)
        out.push_back(o);
    return out;
  }

 private:
  void Add(const char* kind, std::initializer_list<int> xy, const std::string& rest) {
    std::string s = kind;
    for (int v : xy) s += " " + std::to_string(v);
    ops.push_back(s + " " + rest);
  }
  std::string pen_ = "#000000 1 solid", penColour_ = "#000000", brush_ = "#ffffff", font_, align_ = "L";
  int penWidth_ = 1;
  int x_ = 0, y_ = 0;
};

// Every hand-derived item must stand among the recorded operations.
inline void ExpectItems(const RecordingCanvas& c, const std::vector<std::string>& items) {
  for (const auto& item : items) EXPECT_TRUE(c.Has(item)) << "missing: " << item;
}

inline std::string GoldenPath(const std::string& name) { return std::string(KT_TEST_DATA) + "/golden/" + name; }

// Compares `actual` with tests/data/golden/<name>. With KT_UPDATE_GOLDEN=1
// in the environment the file is written instead: regenerating is a step
// somebody takes on purpose, after checking the hand-derived items.
inline void ExpectGolden(const std::string& name, const std::string& actual) {
  const std::string path = GoldenPath(name);
  if (const char* u = std::getenv("KT_UPDATE_GOLDEN"); u && std::string(u) == "1") {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << actual;
    return;
  }
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << "no golden file " << path << " (KT_UPDATE_GOLDEN=1 writes it)";
  const std::string expected{std::istreambuf_iterator<char>(in), {}};
  if (expected == actual) return;
  std::istringstream e(expected), a(actual);
  std::string el, al;
  for (int line = 1;; ++line) {
    const bool he = static_cast<bool>(std::getline(e, el)), ha = static_cast<bool>(std::getline(a, al));
    if (!he && !ha) break;
    if (el != al || he != ha) {
      ADD_FAILURE() << name << ": first difference at line " << line << "\n  golden: " << (he ? el : "<end>")
                    << "\n  now:    " << (ha ? al : "<end>");
      return;
    }
  }
}

}  // namespace kt::test
