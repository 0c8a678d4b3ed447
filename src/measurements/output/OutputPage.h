#pragma once

namespace kt {

class Canvas;
struct Form;

// The main window's paint hook for the output test: the page in the chosen
// language.
void PaintOutputPage(Form& form, Canvas& canvas, int width, int height);

}  // namespace kt
