#pragma once

namespace kt {

class Canvas;
struct Form;

// The input characteristic page: values, THD, two periods of voltage and
// current, both spectra and the 40-bin table, on the 640 x 385 design grid
// scaled to width x height pixels. The language follows form.ChineseMode.
void PaintInputPage(Form& form, Canvas& canvas, int width, int height);
void PaintInputPageEnglish(Form& form, Canvas& canvas, int width, int height);
void PaintInputPageChinese(Form& form, Canvas& canvas, int width, int height);

}  // namespace kt
