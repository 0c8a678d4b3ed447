#pragma once

namespace kt {

class Canvas;
struct Form;

// The printed phase-angle report, the input report's "(continued)" sheet, on
// a canvas in 0.01 mm with y upwards from the page origin. The language
// follows form.ChineseMode.
void PrintPhaseReport(Form& form, Canvas& canvas);

}  // namespace kt
