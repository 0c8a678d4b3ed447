#pragma once

namespace kt {

class Canvas;
struct Form;

// The comprehensive page: one white sheet with the mains values, THD and odd
// harmonics, the lamp values, two periods of line voltage and input current,
// the amplitude bands of lamp voltage and lamp current, and the luminous
// flux and colour temperature of the test information; on the 640 x 385
// design grid scaled to width x height pixels. The language follows
// form.ChineseMode.
void PaintCompPage(Form& form, Canvas& canvas, int width, int height);

}  // namespace kt
