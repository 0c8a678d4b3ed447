#pragma once

namespace kt {

class Canvas;
struct Form;

// The phase-angle page, the second sheet of the input characteristic: the
// current, power factor, THDI and the three phase angles, two periods of
// voltage and current, the low-order current harmonics in percent and the
// 40-bin table in amperes and mA per watt, on the 640 x 385 design grid
// scaled to width x height pixels. The language follows form.ChineseMode.
// With Irms below 0.01 A the page zeroes the fundamental of the
// ampere column in the results before drawing it.
void PaintPhasePage(Form& form, Canvas& canvas, int width, int height);

}  // namespace kt
