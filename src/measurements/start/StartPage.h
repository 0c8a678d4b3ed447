#pragma once

namespace kt {

class Canvas;
struct Form;

// The main window's paint hook for the start test: the page in the chosen
// language once a result is there, the prompt to switch the lamp before.
void PaintStartPage(Form& form, Canvas& canvas, int width, int height);

}  // namespace kt
