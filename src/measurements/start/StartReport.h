#pragma once

namespace kt {

class Canvas;
struct Form;

// The printed start characteristic report, on a canvas in 0.01 mm with y
// upwards from the page origin, laid out from a 25 mm left and top margin.
// The language follows form.ChineseMode.
void PrintStartReport(Form& form, Canvas& canvas);

}  // namespace kt
