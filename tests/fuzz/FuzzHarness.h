#pragma once
// What the fuzz targets share: Qt for the real canvases, drawing a page or a
// report on all three canvases with its coordinates checked, this process's
// scratch file, and a kind's block set fed to its stores.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/Canvas.h"

namespace kt {
struct AnalysisData;
struct Form;
struct RunSpec;
}  // namespace kt

namespace kt::fuzz {

// The page size the main window's pages are checked at (a maximised window
// on a 1920 x 1080 screen), and the design size.
inline constexpr int PageWidth = 1920, PageHeight = 1017;
inline constexpr int DesignWidth = 640, DesignHeight = 385;

// Where a drawing may put anything, per axis, inclusive.
struct Box {
  int x1, y1, x2, y2;
};

// A screen page of `width` x `height` pixels may reach past its edges (a
// damaged curve is held at a few times its reach), but not further than
// this.
Box PageBounds(int width, int height);
// Reports draw on A4 across, in 0.01 mm with y upwards from the paper's
// top-left corner.
Box ReportBounds();

// Offscreen Qt with the program's font substitutions; once per process.
void StartQt();

using Drawing = std::function<void(Canvas&)>;

// Draws on a recording canvas and aborts, naming the item, when a coordinate
// leaves `bounds` or a text is not valid UTF-8; then draws the same
// coordinates through the screen canvas on a small image, so the Qt painter
// sees them too.
void CheckPage(const char* what, int width, int height, const Drawing& draw);
// The same for a report, through the printer canvas on an image of A4 at a
// low resolution.
void CheckReport(const char* what, const Drawing& draw);

// What the main window paints for its shown kind (at PageWidth x
// PageHeight) and prints for it, checked as above; nothing for a kind
// without a page.
void CheckShownKind(Form& form);

// The analysis window's eight panels at their sizes, its value cells and its
// report, checked as above. `english` is that window's language flag.
void CheckAnalysis(const Form& form, const AnalysisData& a, int english);

// Writes the bytes to this process's scratch file with the extension and
// returns its path; the same path every time, removed at exit.
std::string ScratchFile(const std::uint8_t* data, std::size_t size, const char* extension);

// Cuts the input into the run's blocks at their exact sizes (the last ones
// zero-padded when the input is short) and hands each to its store, as the
// block steps do. Returns the number of input bytes used.
std::size_t StoreBlocks(Form& form, const RunSpec& run, const std::uint8_t* data, std::size_t size);

}  // namespace kt::fuzz
