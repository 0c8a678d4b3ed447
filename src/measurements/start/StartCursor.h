#pragma once

namespace kt {

struct Form;
struct StartCurves;
struct StartResult;

inline constexpr int KeyLeft = 37;  // the arrow keys' native numbers
inline constexpr int KeyRight = 39;

// An index that may come from a file, held to the curves.
int StartCursorSample(int index);

// The time of sample `index` on the five-second recording, seconds.
float StartSampleTime(int index);

// Puts the cursor on sample `index` (held to 0..299): its time on the sample
// grid and the four values there.
void SetStartCursor(StartResult& r, int index);

// The page's cursor. A click anywhere on the plot's width (any button) moves
// the cursor to the sample under it, with the time taken from the pixel
// itself; `width` is the paint box width. The Left and Right arrow keys step
// one sample, wrapping round the five seconds. Both repaint.
void StartMouseDown(Form& form, int x, int y, int width);
void StartKeyDown(Form& form, int key);

}  // namespace kt
