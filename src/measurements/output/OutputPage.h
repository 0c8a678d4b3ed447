#pragma once

namespace kt {

class Canvas;
struct Form;
struct OutputResult;

// What differs between the English and the Chinese output page: texts,
// font, font heights (design units) and the form of the lamp-current
// crest-factor row.
struct OutputPageTexts {
  const char* Face;
  int TitleHeight;
  int TableHeight;
  const char* Title[2];
  const char* PowerLabel;
  const char* FrequencyLabel;
  // Value-area labels, top to bottom: four for the lamp voltage, four for the
  // lamp current (the third is the crest-factor row's), four each for the
  // filament and the cathode-lead current. Index 0, 4, 8 and 12 are the
  // channel headers.
  const char* Labels[16];
  // The crest-factor row of the lamp current: its label at the header column
  // instead of indented, and where the two half-wave values stand (design
  // column plus an offset in design units) behind which prefix.
  bool CrestLabelAtHeader;
  const char* PositivePrefix;
  int PositiveColumn, PositiveOffset;
  const char* NegativePrefix;
  int NegativeColumn, NegativeOffset;
};

extern const OutputPageTexts OutputPageEnglish;
extern const OutputPageTexts OutputPageChinese;

// Draws the output page of `out` over a width x height paint box.
void DrawOutputPage(const OutputResult& out, const OutputPageTexts& texts, Canvas& canvas, int width, int height);

void PaintOutputPageEnglish(Form& form, Canvas& canvas, int width, int height);
void PaintOutputPageChinese(Form& form, Canvas& canvas, int width, int height);
// The main window's paint hook for the output test: the page in the chosen
// language.
void PaintOutputPage(Form& form, Canvas& canvas, int width, int height);

}  // namespace kt
