#pragma once

namespace kt {

class Canvas;
struct Form;
struct InputResult;

// The input characteristic page: values, THD, two periods of voltage and
// current, both spectra and the 40-bin table, on the 640 x 385 design grid
// scaled to width x height pixels. The language follows form.ChineseMode.
void PaintInputPage(Form& form, Canvas& canvas, int width, int height);

// The waveform box of the mains-side pages (input, phase angle), in pixels:
// the box from Left to Right, Amp above and below the zero line at Mid, and
// two periods of the voltage (red) and of the current (dark green), Step
// apart, their peaks VoltageHeight and CurrentHeight off the zero line.
struct MainsWaveBox {
  int Left, Right, Mid, Amp;
  double Step, VoltageHeight, CurrentHeight;
};
void PaintMainsWaves(Canvas& canvas, const InputResult& in, const MainsWaveBox& box);

}  // namespace kt
