#pragma once

namespace kt {

class Canvas;
struct AnalysisData;
struct Form;

// The printed high-frequency analysis report, on a canvas in 0.01 mm with y
// upwards from the page origin: titles, the test information and date of
// the main window, the four envelopes, the four analysed waves with their
// RMS values and crest factors, and the selection line. `english` is the
// analysis window's language setting (1 English, 0 Chinese).
void PrintAnalysisReport(const Form& form, const AnalysisData& a, int english, Canvas& canvas);

}  // namespace kt
