#pragma once
#include <functional>

class QPrinter;

namespace kt {

class Canvas;

enum class PrintResult { Printed, Cancelled, Failed };

// One printed report, as every report of the program is printed: A4 across
// (the reports are up to 266 mm wide) at the printer's high resolution.
// `chooseOutput` picks the printer or the PDF file (a dialog, a file name);
// false cancels the job before anything is begun. `draw` paints the page on
// a canvas in 0.01 mm with y upwards from the page origin. Failed when the
// painter cannot begin or end: the caller says so in its own words.
PrintResult PrintReportPage(const std::function<bool(QPrinter&)>& chooseOutput,
                            const std::function<void(Canvas&)>& draw);

}  // namespace kt
