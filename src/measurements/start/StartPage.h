#pragma once

namespace kt {

class Canvas;
struct Form;
struct StartResult;

// What differs between the English and the Chinese start page: the titles
// and the labels.
struct StartPageTexts {
  const char* Title[2];
  const char* Labels[16];  // value column, top to bottom (see StartValueRows.h)
  const char* CursorTime;
  const char* CursorVoltage;
  const char* CursorCurrent;
};

extern const StartPageTexts StartPageEnglish;
extern const StartPageTexts StartPageChinese;

// Draws the start page of `r` over a width x height paint box: four panels
// of five seconds with the cursor, its readouts and the value column.
void DrawStartPage(const StartResult& r, const StartPageTexts& texts, Canvas& canvas, int width, int height);

void PaintStartPageEnglish(Form& form, Canvas& canvas, int width, int height);
void PaintStartPageChinese(Form& form, Canvas& canvas, int width, int height);
// The main window's paint hook for the start test: the page in the chosen
// language once a result is there, the prompt to switch the lamp before.
void PaintStartPage(Form& form, Canvas& canvas, int width, int height);

}  // namespace kt
