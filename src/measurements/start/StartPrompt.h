#pragma once

namespace kt {

class Canvas;

// "Switch the lamp off, then on": what the page shows from the start command
// until the start test's result has been decoded. Drawn in pixels, unscaled.
void PaintStartPrompt(Canvas& canvas, int width, int height);

}  // namespace kt
