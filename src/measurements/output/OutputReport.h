#pragma once

namespace kt {

class Canvas;
struct Form;

// The printed output characteristic report, on a canvas in 0.01 mm with y
// upwards from the page origin. The language follows form.ChineseMode.
void PrintOutputReport(Form& form, Canvas& canvas);

}  // namespace kt
