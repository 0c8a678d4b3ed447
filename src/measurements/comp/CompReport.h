#pragma once

namespace kt {

class Canvas;
struct Form;

// The printed comprehensive report, on a canvas in 0.01 mm with y upwards
// from the page origin. The language follows form.ChineseMode; the English
// report's rotated captions turn the way form.PrinterFamily asks for.
void PrintCompReport(Form& form, Canvas& canvas);

}  // namespace kt
