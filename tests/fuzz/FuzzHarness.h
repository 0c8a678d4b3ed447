#pragma once
// What the fuzz targets share: Qt for the real canvases, drawing a page or a
// report with its coordinates and texts checked, this process's scratch
// file, and a kind's block set fed to its stores.
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

// Offscreen Qt with the program's font substitutions; once per process.
void StartQt();

using Drawing = std::function<void(Canvas&)>;

// Draws on a recording canvas and aborts, naming the item, when a text is
// not UTF-8 or a coordinate leaves the drawing's reach: a screen page of
// width x height pixels may reach past its edges (a damaged curve is held at
// a few times its reach) but not two page sizes; a report stays on A4
// across. Then draws the same through the real canvas (on a small image),
// so the painter sees the coordinates too.
void CheckPage(const char* what, int width, int height, const Drawing& draw);
void CheckReport(const char* what, const Drawing& draw);

// The page the main window paints for its shown kind (on a 1920 x 1017 paint
// box) and its report; nothing for a kind without one.
void CheckShownKind(Form& form);
// The analysis window's eight panels, its value cells and its report.
void CheckAnalysis(const Form& form, const AnalysisData& a, int english);

// Writes the bytes to this process's scratch file with the extension and
// returns its path; the same path every time, removed at exit.
std::string ScratchFile(const std::uint8_t* data, std::size_t size, const char* extension);

// Cuts the input into the run's blocks at their exact sizes (zero-padded when
// short) and hands each to its store, as the block steps do. Returns the
// number of input bytes used.
std::size_t StoreBlocks(Form& form, const RunSpec& run, const std::uint8_t* data, std::size_t size);

}  // namespace kt::fuzz
