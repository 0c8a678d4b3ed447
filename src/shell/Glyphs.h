#pragma once
#include <QIcon>

namespace kt {

// The tool-bar and menu glyphs, drawn as vector shapes so they stay crisp at
// any screen scale and need no image files.
enum class Glyph {
  InputRun,
  OutputRun,
  CompRun,
  StartRun,
  Phase,
  Lock,
  InputSingle,
  OutputSingle,
  CompSingle,
  PhaseSingle,
  Back,
  Next,
  Language,
  WideBand,
  Analysis,
  Print,
  Exit,
  Open,
  Store,
  Port,
  Info,
};

QIcon GlyphIcon(Glyph glyph);

}  // namespace kt
