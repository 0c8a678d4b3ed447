#pragma once

namespace kt {

class Canvas;
struct Form;

// The printed input characteristic report, on a canvas in 0.01 mm with y
// upwards from the page origin. The language follows form.ChineseMode.
void PrintInputReport(Form& form, Canvas& canvas);

// The parts the mains-side reports (input, phase angle) share: the two
// titles with the outer frame and the line under the value table (the pen is
// left at 0.5 mm), and the test information block.
void PrintMainsHeading(Canvas& canvas, const char* title1, const char* title2);
void PrintMainsInfoBlock(const Form& form, Canvas& canvas, bool chinese);

}  // namespace kt
