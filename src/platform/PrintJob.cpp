#include "platform/PrintJob.h"

#include <QPainter>
#include <QPrinter>

#include "platform/PrinterCanvas.h"

namespace kt {

PrintResult PrintReportPage(const std::function<bool(QPrinter&)>& chooseOutput,
                            const std::function<void(Canvas&)>& draw) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setPageOrientation(QPageLayout::Landscape);
  if (!chooseOutput(printer)) return PrintResult::Cancelled;
  // A PDF file has no unprintable margin: its origin is the paper's corner.
  if (printer.outputFormat() == QPrinter::PdfFormat) printer.setFullPage(true);
  QPainter painter;
  if (!painter.begin(&printer)) return PrintResult::Failed;
  {
    PrinterCanvas canvas(painter, printer.resolution());
    draw(canvas);
  }
  // Ended even when nothing was drawn: the document goes out empty.
  return painter.end() ? PrintResult::Printed : PrintResult::Failed;
}

}  // namespace kt
